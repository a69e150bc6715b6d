#pragma once

#include "app/Screen.h"

class QFrame;
class QLabel;

namespace qv {

class CandyHCommand;

// The start screen: the hub of the program and its first screen.
class frmInizio : public Screen {
    Q_OBJECT
public:
    explicit frmInizio(Screens& screens);

    QFrame* Frame2 = nullptr;
    QLabel* Image1 = nullptr;
    CandyHCommand* CandyHCommand6 = nullptr; // "Cerca"
    CandyHCommand* CandyHCommand5 = nullptr; // "Aggiungi"
    CandyHCommand* CandyHCommand4 = nullptr; // "Elenco"
    CandyHCommand* CandyHCommand8 = nullptr; // "Agenda"
    CandyHCommand* CandyHCommand3 = nullptr; // "Chiudi"
    QLabel* Label1 = nullptr;                // the maker's address
    QLabel* Label3 = nullptr;                // the maker's tagline
    // Never shown; they lend their names to the command routines.
    QLabel* lblCerca = nullptr;
    QLabel* lblNuovo = nullptr;
    QLabel* lblElenco = nullptr;
    QLabel* Label2 = nullptr;

    void lblCerca_Click();
    void lblNuovo_Click();
    void lblElenco_Click();
    void CandyHCommand8_Click(); // "Agenda"
    void CandyHCommand3_Click(); // "Chiudi"

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload() override;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace qv
