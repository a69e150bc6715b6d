// The start screen driven as a user would: its commands, its activation, the end of the program.
#include "agenda/FormAgend.h"
#include "app/Screens.h"
#include "app/Startup.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "clinical/frmCartellaClinica.h"
#include "platform/Candy.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "tests/support/Files.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace qv;
using namespace qv::test;

namespace {

class StartScreen : public ScreensTest {
protected:
    void SetUp() override {
        execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome, Nome) VALUES (1, 'Rossi', 'Mario'),"
                             " (2, 'Bianchi', 'Anna'), (3, 'Verdi', 'Luca')");
    }

    void start() {
        startProgram(screens);
        QApplication::processEvents();
        ASSERT_TRUE(screens.isLoaded(QStringLiteral("frmInizio")));
    }

    frmInizio& inizio() { return screens.inizio(); }
};

TEST_F(StartScreen, opensOnTheStartScreenWithItsFiveCommands) {
    start();
    frmInizio& s = inizio();
    EXPECT_TRUE(s.isVisible());
    EXPECT_EQ("Quorvane", s.windowTitle().toStdString());
    EXPECT_TRUE(fp.msg.shown().empty());

    const std::vector<std::pair<CandyHCommand*, QString>> buttons{{s.CandyHCommand6, "Cerca"},
                                                                  {s.CandyHCommand5, "Aggiungi"},
                                                                  {s.CandyHCommand4, "Elenco"},
                                                                  {s.CandyHCommand8, "Agenda"},
                                                                  {s.CandyHCommand3, "Chiudi"}};
    int top = 240;
    for (auto& [button, caption] : buttons) {
        EXPECT_EQ(caption, button->text());
        EXPECT_EQ(caption, button->accessibleName());
        EXPECT_EQ(QColor(255, 255, 255), button->captionColor());
        EXPECT_EQ(QColor(128, 128, 255), button->focusColor());
        EXPECT_EQ("MS Sans Serif", button->font().family().toStdString());
        EXPECT_DOUBLE_EQ(9.75, button->font().pointSizeF());
        EXPECT_EQ(QRect(twips(4080), twips(top), twips(2625), twips(480)), button->geometry());
        top += 660;
    }
    // "Aggiungi" has the focus; Tab walks Aggiungi, Cerca, Elenco, Chiudi, Agenda.
    EXPECT_EQ(s.CandyHCommand5, QApplication::focusWidget());
    const std::vector<QWidget*> order{s.CandyHCommand6, s.CandyHCommand4, s.CandyHCommand3, s.CandyHCommand8};
    for (QWidget* expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(expected, QApplication::focusWidget()) << expected->objectName().toStdString();
    }
    // The hidden labels are never shown.
    EXPECT_FALSE(s.lblCerca->isVisible());
    EXPECT_FALSE(s.lblNuovo->isVisible());
    EXPECT_EQ("Aggiungi ", s.lblNuovo->text().toStdString());
}

TEST_F(StartScreen, startUpLoadsTheCardHiddenOnItsFirstRecord) {
    start();
    EXPECT_EQ((QStringList{"frmInizio", "frmScheda"}), screens.loadOrder());
    EXPECT_FALSE(card().isVisible());
    EXPECT_EQ("Rossi", card().txtFields(1)->text().toStdString());
}

TEST_F(StartScreen, commandsShowTheirScreenAndHideTheStartScreen) {
    start();
    QTest::mouseClick(inizio().CandyHCommand6, Qt::LeftButton);
    EXPECT_TRUE(screens.cerca().isVisible());
    EXPECT_FALSE(inizio().isVisible());

    screens.show(inizio());
    screens.hide(screens.cerca());
    QTest::mouseClick(inizio().CandyHCommand4, Qt::LeftButton);
    EXPECT_TRUE(screens.elenco().isVisible());
    EXPECT_FALSE(inizio().isVisible());

    screens.show(inizio());
    screens.hide(screens.elenco());
    QTest::keyClick(inizio().CandyHCommand8, Qt::Key_Space);
    EXPECT_TRUE(screens.agend().isVisible());
    EXPECT_FALSE(inizio().isVisible());
    EXPECT_FALSE(fp.end.ended());
}

TEST_F(StartScreen, addStartsANewPatientOnTheCardWithDeleteDisabled) {
    start();
    card().Data1.Recordset().MoveNext(); // the card shows Bianchi
    QTest::mouseClick(inizio().CandyHCommand5, Qt::LeftButton);

    EXPECT_TRUE(card().isVisible());
    EXPECT_FALSE(inizio().isVisible());
    EXPECT_FALSE(card().Toolbar1Button(3)->isEnabled());
    EXPECT_TRUE(card().Data1.Recordset().isNewRow());
    EXPECT_EQ("4", card().txtFields(0)->text().toStdString());
    for (int index : {1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 14})
        EXPECT_TRUE(card().txtFields(index)->text().isEmpty()) << index;
    EXPECT_TRUE(card().Text5->text().isEmpty());
}

