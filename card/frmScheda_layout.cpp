// The card's controls: bound boxes, labels, toolbar, menu bar and status bar.
#include "card/frmScheda.h"

#include "platform/BoundWidgets.h"
#include "platform/Candy.h"
#include "platform/ClickableLabel.h"
#include "platform/Dates.h"
#include "platform/Icon.h"

#include <QAction>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace qv {

namespace {

constexpr int kBoxHeight = 285;
const QString kTodayTip = QStringLiteral("Doppio click per inserire la data odierna");

// One bound box of the card and the label beside it.
struct BoxLayout {
    int index;
    const char* field;
    const char* caption;
    int left;
    int top;
    int width;
    int maxLength; // 0: no limit of the card's own
    bool todayTip;
};

// In tab order: Cognome, Nome, Attività, Società, Indirizzo, Telefono Casa, Telefono Ufficio,
// Data, Cellulare, Fax, E mail, then ID.
const BoxLayout kBoxes[] = {
    {1, "Cognome", "Cognome:", 2160, 1535, 3135, 50, false},
    {2, "Nome", "Nome:", 2160, 1870, 3135, 50, false},
    {9, "Attività", "Attività / Riferimento:", 2160, 2205, 3135, 50, false},
    {14, "Società", "Società / Ditta:", 2160, 2540, 3135, 50, false},
    {4, "Indirizzo", "Indirizzo:", 2160, 2875, 5895, 100, false},
    {5, "Telefono Casa", "Telefono Casa:", 2160, 3210, 1695, 20, false},
    {6, "Telefono Ufficio", "Telefono Ufficio:", 2160, 3545, 1695, 0, false},
    {8, "Data", "Data:", 2160, 3855, 1695, 0, true},
    {7, "Cellulare", "Cellulare:", 6360, 3201, 1695, 0, false},
    {10, "Fax", "Fax:", 6360, 3527, 1695, 0, false},
    {11, "E mail", "E mail:", 6360, 3855, 1695, 0, true},
    {0, "ID", "ID:", 2160, 1200, 615, 0, false},
};

constexpr int kLeftLabelColumn = 240;
constexpr int kRightLabelColumn = 4440;
constexpr int kLabelWidth = 1815;
constexpr int kRecallLabelIndex = 12;

// The toolbar's buttons by position: key, tooltip, theme icon.
struct ToolbarButton {
    const char* key;
    const char* tooltip;
    const char* icon;
};
const ToolbarButton kToolbar[] = {
    {"Schermo", "Elabora immagine da schermo", "video-display"},
    {"Camera", "Seleziona immagine", "camera-photo"},
    {"Cancella", "Cancella", "edit-delete"},
    {"Stampa", "Stampa", "document-print"},
    {"Cerca", "Cerca", "edit-find"},
    {"Elenco", "Elenco", "x-office-spreadsheet"},
    {"CartellaCl", "Note", "accessories-text-editor"},
    {"Nuovo", "Aggiungi nuovo nominativo", "document-new"},
    {"Menu", "Menu", "go-home"},
    {"Analisi", "Analisi", "applications-science"},
};

// A picture drawn by the card itself when the desktop's icon theme has none: a rounded tile
// with the first letter of the button's key.
QIcon drawnIcon(const QString& key, const QColor& colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(colour.darker(150));
    painter.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(18);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, key.left(1));
    painter.end();
    return QIcon(pixmap);
}

QIcon toolbarIcon(const ToolbarButton& button, int position) {
    // Without a desktop session Qt names no icon theme; the desktop's Adwaita theme is the
    // one to look in then.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    // The same choice as QIcon::fromTheme with a fallback, drawing the fallback only when it
    // is the one used.
    const QIcon themed = QIcon::fromTheme(QString::fromLatin1(button.icon));
    if (!themed.isNull() && !themed.availableSizes().isEmpty())
        return themed;
    const QColor colour = QColor::fromHsv((position * 36) % 360, 150, 170);
    return drawnIcon(QString::fromLatin1(button.key), colour);
}

} // namespace

