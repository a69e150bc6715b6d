#include "clinical/RichTextBox.h"

#include "clinical/Rtf.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <vector>

namespace qv {

namespace {

// How word processors offer RTF on the clipboard.
const QStringList& rtfMimeTypes() {
    static const QStringList types{QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                                   QStringLiteral("text/richtext")};
    return types;
}

QByteArray rtfOf(const QMimeData* source) {
    for (const QString& type : rtfMimeTypes()) {
        if (source->hasFormat(type)) {
            const QByteArray data = source->data(type);
            if (rtf::isRtf(data))
                return data;
        }
    }
    return QByteArray();
}

} // namespace

RichTextBox::RichTextBox(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(true);
    setTabChangesFocus(false);
}

QTextCharFormat RichTextBox::formatHere() const {
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return currentCharFormat();
    QTextCursor start(document());
    start.setPosition(cursor.selectionStart() + 1);
    return start.charFormat();
}

void RichTextBox::toggleBold() {
    QTextCharFormat change;
    change.setFontWeight(formatHere().fontWeight() >= QFont::DemiBold ? QFont::Normal : QFont::Bold);
    mergeCurrentCharFormat(change);
}

void RichTextBox::toggleItalic() {
    QTextCharFormat change;
    change.setFontItalic(!formatHere().fontItalic());
    mergeCurrentCharFormat(change);
}

void RichTextBox::toggleUnderline() {
    QTextCharFormat change;
    change.setFontUnderline(!formatHere().fontUnderline());
    mergeCurrentCharFormat(change);
}

void RichTextBox::keyPressEvent(QKeyEvent* event) {
    if (!isReadOnly() && event->modifiers() == Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_B:
            toggleBold();
            event->accept();
            return;
        case Qt::Key_I:
            toggleItalic();
            event->accept();
            return;
        case Qt::Key_U:
            toggleUnderline();
            event->accept();
            return;
        default:
            break;
        }
    }
    QTextEdit::keyPressEvent(event);
}

bool RichTextBox::canInsertFromMimeData(const QMimeData* source) const {
    // A picture alone has nothing the notes can keep.
    return source->hasText() || source->hasHtml() || !rtfOf(source).isEmpty();
}

void RichTextBox::insertFromMimeData(const QMimeData* source) {
    // Formatted text keeps its formats: HTML, where offered, through Qt's reader, RTF alone
    // through ours. Pictures are left out, as the notes cannot keep them.
    QTextDocument pasted;
    pasted.setDefaultFont(document()->defaultFont());
    if (source->hasHtml()) {
        pasted.setHtml(source->html());
    } else if (const QByteArray rtfData = rtfOf(source); !rtfData.isEmpty()) {
        rtf::read(rtfData, pasted);
    } else if (source->hasText()) {
        textCursor().insertText(source->text());
        ensureCursorVisible();
        return;
    } else {
        return;
    }
    for (QTextBlock block = pasted.lastBlock(); block.isValid(); block = block.previous()) {
        std::vector<std::pair<int, int>> pictures;
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                pictures.emplace_back(it.fragment().position(), it.fragment().length());
        for (auto picture = pictures.rbegin(); picture != pictures.rend(); ++picture) {
            QTextCursor cut(&pasted);
            cut.setPosition(picture->first);
            cut.setPosition(picture->first + picture->second, QTextCursor::KeepAnchor);
            cut.removeSelectedText();
        }
    }
    textCursor().insertFragment(QTextDocumentFragment(&pasted));
    ensureCursorVisible();
}

QMimeData* RichTextBox::createMimeDataFromSelection() const {
    QMimeData* mime = QTextEdit::createMimeDataFromSelection();
    QTextDocument copied;
    copied.setDefaultFont(document()->defaultFont());
    QTextCursor(&copied).insertFragment(textCursor().selection());
    mime->setData(QStringLiteral("text/rtf"), rtf::write(copied));
    return mime;
}

// ---------------------------------------------------------------------------------------

BoundRichTextBox::BoundRichTextBox(QTextEdit* box, const QString& field) : box_(box), field_(field) {
    if (box == nullptr)
        return;
    // Any change of the text or of its formats marks the field for writing; loading a
    // record does not.
    watch_ = QObject::connect(box->document(), &QTextDocument::contentsChanged, box, [this] {
        ++revision_;
        if (!filling_)
            changed_ = true;
    });
}

BoundRichTextBox::~BoundRichTextBox() {
    QObject::disconnect(watch_);
}

QVariant BoundRichTextBox::storeValue() const {
    if (box_ == nullptr || box_->document()->isEmpty())
        return QVariant();
    shown_ = QString::fromLatin1(rtf::write(*box_->document()));
    shownRevision_ = revision_;
    return shown_;
}

void BoundRichTextBox::fill(const QVariant& value) {
    if (box_ == nullptr)
        return;
    QTextDocument* doc = box_->document();
    filling_ = true;
    // The record's text is where undoing stops: nothing of another record can come back.
    doc->setUndoRedoEnabled(false);
    const bool alreadyShown =
        shownRevision_ == revision_ && value.typeId() == QMetaType::QString && value.toString() == shown_;
    if (alreadyShown) {
        doc->setUndoRedoEnabled(true);
        filling_ = false;
        return;
    }
    if (!value.isValid() || value.isNull()) {
        doc->clear();
    } else if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        if (rtf::isRtf(bytes))
            rtf::read(bytes, *doc);
        else
            box_->setPlainText(QString::fromUtf8(bytes));
    } else {
        const QString text = value.toString();
        if (rtf::isRtf(text))
            rtf::read(text, *doc);
        else
            box_->setPlainText(text);
    }
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    box_->moveCursor(QTextCursor::Start);
    filling_ = false;
    shown_ = value.typeId() == QMetaType::QString ? value.toString() : QString();
    shownRevision_ = value.typeId() == QMetaType::QString ? revision_ : ~quint64(0);
}

} // namespace qv
