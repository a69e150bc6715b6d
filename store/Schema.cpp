#include "store/Schema.h"

#include "store/Engine.h"

#include <algorithm>
#include <vector>

namespace qv::schema {

namespace {

const char* const kPatientFields[] = {
    "Cognome", "Nome",      "Attività", "Società", "Indirizzo",     "Telefono Casa", "Telefono Ufficio",
    "Data",    "Cellulare", "Fax",      "E mail",  "Data richiamo", "Note"};

const char* const kWeekdays[] = {"lunedì",  "martedì", "mercoledì", "giovedì",
                                 "venerdì", "sabato",  "domenica"};

constexpr int kSlots = 40;

// The indexes that the search, the list's sort and the reminder read instead of the rows with
// their notes: each holds the fields one of them needs, with the row's ID.
struct Index {
    const char* name;
    std::vector<const char*> fields;
};
const Index kIndexes[] = {
    {"Pazienti_Cognome_Nome", {"Cognome", "Nome"}},         // search on Cognome or Nome, list's sort
    {"Pazienti_Società_Attività", {"Società", "Attività"}}, // search on Società or Attività
    {"Pazienti_Richiamo", {"Data richiamo"}},               // the reminder at start-up
};
// Indexes of single fields that earlier archives got, which those above replace.
const char* const kReplaced[] = {"Pazienti_Cognome", "Pazienti_Nome", "Pazienti_Società",
                                 "Pazienti_Attività"};

QString createIndex(const Index& index) {
    QStringList fields;
    for (const char* f : index.fields)
        fields << sql::quoted(QString::fromUtf8(f));
    return QStringLiteral("CREATE INDEX %1 ON \"Pazienti\"(%2)")
        .arg(sql::quoted(QString::fromUtf8(index.name)), fields.join(QStringLiteral(", ")));
}

QStringList indexNames(sqlite3* db) {
    QStringList out;
    sql::Stmt q(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'"));
    while (q.step())
        out << q.text(0);
    return out;
}

// The engine's steps, in thousands, that building an index takes for each row: read from the
// engine's own counts on generated archives, so that the progress moves evenly.
constexpr double kStepsPerRow = 0.01;

} // namespace

QStringList patientFields() {
    QStringList out;
    for (const char* f : kPatientFields)
        out << QString::fromUtf8(f);
    return out;
}

void create(sqlite3* db) {
    const QStringList fields = patientFields();
    QStringList columns{QStringLiteral("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT")};
    for (const QString& f : fields)
        columns << sql::quoted(f) + QStringLiteral(" TEXT");
    sql::exec(db, QStringLiteral("CREATE TABLE \"Pazienti\" (%1)").arg(columns.join(QStringLiteral(", "))));
    sql::exec(db, QStringLiteral("CREATE UNIQUE INDEX \"PrimaryKey\" ON \"Pazienti\"(\"ID\")"));
    for (const Index& index : kIndexes)
        sql::exec(db, createIndex(index));

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

bool indexesToUpdate(sqlite3* db) {
    const QStringList names = indexNames(db);
    for (const Index& index : kIndexes)
        if (!names.contains(QString::fromUtf8(index.name)))
            return true;
    for (const char* name : kReplaced)
        if (names.contains(QString::fromUtf8(name)))
            return true;
    return false;
}

void updateIndexes(sqlite3* db, const std::function<void(double)>& progress) {
    sql::Transaction tx(db);
    const QStringList names = indexNames(db);
    std::vector<const Index*> missing;
    for (const Index& index : kIndexes)
        if (!names.contains(QString::fromUtf8(index.name)))
            missing.push_back(&index);
    qint64 rows = 0;
    {
        sql::Stmt count(db, QStringLiteral("SELECT count(*) FROM \"Pazienti\""));
        if (count.step())
            rows = count.int64(0);
    }
    const double perIndex = std::max(1.0, double(rows) * kStepsPerRow);
    for (size_t i = 0; i < missing.size(); ++i) {
        const double before = double(i) / double(missing.size());
        progress(before);
        sql::exec(db, createIndex(*missing[i]), [&](qint64 steps) {
            progress(before + std::min(0.99, double(steps) / perIndex) / double(missing.size()));
        });
    }
    for (const char* name : kReplaced)
        if (names.contains(QString::fromUtf8(name)))
            sql::exec(db, QStringLiteral("DROP INDEX %1").arg(sql::quoted(QString::fromUtf8(name))));
    tx.commit();
    progress(1.0);
}

} // namespace qv::schema
