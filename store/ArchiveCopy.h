#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

struct sqlite3;

namespace qv {

// A copy of the archive made while the program goes on working on it: the engine copies it
// page by page on connections of its own, then checks the copy whole.
class ArchiveCopy {
public:
    // Called after every step of the copy, with the flag that says the copy was asked to stop.
    using StepHook = std::function<void(const std::atomic<bool>& cancelled)>;

    // Copies the archive at `source` into a new file at `target`, `pagesPerStep` pages at a
    // time, and checks the copy. The archive is only read; its read lock is held only while a
    // step runs, so the program's writes go in between, and a write restarts the copy, so
    // that what is copied is always one consistent state of the archive. Returns false when
    // `cancelled` was set (the copy then stops at once, its file left as it is); a copy that
    // cannot be made or that the check finds damaged raises StoreError.
    bool copy(const QString& source, const QString& target, int pagesPerStep,
              const std::atomic<bool>& cancelled, const StepHook& onStep = {});

    // From another thread, once `cancelled` is set: stops the check of the copy if it runs.
    void interrupt();

private:
    std::mutex mutex_;
    sqlite3* checking_ = nullptr; // the copy's connection while the check runs on it
};

namespace archive {

// Whether the archive copy at `path` is one to restore: the engine finds it whole and it
// holds the program's patients.
bool isSoundCopy(const QString& path);

// Whether an archive that cannot be opened is damaged: not an archive any more (overwritten,
// cut short, emptied) or one the engine finds broken. A file that is missing, cannot be read,
// is busy, is an old-format database or is a sound database of another program is not.
bool looksDamaged(const QString& path);

} // namespace archive

} // namespace qv
