// The list screen driven as a user would: the grid, the count, sorting, printing, the picture's
// colours and the card opened from an identifier.
#include "app/Screens.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "platform/BoundGrid.h"
#include "platform/Candy.h"
#include "search/OpenCard.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

class List : public ScreensTest {
protected:
    void SetUp() override {
        execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome, Nome, \"Telefono Casa\", Data) VALUES"
                             " (1, 'Rossi', 'Mario', '0612345678', '01/02/2003'),"
                             " (2, 'bianchi', 'Anna', NULL, NULL),"
                             " (3, 'Àlvarez', 'Elena', NULL, NULL),"
                             " (4, 'Amato', 'Luca', NULL, NULL),"
                             " (5, 'Alfieri', 'Paola', NULL, NULL),"
                             " (6, 'Bianchi', 'Bruno', NULL, NULL),"
                             " (27, 'Verdi', 'Carlo', NULL, NULL),"
                             " (28, 'Èrcole', 'Sara', NULL, NULL)");
        screens.inizio();
        screens.show(list());
        QApplication::processEvents();
    }

    frmElenco& list() { return screens.elenco(); }
    BoundGridModel& rows() { return *list().MSFlexGrid1Rows; }

    QStringList column(int c) {
        QStringList out;
        for (int r = 0; r < rows().rowCount(); ++r)
            out << rows().text(r, c);
        return out;
    }

    int columnOf(const char* field) {
        for (int c = 0; c < rows().columnCount(); ++c)
            if (rows().fieldName(c) == QString::fromUtf8(field))
                return c;
        ADD_FAILURE() << "no column " << field;
        return -1;
    }

    int rowOf(const char* surname) { return int(column(2).indexOf(QString::fromUtf8(surname))); }

    // A click then a double-click on a cell, as a real double-click arrives.
    void doubleClickCell(int row, int c) {
        QTableView* grid = list().MSFlexGrid1;
        const QModelIndex index = grid->model()->index(row, c);
        grid->scrollTo(index);
        const QPoint at = grid->visualRect(index).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }

    void clickCell(int row, int c) {
        QTableView* grid = list().MSFlexGrid1;
        const QModelIndex index = grid->model()->index(row, c);
        grid->scrollTo(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    }

    void expectNotAnId() {
        ExpectedBox box;
        box.prompt = QStringLiteral(" Doppio click nella cella ID per selezionare!");
        box.title = QStringLiteral("Quorvane");
        box.icon = MsgIcon::None;
        box.buttons = MsgButtons::Ok;
        fp.msg.expect(box);
    }
};

const QStringList kAscending{QStringLiteral("Alfieri"), QStringLiteral("Àlvarez"), QStringLiteral("Amato"),
                             QStringLiteral("bianchi"), QStringLiteral("Bianchi"), QStringLiteral("Èrcole"),
                             QStringLiteral("Rossi"),   QStringLiteral("Verdi")};

