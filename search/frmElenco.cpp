// The list screen: the grid of all patients, its count, sorting and printing, and the card
// opened from a patient's identifier.
#include "search/frmElenco.h"

#include "app/Screens.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "platform/BoundGrid.h"
#include "platform/Candy.h"
#include "platform/Icon.h"
#include "search/OpenCard.h"
#include "search/frmCerca.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTableView>
#include <algorithm>

namespace qv {

namespace {
const QColor kLightCyan(128, 255, 255); // 0x00FFFF80
const QColor kWhite(255, 255, 255);     // 0x00FFFFFF

// Column widths by index, in twips; columns past the last keep the grid's default.
constexpr int kColumnWidths[] = {700, 2100, 2100, 1700, 1700, 1700, 1700, 1700, 1700, 1700, 1700};

CandyHCommand* makeButton(QWidget* parent, const QString& name, const QString& caption, int left) {
    return commandButton(parent, name, caption, QRect(twips(left), twips(6000), twips(2100), twips(480)));
}

// Whether a cell's text reads as a number, as the program's Italian screens read numbers
// ("27", "1.234", "3,5"), or failing that in the plain form.
bool isNumeric(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    QLocale(QLocale::Italian, QLocale::Italy).toDouble(t, &ok);
    if (!ok)
        QLocale::c().toDouble(t, &ok);
    return ok;
}
} // namespace

frmElenco::frmElenco(Screens& screens) : Screen(screens, QStringLiteral("frmElenco")) {
    setWindowTitle(QStringLiteral("Elenco"));
    Data1.setRecordSource(QStringLiteral("Pazienti Query"));
    Data1.setRecordsetType(RecordSet::Type::Dynaset);
    buildControls();
    buildMenu();
}

frmElenco::~frmElenco() = default;

void frmElenco::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmElenco_client"));
    client->setFixedSize(twips(12000), twips(6720));
    setCentralWidget(client);

    MSFlexGrid1Rows = new BoundGridModel(Data1, this);
    MSFlexGrid1 = named(new QTableView(client), QStringLiteral("MSFlexGrid1"), QStringLiteral("Elenco"));
    MSFlexGrid1->setGeometry(twips(120), twips(120), twips(11760), twips(5640));
    MSFlexGrid1->setModel(MSFlexGrid1Rows);
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    MSFlexGrid1->setSortingEnabled(false);
    MSFlexGrid1->setWordWrap(false);
    MSFlexGrid1->verticalHeader()->hide();
    MSFlexGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(
        std::max(twips(285), MSFlexGrid1->fontMetrics().height() + 4));
    MSFlexGrid1->horizontalHeader()->setSectionsClickable(false);
    MSFlexGrid1->horizontalHeader()->setHighlightSections(false);
    MSFlexGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Tab leaves the grid for the screen's other controls; the arrows walk the cells.
    MSFlexGrid1->setTabKeyNavigation(false);
    setBackColor(kLightCyan);
    on(MSFlexGrid1, &QTableView::doubleClicked, [this] { MSFlexGrid1_DblClick(); });
    // Return, a double-click on the header and one below the last row or right of the last
    // column are seen here.
    MSFlexGrid1->installEventFilter(this);
    MSFlexGrid1->viewport()->installEventFilter(this);
    MSFlexGrid1->horizontalHeader()->viewport()->installEventFilter(this);

    Label1 = named(new QLabel(QStringLiteral("Totale nominativi:"), client), QStringLiteral("Label1"),
                   QStringLiteral("Totale nominativi:"));
    Label1->setGeometry(twips(120), twips(6090), twips(1800), twips(285));
    // A screen reader speaks the count itself, labelled by the caption beside it.
    Label2 = named(new QLabel(QStringLiteral("Numero"), client), QStringLiteral("Label2"), QString());
    Label2->setGeometry(twips(1980), twips(6090), twips(1400), twips(285));
    Label1->setBuddy(Label2);

    Image1 = named(new QLabel(client), QStringLiteral("Image1"), QStringLiteral("Quorvane"));
    Image1->setGeometry(twips(3600), twips(6000), twips(480), twips(480));
    Image1->setPixmap(programPixmap(Image1->width()));
    Image1->setScaledContents(true);
    Image1->installEventFilter(this);

    CandyHCommand7 = makeButton(client, QStringLiteral("CandyHCommand7"), QStringLiteral("Cerca"), 7320);
    CandyHCommand8 = makeButton(client, QStringLiteral("CandyHCommand8"), QStringLiteral("Menu"), 9600);
    on(CandyHCommand7, &QPushButton::clicked, [this] { CandyHCommand7_Click(); });
    on(CandyHCommand8, &QPushButton::clicked, [this] { CandyHCommand8_Click(); });
}

