#include "store/Database.h"

#include "store/Statement.h"
#include "store/StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <sqlite3.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qv {

// ---------------------------------------------------------------------------------------
// Statements and transactions

namespace sql {

QString italianMessage(int code, const QString& engine) {
    switch (code & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("il disco è pieno: liberare spazio sul disco e riprovare");
    case SQLITE_READONLY:
        if (code == SQLITE_READONLY_DBMOVED)
            return QStringLiteral(
                "il file dell'archivio è stato spostato o cancellato mentre il programma era "
                "aperto: chiudere il programma e rimettere al suo posto il file quorvane.mdb "
                "(o una sua copia di sicurezza) prima di riavviarlo");
        return QStringLiteral("l'archivio si può soltanto leggere, non modificare: controllare che il file "
                              "quorvane.mdb e la sua cartella non siano protetti dalla scrittura");
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
        return QStringLiteral("permesso negato: controllare i permessi del file quorvane.mdb e della sua "
                              "cartella");
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

} // namespace sql

// ---------------------------------------------------------------------------------------
// The program's schema

namespace {

const char* const kPatientFields[] = {
    "Cognome", "Nome",      "Attività", "Società", "Indirizzo",     "Telefono Casa", "Telefono Ufficio",
    "Data",    "Cellulare", "Fax",      "E mail",  "Data richiamo", "Note"};

const char* const kWeekdays[] = {"lunedì",  "martedì", "mercoledì", "giovedì",
                                 "venerdì", "sabato",  "domenica"};

constexpr int kSlots = 40;

QStringList patientFields() {
    QStringList out;
    for (const char* f : kPatientFields)
        out << QString::fromUtf8(f);
    return out;
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString damagedMessage(const QString& path) {
    return QStringLiteral("Il file \"%1\" non è un archivio valido di Quorvane o è danneggiato, quindi il "
                          "programma non può aprirlo. Il file non è stato modificato: ripristinare una copia "
                          "di sicurezza dell'archivio o rivolgersi all'assistenza tecnica.")
        .arg(shown(path));
}

QString jetMessage(const QString& path) {
    return QStringLiteral(
               "Il file \"%1\" è un database nel formato Jet dei vecchi programmi di database per "
               "computer da scrivania, che Quorvane non è in grado di leggere. Il file non è stato "
               "modificato: per usarlo con Quorvane i dati devono prima essere trasferiti in un "
               "archivio nuovo.")
        .arg(shown(path));
}

QString readOnlyMessage(const QString& path) {
    return QStringLiteral("Il file \"%1\" è protetto dalla scrittura, quindi Quorvane non potrebbe salvare i "
                          "dati dei pazienti. Togliere la protezione dalla scrittura al file e avviare di "
                          "nuovo il programma.")
        .arg(shown(path));
}

QString folderReadOnlyMessage(const QString& folder) {
    return QStringLiteral(
               "Nella cartella \"%1\" non è possibile scrivere, quindi Quorvane non potrebbe salvare "
               "i dati dei pazienti. Dare il permesso di scrittura nella cartella e avviare di "
               "nuovo il programma.")
        .arg(shown(folder));
}

QString cannotCreateMessage(const QString& path, const QString& why, int code = 0) {
    if ((code & 0xff) == SQLITE_FULL)
        return QStringLiteral("Non è stato possibile creare l'archivio dei dati \"%1\": il disco è pieno. "
                              "Liberare spazio sul disco e avviare di nuovo il programma.")
            .arg(shown(path));
    QString text = QStringLiteral("Non è stato possibile creare l'archivio dei dati \"%1\": la cartella del "
                                  "programma non esiste o non vi si può scrivere. Installare il programma in "
                                  "una cartella in cui sia possibile scrivere e avviarlo di nuovo.")
                       .arg(shown(path));
    if (!why.isEmpty())
        text += QStringLiteral(" (%1)").arg(why);
    return text;
}

QString cannotOpenMessage(const QString& path, const QString& why) {
    return QStringLiteral("Non è stato possibile aprire l'archivio dei dati \"%1\" (%2). Il file non è stato "
                          "modificato.")
        .arg(shown(path), why);
}

bool isDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

void syncFolder(const QString& folder) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

bool isRegularFile(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
#else
    return QFileInfo(path).isFile();
#endif
}

void removeQuietly(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

// What the first bytes of an existing file say it is.
enum class FileKind { Sqlite, Jet, Other, Unreadable };

FileKind inspect(const QString& path, QString* why) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
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
        return FileKind::Sqlite;
    return FileKind::Other;
}

std::map<QString, std::weak_ptr<Database>>& openFiles() {
    static std::map<QString, std::weak_ptr<Database>> files;
    return files;
}

QString absolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

void createSchema(sqlite3* db) {
    const QStringList fields = patientFields();
    QStringList columns{QStringLiteral("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT")};
    for (const QString& f : fields)
        columns << sql::quoted(f) + QStringLiteral(" TEXT");
    sql::exec(db, QStringLiteral("CREATE TABLE \"Pazienti\" (%1)").arg(columns.join(QStringLiteral(", "))));
    sql::exec(db, QStringLiteral("CREATE UNIQUE INDEX \"PrimaryKey\" ON \"Pazienti\"(\"ID\")"));
    // The fields the search looks through and the list sorts on: the engine reads these small
    // indexes instead of every row with its notes.
    for (const char* field : {"Cognome", "Nome", "Società", "Attività"})
        sql::exec(db, QStringLiteral("CREATE INDEX %1 ON \"Pazienti\"(%2)")
                          .arg(sql::quoted(QStringLiteral("Pazienti_") + QString::fromUtf8(field)),
                               sql::quoted(QString::fromUtf8(field))));

    // The list's query: ID, first name, surname, then the other fields but the notes.
    QStringList viewColumns{QStringLiteral("\"ID\""), sql::quoted(QStringLiteral("Nome")),
                            sql::quoted(QStringLiteral("Cognome"))};
    for (const QString& f : fields)
        if (f != QLatin1String("Nome") && f != QLatin1String("Cognome") && f != QLatin1String("Note"))
            viewColumns << sql::quoted(f);
    sql::exec(db, QStringLiteral("CREATE VIEW \"Pazienti Query\" AS SELECT %1 FROM \"Pazienti\"")
                      .arg(viewColumns.join(QStringLiteral(", "))));

    QStringList agendaColumns{QStringLiteral("\"giorno\" TEXT")};
    QStringList placeholders{QStringLiteral("?")};
    for (int s = 1; s <= kSlots; ++s) {
        agendaColumns << QStringLiteral("\"%1\" TEXT").arg(s);
        placeholders << QStringLiteral("?");
    }
    agendaColumns << QStringLiteral("\"data\" TEXT");
    sql::exec(db,
              QStringLiteral("CREATE TABLE \"Agenda\" (%1)").arg(agendaColumns.join(QStringLiteral(", "))));

    QStringList slotNames;
    for (int s = 1; s <= kSlots; ++s)
        slotNames << QStringLiteral("\"%1\"").arg(s);
    sql::Stmt insert(db,
                     QStringLiteral("INSERT INTO \"Agenda\" (\"giorno\", %1) VALUES (%2)")
                         .arg(slotNames.join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", "))));
    for (const char* day : kWeekdays) {
        insert.bind(1, QString::fromUtf8(day));
        for (int s = 1; s <= kSlots; ++s) {
            const int minutes = 8 * 60 + 15 * (s - 1);
            insert.bind(s + 1, QStringLiteral("%1:%2")
                                   .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                                   .arg(minutes % 60, 2, 10, QLatin1Char('0')));
        }
        insert.run();
    }
}

} // namespace

int TableInfo::column(const QString& field) const {
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void Database::create(const QString& path) {
    const QString target = absolute(path);
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    if (info.exists() || info.isSymLink())
        throw StoreError(err::CannotCreate,
                         cannotCreateMessage(target, QStringLiteral("il file esiste già")));
    if (!QFileInfo(folder).isDir())
        throw StoreError(err::CannotCreate, cannotCreateMessage(target, QString()));

    // Built under a temporary name and renamed only when complete, so that a crash while
    // creating never leaves a half-made archive under the real name.
    const QString temp = target + QStringLiteral(".new");
    removeQuietly(temp);
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(temp.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const int code = db ? sqlite3_extended_errcode(db) : rc;
        const QString why = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        removeQuietly(temp);
        throw StoreError(err::CannotCreate,
                         cannotCreateMessage(target, sql::italianMessage(code, why), code));
    }
    try {
        sqlite3_extended_result_codes(db, 1);
        sql::exec(db, QStringLiteral("PRAGMA synchronous=FULL"));
        sql::Transaction tx(db);
        createSchema(db);
        tx.commit();
    } catch (const sql::Failure& failure) {
        sqlite3_close(db);
        removeQuietly(temp);
        throw StoreError(err::CannotCreate, cannotCreateMessage(target, failure.message(), failure.code()));
    }
    sqlite3_close(db);
    if (!QFile::rename(temp, target)) {
        removeQuietly(temp);
        throw StoreError(err::CannotCreate, cannotCreateMessage(target, QString()));
    }
    syncFolder(folder);
}

std::shared_ptr<Database> Database::open(const QString& path) {
    const QString file = absolute(path);
    auto& files = openFiles();
    for (auto it = files.begin(); it != files.end();) {
        if (it->second.expired())
            it = files.erase(it);
        else
            ++it;
    }
    if (auto it = files.find(file); it != files.end())
        if (auto shared = it->second.lock())
            return shared;

    const QFileInfo info(file);
    if (!info.exists() && !info.isSymLink())
        create(file);
    // Only a regular file can be an archive: reading a pipe or a device would wait for ever.
    if (!isRegularFile(file))
        throw StoreError(err::NotADatabase, damagedMessage(file));

    QString why;
    switch (inspect(file, &why)) {
    case FileKind::Jet:
        throw StoreError(err::NotADatabase, jetMessage(file));
    case FileKind::Other:
        throw StoreError(err::NotADatabase, damagedMessage(file));
    case FileKind::Unreadable:
        throw StoreError(err::CannotOpen, cannotOpenMessage(file, why));
    case FileKind::Sqlite:
        break;
    }
    if (!QFileInfo(file).isWritable())
        throw StoreError(err::CannotOpen, readOnlyMessage(file));
    if (!QFileInfo(info.absolutePath()).isWritable())
        throw StoreError(err::CannotOpen, folderReadOnlyMessage(info.absolutePath()));

    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(file.toUtf8().constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const int code = handle ? sqlite3_extended_errcode(handle) : rc;
        const QString engine = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
        sqlite3_close(handle);
        if (isDamage(code))
            throw StoreError(err::CannotOpen, damagedMessage(file));
        throw StoreError(err::CannotOpen, cannotOpenMessage(file, sql::italianMessage(code, engine)));
    }
    std::shared_ptr<Database> db(new Database(handle, file));
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, 5000);
    if (sqlite3_db_readonly(handle, "main") == 1)
        throw StoreError(err::CannotOpen, readOnlyMessage(file));
    try {
        sql::exec(handle, QStringLiteral("PRAGMA synchronous=FULL"));
        db->checkSchema();
    } catch (const sql::Failure& failure) {
        if (isDamage(failure.code()))
            throw StoreError(err::CannotOpen, damagedMessage(file));
        throw StoreError(err::CannotOpen, cannotOpenMessage(file, failure.message()));
    }

    // The engine's Like, for statements: qv_like(pattern, value).
    sqlite3_create_function_v2(
        handle, "qv_like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
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

    files[file] = db;
    return db;
}

Database::~Database() {
    sqlite3_close_v2(db_);
}

void Database::checkSchema() {
    auto patients = table(QStringLiteral("Pazienti"));
    if (!patients || patients->isView || patients->column(QStringLiteral("ID")) < 0)
        throw StoreError(err::NotADatabase, damagedMessage(path_));
    // ID must be the row's own integer key: the store gives new patients their ID through it.
    if (patients->rowidColumn != patients->column(QStringLiteral("ID")))
        throw StoreError(err::NotADatabase, damagedMessage(path_));
    {
        sql::Stmt withoutRowid(db_, QStringLiteral("SELECT wr FROM pragma_table_list WHERE name = ?1"));
        withoutRowid.bind(1, patients->name);
        if (withoutRowid.step() && withoutRowid.int64(0) != 0)
            throw StoreError(err::NotADatabase, damagedMessage(path_));
    }
    for (const QString& f : patientFields())
        if (patients->column(f) < 0)
            throw StoreError(err::NotADatabase, damagedMessage(path_));
    auto agenda = table(QStringLiteral("Agenda"));
    if (!agenda || agenda->isView || agenda->column(QStringLiteral("giorno")) < 0)
        throw StoreError(err::NotADatabase, damagedMessage(path_));
}

std::optional<TableInfo> Database::table(const QString& name) {
    const QString folded = name.toCaseFolded();
    if (auto it = tables_.find(folded); it != tables_.end())
        return it->second;

    TableInfo info;
    {
        sql::Stmt find(db_,
                       QStringLiteral("SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view') "
                                      "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
        while (find.step()) {
            const QString candidate = find.text(1);
            if (candidate.compare(name, Qt::CaseInsensitive) == 0) {
                info.name = candidate;
                info.isView = find.text(0) == QLatin1String("view");
                break;
            }
        }
    }
    if (info.name.isEmpty())
        return std::nullopt;

    sql::Stmt columns(db_, QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?1)"));
    columns.bind(1, info.name);
    int keyColumns = 0;
    int keyAt = -1;
    QString keyType;
    while (columns.step()) {
        if (columns.int64(2) > 0) {
            ++keyColumns;
            keyAt = int(info.columns.size());
            keyType = columns.text(1);
        }
        info.columns << columns.text(0);
    }
    if (!info.isView && keyColumns == 1 &&
        keyType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
        info.rowidColumn = keyAt;

    if (!info.isView) {
        sql::Stmt indexes(db_, QStringLiteral("SELECT name FROM pragma_index_list(?1)"));
        indexes.bind(1, info.name);
        while (indexes.step())
            info.indexes << indexes.text(0);
    }
    tables_[folded] = info;
    return info;
}

qint64 Database::reserveKey(const TableInfo& table) {
    OwnWrite tx(*this);
    qint64 next = 0;
    {
        sql::Stmt highest(db_, QStringLiteral("SELECT max(rowid) FROM %1").arg(sql::quoted(table.name)));
        if (highest.step())
            next = highest.int64(0);
    }
    bool counted = false;
    {
        sql::Stmt has(db_, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                                          "'sqlite_sequence'"));
        counted = has.step();
    }
    if (counted) {
        sql::Stmt seq(db_, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?1"));
        seq.bind(1, table.name);
        if (seq.step())
            next = std::max(next, seq.int64(0));
    }
    if (auto it = lastReserved_.find(table.name); it != lastReserved_.end())
        next = std::max(next, it->second);
    if (next >= std::numeric_limits<qint64>::max())
        throw StoreError(err::KeysExhausted,
                         QStringLiteral("Non è possibile aggiungere un'altra scheda: l'archivio ha già dato "
                                        "l'identificativo più alto possibile (%1). Le schede esistenti "
                                        "restano invariate; rivolgersi all'assistenza tecnica.")
                             .arg(next));
    ++next;
    if (counted) {
        sql::Stmt update(db_, QStringLiteral("UPDATE sqlite_sequence SET seq = ?1 WHERE name = ?2"));
        update.bind(1, next);
        update.bind(2, table.name);
        update.run();
        if (sqlite3_changes(db_) == 0) {
            sql::Stmt insert(db_, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?1, ?2)"));
            insert.bind(1, table.name);
            insert.bind(2, next);
            insert.run();
        }
    }
    tx.commit();
    lastReserved_[table.name] = next;
    return next;
}

QString Database::readFailure(const sql::Failure& failure) const {
    if (isDamage(failure.code()))
        return damagedMessage(path_);
    return QStringLiteral("Errore nella lettura dell'archivio dei dati \"%1\": %2")
        .arg(shown(path_), failure.message());
}

} // namespace qv
