// The card's writing, adding, deleting and checking of patients, over a real database file.
#include "app/Screens.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "clinical/frmCartellaClinica.h"
#include "search/frmElenco.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

class CardWrites : public ScreensTest {
protected:
    void SetUp() override {
        execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome, Nome, \"Società\") VALUES"
                             " (1, 'Rossi', 'Mario', NULL), (2, 'Bianchi', 'Anna', NULL),"
                             " (3, 'Verdi', 'Luca', 'Acme'), (4, 'Neri', 'Paola', NULL)");
    }

    void clickTool(const QString& key) {
        QTest::mouseClick(card().Toolbar1->widgetForAction(card().Toolbar1ButtonByKey(key)), Qt::LeftButton);
    }

    // Types into a box as a user would: focus first, then the keys.
    void type(QLineEdit* box, const QString& text) {
        box->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        typeText(box, text);
    }

    // Moves the focus out of Text5 to another box of the card, as the Tab key does.
    void leaveText5() {
        QTest::keyClick(card().Text5, Qt::Key_Tab);
        QApplication::processEvents();
    }
};

// ---- new patients ----

TEST_F(CardWrites, nuovoShowsTheNewIdAtOnceAndKeepsCancellaDisabled) {
    openCardOn(3);
    frmScheda& c = card();
    QAction* cancella = c.Toolbar1Button(3);
    ASSERT_EQ("Cancella", cancella->data().toString().toStdString());
    EXPECT_TRUE(cancella->isEnabled());
    type(c.txtFields(4), QStringLiteral("Via Garibaldi 3"));

    QTest::mouseClick(c.lblNuovo, Qt::LeftButton);
    // The shown patient's edit was written by the move to the first row.
    EXPECT_EQ("Via Garibaldi 3", queryText(fp.dbPath(), "SELECT Indirizzo FROM Pazienti WHERE ID = 3"));
    EXPECT_EQ("5", c.txtFields(0)->text().toStdString());
    EXPECT_EQ("", c.txtFields(1)->text().toStdString());
    EXPECT_EQ("", c.txtFields(2)->text().toStdString());
    EXPECT_EQ("", c.Text5->text().toStdString());
    EXPECT_FALSE(cancella->isEnabled());
    EXPECT_EQ(c.txtFields(1), QApplication::focusWidget());
    EXPECT_EQ(4, patientCount(fp.dbPath())); // not stored until the next record change

    typeText(c.txtFields(1), QStringLiteral("Fabbri"));
    QTest::mouseClick(c.lblLista, Qt::LeftButton);
    EXPECT_EQ("Fabbri", queryText(fp.dbPath(), "SELECT Cognome FROM Pazienti WHERE ID = 5"));
    EXPECT_EQ(5, patientCount(fp.dbPath()));

    // Moving about never enables Cancella again; deleting through it is impossible.
    for (int id : {1, 2, 4, 5}) {
        openCardOn(id);
        EXPECT_FALSE(cancella->isEnabled()) << id;
    }
    c.Data1.Refresh();
    EXPECT_FALSE(cancella->isEnabled());
    clickTool(QStringLiteral("Cancella"));
    EXPECT_EQ(5, patientCount(fp.dbPath()));
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(CardWrites, toolbarNuovoAndAnEmptyNewRowThatIsDropped) {
    openCardOn(2);
    frmScheda& c = card();
    clickTool(QStringLiteral("Nuovo"));
    EXPECT_EQ("5", c.txtFields(0)->text().toStdString());
    EXPECT_FALSE(c.Toolbar1Button(3)->isEnabled());
    // Nothing typed: the next record change drops it, and its ID is never given again.
    clickTool(QStringLiteral("Nuovo"));
    EXPECT_EQ("6", c.txtFields(0)->text().toStdString());
    EXPECT_EQ(4, patientCount(fp.dbPath()));
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(CardWrites, aggiungiOnTheStartScreenStartsANewRowWithCancellaDisabled) {
    frmInizio& start = screens.inizio();
    screens.show(start);
    start.lblNuovo_Click();
    frmScheda& c = card();
    EXPECT_TRUE(c.isVisible());
    EXPECT_EQ("5", c.txtFields(0)->text().toStdString());
    EXPECT_FALSE(c.Toolbar1Button(3)->isEnabled());
    type(c.txtFields(14), QStringLiteral("Ditta Srl"));
    // "Note" on the new row stores it and opens the notes on it.
    QTest::mouseClick(c.Label7, Qt::LeftButton);
    EXPECT_EQ("Ditta Srl", queryText(fp.dbPath(), "SELECT \"Società\" FROM Pazienti WHERE ID = 5"));
    frmCartellaClinica& notes = screens.cartellaClinica();
    EXPECT_TRUE(notes.isVisible());
    EXPECT_EQ(5, notes.Data1.Recordset().Fields(QStringLiteral("ID")).toInt());
    EXPECT_EQ("5", c.txtFields(0)->text().toStdString());
}

// ---- opening the clinical record ----

TEST_F(CardWrites, noteNeedsCognomeOrSocieta) {
    openCardOn(1);
    frmScheda& c = card();
    c.txtFields(1)->clear();
    type(c.txtFields(2), QStringLiteral("Mario"));
    type(c.txtFields(4), QStringLiteral("Via Po 1"));
    ExpectedBox box{.prompt = QStringLiteral(
                        "Raccolta dei dati indispensabili non completa! Devi riempire almeno il campo "
                        "Cognome o il campo Società."),
                    .title = QStringLiteral("Richiesta dati"),
                    .icon = MsgIcon::Exclamation,
                    .buttons = MsgButtons::Ok};
    fp.msg.expect(box);
    QTest::mouseClick(c.Label7, Qt::LeftButton);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(c.isVisible());
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("frmCartellaClinica")));
    EXPECT_EQ(c.txtFields(1), QApplication::focusWidget());
    // Nothing was written either.
    EXPECT_EQ("Rossi", queryText(fp.dbPath(), "SELECT Cognome FROM Pazienti WHERE ID = 1"));
    EXPECT_EQ("Record: 1", c.Data1.Caption().toStdString());

    // The menu entry and both toolbar keys check the same.
    for (int i = 0; i < 3; ++i)
        fp.msg.expect(box);
    c.mnuCC->trigger();
    clickTool(QStringLiteral("Camera"));
    clickTool(QStringLiteral("CartellaCl"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("frmCartellaClinica")));

    // A surname of blanks is not empty.
    type(c.txtFields(1), QStringLiteral("  "));
    c.mnuCC->trigger();
    EXPECT_TRUE(screens.cartellaClinica().isVisible());
}

