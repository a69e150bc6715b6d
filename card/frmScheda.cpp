// The card's handlers: its data control's events, its commands, and how it writes, adds and
// deletes patients.
#include "card/frmScheda.h"

#include "app/Screens.h"
#include "app/frmInizio.h"
#include "clinical/frmCartellaClinica.h"
#include "platform/Dates.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "store/StoreError.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <cmath>

namespace qv {

namespace {
const QString kPositionPrefix = QStringLiteral("Record: ");
const QString kCopyright = QStringLiteral("Quorvane - programma per lo studio dentistico. \u00A9 Brellith");
} // namespace

frmScheda::frmScheda(Screens& screens) : Screen(screens, QStringLiteral("frmScheda")) {
    Data1.setRecordSource(QStringLiteral("Pazienti"));
    Data1.setRecordsetType(RecordSet::Type::Table);
    buildControls();
    Data1.onReposition = [this] { Data1_Reposition(); };
    Data1.onValidate = [this] { Data1_Validate(); };
    Data1.onError = [this](int number, const QString& description) { Data1_Error(number, description); };
    updateClock();
}

frmScheda::~frmScheda() {
    // The events reach into the widgets, which go before the data control does.
    Data1.onReposition = nullptr;
    Data1.onValidate = nullptr;
    Data1.onError = nullptr;
}

// ---- screen events ----

void frmScheda::Form_Load() {
    Data1.setDatabaseName(platform().archivePath());
}

void frmScheda::Form_Activate() {
    txtFields(1)->setFocus(Qt::OtherFocusReason);
}

void frmScheda::Form_Unload() {
    // Unloading the card ends the program.
    if (!screens().ending())
        screens().endProgram();
}

// ---- data control events ----

void frmScheda::Data1_Reposition() {
    unsetCursor();
    updatePositionText();
}

void frmScheda::Data1_Validate() {
    // Nothing to check: the changed boxes are written as they are.
    unsetCursor();
}

void frmScheda::Data1_Error(int, const QString& description) {
    platform().msg.show(QStringLiteral("Intercettato errore dei dati:") + description, MsgButtons::Ok,
                        MsgIcon::None, QString());
}

void frmScheda::updatePositionText() {
    // The k-th of R records has PercentPosition * R / 100 = k - 1; the added tenth keeps a
    // value just below k - 1 from dropping a whole record.
    try {
        RecordSet& records = Data1.Recordset();
        const double percent = records.PercentPosition();
        const double count = records.RecordCount();
        const double x = (percent * 0.1 * count + 1.0) / 10.0;
        const long long n = static_cast<long long>(std::floor(x)) + 1;
        Data1.setCaption(kPositionPrefix + QString::number(n));
    } catch (const StoreError&) {
        // No position to give (a new row): the caption keeps its text.
    }
    lblData1->setText(Data1.Caption());
}

// ---- save-failure handling ----

bool frmScheda::withSaveFailureHandling(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const StoreError& e) {
        if (e.number() != err::ActionCancelled)
            throw;
    }
    platform().msg.show(QStringLiteral("Brellith ha intercettato un errore!"), MsgButtons::Ok,
                        MsgIcon::Critical, QString());
    // Unloading the card ends the program. The store has already said that it refused these
    // edits: on the way out they are offered once more, but a second refusal is not shown again.
    screens().endProgramAfterFailure();
    return false;
}

// ---- commands ----

void frmScheda::lblCerca_Click() {
    withSaveFailureHandling([this] {
        screens().show(screens().cerca());
        screens().hide(*this);
    });
}

void frmScheda::lblLista_Click() {
    withSaveFailureHandling([this] { openList(); });
}

void frmScheda::lblNuovo_Click() {
    withSaveFailureHandling([this] { newPatient(); });
}

void frmScheda::Label7_Click() {
    mnuCC_Click();
}

void frmScheda::lblMnu_Click() {
    screens().show(screens().inizio());
    screens().hide(*this);
}

void frmScheda::mnuCC_Click() {
    withSaveFailureHandling([this] { openClinicalRecord(); });
}

void frmScheda::mnuFileExit_Click() {
    screens().endProgram();
}

void frmScheda::mnuautor_Click() {
    platform().msg.show(kCopyright, MsgButtons::Ok, MsgIcon::None, QString());
}

void frmScheda::mnuind_Click() {
    // The entry has no action.
}

void frmScheda::Toolbar1_ButtonClick(const QString& key) {
    // The key is compared, exactly, in this order. A failure inside an action ends the
    // dispatch unnoticed, except in "Stampa" (printing keeps its own failures quiet) and in
    // "Nuovo" (save-failure handling; any other failure passes on).
    const auto quietly = [](const std::function<void()>& action) {
        try {
            action();
        } catch (const std::exception&) {
        }
    };
    if (key == QLatin1String("Menu")) {
        quietly([this] { lblMnu_Click(); });
    } else if (key == QLatin1String("Stampa")) {
        printCard();
    } else if (key == QLatin1String("Cancella")) {
        quietly([this] { deletePatient(); });
    } else if (key == QLatin1String("Camera")) {
        quietly([this] { mnuCC_Click(); });
    } else if (key == QLatin1String("Cerca")) {
        quietly([this] { lblCerca_Click(); });
    } else if (key == QLatin1String("Elenco")) {
        quietly([this] { lblLista_Click(); });
    } else if (key == QLatin1String("Nuovo")) {
        lblNuovo_Click();
    } else if (key == QLatin1String("Schermo")) {
        // No action.
    } else if (key == QLatin1String("CartellaCl")) {
        quietly([this] { mnuCC_Click(); });
    } else if (key == QLatin1String("Analisi")) {
        // No action.
    }
    // Any other key: no action.
}

