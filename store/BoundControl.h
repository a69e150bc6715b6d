#pragma once

#include <QString>
#include <QVariant>

namespace qv {

// A control bound to one field of a data control's current record. The store knows
// nothing of widgets: the widgets' side lives in platform/BoundWidgets.h.
class BoundControl {
public:
    virtual ~BoundControl() = default;

    // The field this control shows, matched without regard to case.
    virtual QString DataField() const = 0;

    // The value to write; an empty text is written as null.
    virtual QVariant storeValue() const = 0;

    // Shows a field value of the current record (null shows as empty).
    // Filling never sets the data-changed flag.
    virtual void fill(const QVariant& value) = 0;

    // Set by any change of the control's text since the last fill, whoever made it.
    virtual bool DataChanged() const = 0;
    virtual void setDataChanged(bool changed) = 0;
};

} // namespace qv
