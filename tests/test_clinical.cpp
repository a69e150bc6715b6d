// The clinical notes screen driven as a user would, over a real database file: opened from the
// card, typed into, left by each of its exits, and what ends up in the patient's row.
#include "app/Screens.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "clinical/RichTextBox.h"
#include "clinical/Rtf.h"
#include "clinical/frmCartellaClinica.h"
#include "platform/Candy.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

const char* const kBianchiNote = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Prima visita: "
                                 "{\\b carie} al 36.\\par}";

class Notes : public ScreensTest {
protected:
    void SetUp() override {
        execSql(fp.dbPath(),
                "INSERT INTO Pazienti (ID, Cognome, Nome, \"Attività\", \"Società\", Note) VALUES"
                " (1, 'Rossi', 'Mario', 'Ingegnere', 'Acme', NULL),"
                " (2, 'Bianchi', 'Anna', NULL, NULL, NULL),"
                " (3, 'Verdi', 'Luca', NULL, 'Beta', 'Controllo 3/2\nTutto bene')");
        execSql(fp.dbPath(),
                (QByteArray("UPDATE Pazienti SET Note = '") + kBianchiNote + "' WHERE ID = 2").constData());
        screens.inizio();
    }

    // Screens the end of the program only scheduled for deletion go while the registry lives
    // (the card's clock would otherwise tick into the next test).
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    frmCartellaClinica& notes() { return screens.cartellaClinica(); }
    RichTextBox* editor() { return notes().RichTextBox1; }

    // The way there: the card on the patient (as the search leaves it), then its "&Note".
    void openNotesOn(int id) {
        RecordSet& records = card().Data1.Recordset();
        records.setIndex(QStringLiteral("PrimaryKey"));
        records.Seek(QStringLiteral("="), QString::number(id));
        screens.show(card());
        card().mnuCC->trigger();
        QApplication::processEvents();
        ASSERT_TRUE(notes().isVisible());
    }

    void type(const QString& text) {
        editor()->setFocus(Qt::MouseFocusReason);
        typeText(editor(), text);
    }

    std::string storedNote(int id) {
        return queryText(
            fp.dbPath(),
            QStringLiteral("SELECT Note FROM Pazienti WHERE ID = %1").arg(id).toUtf8().constData());
    }

    // The text of a stored note as a word processor shows it.
    std::string storedText(int id) {
        QTextDocument doc;
        rtf::read(QString::fromStdString(storedNote(id)), doc);
        return doc.toPlainText().toStdString();
    }

    void refuseNotes() {
        execSql(fp.dbPath(), "CREATE TRIGGER refuse_note BEFORE UPDATE OF Note ON Pazienti"
                             " WHEN NEW.Note IS NOT NULL BEGIN SELECT RAISE(ABORT, 'nota rifiutata'); END");
    }
};

TEST_F(Notes, laysOutTheHeaderTheIdAndTheNotes) {
    openNotesOn(1);
    frmCartellaClinica& n = notes();
    EXPECT_EQ("Note", n.windowTitle().toStdString());
    EXPECT_EQ(QSize(twips(11850), twips(9105)), n.centralWidget()->size());
    struct Header {
        QLabel* label;
        const char* name;
        const char* text;
        int left, width;
    };
    for (const Header& h : {Header{n.Label199, "Label199", "Mario", 120, 1815},
                            Header{n.Label8(2), "Label8_2", "Rossi", 2160, 1815},
                            Header{n.Label1, "Label1", "Ingegnere", 4200, 2535},
                            Header{n.Label8(0), "Label8_0", "Acme", 6960, 2655}}) {
        ASSERT_NE(nullptr, h.label) << h.name;
        EXPECT_EQ(h.name, h.label->objectName().toStdString());
        EXPECT_EQ(h.text, h.label->text().toStdString());
        EXPECT_EQ(QRect(twips(h.left), twips(120), twips(h.width), twips(495)), h.label->geometry())
            << h.name;
        // A screen reader speaks what the label shows.
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(h.label);
        ASSERT_NE(nullptr, a);
        EXPECT_EQ(h.text, a->text(QAccessible::Name).toStdString());
        EXPECT_FALSE(h.label->textInteractionFlags() & Qt::TextEditable);
    }
    EXPECT_EQ(nullptr, n.Label8(1));
    QLineEdit* id = n.txtFields(9);
    ASSERT_NE(nullptr, id);
    EXPECT_EQ(nullptr, n.txtFields(0));
    EXPECT_EQ("1", id->text().toStdString());
    EXPECT_FALSE(id->isEnabled());
    EXPECT_EQ(QColor(192, 192, 255), id->palette().color(QPalette::Disabled, QPalette::Base));
    EXPECT_EQ(QRect(twips(10080), twips(120), twips(735), twips(285)), id->geometry());
    EXPECT_EQ(QRect(twips(120), twips(960), twips(10695), twips(7815)), editor()->geometry());
    EXPECT_EQ("Note", editor()->accessibleName().toStdString());

    QStringList menu;
    for (QAction* a : n.menuBar()->actions())
        menu << a->text();
    EXPECT_EQ("&File|&Scheda|&Stampa", menu.join(QLatin1Char('|')).toStdString());
    QStringList file;
    for (QAction* a : n.nnuFile->actions())
        file << a->objectName() + QLatin1Char('=') + a->text();
    EXPECT_EQ("mnuelenco=&Elenco|mnuMnu=&Menu|mnucerca=&Cerca|mnusetup=Se&tup|mnuEsci=Esc&i",
              file.join(QLatin1Char('|')).toStdString());

    // Neither the ID nor the header takes typing; the notes do.
    QTest::keyClicks(id, QStringLiteral("99"));
    EXPECT_EQ("1", id->text().toStdString());
    EXPECT_TRUE(editor()->toPlainText().isEmpty());
    EXPECT_FALSE(editor()->isReadOnly());
}

