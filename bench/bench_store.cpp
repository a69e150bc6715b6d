// The record store against plain SQLite, on a database of 100,000 patients.
#include "bench/bench.h"

#include "store/DataControl.h"
#include "store/Database.h"
#include "tests/support/BoundBox.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>

namespace qv::bench {

namespace {

constexpr int kPatients = 100000;
constexpr int kSeeks = 10000;

// The card's boxes: every field but the notes.
const char* const kCardFields[] = {
    "ID",   "Cognome",   "Nome", "Attività", "Società",      "Indirizzo", "Telefono Casa", "Telefono Ufficio",
    "Data", "Cellulare", "Fax",  "E mail",   "Data richiamo"};

QString cardColumns() {
    QStringList out;
    for (const char* f : kCardFields)
        out << sql::quoted(QString::fromUtf8(f));
    return out.join(QStringLiteral(", "));
}

void build(const QString& path) {
    static const char* const surnames[] = {
        "Rossi",    "Russo", "Ferrari",  "Esposito", "Bianchi", "Romano",  "Colombo",  "Ricci",
        "Marino",   "Greco", "Bruno",    "Gallo",    "Conti",   "De Luca", "Mancini",  "Costa",
        "Giordano", "Rizzo", "Lombardi", "Moretti",  "Nicolò",  "D'Amico", "Rossetti", "Del Rosso"};
    static const char* const names[] = {"Mario", "Giuseppe", "Anna",  "Giulia", "Luca",  "Francesca",
                                        "Marco", "Chiara",   "Paolo", "Sara",   "Elena", "Andrea"};
    QRandomGenerator random(20041206);
    auto db = Database::open(path);
    sql::exec(db->handle(), QStringLiteral("BEGIN"));
    sql::Stmt insert(db->handle(),
                     QString::fromUtf8("INSERT INTO Pazienti (Cognome, Nome, Attività, Società, "
                                       "Indirizzo, \"Telefono Casa\", \"Telefono Ufficio\", Data, "
                                       "Cellulare, Fax, \"E mail\", \"Data richiamo\", Note) VALUES "
                                       "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)"));
    for (int i = 0; i < kPatients; ++i) {
        const QString surname = QString::fromUtf8(surnames[random.bounded(int(std::size(surnames)))]) +
                                (i % 3 ? QString() : QString::number(i % 97));
        insert.bind(1, surname);
        insert.bind(2, QString::fromUtf8(names[random.bounded(int(std::size(names)))]));
        insert.bind(3, i % 4 ? QVariant() : QVariant(QStringLiteral("Impiegato")));
        insert.bind(4, i % 5 ? QVariant() : QVariant(QStringLiteral("Ditta %1").arg(i % 50)));
        insert.bind(5, QStringLiteral("Via Roma %1, Torino").arg(i % 300));
        insert.bind(6, QStringLiteral("011 %1").arg(1000000 + i));
        insert.bind(7, QVariant());
        insert.bind(8, QStringLiteral("%1/%2/2004")
                           .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                           .arg(1 + i % 12, 2, 10, QLatin1Char('0')));
        insert.bind(9, QStringLiteral("333 %1").arg(2000000 + i));
        insert.bind(10, QVariant());
        insert.bind(11, QStringLiteral("paziente%1@example.it").arg(i));
        insert.bind(12, i % 10 ? QVariant() : QVariant(QStringLiteral("15/03/2005")));
        insert.bind(13, QStringLiteral("{\\rtf1\\ansi visita %1: controllo, pulizia e radiografia.}").arg(i));
        insert.run();
    }
    sql::exec(db->handle(), QStringLiteral("COMMIT"));
}

sqlite3* openPlain(const QString& path) {
    sqlite3* h = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &h, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(h, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    return h;
}

// Reads every column of the current row as the program shows it: as text.
qint64 readRowAsText(const sql::Stmt& q, int columns) {
    qint64 chars = 0;
    for (int c = 0; c < columns; ++c) {
        const QVariant v = q.value(c);
        chars += v.isNull() ? 0 : v.toString().size();
    }
    return chars;
}

} // namespace

void runStore() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quorvane.mdb"));
    QElapsedTimer t;
    t.start();
    build(path);
    std::printf("built %d patients in %.0f ms (%.1f MB)\n", kPatients, t.nsecsElapsed() / 1e6,
                QFileInfo(path).size() / 1e6);

    std::vector<qint64> seekKeys;
    QRandomGenerator random(27);
    for (int i = 0; i < kSeeks; ++i)
        seekKeys.push_back(1 + random.bounded(kPatients));

    // Opening.
    DataControl card;
    std::vector<test::BoundBox*> boxes;
    for (const char* f : kCardFields)
        boxes.push_back(
            static_cast<test::BoundBox*>(card.bind(std::make_unique<test::BoundBox>(QString::fromUtf8(f)))));
    card.setDatabaseName(path);
    card.setRecordSource(QStringLiteral("Pazienti"));
    t.restart();
    RecordSet& rs = card.Recordset();
    const qint64 openProgram = t.nsecsElapsed();

