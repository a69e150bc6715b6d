#pragma once

#include <QString>
#include <QVariant>

namespace qv {

// The text a field value shows: null is empty; numbers without a fraction.
QString fieldText(const QVariant& value);

} // namespace qv
