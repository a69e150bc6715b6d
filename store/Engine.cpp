#include "store/Engine.h"

#include "platform/ProgramFolder.h"
#include "store/Statement.h"
#include "store/Work.h"

#include <QFile>
#include <sqlite3.h>

namespace qv::sql {

// ---------------------------------------------------------------------------------------
// Failures

QString italianMessage(int code, const QString& engine) {
    switch (code & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("il disco è pieno: liberare spazio sul disco e riprovare");
    case SQLITE_READONLY:
        if (code == SQLITE_READONLY_DBMOVED)
            return QStringLiteral(
                       "il file dell'archivio è stato spostato o cancellato mentre il programma era "
                       "aperto: chiudere il programma e rimettere al suo posto il file %1 "
                       "(o una sua copia di sicurezza) prima di riavviarlo")
                .arg(programfolder::archiveName());
        return QStringLiteral("l'archivio si può soltanto leggere, non modificare: controllare che il file "
                              "%1 e la sua cartella non siano protetti dalla scrittura")
            .arg(programfolder::archiveName());
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("l'archivio è occupato da un altro programma: chiudere l'altro programma e "
                              "riprovare");
    case SQLITE_IOERR:
        return QStringLiteral("errore di lettura o scrittura sul disco: controllare il disco e lo spazio "
                              "libero, poi riprovare");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("l'archivio è danneggiato: ripristinare una copia di sicurezza o rivolgersi "
                              "all'assistenza tecnica");
    case SQLITE_CANTOPEN:
        return QStringLiteral("il file non si può aprire: controllare che esista e che se ne abbiano i "
                              "permessi");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("permesso negato: controllare i permessi del file %1 e della sua cartella")
            .arg(programfolder::archiveName());
    case SQLITE_NOMEM:
        return QStringLiteral("memoria insufficiente: chiudere altri programmi e riprovare");
    case SQLITE_CONSTRAINT:
        // A trigger's own message is already meant for the user.
        if (code == SQLITE_CONSTRAINT_TRIGGER)
            return engine;
        return QStringLiteral("un vincolo dell'archivio non è rispettato (codice %1): rivolgersi "
                              "all'assistenza tecnica")
            .arg(code);
    case SQLITE_ERROR:
        // The engine's own words are English and meant for programmers: an archive that is
        // not laid out as the program expects.
        if (engine.startsWith(QLatin1String("no such ")))
            return QStringLiteral("l'archivio non ha la struttura che il programma si aspetta (codice %1): "
                                  "ripristinare una copia di sicurezza o rivolgersi all'assistenza tecnica")
                .arg(code);
        [[fallthrough]];
    default:
        return QStringLiteral("l'archivio ha segnalato un errore imprevisto (codice %1): riprovare e, se "
                              "l'errore si ripete, rivolgersi all'assistenza tecnica")
            .arg(code);
    }
}

QString noMemoryMessage() {
    return italianMessage(SQLITE_NOMEM, QString());
}

bool isDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool isConstraint(int code) {
    return (code & 0xff) == SQLITE_CONSTRAINT;
}

bool isDiskFull(int code) {
    return (code & 0xff) == SQLITE_FULL;
}

// ---------------------------------------------------------------------------------------
// Connections

Connection Connection::open(const QString& path, Mode mode, Threads threads) {
    int flags = SQLITE_OPEN_READONLY;
    if (mode == Mode::ReadWrite)
        flags = SQLITE_OPEN_READWRITE;
    else if (mode == Mode::Create)
        flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (threads == Threads::OneOnly)
        flags |= SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const int code = db ? sqlite3_extended_errcode(db) : rc;
        const QString why = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        throw Failure(code, why);
    }
    sqlite3_extended_result_codes(db, 1);
    return Connection(db);
}

Connection::~Connection() {
    close();
}

Connection::Connection(Connection&& other) noexcept : db_(other.db_) {
    other.db_ = nullptr;
}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        close();
        db_ = other.db_;
        other.db_ = nullptr;
    }
    return *this;
}

void Connection::close() {
    // A statement still open keeps the file open until it is finalized.
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool Connection::isReadOnly() const {
    return sqlite3_db_readonly(db_, "main") == 1;
}

void Connection::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_, milliseconds);
}

qint64 Connection::changes() const {
    return sqlite3_changes64(db_);
}

void Connection::interrupt() {
    sqlite3_interrupt(db_);
}

void Connection::addLikeFunction() {
    sqlite3_create_function_v2(
        db_, "qv_like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
        [](sqlite3_context* ctx, int, sqlite3_value** args) {
            if (sqlite3_value_type(args[1]) == SQLITE_NULL || sqlite3_value_type(args[0]) == SQLITE_NULL) {
                sqlite3_result_int(ctx, 0);
                return;
            }
            auto* pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
            if (!pattern) {
                const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
                sqlite3_set_auxdata(ctx, 0,
                                    new LikePattern(QString::fromUtf8(p, sqlite3_value_bytes(args[0]))),
                                    [](void* ptr) { delete static_cast<LikePattern*>(ptr); });
                pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
                if (!pattern) {
                    // The engine could not keep the pattern: read it for this value only.
                    const LikePattern once(QString::fromUtf8(p, sqlite3_value_bytes(args[0])));
                    const auto* v = reinterpret_cast<const char*>(sqlite3_value_text(args[1]));
                    sqlite3_result_int(ctx, once.matches(v, sqlite3_value_bytes(args[1])) ? 1 : 0);
                    return;
                }
            }
            const auto* v = reinterpret_cast<const char*>(sqlite3_value_text(args[1]));
            sqlite3_result_int(ctx, pattern->matches(v, sqlite3_value_bytes(args[1])) ? 1 : 0);
        },
        nullptr, nullptr, nullptr);
}