    t.restart();
    sqlite3* plain = openPlain(path);
    qint64 plainChars = 0;
    {
        sql::Stmt first(plain,
                        QStringLiteral("SELECT %1 FROM Pazienti ORDER BY rowid LIMIT 1").arg(cardColumns()));
        if (first.step())
            plainChars += readRowAsText(first, int(std::size(kCardFields)));
    }
    const qint64 openPlainNs = t.nsecsElapsed();
    report(QStringLiteral("open, first patient on the card"), openProgram, openPlainNs);

    // Walking every patient through the card's 13 boxes.
    t.restart();
    qint64 programChars = 0;
    int walked = 0;
    while (!rs.Eof()) {
        for (const test::BoundBox* b : boxes)
            programChars += b->text.size();
        ++walked;
        rs.MoveNext();
    }
    const qint64 walkProgram = t.nsecsElapsed();
    t.restart();
    int plainWalked = 0;
    plainChars = 0;
    {
        sql::Stmt all(plain, QStringLiteral("SELECT %1 FROM Pazienti ORDER BY rowid").arg(cardColumns()));
        while (all.step()) {
            plainChars += readRowAsText(all, int(std::size(kCardFields)));
            ++plainWalked;
        }
    }
    const qint64 walkPlain = t.nsecsElapsed();
    report(QStringLiteral("MoveNext over %1 patients, 13 boxes").arg(walked), walkProgram, walkPlain);
    if (walked != plainWalked || programChars != plainChars)
        std::printf("  MISMATCH: %d/%d rows, %lld/%lld characters\n", walked, plainWalked,
                    (long long)programChars, (long long)plainChars);

    // Seek by key.
    rs.setIndex(QStringLiteral("PrimaryKey"));
    t.restart();
    qint64 found = 0;
    for (qint64 k : seekKeys) {
        rs.Seek(QStringLiteral("="), QVariant(QStringLiteral("%1").arg(k, 6)));
        found += boxes[0]->text.toLongLong();
    }
    const qint64 seekProgram = t.nsecsElapsed();
    t.restart();
    qint64 plainFound = 0;
    {
        sql::Stmt one(plain, QStringLiteral("SELECT %1 FROM Pazienti WHERE ID = ?1").arg(cardColumns()));
        for (qint64 k : seekKeys) {
            one.bind(1, k);
            if (one.step()) {
                readRowAsText(one, int(std::size(kCardFields)));
                plainFound += one.int64(0);
            }
            one.reset();
        }
    }
    const qint64 seekPlain = t.nsecsElapsed();
    report(QStringLiteral("Seek \"=\" x %1 (per seek: %2 / %3 us)")
               .arg(kSeeks)
               .arg(seekProgram / 1e3 / kSeeks, 0, 'f', 2)
               .arg(seekPlain / 1e3 / kSeeks, 0, 'f', 2),
           seekProgram, seekPlain);
    if (found != plainFound)
        std::printf("  MISMATCH in Seek\n");

    // The search screen's statement, walked to its end reading surname, first name and ID.
    DataControl search;
    search.setDatabaseName(path);
    t.restart();
    search.setRecordSource(QStringLiteral("Select * From Pazienti Where Cognome   Like '*ros*'"));
    search.Refresh();
    RecordSet& result = search.Recordset();
    int matches = 0;
    qint64 searchChars = 0;
    while (!result.Eof()) {
        searchChars += result.Fields(QStringLiteral("cognome")).toString().size() +
                       result.Fields(QStringLiteral("Nome")).toString().size() +
                       result.Fields(QStringLiteral("Id")).toString().size();
        ++matches;
        result.MoveNext();
    }
    const qint64 searchProgram = t.nsecsElapsed();
    t.restart();
    int plainMatches = 0;
    qint64 plainSearchChars = 0;
    {
        sql::Stmt like(plain, QStringLiteral("SELECT * FROM Pazienti WHERE Cognome LIKE ?1"));
        like.bind(1, QStringLiteral("%ros%"));
        while (like.step()) {
            readRowAsText(like, like.columnCount());
            plainSearchChars += like.text(1).size() + like.text(2).size() + like.text(0).size();
            ++plainMatches;
        }
    }
    const qint64 searchPlain = t.nsecsElapsed();
    report(QStringLiteral("Like '*ros*' on Cognome, %1 matches walked").arg(matches), searchProgram,
           searchPlain);
    if (matches != plainMatches || searchChars != plainSearchChars)
        std::printf("  MISMATCH: %d/%d matches\n", matches, plainMatches);

    sqlite3_close(plain);
}

namespace {
const Benchmark registered("store", &runStore);
} // namespace

} // namespace qv::bench
