#include "store/Database.h"

#include "platform/Files.h"
#include "store/ArchiveDamage.h"
#include "store/ArchiveMessages.h"
#include "store/Schema.h"
#include "store/StoreError.h"
#include "store/Work.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace qv {

namespace {

void removeQuietly(const QString& path) {
    files::remove(path);
    files::remove(path + QStringLiteral("-journal"));
}

std::map<QString, std::weak_ptr<Database>>& openFiles() {
    static std::map<QString, std::weak_ptr<Database>> files;
    return files;
}

QString absolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
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
                         archive::cannotCreateMessage(target, QStringLiteral("il file esiste già")));
    if (!QFileInfo(folder).isDir())
        throw StoreError(err::CannotCreate, archive::cannotCreateMessage(target, QString()));

    // Built under a temporary name and renamed only when complete, so that a crash while
    // creating never leaves a half-made archive under the real name.
    const QString temp = target + QStringLiteral(".new");
    removeQuietly(temp);
    try {
        sql::Connection db = sql::Connection::open(temp, sql::Connection::Mode::Create);
        sql::exec(db.handle(), QStringLiteral("PRAGMA synchronous=FULL"));
        sql::Transaction tx(db.handle());
        schema::create(db.handle());
        tx.commit();
    } catch (const sql::Failure& failure) {
        removeQuietly(temp);
        throw StoreError(err::CannotCreate,
                         archive::cannotCreateMessage(target, failure.message(), failure.code()));
    }
    // Never over an archive that appeared meanwhile.
    if (!files::renameNew(temp, target)) {
        removeQuietly(temp);
        throw StoreError(err::CannotCreate, archive::cannotCreateMessage(target, QString()));
    }
    files::syncFolder(folder);
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
    if (!files::isRegularFile(file))
        throw StoreError(err::NotADatabase, archive::damagedMessage(file));

    QString why;
    switch (sql::inspect(file, &why)) {
    case sql::FileKind::Jet:
        throw StoreError(err::NotADatabase, archive::jetMessage(file));
    case sql::FileKind::Other:
        throw StoreError(err::NotADatabase, archive::damagedMessage(file));
    case sql::FileKind::Unreadable:
        throw StoreError(err::CannotOpen, archive::cannotOpenMessage(file, why));
    case sql::FileKind::Database:
        break;
    }
    if (!QFileInfo(file).isWritable())
        throw StoreError(err::CannotOpen, archive::readOnlyMessage(file));
    if (!QFileInfo(info.absolutePath()).isWritable())
        throw StoreError(err::CannotOpen, archive::folderReadOnlyMessage(info.absolutePath()));

    sql::Connection connection;
    try {
        // The program's screens use the archive from the one thread of the user interface.
        connection =
            sql::Connection::open(file, sql::Connection::Mode::ReadWrite, sql::Connection::Threads::OneOnly);
    } catch (const sql::Failure& failure) {
        if (sql::isDamage(failure.code())) {
            archive::markDamaged(file);
            throw StoreError(err::CannotOpen, archive::damagedMessage(file));
        }
        throw StoreError(err::CannotOpen, archive::cannotOpenMessage(file, failure.message()));
    }
    connection.setBusyTimeout(5000);
    if (connection.isReadOnly())
        throw StoreError(err::CannotOpen, archive::readOnlyMessage(file));
    std::shared_ptr<Database> db(new Database(std::move(connection), file));
    try {
        sql::exec(db->handle(), QStringLiteral("PRAGMA synchronous=FULL"));
        db->checkSchema();
        db->db_.tellWork();
        db->updateIndexes();
    } catch (const sql::Failure& failure) {
        if (sql::isDamage(failure.code())) {
            archive::markDamaged(file);
            throw StoreError(err::CannotOpen, archive::damagedMessage(file));
        }
        throw StoreError(err::CannotOpen, archive::cannotOpenMessage(file, failure.message()));
    }
    db->db_.addLikeFunction();

    files[file] = db;
    return db;
}