namespace {
// How many of the engine's steps pass between two calls of the progress handler: often
// enough for a busy cursor to come within a few milliseconds, too seldom to cost anything.
constexpr int kStepsBetweenCalls = 1000;

int tellWorking(void*) {
    work::working();
    return 0;
}
} // namespace

void Connection::tellWork() {
    sqlite3_progress_handler(db_, kStepsBetweenCalls, &tellWorking, nullptr);
}

// ---------------------------------------------------------------------------------------
// Statements and transactions

namespace {
[[noreturn]] void fail(sqlite3* db, int code) {
    const int extended = db ? sqlite3_extended_errcode(db) : code;
    const QString message =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    throw Failure(extended ? extended : code, message);
}
} // namespace

Stmt::Stmt(sqlite3* db, const QString& text) : db_(db) {
    const QByteArray utf8 = text.toUtf8();
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        fail(db, rc);
    }
}

Stmt::~Stmt() {
    sqlite3_finalize(stmt_);
}

Stmt::Stmt(Stmt&& other) noexcept : db_(other.db_), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
}

Stmt& Stmt::operator=(Stmt&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        db_ = other.db_;
        stmt_ = other.stmt_;
        other.stmt_ = nullptr;
    }
    return *this;
}

void Stmt::bind(int parameter, const QVariant& value) {
    int rc = SQLITE_OK;
    if (value.isNull() || !value.isValid()) {
        rc = sqlite3_bind_null(stmt_, parameter);
    } else {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(stmt_, parameter, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(stmt_, parameter, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob64(stmt_, parameter, bytes.constData(), sqlite3_uint64(bytes.size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        default:
            bind(parameter, value.toString());
            return;
        }
    }
    if (rc != SQLITE_OK)
        fail(db_, rc);
}

void Stmt::bind(int parameter, qint64 value) {
    const int rc = sqlite3_bind_int64(stmt_, parameter, value);
    if (rc != SQLITE_OK)
        fail(db_, rc);
}

void Stmt::bind(int parameter, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    const int rc = sqlite3_bind_text64(stmt_, parameter, utf8.constData(), sqlite3_uint64(utf8.size()),
                                       SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK)
        fail(db_, rc);
}

bool Stmt::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const int extended = sqlite3_extended_errcode(db_);
    const QString message = QString::fromUtf8(sqlite3_errmsg(db_));
    sqlite3_reset(stmt_);
    throw Failure(extended ? extended : rc, message);
}

void Stmt::run() {
    while (step()) {
    }
    reset();
}

void Stmt::reset() {
    sqlite3_reset(stmt_);
}

int Stmt::columnCount() const {
    return sqlite3_column_count(stmt_);
}

Stmt::Kind Stmt::kind(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER:
        return Kind::Integer;
    case SQLITE_FLOAT:
        return Kind::Real;
    case SQLITE_TEXT:
        return Kind::Text;
    case SQLITE_BLOB:
        return Kind::Blob;
    default:
        return Kind::Null;
    }
}

QByteArrayView Stmt::bytes(int column) const {
    const auto* data = sqlite3_column_type(stmt_, column) == SQLITE_BLOB
                           ? static_cast<const char*>(sqlite3_column_blob(stmt_, column))
                           : reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QByteArrayView(data, data ? sqlite3_column_bytes(stmt_, column) : 0);
}

bool Stmt::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

qint64 Stmt::int64(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

QString Stmt::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(stmt_, column));
}

QVariant Stmt::value(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt_, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, column));
    case SQLITE_TEXT:
        return QVariant(text(column));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(stmt_, column)));
    }
    default:
        return QVariant();
    }
}

void exec(sqlite3* db, const QString& text) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, text.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString why = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(message);
        throw Failure(sqlite3_extended_errcode(db) ? sqlite3_extended_errcode(db) : rc, why);
    }
}

void exec(sqlite3* db, const QString& text, const std::function<void(qint64)>& steps) {
    struct Count {
        const std::function<void(qint64)>& steps;
        qint64 thousands = 0;
    } count{steps};
    sqlite3_progress_handler(
        db, kStepsBetweenCalls,
        [](void* context) {
            auto* c = static_cast<Count*>(context);
            c->steps(++c->thousands);
            work::working();
            return 0;
        },
        &count);
    try {
        exec(db, text);
    } catch (...) {
        sqlite3_progress_handler(db, kStepsBetweenCalls, &tellWorking, nullptr);
        throw;
    }
    sqlite3_progress_handler(db, kStepsBetweenCalls, &tellWorking, nullptr);
}

Transaction::Transaction(sqlite3* db) : db_(db) {
    exec(db_, QStringLiteral("BEGIN IMMEDIATE"));
    open_ = true;
}

Transaction::~Transaction() {
    if (open_ && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    exec(db_, QStringLiteral("COMMIT"));
    open_ = false;
}

QString quoted(const QString& identifier) {
    QString out = identifier;
    out.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

FileKind inspect(const QString& path, QString* why) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (why)
            *why = f.errorString();
        return FileKind::Unreadable;
    }
    const QByteArray head = f.read(100);
    if (head.size() >= 19) {
        const QByteArray signature = head.mid(4, 15);
        if (signature == "Standard Jet DB" || signature == "Standard ACE DB")
            return FileKind::Jet;
    }
    if (head.size() == 100 && head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return FileKind::Database;
    return FileKind::Other;
}

} // namespace qv::sql
