#pragma once

#include "agenda/DayFile.h"
#include "app/Screen.h"
#include "platform/MonthView.h"
#include "store/DataControl.h"

#include <QDate>
#include <array>

class QLabel;
class QLineEdit;

namespace qv {

class CandyHCommand;
class CandyScreen;

// The day agenda: one calendar date as a sheet of 40 appointment slots (time, patient, note)
// and four free lines. The weekday's default times come from its row of the Agenda table,
// to which the 40 time boxes are bound; everything on the sheet of a date lives in that
// date's day file, rewritten whenever a slot box is left.
class FormAgend : public Screen {
    Q_OBJECT
public:
    explicit FormAgend(Screens& screens);
    ~FormAgend() override;

    // Record source "Agenda", dynamic record set; its current row is the weekday row of the
    // shown date.
    DataControl Data1;

    // The control array of the 124 slot boxes, indexes 0 to 123; nullptr for any other index.
    static constexpr int kTextCount = dayfile::kBoxes;
    QLineEdit* Text(int index) const;
    enum class Column { Time, Name, Note };
    // The index in Text of one box of slot 1 to 40.
    static int TextIndex(int slot, Column column);
    // The index in Text of free line 1 to 4, from top to bottom: 120, 121, 123, 122.
    static int FreeLineIndex(int line);

    QLabel* Label1 = nullptr;            // the title: the long date of the shown day
    QLabel* Label2 = nullptr;            // "NomePaziente:" of the left half
    QLabel* Label3 = nullptr;            // "NomePaziente:" of the right half
    QLabel* Label4 = nullptr;            // "Note:" of the left half
    QLabel* Label5 = nullptr;            // "Note:" of the right half
    QLineEdit* Text3 = nullptr;          // hidden: the weekday name of the shown date
    QLineEdit* Text1 = nullptr;          // hidden: bound to the field data
    CandyScreen* CandyScreen1 = nullptr; // behind the slot grid
    CandyScreen* CandyScreen2 = nullptr; // behind the title

    MonthView* MonthView1 = nullptr;
    Calendar Calendar1;                      // the hidden date holder: the shown date
    CandyHCommand* CandyHCommand1 = nullptr; // "Oggi"
    CandyHCommand* CandyHCommand3 = nullptr; // "Il giorno successivo"
    CandyHCommand* CandyHCommand2 = nullptr; // "Il giorno precedente"
    CandyHCommand* CandyHCommand4 = nullptr; // "Una settimana avanti"
    CandyHCommand* CandyHCommand5 = nullptr; // "Una settimana indietro"
    CandyHCommand* CandyHCommand7 = nullptr; // "Impostazione orario"
    CandyHCommand* CandyHCommand8 = nullptr; // "Menu"
    CandyHCommand* CandyHCommand6 = nullptr; // "Chiudi l'agenda"

    // Screen events.
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }
    void writePending(bool quiet) override;

    // The sheet.
    void LoadDay();
    void ClearSlots();
    void Text_LostFocus(int index);
    void Data1_Validate();
    // False until a day has loaded completely; meanwhile the boxes take no typing and
    // nothing is written over the shown date's day file.
    bool dayLoaded() const { return dayLoaded_; }

    // The day files of the shown date (the title names them).
    void CreateAfileAGEND();
    void SaveDayFile();
    dayfile::ReadResult::Status ReadDayFile();
    void CreateEmptyDayFile();

    // Navigation.
    void ShowCalendarDate();
    void MonthView1_DateClick(const QDate& date);
    void CandyHCommand1_Click(); // "Oggi"
    void CandyHCommand2_Click(); // "Il giorno precedente"
    void CandyHCommand3_Click(); // "Il giorno successivo"
    void CandyHCommand4_Click(); // "Una settimana avanti"
    void CandyHCommand5_Click(); // "Una settimana indietro"
    void CandyHCommand6_Click(); // "Chiudi l'agenda"
    void CandyHCommand7_Click(); // "Impostazione orario"
    void CandyHCommand8_Click(); // "Menu"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void setDayLoaded(bool loaded);
    // The load could not bring the date onto the sheet: nothing of another date stays there.
    void blankSheet();
    // Forgets what the time boxes changed since the row was last shown.
    void discardTimeChanges();
    QString dayFilePath() const;

    std::array<QLineEdit*, kTextCount> text_{};
    bool dayLoaded_ = false;
    bool reportingSaveFailure_ = false;
};

} // namespace qv
