// Italian date texts and the reading of typed dates, whatever locale the machine runs under.
#include "platform/Dates.h"
#include "tests/support/Text.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <vector>

using namespace qv;
using qv::test::str;

namespace {

// Switches the default locale for one test, to show that the texts do not follow it.
class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

} // namespace

TEST(DatesTexts, ShortDateIsDayMonthYearWithLeadingZeros) {
    EXPECT_EQ("06/12/2004", str(dates::shortDate(QDate(2004, 12, 6))));
    EXPECT_EQ("29/02/2004", str(dates::shortDate(QDate(2004, 2, 29))));
    EXPECT_EQ("01/01/2005", str(dates::shortDate(QDate(2005, 1, 1))));
    EXPECT_EQ("31/12/1999", str(dates::shortDate(QDate(1999, 12, 31))));
    EXPECT_EQ("", str(dates::shortDate(QDate())));
}

TEST(DatesTexts, LongDateHasTwoBlanksBeforeTheYear) {
    EXPECT_EQ("lunedì 6 dicembre  2004", str(dates::longDate(QDate(2004, 12, 6))));
    EXPECT_EQ("domenica 29 febbraio  2004", str(dates::longDate(QDate(2004, 2, 29))));
    EXPECT_EQ("sabato 1 gennaio  2005", str(dates::longDate(QDate(2005, 1, 1))));
    EXPECT_EQ("", str(dates::longDate(QDate())));
}

TEST(DatesTexts, EveryWeekdayName) {
    // 6 December 2004 was a Monday.
    const std::vector<const char*> names{"lunedì",  "martedì", "mercoledì", "giovedì",
                                         "venerdì", "sabato",  "domenica"};
    for (int i = 0; i < 7; ++i) {
        const QDate date = QDate(2004, 12, 6).addDays(i);
        SCOPED_TRACE(str(date.toString(Qt::ISODate)));
        EXPECT_EQ(names[i], str(dates::weekdayName(date)));
        EXPECT_EQ(std::string(names[i]) + " " + std::to_string(6 + i) + " dicembre  2004",
                  str(dates::longDate(date)));
    }
}

TEST(DatesTexts, EveryMonthName) {
    const std::vector<const char*> names{"gennaio",   "febbraio", "marzo",    "aprile",
                                         "maggio",    "giugno",   "luglio",   "agosto",
                                         "settembre", "ottobre",  "novembre", "dicembre"};
    for (int month = 1; month <= 12; ++month) {
        const QDate date(2004, month, 15);
        SCOPED_TRACE(month);
        const std::string expected = str(dates::weekdayName(date)) + " 15 " + names[month - 1] + "  2004";
        EXPECT_EQ(expected, str(dates::longDate(date)));
    }
}

TEST(DatesTexts, DoNotFollowTheDefaultLocale) {
    DefaultLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ("lunedì 6 dicembre  2004", str(dates::longDate(QDate(2004, 12, 6))));
    EXPECT_EQ("06/12/2004", str(dates::shortDate(QDate(2004, 12, 6))));
    EXPECT_EQ(QDate(2004, 3, 15), dates::parse(QStringLiteral("15 marzo 2004")));
    EXPECT_EQ(QDate(2004, 12, 6), dates::parse(QStringLiteral("06/12/2004")));
}

TEST(DatesDayDiff, WholeDaysFromOneDateToAnother) {
    struct Case {
        QDate from, to;
        qint64 days;
    };
    const std::vector<Case> cases{
        {QDate(2004, 12, 6), QDate(2004, 12, 6), 0},
        {QDate(2004, 12, 6), QDate(2004, 12, 7), 1},
        {QDate(2004, 12, 7), QDate(2004, 12, 6), -1},
        {QDate(2004, 1, 31), QDate(2004, 2, 1), 1},    // month end
        {QDate(2004, 2, 28), QDate(2004, 3, 1), 2},    // leap year: 29 February between
        {QDate(2003, 2, 28), QDate(2003, 3, 1), 1},    // common year
        {QDate(2004, 12, 31), QDate(2005, 1, 1), 1},   // year end
        {QDate(2004, 1, 1), QDate(2005, 1, 1), 366},   // a leap year
        {QDate(2005, 1, 1), QDate(2006, 1, 1), 365},   // a common year
        {QDate(1999, 12, 31), QDate(2000, 3, 1), 61},  // 2000 was a leap year
        {QDate(2005, 3, 1), QDate(2004, 2, 29), -366}, // backwards across a leap day
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(str(c.from.toString(Qt::ISODate) + QStringLiteral(" -> ") + c.to.toString(Qt::ISODate)));
        EXPECT_EQ(c.days, dates::dayDiff(c.from, c.to));
    }
}

namespace {

struct Accepted {
    const char* typed;
    QDate date;
};

void expectAccepted(const std::vector<Accepted>& cases) {
    for (const Accepted& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::optional<QDate> read = dates::parse(QString::fromUtf8(c.typed));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(c.date, *read);
        EXPECT_TRUE(dates::isDate(QString::fromUtf8(c.typed)));
    }
}

void expectRefused(const std::vector<const char*>& cases) {
    for (const char* typed : cases) {
        SCOPED_TRACE(typed);
        EXPECT_FALSE(dates::parse(QString::fromUtf8(typed)).has_value());
        EXPECT_FALSE(dates::isDate(QString::fromUtf8(typed)));
    }
}

} // namespace