void frmScheda::buildControls() {
    setWindowTitle(QStringLiteral("Scheda"));
    setWindowIcon(programIcon());

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmScheda_client"));
    client->setFixedSize(twips(8295), twips(4500));
    // The card's texts in the narrow sans serif its layout was drawn for (Arial's metrics
    // where the classic face is missing).
    QFont cardFont = client->font();
    cardFont.setFamilies(
        {QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    cardFont.setPointSizeF(8.25);
    client->setFont(cardFont);
    setCentralWidget(client);

    QWidget* previous = nullptr;
    for (const BoxLayout& layout : kBoxes) {
        const QString caption = QString::fromUtf8(layout.caption);
        auto* box = named(new QLineEdit(client), QStringLiteral("txtFields_%1").arg(layout.index), caption);
        box->setGeometry(twips(layout.left), twips(layout.top), twips(layout.width), twips(kBoxHeight));
        if (layout.todayTip)
            box->setToolTip(kTodayTip);
        if (layout.index == 0)
            box->setEnabled(false);
        box->installEventFilter(this);
        txtFields_[layout.index] = box;
        Data1.bind(std::make_unique<BoundLineEdit>(box, QString::fromUtf8(layout.field), layout.maxLength));

        const int labelLeft = layout.left == 6360 ? kRightLabelColumn : kLeftLabelColumn;
        auto* label =
            named(new QLabel(caption, client), QStringLiteral("lblLabels_%1").arg(layout.index), caption);
        label->setGeometry(twips(labelLeft), twips(layout.top), twips(kLabelWidth), twips(kBoxHeight));
        label->setBuddy(box);
        lblLabels_[layout.index] = label;

        if (previous)
            setTabOrder(previous, box);
        previous = box;
    }

    const QString recallCaption = QStringLiteral("Riaprire alla data:");
    Text5 = named(new QLineEdit(client), QStringLiteral("Text5"), recallCaption);
    Text5->setGeometry(twips(6720), twips(1535), twips(1335), twips(kBoxHeight));
    Text5->installEventFilter(this);
    Data1.bind(std::make_unique<BoundLineEdit>(Text5, QStringLiteral("Data richiamo"), 20));
    setTabOrder(previous, Text5);

    auto* recallLabel = named(new QLabel(recallCaption, client),
                              QStringLiteral("lblLabels_%1").arg(kRecallLabelIndex), recallCaption);
    recallLabel->setGeometry(twips(6720), twips(1200), twips(1455), twips(kBoxHeight));
    recallLabel->setBuddy(Text5);
    lblLabels_[kRecallLabelIndex] = recallLabel;

    // The data control is hidden, and its caption (the position text) with it.
    lblData1 = named(new QLabel(client), QStringLiteral("Data1"), QStringLiteral("Posizione"));
    lblData1->setGeometry(twips(2880), twips(1200), twips(1800), twips(kBoxHeight));
    lblData1->hide();

    Label6 =
        named(new QLabel(QStringLiteral("Menu"), client), QStringLiteral("Label6"), QStringLiteral("Menu"));
    Label6->setGeometry(twips(kLeftLabelColumn), twips(600), twips(kLabelWidth), twips(kBoxHeight));
    QFont bold = Label6->font();
    bold.setBold(true);
    Label6->setFont(bold);

    // The commands' row, reached with Tab after the recall date.
    lblCerca =
        clickableLabel(QStringLiteral("lblCerca"), QStringLiteral("Cerca"), 2160, &frmScheda::lblCerca_Click);
    lblLista = clickableLabel(QStringLiteral("lblLista"), QStringLiteral("Elenco"), 3180,
                              &frmScheda::lblLista_Click);
    lblNuovo =
        clickableLabel(QStringLiteral("lblNuovo"), QStringLiteral("Nuovo"), 4200, &frmScheda::lblNuovo_Click);
    Label7 = clickableLabel(QStringLiteral("Label7"), QStringLiteral("Note"), 5220, &frmScheda::Label7_Click);
    lblMnu = clickableLabel(QStringLiteral("lblMnu"), QStringLiteral("Menu"), 6240, &frmScheda::lblMnu_Click);
    setTabOrder(Text5, lblCerca);
    setTabOrder(lblCerca, lblLista);
    setTabOrder(lblLista, lblNuovo);
    setTabOrder(lblNuovo, Label7);
    setTabOrder(Label7, lblMnu);

    buildToolbar();
    buildMenu();
    buildStatusBar();
}

QLabel* frmScheda::clickableLabel(const QString& name, const QString& caption, int left,
                                  void (frmScheda::*handler)()) {
    auto* label = named(new ClickableLabel(caption, centralWidget()), name, caption);
    label->setGeometry(twips(left), twips(600), twips(900), twips(kBoxHeight));
    on(label, &ClickableLabel::clicked, [this, handler] { (this->*handler)(); });
    return label;
}

void frmScheda::buildToolbar() {
    Toolbar1 = named(new QToolBar(this), QStringLiteral("Toolbar1"), QStringLiteral("Barra degli strumenti"));
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->setIconSize(QSize(24, 24));
    addToolBar(Qt::TopToolBarArea, Toolbar1);
    int position = 0;
    for (const ToolbarButton& button : kToolbar) {
        ++position;
        const QString key = QString::fromLatin1(button.key);
        const QString tooltip = QString::fromLatin1(button.tooltip);
        auto* action = new QAction(toolbarIcon(button, position), tooltip, this);
        action->setObjectName(QStringLiteral("Toolbar1_") + key);
        action->setData(key);
        action->setToolTip(tooltip);
        Toolbar1->addAction(action);
        if (QWidget* widget = Toolbar1->widgetForAction(action))
            named(widget, QStringLiteral("Toolbar1_%1_button").arg(key), tooltip);
        toolbarButtons_.push_back(action);
        on(action, &QAction::triggered, [this, key] { Toolbar1_ButtonClick(key); });
    }
}

void frmScheda::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("frmScheda_menu"));
    auto entry = [bar](const QString& name, const QString& text) {
        QAction* action = bar->addAction(text);
        action->setObjectName(name);
        return action;
    };
    mnuFileExit = entry(QStringLiteral("mnuFileExit"), QStringLiteral("&Esci"));
    mnuCC = entry(QStringLiteral("mnuCC"), QStringLiteral("&Note"));
    mnuautor = entry(QStringLiteral("mnuautor"), QStringLiteral("&Copyright"));
    mnuind = entry(QStringLiteral("mnuind"), QStringLiteral("&Indirizzi utili"));
    on(mnuFileExit, &QAction::triggered, [this] { mnuFileExit_Click(); });
    on(mnuCC, &QAction::triggered, [this] { mnuCC_Click(); });
    on(mnuautor, &QAction::triggered, [this] { mnuautor_Click(); });
    on(mnuind, &QAction::triggered, [this] { mnuind_Click(); });
}

