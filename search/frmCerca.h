#pragma once

#include "app/Screen.h"
#include "store/DataControl.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QRadioButton;

namespace qv {

class ResultLines;

// The patient search: a fragment of one of four fields, the matching patients one line each,
// and the card opened on the chosen one.
class frmCerca : public Screen {
    Q_OBJECT
public:
    explicit frmCerca(Screens& screens);
    ~frmCerca() override;

    // Record source "Pazienti" until the first search, then the last search's statement.
    DataControl Data1;

    QGroupBox* Frame1 = nullptr;
    QRadioButton* OptionCogno = nullptr;
    QRadioButton* OptionNome = nullptr;
    QRadioButton* OptionSoc = nullptr;
    QRadioButton* OptionAtt = nullptr;
    QLineEdit* TXTCerca = nullptr;
    QListView* List1 = nullptr; // unsorted
    QLineEdit* TextID = nullptr;
    QLabel* lblCerca = nullptr;
    QLabel* Label1 = nullptr; // "Scheda"
    QLabel* lblElenco = nullptr;
    QLabel* lblMnu = nullptr;

    // The result list: its lines, the identifier beside each, the selected line (-1: none).
    int List1ListCount() const;
    QString List1List(int row) const;
    qint64 List1ItemData(int row) const;
    int List1ListIndex() const;
    void List1Clear();

    // Screen events.
    void Form_Load() override;
    void Form_Activate() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }

    // Handlers.
    void Frame1_Click();
    void TXTCerca_Click();
    void lblCerca_Click();
    void Label1_Click();
    void List1_DblClick();
    void lblElenco_Click();
    void lblMnu_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct SearchField;
    void buildControls();
    QLabel* clickableLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                           void (frmCerca::*handler)());
    void search(const SearchField& field);
    // Tab reaching the list selects its current line (the first when there is none).
    void selectCurrentLine();

    ResultLines* lines_ = nullptr;
};

} // namespace qv