TEST_F(Notes, theHeaderShowsStoredTextAsTypedNeverAsMarkup) {
    execSql(fp.dbPath(), "UPDATE Pazienti SET Nome = '<i>Mario</i>', Cognome = 'Rossi &amp; <Figli>',"
                         " \"Attività\" = '<u>Ing.</u>', \"Società\" = '<b>Acme</b>' WHERE ID = 1");
    openNotesOn(1);
    frmCartellaClinica& n = notes();
    for (const auto& [label, text] :
         {std::pair{n.Label199, "<i>Mario</i>"}, std::pair{n.Label8(2), "Rossi &amp; <Figli>"},
          std::pair{n.Label1, "<u>Ing.</u>"}, std::pair{n.Label8(0), "<b>Acme</b>"}}) {
        EXPECT_EQ(Qt::PlainText, label->textFormat()) << text;
        // What a screen reader speaks is what is shown: the characters as typed.
        EXPECT_EQ(text, QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name).toStdString());
    }
}

TEST_F(Notes, anEmptyNoteTypedAndSavedWithSchedaIsStoredInThePatientsRow) {
    openNotesOn(1);
    EXPECT_TRUE(editor()->document()->isEmpty());
    type(QStringLiteral("Carie al 36 "));
    QTest::keyClick(editor(), Qt::Key_B, Qt::ControlModifier);
    type(QStringLiteral("urgente"));
    QTest::keyClick(editor(), Qt::Key_B, Qt::ControlModifier);
    type(QStringLiteral(", però"));

    notes().mnuScheda->trigger();
    EXPECT_TRUE(card().isVisible());
    EXPECT_FALSE(notes().isVisible());
    EXPECT_EQ("Rossi", card().txtFields(1)->text().toStdString());
    EXPECT_TRUE(
        QString::fromStdString(storedNote(1)).startsWith(QStringLiteral("{\\rtf1\\ansi\\ansicpg1252")));
    EXPECT_EQ("Carie al 36 urgente, però", storedText(1));
    QTextDocument doc;
    rtf::read(QString::fromStdString(storedNote(1)), doc);
    QTextCursor at(&doc);
    at.setPosition(QStringLiteral("Carie al 36 u").size());
    EXPECT_EQ(QFont::Bold, at.charFormat().fontWeight());
    at.setPosition(QStringLiteral("Carie al 36 urgente, p").size());
    EXPECT_EQ(QFont::Normal, at.charFormat().fontWeight());
    EXPECT_EQ(kBianchiNote, storedNote(2)); // nobody else's row
}

