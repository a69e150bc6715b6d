// Moving the agenda between dates, and the ways back to the start screen.
#include "platform/Candy.h"
#include "tests/test_agenda_fixture.h"

#include <QAbstractItemView>
#include <QTableView>

using namespace qv;
using namespace qv::test;

namespace {

class AgendaNavigation : public AgendaTest {
protected:
    // Clicks day `day` of the month the month view shows, as a user would.
    void clickMonthDay(int day) {
        auto* view = agenda().MonthView1->findChild<QTableView*>();
        ASSERT_NE(nullptr, view);
        QAbstractItemModel* model = view->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            for (int c = 0; c < model->columnCount(); ++c) {
                const QModelIndex index = model->index(r, c);
                // Within one page a day from the 8th to the 22nd appears once.
                if (model->data(index, Qt::DisplayRole).toString() == QString::number(day)) {
                    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
                    return;
                }
            }
        }
        FAIL() << "day " << day << " not shown";
    }
    void click(CandyHCommand* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // The start screen's "Agenda" button, and the agenda's window active.
    void openFromStartScreen() {
        click(screens.inizio().CandyHCommand8);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&agenda()));
    }
};

TEST_F(AgendaNavigation, theButtonsStandInTheirOrderWithTheirCaptions) {
    FormAgend& a = agenda();
    const std::pair<CandyHCommand*, const char*> buttons[] = {
        {a.CandyHCommand1, "Oggi"},
        {a.CandyHCommand3, "Il giorno successivo"},
        {a.CandyHCommand2, "Il giorno precedente"},
        {a.CandyHCommand4, "Una settimana avanti"},
        {a.CandyHCommand5, "Una settimana indietro"},
        {a.CandyHCommand7, "Impostazione orario"},
        {a.CandyHCommand8, "Menu"},
        {a.CandyHCommand6, "Chiudi l'agenda"},
    };
    const int tops[] = {3000, 3624, 4248, 4872, 5496, 6120, 6960, 7800};
    for (size_t i = 0; i < std::size(buttons); ++i) {
        CandyHCommand* b = buttons[i].first;
        EXPECT_EQ(u(buttons[i].second), b->text());
        EXPECT_EQ(u(buttons[i].second), b->accessibleName());
        EXPECT_EQ(QRect(twips(12120), twips(tops[i]), twips(2625), twips(480)), b->geometry()) << i;
    }
    EXPECT_EQ(QRect(twips(12180), twips(240), twips(2490), twips(2370)), a.MonthView1->geometry());
    EXPECT_FALSE(a.MonthView1->accessibleName().isEmpty());

    // In its narrow place the month view still shows all seven days of the week.
    open();
    auto* view = a.MonthView1->findChild<QTableView*>();
    ASSERT_NE(nullptr, view);
    EXPECT_LE(view->columnViewportPosition(6) + view->columnWidth(6), view->viewport()->width());
    EXPECT_GT(view->columnWidth(6), 0);
}

TEST_F(AgendaNavigation, dayStepsRollOverMonthsAndYearsByTheGregorianCalendar) {
    fp.clock.set(QDate(2004, 12, 31));
    open();
    EXPECT_EQ(u("venerdì 31 dicembre  2004"), title());
    click(agenda().CandyHCommand3);
    EXPECT_EQ(u("sabato 1 gennaio  2005"), title());
    EXPECT_EQ(u("sabato"), agenda().Text3->text());
    EXPECT_EQ(QDate(2005, 1, 1), agenda().MonthView1->selectedDate());
    EXPECT_EQ(QDate(2005, 1, 1), agenda().Calendar1.Value());
    click(agenda().CandyHCommand2);
    EXPECT_EQ(u("venerdì 31 dicembre  2004"), title());

    fp.clock.set(QDate(2004, 2, 28));
    click(agenda().CandyHCommand1);
    EXPECT_EQ(u("sabato 28 febbraio  2004"), title());
    click(agenda().CandyHCommand3);
    EXPECT_EQ(u("domenica 29 febbraio  2004"), title());
    click(agenda().CandyHCommand3);
    EXPECT_EQ(u("lunedì 1 marzo  2004"), title());

    fp.clock.set(QDate(2005, 3, 1));
    click(agenda().CandyHCommand1);
    click(agenda().CandyHCommand2);
    EXPECT_EQ(u("lunedì 28 febbraio  2005"), title());
}

TEST_F(AgendaNavigation, aWeekBackAndForwardComesBackToTheSameDateAndWeekdayRow) {
    execSql(fp.dbPath(), "UPDATE Agenda SET \"1\" = '09:09' WHERE giorno = 'lunedì'");
    open();
    click(agenda().CandyHCommand5);
    EXPECT_EQ(u("lunedì 29 novembre  2004"), title());
    EXPECT_EQ(u("09:09"), box(1, Time)->text());
    click(agenda().CandyHCommand4);
    EXPECT_EQ(u("lunedì 6 dicembre  2004"), title());
    EXPECT_EQ(u("09:09"), box(1, Time)->text());
    click(agenda().CandyHCommand4);
    EXPECT_EQ(u("lunedì 13 dicembre  2004"), title());
    click(agenda().CandyHCommand3);
    EXPECT_EQ(u("08:00"), box(1, Time)->text()) << "Tuesday's row";
}

TEST_F(AgendaNavigation, aMonthViewClickShowsThatDateAndTheNextDayMovesFromIt) {
    open();
    clickMonthDay(15);
    EXPECT_EQ(u("mercoledì 15 dicembre  2004"), title());
    EXPECT_EQ(u("mercoledì"), agenda().Text3->text());
    EXPECT_EQ(QDate(2004, 12, 15), agenda().Calendar1.Value());
    EXPECT_EQ(QDate(2004, 12, 15), agenda().MonthView1->selectedDate());
    EXPECT_EQ(QByteArray(), dayBytes(QDate(2004, 12, 15)));
    click(agenda().CandyHCommand3);
    EXPECT_EQ(u("giovedì 16 dicembre  2004"), title());
    EXPECT_EQ(QDate(2004, 12, 16), agenda().MonthView1->selectedDate());
}

