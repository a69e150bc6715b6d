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
    BoundLineEdit(QLineEdit* box, const QString& field);
    ~BoundLineEdit() override;
    BoundLineEdit(const BoundLineEdit&) = delete;
    BoundLineEdit& operator=(const BoundLineEdit&) = delete;
    QString DataField() const override { return field_; }
    QVariant storeValue() const override;
    void fill(const QVariant& value) override;
    bool DataChanged() const override { return changed_; }
    void setDataChanged(bool changed) override { changed_ = changed; }

private:
    QPointer<QLineEdit> box_;
    QString field_;
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
