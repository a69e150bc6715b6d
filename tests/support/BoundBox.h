#pragma once

#include "store/BoundControl.h"

#include <QString>
#include <QVariant>

namespace qv::test {

// A bound text box as a user sees it, without a widget: its text and the data-changed flag
// that typing sets. `fills` counts how often the data control showed a record in it.
struct BoundBox : BoundControl {
    explicit BoundBox(QString dataField) : field(std::move(dataField)) {}

    QString field;
    QString text;
    bool changed = false;
    int fills = 0;

    QString DataField() const override { return field; }
    QVariant storeValue() const override { return text.isEmpty() ? QVariant() : QVariant(text); }
    void fill(const QVariant& value) override {
        text = value.isNull() ? QString() : value.toString();
        ++fills;
    }
    bool DataChanged() const override { return changed; }
    void setDataChanged(bool c) override { changed = c; }

    // What typing does: a new text, and the flag set.
    void type(const QString& typed) {
        text = typed;
        changed = true;
    }
};

} // namespace qv::test
