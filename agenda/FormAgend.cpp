// The agenda's handlers: loading a day onto the sheet, saving it when a box is left, the
// weekday's default times, and moving between dates.
#include "agenda/FormAgend.h"

#include <algorithm>

#include "app/Screens.h"
#include "app/frmInizio.h"
#include "platform/Candy.h"
#include "platform/Dates.h"
#include "store/StoreError.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>

namespace qv {

FormAgend::FormAgend(Screens& screens) : Screen(screens, QStringLiteral("FormAgend")) {
    Data1.setRecordSource(QStringLiteral("Agenda"));
    Data1.setRecordsetType(RecordSet::Type::Dynaset);
    buildControls();
    Calendar1.Today(platform().clock);
    Data1.onValidate = [this] { Data1_Validate(); };
    connectControls();
    setDayLoaded(false);
}

FormAgend::~FormAgend() {
    // The boxes outlive this part of the screen; their events must not reach it, and the
    // data control, closing after it, finds nothing to write into the weekday row.
    for (QLineEdit* box : text_)
        box->removeEventFilter(this);
    Data1.onValidate = nullptr;
    discardTimeChanges();
}

void FormAgend::connectControls() {
    on(CandyHCommand1, &QPushButton::clicked, [this] { CandyHCommand1_Click(); });
    on(CandyHCommand3, &QPushButton::clicked, [this] { CandyHCommand3_Click(); });
    on(CandyHCommand2, &QPushButton::clicked, [this] { CandyHCommand2_Click(); });
    on(CandyHCommand4, &QPushButton::clicked, [this] { CandyHCommand4_Click(); });
    on(CandyHCommand5, &QPushButton::clicked, [this] { CandyHCommand5_Click(); });
    on(CandyHCommand7, &QPushButton::clicked, [this] { CandyHCommand7_Click(); });
    on(CandyHCommand8, &QPushButton::clicked, [this] { CandyHCommand8_Click(); });
    on(CandyHCommand6, &QPushButton::clicked, [this] { CandyHCommand6_Click(); });
    QObject::connect(MonthView1, &MonthView::DateClick, this,
                     [this](const QDate& date) { guard([this, date] { MonthView1_DateClick(date); }); });
}

// ---- screen events ----

void FormAgend::Form_Load() {
    Data1.setDatabaseName(platform().archivePath());
    Label1->setText(dates::longDate(Calendar1.Value()));
    Text3->setText(dates::weekdayName(Calendar1.Value()));
}

void FormAgend::Form_Activate() {
    // Back to today every time the agenda becomes the program's active screen. A failure
    // ends the activation silently where it happens. A day that could not load stays the
    // blank, read-only sheet the load left, with no day file made for it, as when the date
    // is reached with the buttons.
    try {
        CreateAfileAGEND();
        Calendar1.Today(platform().clock);
        ShowCalendarDate();
        if (!dayLoaded_)
            return;
        if (ReadDayFile() == dayfile::ReadResult::Status::Missing)
            CreateEmptyDayFile();
    } catch (const std::exception&) {
    }
}

void FormAgend::Form_Unload() {
    // A box being edited is left, and so saved, before the window goes.
    if (QWidget* focused = focusWidget()) {
        for (QLineEdit* box : text_) {
            if (box == focused) {
                box->clearFocus();
                break;
            }
        }
    }
    // Hidden, the start screen shown, then unloaded. The weekday row is not written: its
    // times change only through "Impostazione orario" (Data1_Validate).
    Screen::Form_Unload();
}

void FormAgend::writePending(bool quiet) {
    // The program ends while a slot box is being edited: its leaving would have saved it.
    QWidget* focused = focusWidget();
    if (focused == nullptr || std::find(text_.begin(), text_.end(), focused) == text_.end())
        return;
    if (!quiet) {
        SaveDayFile();
    } else if (dayLoaded_) {
        QStringList texts;
        for (QLineEdit* box : text_)
            texts << box->text();
        dayfile::save(dayFilePath(), texts);
    }
}

// ---- the sheet ----

void FormAgend::LoadDay() {
    // Nothing is saved while the sheet is between two dates.
    dayLoaded_ = false;
    try {
        RecordSet& records = Data1.Recordset();
        records.Edit();
        ClearSlots();
        records.Edit();
        // Nothing of the emptying, nor of what the time boxes held, goes into the row that
        // the search below leaves.
        records.CancelUpdate();
        records.FindFirst(QStringLiteral("giorno =   '") + Text3->text() + QStringLiteral("'"));
        if (records.NoMatch()) {
            blankSheet();
            return;
        }
        CreateAfileAGEND();
        switch (ReadDayFile()) {
        case dayfile::ReadResult::Status::Read:
            setDayLoaded(true);
            return;
        case dayfile::ReadResult::Status::Missing:
            setDayLoaded(true);
            CreateEmptyDayFile();
            return;
        case dayfile::ReadResult::Status::Failed:
            break;
        }
    } catch (const std::exception&) {
        // No current weekday row, or the store failed: the load stops here, silently.
    }
    blankSheet();
}

void FormAgend::ClearSlots() {
    for (QLineEdit* box : text_)
        box->setText(QString());
}

void FormAgend::blankSheet() {
    ClearSlots();
    discardTimeChanges();
    setDayLoaded(false);
}

void FormAgend::setDayLoaded(bool loaded) {
    dayLoaded_ = loaded;
    for (QLineEdit* box : text_)
        box->setReadOnly(!loaded);
    CandyHCommand7->setEnabled(loaded);
}

void FormAgend::discardTimeChanges() {
    for (const auto& control : Data1.boundControls())
        control->setDataChanged(false);
}

void FormAgend::Data1_Validate() {
    // The row is being left (another weekday, or the screen unloading). What the time boxes
    // hold belongs to the day file; the weekday's own times change only on
    // "Impostazione orario".
    discardTimeChanges();
}

void FormAgend::Text_LostFocus(int) {
    SaveDayFile();
}

bool FormAgend::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        for (int i = 0; i < kTextCount; ++i) {
            if (text_[size_t(i)] == watched) {
                guard([this, i] { Text_LostFocus(i); });
                break;
            }
        }
    }
    return Screen::eventFilter(watched, event);
}

