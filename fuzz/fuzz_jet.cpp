// The old program's archive: an Access file that may be damaged, cut short or another program's.
// Whatever the bytes, the conversion either succeeds or refuses with its message; it never
// crashes, hangs or leaves a half-made archive behind.
#include "store/ArchiveImport.h"
#include "store/StoreError.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/quorvane-fuzz-jet-XXXXXX")
                                 : QString());
    const QString source = dir.filePath(QStringLiteral("quorvane.mdb"));
    const QString target = dir.filePath(QStringLiteral("nuovo.mdb"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        qv::importJetArchive(source, target);
        QFile::remove(target);
    } catch (const qv::StoreError&) {
        if (QFileInfo::exists(target))
            __builtin_trap(); // a refused file leaves nothing behind
    }
    return 0;
}
