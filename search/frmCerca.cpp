// The search screen: its controls, the search over one field and the handing over to the card.
#include "search/frmCerca.h"

#include "app/Screens.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "platform/Candy.h"
#include "platform/ClickableLabel.h"
#include "search/OpenCard.h"
#include "search/ResultLines.h"
#include "search/frmElenco.h"
#include "store/StoreError.h"

#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QRadioButton>

namespace qv {

namespace {
const QString kFrameCaption =
    QStringLiteral("Scrivi alcune lettere  del campo relativo alla scheda che vuoi visualizzare");
const QString kNoMatchTitle = QStringLiteral(" Nessuna corrispondenza!");
constexpr int kBoxHeight = 285;
} // namespace

// One option of the search: its statement's condition, the field that must be filled for a
// row to be listed, the two fields its line shows and its prompt when nothing matches.
struct frmCerca::SearchField {
    QRadioButton* option;
    QString condition;
    QString keyField;
    QString firstField;
    QString secondField;
    QString noMatch;
};

frmCerca::frmCerca(Screens& screens) : Screen(screens, QStringLiteral("frmCerca")) {
    setWindowTitle(QStringLiteral("Cerca "));
    Data1.setRecordSource(QStringLiteral("Pazienti"));
    Data1.setRecordsetType(RecordSet::Type::Dynaset);
    buildControls();
}

frmCerca::~frmCerca() = default;

void frmCerca::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmCerca_client"));
    client->setFixedSize(twips(8400), twips(5280));
    setCentralWidget(client);

    Frame1 = named(new QGroupBox(kFrameCaption, client), QStringLiteral("Frame1"), kFrameCaption);
    Frame1->setGeometry(twips(120), twips(120), twips(8160), twips(4200));
    Frame1->installEventFilter(this);

    const struct {
        QRadioButton** option;
        const char* name;
        QString caption;
        int left;
    } options[] = {
        {&OptionCogno, "OptionCogno", QStringLiteral("Cognome"), 240},
        {&OptionNome, "OptionNome", QStringLiteral("Nome"), 1560},
        {&OptionSoc, "OptionSoc", QStringLiteral("Società"), 2880},
        {&OptionAtt, "OptionAtt", QStringLiteral("Attività"), 4200},
    };
    for (const auto& o : options) {
        *o.option = named(new QRadioButton(o.caption, Frame1), QString::fromLatin1(o.name), o.caption);
        (*o.option)->setGeometry(twips(o.left), twips(360), twips(1215), twips(kBoxHeight));
    }

    TXTCerca = named(new QLineEdit(Frame1), QStringLiteral("TXTCerca"), kFrameCaption);
    TXTCerca->setGeometry(twips(240), twips(840), twips(2535), twips(kBoxHeight));
    TXTCerca->installEventFilter(this);
    on(TXTCerca, &QLineEdit::returnPressed, [this] { lblCerca_Click(); });

    lblCerca = clickableLabel(Frame1, QStringLiteral("lblCerca"), QStringLiteral("Cerca"), 240, 1320,
                              &frmCerca::lblCerca_Click);
    Label1 = clickableLabel(Frame1, QStringLiteral("Label1"), QStringLiteral("Scheda"), 240, 1800,
                            &frmCerca::Label1_Click);

    lines_ = new ResultLines(this);
    List1 = named(new QListView(Frame1), QStringLiteral("List1"), QStringLiteral("Pazienti trovati"));
    List1->setGeometry(twips(2880), twips(840), twips(5040), twips(3120));
    List1->setModel(lines_);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every line is one text row: the view need not measure a million of them.
    List1->setUniformItemSizes(true);
    on(List1, &QListView::doubleClicked, [this] { List1_DblClick(); });
    List1->installEventFilter(this);

    lblElenco = clickableLabel(client, QStringLiteral("lblElenco"), QStringLiteral("Elenco"), 240, 4500,
                               &frmCerca::lblElenco_Click);
    lblMnu = clickableLabel(client, QStringLiteral("lblMnu"), QStringLiteral("Menu"), 1440, 4500,
                            &frmCerca::lblMnu_Click);

    TextID =
        named(new QLineEdit(QStringLiteral("ID"), client), QStringLiteral("TextID"), QStringLiteral("ID"));
    TextID->setGeometry(twips(6840), twips(4800), twips(1335), twips(kBoxHeight));

    setTabOrder(OptionCogno, TXTCerca);
    setTabOrder(TXTCerca, lblCerca);
    setTabOrder(lblCerca, Label1);
    setTabOrder(Label1, List1);
    setTabOrder(List1, lblElenco);
    setTabOrder(lblElenco, lblMnu);
    setTabOrder(lblMnu, TextID);

    setFixedSize(sizeHint());
}

QLabel* frmCerca::clickableLabel(QWidget* parent, const QString& name, const QString& caption, int left,
                                 int top, void (frmCerca::*handler)()) {
    auto* label = named(new ClickableLabel(caption, parent), name, caption);
    label->setGeometry(twips(left), twips(top), twips(1000), twips(kBoxHeight));
    on(label, &ClickableLabel::clicked, [this, handler] { (this->*handler)(); });
    return label;
}

// ---- the result list ----

int frmCerca::List1ListCount() const {
    return lines_->count();
}

QString frmCerca::List1List(int row) const {
    return lines_->line(row);
}

qint64 frmCerca::List1ItemData(int row) const {
    return lines_->id(row);
}

