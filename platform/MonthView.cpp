#include "platform/MonthView.h"

#include "platform/Clock.h"

#include <QFont>
#include <QHeaderView>
#include <QLocale>
#include <QTableView>

namespace qv {

MonthView::MonthView(QWidget* parent) : QCalendarWidget(parent) {
    setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    setFirstDayOfWeek(Qt::Monday);
    // Seven columns in a narrow control: one letter per weekday, a small font, no grid.
    setGridVisible(false);
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);
    // The day columns share the width they get, however narrow.
    if (auto* days = findChild<QTableView*>()) {
        days->horizontalHeader()->setMinimumSectionSize(1);
        days->verticalHeader()->setMinimumSectionSize(1);
    }
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
