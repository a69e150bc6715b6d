#include "app/OldArchive.h"

#include "agenda/DayFile.h"
#include "platform/Files.h"
#include "store/ArchiveImport.h"
#include "store/Engine.h"
#include "store/StoreError.h"

#include <QFileInfo>

namespace qv {

namespace {
const QString kTitle = QStringLiteral("Trasferimento dell'archivio");
} // namespace

bool bringOldArchiveAcross(Platform& platform) {
    const QString database = platform.archivePath();
    if (sql::inspect(database) != sql::FileKind::Jet)
        return true;
    const QString kept = keptOriginalName(database);
    const MsgAnswer answer = platform.msg.show(
        QStringLiteral(
            "Il file \"%1\" è l'archivio del vecchio programma, in formato Access.\r\n"
            "Quorvane può trasferire tutti i suoi dati (i pazienti con le loro note e gli orari "
            "dell'agenda) in un archivio nuovo, che prenderà il suo posto con lo stesso nome. "
            "L'originale non viene modificato né cancellato: resta nella stessa cartella con il nome "
            "\"%2\".\r\n"
            "Trasferire ora l'archivio? Rispondendo No il programma si chiude senza cambiare nulla.")
            .arg(files::shown(database), QFileInfo(kept).fileName()),
        MsgButtons::YesNo, MsgIcon::Information, kTitle, MsgAnswer::Yes);
    if (answer != MsgAnswer::Yes)
        return false;

    platform.progress.begin(kTitle, QStringLiteral("Lettura dell'archivio del vecchio programma..."));
    try {
        convertInPlace(database, [&platform](ImportStage stage, qint64 done, qint64 total) {
            const QString text = stage == ImportStage::Copying
                                     ? QStringLiteral("Pazienti trasferiti: %1 di %2")
                                     : QStringLiteral("Pazienti controllati nel nuovo archivio: %1 di %2");
            platform.progress.step(text.arg(done).arg(total), done, total);
        });
    } catch (const StoreError& e) {
        platform.progress.end();
        platform.msg.show(e.description(), MsgButtons::Ok, MsgIcon::Critical, kTitle);
        return false;
    }
    // The agenda's day files copied from Windows: their names as the program writes them.
    dayfile::adoptCopiedNames(platform.folder);
    platform.progress.end();
    return true;
}

} // namespace qv
