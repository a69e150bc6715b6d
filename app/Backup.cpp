#include "app/Backup.h"

#include "platform/Files.h"
#include "platform/ProgramFolder.h"
#include "store/ArchiveDamage.h"
#include "store/Engine.h"
#include "store/StoreError.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qv {

namespace {

// A backup being written; renamed to its date only once checked.
const QString kPartial = QStringLiteral(".parziale");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// Why a file or folder could not be written, from the system's error number, for the user.
QString writeReason(int error, const QString& folder) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("il disco è pieno");
    case EROFS:
    case EACCES:
    case EPERM:
        return QStringLiteral("non è permesso scrivere nella cartella \"%1\"").arg(files::shown(folder));
    case ENOTDIR:
    case EEXIST:
        return QStringLiteral("al posto della cartella \"%1\" c'è un file con lo stesso nome")
            .arg(files::shown(folder));
    default:
        return QStringLiteral("errore di scrittura sul disco (codice %1)").arg(error);
    }
}

QString italianDate(const QDate& date) {
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

// Copies the backup's database into place of the damaged one and its day files back into
// Agd, keeping the day files changed after the backup. The damaged file is renamed to
// `kept`; false with the reason when the archive could not be put back (nothing is changed
// then). Day files that could not be put back are counted in `dayFilesLeft`.
bool restore(const QString& programFolder, const QString& database, const QString& kept,
             const QString& backup, QString* why, int* dayFilesLeft) {
    QByteArray bytes;
    files::Status status;
    const QString source = programfolder::archivePath(backup);
    if (!files::readFile(source, bytes) || !files::status(source, status)) {
        *why = QStringLiteral("la copia non si può leggere");
        return false;
    }
    const QString incoming = database + QStringLiteral(".ripristino");
    if (const files::Result written = files::writeFile(incoming, bytes, &status.modified, files::Sync::Yes);
        !written) {
        files::remove(incoming);
        *why = writeReason(written.error, programFolder);
        return false;
    }
    if (const files::Result aside = files::rename(database, kept); !aside) {
        *why = writeReason(aside.error, programFolder);
        files::remove(incoming);
        return false;
    }
    // A journal left beside the damaged file belongs to it: the engine would play it back
    // into the restored archive.
    for (const char* side : {"-journal", "-wal", "-shm"}) {
        const QString from = database + QLatin1String(side);
        if (QFileInfo::exists(from))
            files::rename(from, kept + QLatin1String(side));
    }
    if (const files::Result placed = files::rename(incoming, database); !placed) {
        *why = writeReason(placed.error, programFolder);
        files::rename(kept, database);
        files::remove(incoming);
        return false;
    }
    files::syncFolder(programFolder);

    const QString fromDays = programfolder::dayFolder(backup);
    const QString toDays = programfolder::dayFolder(programFolder);
    files::makeFolder(toDays);
    *dayFilesLeft = 0;
    const QStringList names =
        QDir(fromDays).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
    for (const QString& name : names) {
        const QString from = fromDays + QLatin1Char('/') + name;
        const QString to = toDays + QLatin1Char('/') + name;
        files::Status copy;
        files::Status current;
        if (!files::status(from, copy))
            continue;
        if (files::linkStatus(to, current)) {
            const bool newer = current.modified.tv_sec > copy.modified.tv_sec ||
                               (current.modified.tv_sec == copy.modified.tv_sec &&
                                current.modified.tv_nsec > copy.modified.tv_nsec);
            if (newer || !current.regular)
                continue;
        }
        if (!files::readFile(from, bytes) || !files::replaceFile(to, bytes, &copy.modified))
            ++*dayFilesLeft;
    }
    files::syncFolder(toDays);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------
// The backup folder

namespace backups {

QString folderPath(const QString& programFolder) {
    return programfolder::backupFolder(programFolder);
}

QDate dateOf(const QString& name) {
    const QDate date = QDate::fromString(name, kDateFormat);
    return date.isValid() && date.toString(kDateFormat) == name ? date : QDate();
}

QList<QDate> toRemove(QList<QDate> dates, const QDate& today) {
    std::sort(dates.begin(), dates.end());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
    QSet<QDate> keep;
    for (qsizetype i = std::max<qsizetype>(0, dates.size() - 14); i < dates.size(); ++i)
        keep.insert(dates[i]);
    const int thisMonth = today.year() * 12 + today.month() - 1;
    QSet<int> months;
    for (const QDate& date : dates) {
        const int month = date.year() * 12 + date.month() - 1;
        if (thisMonth - month >= 0 && thisMonth - month < 12 && !months.contains(month)) {
            months.insert(month);
            keep.insert(date);
        }
    }
    QList<QDate> gone;
    for (const QDate& date : dates)
        if (!keep.contains(date))
            gone << date;
    return gone;
}

std::optional<Found> newestGood(const QString& programFolder) {
    const QString root = folderPath(programFolder);
    QList<QDate> dates;
    for (const QString& name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        if (const QDate date = dateOf(name); date.isValid())
            dates << date;
    std::sort(dates.begin(), dates.end(), [](const QDate& a, const QDate& b) { return a > b; });
    for (const QDate& date : dates) {
        const QString folder = root + QLatin1Char('/') + date.toString(kDateFormat);
        if (QFileInfo(programfolder::dayFolder(folder)).isDir() &&
            archive::isSoundCopy(programfolder::archivePath(folder)))
            return Found{folder, date};
    }
    return std::nullopt;
}

} // namespace backups

// ---------------------------------------------------------------------------------------
// Today's backup

DailyBackup::DailyBackup(Platform& platform) : platform_(platform) {}

DailyBackup::~DailyBackup() {
    cancel();
}

void DailyBackup::start() {
    if (outcome_ != Outcome::None)
        return;
    const QDate day = platform_.clock.today();
    const QString folder = platform_.folder;
    if (QFileInfo(backups::folderPath(folder) + QLatin1Char('/') + day.toString(kDateFormat)).isDir()) {
        outcome_ = Outcome::NotNeeded;
        return;
    }
    outcome_ = Outcome::Running;
    thread_ = std::thread([this, folder, day] {
        // The user's work comes first: the copy takes what the processor and the disk leave.
        ::setpriority(PRIO_PROCESS, ::gettid(), std::min(19, ::getpriority(PRIO_PROCESS, ::gettid()) + 10));
        ::syscall(SYS_ioprio_set, 1 /* one thread */, ::gettid(), (2 << 13) | 7 /* best effort, lowest */);
        try {
            run(folder, day);
        } catch (...) {
            // Out of memory on a huge day file: no backup today, the program goes on.
            fail(sql::noMemoryMessage());
            QDir(backups::folderPath(folder) + QLatin1Char('/') + day.toString(kDateFormat) + kPartial)
                .removeRecursively();
            threadOutcome_ = Outcome::Failed;
            QMetaObject::invokeMethod(
                this, [this] { finished(); }, Qt::QueuedConnection);
        }
    });
}

void DailyBackup::startScreenShown() {
    shown_ = true;
    say();
}

void DailyBackup::cancel() {
    silent_ = true;
    cancelled_ = true;
    archive_.interrupt();
    finished();
}

void DailyBackup::waitForEnd() {
    finished();
}

void DailyBackup::finished() {
    if (thread_.joinable())
        thread_.join();
    if (outcome_ != Outcome::Running)
        return;
    outcome_ = threadOutcome_;
    say();
}

void DailyBackup::say() {
    if (outcome_ != Outcome::Failed || !shown_ || silent_ || said_)
        return;
    said_ = true;
    // Short lines: the box cuts a line past a hundred characters.
    platform_.msg.show(QStringLiteral("La copia di sicurezza di oggi dei dati non è stata fatta:\r\n%1.\r\n"
                                      "Il programma funziona normalmente; la copia sarà tentata di nuovo al "
                                      "prossimo avvio.")
                           .arg(failure_),
                       MsgButtons::Ok, MsgIcon::Exclamation);
}

bool DailyBackup::fail(const QString& why) {
    if (failure_.isEmpty())
        failure_ = why;
    return false;
}

void DailyBackup::run(const QString& programFolder, const QDate& day) {
    const QString root = backups::folderPath(programFolder);
    const QString name = day.toString(kDateFormat);
    const QString target = root + QLatin1Char('/') + name;
    const QString temp = target + kPartial;
    const auto done = [this](Outcome result) {
        threadOutcome_ = result;
        QMetaObject::invokeMethod(
            this, [this] { finished(); }, Qt::QueuedConnection);
    };

    if (const files::Result made = files::makeFolder(root); !made) {
        fail(writeReason(made.error, root));
        return done(Outcome::Failed);
    }
    // What an interrupted run left behind is ours to clear.
    if (QFileInfo(temp).isDir())
        QDir(temp).removeRecursively();
    files::Result made = files::makeFolder(temp);
    if (made)
        made = files::makeFolder(programfolder::dayFolder(temp));
    if (!made) {
        fail(writeReason(made.error, root));
        QDir(temp).removeRecursively();
        return done(Outcome::Failed);
    }
    const bool copied =
        copyDatabase(programfolder::archivePath(programFolder), programfolder::archivePath(temp)) &&
        !cancelled_ && copyDayFiles(programfolder::dayFolder(programFolder), programfolder::dayFolder(temp));
    if (cancelled_ || !copied) {
        QDir(temp).removeRecursively();
        return done(cancelled_ ? Outcome::Cancelled : Outcome::Failed);
    }
    // The day files were written without a flush each: one flush of the whole disk.
    files::syncDisk(temp);
    files::syncFolder(programfolder::dayFolder(temp));
    files::syncFolder(temp);
    if (const files::Result renamed = files::rename(temp, target); !renamed) {
        fail(writeReason(renamed.error, root));
        QDir(temp).removeRecursively();
        return done(Outcome::Failed);
    }
    files::syncFolder(root);

    // The keeping rule; only folders named as a backup's date are ever removed.
    QList<QDate> dates;
    for (const QString& entry : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        if (const QDate date = backups::dateOf(entry); date.isValid())
            dates << date;
        else if (entry.endsWith(kPartial) && backups::dateOf(entry.chopped(kPartial.size())).isValid())
            QDir(root + QLatin1Char('/') + entry).removeRecursively();
    }
    for (const QDate& date : backups::toRemove(dates, day))
        QDir(root + QLatin1Char('/') + date.toString(kDateFormat)).removeRecursively();
    done(Outcome::Made);
}

bool DailyBackup::copyDatabase(const QString& source, const QString& target) {
    try {
        return archive_.copy(source, target, pagesPerStep_, cancelled_, onStep);
    } catch (const StoreError& e) {
        return fail(e.description());
    }
}

bool DailyBackup::copyDayFiles(const QString& source, const QString& target) {
    if (!QFileInfo(source).isDir())
        return true; // no agenda yet
    QSet<QString> copied;
    // A day file saved while the copy runs is copied again; one added meanwhile is picked up
    // by the next round, so that every day file of the folder is in the copy.
    for (int round = 0; round < 4; ++round) {
        const QStringList names =
            QDir(source).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
        bool added = false;
        for (const QString& name : names) {
            if (cancelled_)
                return false;
            if (copied.contains(name))
                continue;
            const QString from = source + QLatin1Char('/') + name;
            const QString to = target + QLatin1Char('/') + name;
            QByteArray bytes;
            files::Status before;
            files::Status after;
            bool steady = false;
            for (int attempt = 0; attempt < 3 && !steady; ++attempt) {
                if (!files::status(from, before))
                    break;
                if (const files::Result read = files::readFile(from, bytes); !read) {
                    if (read.error == ENOENT)
                        break;
                    return fail(QStringLiteral("il file dell'agenda \"%1\" non si può leggere").arg(name));
                }
                steady = files::status(from, after) && after.size == bytes.size() &&
                         after.modified.tv_sec == before.modified.tv_sec &&
                         after.modified.tv_nsec == before.modified.tv_nsec;
            }
            if (!steady)
                continue; // gone meanwhile (a save's temporary file), or looked at again next round
            if (const files::Result written = files::writeFile(to, bytes, &after.modified); !written)
                return fail(writeReason(written.error, target));
            QByteArray written;
            if (!files::readFile(to, written) || written != bytes)
                return fail(
                    QStringLiteral("la copia del file dell'agenda \"%1\" non corrisponde all'originale")
                        .arg(name));
            copied.insert(name);
            added = true;
        }
        if (!added)
            break;
    }
    for (const QString& name : QDir(source).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks))
        if (!copied.contains(name))
            return fail(QStringLiteral("il file dell'agenda \"%1\" cambia di continuo e non è stato copiato")
                            .arg(name));
    return true;
}

// ---------------------------------------------------------------------------------------
// Recovery

bool offerRestore(Platform& platform, const QString& databasePath, const QString& failure) {
    const auto asBefore = [&] {
        platform.msg.show(failure, MsgButtons::Ok, MsgIcon::Critical);
        return false;
    };
    if (!archive::looksDamaged(databasePath))
        return asBefore();
    const std::optional<backups::Found> found = backups::newestGood(platform.folder);
    if (!found)
        return asBefore();

    const QString keptBase = databasePath + QStringLiteral(".danneggiato-") +
                             platform.clock.now().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString kept = keptBase;
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = keptBase + QStringLiteral("-%1").arg(n);
    const MsgAnswer answer = platform.msg.show(
        QStringLiteral("L'archivio dei pazienti è danneggiato e il programma non può aprirlo:\r\n%1\r\n\r\n"
                       "L'ultima copia di sicurezza integra è del %2, nella cartella\r\n%3\r\n"
                       "Le modifiche fatte all'archivio dopo quel giorno non ci sono; gli appuntamenti\r\n"
                       "dell'agenda cambiati dopo la copia restano come sono.\r\n"
                       "L'archivio danneggiato non viene cancellato: resta nella cartella con il nome\r\n"
                       "%4\r\n\r\n"
                       "Ripristinare la copia del %2?")
            .arg(files::shown(databasePath), italianDate(found->date), files::shown(found->folder),
                 QFileInfo(kept).fileName()),
        MsgButtons::YesNo, MsgIcon::Exclamation, QString(), MsgAnswer::No);
    if (answer != MsgAnswer::Yes)
        return false;

    QString why;
    int dayFilesLeft = 0;
    if (!restore(platform.folder, databasePath, kept, found->folder, &why, &dayFilesLeft)) {
        platform.msg.show(
            QStringLiteral("Il ripristino della copia di sicurezza del %1 non è riuscito:\r\n%2.\r\n"
                           "L'archivio danneggiato è rimasto com'era.")
                .arg(italianDate(found->date), why),
            MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    // The file under the archive's name is the backup now: it is written again.
    archive::clearDamaged(databasePath);
    if (dayFilesLeft > 0)
        platform.msg.show(
            QStringLiteral("L'archivio dei pazienti è stato ripristinato dalla copia del %1,\r\n"
                           "ma %2 file dell'agenda non sono stati rimessi nella cartella %3:\r\n"
                           "si trovano ancora nella cartella\r\n%4")
                .arg(italianDate(found->date), QString::number(dayFilesLeft), programfolder::dayFolderName(),
                     files::shown(programfolder::dayFolder(found->folder))),
            MsgButtons::Ok, MsgIcon::Exclamation);
    return true;
}

} // namespace qv
