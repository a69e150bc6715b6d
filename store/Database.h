#pragma once

#include "store/ArchiveVersion.h"
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

    // The archive's version, which moves on every change of the file; what a record set read
    // holds while it has not moved (see store/ArchiveVersion.h). The store's own writes run
    // in an OwnWrite.
    ArchiveVersion& version() { return version_; }

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
    Database(sql::Connection db, const QString& path)
        : db_(std::move(db)), path_(path), version_(db_.handle()) {}
    void checkSchema();
    void updateIndexes();

    sql::Connection db_;
    QString path_;
    ArchiveVersion version_;
    std::map<QString, TableInfo> tables_;    // by case-folded name
    std::map<QString, qint64> lastReserved_; // by table name
};

} // namespace qv
