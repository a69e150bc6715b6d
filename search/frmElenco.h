#pragma once

#include "app/Screen.h"
#include "store/DataControl.h"

#include <QColor>

class QAction;
class QLabel;
class QMenu;
class QTableView;

namespace qv {

class BoundGridModel;
class CandyHCommand;

// The list of all patients: a read-only grid over the saved query, the count, sorting on the
// current column, printing, and the card opened from a patient's identifier.
class frmElenco : public Screen {
    Q_OBJECT
public:
    explicit frmElenco(Screens& screens);
    ~frmElenco() override;

    // Record source "Pazienti Query".
    DataControl Data1;

    // The bound grid; its model reads the rows as the grid shows them.
    QTableView* MSFlexGrid1 = nullptr;
    BoundGridModel* MSFlexGrid1Rows = nullptr;
    QLabel* Label1 = nullptr;                // "Totale nominativi:"
    QLabel* Label2 = nullptr;                // the count
    CandyHCommand* CandyHCommand7 = nullptr; // "Cerca"
    CandyHCommand* CandyHCommand8 = nullptr; // "Menu"
    QLabel* Image1 = nullptr;

    QMenu* mnuOrdina = nullptr;
    QAction* mnucre = nullptr;
    QAction* mnudecr = nullptr;
    QAction* mnuprint = nullptr;

    // The grid's background colour, its current column and the text of its current cell.
    QColor BackColor() const;
    void setBackColor(const QColor& colour);
    int Col() const;
    void setCol(int column);
    QString currentText() const;

    // Screen events.
    void Form_Load() override;
    void Form_Activate() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }

    // Handlers.
    void mnucre_Click();
    void mnudecr_Click();
    void mnuprint_Click();
    void MSFlexGrid1_DblClick();
    void CandyHCommand7_Click();
    void CandyHCommand8_Click();
    void Image1_Click();
    void Image1_DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    // The answer to a double-click anywhere but on a cell holding an identifier.
    void askForTheIdentifierCell();
    bool afterDoubleClick_ = false;
};

} // namespace qv
