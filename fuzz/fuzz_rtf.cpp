// The RTF reader and writer: notes come from the database, pasted from other programs or
// from files. Each input is read (as a file's bytes, or for a share of inputs as a field's
// text), written and read back with the same text and the same links.
#include "clinical/Rtf.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Notes are small; longer inputs only slow the search down.
constexpr size_t kMaxInput = 4 * 1024;

QTextDocument* document(int which) {
    // Kept from input to input: a document is costly to make, and reading clears it.
    static QTextDocument* documents[2] = {nullptr, nullptr};
    if (documents[which] == nullptr) {
        documents[which] = new QTextDocument;
        documents[which]->setUndoRedoEnabled(false);
    }
    return documents[which];
}

// Where the links' targets change along the text: "offset target" for each change.
QStringList links(const QTextDocument& document) {
    QStringList changes;
    QString last;
    qsizetype at = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const QString target = format.isAnchor() ? format.anchorHref() : QString();
            if (target != last)
                changes.append(QString::number(at + fragment.position() - block.position()) + u' ' + target);
            last = target;
        }
        at += block.length();
    }
    return changes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Fonts for the text document, with no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput)
        return 0;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument& read = *document(0);
    if (size > 0 && data[size - 1] == '\n')
        qv::rtf::read(QString::fromUtf8(bytes), read);
    else
        qv::rtf::read(bytes, read);

    // What was read is saved as RTF and read back with its text unchanged.
    QTextDocument& saved = *document(1);
    qv::rtf::read(qv::rtf::write(read), saved);
    if (saved.toPlainText() != read.toPlainText() || links(saved) != links(read))
        __builtin_trap();

    // The program is back in its event loop between two notes, where Qt's caches (the fonts of
    // every family a note named) are trimmed by their timers: without it a long run grows.
    static unsigned inputs = 0;
    if (++inputs % 1000 == 0)
        QCoreApplication::processEvents();
    return 0;
}