void frmElenco::buildMenu() {
    mnuOrdina = menuBar()->addMenu(QStringLiteral("&Ordina"));
    mnuOrdina->setObjectName(QStringLiteral("mnuOrdina"));
    mnucre = mnuOrdina->addAction(QStringLiteral("&Crescente"));
    mnucre->setObjectName(QStringLiteral("mnucre"));
    mnudecr = mnuOrdina->addAction(QStringLiteral("&Decrescente"));
    mnudecr->setObjectName(QStringLiteral("mnudecr"));
    mnuprint = menuBar()->addAction(QStringLiteral("&Stampa"));
    mnuprint->setObjectName(QStringLiteral("mnuprint"));
    on(mnucre, &QAction::triggered, [this] { mnucre_Click(); });
    on(mnudecr, &QAction::triggered, [this] { mnudecr_Click(); });
    on(mnuprint, &QAction::triggered, [this] { mnuprint_Click(); });
}

// ---- the grid ----

QColor frmElenco::BackColor() const {
    return MSFlexGrid1->palette().color(QPalette::Base);
}

void frmElenco::setBackColor(const QColor& colour) {
    QPalette palette = MSFlexGrid1->palette();
    palette.setColor(QPalette::Base, colour);
    MSFlexGrid1->setPalette(palette);
}

int frmElenco::Col() const {
    const QModelIndex current = MSFlexGrid1->currentIndex();
    return current.isValid() ? current.column() : 0;
}

void frmElenco::setCol(int column) {
    if (MSFlexGrid1Rows->rowCount() == 0 || column >= MSFlexGrid1Rows->columnCount())
        return;
    const QModelIndex current = MSFlexGrid1->currentIndex();
    const int row = current.isValid() ? current.row() : 0;
    MSFlexGrid1->setCurrentIndex(MSFlexGrid1Rows->index(row, column));
}

QString frmElenco::currentText() const {
    const QModelIndex current = MSFlexGrid1->currentIndex();
    return current.isValid() ? MSFlexGrid1Rows->text(current.row(), current.column()) : QString();
}

// ---- screen events ----

void frmElenco::Form_Load() {
    Data1.setDatabaseName(platform().archivePath());
    Data1.Recordset();
    MSFlexGrid1Rows->reload();
    for (int column = 0; column < int(std::size(kColumnWidths)); ++column)
        MSFlexGrid1->setColumnWidth(column, twips(kColumnWidths[column]));
    MSFlexGrid1Rows->setColumnAlignment(5, Qt::AlignLeft | Qt::AlignTop);
}

void frmElenco::Form_Activate() {
    Data1.Refresh();
    MSFlexGrid1Rows->reload();
    Label2->setText(QString::number(Data1.Recordset().RecordCount()));
    setCol(2);
    MSFlexGrid1Rows->sort(Col(), Qt::AscendingOrder);
}

// ---- handlers ----

void frmElenco::mnucre_Click() {
    MSFlexGrid1Rows->sort(Col(), Qt::AscendingOrder);
}

void frmElenco::mnudecr_Click() {
    MSFlexGrid1Rows->sort(Col(), Qt::DescendingOrder);
}

void frmElenco::mnuprint_Click() {
    printScreenImage(platform().printer, this);
}

void frmElenco::MSFlexGrid1_DblClick() {
    // Only an identifier opens a card: a number in another column (a telephone number, a
    // date written as digits) names no patient.
    const bool idColumn =
        MSFlexGrid1Rows->fieldName(Col()).compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0;
    if (!idColumn || !isNumeric(currentText())) {
        askForTheIdentifierCell();
        return;
    }
    if (!seekCardOn(screens(), currentText()))
        return;
    screens().show(screens().scheda());
    screens().hide(*this);
}

void frmElenco::askForTheIdentifierCell() {
    platform().msg.show(QStringLiteral(" Doppio click nella cella ID per selezionare!"), MsgButtons::Ok,
                        MsgIcon::None, QString());
}

void frmElenco::CandyHCommand7_Click() {
    screens().show(screens().cerca());
    screens().hide(*this);
}

void frmElenco::CandyHCommand8_Click() {
    screens().show(screens().inizio());
    screens().hide(*this);
}

void frmElenco::Image1_Click() {
    setBackColor(kWhite);
}

void frmElenco::Image1_DblClick() {
    setBackColor(kLightCyan);
}

bool frmElenco::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MSFlexGrid1 && event->type() == QEvent::KeyPress) {
        // Return on a cell does what a double-click on it does.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guard([this] { MSFlexGrid1_DblClick(); });
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // A double-click on a cell arrives as the view's doubleClicked; one on the header or
        // where there is no cell names no identifier either.
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const bool header = watched == MSFlexGrid1->horizontalHeader()->viewport();
        if (header || (watched == MSFlexGrid1->viewport() && !MSFlexGrid1->indexAt(at).isValid())) {
            guard([this] { askForTheIdentifierCell(); });
            return true;
        }
    }
    const bool mouseEvent =
        event->type() == QEvent::MouseButtonDblClick || event->type() == QEvent::MouseButtonRelease;
    if (watched == Image1 && mouseEvent) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton) {
            // The release that ends a double-click is not a click of its own.
            afterDoubleClick_ = true;
            guard([this] { Image1_DblClick(); });
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
            if (afterDoubleClick_) {
                afterDoubleClick_ = false;
            } else if (Image1->rect().contains(mouse->position().toPoint())) {
                guard([this] { Image1_Click(); });
            }
            return true;
        }
    }
    return Screen::eventFilter(watched, event);
}

} // namespace qv
