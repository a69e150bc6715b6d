// The search screen driven as a user would: the four options, the result lines, the prompts,
// the apostrophe, and the card opened on the chosen patient.
#include "app/Screens.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "search/OpenCard.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

class Search : public ScreensTest {
protected:
    void SetUp() override {
        execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome, Nome, \"Attività\", \"Società\") VALUES"
                             " (1, 'Rossi', 'Mario', 'Ingegnere', 'Acme 2000'),"
                             " (2, 'Bianchi', 'Rosa', NULL, NULL),"
                             " (3, NULL, 'Rosanna', 'Impiegata', 'Società Beta'),"
                             " (4, 'D''Amico', 'Luca', NULL, NULL),"
                             " (5, 'Nicolò', 'Paola', 'Commercialista', NULL),"
                             " (6, 'ROSSETTI', 'Giulia', NULL, 'Dentalia'),"
                             " (27, 'Verdi', 'Carlo', NULL, NULL),"
                             " (123456, 'Grandi', 'Marco', NULL, NULL)");
        screens.show(cerca());
        QApplication::processEvents();
    }

    frmCerca& cerca() { return screens.cerca(); }

    // Picks an option, types the fragment into the search box and clicks "Cerca".
    void searchFor(QRadioButton* option, const QString& fragment) {
        QTest::mouseClick(option, Qt::LeftButton);
        cerca().TXTCerca->setFocus();
        typeText(cerca().TXTCerca, fragment);
        QTest::mouseClick(cerca().lblCerca, Qt::LeftButton);
    }

    QStringList lines() {
        QStringList out;
        for (int i = 0; i < cerca().List1ListCount(); ++i)
            out << cerca().List1List(i);
        EXPECT_EQ(cerca().List1ListCount(), cerca().List1->model()->rowCount())
            << "the view shows every line";
        return out;
    }

    void expectNoMatch(const char* prompt) {
        ExpectedBox box;
        box.prompt = QString::fromUtf8(prompt);
        box.title = QStringLiteral(" Nessuna corrispondenza!");
        box.icon = MsgIcon::Exclamation;
        box.buttons = MsgButtons::Ok;
        fp.msg.expect(box);
    }

    // "Scheda" on the second line, whose patient is no longer there: said, and no card opens.
    void expectSecondLineGone() {
        selectLine(1);
        ExpectedBox box;
        box.prompt = kPatientGone;
        box.icon = MsgIcon::Exclamation;
        fp.msg.expect(box);
        QTest::mouseClick(cerca().Label1, Qt::LeftButton);
        EXPECT_TRUE(fp.msg.scriptDone());
        EXPECT_TRUE(cerca().isVisible());
    }

    void selectLine(int row) {
        QListView* list = cerca().List1;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
    }

    static QString line(const char* first, const char* second, const char* id) {
        return QString::fromUtf8(first) + QStringLiteral(",    ") + QString::fromUtf8(second) +
               QStringLiteral(";     ID:      ") + QString::fromUtf8(id);
    }
};