// ---- day files ----

QString FormAgend::dayFilePath() const {
    return dayfile::filePath(platform().folder, Label1->text());
}

void FormAgend::CreateAfileAGEND() {
    dayfile::ensureFolder(platform().folder);
}

void FormAgend::SaveDayFile() {
    // Until a day has loaded the sheet does not hold the shown date's texts.
    if (!dayLoaded_ || reportingSaveFailure_)
        return;
    // The folder may have been deleted since the day was loaded.
    CreateAfileAGEND();
    QStringList texts;
    texts.reserve(kTextCount);
    for (QLineEdit* box : text_)
        texts << box->text();
    const dayfile::SaveResult saved = dayfile::save(dayFilePath(), texts);
    if (saved.ok)
        return;
    // The message box takes the focus from the box that was just entered; that is not a
    // second leaving to report.
    reportingSaveFailure_ = true;
    platform().msg.show(
        QStringLiteral("L'agenda di %1 non è stata salvata: %2").arg(Label1->text(), saved.reason),
        MsgButtons::Ok, MsgIcon::Exclamation, QString());
    reportingSaveFailure_ = false;
}

dayfile::ReadResult::Status FormAgend::ReadDayFile() {
    const dayfile::ReadResult read = dayfile::read(dayFilePath(), kTextCount);
    for (int i = 0; i < read.values.size(); ++i)
        text_[size_t(i)]->setText(read.values[i]);
    return read.status;
}

void FormAgend::CreateEmptyDayFile() {
    dayfile::createEmpty(dayFilePath());
}

// ---- "Impostazione orario" ----

void FormAgend::CandyHCommand7_Click() {
    // Without a loaded day the current row may be another weekday's (the button is disabled).
    if (!dayLoaded_)
        return;
    const QString weekday = Text3->text();
    const QString prompt =
        QStringLiteral("In questo momento l'agenda è aperta sul giorno della settimana") +
        QStringLiteral(" '") + weekday + QStringLiteral("'") +
        QStringLiteral(
            ". Vuoi che le impostazioni degli orari così come appaiono oggi vengano mantenute anche "
            "per tutti i futuri giorni della settimana di") +
        QStringLiteral(" ") + weekday + QStringLiteral("?");
    if (platform().msg.show(prompt, MsgButtons::YesNo, MsgIcon::None,
                            QStringLiteral("A T T E N Z I O N E !!!!"), MsgAnswer::Yes) != MsgAnswer::Yes)
        return;
    try {
        RecordSet& records = Data1.Recordset();
        records.Edit();
        records.Update();
    } catch (const StoreError& e) {
        // The sheet and its day file keep the times; only the weekday's defaults are unchanged.
        platform().msg.show(
            QStringLiteral("Gli orari di %1 non sono stati memorizzati: %2").arg(weekday, e.description()),
            MsgButtons::Ok, MsgIcon::Exclamation, QString());
    }
}

// ---- navigation ----

void FormAgend::ShowCalendarDate() {
    const QDate date = Calendar1.Value();
    MonthView1->setValue(date);
    Label1->setText(dates::longDate(date));
    Text3->setText(dates::weekdayName(date));
    LoadDay();
}

void FormAgend::MonthView1_DateClick(const QDate& date) {
    Calendar1.setValue(date);
    const QDate shown = Calendar1.Value();
    Label1->setText(dates::longDate(shown));
    Text3->setText(dates::weekdayName(shown));
    LoadDay();
}

void FormAgend::CandyHCommand1_Click() {
    Calendar1.Today(platform().clock);
    ShowCalendarDate();
}

void FormAgend::CandyHCommand2_Click() {
    Calendar1.PreviousDay();
    ShowCalendarDate();
}

void FormAgend::CandyHCommand3_Click() {
    Calendar1.NextDay();
    ShowCalendarDate();
}

void FormAgend::CandyHCommand4_Click() {
    Calendar1.NextWeek();
    ShowCalendarDate();
}

void FormAgend::CandyHCommand5_Click() {
    Calendar1.PreviousWeek();
    ShowCalendarDate();
}

void FormAgend::CandyHCommand6_Click() {
    screens().hide(*this);
    screens().show(screens().inizio());
}

void FormAgend::CandyHCommand8_Click() {
    // The agenda stays visible behind the start screen.
    screens().show(screens().inizio());
}

} // namespace qv
