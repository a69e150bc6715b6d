#include "platform/Dates.h"

#include <QLocale>
#include <QStringList>
#include <QTime>

namespace qv::dates {

namespace {

const QLocale& italian() {
    static const QLocale locale(QLocale::Italian, QLocale::Italy);
    return locale;
}

bool isAsciiDigit(QChar ch) {
    return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
}
bool isBlank(QChar ch) {
    return ch == QLatin1Char(' ') || ch == QLatin1Char('\t');
}
bool isSeparator(QChar ch) {
    return ch == QLatin1Char('/') || ch == QLatin1Char('-') || ch == QLatin1Char('.');
}

// Reads a typed date piece by piece: numbers, words, separators and blanks.
class Reader {
public:
    explicit Reader(const QString& text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }

    QString digits() {
        const qsizetype start = pos_;
        while (!atEnd() && isAsciiDigit(text_[pos_]))
            ++pos_;
        return text_.mid(start, pos_ - start);
    }

    QString word() {
        const qsizetype start = pos_;
        while (!atEnd() && text_[pos_].isLetter())
            ++pos_;
        return text_.mid(start, pos_ - start);
    }

    bool blanks() {
        const qsizetype start = pos_;
        while (!atEnd() && isBlank(text_[pos_]))
            ++pos_;
        return pos_ > start;
    }

    // A separator between two parts of the date: one of '/', '-', '.', returned as itself,
    // or a run of blanks, returned as ' '. A null character when there is none.
    QChar separator() {
        if (atEnd())
            return QChar();
        if (isSeparator(text_[pos_]))
            return text_[pos_++];
        if (blanks())
            return QLatin1Char(' ');
        return QChar();
    }

    bool take(QChar ch) {
        if (!atEnd() && text_[pos_] == ch) {
            ++pos_;
            return true;
        }
        return false;
    }

private:
    const QString& text_;
    qsizetype pos_ = 0;
};

// A month as a number 1-12, or its Italian name in full or by its first three letters,
// in any case. 0 when the text is no month.
int monthOf(const QString& text, bool& byName) {
    byName = false;
    if (text.isEmpty())
        return 0;
    if (isAsciiDigit(text[0])) {
        if (text.size() > 2)
            return 0;
        return text.toInt();
    }
    const QString lower = text.toLower();
    for (int month = 1; month <= 12; ++month) {
        const QString name = italian().monthName(month, QLocale::LongFormat).toLower();
        if (lower == name || (lower.size() == 3 && name.startsWith(lower))) {
            byName = true;
            return month;
        }
    }
    return 0;
}

// Two-digit years fall in 1930-2029; four-digit years from 100 to 9999 stand as they are.
int yearOf(const QString& text) {
    if (text.size() == 2) {
        const int year = text.toInt();
        return year < 30 ? 2000 + year : 1900 + year;
    }
    if (text.size() == 4) {
        const int year = text.toInt();
        return year >= 100 ? year : 0;
    }
    return 0;
}

// A time of day after the date: hh:mm or hh:mm:ss.
bool readTime(Reader& reader) {
    const QString hours = reader.digits();
    if (hours.isEmpty() || hours.size() > 2 || !reader.take(QLatin1Char(':')))
        return false;
    const QString minutes = reader.digits();
    if (minutes.size() != 2)
        return false;
    int seconds = 0;
    if (reader.take(QLatin1Char(':'))) {
        const QString secondsText = reader.digits();
        if (secondsText.size() != 2)
            return false;
        seconds = secondsText.toInt();
    }
    return reader.atEnd() && QTime(hours.toInt(), minutes.toInt(), seconds).isValid();
}

} // namespace

QString shortDate(const QDate& date) {
    return date.isValid() ? italian().toString(date, QStringLiteral("dd/MM/yyyy")) : QString();
}

QString longDate(const QDate& date) {
    return date.isValid() ? italian().toString(date, QStringLiteral("dddd d MMMM  yyyy")) : QString();
}

QString weekdayName(const QDate& date) {
    return date.isValid() ? italian().toString(date, QStringLiteral("dddd")) : QString();
}

qint64 dayDiff(const QDate& from, const QDate& to) {
    return from.daysTo(to);
}

std::optional<QDate> parse(const QString& text) {
    const QString trimmed = text.trimmed();
    Reader reader(trimmed);

    const QString day = reader.digits();
    if (day.isEmpty() || day.size() > 2)
        return std::nullopt;

    const QChar first = reader.separator();
    if (first.isNull())
        return std::nullopt;

    QString monthText = reader.digits();
    if (monthText.isEmpty())
        monthText = reader.word();
    bool byName = false;
    const int month = monthOf(monthText, byName);
    if (month == 0)
        return std::nullopt;

    const QChar second = reader.separator();
    // Both separators are of one kind; blanks part a day, a month name and a year only.
    if (second != first || (first == QLatin1Char(' ') && !byName))
        return std::nullopt;

    const int year = yearOf(reader.digits());
    if (year == 0)
        return std::nullopt;

    if (!reader.atEnd()) {
        // A time of day may follow the date, after blanks.
        if (!reader.blanks() || !readTime(reader))
            return std::nullopt;
    }

    const QDate date(year, month, day.toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

} // namespace qv::dates
