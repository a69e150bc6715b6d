#include "platform/BoundGrid.h"

#include "platform/BoundWidgets.h"
#include "store/DataControl.h"
#include "store/StoreError.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>

namespace qv {

namespace {
constexpr int kCachedRows = 512;
} // namespace

BoundGridModel::BoundGridModel(DataControl& data, QObject* parent)
    : QAbstractTableModel(parent), data_(data) {}

void BoundGridModel::reload() {
    QStringList fields;
    int rows = 0;
    if (data_.isOpen()) {
        RecordSet& records = data_.Recordset();
        fields = records.fieldNames();
        rows = records.RecordCount();
    }
    if (fields != fields_) {
        beginResetModel();
        fields_ = fields;
        rows_ = rows;
        order_.clear();
        cache_.clear();
        endResetModel();
        return;
    }
    // The same columns: only the rows change, so that the view keeps its column widths.
    if (rows < rows_) {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    } else if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    }
    order_.clear();
    cache_.clear();
    if (rows_ > 0 && !fields_.isEmpty())
        emit dataChanged(index(0, 0), index(rows_ - 1, int(fields_.size()) - 1));
}

void BoundGridModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= fields_.size() || rows_ == 0 || !data_.isOpen())
        return;
    // Each row has the number of its value among the column's distinct values; only the
    // distinct values are collated, then the rows are counted into place by that number.
    ColumnValues read = data_.Recordset().readValues(column);
    if (int(read.of.size()) < rows_) {
        // Rows the record set no longer has show empty cells.
        read.values.emplace_back();
        read.of.resize(size_t(rows_), int(read.values.size()) - 1);
    }
    const std::vector<int>& textOf = read.of;

    QCollator collator{QLocale(QLocale::Italian, QLocale::Italy)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(read.values.size());
    for (const QVariant& value : read.values)
        keys.push_back(collator.sortKey(fieldText(value)));
    std::vector<int> byText(keys.size());
    std::iota(byText.begin(), byText.end(), 0);
    std::sort(byText.begin(), byText.end(),
              [&keys](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    // Values whose texts compare equal (Rossi, ROSSI; null and empty) share a rank.
    std::vector<int> rank(keys.size(), 0);
    int ranks = 0;
    for (size_t i = 0; i < byText.size(); ++i) {
        if (i > 0 && keys[size_t(byText[i - 1])].compare(keys[size_t(byText[i])]) != 0)
            ++ranks;
        rank[size_t(byText[i])] = ranks;
    }
    ++ranks;

    // Counting the rows into place keeps equal texts in record-set order, either way round.
    std::vector<int> start(size_t(ranks) + 1, 0);
    for (int position = 0; position < rows_; ++position) {
        const int t = textOf[size_t(position)];
        const int r = order == Qt::AscendingOrder ? rank[size_t(t)] : ranks - 1 - rank[size_t(t)];
        ++start[size_t(r) + 1];
    }
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<int> sorted(static_cast<size_t>(rows_));
    for (int position = 0; position < rows_; ++position) {
        const int t = textOf[size_t(position)];
        const int r = order == Qt::AscendingOrder ? rank[size_t(t)] : ranks - 1 - rank[size_t(t)];
        sorted[size_t(start[size_t(r)]++)] = position;
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> rowOfPosition;
    if (!before.isEmpty()) {
        rowOfPosition.assign(size_t(rows_), 0);
        for (int row = 0; row < rows_; ++row)
            rowOfPosition[size_t(sorted[size_t(row)])] = row;
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after << index(rowOfPosition[size_t(position(i.row()))], i.column());
    order_ = std::move(sorted);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

const std::vector<QVariant>& BoundGridModel::rowValues(int position) const {
    if (auto it = cache_.constFind(position); it != cache_.constEnd())
        return *it;
    if (cache_.size() >= kCachedRows)
        cache_.clear();
    std::vector<QVariant> values;
    if (data_.isOpen()) {
        try {
            values = data_.Recordset().rowAt(position);
        } catch (const StoreError&) {
            // Read while the grid paints, where no failure can be answered: the row shows
            // empty and is read again next time. Damage found here is answered by the
            // program as soon as the event loop runs (store/ArchiveDamage.h).
            empty_.assign(size_t(fields_.size()), QVariant());
            return empty_;
        }
    }
    values.resize(size_t(fields_.size()));
    return *cache_.insert(position, std::move(values));
}

QString BoundGridModel::text(int row, int column) const {
    if (row < 0 || row >= rows_ || column < 0 || column >= fields_.size())
        return QString();
    return fieldText(rowValues(position(row))[size_t(column)]);
}

int BoundGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int BoundGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(fields_.size());
}

QVariant BoundGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole) {
        if (auto it = alignments_.find(index.column()); it != alignments_.end())
            return QVariant(int(it->second));
    }
    return QVariant();
}

QVariant BoundGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole))
        return fieldName(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags BoundGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace qv
