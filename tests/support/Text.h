#pragma once

// Texts between Qt and the test tools: the source's UTF-8 literals, std::string for the
// comparisons and messages of GoogleTest, and QString printed readably when a check fails.
#include <QString>
#include <ostream>
#include <string>

namespace qv::test {

// A text written in the source as UTF-8 (accented letters included).
inline QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A text as UTF-8 bytes in a std::string, for comparisons that print their values.
inline std::string str(const QString& text) {
    return text.toStdString();
}

} // namespace qv::test

QT_BEGIN_NAMESPACE
// GoogleTest prints a QString that a check compares as its text, in quotes.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