void frmScheda::txtFields_DblClick(int) {
    // Whichever box was double-clicked, an empty Data receives today's date.
    QLineEdit* dataBox = txtFields(8);
    if (dataBox->text().isEmpty())
        dataBox->setText(dates::shortDate(platform().clock.today()));
}

void frmScheda::Text5_LostFocus() {
    const QString text = Text5->text();
    if (text.isEmpty() || dates::isDate(text))
        return;
    platform().msg.show(QStringLiteral("Data errata!  "), MsgButtons::Ok, MsgIcon::None, QString());
    Text5->setText(QString());
}

// ---- the work behind the commands ----

void frmScheda::openList() {
    DataControl& list = screens().elenco().Data1;
    list.Refresh();
    // Moving on writes the card's pending edits; the list then shows them.
    Data1.Recordset().MoveNext();
    list.Refresh();
    screens().show(screens().elenco());
    screens().hide(*this);
}

void frmScheda::newPatient() {
    Toolbar1Button(3)->setEnabled(false);
    RecordSet& records = Data1.Recordset();
    records.MoveFirst();
    records.AddNew();
    txtFields(1)->setFocus(Qt::OtherFocusReason);
}

void frmScheda::openClinicalRecord() {
    if (txtFields(1)->text().isEmpty() && txtFields(14)->text().isEmpty()) {
        platform().msg.show(
            QStringLiteral("Raccolta dei dati indispensabili non completa! Devi riempire almeno il "
                           "campo Cognome o il campo Società."),
            MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Richiesta dati"));
        txtFields(1)->setFocus(Qt::OtherFocusReason);
        return;
    }
    // No row shown (an empty ID box) or an ID that is not a number: there is no patient to open.
    bool isNumber = false;
    const QString idText = txtFields(0)->text();
    const qlonglong key = idText.trimmed().toLongLong(&isNumber);
    if (!isNumber)
        return;

    // Moving on writes the shown patient's edits (or the new row); the seek comes back to it.
    RecordSet& records = Data1.Recordset();
    records.MoveNext();
    records.setIndex(QStringLiteral("PrimaryKey"));
    records.Seek(QStringLiteral("="), key);
    if (records.NoMatch())
        return patientGone();

    // A failure of the notes' own data control (a pending note the store refuses as the seek
    // leaves it, a database it cannot open) is the notes' data error, not the card's: it is
    // shown, and the card stays as it is with nothing lost.
    frmCartellaClinica* opened = nullptr;
    try {
        frmCartellaClinica& notes = screens().cartellaClinica();
        RecordSet& noteRecords = notes.Data1.Recordset();
        noteRecords.setIndex(QStringLiteral("PrimaryKey"));
        noteRecords.Seek(QStringLiteral("="), idText);
        if (noteRecords.NoMatch())
            return patientGone();
        opened = &notes;
    } catch (const StoreError& e) {
        // A refused write has been shown by the notes' data-error event as it happened.
        if (e.number() != err::ActionCancelled)
            Data1_Error(e.number(), e.description());
        return;
    }

    screens().show(*opened);
    screens().hide(*this);
}

void frmScheda::patientGone() {
    // Nothing is opened: the notes screen would show, and take notes for, whatever patient it
    // held before.
    platform().msg.show(QStringLiteral("La scheda di questo paziente non esiste più nell'archivio: è stata "
                                       "cancellata nel frattempo, forse da un'altra copia del programma o da "
                                       "un altro programma. Le note non vengono aperte."),
                        MsgButtons::Ok, MsgIcon::Exclamation, QString());
}

void frmScheda::deletePatient() {
    const MsgAnswer answer =
        platform().msg.show(QStringLiteral("Cancellare tutti i dati in questa scheda?"), MsgButtons::YesNo,
                            MsgIcon::None, QStringLiteral("Attenzione!"));
    if (answer != MsgAnswer::Yes)
        return;
    if (Data1.Caption() == QLatin1String("Record: 1")) {
        platform().msg.show(
            QStringLiteral("L'eliminazione di questo record del database potrebbe generare un "
                           "errore: cancellare manualmente i campi eventualmente riempiti."),
            MsgButtons::Ok, MsgIcon::None, QString());
        return;
    }
    RecordSet& records = Data1.Recordset();
    records.Delete();
    records.MoveFirst();
    if (records.Eof())
        records.MovePrevious();
    if (records.Bof())
        platform().msg.show(QStringLiteral(" La tabella è vuota."), MsgButtons::Ok, MsgIcon::Information,
                            QStringLiteral("Tabella vuota"));
}

void frmScheda::printCard() {
    printScreenImage(platform().printer, this);
}

// ---- events of the boxes and labels ----

bool frmScheda::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        // A disabled box (the ID) takes no clicks of its own.
        for (const auto& [index, box] : txtFields_) {
            if (box == watched && box->isEnabled()) {
                const int which = index;
                guard([this, which] { txtFields_DblClick(which); });
                break;
            }
        }
        break;
    case QEvent::FocusOut:
        if (watched == Text5) {
            // Leaving the box for another control of the card; switching windows, opening a
            // menu or going to the menu bar with the keyboard is not leaving it.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                reason != Qt::MenuBarFocusReason)
                guard([this] { Text5_LostFocus(); });
        }
        break;
    default:
        break;
    }
    return Screen::eventFilter(watched, event);
}

} // namespace qv
