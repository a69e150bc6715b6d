#include "platform/BoundWidgets.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <limits>
#include <memory>

namespace qv {

namespace {
// A box without a typing limit of the program's own takes any length: Qt's default of
// 32,767 units would cut a long paste without a word.
constexpr int kNoLimit = std::numeric_limits<int>::max();
constexpr int kQtDefaultMaxLength = 32767;

bool breaksTheLine(QChar c) {
    return c == u'\n' || c == u'\r' || c == u'\t' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
           c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// True when a character made of two UTF-16 units has lost one of them.
bool splitsAPair(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return true;
            ++i;
        } else if (c.isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

// Ends the box's current undo step, as moving the caret does: what is inserted next is
// undone on its own. The caret and the selection are put back as they were.
void closeUndoStep(QLineEdit* box) {
    if (box->text().isEmpty())
        return;
    const int cursor = box->cursorPosition();
    const bool selected = box->hasSelectedText();
    const int start = box->selectionStart();
    const int length = static_cast<int>(box->selectedText().size());
    box->setCursorPosition(cursor == 0 ? 1 : cursor - 1);
    if (!selected)
        box->setCursorPosition(cursor);
    else if (cursor == start)
        box->setSelection(start + length, -length); // selected from right to left
    else
        box->setSelection(start, length);
}
} // namespace

TextBoxInput::TextBoxInput(QLineEdit* box) : QValidator(box), box_(box) {
    if (box->maxLength() == kQtDefaultMaxLength)
        box->setMaxLength(kNoLimit); // no silent cut where the program sets no limit
    box->setValidator(this);
    box->installEventFilter(this);
}

QValidator::State TextBoxInput::validate(QString& input, int&) const {
    return splitsAPair(input) ? Invalid : Acceptable;
}

QString TextBoxInput::fitted(const QString& text, qsizetype room) {
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            continue; // CR LF is one line break, one blank
        line.append(breaksTheLine(c) ? QChar(u' ') : c);
    }
    if (line.size() <= room)
        return line;
    if (room <= 0)
        return QString();
    // Cut where a character ends: never inside a pair of units or before a combining accent.
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, line);
    boundaries.setPosition(room);
    qsizetype cut = boundaries.isAtBoundary() ? room : boundaries.toPreviousBoundary();
    return line.left(std::max<qsizetype>(cut, 0));
}

qsizetype TextBoxInput::room() const {
    return qsizetype(box_->maxLength()) - (box_->text().size() - box_->selectedText().size());
}

void TextBoxInput::insertFitted(const QString& text) {
    const QString piece = fitted(text, room());
    if (piece.isEmpty() && !box_->hasSelectedText())
        return;
    closeUndoStep(box_);
    box_->insert(piece);
    closeUndoStep(box_);
}

void TextBoxInput::paste(QClipboard::Mode mode) {
    if (box_->isReadOnly() || !box_->isEnabled())
        return;
    const QString clip = QGuiApplication::clipboard()->text(mode);
    if (!clip.isEmpty() || box_->hasSelectedText())
        insertFitted(clip);
}

QMenu* TextBoxInput::contextMenu() {
    QMenu* menu = box_->createStandardContextMenu();
    // The box's own paste would cut at units and keep line breaks.
    const QString pasteText = QLineEdit::tr("&Paste");
    for (QAction* action : menu->actions()) {
        if (action->text().section(u'\t', 0, 0) == pasteText) {
            QObject::disconnect(action, nullptr, box_, nullptr);
            QObject::connect(action, &QAction::triggered, this, [this] { paste(); });
        }
    }
    return menu;
}

bool TextBoxInput::eventFilter(QObject* watched, QEvent* event) {
    // Only input events are looked at: others (a focus change while the box is being
    // destroyed) may come when the box is no longer a whole line edit.
    const QEvent::Type type = event->type();
    const bool input = type == QEvent::KeyPress || type == QEvent::ContextMenu ||
                       type == QEvent::MouseButtonRelease || type == QEvent::Drop;
    if (!input || watched != box_ || forwarding_ || box_->isReadOnly())
        return false;
    switch (type) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
            paste();
            return true;
        }
        break;
    case QEvent::ContextMenu: {
        std::unique_ptr<QMenu> menu(contextMenu());
        menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton &&
            QGuiApplication::clipboard()->supportsSelection()) {
            box_->deselect();
            paste(QClipboard::Selection);
            return true;
        }
        break;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (drop->mimeData() == nullptr || !drop->mimeData()->hasText())
            break;
        // A text moved within the box leaves its old place, which makes room for it.
        qsizetype space = qsizetype(box_->maxLength()) - box_->text().size();
        if (drop->source() == box_ && drop->dropAction() == Qt::MoveAction)
            space += box_->selectedText().size();
        QMimeData text;
        text.setText(fitted(drop->mimeData()->text(), space));
        QDropEvent fittedDrop(drop->position(), drop->possibleActions(), &text, drop->buttons(),
                              drop->modifiers());
        fittedDrop.setDropAction(drop->dropAction());
        forwarding_ = true;
        QCoreApplication::sendEvent(box_, &fittedDrop);
        forwarding_ = false;
        drop->setDropAction(fittedDrop.dropAction());
        drop->setAccepted(fittedDrop.isAccepted());
        return true;
    }
    default:
        break;
    }
    return false;
}

BoundLineEdit::BoundLineEdit(QLineEdit* box, const QString& field, int typingLimit)
    : box_(box), field_(field), typingLimit_(typingLimit) {
    if (box == nullptr)
        return;
    if (dynamic_cast<const TextBoxInput*>(box->validator()) == nullptr)
        new TextBoxInput(box);
    allowUpTo(box->text().size());
    // Any change of the text, typed or set by the program, marks the field for writing;
    // only fills from the record are left out.
    watch_ = QObject::connect(box, &QLineEdit::textChanged, box, [this] {
        if (!filling_)
            changed_ = true;
    });
}

BoundLineEdit::~BoundLineEdit() {
    QObject::disconnect(watch_);
}

QVariant BoundLineEdit::storeValue() const {
    if (box_ == nullptr || box_->text().isEmpty())
        return QVariant();
    return box_->text();
}

void BoundLineEdit::fill(const QVariant& value) {
    if (box_ == nullptr)
        return;
    const QString text = fieldText(value);
    filling_ = true;
    allowUpTo(text.size()); // room for the whole stored text before it is set
    box_->setText(text);
    filling_ = false;
}

void BoundLineEdit::allowUpTo(qsizetype length) {
    // Set once per record, never while the user types: a new maximum length re-sets the
    // text, which sends the caret to the end and forgets the undo steps.
    const int limit =
        typingLimit_ > 0 ? static_cast<int>(std::max<qsizetype>(typingLimit_, length)) : kNoLimit;
    if (box_ != nullptr && box_->maxLength() != limit)
        box_->setMaxLength(limit);
}

BoundLabel::BoundLabel(QLabel* label, const QString& field) : label_(label), field_(field) {
    // Stored text is shown as typed: "<b>Acme</b>" is a company's name, not markup.
    if (label_ != nullptr)
        label_->setTextFormat(Qt::PlainText);
}

QVariant BoundLabel::storeValue() const {
    if (label_ == nullptr || label_->text().isEmpty())
        return QVariant();
    return label_->text();
}

void BoundLabel::fill(const QVariant& value) {
    if (label_ != nullptr)
        label_->setText(fieldText(value));
}

} // namespace qv