TEST_F(CardWrites, noteWithOnlySocietaWritesAndOpensTheNotesOnTheSamePatient) {
    execSql(fp.dbPath(), "UPDATE Pazienti SET Cognome = NULL WHERE ID = 3");
    openCardOn(3);
    frmScheda& c = card();
    ASSERT_EQ("", c.txtFields(1)->text().toStdString());
    ASSERT_EQ("Acme", c.txtFields(14)->text().toStdString());
    type(c.txtFields(7), QStringLiteral("333 1234567"));

    QTest::mouseClick(c.Label7, Qt::LeftButton);
    EXPECT_EQ("333 1234567", queryText(fp.dbPath(), "SELECT Cellulare FROM Pazienti WHERE ID = 3"));
    frmCartellaClinica& notes = screens.cartellaClinica();
    EXPECT_TRUE(notes.isVisible());
    EXPECT_FALSE(c.isVisible());
    EXPECT_EQ(3, notes.Data1.Recordset().Fields(QStringLiteral("ID")).toInt());
    // The card is back on the same patient.
    EXPECT_EQ("3", c.txtFields(0)->text().toStdString());
    EXPECT_EQ("Acme", c.txtFields(14)->text().toStdString());
    EXPECT_EQ("PrimaryKey", c.Data1.Recordset().Index().toStdString());
    EXPECT_TRUE(fp.msg.shown().empty());

    // The toolbar's keys open it the same way, also on the last patient.
    screens.hide(notes);
    openCardOn(4);
    clickTool(QStringLiteral("CartellaCl"));
    EXPECT_EQ(4, notes.Data1.Recordset().Fields(QStringLiteral("ID")).toInt());
    EXPECT_EQ("Neri", c.txtFields(1)->text().toStdString());
    screens.hide(notes);
    openCardOn(2);
    clickTool(QStringLiteral("Camera"));
    EXPECT_EQ(2, notes.Data1.Recordset().Fields(QStringLiteral("ID")).toInt());
    EXPECT_TRUE(notes.isVisible());
}

