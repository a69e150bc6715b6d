#include "search/ResultLines.h"

#include "store/Work.h"

namespace qv {

void ResultLines::clear() {
    if (rows_.empty() && !texts_)
        return;
    beginResetModel();
    rows_ = {};
    texts_.reset();
    endResetModel();
}

void ResultLines::show(std::shared_ptr<const RowTexts> texts, int keyField, int firstField, int secondField) {
    beginResetModel();
    rows_ = {};
    texts_ = std::move(texts);
    first_ = firstField;
    second_ = secondField;
    rows_.reserve(size_t(texts_->count()));
    for (int p = 0; p < texts_->count(); ++p) {
        if (!texts_->isEmpty(p, keyField))
            rows_.push_back(p);
        if ((p & 0xffff) == 0)
            work::working();
    }
    rows_.shrink_to_fit();
    endResetModel();
}

QString ResultLines::line(int row) const {
    if (row < 0 || row >= count())
        return QString();
    const int p = rows_[size_t(row)];
    return texts_->text(p, first_) + QStringLiteral(",    ") + texts_->text(p, second_) +
           QStringLiteral(";     ") + QStringLiteral("ID:      ") + QString::number(texts_->key(p));
}

int ResultLines::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant ResultLines::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return line(index.row());
    if (role == Qt::UserRole)
        return QVariant(qlonglong(id(index.row())));
    return QVariant();
}

} // namespace qv
