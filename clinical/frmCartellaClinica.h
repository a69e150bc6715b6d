#pragma once

#include "app/Screen.h"
#include "store/DataControl.h"

#include <map>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;

namespace qv {

class RichTextBox;

// The clinical notes of the patient the card shows: a strip naming the patient, read-only,
// and the notes as formatted text bound to the field Note. The card positions this screen's
// data control and shows it; its menu leads back to the card (writing the notes), to the
// list, the search, the start screen, or out of the program.
class frmCartellaClinica : public Screen {
    Q_OBJECT
public:
    explicit frmCartellaClinica(Screens& screens);
    ~frmCartellaClinica() override;

    // Record source "Pazienti", table record set (the card seeks it by PrimaryKey).
    DataControl Data1;

    QLabel* Label199 = nullptr; // Nome
    QLabel* Label1 = nullptr;   // Attività
    // Element 2 is Cognome, element 0 Società; nullptr for any other.
    QLabel* Label8(int index) const;
    // Element 9 is the ID; nullptr for any other.
    QLineEdit* txtFields(int index) const;
    RichTextBox* RichTextBox1 = nullptr;

    QMenu* nnuFile = nullptr;
    QAction* mnuelenco = nullptr;
    QAction* mnuMnu = nullptr;
    QAction* mnucerca = nullptr;
    QAction* mnusetup = nullptr;
    QAction* mnuEsci = nullptr;
    QAction* mnuScheda = nullptr;
    QAction* mnuprint = nullptr;

    // Screen events.
    void Form_Load() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }

    // Data control events.
    void Data1_Reposition();
    void Data1_Validate();
    void Data1_Error(int number, const QString& description);

    // Menu entries.
    void mnuScheda_Click();
    void mnuelenco_Click();
    void mnuMnu_Click();
    void mnucerca_Click();
    void mnusetup_Click();
    void mnuEsci_Click();
    void mnuprint_Click();

private:
    void buildControls();
    void buildMenu();
    // Runs work on this screen's data control: a failure there is shown by the data-error
    // message (a refused write has already been shown by the data control's own event) and
    // the screen stays as it was. Returns whether the work went through.
    bool onData(const std::function<void()>& work);

    std::map<int, QLabel*> Label8_;
    QLineEdit* txtFields9_ = nullptr;
};

} // namespace qv
