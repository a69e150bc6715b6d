#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace qv::dates {

// Italian date texts, whatever locales the machine has installed.

// dd/mm/yyyy
QString shortDate(const QDate& date);
// "dddd d mmmm  yyyy": "lunedì 6 dicembre  2004" (two blanks before the year)
QString longDate(const QDate& date);
// "dddd": "lunedì"
QString weekdayName(const QDate& date);
// Whole days from `from` to `to` (to minus from).
qint64 dayDiff(const QDate& from, const QDate& to);

// The locale's date reading: day before month; separators '/', '-', '.' or blanks;
// two-digit years 00-29 are 2000-2029, 30-99 are 1930-1999; month names or their first
// three letters ("15 marzo 2004", "15-mar-04"). A time alone is not a date; impossible
// dates (31/02/2004) are refused.
std::optional<QDate> parse(const QString& text);
inline bool isDate(const QString& text) {
    return parse(text).has_value();
}

} // namespace qv::dates
