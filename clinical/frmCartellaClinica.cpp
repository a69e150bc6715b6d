#include "clinical/frmCartellaClinica.h"

#include "app/Screens.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "clinical/RichTextBox.h"
#include "platform/BoundWidgets.h"
#include "platform/Candy.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "store/StoreError.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

namespace qv {

frmCartellaClinica::frmCartellaClinica(Screens& screens)
    : Screen(screens, QStringLiteral("frmCartellaClinica")) {
    Data1.setRecordSource(QStringLiteral("Pazienti"));
    Data1.setRecordsetType(RecordSet::Type::Table);
    buildControls();
    buildMenu();
    Data1.onReposition = [this] { Data1_Reposition(); };
    Data1.onValidate = [this] { Data1_Validate(); };
    Data1.onError = [this](int number, const QString& description) { Data1_Error(number, description); };
}

frmCartellaClinica::~frmCartellaClinica() {
    // The events reach into the widgets, which go before the data control does.
    Data1.onReposition = nullptr;
    Data1.onValidate = nullptr;
    Data1.onError = nullptr;
}

void frmCartellaClinica::buildControls() {
    setWindowTitle(QStringLiteral("Note"));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmCartellaClinica_client"));
    client->setFixedSize(twips(11850), twips(9105));
    setCentralWidget(client);

    // The header names the patient; a screen reader speaks the labels' own texts.
    const QColor menuColour = QApplication::palette("QMenu").color(QPalette::Window);
    auto header = [client, &menuColour](const QString& name, int left, int width) {
        auto* label = named(new QLabel(client), name, QString());
        label->setGeometry(twips(left), twips(120), twips(width), twips(495));
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, menuColour);
        label->setPalette(palette);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        return label;
    };
    Label199 = header(QStringLiteral("Label199"), 120, 1815);
    Label8_[2] = header(QStringLiteral("Label8_2"), 2160, 1815);
    Label1 = header(QStringLiteral("Label1"), 4200, 2535);
    Label8_[0] = header(QStringLiteral("Label8_0"), 6960, 2655);

    txtFields9_ = named(new QLineEdit(client), QStringLiteral("txtFields_9"), QStringLiteral("ID"));
    txtFields9_->setGeometry(twips(10080), twips(120), twips(735), twips(285));
    txtFields9_->setEnabled(false);
    QPalette idPalette = txtFields9_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        idPalette.setColor(group, QPalette::Base, QColor(192, 192, 255));
    txtFields9_->setPalette(idPalette);

    RichTextBox1 = named(new RichTextBox(client), QStringLiteral("RichTextBox1"), QStringLiteral("Note"));
    RichTextBox1->setGeometry(twips(120), twips(960), twips(10695), twips(7815));
    QFont notesFont(QStringLiteral("Arial"));
    notesFont.setPointSizeF(10);
    RichTextBox1->setFont(notesFont);
    RichTextBox1->document()->setDefaultFont(notesFont);

    Data1.bind(std::make_unique<BoundLabel>(Label199, QStringLiteral("Nome")));
    Data1.bind(std::make_unique<BoundLabel>(Label8_[2], QStringLiteral("Cognome")));
    Data1.bind(std::make_unique<BoundLabel>(Label1, QStringLiteral("Attività")));
    Data1.bind(std::make_unique<BoundLabel>(Label8_[0], QStringLiteral("Società")));
    Data1.bind(std::make_unique<BoundLineEdit>(txtFields9_, QStringLiteral("ID")));
    Data1.bind(std::make_unique<BoundRichTextBox>(RichTextBox1, QStringLiteral("Note")));

    RichTextBox1->setFocus(Qt::OtherFocusReason);
}