int frmCerca::List1ListIndex() const {
    const QModelIndexList selected = List1->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void frmCerca::List1Clear() {
    lines_->clear();
}

void frmCerca::selectCurrentLine() {
    if (List1ListCount() == 0 || List1ListIndex() >= 0)
        return;
    const QModelIndex current = List1->currentIndex();
    const QModelIndex line = current.isValid() ? current : lines_->index(0, 0);
    List1->selectionModel()->setCurrentIndex(line, QItemSelectionModel::ClearAndSelect);
}

// ---- screen events ----

void frmCerca::Form_Load() {
    Data1.setDatabaseName(platform().archivePath());
    OptionCogno->setChecked(true);
}

void frmCerca::Form_Activate() {
    List1Clear();
}

// ---- handlers ----

void frmCerca::Frame1_Click() {
    List1Clear();
}

void frmCerca::TXTCerca_Click() {
    List1Clear();
}

void frmCerca::lblCerca_Click() {
    const SearchField fields[] = {
        {OptionCogno, QStringLiteral("Where Cognome   Like '*"), QStringLiteral("cognome"),
         QStringLiteral("cognome"), QStringLiteral("Nome"), QStringLiteral("Nessuna corrispondenza!")},
        {OptionNome, QStringLiteral("Where Nome   Like '*"), QStringLiteral("cognome"),
         QStringLiteral("cognome"), QStringLiteral("Nome"), QStringLiteral("Nessuna corrispondenza!")},
        {OptionSoc, QStringLiteral("Where Società   Like '*"), QStringLiteral("Società"),
         QStringLiteral("Società"), QStringLiteral("Attività"), QStringLiteral("Nessuna corrispondenza! ")},
        {OptionAtt, QStringLiteral("Where Attività   Like '*"), QStringLiteral("Attività"),
         QStringLiteral("Società"), QStringLiteral("Attività"), QStringLiteral(" Nessuna corrispondenza!")},
    };
    try {
        for (const SearchField& field : fields) {
            if (field.option->isChecked())
                search(field);
        }
        // Ready for the next fragment, however the search was started.
        TXTCerca->setFocus(Qt::OtherFocusReason);
    } catch (const StoreError& e) {
        if (e.number() != err::SyntaxError)
            throw;
        platform().msg.show(QStringLiteral("L'apostrofo è un carattere non ammesso."), MsgButtons::Ok,
                            MsgIcon::Critical, QString());
        TXTCerca->setText(QString());
        TXTCerca->setFocus(Qt::OtherFocusReason);
    }
}

void frmCerca::search(const SearchField& field) {
    List1Clear();
    // The statement as the user's text makes it; the store parses it and binds the pattern,
    // so typed wildcards keep their meaning and no typed text becomes part of the statement.
    Data1.setRecordSource(QStringLiteral("Select * From Pazienti ") + field.condition + TXTCerca->text() +
                          QStringLiteral("*'"));
    // Of every matching row the lines need the key field, the two fields they show and the ID:
    // the record set reads these with its rows, in one pass, rather than every field of each.
    Data1.setKeptFields({field.keyField, field.firstField, field.secondField});
    Data1.Refresh();
    RecordSet& records = Data1.Recordset();
    std::shared_ptr<const RowTexts> texts = records.keptTexts();
    const auto slot = [&](const QString& name) { return texts->slotOf(records.columnOf(name)); };
    const int key = slot(field.keyField);
    const int first = slot(field.firstField);
    const int second = slot(field.secondField);
    lines_->show(std::move(texts), key, first, second);
    TXTCerca->setText(QString());
    if (List1List(0).isEmpty())
        platform().msg.show(field.noMatch, MsgButtons::Ok, MsgIcon::Exclamation, kNoMatchTitle);
}

void frmCerca::Label1_Click() {
    const int row = List1ListIndex();
    if (row < 0) {
        platform().msg.show(QStringLiteral(" E' necessario prima selezionare un paziente. "), MsgButtons::Ok,
                            MsgIcon::Exclamation, QStringLiteral(" Richiesta dati"));
        return;
    }
    TextID->setText(List1List(row).right(5));
    try {
        // The line's own identifier: the same as TextID's text for identifiers of up to five
        // digits, and still the right patient for longer ones.
        if (!seekCardOn(screens(), QVariant(qlonglong(List1ItemData(row)))))
            return;
        screens().show(screens().scheda());
        screens().hide(*this);
    } catch (const StoreError& e) {
        if (e.number() != err::ActionCancelled)
            throw;
        platform().msg.show(QStringLiteral("Tavenor ha intercettato un errore!"), MsgButtons::Ok,
                            MsgIcon::Critical, QString());
        Form_Unload();
    }
}

void frmCerca::List1_DblClick() {
    Label1_Click();
}

void frmCerca::lblElenco_Click() {
    screens().show(screens().elenco());
    screens().hide(*this);
}

void frmCerca::lblMnu_Click() {
    screens().show(screens().inizio());
    screens().hide(*this);
}

bool frmCerca::eventFilter(QObject* watched, QEvent* event) {
    if (watched == List1) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                guard([this] { Label1_Click(); });
                return true;
            }
        } else if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                selectCurrentLine();
        }
    } else if (event->type() == QEvent::MouseButtonRelease && (watched == TXTCerca || watched == Frame1)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint())) {
            if (watched == TXTCerca)
                guard([this] { TXTCerca_Click(); });
            else
                guard([this] { Frame1_Click(); });
        }
    }
    return Screen::eventFilter(watched, event);
}

} // namespace qv
