#pragma once

#include <QAbstractListModel>
#include <QString>
#include <vector>

namespace qv {

// The lines of the search's result list, each with the identifier of its patient beside it,
// so that any identifier opens the right card whatever the line's text can carry.
class ResultLines : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void clear();
    // Adds a line at the end.
    void add(const QString& line, qint64 id);
    // Adds the lines gathered since the last call in one go (the view is told once).
    void flush();

    int count() const { return int(lines_.size()); }
    QString line(int row) const { return row >= 0 && row < count() ? lines_[size_t(row)] : QString(); }
    qint64 id(int row) const { return row >= 0 && row < count() ? ids_[size_t(row)] : 0; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::vector<QString> lines_;
    std::vector<qint64> ids_;
    int shown_ = 0; // lines the view has been told of
};

} // namespace qv