void frmScheda::buildStatusBar() {
    sbStatusBar = statusBar();
    named(sbStatusBar, QStringLiteral("sbStatusBar"), QStringLiteral("Barra di stato"));
    sbStatusBar->setSizeGripEnabled(false);
    const QString names[] = {QStringLiteral("Stato"), QStringLiteral("Data"), QStringLiteral("Ora")};
    for (int i = 0; i < 3; ++i) {
        auto* panel = named(new QLabel(sbStatusBar), QStringLiteral("sbStatusBar_%1").arg(i + 1), names[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
        if (i == 0)
            sbStatusBar->addWidget(panel, 1);
        else
            sbStatusBar->addPermanentWidget(panel);
        panels_.push_back(panel);
    }
    panels_[0]->setText(QStringLiteral("Stato"));
    // The date and time panels keep themselves current.
    clockTimer_ = new QTimer(this);
    clockTimer_->setInterval(1000);
    connect(clockTimer_, &QTimer::timeout, this, [this] { updateClock(); });
    clockTimer_->start();
}

void frmScheda::updateClock() {
    if (panels_.size() < 3)
        return;
    const QDateTime now = platform().clock.now();
    panels_[1]->setText(dates::shortDate(now.date()));
    panels_[2]->setText(now.time().toString(QStringLiteral("hh:mm")));
}

QLineEdit* frmScheda::txtFields(int index) const {
    const auto it = txtFields_.find(index);
    return it == txtFields_.end() ? nullptr : it->second;
}

const std::vector<int>& frmScheda::txtFieldsIndexes() {
    static const std::vector<int> indexes{0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 14};
    return indexes;
}

QLabel* frmScheda::lblLabels(int index) const {
    const auto it = lblLabels_.find(index);
    return it == lblLabels_.end() ? nullptr : it->second;
}

QAction* frmScheda::Toolbar1Button(int position) const {
    if (position < 1 || position > int(toolbarButtons_.size()))
        return nullptr;
    return toolbarButtons_[position - 1];
}

QAction* frmScheda::Toolbar1ButtonByKey(const QString& key) const {
    for (QAction* action : toolbarButtons_) {
        if (action->data().toString() == key)
            return action;
    }
    return nullptr;
}

QLabel* frmScheda::sbPanel(int position) const {
    if (position < 1 || position > int(panels_.size()))
        return nullptr;
    return panels_[position - 1];
}

} // namespace qv
