#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>
#include <QVariant>
#include <map>
#include <vector>

namespace qv {

class DataControl;

// The bound grid's rows: the record set of a data control, one grid row per record, one
// column per field, read as the grid shows them (nothing but the sort order is held).
// Sorting rearranges the grid's rows only; the record set is not touched.
class BoundGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit BoundGridModel(DataControl& data, QObject* parent = nullptr);

    // Takes the data control's record set as it stands now (after it was opened or
    // refreshed): its fields as columns, its records as rows, unsorted. Columns that stay
    // the same keep their widths in the view.
    void reload();

    // Sorts the rows by the text of one column, ignoring case, with Italian accented letters
    // beside their base letters; rows with equal texts keep their record-set order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The text a cell shows.
    QString text(int row, int column) const;
    // The field a column shows.
    QString fieldName(int column) const {
        return column >= 0 && column < fields_.size() ? fields_[column] : QString();
    }
    // The record-set position (0 for its first record) that a grid row shows.
    int position(int row) const { return order_.empty() ? row : order_[size_t(row)]; }

    void setColumnAlignment(int column, Qt::Alignment alignment) { alignments_[column] = alignment; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const std::vector<QVariant>& rowValues(int position) const;

    DataControl& data_;
    QStringList fields_;
    int rows_ = 0;
    std::vector<int> order_; // grid row -> record-set position; empty while unsorted
    std::map<int, Qt::Alignment> alignments_;
    // Rows read for the part of the grid on show; dropped when it grows past a screenful or two.
    mutable QHash<int, std::vector<QVariant>> cache_;
    mutable std::vector<QVariant> empty_; // a row that could not be read
};

} // namespace qv