TEST_F(CardWrites, noteOpensPatientsAboveTheOldSixteenBitLimit) {
    execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome) VALUES (40000, 'Conti')");
    openCardOn(40000);
    frmScheda& c = card();
    ASSERT_EQ("Conti", c.txtFields(1)->text().toStdString());
    QTest::mouseClick(c.Label7, Qt::LeftButton);
    EXPECT_EQ(40000, screens.cartellaClinica().Data1.Recordset().Fields(QStringLiteral("ID")).toInt());
    EXPECT_EQ("40000", c.txtFields(0)->text().toStdString());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(CardWrites, noteWithoutAnIdDoesNothing) {
    execSql(fp.dbPath(), "DELETE FROM Pazienti");
    screens.show(card());
    frmScheda& c = card();
    ASSERT_EQ("", c.txtFields(0)->text().toStdString());
    type(c.txtFields(1), QStringLiteral("Sala"));
    QTest::mouseClick(c.Label7, Qt::LeftButton);
    EXPECT_TRUE(c.isVisible());
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("frmCartellaClinica")));
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_FALSE(screens.ended());
}

TEST_F(CardWrites, noteOnAPatientDeletedMeanwhileSaysSoAndOpensNothing) {
    // The notes screen holds patient 1 from an earlier opening.
    openCardOn(1);
    QTest::mouseClick(card().Label7, Qt::LeftButton);
    frmCartellaClinica& notes = screens.cartellaClinica();
    ASSERT_TRUE(notes.isVisible());
    screens.hide(notes);

    openCardOn(2);
    execSql(fp.dbPath(), "DELETE FROM Pazienti WHERE ID = 2"); // another program
    fp.msg.expect({.icon = MsgIcon::Exclamation, .buttons = MsgButtons::Ok});
    QTest::mouseClick(card().Label7, Qt::LeftButton);
    ASSERT_EQ(1u, fp.msg.shown().size());
    const QString prompt = fp.msg.shown()[0].prompt;
    EXPECT_TRUE(prompt.contains(QStringLiteral("non esiste più"))) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains(QStringLiteral("cancellata"))) << prompt.toStdString();
    EXPECT_FALSE(notes.isVisible());
    EXPECT_TRUE(card().isVisible());
    EXPECT_FALSE(screens.ended());
}

// ---- deleting ----

