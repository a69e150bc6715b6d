#include "app/frmInizio.h"

#include "agenda/FormAgend.h"
#include "app/Reminder.h"
#include "app/Screens.h"
#include "card/frmScheda.h"
#include "platform/Candy.h"
#include "platform/Icon.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"

#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QLabel>

namespace qv {

namespace {
const QString kMakerAddress = QStringLiteral("Quorvane - studio dentistico");
const QString kMakerTagline = QStringLiteral("Pazienti, note e agenda");

CandyHCommand* makeButton(QWidget* parent, const QString& name, const QString& caption, int top) {
    return commandButton(parent, name, caption, QRect(twips(4080), twips(top), twips(2625), twips(480)));
}

QLabel* hiddenLabel(QWidget* parent, const QString& name, const QString& caption) {
    auto* label = named(new QLabel(caption, parent), name, caption);
    label->hide();
    return label;
}
} // namespace

frmInizio::frmInizio(Screens& screens) : Screen(screens, QStringLiteral("frmInizio")) {
    setWindowTitle(QStringLiteral("Quorvane"));
    setWindowIcon(programIcon());

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmInizio_client"));
    client->setFixedSize(twips(8310), twips(5430));
    setCentralWidget(client);

    const QColor makerColour(0, 0, 192);
    Label1 = named(new QLabel(kMakerAddress, client), QStringLiteral("Label1"), kMakerAddress);
    Label3 = named(new QLabel(kMakerTagline, client), QStringLiteral("Label3"), kMakerTagline);
    for (auto [label, top] : {std::pair{Label1, 120}, std::pair{Label3, 480}}) {
        label->setGeometry(twips(1680), twips(top), twips(3855), twips(375));
        label->setAlignment(Qt::AlignCenter);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, makerColour);
        label->setPalette(palette);
    }

    Frame2 = named(new QFrame(client), QStringLiteral("Frame2"), QString());
    Frame2->setFrameShape(QFrame::Box);
    Frame2->setGeometry(twips(360), twips(960), twips(7335), twips(3495));

    Image1 = named(new QLabel(Frame2), QStringLiteral("Image1"), QStringLiteral("Quorvane"));
    Image1->setGeometry(twips(240), twips(240), twips(3135), twips(3135));
    Image1->setPixmap(programPixmap(Image1->width()));
    Image1->setScaledContents(true);

    lblCerca = hiddenLabel(Frame2, QStringLiteral("lblCerca"), QStringLiteral("Cerca "));
    lblNuovo = hiddenLabel(Frame2, QStringLiteral("lblNuovo"), QStringLiteral("Aggiungi "));
    lblElenco = hiddenLabel(Frame2, QStringLiteral("lblElenco"), QStringLiteral("Elenco "));
    Label2 = hiddenLabel(Frame2, QStringLiteral("Label2"), QStringLiteral("Chiudi"));

    CandyHCommand6 = makeButton(Frame2, QStringLiteral("CandyHCommand6"), QStringLiteral("Cerca"), 240);
    CandyHCommand5 = makeButton(Frame2, QStringLiteral("CandyHCommand5"), QStringLiteral("Aggiungi"), 900);
    CandyHCommand4 = makeButton(Frame2, QStringLiteral("CandyHCommand4"), QStringLiteral("Elenco"), 1560);
    CandyHCommand8 = makeButton(Frame2, QStringLiteral("CandyHCommand8"), QStringLiteral("Agenda"), 2220);
    CandyHCommand3 = makeButton(Frame2, QStringLiteral("CandyHCommand3"), QStringLiteral("Chiudi"), 2880);

    // Tab order: Aggiungi, Cerca, Elenco, Chiudi, Agenda.
    setTabOrder(CandyHCommand5, CandyHCommand6);
    setTabOrder(CandyHCommand6, CandyHCommand4);
    setTabOrder(CandyHCommand4, CandyHCommand3);
    setTabOrder(CandyHCommand3, CandyHCommand8);

    on(CandyHCommand6, &QPushButton::clicked, [this] { lblCerca_Click(); });
    on(CandyHCommand5, &QPushButton::clicked, [this] { lblNuovo_Click(); });
    on(CandyHCommand4, &QPushButton::clicked, [this] { lblElenco_Click(); });
    on(CandyHCommand8, &QPushButton::clicked, [this] { CandyHCommand8_Click(); });
    on(CandyHCommand3, &QPushButton::clicked, [this] { CandyHCommand3_Click(); });

    setFixedSize(sizeHint());
}

void frmInizio::showEvent(QShowEvent* event) {
    Screen::showEvent(event);
    CandyHCommand5->setFocus(Qt::OtherFocusReason);
}

void frmInizio::lblCerca_Click() {
    screens().show(screens().cerca());
    screens().hide(*this);
}

void frmInizio::lblNuovo_Click() {
    frmScheda& card = screens().scheda();
    card.Toolbar1Button(3)->setEnabled(false);
    card.Data1.Recordset().AddNew();
    screens().show(card);
    screens().hide(*this);
}

void frmInizio::lblElenco_Click() {
    screens().show(screens().elenco());
    screens().hide(*this);
}

void frmInizio::CandyHCommand8_Click() {
    screens().hide(*this);
    screens().show(screens().agend());
}

void frmInizio::CandyHCommand3_Click() {
    screens().hide(*this);
    screens().endProgram();
}

void frmInizio::Form_Load() {
    RunRecallReminder(screens());
}

void frmInizio::Form_Activate() {
    screens().scheda().Data1.Refresh();
}

void frmInizio::Form_Unload() {
    screens().endProgram();
}

} // namespace qv
