#include "app/Startup.h"

#include "app/Screens.h"
#include "app/frmInizio.h"
#include "platform/Icon.h"
#include "store/Database.h"
#include "store/StoreError.h"

#include <QApplication>
#include <QDir>

namespace qv {

namespace {
const QString kDatabaseName = QStringLiteral("quorvane.mdb");

QString lockPath(const Platform& platform) {
    return platform.path(kDatabaseName + QStringLiteral(".lock"));
}
} // namespace

bool openSession(Platform& platform, Session& session) {
    const QString folder = QDir::toNativeSeparators(platform.folder);
    auto lock = std::make_unique<QLockFile>(lockPath(platform));
    // A lock is stale only when the copy that took it is no longer running.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError) {
            platform.msg.show(QStringLiteral("Quorvane è già aperto sugli stessi dati (cartella %1).\r\n"
                                             "Si può usare una sola copia del programma alla volta: "
                                             "chiudere l'altra finestra di Quorvane e riprovare.")
                                  .arg(folder),
                              MsgButtons::Ok, MsgIcon::Exclamation);
        } else {
            platform.msg.show(QStringLiteral("Impossibile usare la cartella del programma %1: "
                                             "la cartella non esiste o non si hanno i permessi per "
                                             "scriverci. L'archivio dei pazienti non può essere aperto.")
                                  .arg(folder),
                              MsgButtons::Ok, MsgIcon::Critical);
        }
        return false;
    }
    try {
        session.database = Database::open(platform.path(kDatabaseName));
    } catch (const StoreError& e) {
        platform.msg.show(e.description(), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    session.lock = std::move(lock);
    return true;
}

void startProgram(Screens& screens) {
    screens.guard([&screens] {
        frmInizio& start = screens.inizio();
        if (!screens.ending())
            screens.show(start);
    });
}

int runProgram(QApplication& app) {
    installItalianTranslations();
    app.setApplicationName(QStringLiteral("Quorvane"));
    app.setWindowIcon(programIcon());
    app.setQuitOnLastWindowClosed(false);

    QtMessageBox msg;
    SystemClock clock;
    QtProgramEnd end;
    QtPrinter printer;
    Platform platform{msg, clock, end, printer, QCoreApplication::applicationDirPath()};

    Session session;
    if (!openSession(platform, session))
        return 1;

    Screens screens(platform);
    startProgram(screens);
    if (end.ended())
        return 0;
    return app.exec();
}

} // namespace qv