void frmCartellaClinica::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("frmCartellaClinica_menu"));
    nnuFile = named(bar->addMenu(QStringLiteral("&File")), QStringLiteral("nnuFile"), QStringLiteral("File"));
    auto entry = [](QAction* action, const QString& name) {
        action->setObjectName(name);
        return action;
    };
    mnuelenco = entry(nnuFile->addAction(QStringLiteral("&Elenco")), QStringLiteral("mnuelenco"));
    mnuMnu = entry(nnuFile->addAction(QStringLiteral("&Menu")), QStringLiteral("mnuMnu"));
    mnucerca = entry(nnuFile->addAction(QStringLiteral("&Cerca")), QStringLiteral("mnucerca"));
    mnusetup = entry(nnuFile->addAction(QStringLiteral("Se&tup")), QStringLiteral("mnusetup"));
    mnuEsci = entry(nnuFile->addAction(QStringLiteral("Esc&i")), QStringLiteral("mnuEsci"));
    mnuScheda = entry(bar->addAction(QStringLiteral("&Scheda")), QStringLiteral("mnuScheda"));
    mnuprint = entry(bar->addAction(QStringLiteral("&Stampa")), QStringLiteral("mnuprint"));

    on(mnuelenco, &QAction::triggered, [this] { mnuelenco_Click(); });
    on(mnuMnu, &QAction::triggered, [this] { mnuMnu_Click(); });
    on(mnucerca, &QAction::triggered, [this] { mnucerca_Click(); });
    on(mnusetup, &QAction::triggered, [this] { mnusetup_Click(); });
    on(mnuEsci, &QAction::triggered, [this] { mnuEsci_Click(); });
    on(mnuScheda, &QAction::triggered, [this] { mnuScheda_Click(); });
    on(mnuprint, &QAction::triggered, [this] { mnuprint_Click(); });
}

QLabel* frmCartellaClinica::Label8(int index) const {
    const auto it = Label8_.find(index);
    return it == Label8_.end() ? nullptr : it->second;
}

QLineEdit* frmCartellaClinica::txtFields(int index) const {
    return index == 9 ? txtFields9_ : nullptr;
}

// ---- screen events ----

void frmCartellaClinica::Form_Load() {
    Data1.setDatabaseName(platform().archivePath());
}

// ---- data control events ----

void frmCartellaClinica::Data1_Reposition() {
    unsetCursor();
}

void frmCartellaClinica::Data1_Validate() {
    // Nothing asks whether to save: the changed notes are written as they are.
    unsetCursor();
}

void frmCartellaClinica::Data1_Error(int, const QString& description) {
    platform().msg.show(QStringLiteral("Intercettato errore dei dati:") + description, MsgButtons::Ok,
                        MsgIcon::None, QString());
}

bool frmCartellaClinica::onData(const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (const StoreError& e) {
        // A refused write was shown by the data-error event as it happened.
        if (e.number() != err::ActionCancelled)
            Data1_Error(e.number(), e.description());
        return false;
    }
}

// ---- menu entries ----

void frmCartellaClinica::mnuScheda_Click() {
    bool written = true;
    const bool done = onData([this, &written] {
        RecordSet& records = Data1.Recordset();
        // The card's seek found no row: there is no record to write the notes to.
        if (!records.hasCurrent()) {
            written = false;
            return;
        }
        Data1.UpdateRecord();
        records.setBookmark(records.LastModified());
    });
    // A refused write keeps the notes here, in the editor, with the message already shown.
    if (!done && written)
        return;
    frmScheda& card = screens().scheda();
    screens().hide(*this);
    screens().show(card);
    screens().hide(*this);
}

void frmCartellaClinica::mnuelenco_Click() {
    screens().hide(*this);
    screens().show(screens().elenco());
}

void frmCartellaClinica::mnuMnu_Click() {
    screens().hide(*this);
    screens().show(screens().inizio());
}

void frmCartellaClinica::mnucerca_Click() {
    screens().hide(*this);
    screens().show(screens().cerca());
}

void frmCartellaClinica::mnusetup_Click() {
    // The entry has no action.
}

void frmCartellaClinica::mnuEsci_Click() {
    screens().endProgram();
}

void frmCartellaClinica::mnuprint_Click() {
    // The entry has no action.
}

} // namespace qv