TEST_F(Notes, schedaWithoutAChangeReturnsToTheSamePatientAndKeepsTheNote) {
    openNotesOn(2);
    EXPECT_EQ("Prima visita: carie al 36.", editor()->toPlainText().toStdString());
    QTextCursor at(editor()->document());
    at.setPosition(QStringLiteral("Prima visita: c").size());
    EXPECT_EQ(QFont::Bold, at.charFormat().fontWeight());

    notes().mnuScheda->trigger();
    EXPECT_TRUE(card().isVisible());
    EXPECT_FALSE(notes().isVisible());
    EXPECT_EQ("Bianchi", card().txtFields(1)->text().toStdString());
    EXPECT_EQ(kBianchiNote, storedNote(2));
    EXPECT_TRUE(fp.msg.shown().empty());

    // Back again, typing in the middle of the text.
    card().mnuCC->trigger();
    QTextCursor middle(editor()->document());
    middle.setPosition(QStringLiteral("Prima visita").size());
    editor()->setTextCursor(middle);
    type(QStringLiteral(" (urgente)"));
    notes().mnuScheda->trigger();
    EXPECT_EQ("Prima visita (urgente): carie al 36.", storedText(2));
}

TEST_F(Notes, anEditLeftThroughMenuIsWrittenWhenTheRecordSetNextMoves) {
    openNotesOn(1);
    type(QStringLiteral("Da richiamare"));
    notes().mnuMnu->trigger();
    EXPECT_FALSE(notes().isVisible());
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_EQ("<null>", storedNote(1)); // pending, not lost

    // The card opens the notes of another patient: the seek leaves patient 1, writing them.
    openNotesOn(3);
    EXPECT_EQ("Da richiamare", storedText(1));
    // A note that is not RTF shows as plain text, and is not rewritten unless it is changed.
    EXPECT_EQ("Controllo 3/2\nTutto bene", editor()->toPlainText().toStdString());
    EXPECT_EQ("Beta", notes().Label8(0)->text().toStdString());
    notes().mnuScheda->trigger();
    EXPECT_EQ("Controllo 3/2\nTutto bene", storedNote(3));
}

TEST_F(Notes, theExitsShowTheirScreensAndLeaveTheEditPending) {
    openNotesOn(1);
    type(QStringLiteral("Nota"));
    notes().mnuelenco->trigger();
    EXPECT_TRUE(screens.elenco().isVisible());
    EXPECT_FALSE(notes().isVisible());
    screens.hide(screens.elenco());
    screens.show(notes());
    notes().mnucerca->trigger();
    EXPECT_TRUE(screens.cerca().isVisible());
    EXPECT_FALSE(notes().isVisible());
    EXPECT_EQ("<null>", storedNote(1));
    EXPECT_EQ("Nota", editor()->toPlainText().toStdString());
}

TEST_F(Notes, closingTheWindowWritesThePendingNoteAndUnloadsTheScreen) {
    openNotesOn(1);
    type(QStringLiteral("Chiusa"));
    notes().close();
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("frmCartellaClinica")));
    EXPECT_EQ("Chiusa", storedText(1));
    // Loaded afresh on the next use, on the patient the card seeks.
    openNotesOn(1);
    EXPECT_EQ("Chiusa", editor()->toPlainText().toStdString());
}

TEST_F(Notes, esciEndsTheProgramWritingTheNote) {
    openNotesOn(2);
    editor()->moveCursor(QTextCursor::End);
    type(QStringLiteral(" Fine."));
    notes().mnuEsci->trigger();
    EXPECT_TRUE(fp.end.ended());
    EXPECT_TRUE(screens.loadOrder().isEmpty());
    EXPECT_EQ("Prima visita: carie al 36. Fine.", storedText(2));
}

TEST_F(Notes, setupAndStampaDoNothing) {
    openNotesOn(2);
    notes().mnusetup->trigger();
    notes().mnuprint->trigger();
    EXPECT_TRUE(notes().isVisible());
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_EQ(0, fp.printer.dialogsShown());
    EXPECT_EQ(kBianchiNote, storedNote(2));
}

