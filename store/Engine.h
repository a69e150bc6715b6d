#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <functional>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

// The one thin layer over the database engine: everything else in the program reaches the
// engine through these classes, never through the engine's own calls.
namespace qv::sql {

// The engine's description of a failure in the user's words: known causes in Italian, the
// engine's own text otherwise (a trigger's message is kept as it is).
QString italianMessage(int code, const QString& engine);
// The description of a failure for want of memory, whatever part of the program ran out.
QString noMemoryMessage();

// Whether a failure code says the file is damaged: not a database of the engine any more
// (overwritten, cut short) or one whose pages the engine finds broken.
bool isDamage(int code);
// Whether a failure code says the disk is full.
bool isDiskFull(int code);
// Whether a failure code says a write broke a rule of the schema (a key given twice).
bool isConstraint(int code);

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

// One connection to a database file, closed when it goes out of scope. Failures are reported
// with their extended result codes.
class Connection {
public:
    enum class Mode {
        ReadOnly,  // the file is only read
        ReadWrite, // the file must exist
        Create,    // made empty when it does not exist
    };

    // Whether threads other than the one that opened it use the connection. One that only its
    // own thread uses spares the engine's lock around every call (sqlite3_interrupt, which
    // takes no lock, may still come from elsewhere).
    enum class Threads { Any, OneOnly };

    Connection() = default;
    // Opens the file at `path`; raises Failure (nothing left open) when the engine cannot.
    static Connection open(const QString& path, Mode mode, Threads threads = Threads::Any);

    ~Connection();
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return db_; }
    explicit operator bool() const { return db_ != nullptr; }
    void close();

    // Whether the engine opened the file for reading only (the file or its folder is protected).
    bool isReadOnly() const;
    // How long a statement waits for another connection's lock before it fails as busy.
    void setBusyTimeout(int milliseconds);
    // Rows changed by the connection's last INSERT, UPDATE or DELETE.
    qint64 changes() const;
    // Stops the statement running on the connection, from any thread.
    void interrupt();
    // The engine's Like for statements, qv_like(pattern, value): 1 when the value matches.
    void addLikeFunction();
    // From now on statements on the connection tell work::working() while they run.
    void tellWork();

private:
    explicit Connection(sqlite3* db) : db_(db) {}
    sqlite3* db_ = nullptr;
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
    // The engine's storage class of a column of the current row.
    enum class Kind { Integer, Real, Text, Blob, Null };
    Kind kind(int column) const;
    // The bytes of a text or blob as stored (a number as the engine writes it as text), valid
    // until the next step; empty for null.
    QByteArrayView bytes(int column) const;
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
// The same, calling `steps` with the number of the engine's steps made so far (in thousands)
// while it runs, for a statement that may take long.
void exec(sqlite3* db, const QString& text, const std::function<void(qint64)>& steps);

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

// What the first bytes of an existing file say it is.
enum class FileKind {
    Database,   // a database of the engine
    Jet,        // a database in the old Jet or ACE format
    Other,      // anything else (cut short, overwritten, empty)
    Unreadable, // the file cannot be read; `why` says why
};
FileKind inspect(const QString& path, QString* why = nullptr);

} // namespace qv::sql
