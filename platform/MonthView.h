#pragma once

#include <QCalendarWidget>
#include <QDate>

namespace qv {

class Clock;

// The month view: a month calendar in Italian (weeks from Monday) with the selected date
// marked. DateClick is the user's choice of a date, by a click or by Enter on the date the
// keyboard moved to; setting the date from the program raises nothing.
class MonthView : public QCalendarWidget {
    Q_OBJECT
public:
    explicit MonthView(QWidget* parent = nullptr);

    QDate Value() const { return selectedDate(); }
    void setValue(const QDate& date);

signals:
    void DateClick(const QDate& date);
};

// The hidden date holder: one calendar date and the steps the agenda takes from it. Days,
// months and years roll over by the Gregorian calendar. Dates are held from 1 January 1753
// to 31 December 9999 (the month view's range); a step that would leave it keeps the date.
class Calendar {
public:
    static QDate minimumDate() { return QDate(1753, 1, 1); }
    static QDate maximumDate() { return QDate(9999, 12, 31); }

    QDate Value() const { return value_; }
    // A date outside the range is not taken.
    void setValue(const QDate& date);

    void Today(const Clock& clock);
    void NextDay() { step(1); }
    void PreviousDay() { step(-1); }
    void NextWeek() { step(7); }
    void PreviousWeek() { step(-7); }

private:
    void step(int days);
    QDate value_;
};

} // namespace qv