TEST_F(List, showsTheQueryWithItsHeaderWidthsAndCount) {
    frmElenco& l = list();
    EXPECT_EQ("Elenco", l.windowTitle().toStdString());
    QTableView* grid = l.MSFlexGrid1;
    // One header row with the view's field names, in its order.
    ASSERT_GE(rows().columnCount(), 11);
    EXPECT_EQ("ID", rows().headerData(0, Qt::Horizontal).toString().toStdString());
    EXPECT_EQ("Nome", rows().headerData(1, Qt::Horizontal).toString().toStdString());
    EXPECT_EQ("Cognome", rows().headerData(2, Qt::Horizontal).toString().toStdString());
    for (int c = 0; c < rows().columnCount(); ++c)
        EXPECT_NE("Note", rows().fieldName(c).toStdString());
    EXPECT_EQ(8, rows().rowCount());
    EXPECT_TRUE(grid->editTriggers() == QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(rows().flags(rows().index(0, 0)) & Qt::ItemIsEditable);

    const int widths[] = {700, 2100, 2100, 1700, 1700, 1700, 1700, 1700, 1700, 1700, 1700};
    for (int c = 0; c < 11; ++c)
        EXPECT_EQ(twips(widths[c]), grid->columnWidth(c)) << c;
    EXPECT_EQ(int(Qt::AlignLeft | Qt::AlignTop),
              rows().data(rows().index(0, 5), Qt::TextAlignmentRole).toInt());
    EXPECT_EQ(QColor(128, 255, 255), l.BackColor());

    EXPECT_EQ("Totale nominativi:", l.Label1->text().toStdString());
    EXPECT_EQ("8", l.Label2->text().toStdString());
    EXPECT_EQ("Cerca", l.CandyHCommand7->text().toStdString());
    EXPECT_EQ("Cerca", l.CandyHCommand7->accessibleName().toStdString());
    EXPECT_EQ("Menu", l.CandyHCommand8->accessibleName().toStdString());
    EXPECT_EQ(QColor(255, 255, 255), l.CandyHCommand8->captionColor());
    EXPECT_EQ(QColor(128, 128, 255), l.CandyHCommand8->focusColor());
    EXPECT_EQ("&Ordina", l.mnuOrdina->title().toStdString());
    EXPECT_EQ("&Crescente", l.mnucre->text().toStdString());
    EXPECT_EQ("&Decrescente", l.mnudecr->text().toStdString());
    EXPECT_EQ("&Stampa", l.mnuprint->text().toStdString());
    EXPECT_TRUE(l.menuBar()->actions().contains(l.mnuprint)) << "a top-level entry of its own";

    // The widths and the count hold after the next activation.
    screens.hide(l);
    screens.show(screens.inizio());
    screens.hide(screens.inizio());
    screens.show(l);
    EXPECT_EQ(twips(2100), grid->columnWidth(2));
    EXPECT_EQ("8", l.Label2->text().toStdString());
}

TEST_F(List, activationSortsAscendingOnColumnTwoIgnoringCaseAndAccents) {
    EXPECT_EQ(2, list().Col());
    EXPECT_EQ(column(2), kAscending);
    // Rows move whole.
    EXPECT_EQ("Paola", rows().text(0, 1).toStdString());
    EXPECT_EQ("27", rows().text(7, 0).toStdString());
    // Equal texts keep the query's order: bianchi (2) before Bianchi (6).
    EXPECT_EQ("2", rows().text(3, 0).toStdString());

    list().mnudecr->trigger();
    QStringList descending = kAscending;
    std::reverse(descending.begin(), descending.end());
    std::swap(descending[3], descending[4]); // equal texts still in the query's order
    EXPECT_EQ(column(2), descending);

    // Sorting on the column the user clicked: Nome.
    clickCell(0, 1);
    EXPECT_EQ(1, list().Col());
    list().mnucre->trigger();
    EXPECT_EQ(column(1).first().toStdString(), "Anna");
    EXPECT_EQ(column(1).last().toStdString(), "Sara");

    // Leaving and coming back: ascending on column 2 again.
    QTest::mouseClick(list().CandyHCommand8, Qt::LeftButton);
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(list().isVisible());
    screens.hide(screens.inizio());
    screens.show(list());
    EXPECT_EQ(2, list().Col());
    EXPECT_EQ(column(2), kAscending);
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(List, numbersAndDatesSortAsText) {
    execSql(
        fp.dbPath(),
        "UPDATE Pazienti SET Cognome = '10' WHERE ID = 27; UPDATE Pazienti SET Cognome = '9' WHERE ID = 28");
    screens.hide(list());
    screens.show(screens.inizio());
    screens.hide(screens.inizio());
    screens.show(list());
    EXPECT_EQ("10", rows().text(0, 2).toStdString());
    EXPECT_EQ("9", rows().text(1, 2).toStdString());
}

TEST_F(List, aPatientAddedOnTheCardIsCountedAndShown) {
    frmScheda& card = screens.scheda();
    QTest::mouseClick(list().CandyHCommand8, Qt::LeftButton);
    screens.inizio().lblNuovo_Click();
    ASSERT_TRUE(card.isVisible());
    card.txtFields(1)->setFocus();
    typeText(card.txtFields(1), QStringLiteral("Zanetti"));
    QTest::mouseClick(card.lblLista, Qt::LeftButton);
    ASSERT_TRUE(list().isVisible());
    EXPECT_EQ("9", list().Label2->text().toStdString());
    EXPECT_EQ("Zanetti", rows().text(8, 2).toStdString());
}

TEST_F(List, aDoubleClickOnAnIdentifierOpensThatPatientsCard) {
    doubleClickCell(rowOf("Verdi"), 0);
    frmScheda& card = screens.scheda();
    EXPECT_TRUE(card.isVisible());
    EXPECT_FALSE(list().isVisible());
    EXPECT_EQ("27", card.txtFields(0)->text().toStdString());
    EXPECT_EQ("Verdi", card.txtFields(1)->text().toStdString());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(List, aDoubleClickElsewhereAsksForTheIdentifierCell) {
    frmScheda& card = screens.scheda();
    card.Data1.Refresh(); // on the first patient, Rossi
    expectNotAnId();
    doubleClickCell(rowOf("Verdi"), 2);
    // A telephone number and a date written as digits are numbers, but name no patient.
    expectNotAnId();
    doubleClickCell(rowOf("Rossi"), columnOf("Telefono Casa"));
    EXPECT_EQ("0612345678", list().currentText().toStdString());
    expectNotAnId();
    doubleClickCell(rowOf("Alfieri"), columnOf("Data"));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(list().isVisible());
    EXPECT_FALSE(card.isVisible());
    EXPECT_EQ("Rossi", card.txtFields(1)->text().toStdString());
}

TEST_F(List, aPatientDeletedMeanwhileIsNeverShownAsAnother) {
    frmScheda& card = screens.scheda();
    card.Data1.Refresh(); // on the first patient, Rossi
    const int row = rowOf("Verdi");
    execSql(fp.dbPath(), "DELETE FROM Pazienti WHERE ID = 27");
    ExpectedBox box;
    box.prompt = kPatientGone;
    fp.msg.expect(box);
    doubleClickCell(row, 0);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(list().isVisible());
    EXPECT_FALSE(card.isVisible());
    EXPECT_EQ("Rossi", card.txtFields(1)->text().toStdString());
}

TEST_F(List, theCountIsSpokenAsItsNumberLabelledByItsCaption) {
    frmElenco& l = list();
    QAccessibleInterface* count = QAccessible::queryAccessibleInterface(l.Label2);
    ASSERT_NE(nullptr, count);
    EXPECT_EQ("8", count->text(QAccessible::Name).toStdString());
    const auto labels = count->relations(QAccessible::Label);
    ASSERT_EQ(1, labels.size());
    EXPECT_EQ(l.Label1, labels.first().first->object());
    // The spoken number follows the count.
    execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome) VALUES (30, 'Neri')");
    screens.hide(l);
    screens.show(screens.inizio());
    screens.hide(screens.inizio());
    screens.show(l);
    EXPECT_EQ("9", count->text(QAccessible::Name).toStdString());
}

TEST_F(List, returnOpensTheCardFromAnIdentifierAndTabLeavesTheGrid) {
    frmElenco& l = list();
    QTableView* grid = l.MSFlexGrid1;
    // Tab and Shift+Tab go to the screen's other controls, not to the next cell.
    clickCell(rowOf("Rossi"), 1);
    ASSERT_EQ(grid, QApplication::focusWidget());
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_NE(grid, QApplication::focusWidget());
    EXPECT_TRUE(l.isAncestorOf(QApplication::focusWidget()));
    clickCell(rowOf("Rossi"), 1);
    QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(grid, QApplication::focusWidget());
    EXPECT_TRUE(l.isAncestorOf(QApplication::focusWidget()));

    // Return on a surname asks for the identifier cell, as a double-click there does.
    expectNotAnId();
    clickCell(rowOf("Verdi"), 2);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(l.isVisible());
    // On an identifier it opens that patient's card.
    clickCell(rowOf("Verdi"), 0);
    QTest::keyClick(grid, Qt::Key_Return);
    frmScheda& card = screens.scheda();
    EXPECT_TRUE(card.isVisible());
    EXPECT_FALSE(l.isVisible());
    EXPECT_EQ("27", card.txtFields(0)->text().toStdString());
    EXPECT_EQ(1u, fp.msg.shown().size());
}

TEST_F(List, aDoubleClickOnTheHeaderOrBelowTheRowsAsksForTheIdentifierCell) {
    frmElenco& l = list();
    QTableView* grid = l.MSFlexGrid1;
    // The current cell holds an identifier: still, only a double-click on it opens the card.
    clickCell(rowOf("Verdi"), 0);
    QHeaderView* header = grid->horizontalHeader();
    const QPoint onHeader(header->sectionViewportPosition(0) + 10, header->height() / 2);
    expectNotAnId();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onHeader);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, onHeader);
    EXPECT_TRUE(fp.msg.scriptDone());

    const QRect last = grid->visualRect(rows().index(rows().rowCount() - 1, 0));
    const QPoint below(last.center().x(), last.bottom() + 20);
    ASSERT_LT(below.y(), grid->viewport()->height());
    expectNotAnId();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, below);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(2u, fp.msg.shown().size());
    EXPECT_TRUE(l.isVisible());
    EXPECT_FALSE(screens.scheda().isVisible());
}