TEST_F(Search, laysOutItsControlsWithTheirCaptionsAndNames) {
    frmCerca& s = cerca();
    EXPECT_EQ("Cerca ", s.windowTitle().toStdString());
    EXPECT_EQ("Scrivi alcune lettere  del campo relativo alla scheda che vuoi visualizzare",
              s.Frame1->title().toStdString());
    const std::pair<QWidget*, const char*> named[] = {
        {s.OptionCogno, "Cognome"},
        {s.OptionNome, "Nome"},
        {s.OptionSoc, "Società"},
        {s.OptionAtt, "Attività"},
        {s.lblCerca, "Cerca"},
        {s.Label1, "Scheda"},
        {s.lblElenco, "Elenco"},
        {s.lblMnu, "Menu"},
        {s.TextID, "ID"},
        {s.Frame1, "Scrivi alcune lettere  del campo relativo alla scheda che vuoi visualizzare"},
        {s.TXTCerca, "Scrivi alcune lettere  del campo relativo alla scheda che vuoi visualizzare"},
    };
    for (const auto& [widget, name] : named)
        EXPECT_EQ(name, widget->accessibleName().toStdString()) << widget->objectName().toStdString();
    EXPECT_EQ("OptionSoc", s.OptionSoc->objectName().toStdString());
    EXPECT_EQ("Label1", s.Label1->objectName().toStdString());
    EXPECT_EQ("Cognome", s.OptionCogno->text().toStdString());
    EXPECT_EQ("Attività", s.OptionAtt->text().toStdString());
    EXPECT_EQ("Scheda", s.Label1->text().toStdString());
    EXPECT_EQ("ID", s.TextID->text().toStdString());
    EXPECT_TRUE(s.OptionCogno->isChecked());
    EXPECT_TRUE(s.TXTCerca->text().isEmpty());
    // One row of options, left to right, at the top of the frame.
    EXPECT_LT(s.OptionCogno->x(), s.OptionNome->x());
    EXPECT_LT(s.OptionNome->x(), s.OptionSoc->x());
    EXPECT_LT(s.OptionSoc->x(), s.OptionAtt->x());
    EXPECT_EQ(s.OptionCogno->y(), s.OptionAtt->y());
    EXPECT_EQ(s.Frame1, s.List1->parentWidget());
    EXPECT_EQ(s.Frame1, s.lblCerca->parentWidget());
    EXPECT_NE(s.Frame1, s.lblElenco->parentWidget());
    // The options are exclusive.
    QTest::mouseClick(s.OptionNome, Qt::LeftButton);
    EXPECT_FALSE(s.OptionCogno->isChecked());
    EXPECT_TRUE(s.OptionNome->isChecked());
}

