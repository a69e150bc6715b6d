#include "store/ArchiveImport.h"

#include "platform/Dates.h"
#include "platform/Files.h"
#include "store/Database.h"
#include "store/Engine.h"
#include "store/JetArchive.h"
#include "store/StoreError.h"

#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <variant>

namespace qv {

namespace {

const QString kPatients = QStringLiteral("Pazienti");
const QString kAgenda = QStringLiteral("Agenda");
const QString kId = QStringLiteral("ID");
const QString kWeekday = QStringLiteral("giorno");

QString shown(const QString& path) {
    return files::shown(QFileInfo(path).absoluteFilePath());
}

[[noreturn]] void refuse(int number, const QString& text) {
    throw StoreError(number, text + QStringLiteral(" Il file non è stato modificato."));
}

[[noreturn]] void refuse(const jet::Error& e, const QString& path) {
    switch (e.problem()) {
    case jet::Problem::NotJet:
        refuse(err::NotADatabase,
               QStringLiteral("Il file \"%1\" non è un archivio di Access (%2), quindi non può essere "
                              "trasferito.")
                   .arg(shown(path), e.detail()));
    case jet::Problem::Password:
        refuse(err::PasswordProtected,
               QStringLiteral("L'archivio \"%1\" è protetto da una password, quindi Quorvane non può "
                              "leggerlo. Togliere la password aprendo l'archivio con Access (Strumenti, "
                              "Protezione, Annulla impostazione password database) e avviare di nuovo il "
                              "programma.")
                   .arg(shown(path)));
    case jet::Problem::Unreadable:
        refuse(err::CannotOpen, QStringLiteral("Il file \"%1\" non si può leggere (%2): controllare che "
                                               "esista e che se ne abbiano i permessi.")
                                    .arg(shown(path), e.detail()));
    case jet::Problem::Damaged:
        break;
    }
    refuse(err::CannotOpen,
           QStringLiteral("L'archivio \"%1\" è danneggiato e non può essere trasferito senza perdere dati "
                          "(%2). Ripararlo con Access (Strumenti, Utilità database, Compatta e ripristina "
                          "database) oppure usare una sua copia di sicurezza, poi avviare di nuovo il "
                          "programma.")
               .arg(shown(path), e.detail()));
}

[[noreturn]] void foreign(const QString& path, const QString& missing) {
    refuse(err::NotADatabase,
           QStringLiteral("Il file \"%1\" è un archivio di Access, ma non è l'archivio dei pazienti del "
                          "vecchio programma: %2. Probabilmente appartiene a un altro programma. Mettere "
                          "nella cartella del programma il file quorvane.mdb del vecchio programma.")
               .arg(shown(path), missing));
}

[[noreturn]] void writeFailed(const QString& target, const QString& jet, const QString& why) {
    throw StoreError(
        err::CannotCreate,
        QStringLiteral("Non è stato possibile scrivere il nuovo archivio \"%1\": %2. Il file \"%3\" "
                       "non è stato modificato.")
            .arg(shown(target), why, shown(jet)));
}

[[noreturn]] void writeFailed(const QString& target, const QString& jet, const files::Result& result) {
    writeFailed(target, jet,
                result.diskFull() ? QStringLiteral("il disco è pieno")
                                  : QString::fromLocal8Bit(std::strerror(result.error)));
}

// A value as it goes into the new archive.
using Stored = std::variant<std::monostate, qint64, double, QString, QByteArray>;

// Where a column of the Jet table goes in the new one.
struct Mapping {
    int jet = 0;
    QString name; // the new archive's column
    bool known = false;
    bool asText = false; // a text column of the program's own
};

// Fields of the program's own columns hold text; a column it does not know keeps its kind.
Stored stored(const jet::Value& value, bool asText) {
    return std::visit(
        [asText](const auto& v) -> Stored {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, jet::DateTime>) {
                return jetDateText(v.days);
            } else if constexpr (std::is_same_v<T, qint64>) {
                if (asText)
                    return QString::number(v);
                return v;
            } else if constexpr (std::is_same_v<T, double>) {
                if (asText)
                    return QString::number(v, 'g', 17);
                return v;
            } else {
                return v;
            }
        },
        value);
}

void bind(sql::Stmt& stmt, int parameter, const Stored& value) {
    if (const auto* text = std::get_if<QString>(&value))
        stmt.bind(parameter, *text); // an empty text stays empty, never NULL
    else if (const auto* whole = std::get_if<qint64>(&value))
        stmt.bind(parameter, *whole);
    else if (const auto* real = std::get_if<double>(&value))
        stmt.bind(parameter, QVariant(*real));
    else if (const auto* bytes = std::get_if<QByteArray>(&value))
        stmt.bind(parameter, QVariant(*bytes));
    else
        stmt.bind(parameter, QVariant());
}

Stored column(const sql::Stmt& stmt, int column) {
    const QVariant v = stmt.value(column);
    switch (v.typeId()) {
    case QMetaType::LongLong:
        return qint64(v.toLongLong());
    case QMetaType::Double:
        return v.toDouble();
    case QMetaType::QString:
        return v.toString();
    case QMetaType::QByteArray:
        return v.toByteArray();
    default:
        return std::monostate();
    }
}

QStringList columnsOf(sqlite3* db, const QString& table) {
    QStringList out;
    sql::Stmt info(db, QStringLiteral("SELECT name FROM pragma_table_info(?1)"));
    info.bind(1, table);
    while (info.step())
        out << info.text(0);
    return out;
}

QString affinity(const jet::Column& c) {
    if (c.isInteger())
        return QStringLiteral("INTEGER");
    if (c.isReal())
        return QStringLiteral("REAL");
    if (c.isBinary())
        return QStringLiteral("BLOB");
    return QStringLiteral("TEXT");
}

// Maps every column of the Jet table onto the new table: the program's own columns by name,
// whatever their case; any other column is added to the new table with its values.
std::vector<Mapping> mapColumns(sqlite3* db, const jet::Table& table, const QString& target,
                                QStringList& kept) {
    const QStringList known = columnsOf(db, target);
    std::vector<Mapping> out;
    for (size_t i = 0; i < table.columns().size(); ++i) {
        const jet::Column& c = table.columns()[i];
        Mapping m;
        m.jet = int(i);
        for (const QString& k : known)
            if (k.compare(c.name, Qt::CaseInsensitive) == 0) {
                m.name = k;
                m.known = true;
            }
        m.asText = m.known && m.name != kId;
        if (!m.known) {
            m.name = c.name;
            sql::exec(db, QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                              .arg(sql::quoted(target), sql::quoted(c.name), affinity(c)));
            kept << QStringLiteral("%1.%2").arg(target, c.name);
        }
        out.push_back(m);
    }
    return out;
}

QString insertStatement(const QString& table, const std::vector<Mapping>& columns) {
    QStringList names;
    QStringList places;
    for (size_t i = 0; i < columns.size(); ++i) {
        names << sql::quoted(columns[i].name);
        places << QStringLiteral("?%1").arg(i + 1);
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(sql::quoted(table), names.join(QStringLiteral(", ")), places.join(QStringLiteral(", ")));
}

QString selectStatement(const QString& table, const std::vector<Mapping>& columns, const QString& tail) {
    QStringList names;
    for (const Mapping& m : columns)
        names << sql::quoted(m.name);
    return QStringLiteral("SELECT %1 FROM %2 %3")
        .arg(names.join(QStringLiteral(", ")), sql::quoted(table), tail);
}

std::vector<Stored> storedRow(const std::vector<jet::Value>& row, const std::vector<Mapping>& columns) {
    std::vector<Stored> out;
    out.reserve(columns.size());
    for (const Mapping& m : columns)
        out.push_back(stored(row[size_t(m.jet)], m.asText));
    return out;
}

[[noreturn]] void notAsWritten(const QString& what) {
    throw jet::Error(
        jet::Problem::Damaged,
        QStringLiteral("la verifica del nuovo archivio ha trovato una differenza: %1").arg(what));
}

// The patient's ID as a whole number; a row without one cannot be brought across.
qint64 idOf(const std::vector<jet::Value>& row, int idColumn) {
    if (const auto* id = std::get_if<qint64>(&row[size_t(idColumn)]))
        return *id;
    throw jet::Error(jet::Problem::Damaged, QStringLiteral("un paziente non ha il numero ID"));
}

void checkCount(const jet::Table& table, qint64 read) {
    if (read != table.declaredRows())
        throw jet::Error(jet::Problem::Damaged,
                         QStringLiteral("la tabella %1 dichiara %2 righe, ma se ne leggono %3")
                             .arg(table.name())
                             .arg(table.declaredRows())
                             .arg(read));
}

struct Tables {
    std::vector<Mapping> patients;
    std::vector<Mapping> agenda;
    int patientId = -1;
    int agendaDay = -1;   // the Jet column of giorno, -1 when Agenda has none
    QStringList weekdays; // the program's weekday names, as a new archive holds them
    QStringList present;  // weekdays that have a row of Agenda
};

void writeArchive(jet::File& jetFile, sqlite3* db, Tables& t, ImportSummary& summary,
                  const ImportProgress& progress) {
    std::unique_ptr<jet::Table> patients = jetFile.table(kPatients);
    if (!patients)
        foreign(jetFile.path(), QStringLiteral("non ha la tabella Pazienti"));
    t.patientId = patients->column(kId);
    if (t.patientId < 0)
        foreign(jetFile.path(), QStringLiteral("la tabella Pazienti non ha la colonna ID"));
    const jet::Column& idColumn = patients->columns()[size_t(t.patientId)];
    if (!idColumn.isInteger())
        foreign(jetFile.path(), QStringLiteral("la colonna ID della tabella Pazienti non è un numero"));

    sql::Transaction tx(db);
    t.patients = mapColumns(db, *patients, kPatients, summary.keptColumns);
    {
        sql::Stmt insert(db, insertStatement(kPatients, t.patients));
        std::vector<jet::Value> row;
        const qint64 total = patients->declaredRows();
        qint64 done = 0;
        if (progress)
            progress(ImportStage::Copying, 0, total);
        while (patients->next(row)) {
            const qint64 id = idOf(row, t.patientId);
            const std::vector<Stored> values = storedRow(row, t.patients);
            for (size_t i = 0; i < values.size(); ++i)
                bind(insert, int(i + 1), values[i]);
            try {
                insert.step();
            } catch (const sql::Failure& failure) {
                if (sql::isConstraint(failure.code()))
                    refuse(err::DuplicateKey,
                           QStringLiteral("Nell'archivio \"%1\" due pazienti hanno lo stesso numero ID (%2), "
                                          "quindi non può essere trasferito senza confondere le loro schede. "
                                          "Correggere l'archivio con Access (dare un altro numero a uno dei "
                                          "due) e avviare di nuovo il programma.")
                               .arg(shown(jetFile.path()))
                               .arg(id));
                throw;
            }
            insert.reset();
            summary.highestId = done == 0 ? id : std::max(summary.highestId, id);
            ++done;
            if (progress && (done % 250 == 0 || done == total))
                progress(ImportStage::Copying, done, total);
        }
        checkCount(*patients, done);
        summary.patients = done;
    }
    patients.reset();

    // The weekdays as a new archive names them, then the old program's own rows in their place.
    {
        sql::Stmt days(db, QStringLiteral("SELECT \"giorno\" FROM \"Agenda\" ORDER BY rowid"));
        while (days.step())
            t.weekdays << std::get<QString>(column(days, 0));
    }
    sql::exec(db, QStringLiteral("DELETE FROM \"Agenda\""));
    if (std::unique_ptr<jet::Table> agenda = jetFile.table(kAgenda)) {
        t.agendaDay = agenda->column(kWeekday);
        t.agenda = mapColumns(db, *agenda, kAgenda, summary.keptColumns);
        sql::Stmt insert(db, insertStatement(kAgenda, t.agenda));
        std::vector<jet::Value> row;
        qint64 done = 0;
        while (agenda->next(row)) {
            const std::vector<Stored> values = storedRow(row, t.agenda);
            for (size_t i = 0; i < values.size(); ++i)
                bind(insert, int(i + 1), values[i]);
            insert.step();
            insert.reset();
            if (t.agendaDay >= 0)
                if (const auto* day = std::get_if<QString>(&row[size_t(t.agendaDay)]))
                    t.present << *day;
            ++done;
        }
        checkCount(*agenda, done);
        summary.weekdayRows = done;
    }
    // A weekday without a row would load none of its days: it gets one with empty times.
    sql::Stmt add(db, QStringLiteral("INSERT INTO \"Agenda\" (\"giorno\") VALUES (?1)"));
    for (const QString& day : t.weekdays) {
        bool found = false;
        for (const QString& p : t.present)
            found = found || p.compare(day, Qt::CaseInsensitive) == 0;
        if (found)
            continue;
        bind(add, 1, day);
        add.step();
        add.reset();
        summary.addedWeekdays << day;
    }
    tx.commit();
}

bool same(const Stored& a, const Stored& b) {
    if (a.index() != b.index())
        return false;
    if (const auto* x = std::get_if<double>(&a)) // bit for bit, as stored
        return std::memcmp(x, &std::get<double>(b), sizeof(double)) == 0;
    return a == b;
}

// Reads the Jet file a second time and compares every value with the new archive.
void verify(const QString& jetPath, sqlite3* db, const Tables& t, const ImportSummary& summary,
            const ImportProgress& progress) {
    jet::File jetFile(jetPath);
    // One read transaction: the file is locked once, not at every row.
    sql::exec(db, QStringLiteral("BEGIN"));
    std::vector<jet::Value> row;
    {
        std::unique_ptr<jet::Table> patients = jetFile.table(kPatients);
        if (!patients)
            notAsWritten(QStringLiteral("la tabella Pazienti non si trova più"));
        sql::Stmt find(db, selectStatement(kPatients, t.patients,
                                           QStringLiteral("WHERE %1 = ?1").arg(sql::quoted(kId))));
        qint64 rows = 0;
        while (patients->next(row)) {
            const qint64 id = idOf(row, t.patientId);
            find.bind(1, id);
            if (!find.step())
                notAsWritten(QStringLiteral("manca il paziente con ID %1").arg(id));
            const std::vector<Stored> expected = storedRow(row, t.patients);
            for (size_t i = 0; i < expected.size(); ++i)
                if (!same(expected[i], column(find, int(i))))
                    notAsWritten(
                        QStringLiteral("il paziente con ID %1, campo %2").arg(id).arg(t.patients[i].name));
            find.reset();
            ++rows;
            if (progress && (rows % 250 == 0 || rows == summary.patients))
                progress(ImportStage::Checking, rows, summary.patients);
        }
        sql::Stmt count(db, QStringLiteral("SELECT count(*) FROM \"Pazienti\""));
        count.step();
        if (rows != summary.patients || count.int64(0) != rows)
            notAsWritten(QStringLiteral("il numero dei pazienti"));
    }
    sql::Stmt all(
        db, selectStatement(kAgenda,
                            t.agenda.empty() ? std::vector<Mapping>{{0, kWeekday, true, true}} : t.agenda,
                            QStringLiteral("ORDER BY rowid")));
    qint64 rows = 0;
    if (std::unique_ptr<jet::Table> agenda = jetFile.table(kAgenda)) {
        while (agenda->next(row)) {
            if (!all.step())
                notAsWritten(QStringLiteral("mancano righe dell'agenda"));
            const std::vector<Stored> expected = storedRow(row, t.agenda);
            for (size_t i = 0; i < expected.size(); ++i)
                if (!same(expected[i], column(all, int(i))))
                    notAsWritten(QStringLiteral("la riga %1 dell'agenda, campo %2")
                                     .arg(rows + 1)
                                     .arg(t.agenda[i].name));
            ++rows;
        }
    }
    qint64 added = 0;
    while (all.step())
        ++added;
    if (rows != summary.weekdayRows || added != summary.addedWeekdays.size())
        notAsWritten(QStringLiteral("il numero delle righe dell'agenda"));

    sql::Stmt check(db, QStringLiteral("PRAGMA quick_check"));
    if (!check.step() || std::get<QString>(column(check, 0)) != QLatin1String("ok"))
        notAsWritten(QStringLiteral("il controllo d'integrità del nuovo archivio"));
    check.reset();
    sql::exec(db, QStringLiteral("COMMIT"));
}

} // namespace

QString jetDateText(double days) {
    // Access keeps dates from 1 January 100 to 31 December 9999.
    if (!std::isfinite(days) || days < -657435.0 || days >= 2958466.0)
        return QString::number(days, 'g', 17);
    const double whole = std::trunc(days);
    qint64 day = qint64(whole);
    qint64 seconds = qRound64(std::fabs(days - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
    }
    const QString time = QTime(0, 0).addSecs(int(seconds)).toString(QStringLiteral("HH:mm:ss"));
    if (day == 0)
        return time;
    const QString date = dates::shortDate(QDate(1899, 12, 30).addDays(day));
    return seconds == 0 ? date : date + QLatin1Char(' ') + time;
}

ImportSummary importJetArchive(const QString& jetPath, const QString& target,
                               const ImportProgress& progress) {
    ImportSummary summary;
    try {
        jet::File jetFile(jetPath);
        // Checked before anything is made: another program's file gets its message at once.
        {
            std::unique_ptr<jet::Table> patients = jetFile.table(kPatients);
            if (!patients)
                foreign(jetPath, QStringLiteral("non ha la tabella Pazienti"));
            if (patients->column(kId) < 0)
                foreign(jetPath, QStringLiteral("la tabella Pazienti non ha la colonna ID"));
        }
        Database::create(target);
        try {
            Tables tables;
            {
                sql::Connection out = sql::Connection::open(target, sql::Connection::Mode::ReadWrite);
                // Written in one go under a name of its own and flushed as a whole at the end: a
                // crash halfway leaves a file that is thrown away, never one that is used.
                sql::exec(out.handle(), QStringLiteral("PRAGMA journal_mode=MEMORY"));
                sql::exec(out.handle(), QStringLiteral("PRAGMA synchronous=OFF"));
                // Room for the whole archive's pages, so that none is written out twice.
                sql::exec(out.handle(), QStringLiteral("PRAGMA cache_size=-131072"));
                writeArchive(jetFile, out.handle(), tables, summary, progress);
            }
            {
                sql::Connection check = sql::Connection::open(target, sql::Connection::Mode::ReadOnly);
                verify(jetPath, check.handle(), tables, summary, progress);
            }
            if (const files::Result synced = files::syncFile(target); !synced)
                writeFailed(target, jetPath, synced);
        } catch (...) {
            QFile::remove(target);
            QFile::remove(target + QStringLiteral("-journal"));
            throw;
        }
    } catch (const jet::Error& e) {
        refuse(e, jetPath);
    } catch (const sql::Failure& failure) {
        writeFailed(target, jetPath, failure.message());
    }
    return summary;
}

namespace {

// A step on the files that failed: the system's error number.
struct FileStep {
    files::Result result;
};

void check(const files::Result& result) {
    if (!result)
        throw FileStep{result};
}

void removeWithJournal(const QString& path) {
    files::remove(path);
    files::remove(path + QStringLiteral("-journal"));
}

bool sameContent(const QString& a, const QString& b) {
    files::Status sa;
    files::Status sb;
    if (!files::status(a, sa) || !files::status(b, sb) || sa.size != sb.size)
        return false;
    QByteArray ba;
    QByteArray bb;
    return files::readFile(a, ba) && files::readFile(b, bb) && ba == bb;
}

// Gives the Jet file at `database` its kept name as well, never over another file: a second name
// for the same file, or where the file system has none, a copy finished and flushed under a
// temporary name first. A name kept by a conversion that was cut short is used again.
QString keepOriginal(const QString& database) {
    const QString base = keptOriginalName(database);
    const QString stem = base.chopped(4);
    for (int n = 1; n < 1000; ++n) {
        const QString kept = n == 1 ? base : QStringLiteral("%1-%2.mdb").arg(stem).arg(n);
        files::Status existing;
        if (files::linkStatus(kept, existing)) {
            if (sameContent(kept, database))
                return kept;
            continue;
        }
        const files::Result linked = files::link(database, kept);
        if (linked.error == EEXIST)
            continue;
        if (!linked) {
            const QString copy = kept + QStringLiteral(".copia");
            files::remove(copy);
            QByteArray bytes;
            check(files::readFile(database, bytes));
            check(files::writeFile(copy, bytes, nullptr, files::Sync::Yes));
            if (const files::Result moved = files::renameNew(copy, kept); !moved) {
                files::remove(copy);
                if (moved.error == EEXIST)
                    continue;
                check(moved);
            }
        }
        check(files::syncFolder(QFileInfo(kept).absolutePath()));
        return kept;
    }
    throw FileStep{files::Result{EEXIST}};
}

} // namespace

QString keptOriginalName(const QString& database) {
    const QFileInfo info(database);
    QString stem = info.fileName();
    if (stem.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        stem.chop(4);
    return info.absolutePath() + QLatin1Char('/') + stem + QStringLiteral("-originale-Access.mdb");
}

InPlaceSummary convertInPlace(const QString& database, const ImportProgress& progress) {
    const QString temp = database + QStringLiteral(".conversione");
    // What a conversion cut short left behind is never the archive: it starts again.
    removeWithJournal(temp);
    removeWithJournal(temp + QStringLiteral(".new"));
    InPlaceSummary summary;
    summary.import = importJetArchive(database, temp, progress);
    try {
        summary.kept = keepOriginal(database);
        // One step: the name is the Jet file's until it is the finished archive's.
        check(files::rename(temp, database));
    } catch (const FileStep& failed) {
        removeWithJournal(temp);
        throw StoreError(
            err::CannotCreate,
            QStringLiteral("Non è stato possibile mettere al suo posto il nuovo archivio \"%1\": "
                           "%2. Il file non è stato modificato.")
                .arg(shown(database), failed.result.diskFull()
                                          ? QStringLiteral("il disco è pieno")
                                          : QString::fromLocal8Bit(std::strerror(failed.result.error))));
    }
    // The archive is in place; a folder that cannot be flushed now is written out by the system.
    files::syncFolder(QFileInfo(database).absolutePath());
    return summary;
}

} // namespace qv
