#pragma once

#include <QDateTime>
#include <QString>
#include <thread>

namespace qv {

// The lock beside the database that keeps a second copy of the program off the same data.
// It is held by the operating system for as long as the copy that took it runs, so a lock
// left by a copy that crashed, a copied or restored folder, or a file of that name with
// anything in it never blocks a start. The file also says which computer took it and when,
// for a copy on another computer that shares the folder.
class ProgramLock {
public:
    enum class Outcome {
        Taken,         // this copy holds the lock
        InUse,         // another copy holds it now
        OtherComputer, // held by nobody here, but the file names another computer
        Failed,        // the file cannot be made (folder missing or not writable, disk full)
    };

    explicit ProgramLock(const QString& path);
    ~ProgramLock(); // releases the lock and removes the file
    ProgramLock(const ProgramLock&) = delete;
    ProgramLock& operator=(const ProgramLock&) = delete;

    Outcome tryTake();
    // After OtherComputer, once the user agreed: the lock becomes this copy's.
    bool takeOver();

    // What the file said when tryTake looked at it.
    const QString& holderHost() const { return holderHost_; }
    const QDateTime& holderSince() const { return holderSince_; }
    // Why the file could not be made (Failed), in Italian; errno-like code for the caller.
    const QString& failure() const { return failure_; }
    bool diskFull() const { return diskFull_; }

    // Whether a lock file (left by an earlier run) was there before tryTake.
    bool wasLeftBehind() const { return leftBehind_; }

    static QString thisComputer();

    // What a lock file's content says about the copy that wrote it: nothing (an empty name)
    // unless it is in the program's own form.
    struct Holder {
        QString host;
        QDateTime since;
    };
    static Holder holderOf(const QByteArray& content);

private:
    bool writeOwnInfo();
    void readHolder();
    void release();
    // The file's content reaches the disk on a thread of its own, so that the start does not
    // wait for the disk; it is waited for before the file is written again or let go.
    void syncToDisk();
    void waitForSync();

    QString path_;
    std::thread sync_;
    int fd_ = -1;
    bool taken_ = false;
    QString holderHost_;
    QDateTime holderSince_;
    QString failure_;
    bool diskFull_ = false;
    bool leftBehind_ = false;
};

} // namespace qv
