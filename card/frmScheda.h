#pragma once

#include "app/Screen.h"
#include "store/DataControl.h"

#include <QString>
#include <functional>
#include <map>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QStatusBar;
class QTimer;
class QToolBar;

namespace qv {

class Screens;

// The patient card: one row of Pazienti in bound text boxes. Other screens position its data
// control and show it; its own commands reach the search, the list, the start screen and the
// clinical record, start and delete patients and print the card.
class frmScheda : public Screen {
    Q_OBJECT
public:
    explicit frmScheda(Screens& screens);
    ~frmScheda() override;

    // Record source "Pazienti", table record set; its caption holds the position text.
    DataControl Data1;

    // The bound boxes: elements 0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11 and 14; nullptr for any other.
    QLineEdit* txtFields(int index) const;
    static const std::vector<int>& txtFieldsIndexes();
    QLineEdit* Text5 = nullptr; // "Data richiamo"

    // The field labels, indexed as the boxes beside them; 12 is "Riaprire alla data:".
    QLabel* lblLabels(int index) const;

    // The clickable labels and the plain caption label.
    QLabel* lblCerca = nullptr;
    QLabel* lblLista = nullptr;
    QLabel* lblNuovo = nullptr;
    QLabel* Label7 = nullptr; // "Note"
    QLabel* lblMnu = nullptr;
    QLabel* Label6 = nullptr;
    // Carries the data control's caption (the position text); hidden, as the data control is.
    QLabel* lblData1 = nullptr;

    QToolBar* Toolbar1 = nullptr;
    // 1-based, as the toolbar numbers its buttons; button 3 is Cancella.
    QAction* Toolbar1Button(int position) const;
    // The button with this key, or nullptr.
    QAction* Toolbar1ButtonByKey(const QString& key) const;

    QStatusBar* sbStatusBar = nullptr;
    // 1: the text panel "Stato", 2: today's date, 3: the time.
    QLabel* sbPanel(int position) const;

    QAction* mnuFileExit = nullptr;
    QAction* mnuCC = nullptr;
    QAction* mnuautor = nullptr;
    QAction* mnuind = nullptr;

    // Screen events.
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }

    // Data control events.
    void Data1_Reposition();
    void Data1_Validate();
    void Data1_Error(int number, const QString& description);

    // Commands.
    void lblCerca_Click();
    void lblLista_Click();
    void lblNuovo_Click();
    void Label7_Click();
    void lblMnu_Click();
    void mnuCC_Click();
    void mnuFileExit_Click();
    void mnuautor_Click();
    void mnuind_Click();
    void Toolbar1_ButtonClick(const QString& key);
    void txtFields_DblClick(int index);
    void Text5_LostFocus();

    // The work behind the commands.
    void openList();           // writes pending edits by moving one record on, shows the list
    void newPatient();         // Cancella off, first row, a new row, focus to Cognome
    void openClinicalRecord(); // checks, writes, and opens the notes on the same patient
    void patientGone();        // the shown patient was deleted meanwhile: says so
    void deletePatient();      // asks, guards the first row, deletes and goes to the first row
    void printCard();          // an image of the card on the chosen printer; failures are silent
    void updatePositionText();
    void updateClock();

    // Runs an action that may move the card's record set. A write the store refused
    // (error 3426) is answered with a box and the end of the program; any other failure
    // passes on. Returns false when the program was ended.
    bool withSaveFailureHandling(const std::function<void()>& action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildToolbar();
    void buildMenu();
    void buildStatusBar();
    QLabel* clickableLabel(const QString& name, const QString& caption, int left,
                           void (frmScheda::*handler)());

    std::map<int, QLineEdit*> txtFields_;
    std::map<int, QLabel*> lblLabels_;
    std::vector<QAction*> toolbarButtons_;
    std::vector<QLabel*> panels_;
    QTimer* clockTimer_ = nullptr;
};

} // namespace qv
