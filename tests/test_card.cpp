// The patient card driven as a user would: what it shows, where it leads, printing, the end.
#include "app/Screens.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "platform/Candy.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>
#include <limits>

using namespace qv;
using namespace qv::test;

namespace {

class Card : public ScreensTest {
protected:
    void SetUp() override {
        execSql(fp.dbPath(),
                "INSERT INTO Pazienti (ID, Cognome, Nome, \"Attività\", \"Società\", Data) VALUES"
                " (1, 'Rossi', 'Mario', 'Ingegnere', 'Acme', NULL),"
                " (2, 'Bianchi', 'Anna', NULL, NULL, '01/02/2003'),"
                " (3, 'Verdi', 'Luca', NULL, NULL, NULL),"
                " (4, 'Neri', 'Paola', NULL, NULL, NULL),"
                " (5, 'Galli', 'Sara', NULL, NULL, NULL)");
    }

    QWidget* toolButton(const QString& key) {
        return card().Toolbar1->widgetForAction(card().Toolbar1ButtonByKey(key));
    }
};

TEST_F(Card, laysOutItsBoundBoxesAndLabels) {
    frmScheda& c = card();
    EXPECT_EQ("frmScheda", c.objectName().toStdString());
    EXPECT_EQ("Scheda", c.windowTitle().toStdString());

    struct Expected {
        int index;
        const char* label;
        int left, top, width, maxLength;
    };
    const int none = std::numeric_limits<int>::max(); // no cut of the program's own
    const Expected boxes[] = {
        {0, "ID:", 2160, 1200, 615, none},
        {1, "Cognome:", 2160, 1535, 3135, 50},
        {2, "Nome:", 2160, 1870, 3135, 50},
        {9, "Attività / Riferimento:", 2160, 2205, 3135, 50},
        {14, "Società / Ditta:", 2160, 2540, 3135, 50},
        {4, "Indirizzo:", 2160, 2875, 5895, 100},
        {5, "Telefono Casa:", 2160, 3210, 1695, 20},
        {6, "Telefono Ufficio:", 2160, 3545, 1695, none},
        {8, "Data:", 2160, 3855, 1695, none},
        {7, "Cellulare:", 6360, 3201, 1695, none},
        {10, "Fax:", 6360, 3527, 1695, none},
        {11, "E mail:", 6360, 3855, 1695, none},
    };
    for (const Expected& e : boxes) {
        QLineEdit* box = c.txtFields(e.index);
        ASSERT_NE(nullptr, box) << e.index;
        EXPECT_EQ(QStringLiteral("txtFields_%1").arg(e.index), box->objectName());
        EXPECT_EQ(QString::fromUtf8(e.label), box->accessibleName());
        EXPECT_EQ(QRect(twips(e.left), twips(e.top), twips(e.width), twips(285)), box->geometry()) << e.index;
        EXPECT_EQ(e.maxLength, box->maxLength()) << e.index;
        QLabel* label = c.lblLabels(e.index);
        ASSERT_NE(nullptr, label);
        EXPECT_EQ(QString::fromUtf8(e.label), label->text());
        EXPECT_EQ(twips(e.left == 6360 ? 4440 : 240), label->x()) << e.index;
        EXPECT_EQ(twips(e.top), label->y()) << e.index;
    }
    // Exactly the twelve elements of the array.
    int present = 0;
    for (int i = 0; i <= 20; ++i)
        present += c.txtFields(i) != nullptr;
    EXPECT_EQ(12, present);
    EXPECT_EQ(nullptr, c.txtFields(3));
    EXPECT_FALSE(c.txtFields(0)->isEnabled());
    EXPECT_EQ("Doppio click per inserire la data odierna", c.txtFields(8)->toolTip().toStdString());
    EXPECT_EQ("Doppio click per inserire la data odierna", c.txtFields(11)->toolTip().toStdString());

    EXPECT_EQ(QRect(twips(6720), twips(1535), twips(1335), twips(285)), c.Text5->geometry());
    EXPECT_EQ(20, c.Text5->maxLength());
    EXPECT_EQ("Riaprire alla data:", c.Text5->accessibleName().toStdString());
    EXPECT_EQ(QPoint(twips(6720), twips(1200)), c.lblLabels(12)->pos());
    // The data control is hidden, and its position text with it.
    EXPECT_TRUE(c.lblData1->isHidden());

    // A 51st character of the surname cannot be typed.
    screens.show(c);
    c.txtFields(1)->clear();
    QTest::keyClicks(c.txtFields(1), QString(51, QLatin1Char('x')));
    EXPECT_EQ(50, c.txtFields(1)->text().size());
}

TEST_F(Card, aStoredTextLongerThanTheLimitIsShownWholeAndKept) {
    const std::string longName(60, 'L');
    execSql(fp.dbPath(), ("UPDATE Pazienti SET Cognome = '" + longName + "' WHERE ID = 3").c_str());
    openCardOn(3);
    frmScheda& c = card();
    QLineEdit* cognome = c.txtFields(1);
    EXPECT_EQ(longName, cognome->text().toStdString());

    // Nothing can be added; it can be edited within its own length, and the rest is kept.
    cognome->setFocus();
    cognome->end(false);
    QTest::keyClicks(cognome, QStringLiteral("xy"));
    EXPECT_EQ(longName, cognome->text().toStdString());
    QTest::keyClick(cognome, Qt::Key_Backspace);
    QTest::keyClicks(cognome, QStringLiteral("zw"));
    const std::string edited = longName.substr(0, 59) + "z";
    EXPECT_EQ(edited, cognome->text().toStdString());
    c.Data1.Recordset().MoveNext();
    EXPECT_EQ(edited, queryText(fp.dbPath(), "SELECT Cognome FROM Pazienti WHERE ID = 3"));

    // The next patient has the card's own limit again.
    EXPECT_EQ("Neri", cognome->text().toStdString());
    EXPECT_EQ(50, cognome->maxLength());
}

TEST_F(Card, tabWalksTheBoxesInTheCardsOrderStartingAtCognome) {
    screens.show(card());
    QApplication::processEvents();
    frmScheda& c = card();
    EXPECT_EQ(c.txtFields(1), QApplication::focusWidget());
    // ID is disabled, so Tab passes from E mail straight to Text5.
    for (int index : {2, 9, 14, 4, 5, 6, 8, 7, 10, 11}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(c.txtFields(index), QApplication::focusWidget()) << index;
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(c.Text5, QApplication::focusWidget());
}

TEST_F(Card, menuToolbarLabelsAndStatusBarCarryTheirNamesAndTexts) {
    frmScheda& c = card();
    const QList<QAction*> menu = c.menuBar()->actions();
    ASSERT_EQ(4, menu.size());
    const char* names[] = {"mnuFileExit", "mnuCC", "mnuautor", "mnuind"};
    const char* texts[] = {"&Esci", "&Note", "&Copyright", "&Indirizzi utili"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(names[i], menu[i]->objectName().toStdString());
        EXPECT_EQ(texts[i], menu[i]->text().toStdString());
        EXPECT_EQ(nullptr, menu[i]->menu()); // top-level entries, no submenus
    }

    const char* keys[] = {"Schermo", "Camera",     "Cancella", "Stampa", "Cerca",
                          "Elenco",  "CartellaCl", "Nuovo",    "Menu",   "Analisi"};
    const char* tips[] = {"Elabora immagine da schermo",
                          "Seleziona immagine",
                          "Cancella",
                          "Stampa",
                          "Cerca",
                          "Elenco",
                          "Note",
                          "Aggiungi nuovo nominativo",
                          "Menu",
                          "Analisi"};
    ASSERT_EQ(10, c.Toolbar1->actions().size());
    for (int position = 1; position <= 10; ++position) {
        QAction* button = c.Toolbar1Button(position);
        ASSERT_NE(nullptr, button);
        EXPECT_EQ(c.Toolbar1->actions()[position - 1], button);
        EXPECT_EQ(keys[position - 1], button->data().toString().toStdString());
        EXPECT_EQ(std::string("Toolbar1_") + keys[position - 1], button->objectName().toStdString());
        EXPECT_EQ(tips[position - 1], button->toolTip().toStdString());
        EXPECT_FALSE(button->icon().isNull()) << keys[position - 1];
        EXPECT_TRUE(button->isEnabled());
    }
    EXPECT_EQ(nullptr, c.Toolbar1Button(0));
    EXPECT_EQ(nullptr, c.Toolbar1Button(11));

    for (auto [label, name, caption] :
         {std::tuple{c.lblCerca, "lblCerca", "Cerca"}, std::tuple{c.lblLista, "lblLista", "Elenco"},
          std::tuple{c.lblNuovo, "lblNuovo", "Nuovo"}, std::tuple{c.Label7, "Label7", "Note"},
          std::tuple{c.lblMnu, "lblMnu", "Menu"}, std::tuple{c.Label6, "Label6", "Menu"}}) {
        EXPECT_EQ(name, label->objectName().toStdString());
        EXPECT_EQ(caption, label->text().toStdString());
        EXPECT_EQ(caption, label->accessibleName().toStdString());
    }

    // The panels: "Stato", then today's date and the time from the clock.
    fp.clock.set(QDate(2005, 3, 7), QTime(9, 5));
    c.updateClock();
    EXPECT_EQ("Stato", c.sbPanel(1)->text().toStdString());
    EXPECT_EQ("07/03/2005", c.sbPanel(2)->text().toStdString());
    EXPECT_EQ("09:05", c.sbPanel(3)->text().toStdString());
    // They keep themselves current.
    fp.clock.set(QDate(2005, 3, 8), QTime(0, 1));
    EXPECT_TRUE(QTest::qWaitFor([&c] { return c.sbPanel(3)->text() == QStringLiteral("00:01"); }, 3000));
    EXPECT_EQ("08/03/2005", c.sbPanel(2)->text().toStdString());
}

TEST_F(Card, theCommandLabelsAreButtonsForTheKeyboardAndTheScreenReader) {
    openCardOn(3);
    frmScheda& c = card();
    for (QLabel* label : {c.lblCerca, c.lblLista, c.lblNuovo, c.Label7, c.lblMnu}) {
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(label);
        ASSERT_NE(nullptr, spoken);
        EXPECT_EQ(QAccessible::Button, spoken->role()) << label->text().toStdString();
        EXPECT_EQ(label->text(), spoken->text(QAccessible::Name));
        // The label with the focus is marked as such.
        c.txtFields(1)->setFocus();
        const QImage unfocused = label->grab().toImage();
        label->setFocus(Qt::TabFocusReason);
        EXPECT_NE(unfocused, label->grab().toImage()) << label->text().toStdString();
    }
    // After the recall date, Tab walks the commands in their row.
    c.Text5->setFocus(Qt::TabFocusReason);
    for (QLabel* next : {c.lblCerca, c.lblLista, c.lblNuovo, c.Label7, c.lblMnu}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(next, QApplication::focusWidget());
    }
    // Return and Space run them; a click leaves the focus where it was.
    QTest::keyClick(c.lblMnu, Qt::Key_Return);
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(c.isVisible());
    screens.hide(screens.inizio());
    openCardOn(3);
    c.lblCerca->setFocus(Qt::TabFocusReason);
    QTest::keyClick(c.lblCerca, Qt::Key_Space);
    EXPECT_TRUE(screens.cerca().isVisible());
    EXPECT_FALSE(c.isVisible());
    screens.hide(screens.cerca());
    openCardOn(3);
    // Pressing the mouse on one leaves the focus in its box; let go elsewhere, nothing runs.
    c.txtFields(2)->setFocus();
    QTest::mousePress(c.Label7, Qt::LeftButton);
    EXPECT_EQ(c.txtFields(2), QApplication::focusWidget());
    QTest::mouseRelease(c.Label7, Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_TRUE(c.isVisible());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(Card, toolbarButtonsGetTheCardsOwnPicturesWhereTheIconThemeHasNone) {
    const QString theme = QIcon::themeName();
    QIcon::setThemeName(QStringLiteral("Nessuno")); // no such theme: no icons at all
    frmScheda& c = card();
    QIcon::setThemeName(theme);
    for (int position = 1; position <= 10; ++position) {
        const QIcon icon = c.Toolbar1Button(position)->icon();
        EXPECT_FALSE(icon.isNull()) << position;
        EXPECT_FALSE(icon.pixmap(QSize(24, 24)).isNull()) << position;
    }
}

TEST_F(Card, positionTextCountsTheRecordFromOne) {
    openCardOn(1);
    frmScheda& c = card();
    EXPECT_EQ("Rossi", c.txtFields(1)->text().toStdString());
    EXPECT_EQ("Record: 1", c.Data1.Caption().toStdString());
    EXPECT_EQ("Record: 1", c.lblData1->text().toStdString());

    openCardOn(3);
    EXPECT_EQ("Verdi", c.txtFields(1)->text().toStdString());
    EXPECT_EQ("Record: 3", c.Data1.Caption().toStdString());

    openCardOn(5);
    EXPECT_EQ("Galli", c.txtFields(1)->text().toStdString());
    EXPECT_EQ("Record: 5", c.Data1.Caption().toStdString());
    EXPECT_EQ("Record: 5", c.lblData1->text().toStdString());

    // Moving past the end leaves no row and the caption as it was.
    c.Data1.Recordset().MoveNext();
    EXPECT_TRUE(c.Data1.Recordset().Eof());
    EXPECT_EQ("Record: 5", c.Data1.Caption().toStdString());
}

TEST_F(Card, positionTextHoldsForEveryRecordOfALargerTable) {
    std::string sql = "INSERT INTO Pazienti (ID, Cognome) VALUES ";
    for (int id = 6; id <= 300; ++id)
        sql += (id > 6 ? "," : "") + std::string("(") + std::to_string(id) + ", 'P')";
    execSql(fp.dbPath(), sql.c_str());
    RecordSet& records = card().Data1.Recordset();
    records.MoveFirst();
    for (int k = 1; k <= 300; ++k) {
        ASSERT_EQ(("Record: " + std::to_string(k)), card().Data1.Caption().toStdString());
        records.MoveNext();
    }
}

TEST_F(Card, doubleClickOnAnyBoxFillsDataWithTodayOnlyWhenEmpty) {
    fp.clock.set(QDate(2004, 3, 9));
    openCardOn(1);
    frmScheda& c = card();
    ASSERT_EQ("", c.txtFields(8)->text().toStdString());

    QTest::mouseDClick(c.txtFields(9), Qt::LeftButton);
    EXPECT_EQ("09/03/2004", c.txtFields(8)->text().toStdString());

    // Filled: a double-click anywhere leaves it as it is.
    fp.clock.set(QDate(2004, 3, 10));
    for (int index : {1, 8, 11}) {
        QTest::mouseDClick(c.txtFields(index), Qt::LeftButton);
        EXPECT_EQ("09/03/2004", c.txtFields(8)->text().toStdString()) << index;
    }
    // The date is an edit like any other: moving on stores it.
    c.Data1.Recordset().MoveNext();
    EXPECT_EQ("09/03/2004", queryText(fp.dbPath(), "SELECT Data FROM Pazienti WHERE ID = 1"));

    // Patient 2 has a date of its own; the double-click on Cognome keeps it.
    openCardOn(2);
    QTest::mouseDClick(c.txtFields(1), Qt::LeftButton);
    EXPECT_EQ("01/02/2003", c.txtFields(8)->text().toStdString());

    // Emptied by the user, it takes today's date again; a double-click on Text5 or on the
    // disabled ID box does nothing.
    c.txtFields(8)->clear();
    QTest::mouseDClick(c.Text5, Qt::LeftButton);
    QTest::mouseDClick(c.txtFields(0), Qt::LeftButton);
    EXPECT_EQ("", c.txtFields(8)->text().toStdString());
    QTest::mouseDClick(c.txtFields(4), Qt::LeftButton);
    EXPECT_EQ("10/03/2004", c.txtFields(8)->text().toStdString());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(Card, elencoWritesPendingEditsAndLeavesTheCardOneRecordOn) {
    openCardOn(2);
    frmScheda& c = card();
    c.txtFields(4)->setFocus();
    typeText(c.txtFields(4), QStringLiteral("Via Roma 1, Forlì"));
    EXPECT_EQ("<null>", queryText(fp.dbPath(), "SELECT Indirizzo FROM Pazienti WHERE ID = 2"));

    QTest::mouseClick(c.lblLista, Qt::LeftButton);
    EXPECT_EQ("Via Roma 1, Forlì", queryText(fp.dbPath(), "SELECT Indirizzo FROM Pazienti WHERE ID = 2"));
    // Nothing else of the row was touched.
    EXPECT_EQ("Bianchi", queryText(fp.dbPath(), "SELECT Cognome FROM Pazienti WHERE ID = 2"));
    EXPECT_EQ("Verdi", c.txtFields(1)->text().toStdString());
    EXPECT_EQ("Record: 3", c.Data1.Caption().toStdString());
    EXPECT_TRUE(screens.elenco().isVisible());
    EXPECT_FALSE(c.isVisible());

    // The list was refreshed after the write: it shows the new address.
    bool seen = false;
    RecordSet& list = screens.elenco().Data1.Recordset();
    for (const auto& row : list.allRows()) {
        for (const QVariant& value : row)
            seen = seen || value.toString() == QStringLiteral("Via Roma 1, Forlì");
    }
    EXPECT_TRUE(seen);
    EXPECT_TRUE(fp.msg.shown().empty());

    // The toolbar's "Elenco" does the same.
    openCardOn(4);
    QTest::mouseClick(toolButton(QStringLiteral("Elenco")), Qt::LeftButton);
    EXPECT_EQ("Galli", c.txtFields(1)->text().toStdString());
    EXPECT_TRUE(screens.elenco().isVisible());
    EXPECT_FALSE(c.isVisible());
}

TEST_F(Card, cercaAndMenuHideTheCardWithoutWriting) {
    openCardOn(3);
    frmScheda& c = card();
    c.txtFields(5)->setFocus();
    QTest::keyClicks(c.txtFields(5), QStringLiteral("0543 123456"));

    QTest::mouseClick(c.lblCerca, Qt::LeftButton);
    EXPECT_TRUE(screens.cerca().isVisible());
    EXPECT_FALSE(c.isVisible());
    EXPECT_EQ("<null>", queryText(fp.dbPath(), "SELECT \"Telefono Casa\" FROM Pazienti WHERE ID = 3"));
    // The edit waits in its box.
    EXPECT_EQ("0543 123456", c.txtFields(5)->text().toStdString());

    screens.hide(screens.cerca());
    screens.show(c);
    QTest::mouseClick(c.lblMnu, Qt::LeftButton);
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(c.isVisible());
    // The start screen's activation refreshed the card: the edit was written, the card is on
    // the first record.
    EXPECT_EQ("0543 123456", queryText(fp.dbPath(), "SELECT \"Telefono Casa\" FROM Pazienti WHERE ID = 3"));
    EXPECT_EQ("Rossi", c.txtFields(1)->text().toStdString());
    EXPECT_EQ("Record: 1", c.Data1.Caption().toStdString());

    // The toolbar's "Cerca" and "Menu" lead to the same screens.
    screens.hide(screens.inizio());
    openCardOn(2);
    QTest::mouseClick(toolButton(QStringLiteral("Cerca")), Qt::LeftButton);
    EXPECT_TRUE(screens.cerca().isVisible());
    EXPECT_FALSE(c.isVisible());
    screens.hide(screens.cerca());
    openCardOn(2);
    QTest::mouseClick(toolButton(QStringLiteral("Menu")), Qt::LeftButton);
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(c.isVisible());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(Card, schermoAnalisiAndUnknownKeysDoNothing) {
    openCardOn(2);
    frmScheda& c = card();
    const QStringList before = screens.loadOrder();
    for (const QString& key : {QStringLiteral("Schermo"), QStringLiteral("Analisi")})
        QTest::mouseClick(toolButton(key), Qt::LeftButton);
    c.Toolbar1_ButtonClick(QStringLiteral("menu")); // keys match exactly, case included
    c.Toolbar1_ButtonClick(QStringLiteral("Inesistente"));
    c.mnuind->trigger();
    EXPECT_TRUE(c.isVisible());
    EXPECT_EQ("Bianchi", c.txtFields(1)->text().toStdString());
    EXPECT_EQ(before, screens.loadOrder());
    EXPECT_EQ(0, fp.printer.dialogsShown());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(Card, copyrightShowsTheCreditLine) {
    openCardOn(1);
    fp.msg.expect({.title = QStringLiteral("Quorvane"), .icon = MsgIcon::None, .buttons = MsgButtons::Ok});
    card().mnuautor->trigger();
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("Quorvane")));
}

TEST_F(Card, printingPutsAnImageOfTheCardOnThePrinterAndCancellingSaysNothing) {
    openCardOn(1);
    frmScheda& c = card();
    const QString pdf = fp.dir.filePath(QStringLiteral("scheda.pdf"));
    fp.printer.printToFile(pdf);
    QTest::mouseClick(toolButton(QStringLiteral("Stampa")), Qt::LeftButton);
    EXPECT_EQ(1, fp.printer.dialogsShown());
    ASSERT_EQ(1u, fp.printer.images().size());
    EXPECT_EQ(c.size(), fp.printer.images()[0].size() / c.devicePixelRatio());
    EXPECT_EQ(1, fp.printer.pagesEnded());
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5).startsWith("%PDF"));
    EXPECT_GT(file.size(), 1000);

    fp.printer.cancelNext(true);
    QTest::mouseClick(toolButton(QStringLiteral("Stampa")), Qt::LeftButton);
    EXPECT_EQ(2, fp.printer.dialogsShown());
    EXPECT_EQ(1u, fp.printer.images().size());
    EXPECT_EQ(1, fp.printer.pagesEnded());
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_TRUE(c.isVisible());
}

TEST_F(Card, esciAndClosingTheCardEndTheProgramWritingPendingEdits) {
    screens.inizio();
    openCardOn(4);
    frmScheda& c = card();
    c.txtFields(10)->setFocus();
    QTest::keyClicks(c.txtFields(10), QStringLiteral("0543 999"));
    c.mnuFileExit->trigger();
    EXPECT_TRUE(screens.ended());
    EXPECT_TRUE(fp.end.ended());
    EXPECT_EQ(1, fp.end.count());
    EXPECT_EQ("0543 999", queryText(fp.dbPath(), "SELECT Fax FROM Pazienti WHERE ID = 4"));
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(Card, closingTheCardsWindowEndsTheProgram) {
    screens.inizio();
    openCardOn(1);
    card().close();
    EXPECT_TRUE(screens.ended());
    EXPECT_EQ(1, fp.end.count());
    EXPECT_TRUE(screens.loadOrder().isEmpty());
}

} // namespace
