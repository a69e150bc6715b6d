#pragma once

#include "store/Engine.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

namespace qv {

// What the store knows of a table or view of the file.
struct TableInfo {
    QString name; // as written in the file
    bool isView = false;
    QStringList columns;  // in the table's order
    int rowidColumn = -1; // the integer primary key column (ID), -1 when there is none
    QStringList indexes;  // index names on the table

    // Column number of a field name, matched without regard to case; -1 when absent.
    int column(const QString& field) const;
};

// One open database file, shared by every data control that names the same path.
// Each write runs in one transaction with synchronous FULL.
class Database {
public:
    // Opens the file at `path`, creating it with the program's tables when it does not
    // exist. An existing file that is not a database of this program, is damaged or cannot
    // be opened raises StoreError (err::NotADatabase / err::CannotOpen) and is left
    // untouched; a folder where the file cannot be created raises err::CannotCreate.
    // Data controls naming the same path share one connection.
    static std::shared_ptr<Database> open(const QString& path);

    // Creates a new database file with the program's schema (tables Pazienti and Agenda,
    // index PrimaryKey, view "Pazienti Query", the seven weekday rows).
    static void create(const QString& path);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* handle() const { return db_.handle(); }
    const QString& path() const { return path_; }

    // Grows by one on every write through this connection, so that live record sets
    // know when the values they read ahead are stale. bumpGeneration marks a write the
    // store did not make itself: anything may have changed, keys too.
    quint64 generation() const { return generation_; }
    void bumpGeneration() {
        ++generation_;
        ++unknownWrites_;
    }
    // Grows when rows of `table` were added or removed through this connection (or by a
    // write the store did not make): record sets holding the table's keys read them again,
    // but the one that made the change applies it to its own keys.
    quint64 keyGeneration(const QString& table) const {
        const auto it = keyWrites_.find(table);
        return unknownWrites_ + (it == keyWrites_.end() ? 0 : it->second);
    }
    void rowsChanged() { ++generation_; }
    // Rows changed by the store's own writes through this connection; the connection's
    // other changes were made by statements the store did not run.
    qint64 accountedChanges() const { return accounted_; }
    void accountChanges(qint64 rows) { accounted_ += rows; }
    void keysChanged(const QString& table) {
        ++generation_;
        ++keyWrites_[table];
    }

    // A table or view of the file, its name matched without regard to case.
    std::optional<TableInfo> table(const QString& name);

    // Gives the key of a new row of `table` at once: one more than the highest key ever
    // given (the file's counter, the highest stored key and those given in this run), and
    // records it in the file's counter so that it is never given again.
    qint64 reserveKey(const TableInfo& table);

    // The Italian description of a failure to read the file; damage it reports is marked
    // (store/ArchiveDamage.h), so that nothing more is written to the file.
    QString readFailure(const sql::Failure& failure) const;

private:
    Database(sql::Connection db, const QString& path) : db_(std::move(db)), path_(path) {}
    void checkSchema();

    sql::Connection db_;
    QString path_;
    quint64 generation_ = 0;
    quint64 unknownWrites_ = 0;
    qint64 accounted_ = 0;
    std::map<QString, quint64> keyWrites_;   // by table name
    std::map<QString, TableInfo> tables_;    // by case-folded name
    std::map<QString, qint64> lastReserved_; // by table name
};

} // namespace qv
