// The RTF reader and writer: notes come from the database, pasted from other programs or
// from files. Each input is read (as a file's bytes, or for a share of inputs as a field's
// text), written and read back with the same text.
#include "clinical/Rtf.h"

#include <QCoreApplication>
#include <QGuiApplication>
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
    if (saved.toPlainText() != read.toPlainText())
        __builtin_trap();

    // The program is back in its event loop between two notes, where Qt's caches (the fonts of
    // every family a note named) are trimmed by their timers: without it a long run grows.
    static unsigned inputs = 0;
    if (++inputs % 1000 == 0)
        QCoreApplication::processEvents();
    return 0;
}