TEST_F(Notes, undoStopsAtTheLoadedNoteAndPasteKeepsFormatting) {
    openNotesOn(2);
    EXPECT_FALSE(editor()->document()->isUndoAvailable()); // nothing of another patient comes back
    editor()->moveCursor(QTextCursor::End);
    type(QStringLiteral(" X"));
    QTest::keySequence(editor(), QKeySequence::Undo);
    EXPECT_EQ("Prima visita: carie al 36.", editor()->toPlainText().toStdString());
    QTest::keySequence(editor(), QKeySequence::Redo);
    EXPECT_EQ("Prima visita: carie al 36. X", editor()->toPlainText().toStdString());

    // Formatted text from a browser, then from a word processor that offers only RTF.
    auto* html = new QMimeData;
    html->setHtml(QStringLiteral("<b>grassetto</b> e <i>corsivo</i>"));
    html->setText(QStringLiteral("grassetto e corsivo"));
    QApplication::clipboard()->setMimeData(html);
    editor()->moveCursor(QTextCursor::End);
    QTest::keySequence(editor(), QKeySequence::Paste);
    auto* rtfOnly = new QMimeData;
    rtfOnly->setData(QStringLiteral("text/rtf"), QByteArray("{\\rtf1\\ansi {\\ul sottolineato}}"));
    QApplication::clipboard()->setMimeData(rtfOnly);
    QTest::keySequence(editor(), QKeySequence::Paste);
    EXPECT_EQ("Prima visita: carie al 36. Xgrassetto e corsivosottolineato",
              editor()->toPlainText().toStdString());
    // A picture whose bytes are no picture is left out; a picture alone is kept as one.
    auto* picture = new QMimeData;
    picture->setHtml(QStringLiteral("<p>foto<img src=\"data:image/png;base64,iVBORw0KGgo=\"/></p>"));
    QApplication::clipboard()->setMimeData(picture);
    QTest::keySequence(editor(), QKeySequence::Paste);
    auto* imageOnly = new QMimeData;
    imageOnly->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QApplication::clipboard()->setMimeData(imageOnly);
    QTest::keySequence(editor(), QKeySequence::Paste);
    EXPECT_TRUE(editor()->toPlainText().endsWith(QStringLiteral("sottolineatofoto") +
                                                 QChar(QChar::ObjectReplacementCharacter)));
    EXPECT_EQ(1, editor()->toPlainText().count(QChar::ObjectReplacementCharacter));

    notes().mnuScheda->trigger();
    QTextDocument stored;
    rtf::read(QString::fromStdString(storedNote(2)), stored);
    auto formatAt = [&stored](const char* text) {
        QTextCursor c = stored.find(QString::fromUtf8(text));
        QTextCursor at(&stored);
        at.setPosition(c.selectionStart() + 1);
        return at.charFormat();
    };
    EXPECT_EQ(QFont::Bold, formatAt("grassetto").fontWeight());
    EXPECT_TRUE(formatAt("corsivo").fontItalic());
    EXPECT_FALSE(formatAt("corsivo").fontUnderline());
    EXPECT_TRUE(formatAt("sottolineato").fontUnderline());
    EXPECT_TRUE(formatAt("36").fontWeight() < QFont::Bold);
}

TEST_F(Notes, ctrlKeysToggleTheFormatsOfASelection) {
    openNotesOn(2);
    QTextCursor select(editor()->document());
    select.setPosition(0);
    select.setPosition(5, QTextCursor::KeepAnchor); // "Prima"
    editor()->setTextCursor(select);
    QTest::keyClick(editor(), Qt::Key_I, Qt::ControlModifier);
    QTest::keyClick(editor(), Qt::Key_U, Qt::ControlModifier);
    QTest::keyClick(editor(), Qt::Key_B, Qt::ControlModifier);
    QTextCursor at(editor()->document());
    at.setPosition(3);
    EXPECT_TRUE(at.charFormat().fontItalic());
    EXPECT_TRUE(at.charFormat().fontUnderline());
    EXPECT_EQ(QFont::Bold, at.charFormat().fontWeight());
    QTest::keyClick(editor(), Qt::Key_U, Qt::ControlModifier);
    at.setPosition(3);
    EXPECT_FALSE(at.charFormat().fontUnderline());
    at.setPosition(7);
    EXPECT_FALSE(at.charFormat().fontItalic());
    // Formats alone are a change to write.
    notes().mnuScheda->trigger();
    QTextDocument stored;
    rtf::read(QString::fromStdString(storedNote(2)), stored);
    QTextCursor back(&stored);
    back.setPosition(3);
    EXPECT_TRUE(back.charFormat().fontItalic());
}

