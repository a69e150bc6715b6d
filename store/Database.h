#pragma once

#include "store/ArchiveVersion.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

namespace qv {

namespace sql {

// The engine's description of a failure in the user's words: known causes in Italian, the
// engine's own text otherwise (a trigger's message is kept as it is).
QString italianMessage(int code, const QString& engine);

// A failure reported by the engine: its extended result code and its description in the
// user's words (italianMessage of the engine's text).
class Failure : public std::runtime_error {
public:
    Failure(int code, const QString& engineText)
        : Failure(code, engineText, italianMessage(code, engineText)) {}
    int code() const { return code_; }
    int primaryCode() const { return code_ & 0xff; }
    const QString& message() const { return message_; }

private:
    Failure(int code, const QString&, const QString& message)
        : std::runtime_error(message.toStdString()), code_(code), message_(message) {}
    int code_;
    QString message_;
};

// One prepared statement, finalized when it goes out of scope. Values are bound by
// parameter number (from 1), never pasted into the text.
class Stmt {
public:
    Stmt(sqlite3* db, const QString& text);
    ~Stmt();
    Stmt(Stmt&& other) noexcept;
    Stmt& operator=(Stmt&& other) noexcept;
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    void bind(int parameter, const QVariant& value);
    void bind(int parameter, qint64 value);
    void bind(int parameter, const QString& value);

    // Steps once: true on a row, false when done. A failure resets the statement and raises.
    bool step();
    // Steps until done, then resets.
    void run();
    // Ready to run again; bindings are kept.
    void reset();

    int columnCount() const;
    bool isNull(int column) const;
    qint64 int64(int column) const;
    QString text(int column) const;
    QVariant value(int column) const;

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

// Runs statement text that takes no parameters (schema, pragmas, transaction control).
void exec(sqlite3* db, const QString& text);

// One write transaction (BEGIN IMMEDIATE). Rolled back unless commit() succeeded.
class Transaction {
public:
    explicit Transaction(sqlite3* db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    sqlite3* db_;
    bool open_ = false;
};

// A table, view or column name as the engine reads it, whatever characters it holds.
QString quoted(const QString& identifier);

} // namespace sql

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

    sqlite3* handle() const { return db_; }
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

    // The Italian description of a failure to read the file.
    QString readFailure(const sql::Failure& failure) const;

private:
    Database(sqlite3* db, const QString& path) : db_(db), path_(path), version_(db) {}
    void checkSchema();

    sqlite3* db_ = nullptr;
    QString path_;
    ArchiveVersion version_;
    std::map<QString, TableInfo> tables_;    // by case-folded name
    std::map<QString, qint64> lastReserved_; // by table name
};

} // namespace qv
