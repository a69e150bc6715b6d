#include "app/Startup.h"

#include "app/Backup.h"
#include "app/OldArchive.h"
#include "app/ProgramLock.h"
#include "app/Screens.h"
#include "app/WorkShown.h"
#include "platform/Files.h"
#include "platform/Icon.h"
#include "store/Database.h"
#include "store/StoreError.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

namespace qv {

namespace {

// Lets the damaged archive go, offers the newest sound backup in its place and opens what was
// put back; false when nothing was (declined, no sound backup, a failure), the reason said.
bool restoreArchive(Platform& platform, Session& session, const QString& failure) {
    const QString database = platform.archivePath();
    session.database.reset();
    if (!offerRestore(platform, database, failure))
        return false;
    try {
        session.database = Database::open(database);
    } catch (const StoreError& again) {
        platform.msg.show(again.description(), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    return true;
}

} // namespace

bool openSession(Platform& platform, Session& session) {
    const QString folder = files::shown(platform.folder);
    auto lock = std::make_unique<ProgramLock>(platform.lockPath());
    ProgramLock::Outcome outcome = lock->tryTake();
    if (outcome == ProgramLock::Outcome::OtherComputer) {
        const QLocale italian(QLocale::Italian, QLocale::Italy);
        const QDateTime since = lock->holderSince().toLocalTime();
        const QString when = since.isValid()
                                 ? QStringLiteral(" dal %1 alle %2")
                                       .arg(italian.toString(since.date(), QStringLiteral("dd/MM/yyyy")),
                                            italian.toString(since.time(), QStringLiteral("HH:mm")))
                                 : QString();
        const MsgAnswer answer = platform.msg.show(
            QStringLiteral(
                "I dati della cartella %1 risultano aperti da Quorvane sul computer \"%2\"%3.\r\n"
                "Se Quorvane non è aperto su quel computer (per esempio perché la cartella è stata "
                "copiata dal vecchio computer o ripristinata da una copia di sicurezza), si può "
                "continuare su questo computer.\r\nContinuare e usare i dati su questo computer?")
                .arg(folder, lock->holderHost(), when),
            MsgButtons::YesNo, MsgIcon::Exclamation, QString(), MsgAnswer::No);
        if (answer != MsgAnswer::Yes)
            return false;
        outcome = lock->takeOver() ? ProgramLock::Outcome::Taken : ProgramLock::Outcome::Failed;
    }
    if (outcome == ProgramLock::Outcome::InUse) {
        platform.msg.show(QStringLiteral("Quorvane è già aperto sugli stessi dati (cartella %1).\r\n"
                                         "Si può usare una sola copia del programma alla volta: "
                                         "chiudere l'altra finestra di Quorvane e riprovare.")
                              .arg(folder),
                          MsgButtons::Ok, MsgIcon::Exclamation);
        return false;
    }
    if (outcome == ProgramLock::Outcome::Failed) {
        const QString what =
            lock->diskFull()
                ? QStringLiteral("Il disco della cartella del programma %1 è pieno, quindi "
                                 "l'archivio dei pazienti non può essere aperto. Liberare spazio "
                                 "sul disco e avviare di nuovo il programma.")
                      .arg(folder)
                : QStringLiteral("Impossibile usare la cartella del programma %1: %2. L'archivio "
                                 "dei pazienti non può essere aperto.")
                      .arg(folder, lock->failure());
        platform.msg.show(what, MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    // A folder that was used before but has lost its archive (deleted, moved, not restored) does
    // not silently start again with no patients: only the user can tell a first start from that.
    const QString database = platform.archivePath();
    const bool usedBefore = lock->wasLeftBehind() || QFileInfo(platform.dayFolder()).isDir();
    if (usedBefore && !QFileInfo::exists(database) && !QFileInfo(database).isSymLink()) {
        const MsgAnswer answer = platform.msg.show(
            QStringLiteral(
                "L'archivio dei pazienti \"%1\" non c'è più, ma la cartella è già stata usata da "
                "Quorvane (l'agenda o un blocco di un avvio precedente sono ancora presenti).\r\n"
                "Se l'archivio è stato spostato o cancellato, rispondere No e rimettere al suo posto "
                "il file %2 o una sua copia di sicurezza.\r\n"
                "Creare un archivio nuovo, senza pazienti?")
                .arg(files::shown(database), programfolder::archiveName()),
            MsgButtons::YesNo, MsgIcon::Exclamation, QString(), MsgAnswer::No);
        if (answer != MsgAnswer::Yes)
            return false;
    }
    // The old program's Access archive is brought across first, if the user wants it.
    if (!bringOldArchiveAcross(platform))
        return false;
    try {
        session.database = Database::open(database);
    } catch (const StoreError& e) {
        // A damaged archive: the newest sound backup is offered in its place.
        if (!restoreArchive(platform, session, e.description()))
            return false;
    }
    session.lock = std::move(lock);
    return true;
}

void startProgram(Screens& screens) {
    screens.start();
}

void startProgram(Screens& screens, Session& session) {
    screens.whenArchiveDamaged([&platform = screens.platform(), &session](const QString& failure) {
        return restoreArchive(platform, session, failure);
    });
    screens.start();
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
    QtProgress progress;
    QtBusyCursor busy;
    Platform platform{msg, clock, end, printer, progress, busy, QCoreApplication::applicationDirPath()};
    const WorkShown shown(platform);

    Session session;
    if (!openSession(platform, session))
        return 1;

    Screens screens(platform);
    screens.endOnSystemRequests();
    // Today's backup starts once the start screen is there, runs while the user works and
    // stops when the program ends.
    DailyBackup backup(platform);
    screens.atEnd([&backup] { backup.cancel(); });
    startProgram(screens, session);
    if (!screens.ending()) {
        backup.start();
        backup.startScreenShown();
    }
    if (end.ended())
        return screens.exitStatus();
    const int loop = app.exec();
    return screens.exitStatus() != 0 ? screens.exitStatus() : loop;
}

} // namespace qv