TEST_F(StartScreen, returningToTheStartScreenWritesTheCardAndPutsItOnTheFirstRecord) {
    start();
    card().Data1.Recordset().MoveNext();
    card().Data1.Recordset().MoveNext();
    ASSERT_EQ("Verdi", card().txtFields(1)->text().toStdString());
    card().txtFields(4)->setText(QStringLiteral("Via Po 3"));

    QTest::mouseClick(inizio().CandyHCommand6, Qt::LeftButton); // to the search
    screens.show(inizio());                                     // back, as the search's "Menu" does
    screens.hide(screens.cerca());

    EXPECT_EQ("Rossi", card().txtFields(1)->text().toStdString());
    EXPECT_EQ("Via Po 3", queryText(fp.dbPath(), "SELECT Indirizzo FROM Pazienti WHERE ID = 3"));
}

TEST_F(StartScreen, chiudiUnloadsEveryScreenInLoadOrderAndEnds) {
    start();
    QTest::mouseClick(inizio().CandyHCommand4, Qt::LeftButton); // loads the list
    screens.show(inizio());
    QTest::mouseClick(inizio().CandyHCommand6, Qt::LeftButton); // loads the search
    screens.show(inizio());
    const QStringList loaded = screens.loadOrder();
    ASSERT_EQ((QStringList{"frmInizio", "frmScheda", "frmElenco", "frmCerca"}), loaded);

    card().txtFields(2)->setText(QStringLiteral("Maria")); // pending on the card: written at the end
    QTest::mouseClick(inizio().CandyHCommand3, Qt::LeftButton);

    EXPECT_TRUE(fp.end.ended());
    EXPECT_EQ(1, fp.end.count());
    EXPECT_EQ(loaded, screens.unloadedAtEnd());
    EXPECT_TRUE(screens.loadOrder().isEmpty());
    EXPECT_EQ("Maria", queryText(fp.dbPath(), "SELECT Nome FROM Pazienti WHERE ID = 1"));
    EXPECT_EQ(0, screens.exitStatus());
}

TEST_F(StartScreen, closingTheWindowEndsTheProgramLikeChiudi) {
    start();
    QTest::mouseClick(inizio().CandyHCommand8, Qt::LeftButton); // the agenda
    screens.show(inizio());
    const QStringList loaded = screens.loadOrder();
    inizio().close();
    EXPECT_TRUE(fp.end.ended());
    EXPECT_EQ(loaded, screens.unloadedAtEnd());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(StartScreen, closingAnotherScreensWindowShowsTheStartScreenAndUnloadsIt) {
    start();
    QTest::mouseClick(inizio().CandyHCommand6, Qt::LeftButton);
    screens.cerca().close();
    EXPECT_TRUE(inizio().isVisible());
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("frmCerca")));
    EXPECT_FALSE(fp.end.ended());
    // Touched again, it is loaded afresh, last in load order.
    screens.cerca();
    EXPECT_EQ("frmCerca", screens.loadOrder().last().toStdString());
}

TEST_F(StartScreen, aRefusedCardWriteOnReturnIsShownAndEndsInOrder) {
    execSql(fp.dbPath(), "CREATE TRIGGER refuse BEFORE UPDATE ON Pazienti "
                         "BEGIN SELECT RAISE(ABORT, 'scrittura rifiutata'); END");
    start();
    card().txtFields(1)->setText(QStringLiteral("Rossini"));
    QTest::mouseClick(inizio().CandyHCommand6, Qt::LeftButton);

    fp.msg.expect({.title = QStringLiteral("Quorvane")});
    ExpectedBox failure{.icon = MsgIcon::Critical};
    fp.msg.expect(failure);
    // The search's way back: the start screen's activation refreshes the card, whose write is refused.
    screens.cerca().guard([&] { screens.show(inizio()); });

    ASSERT_EQ(2u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.startsWith(QStringLiteral("Intercettato errore dei dati:")));
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("scrittura rifiutata")));
    EXPECT_TRUE(fp.end.ended());
    EXPECT_EQ(1, screens.exitStatus()); // a failure is not a success for whoever started the program
    EXPECT_EQ("Rossi", queryText(fp.dbPath(), "SELECT Cognome FROM Pazienti WHERE ID = 1"));
}

TEST(StartScreenFailures, aCardThatCannotOpenItsDataIsShownAndEndsInOrder) {
    FakePlatform fp;
    ASSERT_TRUE(writeFile(fp.dbPath(), "this is not a database at all, just some text"));
    fp.msg.expect({.icon = MsgIcon::Critical});
    Screens screens(fp.platform);
    startProgram(screens);
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_FALSE(fp.msg.shown()[0].prompt.isEmpty());
    EXPECT_TRUE(fp.end.ended());
    EXPECT_TRUE(screens.loadOrder().isEmpty());
}

} // namespace

