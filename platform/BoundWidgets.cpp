#include "platform/BoundWidgets.h"

#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <cmath>

namespace qv {

BoundLineEdit::BoundLineEdit(QLineEdit* box, const QString& field, int typingLimit)
    : box_(box), field_(field), typingLimit_(typingLimit) {
    if (box == nullptr)
        return;
    if (typingLimit_ > 0)
        box->setMaxLength(typingLimit_);
    // Any change of the text, typed or set by the program, marks the field for writing;
    // only fills from the record are left out.
    watch_ = QObject::connect(box, &QLineEdit::textChanged, box, [this](const QString& text) {
        allowUpTo(text.size());
        if (!filling_)
            changed_ = true;
    });
}

BoundLineEdit::~BoundLineEdit() {
    QObject::disconnect(watch_);
}

QVariant BoundLineEdit::storeValue() const {
    if (box_ == nullptr || box_->text().isEmpty())
        return QVariant();
    return box_->text();
}

void BoundLineEdit::fill(const QVariant& value) {
    if (box_ == nullptr)
        return;
    const QString text = fieldText(value);
    allowUpTo(text.size()); // room for the whole stored text before it is set
    filling_ = true;
    box_->setText(text);
    filling_ = false;
}

void BoundLineEdit::allowUpTo(qsizetype length) {
    if (typingLimit_ > 0 && box_ != nullptr)
        box_->setMaxLength(static_cast<int>(std::max<qsizetype>(typingLimit_, length)));
}

BoundLabel::BoundLabel(QLabel* label, const QString& field) : label_(label), field_(field) {}

QVariant BoundLabel::storeValue() const {
    if (label_ == nullptr || label_->text().isEmpty())
        return QVariant();
    return label_->text();
}

void BoundLabel::fill(const QVariant& value) {
    if (label_ != nullptr)
        label_->setText(fieldText(value));
}

QString fieldText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return QString::number(value.toLongLong());
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < 9.0e15)
            return QString::number(static_cast<qint64>(number));
        return QString::number(number, 'g', 15);
    }
    default:
        return value.toString();
    }
}

} // namespace qv
