#include "platform/MonthView.h"

#include "platform/Clock.h"

#include <QLocale>

namespace qv {

MonthView::MonthView(QWidget* parent) : QCalendarWidget(parent) {
    setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    setFirstDayOfWeek(Qt::Monday);
    setGridVisible(true);
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    setDateRange(Calendar::minimumDate(), Calendar::maximumDate());
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QCalendarWidget::clicked, this, &MonthView::DateClick);
    connect(this, &QCalendarWidget::activated, this, &MonthView::DateClick);
}

void MonthView::setValue(const QDate& date) {
    setSelectedDate(date);
}

void Calendar::setValue(const QDate& date) {
    if (date.isValid() && date >= minimumDate() && date <= maximumDate())
        value_ = date;
}

void Calendar::Today(const Clock& clock) {
    setValue(clock.today());
}

void Calendar::step(int days) {
    setValue(value_.addDays(days));
}

} // namespace qv
