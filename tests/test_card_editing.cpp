// Correcting texts in the card's boxes as a receptionist does: typing in the middle, over a
// selection, pasting, undoing, in boxes with and without a typing limit; what is stored.
#include "app/Screens.h"
#include "card/frmScheda.h"
#include "platform/BoundWidgets.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace qv;
using namespace qv::test;

namespace {

class CardBoxes : public ScreensTest {
protected:
    void SetUp() override {
        execSql(fp.dbPath(),
                "INSERT INTO Pazienti (ID, Cognome, \"Telefono Ufficio\", \"Data richiamo\") VALUES"
                " (1, 'Rossi', 'Rossi', '15/03/2004'), (2, 'Bianchi', NULL, NULL)");
        frmScheda& c = screens.scheda();
        c.Data1.Recordset().MoveFirst();
        screens.show(c);
        QApplication::processEvents();
    }

    void moveOn() {
        frmScheda& c = screens.scheda();
        c.Data1.Recordset().MoveNext();
        c.Data1.Recordset().MoveFirst();
    }
    void paste(QLineEdit* target, const QString& text) {
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
    }
};

class CardEditing : public CardBoxes, public ::testing::WithParamInterface<int> {
protected:
    // The box under test: Cognome (limit 50) or Telefono Ufficio (no limit).
    QLineEdit* box() { return screens.scheda().txtFields(GetParam()); }
    std::string stored() {
        const char* column = GetParam() == 1 ? "Cognome" : "\"Telefono Ufficio\"";
        return queryText(fp.dbPath(),
                         (std::string("SELECT ") + column + " FROM Pazienti WHERE ID = 1").c_str());
    }
};

TEST_P(CardEditing, typingInTheMiddleAtTheStartAndOverASelectionKeepsTheCaret) {
    QLineEdit* b = box();
    b->setFocus();
    b->setCursorPosition(2);
    QTest::keyClicks(b, QStringLiteral("XY"));
    EXPECT_EQ("RoXYssi", b->text().toStdString());
    EXPECT_EQ(4, b->cursorPosition());

    QTest::keyClick(b, Qt::Key_Home);
    QTest::keyClicks(b, QStringLiteral("A"));
    EXPECT_EQ("ARoXYssi", b->text().toStdString());

    b->setSelection(3, 2); // "XY"
    QTest::keyClicks(b, QStringLiteral("z"));
    EXPECT_EQ("ARozssi", b->text().toStdString());
    QTest::keyClick(b, Qt::Key_Backspace);
    QTest::keyClick(b, Qt::Key_Delete);
    EXPECT_EQ("ARosi", b->text().toStdString());

    moveOn();
    EXPECT_EQ("ARosi", stored());
}

TEST_P(CardEditing, pastingInTheMiddleAndUndoingStepByStep) {
    QLineEdit* b = box();
    b->setFocus();
    b->setCursorPosition(2);
    QTest::keyClicks(b, QStringLiteral("a"));
    paste(b, QStringLiteral("PQ"));
    QTest::keyClicks(b, QStringLiteral("b"));
    EXPECT_EQ("RoaPQbssi", b->text().toStdString());
    EXPECT_EQ(6, b->cursorPosition());

    QTest::keyClick(b, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ("RoaPQssi", b->text().toStdString());
    QTest::keyClick(b, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ("Roassi", b->text().toStdString());
    QTest::keyClick(b, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ("Rossi", b->text().toStdString());
    QTest::keyClick(b, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ("Roassi", b->text().toStdString());

    // A paste over a selection replaces it; line breaks and tabs arrive as blanks.
    b->selectAll();
    paste(b, QStringLiteral("De\tLuca\r\nMaria\n"));
    EXPECT_EQ("De Luca Maria ", b->text().toStdString());
    moveOn();
    EXPECT_EQ("De Luca Maria ", stored());
}

INSTANTIATE_TEST_SUITE_P(LimitedAndUnlimited, CardEditing, ::testing::Values(1, 6),
                         [](const auto& param) { return param.param == 1 ? "Cognome" : "TelefonoUfficio"; });

using CardLimits = CardBoxes;

TEST_F(CardLimits, correctingTheRecallDateInTheMiddleKeepsTheDate) {
    frmScheda& c = screens.scheda();
    c.Text5->setFocus();
    c.Text5->setCursorPosition(1);
    QTest::keyClick(c.Text5, Qt::Key_Delete);
    QTest::keyClicks(c.Text5, QStringLiteral("6"));
    EXPECT_EQ("16/03/2004", c.Text5->text().toStdString());
    QTest::keyClick(c.Text5, Qt::Key_Tab); // no "Data errata!  ": the box expects none
    EXPECT_EQ("16/03/2004", c.Text5->text().toStdString());
    c.Data1.Recordset().MoveNext();
    EXPECT_EQ("16/03/2004", queryText(fp.dbPath(), "SELECT \"Data richiamo\" FROM Pazienti WHERE ID = 1"));
}

TEST_F(CardLimits, aPasteIsCutAtTheLimitAtWholeCharacters) {
    QLineEdit* cognome = screens.scheda().txtFields(1);
    cognome->setFocus();
    cognome->end(false);
    // 45 letters fit after "Rossi"; the emoji after the 44th would be split, so it stays out.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    paste(cognome, QString(44, u'N') + emoji + QStringLiteral("tail"));
    EXPECT_EQ((QStringLiteral("Rossi") + QString(44, u'N')).toStdString(), cognome->text().toStdString());
    QTest::keyClicks(cognome, QStringLiteral("xy"));
    EXPECT_EQ(50, cognome->text().size());
    // Typed, the emoji does not fit in the one unit left either.
    QTest::keyClick(cognome, Qt::Key_Backspace);
    QTest::sendKeyEvent(QTest::Click, cognome, Qt::Key_unknown, emoji, Qt::NoModifier);
    EXPECT_EQ((QStringLiteral("Rossi") + QString(44, u'N')).toStdString(), cognome->text().toStdString());
    QTest::keyClick(cognome, Qt::Key_Backspace);
    QTest::sendKeyEvent(QTest::Click, cognome, Qt::Key_unknown, emoji, Qt::NoModifier);
    EXPECT_EQ((QStringLiteral("Rossi") + QString(43, u'N') + emoji).toStdString(),
              cognome->text().toStdString());

    // A box without a limit takes a long paste whole.
    QLineEdit* ufficio = screens.scheda().txtFields(6);
    ufficio->setFocus();
    paste(ufficio, QString(40000, u'7'));
    EXPECT_EQ(40005, ufficio->text().size());
    moveOn();
    EXPECT_EQ((QStringLiteral("Rossi") + QString(43, u'N') + emoji).toStdString(),
              queryText(fp.dbPath(), "SELECT Cognome FROM Pazienti WHERE ID = 1"));
    EXPECT_EQ(40005u,
              queryText(fp.dbPath(), "SELECT \"Telefono Ufficio\" FROM Pazienti WHERE ID = 1").size());
}

TEST_F(CardLimits, theContextMenuAndADropPasteTheSameWay) {
    QLineEdit* cognome = screens.scheda().txtFields(1);
    auto* input = dynamic_cast<TextBoxInput*>(const_cast<QValidator*>(cognome->validator()));
    ASSERT_NE(nullptr, input);
    QGuiApplication::clipboard()->setText(QStringLiteral("a\nb") + QString(60, u'c'));
    cognome->end(false);
    std::unique_ptr<QMenu> menu(input->contextMenu());
    int pastes = 0;
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(QStringLiteral("&Incolla")) ||
            action->text().startsWith(QStringLiteral("&Paste"))) {
            action->trigger();
            ++pastes;
        }
    }
    ASSERT_EQ(1, pastes);
    EXPECT_EQ((QStringLiteral("Rossia b") + QString(42, u'c')).toStdString(), cognome->text().toStdString());

    cognome->clear();
    QMimeData dragged;
    dragged.setText(QStringLiteral("Di\r\nPietro") + QString(60, u'o'));
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(cognome, &enter);
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(cognome, &drop);
    EXPECT_EQ((QStringLiteral("Di Pietro") + QString(41, u'o')).toStdString(), cognome->text().toStdString());
}

} // namespace
