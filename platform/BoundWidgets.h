#pragma once

#include "store/BoundControl.h"

#include <QMetaObject>
#include <QPointer>

class QLineEdit;
class QLabel;

namespace qv {

// A text box bound to a field: the user's typing and the program's assignments set its
// data-changed flag; fills from the record do not.
class BoundLineEdit : public BoundControl {
public:
    // A typing limit above 0 holds for what the user types: a longer text already stored
    // (by another program) is shown whole, and may be shortened but not lengthened. A plain
    // maximum length would cut it on display and lose the rest at the next edit.
    BoundLineEdit(QLineEdit* box, const QString& field, int typingLimit = 0);
    ~BoundLineEdit() override;
    BoundLineEdit(const BoundLineEdit&) = delete;
    BoundLineEdit& operator=(const BoundLineEdit&) = delete;
    QString DataField() const override { return field_; }
    QVariant storeValue() const override;
    void fill(const QVariant& value) override;
    bool DataChanged() const override { return changed_; }
    void setDataChanged(bool changed) override { changed_ = changed; }

private:
    void allowUpTo(qsizetype length);

    QPointer<QLineEdit> box_;
    QString field_;
    int typingLimit_ = 0;
    bool changed_ = false;
    bool filling_ = false;
    QMetaObject::Connection watch_;
};

// A label bound to a field: shows it, never changes it.
class BoundLabel : public BoundControl {
public:
    BoundLabel(QLabel* label, const QString& field);
    QString DataField() const override { return field_; }
    QVariant storeValue() const override;
    void fill(const QVariant& value) override;
    bool DataChanged() const override { return false; }
    void setDataChanged(bool) override {}

private:
    QPointer<QLabel> label_;
    QString field_;
};

// The text a field value shows: null is empty; numbers without a fraction.
QString fieldText(const QVariant& value);

} // namespace qv