TEST_F(Search, cognomeListsMatchesIgnoringCaseAndEmptiesTheBox) {
    searchFor(cerca().OptionCogno, QStringLiteral("ros"));
    EXPECT_EQ(lines(), (QStringList{line("Rossi", "Mario", "1"), line("ROSSETTI", "Giulia", "6")}));
    EXPECT_TRUE(cerca().TXTCerca->text().isEmpty());
    EXPECT_EQ("Select * From Pazienti Where Cognome   Like '*ros*'",
              cerca().Data1.RecordSource().toStdString());

    expectNoMatch("Nessuna corrispondenza!");
    searchFor(cerca().OptionCogno, QStringLiteral("zzz"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_TRUE(cerca().TXTCerca->text().isEmpty());
}

TEST_F(Search, nomeLeavesOutAPatientWithoutSurname) {
    searchFor(cerca().OptionNome, QStringLiteral("ROS"));
    EXPECT_EQ(lines(), (QStringList{line("Bianchi", "Rosa", "2")}));
    expectNoMatch("Nessuna corrispondenza!");
    searchFor(cerca().OptionNome, QStringLiteral("qqq"));
    EXPECT_TRUE(fp.msg.scriptDone());
}

TEST_F(Search, societaAndAttivitaStartTheirLinesWithTheCompany) {
    searchFor(cerca().OptionSoc, QStringLiteral("beta"));
    EXPECT_EQ(lines(), (QStringList{line("Società Beta", "Impiegata", "3")}));
    // Right after lines were found, a search that finds nothing empties the list.
    expectNoMatch("Nessuna corrispondenza! ");
    searchFor(cerca().OptionSoc, QStringLiteral("nessuna"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(lines().isEmpty());

    searchFor(cerca().OptionAtt, QStringLiteral("commerc"));
    EXPECT_EQ(lines(), (QStringList{line("", "Commercialista", "5")}));
    QTest::mouseClick(cerca().Frame1, Qt::LeftButton, {},
                      QPoint(cerca().Frame1->width() - 5, cerca().Frame1->height() - 5));
    EXPECT_TRUE(lines().isEmpty()) << "a click on the frame's free area empties the list";
    expectNoMatch(" Nessuna corrispondenza!");
    searchFor(cerca().OptionAtt, QStringLiteral("pilota"));
    EXPECT_TRUE(fp.msg.scriptDone());
}

TEST_F(Search, anEmptyFragmentListsEveryPatientWithTheKeyFieldFilled) {
    searchFor(cerca().OptionCogno, QString());
    EXPECT_EQ(7, lines().size());
    EXPECT_FALSE(lines().join(QLatin1Char('|')).contains(QStringLiteral("Rosanna")));
    searchFor(cerca().OptionSoc, QString());
    EXPECT_EQ(lines(), (QStringList{line("Acme 2000", "Ingegnere", "1"),
                                    line("Società Beta", "Impiegata", "3"), line("Dentalia", "", "6")}));
}

TEST_F(Search, everyOptionListsItsLinesInTheOrderOfTheIdentifiers) {
    // Neither alphabetical nor the order of storing: an empty surname is no surname.
    execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome, Nome, \"Attività\", \"Società\") VALUES"
                         " (8, '', 'Vuoto', 'Idraulico', ''), (7, 'Abate', 'Zeno', NULL, 'Zeta Srl')");
    const QStringList bySurname{line("Rossi", "Mario", "1"),     line("Bianchi", "Rosa", "2"),
                                line("D'Amico", "Luca", "4"),    line("Nicolò", "Paola", "5"),
                                line("ROSSETTI", "Giulia", "6"), line("Abate", "Zeno", "7"),
                                line("Verdi", "Carlo", "27"),    line("Grandi", "Marco", "123456")};
    searchFor(cerca().OptionCogno, QString());
    EXPECT_EQ(lines(), bySurname);
    searchFor(cerca().OptionNome, QString());
    EXPECT_EQ(lines(), bySurname);
    searchFor(cerca().OptionSoc, QString());
    EXPECT_EQ(lines(),
              (QStringList{line("Acme 2000", "Ingegnere", "1"), line("Società Beta", "Impiegata", "3"),
                           line("Dentalia", "", "6"), line("Zeta Srl", "", "7")}));
    // The occupation must be filled; the line still begins with the company, empty or not.
    const QStringList acme{line("Acme 2000", "Ingegnere", "1"), line("Società Beta", "Impiegata", "3"),
                           line("", "Commercialista", "5")};
    searchFor(cerca().OptionAtt, QString());
    EXPECT_EQ(lines(), acme + QStringList{line("", "Idraulico", "8")});
    searchFor(cerca().OptionAtt, QStringLiteral("E"));
    EXPECT_EQ(lines(), acme);
}

TEST_F(Search, aSearchThatTakesLongShowsTheBusyCursorUntilItIsDone) {
    execSql(fp.dbPath(),
            "WITH RECURSIVE n(i) AS (SELECT 1000 UNION ALL SELECT i + 1 FROM n WHERE i < 4000)"
            " INSERT INTO Pazienti (ID, Cognome, Nome) SELECT i, 'Paziente ' || i, 'Nome' FROM n");
    // Quick: no busy cursor.
    searchFor(cerca().OptionCogno, QStringLiteral("ros"));
    QApplication::processEvents();
    EXPECT_EQ(0, fp.busy.shows);
    // Long (the work's clock moves on as the search goes): busy from a tenth of a second on,
    // until the program is back in its event loop.
    fp.workStepMs = 10;
    searchFor(cerca().OptionCogno, QString());
    EXPECT_EQ(3008, lines().size());
    EXPECT_EQ(1, fp.busy.shows);
    EXPECT_TRUE(fp.busy.on);
    QApplication::processEvents();
    EXPECT_FALSE(fp.busy.on);
    // A message box ends the busy time: the box's event loop runs.
    ExpectedBox box;
    box.prompt = QStringLiteral("Nessuna corrispondenza!");
    box.whileOpen = [this] {
        EXPECT_TRUE(fp.busy.on);
        QApplication::processEvents();
        EXPECT_FALSE(fp.busy.on);
    };
    fp.msg.expect(box);
    searchFor(cerca().OptionCogno, QStringLiteral("zzz"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(2, fp.busy.shows);
}

TEST_F(Search, typedWildcardsKeepTheirMeaning) {
    searchFor(cerca().OptionCogno, QStringLiteral("*"));
    EXPECT_EQ(7, lines().size());
    searchFor(cerca().OptionCogno, QStringLiteral("R?ss"));
    EXPECT_EQ(2, lines().size());
    searchFor(cerca().OptionSoc, QStringLiteral("#"));
    EXPECT_EQ(lines(), (QStringList{line("Acme 2000", "Ingegnere", "1")}));
    searchFor(cerca().OptionCogno, QStringLiteral("Bi[a-c]"));
    EXPECT_EQ(lines(), (QStringList{line("Bianchi", "Rosa", "2")}));
    // Accented letters match in either case, but not their base letter.
    searchFor(cerca().OptionCogno, QStringLiteral("NICOLÒ"));
    EXPECT_EQ(lines(), (QStringList{line("Nicolò", "Paola", "5")}));
    expectNoMatch("Nessuna corrispondenza!");
    searchFor(cerca().OptionCogno, QStringLiteral("nicolo"));
    EXPECT_TRUE(fp.msg.scriptDone());
}

TEST_F(Search, anApostropheIsRefusedAndTheBoxEmptiedWithTheFocus) {
    searchFor(cerca().OptionCogno, QStringLiteral("ros"));
    ASSERT_EQ(2, lines().size());
    ExpectedBox box;
    box.prompt = QStringLiteral("L'apostrofo è un carattere non ammesso.");
    box.title = QStringLiteral("Quorvane");
    box.icon = MsgIcon::Critical;
    box.buttons = MsgButtons::Ok;
    fp.msg.expect(box);
    searchFor(cerca().OptionCogno, QStringLiteral("D'Amico"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_TRUE(cerca().TXTCerca->text().isEmpty());
    EXPECT_TRUE(cerca().TXTCerca->hasFocus());

    // No typed text changes the statement or the file.
    for (const char* attempt : {"x' OR '1'='1", "'; DROP TABLE Pazienti; --"}) {
        fp.msg.expect(QStringLiteral("L'apostrofo è un carattere non ammesso."));
        searchFor(cerca().OptionCogno, QString::fromUtf8(attempt));
        EXPECT_TRUE(lines().isEmpty());
    }
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(8, patientCount(fp.dbPath()));
}

TEST_F(Search, afterTheApostropheBoxTheKeyboardIsBackInTheSearchBox) {
    // The program's own box, answered with Return as a user would.
    QtMessageBox realBoxes;
    Platform real{realBoxes, fp.clock, fp.end, fp.printer, fp.progress, fp.busy, fp.platform.folder};
    Screens program{real};
    screens.hide(cerca());
    frmCerca& s = program.cerca();
    program.show(s);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&s));
    s.TXTCerca->setFocus();
    typeText(s.TXTCerca, QStringLiteral("D'Amico"));
    auto* answer = new QTimer(&s);
    answer->setInterval(10);
    QObject::connect(answer, &QTimer::timeout, answer, [answer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            answer->stop();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    answer->start();
    QTest::mouseClick(s.lblCerca, Qt::LeftButton);
    EXPECT_FALSE(answer->isActive()) << "the box was shown and answered";
    EXPECT_TRUE(QTest::qWaitFor([&s] { return s.isActiveWindow(); }, 2000));
    EXPECT_EQ(s.TXTCerca, QApplication::focusWidget());
}

TEST_F(Search, theKeyboardStaysInTheBoxRunsTheSearchWithReturnAndOpensTheChosenLine) {
    frmCerca& s = cerca();
    // A click on "Cerca" leaves the focus in the box, ready for the next fragment.
    searchFor(s.OptionCogno, QStringLiteral("ros"));
    ASSERT_EQ(2, lines().size());
    EXPECT_EQ(s.TXTCerca, QApplication::focusWidget());
    // Return in the box runs the search.
    typeText(s.TXTCerca, QStringLiteral("verdi"));
    QTest::keyClick(s.TXTCerca, Qt::Key_Return);
    ASSERT_EQ(lines(), (QStringList{line("Verdi", "Carlo", "27")}));
    EXPECT_TRUE(s.TXTCerca->text().isEmpty());
    EXPECT_EQ(s.TXTCerca, QApplication::focusWidget());
    // "Scheda" without a line asks for one, and its click leaves the focus in the box too.
    fp.msg.expect(QStringLiteral(" E' necessario prima selezionare un paziente. "));
    QTest::mouseClick(s.Label1, Qt::LeftButton);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(s.TXTCerca, QApplication::focusWidget());
    // Tab reaches the list over the two commands and selects its line; "Scheda" opens it.
    for (QWidget* next : std::initializer_list<QWidget*>{s.lblCerca, s.Label1, s.List1}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(next, QApplication::focusWidget());
    }
    EXPECT_EQ(0, s.List1ListIndex());
    QTest::mouseClick(s.Label1, Qt::LeftButton);
    frmScheda& card = screens.scheda();
    ASSERT_TRUE(card.isVisible());
    EXPECT_EQ("27", card.txtFields(0)->text().toStdString());

    // Return on a selected line does what "Scheda" does.
    QTest::mouseClick(card.lblCerca, Qt::LeftButton);
    searchFor(s.OptionCogno, QStringLiteral("ros"));
    selectLine(1);
    QTest::keyClick(s.List1, Qt::Key_Return);
    EXPECT_TRUE(card.isVisible());
    EXPECT_FALSE(s.isVisible());
    EXPECT_EQ("ROSSETTI", card.txtFields(1)->text().toStdString());
    EXPECT_EQ(1u, fp.msg.shown().size());
}

TEST_F(Search, theFourCommandsAreButtonsForTheKeyboardAndTheScreenReader) {
    frmCerca& s = cerca();
    for (QLabel* label : {s.lblCerca, s.Label1, s.lblElenco, s.lblMnu}) {
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(label);
        ASSERT_NE(nullptr, spoken);
        EXPECT_EQ(QAccessible::Button, spoken->role()) << label->text().toStdString();
        EXPECT_EQ(label->text(), spoken->text(QAccessible::Name));
        ASSERT_NE(nullptr, spoken->actionInterface());
        EXPECT_TRUE(
            spoken->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        // The label with the focus is marked as such.
        s.TXTCerca->setFocus();
        const QImage unfocused = label->grab().toImage();
        label->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(label, QApplication::focusWidget());
        EXPECT_NE(unfocused, label->grab().toImage()) << label->text().toStdString();
    }
    // Return on "Cerca" searches, Space on "Scheda" asks for a line, and a screen reader's
    // press runs the command too.
    s.lblCerca->setFocus(Qt::TabFocusReason);
    QTest::keyClick(s.lblCerca, Qt::Key_Return);
    EXPECT_EQ(7, lines().size());
    fp.msg.expect(QStringLiteral(" E' necessario prima selezionare un paziente. "));
    s.Label1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(s.Label1, Qt::Key_Space);
    EXPECT_TRUE(fp.msg.scriptDone());
    QAccessible::queryAccessibleInterface(s.lblElenco)
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(screens.elenco().isVisible());
    EXPECT_FALSE(s.isVisible());
}

TEST_F(Search, theListIsEmptiedOnActivationAndOnAClickInTheBoxNotByTyping) {
    searchFor(cerca().OptionCogno, QStringLiteral("ros"));
    ASSERT_EQ(2, lines().size());
    typeText(cerca().TXTCerca, QStringLiteral("ve"));
    EXPECT_EQ(2, lines().size()) << "typing does not search and does not clear";
    EXPECT_EQ("ve", cerca().TXTCerca->text().toStdString());
    QTest::mouseClick(cerca().TXTCerca, Qt::LeftButton);
    EXPECT_TRUE(lines().isEmpty());

    searchFor(cerca().OptionCogno, QString());
    ASSERT_FALSE(lines().isEmpty());
    screens.hide(cerca());
    screens.show(screens.inizio());
    screens.hide(screens.inizio());
    screens.show(cerca());
    EXPECT_TRUE(lines().isEmpty());
}

TEST_F(Search, schedaWithoutASelectionAsksForOne) {
    searchFor(cerca().OptionCogno, QStringLiteral("ros"));
    ExpectedBox box;
    box.prompt = QStringLiteral(" E' necessario prima selezionare un paziente. ");
    box.title = QStringLiteral(" Richiesta dati");
    box.icon = MsgIcon::Exclamation;
    box.buttons = MsgButtons::Ok;
    fp.msg.expect(box);
    QTest::mouseClick(cerca().Label1, Qt::LeftButton);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(cerca().isVisible());
    EXPECT_EQ(2, lines().size());
    EXPECT_EQ("ID", cerca().TextID->text().toStdString());
}

TEST_F(Search, schedaAndADoubleClickOpenTheCardOnTheChosenPatient) {
    searchFor(cerca().OptionCogno, QStringLiteral("verdi"));
    ASSERT_EQ(lines(), (QStringList{line("Verdi", "Carlo", "27")}));
    selectLine(0);
    QTest::mouseClick(cerca().Label1, Qt::LeftButton);
    EXPECT_EQ("   27", cerca().TextID->text().toStdString());
    frmScheda& card = screens.scheda();
    EXPECT_TRUE(card.isVisible());
    EXPECT_FALSE(cerca().isVisible());
    EXPECT_EQ("27", card.txtFields(0)->text().toStdString());
    EXPECT_EQ("Verdi", card.txtFields(1)->text().toStdString());

    // Back to the search; a double-click on the second line opens that patient.
    QTest::mouseClick(card.lblCerca, Qt::LeftButton);
    searchFor(cerca().OptionCogno, QStringLiteral("ros"));
    QListView* list = cerca().List1;
    const QPoint second = list->visualRect(list->model()->index(1, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ("    6", cerca().TextID->text().toStdString());
    EXPECT_TRUE(card.isVisible());
    EXPECT_EQ("ROSSETTI", card.txtFields(1)->text().toStdString());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(Search, anIdentifierOfSixDigitsOpensItsOwnPatient) {
    // Patient 23456 exists too: the line's last five characters would name it.
    execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome) VALUES (23456, 'Sbagliato')");
    searchFor(cerca().OptionCogno, QStringLiteral("grandi"));
    ASSERT_EQ(lines(), (QStringList{line("Grandi", "Marco", "123456")}));
    selectLine(0);
    QTest::mouseClick(cerca().Label1, Qt::LeftButton);
    EXPECT_EQ("23456", cerca().TextID->text().toStdString());
    EXPECT_EQ("123456", screens.scheda().txtFields(0)->text().toStdString());
    EXPECT_EQ("Grandi", screens.scheda().txtFields(1)->text().toStdString());
}

TEST_F(Search, aPatientDeletedMeanwhileIsNeverShownAsAnother) {
    frmScheda& card = screens.scheda();
    searchFor(cerca().OptionCogno, QStringLiteral("ros"));
    execSql(fp.dbPath(), "DELETE FROM Pazienti WHERE ID = 6");
    expectSecondLineGone();
    EXPECT_FALSE(card.isVisible());
    EXPECT_EQ(2, lines().size());
}

TEST_F(Search, theLinesAreThePatientsAsTheSearchReadThemWhateverAnotherProgramDoesAfter) {
    // The search reads its rows in one go; another program changes them as soon as it has.
    bool changed = false;
    cerca().Data1.onReposition = [&] {
        if (!changed && cerca().Data1.RecordSource().contains(QStringLiteral("ros"))) {
            changed = true;
            execSql(fp.dbPath(),
                    "DELETE FROM Pazienti WHERE ID = 6; UPDATE Pazienti SET Cognome = 'Neri' WHERE ID = 1");
        }
    };
    searchFor(cerca().OptionCogno, QStringLiteral("ros"));
    EXPECT_TRUE(changed);
    EXPECT_EQ(lines(), (QStringList{line("Rossi", "Mario", "1"), line("ROSSETTI", "Giulia", "6")}));
    EXPECT_TRUE(fp.msg.shown().empty());
    // The removed patient opens no card.
    expectSecondLineGone();
}

TEST_F(Search, aCardThatCannotLeaveItsRecordEndsTheSearchScreen) {
    screens.inizio(); // as in the program, the start screen is loaded first
    execSql(fp.dbPath(),
            "CREATE TRIGGER refuse_address BEFORE UPDATE ON Pazienti"
            " WHEN NEW.Indirizzo = 'vietato' BEGIN SELECT RAISE(ABORT, 'indirizzo rifiutato'); END;");
    frmScheda& card = screens.scheda();
    card.Data1.Recordset().setIndex(QStringLiteral("PrimaryKey"));
    card.Data1.Recordset().Seek(QStringLiteral("="), 2);
    card.txtFields(4)->setText(QStringLiteral("vietato"));

    searchFor(cerca().OptionCogno, QStringLiteral("verdi"));
    selectLine(0);
    ExpectedBox dataError;
    dataError.icon = MsgIcon::None;
    fp.msg.expect(dataError);
    ExpectedBox tavenor;
    tavenor.prompt = QStringLiteral("Tavenor ha intercettato un errore!");
    tavenor.title = QStringLiteral("Quorvane");
    tavenor.icon = MsgIcon::Critical;
    tavenor.buttons = MsgButtons::Ok;
    tavenor.whileOpen = [&] {
        EXPECT_TRUE(cerca().isVisible());
        EXPECT_FALSE(card.isVisible());
    };
    fp.msg.expect(tavenor);
    // The search unloads and shows the start screen, whose activation refreshes the card: the
    // store refuses the same edit again, and that failure nobody answers ends the program.
    ExpectedBox again;
    again.icon = MsgIcon::None;
    again.whileOpen = [&] { EXPECT_FALSE(cerca().isVisible()); };
    fp.msg.expect(again);
    ExpectedBox unanswered;
    unanswered.icon = MsgIcon::Critical;
    fp.msg.expect(unanswered);
    QTest::mouseClick(cerca().Label1, Qt::LeftButton);
    EXPECT_TRUE(fp.msg.scriptDone());
    ASSERT_EQ(4u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.startsWith(QStringLiteral("Intercettato errore dei dati:")));
    EXPECT_TRUE(fp.msg.shown()[3].prompt.contains(QStringLiteral("indirizzo rifiutato")));
    EXPECT_TRUE(screens.ended());
    EXPECT_EQ("<null>", queryText(fp.dbPath(), "SELECT Indirizzo FROM Pazienti WHERE ID = 2"));
}

TEST_F(Search, elencoMenuAndClosingTheWindowLeaveTheScreen) {
    QTest::mouseClick(cerca().lblElenco, Qt::LeftButton);
    EXPECT_TRUE(screens.elenco().isVisible());
    EXPECT_FALSE(cerca().isVisible());
    screens.hide(screens.elenco());
    screens.show(cerca());
    // The labels answer the keyboard too.
    cerca().lblMnu->setFocus();
    QTest::keyClick(cerca().lblMnu, Qt::Key_Space);
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(cerca().isVisible());

    screens.hide(screens.inizio());
    screens.show(cerca());
    cerca().close();
    QApplication::processEvents();
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("frmCerca")));
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(screens.ended());
    // Loaded afresh on its next use, with Cognome selected again.
    screens.show(cerca());
    EXPECT_TRUE(cerca().OptionCogno->isChecked());
    EXPECT_TRUE(fp.msg.shown().empty());
}

} // namespace