TEST(DatesReading, NumbersWithEachSeparator) {
    expectAccepted({
        {"15/03/2004", QDate(2004, 3, 15)},
        {"15-03-2004", QDate(2004, 3, 15)},
        {"15.03.2004", QDate(2004, 3, 15)},
        {"5/3/2004", QDate(2004, 3, 5)},
        {"05/3/2004", QDate(2004, 3, 5)},
        {"1/12/2004", QDate(2004, 12, 1)}, // day before month, always
        {"12/1/2004", QDate(2004, 1, 12)},
        {"  15/03/2004  ", QDate(2004, 3, 15)},
        {"\t06/12/2004\n", QDate(2004, 12, 6)},
    });
}

TEST(DatesReading, TwoAndFourDigitYears) {
    expectAccepted({
        {"15/03/04", QDate(2004, 3, 15)},
        {"1/1/00", QDate(2000, 1, 1)},
        {"31/12/29", QDate(2029, 12, 31)},
        {"1/1/30", QDate(1930, 1, 1)},
        {"15/03/99", QDate(1999, 3, 15)},
        {"15/03/1899", QDate(1899, 3, 15)},
        {"15/03/0100", QDate(100, 3, 15)},
        {"31/12/9999", QDate(9999, 12, 31)},
    });
    expectRefused({"15/03/4", "15/03/004", "15/03/20045", "15/03/0099", "15/03/0000"});
}

TEST(DatesReading, ItalianMonthNamesInFullOrShortInAnyCase) {
    expectAccepted({
        {"15 marzo 2004", QDate(2004, 3, 15)},
        {"15-mar-04", QDate(2004, 3, 15)},
        {"1 Gennaio 2005", QDate(2005, 1, 1)},
        {"6 DICEMBRE 2004", QDate(2004, 12, 6)},
        {"6 dic 2004", QDate(2004, 12, 6)},
        {"6/Dic/2004", QDate(2004, 12, 6)},
        {"6.dic.04", QDate(2004, 12, 6)},
        {"10   agosto   1998", QDate(1998, 8, 10)},
        {"1 feb 2004", QDate(2004, 2, 1)},
        {"1 giu 2004", QDate(2004, 6, 1)},
        {"1 lug 2004", QDate(2004, 7, 1)},
        {"1 set 2004", QDate(2004, 9, 1)},
        {"1 ott 2004", QDate(2004, 10, 1)},
        {"29 febbraio 2004", QDate(2004, 2, 29)},
    });
    // Not Italian, not a whole name nor its first three letters.
    expectRefused(
        {"15 march 2004", "15 mar. 2004", "15 marz 2004", "15 ma 2004", "15 dec 2004", "15 xyz 2004"});
}

TEST(DatesReading, LeapDaysAndImpossibleDates) {
    expectAccepted({
        {"29/02/2004", QDate(2004, 2, 29)},
        {"29/02/2000", QDate(2000, 2, 29)},
        {"31/01/2004", QDate(2004, 1, 31)},
        {"30/04/2004", QDate(2004, 4, 30)},
    });
    expectRefused({"31/02/2004", "30/02/2004", "29/02/2003", "29/02/1900", "31/04/2004", "00/01/2004",
                   "32/01/2004", "15/13/2004", "15/00/2004", "31 giugno 2004"});
}

TEST(DatesReading, TimesAndGarbageAreNotDates) {
    expectRefused({
        "",
        "   ",
        "abc",
        "10:30",
        "10:30:15",
        "15/03/2004x",
        "x15/03/2004",
        "15/03",
        "15/03/",
        "2004",
        "15032004",
        "2004-03-15", // year first is not the locale's order
        "15/03-2004", // one kind of separator
        "15 03 2004", // blanks part a month name only
        "15//03/2004",
        "15/03/2004/",
        "15/+3/2004",
        "15/03/2004 abc",
        "١٥/٠٣/٢٠٠٤", // digits of another script
    });
}

TEST(DatesReading, DateFollowedByATimeOfDay) {
    expectAccepted({
        {"15/03/2004 10:30", QDate(2004, 3, 15)},
        {"15/03/2004 9:05:59", QDate(2004, 3, 15)},
        {"15 marzo 2004 23:59", QDate(2004, 3, 15)},
    });
    expectRefused({"15/03/2004 24:00", "15/03/2004 10:60", "15/03/2004 10:3", "15/03/2004 10:30 x",
                   "15/03/200410:30", "31/02/2004 10:30"});
}

TEST(DatesReading, ShortDateTextsReadBack) {
    for (QDate date(2003, 12, 25); date <= QDate(2005, 1, 5); date = date.addDays(1)) {
        const std::optional<QDate> read = dates::parse(dates::shortDate(date));
        ASSERT_TRUE(read.has_value()) << str(dates::shortDate(date));
        EXPECT_EQ(date, *read);
    }
}
