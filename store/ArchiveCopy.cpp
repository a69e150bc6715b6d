#include "store/ArchiveCopy.h"

#include "store/Engine.h"
#include "store/StoreError.h"

#include <QFileInfo>
#include <QStringList>
#include <chrono>
#include <sqlite3.h>
#include <thread>

namespace qv {

namespace {

// The single text the engine's integrity check or quick check gives ("ok" when sound), and
// the check's failure code (SQLITE_OK when it ran).
int runCheck(sqlite3* db, const QString& statement, QString* result) {
    QStringList rows;
    int rc = SQLITE_OK;
    try {
        sql::Stmt check(db, statement);
        while (check.step())
            rows << check.text(0);
    } catch (const sql::Failure& failure) {
        rc = failure.code();
    }
    *result = rows.join(QLatin1Char('\n'));
    return rc;
}

// The last failure of a connection, as the engine describes it.
[[noreturn]] void raise(const sql::Connection& db, int number) {
    throw StoreError(number, sql::Failure(sqlite3_extended_errcode(db.handle()),
                                          QString::fromUtf8(sqlite3_errmsg(db.handle())))
                                 .message());
}

} // namespace

bool ArchiveCopy::copy(const QString& source, const QString& target, int pagesPerStep,
                       const std::atomic<bool>& cancelled, const StepHook& onStep) {
    sql::Connection from;
    sql::Connection to;
    try {
        from = sql::Connection::open(source, sql::Connection::Mode::ReadOnly);
    } catch (const sql::Failure& failure) {
        throw StoreError(err::CannotOpen, failure.message());
    }
    try {
        to = sql::Connection::open(target, sql::Connection::Mode::Create);
    } catch (const sql::Failure& failure) {
        throw StoreError(err::CannotCreate, failure.message());
    }
    sqlite3_backup* backup = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (backup == nullptr)
        raise(to, err::WriteFailed);
    int rc = SQLITE_OK;
    for (;;) {
        rc = sqlite3_backup_step(backup, pagesPerStep);
        if (rc != SQLITE_OK && rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        if (onStep)
            onStep(cancelled);
        if (cancelled)
            break;
        if (rc == SQLITE_OK)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int finish = sqlite3_backup_finish(backup);
    if (cancelled)
        return false;
    if (rc != SQLITE_DONE || finish != SQLITE_OK)
        raise(to, err::WriteFailed);
    from.close();

    {
        const std::lock_guard<std::mutex> hold(mutex_);
        checking_ = to.handle();
    }
    QString result;
    rc = cancelled ? SQLITE_INTERRUPT
                   : runCheck(to.handle(), QStringLiteral("PRAGMA integrity_check"), &result);
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        checking_ = nullptr;
    }
    to.close();
    if (cancelled)
        return false;
    if (rc != SQLITE_OK)
        throw StoreError(err::WriteFailed, sql::italianMessage(rc, QString()));
    if (result != QLatin1String("ok"))
        throw StoreError(
            err::NotADatabase,
            QStringLiteral("il controllo della copia ha trovato errori: l'archivio potrebbe essere "
                           "danneggiato"));
    return true;
}

void ArchiveCopy::interrupt() {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (checking_ != nullptr)
        sqlite3_interrupt(checking_);
}

namespace archive {

bool isSoundCopy(const QString& path) {
    if (!QFileInfo(path).isFile())
        return false;
    try {
        const sql::Connection db = sql::Connection::open(path, sql::Connection::Mode::ReadOnly);
        QString result;
        return runCheck(db.handle(), QStringLiteral("PRAGMA integrity_check"), &result) == SQLITE_OK &&
               result == QLatin1String("ok") &&
               runCheck(db.handle(),
                        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = "
                                       "'Pazienti'"),
                        &result) == SQLITE_OK &&
               result == QLatin1String("1");
    } catch (const sql::Failure&) {
        return false;
    }
}

bool looksDamaged(const QString& path) {
    if (!QFileInfo(path).isFile())
        return false;
    switch (sql::inspect(path)) {
    case sql::FileKind::Unreadable:
    case sql::FileKind::Jet:
        return false;
    case sql::FileKind::Other:
        return true;
    case sql::FileKind::Database:
        break;
    }
    try {
        const sql::Connection db = sql::Connection::open(path, sql::Connection::Mode::ReadOnly);
        QString result;
        const int rc = runCheck(db.handle(), QStringLiteral("PRAGMA quick_check"), &result);
        return rc == SQLITE_OK ? result != QLatin1String("ok") : sql::isDamage(rc);
    } catch (const sql::Failure& failure) {
        return sql::isDamage(failure.code());
    }
}

} // namespace archive

} // namespace qv