Database::~Database() = default;

void Database::checkSchema() {
    auto patients = table(QStringLiteral("Pazienti"));
    if (!patients || patients->isView || patients->column(QStringLiteral("ID")) < 0)
        throw StoreError(err::NotADatabase, archive::damagedMessage(path_));
    // ID must be the row's own integer key: the store gives new patients their ID through it.
    if (patients->rowidColumn != patients->column(QStringLiteral("ID")))
        throw StoreError(err::NotADatabase, archive::damagedMessage(path_));
    {
        sql::Stmt withoutRowid(handle(), QStringLiteral("SELECT wr FROM pragma_table_list WHERE name = ?1"));
        withoutRowid.bind(1, patients->name);
        if (withoutRowid.step() && withoutRowid.int64(0) != 0)
            throw StoreError(err::NotADatabase, archive::damagedMessage(path_));
    }
    for (const QString& f : schema::patientFields())
        if (patients->column(f) < 0)
            throw StoreError(err::NotADatabase, archive::damagedMessage(path_));
    auto agenda = table(QStringLiteral("Agenda"));
    if (!agenda || agenda->isView || agenda->column(QStringLiteral("giorno")) < 0)
        throw StoreError(err::NotADatabase, archive::damagedMessage(path_));
}

// An archive made before the indexes that the search, the list and the reminder read gets them
// at its first opening. Without them everything works, only slower: an archive that cannot get
// them now (another program holds it, the disk is full) is opened as it is and gets them at a
// later opening. A damaged one is reported as damaged.
void Database::updateIndexes() {
    if (!schema::indexesToUpdate(handle()))
        return;
    try {
        work::Task task(QStringLiteral("Preparazione dell'archivio per la ricerca e l'elenco dei pazienti: "
                                       "si fa una volta sola."));
        schema::updateIndexes(handle(), [&task](double done) { task.progress(done); });
    } catch (const sql::Failure& failure) {
        if (sql::isDamage(failure.code()))
            throw;
    }
    tables_.clear();
}

std::optional<TableInfo> Database::table(const QString& name) {
    const QString folded = name.toCaseFolded();
    if (auto it = tables_.find(folded); it != tables_.end())
        return it->second;

    TableInfo info;
    {
        sql::Stmt find(handle(),
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

    sql::Stmt columns(handle(), QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?1)"));
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
        sql::Stmt indexes(handle(), QStringLiteral("SELECT name FROM pragma_index_list(?1)"));
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
        sql::Stmt highest(handle(), QStringLiteral("SELECT max(rowid) FROM %1").arg(sql::quoted(table.name)));
        if (highest.step())
            next = highest.int64(0);
    }
    bool counted = false;
    {
        sql::Stmt has(handle(), QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                                               "'sqlite_sequence'"));
        counted = has.step();
    }
    if (counted) {
        sql::Stmt seq(handle(), QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?1"));
        seq.bind(1, table.name);
        if (seq.step())
            next = std::max(next, seq.int64(0));
    }
    if (auto it = lastReserved_.find(table.name); it != lastReserved_.end())
        next = std::max(next, it->second);
    if (next >= std::numeric_limits<qint64>::max())
        throw StoreError(err::KeysExhausted, archive::keysExhaustedMessage(next));
    ++next;
    if (counted) {
        sql::Stmt update(handle(), QStringLiteral("UPDATE sqlite_sequence SET seq = ?1 WHERE name = ?2"));
        update.bind(1, next);
        update.bind(2, table.name);
        update.run();
        if (db_.changes() == 0) {
            sql::Stmt insert(handle(),
                             QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?1, ?2)"));
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
    if (sql::isDamage(failure.code())) {
        archive::markDamaged(path_);
        return archive::damagedMessage(path_);
    }
    return archive::readFailureMessage(path_, failure.message());
}

} // namespace qv