TEST_F(List, thePictureSwitchesTheGridsBackground) {
    QLabel* image = list().Image1;
    QTest::mouseClick(image, Qt::LeftButton);
    EXPECT_EQ(QColor(255, 255, 255), list().BackColor());
    // A double-click arrives after a click: white, then light cyan, and it stays so.
    QTest::mouseClick(image, Qt::LeftButton);
    QTest::mouseDClick(image, Qt::LeftButton);
    QTest::mouseRelease(image, Qt::LeftButton);
    EXPECT_EQ(QColor(128, 255, 255), list().BackColor());
    EXPECT_EQ(QColor(128, 255, 255), list().MSFlexGrid1->viewport()->palette().color(QPalette::Base));
}

TEST_F(List, printingPutsAnImageOfTheScreenOnThePrinterAndCancellingSaysNothing) {
    const QString pdf = fp.platform.path(QStringLiteral("elenco.pdf"));
    fp.printer.printToFile(pdf);
    list().mnuprint->trigger();
    EXPECT_EQ(1, fp.printer.dialogsShown());
    ASSERT_EQ(1u, fp.printer.images().size());
    EXPECT_EQ(list().size(), fp.printer.images()[0].size() / list().devicePixelRatio());
    EXPECT_EQ(1, fp.printer.pagesEnded());
    EXPECT_GT(QFile(pdf).size(), 1000);

    fp.printer.cancelNext(true);
    list().mnuprint->trigger();
    EXPECT_EQ(2, fp.printer.dialogsShown());
    EXPECT_EQ(1u, fp.printer.images().size());
    EXPECT_EQ(1, fp.printer.pagesEnded());
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(List, cercaAndClosingTheWindowLeaveTheScreen) {
    QTest::mouseClick(list().CandyHCommand7, Qt::LeftButton);
    EXPECT_TRUE(screens.cerca().isVisible());
    EXPECT_FALSE(list().isVisible());
    screens.hide(screens.cerca());
    screens.show(list());
    list().close();
    QApplication::processEvents();
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("frmElenco")));
    EXPECT_TRUE(screens.inizio().isVisible());
    EXPECT_FALSE(screens.ended());
    EXPECT_TRUE(fp.msg.shown().empty());
}

} // namespace