TEST_F(Notes, schedaWithoutACurrentRecordReturnsToTheCardWritingNothing) {
    execSql(fp.dbPath(), "DELETE FROM Pazienti");
    screens.show(notes());
    type(QStringLiteral("orfana"));
    notes().mnuScheda->trigger();
    EXPECT_TRUE(card().isVisible());
    EXPECT_FALSE(notes().isVisible());
    EXPECT_EQ(0, patientCount(fp.dbPath()));
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(Notes, aRefusedNoteIsShownAndStaysInTheEditor) {
    refuseNotes();
    openNotesOn(1);
    type(QStringLiteral("Rifiutata"));
    fp.msg.expect({.title = QStringLiteral("Quorvane"), .icon = MsgIcon::None, .buttons = MsgButtons::Ok});
    notes().mnuScheda->trigger();
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_EQ("Intercettato errore dei dati:Il database ha rifiutato la scrittura: nota rifiutata",
              fp.msg.shown()[0].prompt.toStdString());
    EXPECT_TRUE(notes().isVisible());
    EXPECT_FALSE(card().isVisible());
    EXPECT_FALSE(fp.end.ended());
    EXPECT_EQ("Rifiutata", editor()->toPlainText().toStdString());
    EXPECT_EQ("<null>", storedNote(1));
}

TEST_F(Notes, aNoteRefusedWhileTheProgramEndsIsShown) {
    refuseNotes();
    openNotesOn(1);
    type(QStringLiteral("In sospeso"));
    notes().mnuMnu->trigger();
    fp.msg.expect(ExpectedBox{});
    QTest::mouseClick(screens.inizio().CandyHCommand3, Qt::LeftButton); // "Chiudi"
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("nota rifiutata")));
    EXPECT_TRUE(fp.end.ended());
}

TEST_F(Notes, aNoteRefusedAsTheProgramEndsAfterAFailureIsShownToo) {
    refuseNotes();
    execSql(fp.dbPath(),
            "CREATE TRIGGER refuse_address BEFORE UPDATE ON Pazienti"
            " WHEN NEW.Indirizzo = 'vietato' BEGIN SELECT RAISE(ABORT, 'indirizzo rifiutato'); END");
    openNotesOn(1);
    type(QStringLiteral("In sospeso"));
    notes().mnuMnu->trigger();
    // The card's own edit is refused: its handling ends the program; the pending note,
    // refused in turn as the notes close, is not dropped without a word.
    RecordSet& records = card().Data1.Recordset();
    records.setIndex(QStringLiteral("PrimaryKey"));
    records.Seek(QStringLiteral("="), 2);
    screens.show(card());
    card().txtFields(4)->setText(QStringLiteral("vietato"));
    for (int k = 0; k < 3; ++k)
        fp.msg.expect(ExpectedBox{});
    QTest::mouseClick(card().lblLista, Qt::LeftButton);
    ASSERT_EQ(3u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("indirizzo rifiutato")));
    EXPECT_EQ("Brellith ha intercettato un errore!", fp.msg.shown()[1].prompt.toStdString());
    EXPECT_TRUE(fp.msg.shown()[2].prompt.startsWith(QStringLiteral("Intercettato errore dei dati:")));
    EXPECT_TRUE(fp.msg.shown()[2].prompt.contains(QStringLiteral("nota rifiutata")));
    EXPECT_TRUE(fp.end.ended());
}

TEST_F(Notes, aPendingNoteRefusedAsTheCardOpensOtherNotesIsShownAndKept) {
    refuseNotes();
    openNotesOn(1);
    type(QStringLiteral("In sospeso"));
    notes().mnuMnu->trigger();
    // The card opens another patient's notes: leaving patient 1 writes the note, refused.
    fp.msg.expect(ExpectedBox{});
    RecordSet& records = card().Data1.Recordset();
    records.setIndex(QStringLiteral("PrimaryKey"));
    records.Seek(QStringLiteral("="), 2);
    screens.show(card());
    card().mnuCC->trigger();
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.startsWith(QStringLiteral("Intercettato errore dei dati:")));
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("nota rifiutata")));
    // The program goes on: the card stays, the notes keep patient 1 and the text.
    EXPECT_FALSE(fp.end.ended());
    EXPECT_TRUE(card().isVisible());
    EXPECT_FALSE(notes().isVisible());
    EXPECT_EQ("1", notes().txtFields(9)->text().toStdString());
    EXPECT_EQ("In sospeso", editor()->toPlainText().toStdString());
    // Once the store takes it again, the next opening writes it.
    execSql(fp.dbPath(), "DROP TRIGGER refuse_note");
    card().mnuCC->trigger();
    EXPECT_TRUE(notes().isVisible());
    EXPECT_EQ("Bianchi", notes().Label8(2)->text().toStdString());
    EXPECT_EQ("In sospeso", storedText(1));
}

} // namespace
