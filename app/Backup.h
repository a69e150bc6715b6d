#pragma once

#include "platform/Platform.h"
#include "store/ArchiveCopy.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace qv {

// The daily backups in <program folder>/Backup/AAAA-MM-GG/: a copy of quorvane.mdb and of Agd/.
namespace backups {

QString folderPath(const QString& programFolder);
// The date a backup folder's name stands for, invalid for any other name.
QDate dateOf(const QString& name);
// The backup dates the keeping rule gives up on `today`: all but the newest 14 and the first
// backup of each of the last 12 months (this month included).
QList<QDate> toRemove(QList<QDate> dates, const QDate& today);

struct Found {
    QString folder;
    QDate date;
};
// The newest backup whose database passes the engine's integrity check.
std::optional<Found> newestGood(const QString& programFolder);

} // namespace backups

// Today's backup, made on a connection and a thread of its own while the program works.
class DailyBackup : public QObject {
public:
    enum class Outcome { None, NotNeeded, Running, Made, Failed, Cancelled };

    explicit DailyBackup(Platform& platform);
    ~DailyBackup() override; // cancels a backup still running
    DailyBackup(const DailyBackup&) = delete;
    DailyBackup& operator=(const DailyBackup&) = delete;

    // Starts today's backup (today by the platform's clock) unless there is one already. Its
    // thread runs at a lower priority than the program's.
    void start();
    // The start screen is shown: a failure is said from now on (once).
    void startScreenShown();
    // Stops a backup that is running and waits for its thread; its temporary folder is gone
    // when this returns. Nothing is said afterwards.
    void cancel();
    // Waits until the backup's thread is done and takes in its outcome (as the event loop would).
    void waitForEnd();

    Outcome outcome() const { return outcome_; }
    // Why the backup could not be made, in Italian.
    const QString& failure() const { return failure_; }

    // Pages copied per step; the program's writes go in between.
    void setPagesPerStep(int pages) { pagesPerStep_ = pages; }
    // Called on the backup's thread after every step of the database copy, with the flag that
    // says the backup was asked to stop.
    std::function<void(const std::atomic<bool>& cancelled)> onStep;

private:
    void run(const QString& programFolder, const QDate& day);
    void finished();
    bool copyDatabase(const QString& source, const QString& target);
    bool copyDayFiles(const QString& source, const QString& target);
    bool fail(const QString& why);
    void say();

    Platform& platform_;
    std::thread thread_;
    std::atomic<bool> cancelled_{false};
    ArchiveCopy archive_; // the database's copy, stopped from the program's thread on cancel
    int pagesPerStep_ = 256;
    Outcome outcome_ = Outcome::None;
    Outcome threadOutcome_ = Outcome::None;
    QString failure_;
    bool shown_ = false;  // the start screen is there
    bool silent_ = false; // cancelled: nothing more is said
    bool said_ = false;
};

// When the archive is damaged (found so at opening or while the program works), offers the
// newest good backup in its place (Yes/No, No the default); nothing may hold the archive open
// meanwhile. On Yes the damaged file is renamed beside it, never deleted, the backup's
// database and day files are copied back (day files changed after the backup stay as they
// are) and true is returned. Otherwise `failure` is shown as before (or the user declined)
// and false is returned, the file untouched.
bool offerRestore(Platform& platform, const QString& databasePath, const QString& failure);

} // namespace qv
