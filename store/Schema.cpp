#include "store/Schema.h"

#include "store/Engine.h"

namespace qv::schema {

namespace {

const char* const kPatientFields[] = {
    "Cognome", "Nome",      "Attività", "Società", "Indirizzo",     "Telefono Casa", "Telefono Ufficio",
    "Data",    "Cellulare", "Fax",      "E mail",  "Data richiamo", "Note"};

const char* const kWeekdays[] = {"lunedì",  "martedì", "mercoledì", "giovedì",
                                 "venerdì", "sabato",  "domenica"};

constexpr int kSlots = 40;

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

} // namespace qv::schema
