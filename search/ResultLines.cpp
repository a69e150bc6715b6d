#include "search/ResultLines.h"

namespace qv {

void ResultLines::clear() {
    if (lines_.empty() && shown_ == 0)
        return;
    beginResetModel();
    lines_.clear();
    lines_.shrink_to_fit();
    ids_.clear();
    ids_.shrink_to_fit();
    shown_ = 0;
    endResetModel();
}

void ResultLines::add(const QString& line, qint64 id) {
    lines_.push_back(line);
    ids_.push_back(id);
}

void ResultLines::flush() {
    if (count() == shown_)
        return;
    beginInsertRows(QModelIndex(), shown_, count() - 1);
    shown_ = count();
    endInsertRows();
}

int ResultLines::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

QVariant ResultLines::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return lines_[size_t(index.row())];
    if (role == Qt::UserRole)
        return QVariant(qlonglong(ids_[size_t(index.row())]));
    return QVariant();
}

} // namespace qv
