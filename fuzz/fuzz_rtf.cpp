// The RTF reader: notes come from the database, pasted from other programs or from files.
#include "clinical/Rtf.h"

#include <QGuiApplication>
#include <QTextDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Fonts for the text document, with no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument fromFile;
    qv::rtf::read(bytes, fromFile);
    QTextDocument fromField;
    qv::rtf::read(QString::fromUtf8(bytes), fromField);

    // What was read is saved as RTF and read back with its text unchanged.
    QTextDocument saved;
    qv::rtf::read(qv::rtf::write(fromFile), saved);
    if (saved.toPlainText() != fromFile.toPlainText())
        __builtin_trap();
    return 0;
}
