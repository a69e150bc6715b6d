#pragma once

#include "store/Columns.h"

#include <QAbstractListModel>
#include <QString>
#include <memory>
#include <vector>

namespace qv {

// The lines of the search's result list, each with the identifier of its patient beside it,
// so that any identifier opens the right card whatever the line's text can carry. The lines
// are the texts the search read, held as it read them: each is made when it is shown.
class ResultLines : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void clear();
    // The lines of the rows of `texts` whose key field is not empty, in their order: the first
    // field, the second, and the row's identifier (fields by their place in `texts`).
    void show(std::shared_ptr<const RowTexts> texts, int keyField, int firstField, int secondField);

    int count() const { return int(rows_.size()); }
    QString line(int row) const;
    qint64 id(int row) const { return row >= 0 && row < count() ? texts_->key(rows_[size_t(row)]) : 0; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const RowTexts> texts_;
    int first_ = 0;
    int second_ = 0;
    std::vector<int> rows_; // positions in texts_ of the rows listed
};

} // namespace qv
