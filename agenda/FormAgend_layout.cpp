// The agenda's controls: title, column heads, the 124 slot boxes, the month view and the buttons.
#include "agenda/FormAgend.h"

#include "platform/BoundWidgets.h"
#include "platform/Candy.h"
#include "platform/Icon.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

namespace qv {

namespace {

constexpr int kClientWidth = 14745;
constexpr int kClientHeight = 11010;
constexpr int kBoxHeight = 375;

// The indexes in Text of one row of the sheet: time, name and note boxes of the left slot
// (row r is slot r), then of the right slot (slot r + 20).
struct GridRow {
    int leftTime, leftName, leftNote, rightTime, rightName, rightNote;
};
constexpr GridRow kGrid[20] = {
    {0, 23, 72, 103, 48, 108},  {1, 22, 73, 102, 49, 109},   {2, 21, 74, 101, 50, 110},
    {3, 20, 75, 100, 51, 111},  {4, 19, 76, 99, 52, 84},     {5, 18, 77, 98, 53, 85},
    {6, 17, 78, 97, 54, 86},    {7, 16, 79, 96, 55, 87},     {15, 31, 64, 88, 32, 56},
    {14, 30, 65, 89, 33, 44},   {13, 29, 66, 90, 34, 45},    {12, 28, 67, 91, 35, 46},
    {11, 27, 68, 92, 36, 47},   {10, 26, 69, 93, 37, 115},   {9, 25, 70, 94, 38, 114},
    {8, 24, 71, 95, 39, 113},   {63, 40, 80, 119, 104, 112}, {62, 41, 81, 118, 105, 59},
    {61, 42, 82, 117, 106, 58}, {60, 43, 83, 116, 107, 57},
};
// The free lines from top to bottom.
constexpr int kFreeLines[4] = {120, 121, 123, 122};
constexpr int kFreeLineTops[4] = {8640, 9000, 9360, 9720};

// Columns of the grid: left, width.
constexpr int kColumnLeft[2][3] = {{600, 1320, 3600}, {5880, 6600, 8880}};
constexpr int kColumnWidth[3] = {735, 2295, 2295};

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

QFont makeFont(const QString& family, double points, bool bold) {
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace

int FormAgend::TextIndex(int slot, Column column) {
    if (slot < 1 || slot > 40)
        return -1;
    const GridRow& row = kGrid[(slot - 1) % 20];
    const bool left = slot <= 20;
    switch (column) {
    case Column::Time:
        return left ? row.leftTime : row.rightTime;
    case Column::Name:
        return left ? row.leftName : row.rightName;
    case Column::Note:
        return left ? row.leftNote : row.rightNote;
    }
    return -1;
}

int FormAgend::FreeLineIndex(int line) {
    return line >= 1 && line <= 4 ? kFreeLines[line - 1] : -1;
}

QLineEdit* FormAgend::Text(int index) const {
    return index >= 0 && index < kTextCount ? text_[size_t(index)] : nullptr;
}

void FormAgend::buildControls() {
    setWindowTitle(QStringLiteral("Agenda"));
    setWindowIcon(programIcon());

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("FormAgend_client"));
    client->setFixedSize(twips(kClientWidth), twips(kClientHeight));
    setCentralWidget(client);

    // The panels first, so that everything else lies over them.
    CandyScreen2 = named(new CandyScreen(client), QStringLiteral("CandyScreen2"), QString());
    CandyScreen2->setGeometry(twipsRect(120, 0, 11535, 975));
    CandyScreen1 = named(new CandyScreen(client), QStringLiteral("CandyScreen1"), QString());
    CandyScreen1->setGeometry(twipsRect(120, 960, 11535, 9615));

    // A screen reader reads the title's own text, the date shown.
    Label1 = named(new QLabel(QStringLiteral("Data"), client), QStringLiteral("Label1"), QString());
    Label1->setGeometry(twipsRect(360, 240, 10815, 735));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(makeFont(QStringLiteral("Times New Roman"), 26.25, true));
    QPalette titleColours = Label1->palette();
    titleColours.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(titleColours);
    Label1->setAutoFillBackground(false);

    const auto head = [client](const QString& name, const QString& caption, int left, int width) {
        auto* label = named(new QLabel(caption, client), name, caption);
        label->setGeometry(twipsRect(left, 960, width, 375));
        label->setAlignment(Qt::AlignCenter);
        label->setFont(makeFont(QStringLiteral("MS Sans Serif"), 12, true));
        QPalette colours = label->palette();
        colours.setColor(QPalette::WindowText, QColor(64, 64, 64));
        label->setPalette(colours);
        label->setAutoFillBackground(false);
        return label;
    };
    Label2 = head(QStringLiteral("Label2"), QStringLiteral("NomePaziente:"), 1320, 2295);
    Label4 = head(QStringLiteral("Label4"), QStringLiteral("Note:"), 3600, 2055);
    Label3 = head(QStringLiteral("Label3"), QStringLiteral("NomePaziente:"), 6720, 2175);
    Label5 = head(QStringLiteral("Label5"), QStringLiteral("Note:"), 8880, 1935);

    const auto slotBox = [this, client](int index, const QString& accessibleName, const QRect& where,
                                        bool bold) {
        auto* box = named(new QLineEdit(client), QStringLiteral("Text_%1").arg(index), accessibleName);
        box->setGeometry(where);
        box->setFont(makeFont(QStringLiteral("MS Sans Serif"), 9.75, bold));
        QPalette colours = box->palette();
        colours.setColor(QPalette::Base, QColor(192, 192, 255));
        colours.setColor(QPalette::Text, Qt::black);
        box->setPalette(colours);
        // One line of the day file: pasted line breaks arrive as blanks, as in every box.
        new TextBoxInput(box);
        box->installEventFilter(this);
        text_[size_t(index)] = box;
    };
    // Created (and so reached with the Tab key) slot by slot: the left half from top to
    // bottom, then the right half, then the free lines.
    for (int half = 0; half < 2; ++half) {
        for (int r = 1; r <= 20; ++r) {
            const int slot = r + 20 * half;
            const int top = 1440 + 360 * (r - 1);
            const Column columns[3] = {Column::Time, Column::Name, Column::Note};
            const char* what[3] = {"orario", "paziente", "note"};
            for (int c = 0; c < 3; ++c) {
                slotBox(TextIndex(slot, columns[c]),
                        QStringLiteral("Appuntamento %1: %2").arg(slot).arg(QLatin1String(what[c])),
                        twipsRect(kColumnLeft[half][c], top, kColumnWidth[c], kBoxHeight), c == 0);
            }
        }
    }
    for (int line = 1; line <= 4; ++line)
        slotBox(FreeLineIndex(line), QStringLiteral("Note del giorno, riga %1").arg(line),
                twipsRect(600, kFreeLineTops[line - 1], 10575, kBoxHeight), false);

    // The 40 time boxes show the slot fields of the weekday row.
    for (int slot = 1; slot <= 40; ++slot)
        Data1.bind(
            std::make_unique<BoundLineEdit>(Text(TextIndex(slot, Column::Time)), QString::number(slot)));

    Text3 = named(new QLineEdit(client), QStringLiteral("Text3"), QStringLiteral("Giorno della settimana"));
    Text3->hide();
    Text1 = named(new QLineEdit(client), QStringLiteral("Text1"), QStringLiteral("data"));
    Text1->hide();
    Data1.bind(std::make_unique<BoundLineEdit>(Text1, QStringLiteral("data")));

    MonthView1 =
        named(new MonthView(client), QStringLiteral("MonthView1"), QStringLiteral("Calendario del mese"));
    MonthView1->setGeometry(twipsRect(12180, 240, 2490, 2370));

    const auto button = [client](const QString& name, const QString& caption, int top) {
        return commandButton(client, name, caption, twipsRect(12120, top, 2625, 480));
    };
    CandyHCommand1 = button(QStringLiteral("CandyHCommand1"), QStringLiteral("Oggi"), 3000);
    CandyHCommand3 = button(QStringLiteral("CandyHCommand3"), QStringLiteral("Il giorno successivo"), 3624);
    CandyHCommand2 = button(QStringLiteral("CandyHCommand2"), QStringLiteral("Il giorno precedente"), 4248);
    CandyHCommand4 = button(QStringLiteral("CandyHCommand4"), QStringLiteral("Una settimana avanti"), 4872);
    CandyHCommand5 = button(QStringLiteral("CandyHCommand5"), QStringLiteral("Una settimana indietro"), 5496);
    CandyHCommand7 = button(QStringLiteral("CandyHCommand7"), QStringLiteral("Impostazione orario"), 6120);
    CandyHCommand8 = button(QStringLiteral("CandyHCommand8"), QStringLiteral("Menu"), 6960);
    CandyHCommand6 = button(QStringLiteral("CandyHCommand6"), QStringLiteral("Chiudi l'agenda"), 7800);

    setFixedSize(sizeHint());
}

} // namespace qv
