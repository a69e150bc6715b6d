#pragma once

// Whether what a record set read from the archive still holds.
//
// The archive has one version, which moves on every change of the file: the store's own
// writes, statements run on the connection beside the store, and other programs' writes. It
// is the engine's data version of the file (moved by every commit on the connection, and by
// another program's commit when the connection next begins to read), widened to 64 bits. Each
// thing a record set keeps from a read (a set of keys, the rows read ahead, a snapshot)
// remembers the version it was read at, and holds while the version has not moved.
//
// Asking the engine goes through its lock and would make every step through the rows a few
// per cent slower, so a check asks only when the version may have moved: a statement changed
// rows on the connection, or a transaction was open there. The store asks itself after it
// reads (when another program's change is seen), around its own writes, and before a record
// set lends its keys.
//
// Keys are finer: a write to another table must not make a table's million keys be read
// again, and the record set that added or removed a row applies it to its own keys. So the
// store's own writes say which table's keys they change, and the version records, from the
// one version, when each table's keys last changed and when the file last changed beside the
// store (a change of unknown extent, which may have touched any table's keys).

#include <QString>
#include <QtGlobal>
#include <map>
#include <memory>

struct sqlite3;

namespace qv {

class Database;

namespace sql {
class Stmt;
class Transaction;
} // namespace sql

class ArchiveVersion {
public:
    explicit ArchiveVersion(sqlite3* db);
    ~ArchiveVersion();
    ArchiveVersion(const ArchiveVersion&) = delete;
    ArchiveVersion& operator=(const ArchiveVersion&) = delete;

    // The version as the store last saw it, moved at once by any change of rows made on the
    // connection: cheap enough for every step. Never 0.
    quint64 current();
    // After a read: the version, with another program's change that the read saw.
    quint64 afterRead();
    // After looking at the file, so that another program's change is seen even when nothing
    // was read since. Raises sql::Failure when the file cannot be read.
    quint64 latest();

    // The version at which the file last changed other than by the store's own writes.
    quint64 changedBesideAt();
    // The version at which rows of `table` were last added or removed, as far as the store
    // knows: by its own writes, or by any change beside it.
    quint64 keysChangedAt(const QString& table);

private:
    friend class OwnWrite;
    void ownWriteBegins();
    void ownWriteEnds(const QString& keysOf);

    sqlite3* db_;
    unsigned engineVersion_ = 0; // the engine's data version, as last seen
    qint64 changes_ = 0;         // the connection's count of changed rows then
    bool inTransaction_ = false; // a transaction was open then
    quint64 version_ = 1;
    quint64 besideAt_ = 0;
    bool ownWrite_ = false;             // the version's moves are the store's own
    std::map<QString, quint64> keysAt_; // by table name
    std::unique_ptr<sql::Stmt> look_;   // a read that makes the engine look at the file
};

// A write of the store's own, in one transaction (BEGIN IMMEDIATE) that no other program's
// write can interleave with: a change seen when it begins was made beside the store; the
// version's moves from then until it ends, committed or rolled back, are the store's.
// `keysOf` names the table whose rows it adds or removes, if any.
class OwnWrite {
public:
    explicit OwnWrite(Database& db, QString keysOf = QString());
    ~OwnWrite();
    OwnWrite(const OwnWrite&) = delete;
    OwnWrite& operator=(const OwnWrite&) = delete;
    void commit();

private:
    ArchiveVersion& version_;
    QString keysOf_;
    std::unique_ptr<sql::Transaction> tx_;
    bool committed_ = false;
};

} // namespace qv