TEST_F(CardWrites, deletingTheFirstRowIsRefusedWithAWarning) {
    openCardOn(1);
    fp.msg.expect({.prompt = QStringLiteral("Cancellare tutti i dati in questa scheda?"),
                   .title = QStringLiteral("Attenzione!"),
                   .icon = MsgIcon::None,
                   .buttons = MsgButtons::YesNo,
                   .answer = MsgAnswer::Yes});
    fp.msg.expect(
        {.prompt = QStringLiteral("L'eliminazione di questo record del database potrebbe generare un errore: "
                                  "cancellare manualmente i campi eventualmente riempiti."),
         .title = QStringLiteral("Quorvane"),
         .icon = MsgIcon::None,
         .buttons = MsgButtons::Ok});
    clickTool(QStringLiteral("Cancella"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(4, patientCount(fp.dbPath()));
    EXPECT_EQ("Rossi", card().txtFields(1)->text().toStdString());
}

TEST_F(CardWrites, deletingElsewhereRemovesThePatientAndGoesToTheFirstRow) {
    openCardOn(3);
    // "No" keeps everything.
    ExpectedBox ask{.prompt = QStringLiteral("Cancellare tutti i dati in questa scheda?"),
                    .title = QStringLiteral("Attenzione!"),
                    .answer = MsgAnswer::No};
    fp.msg.expect(ask);
    clickTool(QStringLiteral("Cancella"));
    EXPECT_EQ(4, patientCount(fp.dbPath()));
    EXPECT_EQ("Verdi", card().txtFields(1)->text().toStdString());

    ask.answer = MsgAnswer::Yes;
    fp.msg.expect(ask);
    clickTool(QStringLiteral("Cancella"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(3, patientCount(fp.dbPath()));
    EXPECT_EQ("<none>", queryText(fp.dbPath(), "SELECT Cognome FROM Pazienti WHERE ID = 3"));
    EXPECT_EQ("Rossi", card().txtFields(1)->text().toStdString());
    EXPECT_EQ("Record: 1", card().Data1.Caption().toStdString());

    // The last one goes too, pending edits and all; the card again shows the first row.
    openCardOn(4);
    type(card().txtFields(4), QStringLiteral("Via Cancellata 9"));
    fp.msg.expect(ask);
    clickTool(QStringLiteral("Cancella"));
    EXPECT_EQ(2, patientCount(fp.dbPath()));
    EXPECT_EQ("Rossi", card().txtFields(1)->text().toStdString());
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(3u, fp.msg.shown().size());
    EXPECT_EQ("0", queryText(fp.dbPath(), "SELECT COUNT(*) FROM Pazienti WHERE Indirizzo IS NOT NULL"));
}

TEST_F(CardWrites, deletingTheLastPatientLeftSaysTheTableIsEmpty) {
    openCardOn(2);
    ASSERT_EQ("Record: 2", card().Data1.Caption().toStdString());
    // Meanwhile the other patients went by another data control of the program.
    RecordSet& other = screens.cartellaClinica().Data1.Recordset();
    other.setIndex(QStringLiteral("PrimaryKey"));
    for (const char* id : {"1", "3", "4"}) {
        other.Seek(QStringLiteral("="), QString::fromLatin1(id));
        other.Delete();
    }
    fp.msg.expect(
        {.prompt = QStringLiteral("Cancellare tutti i dati in questa scheda?"), .answer = MsgAnswer::Yes});
    fp.msg.expect({.prompt = QStringLiteral(" La tabella è vuota."),
                   .title = QStringLiteral("Tabella vuota"),
                   .icon = MsgIcon::Information,
                   .buttons = MsgButtons::Ok});
    clickTool(QStringLiteral("Cancella"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(0, patientCount(fp.dbPath()));
    EXPECT_EQ("", card().txtFields(0)->text().toStdString());
    EXPECT_FALSE(screens.ended());
}

// ---- the recall date and Data ----

TEST_F(CardWrites, recallDateIsCheckedWhenTheBoxIsLeft) {
    openCardOn(2);
    frmScheda& c = card();
    type(c.Text5, QStringLiteral("31/02/2004"));
    ExpectedBox wrong{.prompt = QStringLiteral("Data errata!  "),
                      .title = QStringLiteral("Quorvane"),
                      .icon = MsgIcon::None,
                      .buttons = MsgButtons::Ok};
    fp.msg.expect(wrong);
    leaveText5();
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ("", c.Text5->text().toStdString());
    // The focus is not sent back.
    EXPECT_NE(c.Text5, QApplication::focusWidget());

    for (const QString& text : {QStringLiteral("pippo"), QStringLiteral("12:30")}) {
        type(c.Text5, text);
        // Going to the menu bar with the keyboard and back is not leaving the box.
        QTest::keyClick(c.Text5, Qt::Key_Alt);
        EXPECT_EQ(c.menuBar(), QApplication::focusWidget());
        QTest::keyClick(c.menuBar(), Qt::Key_Escape);
        EXPECT_EQ(c.Text5, QApplication::focusWidget());
        EXPECT_EQ(text, c.Text5->text());
        fp.msg.expect(wrong);
        leaveText5();
        EXPECT_EQ("", c.Text5->text().toStdString()) << text.toStdString();
    }
    EXPECT_TRUE(fp.msg.scriptDone());

    // A leap day and an empty text pass without a word.
    type(c.Text5, QStringLiteral("29/02/2004"));
    leaveText5();
    EXPECT_EQ("29/02/2004", c.Text5->text().toStdString());
    openCardOn(3);
    EXPECT_EQ("29/02/2004", queryText(fp.dbPath(), "SELECT \"Data richiamo\" FROM Pazienti WHERE ID = 2"));
    c.Text5->setFocus(Qt::MouseFocusReason);
    leaveText5();
    EXPECT_EQ("<null>", queryText(fp.dbPath(), "SELECT \"Data richiamo\" FROM Pazienti WHERE ID = 3"));
    EXPECT_EQ(3u, fp.msg.shown().size());
}

TEST_F(CardWrites, aTypingSlipInDataIsStoredAsTyped) {
    openCardOn(2);
    frmScheda& c = card();
    type(c.txtFields(8), QStringLiteral("31/02/20O4"));
    QTest::keyClick(c.txtFields(8), Qt::Key_Tab);
    QTest::mouseClick(c.lblLista, Qt::LeftButton);
    EXPECT_EQ("31/02/20O4", queryText(fp.dbPath(), "SELECT Data FROM Pazienti WHERE ID = 2"));
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_FALSE(screens.ended());
}

// ---- a write the engine refuses ----

class RefusedWrite : public CardWrites {
protected:
    void SetUp() override {
        CardWrites::SetUp();
        execSql(fp.dbPath(),
                "CREATE TRIGGER refuse_address BEFORE UPDATE ON Pazienti"
                " WHEN NEW.Indirizzo = 'vietato' BEGIN SELECT RAISE(ABORT, 'indirizzo rifiutato'); END;"
                "CREATE TRIGGER refuse_new BEFORE INSERT ON Pazienti"
                " WHEN NEW.Cognome = 'vietato' BEGIN SELECT RAISE(ABORT, 'nome rifiutato'); END;");
    }

    // The data-error box, then the card's own, then the orderly end with no other box.
    void expectRefusalAndEnd() {
        fp.msg.expect(
            {.title = QStringLiteral("Quorvane"), .icon = MsgIcon::None, .buttons = MsgButtons::Ok});
        fp.msg.expect({.prompt = QStringLiteral("Brellith ha intercettato un errore!"),
                       .title = QStringLiteral("Quorvane"),
                       .icon = MsgIcon::Critical,
                       .buttons = MsgButtons::Ok,
                       .whileOpen = [this] { EXPECT_FALSE(fp.end.ended()); }});
    }

    void checkEnded(const char* refusal) {
        EXPECT_TRUE(fp.msg.scriptDone());
        ASSERT_EQ(2u, fp.msg.shown().size());
        const QString prompt = fp.msg.shown()[0].prompt;
        EXPECT_TRUE(prompt.startsWith(QStringLiteral("Intercettato errore dei dati:")))
            << prompt.toStdString();
        EXPECT_TRUE(prompt.contains(QString::fromUtf8(refusal))) << prompt.toStdString();
        EXPECT_TRUE(screens.ended());
        EXPECT_EQ(1, fp.end.count());
        EXPECT_TRUE(screens.loadOrder().isEmpty());
    }
};

TEST_F(RefusedWrite, elencoShowsTheDataErrorThenBrellithThenEnds) {
    screens.inizio();
    openCardOn(2);
    type(card().txtFields(4), QStringLiteral("vietato"));
    expectRefusalAndEnd();
    QTest::mouseClick(card().lblLista, Qt::LeftButton);
    checkEnded("indirizzo rifiutato");
    EXPECT_EQ("<null>", queryText(fp.dbPath(), "SELECT Indirizzo FROM Pazienti WHERE ID = 2"));
}

TEST_F(RefusedWrite, nuovoFromTheToolbarAnswersTheSameWay) {
    openCardOn(3);
    type(card().txtFields(4), QStringLiteral("vietato"));
    expectRefusalAndEnd();
    clickTool(QStringLiteral("Nuovo"));
    checkEnded("indirizzo rifiutato");
}

TEST_F(RefusedWrite, noteOnARefusedNewRowEnds) {
    openCardOn(1);
    QTest::mouseClick(card().lblNuovo, Qt::LeftButton);
    type(card().txtFields(1), QStringLiteral("vietato"));
    expectRefusalAndEnd();
    QTest::mouseClick(card().Label7, Qt::LeftButton);
    checkEnded("nome rifiutato");
    EXPECT_EQ(4, patientCount(fp.dbPath()));
}

TEST_F(RefusedWrite, editsToAPatientDeletedMeanwhileAreSaidNotDropped) {
    openCardOn(2);
    type(card().txtFields(4), QStringLiteral("Via Roma 1"));
    execSql(fp.dbPath(), "DELETE FROM Pazienti WHERE ID = 2"); // another program
    expectRefusalAndEnd();
    QTest::mouseClick(card().lblLista, Qt::LeftButton);
    checkEnded("cancellat");
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("Indirizzo")))
        << fp.msg.shown()[0].prompt.toStdString();
    EXPECT_EQ(3, patientCount(fp.dbPath()));
}

TEST_F(RefusedWrite, editsTheEngineAcceptsAreStillWritten) {
    openCardOn(2);
    type(card().txtFields(4), QStringLiteral("permesso"));
    QTest::mouseClick(card().lblLista, Qt::LeftButton);
    EXPECT_EQ("permesso", queryText(fp.dbPath(), "SELECT Indirizzo FROM Pazienti WHERE ID = 2"));
    EXPECT_FALSE(screens.ended());
    EXPECT_TRUE(fp.msg.shown().empty());
}

} // namespace
