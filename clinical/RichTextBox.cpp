#include "clinical/RichTextBox.h"

#include "clinical/Rtf.h"
#include "clinical/RtfObjects.h"

#include <QBuffer>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QUrl>
#include <memory>
#include <utility>
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
    rtf::enableObjects(*document());
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
    return source->hasText() || source->hasHtml() || source->hasImage() || !rtfOf(source).isEmpty();
}

namespace {

// The bytes of a picture that pasted HTML names: inline data, or a file of this computer.
QByteArray pictureBytes(const QString& name) {
    if (name.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        const qsizetype comma = name.indexOf(QLatin1Char(','));
        if (comma < 0 || !name.left(comma).contains(QLatin1String(";base64"), Qt::CaseInsensitive))
            return QByteArray();
        return QByteArray::fromBase64(name.mid(comma + 1).toLatin1());
    }
    const QUrl url(name);
    const QString path = url.isLocalFile() ? url.toLocalFile() : (url.scheme().isEmpty() ? name : QString());
    QFile file(path);
    if (path.isEmpty() || file.size() > (64 << 20) || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The pasted picture's own bytes where the clipboard offers them, else the picture as PNG.
QByteArray imageBytes(const QMimeData* source) {
    for (const char* type : {"image/png", "image/jpeg"}) {
        if (source->hasFormat(QLatin1String(type))) {
            const QByteArray data = source->data(QLatin1String(type));
            if (!data.isEmpty())
                return data;
        }
    }
    const QImage image = qvariant_cast<QImage>(source->imageData());
    if (image.isNull())
        return QByteArray();
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    image.save(&png, "PNG");
    return png.data();
}

// Pictures of pasted HTML become the notes' own pictures; those that cannot be had are left out.
void keepPictures(QTextDocument& pasted, const QMimeData* source) {
    QByteArray offered = source->hasImage() ? imageBytes(source) : QByteArray();
    std::vector<std::pair<int, std::shared_ptr<rtf::Object>>> found;
    for (QTextBlock block = pasted.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!format.isImageFormat() || rtf::isObject(format))
                continue;
            for (int k = 0; k < fragment.length(); ++k) {
                QByteArray bytes = pictureBytes(format.toImageFormat().name());
                if (bytes.isEmpty())
                    bytes = std::exchange(offered, QByteArray());
                found.emplace_back(fragment.position() + k, rtf::pictureFromBytes(bytes));
            }
        }
    }
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        QTextCursor cut(&pasted);
        cut.setPosition(it->first);
        cut.setPosition(it->first + 1, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        if (it->second != nullptr)
            cut.insertText(QString(QChar::ObjectReplacementCharacter), rtf::objectFormat(*it->second));
    }
}

} // namespace

void RichTextBox::insertFromMimeData(const QMimeData* source) {
    // RTF keeps the most (pictures, objects, tables, lists, links): ours, where offered; then
    // HTML through Qt's reader, its pictures made the notes' own; then a picture alone.
    QTextDocument pasted;
    pasted.setDefaultFont(document()->defaultFont());
    if (const QByteArray rtfData = rtfOf(source); !rtfData.isEmpty()) {
        rtf::read(rtfData, pasted);
    } else if (source->hasHtml()) {
        pasted.setHtml(source->html());
        keepPictures(pasted, source);
    } else if (source->hasImage()) {
        const std::shared_ptr<rtf::Object> picture = rtf::pictureFromBytes(imageBytes(source));
        if (picture == nullptr)
            return;
        QTextCharFormat format = textCursor().charFormat();
        format.merge(rtf::objectFormat(*picture));
        textCursor().insertText(QString(QChar::ObjectReplacementCharacter), format);
        ensureCursorVisible();
        return;
    } else if (source->hasText()) {
        textCursor().insertText(source->text());
        ensureCursorVisible();
        return;
    } else {
        return;
    }
    textCursor().insertFragment(QTextDocumentFragment(&pasted));
    ensureCursorVisible();
}

bool RichTextBox::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // What a picture, a kept part or a link is, where the pointer rests on it.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QPoint at = viewport()->mapFromGlobal(help->globalPos());
        QTextCursor cursor = cursorForPosition(at);
        QString tip;
        for (const int position : {cursor.position(), cursor.position() + 1}) {
            QTextCursor probe(document());
            probe.setPosition(std::min(position, document()->characterCount() - 1));
            const QTextCharFormat format = probe.charFormat();
            if (rtf::isObject(format))
                tip = rtf::describe(rtf::objectOf(format));
            else if (format.isAnchor() && !format.anchorHref().isEmpty())
                tip = format.anchorHref();
            if (!tip.isEmpty())
                break;
        }
        if (!tip.isEmpty()) {
            QToolTip::showText(help->globalPos(), tip, this);
            return true;
        }
        QToolTip::hideText();
    }
    return QTextEdit::event(event);
}

QMimeData* RichTextBox::createMimeDataFromSelection() const {
    // Qt's own data lists only its own formats: RTF added to it would be offered to nobody.
    const std::unique_ptr<QMimeData> own(QTextEdit::createMimeDataFromSelection());
    auto* mime = new QMimeData;
    for (const QString& format : own->formats())
        mime->setData(format, own->data(format));
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