TEST_F(AgendaNavigation, theMonthViewTakesADateFromTheKeyboard) {
    open();
    auto* view = agenda().MonthView1->findChild<QTableView*>();
    ASSERT_NE(nullptr, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->currentIndex()).center()); // today again
    EXPECT_EQ(u("lunedì 6 dicembre  2004"), title());
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(u("lunedì 6 dicembre  2004"), title()) << "moving is not choosing";
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(u("lunedì 13 dicembre  2004"), title());
    EXPECT_EQ(QDate(2004, 12, 13), agenda().Calendar1.Value());
}

TEST_F(AgendaNavigation, aBoxBeingEditedIsSavedUnderTheDateShownBeforeTheClick) {
    const QDate monday(2004, 12, 6);
    open();
    typeInto(box(4, Name), u("Esposito"));
    click(agenda().CandyHCommand3);
    EXPECT_EQ(u("martedì 7 dicembre  2004"), title());
    EXPECT_EQ(u("Esposito"), dayValues(monday).value(FormAgend::TextIndex(4, Name)));
    EXPECT_EQ(QByteArray(), dayBytes(monday.addDays(1))) << "nothing of Monday went into Tuesday";

    typeInto(box(4, Note), u("controllo"));
    clickMonthDay(20);
    EXPECT_EQ(u("lunedì 20 dicembre  2004"), title());
    EXPECT_EQ(u("controllo"), dayValues(monday.addDays(1)).value(FormAgend::TextIndex(4, Note)));
    EXPECT_EQ(QByteArray(), dayBytes(QDate(2004, 12, 20)));
    EXPECT_EQ(QString(), box(4, Note)->text());
}

TEST_F(AgendaNavigation, afterMenuTheAgendaStaysVisibleAndComesBackOnToday) {
    screens.show(screens.inizio());
    click(screens.inizio().CandyHCommand8); // "Agenda"
    FormAgend& a = agenda();
    EXPECT_TRUE(a.isVisible());
    EXPECT_FALSE(screens.inizio().isVisible());
    click(a.CandyHCommand4);
    click(a.CandyHCommand3);
    EXPECT_EQ(u("martedì 14 dicembre  2004"), title());

    click(a.CandyHCommand8); // "Menu"
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_TRUE(a.isVisible());
    EXPECT_TRUE(screens.isLoaded(QStringLiteral("FormAgend")));

    // The user goes back to the agenda's window.
    a.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&a));
    EXPECT_EQ(u("lunedì 6 dicembre  2004"), title());
    EXPECT_EQ(QDate(2004, 12, 6), a.MonthView1->selectedDate());
}

TEST_F(AgendaNavigation, chiudiLAgendaHidesItAndTheAgendaButtonShowsTodayAgain) {
    screens.show(screens.inizio());
    openFromStartScreen();
    typeInto(box(1, Note), u("da richiamare"));
    click(agenda().CandyHCommand4);
    EXPECT_EQ(u("lunedì 13 dicembre  2004"), title());

    click(agenda().CandyHCommand6); // "Chiudi l'agenda"
    EXPECT_FALSE(agenda().isVisible());
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_TRUE(screens.isLoaded(QStringLiteral("FormAgend")));
    EXPECT_EQ(u("lunedì 13 dicembre  2004"), title()) << "kept while hidden";

    fp.clock.set(QDate(2004, 12, 7));
    openFromStartScreen();
    EXPECT_TRUE(agenda().isVisible());
    EXPECT_EQ(u("martedì 7 dicembre  2004"), title());
    EXPECT_EQ(u("da richiamare"), dayValues(QDate(2004, 12, 6)).value(FormAgend::TextIndex(1, Note)));
}

TEST_F(AgendaNavigation, closingTheWindowShowsTheStartScreenAndTheNextOpeningLoadsAfresh) {
    screens.show(screens.inizio());
    openFromStartScreen();
    typeInto(box(2, Name), u("Fontana"));
    agenda().close(); // with the box still being edited
    QApplication::processEvents();
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("FormAgend")));
    EXPECT_EQ(u("Fontana"), dayValues(QDate(2004, 12, 6)).value(FormAgend::TextIndex(2, Name)));
    EXPECT_EQ("08:15", rowTime("lunedì", 2));

    fp.clock.set(QDate(2004, 12, 8));
    openFromStartScreen();
    EXPECT_EQ(u("mercoledì 8 dicembre  2004"), title());
    click(agenda().CandyHCommand1);
    click(agenda().CandyHCommand2);
    click(agenda().CandyHCommand2);
    EXPECT_EQ(u("Fontana"), box(2, Name)->text());
}

TEST_F(AgendaNavigation, theDateHolderStaysWithinItsRange) {
    Calendar calendar;
    calendar.setValue(QDate(9999, 12, 31));
    calendar.NextDay();
    EXPECT_EQ(QDate(9999, 12, 31), calendar.Value());
    calendar.setValue(QDate(1753, 1, 3));
    calendar.PreviousWeek();
    EXPECT_EQ(QDate(1753, 1, 3), calendar.Value());
    calendar.PreviousDay();
    EXPECT_EQ(QDate(1753, 1, 2), calendar.Value());
    calendar.setValue(QDate());
    EXPECT_EQ(QDate(1753, 1, 2), calendar.Value());
}

} // namespace