TEST(StartScreenFailures, aLoadFailingAfterTheReminderLoadedTheCardStillUnloadsTheCard) {
    ArchiveFolder fp;
    execSql(fp.dbPath(),
            "INSERT INTO Pazienti (ID, Cognome, \"Data richiamo\") VALUES (1, 'Rossi', '01/01/2000')");
    // The reminder's box is open when the start screen's load fails: the card is loaded by then.
    fp.msg.expect({.whileOpen = [] { throw std::runtime_error("caricamento non riuscito"); }});
    fp.msg.expect(QStringLiteral("caricamento non riuscito"));
    Screens screens(fp.platform);
    startProgram(screens);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(fp.end.ended());
    EXPECT_EQ(QStringList{QStringLiteral("frmScheda")}, screens.unloadedAtEnd());
    EXPECT_TRUE(screens.loadOrder().isEmpty());
}

TEST_F(StartScreen, everyWindowAndControlSpeaksWhatTheUserSees) {
    start();
    const std::vector<std::pair<Screen*, QString>> windows = {
        {&inizio(), QStringLiteral("Quorvane")},
        {&card(), QStringLiteral("Scheda")},
        {&screens.cerca(), QStringLiteral("Cerca ")},
        {&screens.elenco(), QStringLiteral("Elenco")},
        {&screens.cartellaClinica(), QStringLiteral("Note")},
        {&screens.agend(), QStringLiteral("Agenda")},
    };
    for (const auto& [window, caption] : windows) {
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(window);
        ASSERT_NE(nullptr, spoken);
        EXPECT_EQ(caption.toStdString(), spoken->text(QAccessible::Name).toStdString());
        // Whatever takes the focus is spoken by what it shows or by its label, never by its code name.
        for (QWidget* control : window->findChildren<QWidget*>()) {
            if (control->focusPolicy() == Qt::NoFocus || control->objectName().isEmpty() ||
                control->objectName().startsWith(QLatin1String("qt_")))
                continue;
            QAccessibleInterface* item = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(nullptr, item);
            const QString name = item->text(QAccessible::Name);
            EXPECT_FALSE(name.trimmed().isEmpty()) << control->objectName().toStdString();
            EXPECT_NE(control->objectName(), name) << control->objectName().toStdString();
        }
    }
}

TEST_F(StartScreen, aShutdownHangupOrInterruptEndsInOrderWritingWhatWasTyped) {
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(number);
        ArchiveFolder platform;
        execSql(platform.dbPath(), "INSERT INTO Pazienti (ID, Cognome) VALUES (1, 'Rossi')");
        Screens all(platform.platform);
        all.endOnSystemRequests();
        startProgram(all);
        QTest::mouseClick(all.inizio().CandyHCommand8, Qt::LeftButton); // the agenda, loaded last
        const QStringList loaded = all.loadOrder();
        all.scheda().txtFields(2)->setText(QStringLiteral("Mario")); // pending on the card
        FormAgend& agenda = all.agend();
        QLineEdit* slot = agenda.Text(FormAgend::TextIndex(3, FormAgend::Column::Name));
        slot->setFocus();
        slot->setText(QStringLiteral("Verdi")); // being typed in the agenda
        const QString dayFile = platform.platform.path(QStringLiteral("Agd/")) + agenda.Label1->text();
        ASSERT_EQ(0, ::raise(number));
        QTRY_VERIFY(platform.end.ended());
        EXPECT_EQ(1, platform.end.count());
        EXPECT_EQ(loaded, all.unloadedAtEnd());
        EXPECT_EQ("Mario", queryText(platform.dbPath(), "SELECT Nome FROM Pazienti WHERE ID = 1"));
        QFile day(dayFile);
        ASSERT_TRUE(day.open(QIODevice::ReadOnly));
        EXPECT_TRUE(day.readAll().contains("\"Verdi\"\r\n"));
        EXPECT_EQ(0, all.exitStatus());
    }
}

TEST_F(StartScreen, losingTheDisplayWritesWhatWasTypedWithoutTouchingTheWindows) {
    start();
    frmScheda& shown = card();
    shown.txtFields(4)->setText(QStringLiteral("Via Roma 1"));
    screens.show(shown);
    screens.endProgramAtExit(); // what the exit after a lost display runs
    EXPECT_TRUE(fp.end.ended());
    EXPECT_EQ("Via Roma 1", queryText(fp.dbPath(), "SELECT Indirizzo FROM Pazienti WHERE ID = 1"));
    EXPECT_TRUE(shown.isVisible()); // left as it was: its fonts and windows may be gone already
    EXPECT_EQ("Via Roma 1", shown.txtFields(4)->text().toStdString());
}
