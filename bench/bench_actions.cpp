// The card's actions on a large archive, each against plain SQLite doing the same data work:
// moving to the next patient, "Nuovo" (AddNew and Update), a seek by ID, the start screen's
// refresh, and a write right after another table's write.
#include "app/Screens.h"
#include "bench/bench.h"
#include "bench/generate.h"
#include "card/frmScheda.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "store/DataControl.h"
#include "store/Database.h"
#include "tests/support/BoundBox.h"
#include "tests/support/Doubles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sqlite3.h>

namespace qv::bench {

namespace {

const char* const kCardColumns =
    "ID, Cognome, Nome, \"Attività\", \"Società\", Indirizzo, \"Telefono Casa\", "
    "\"Telefono Ufficio\", Data, Cellulare, Fax, \"E mail\", \"Data richiamo\"";

// Plain SQLite on its own connection, writing as the program does (one transaction a write,
// synchronous FULL).
class Plain {
public:
    explicit Plain(const QString& path) {
        sqlite3_open(path.toUtf8().constData(), &db_);
        exec("PRAGMA synchronous=FULL");
    }
    ~Plain() { sqlite3_close(db_); }
    void exec(const char* text) { sqlite3_exec(db_, text, nullptr, nullptr, nullptr); }
    sqlite3_stmt* prepare(const QByteArray& text) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, text.constData(), -1, &stmt, nullptr);
        return stmt;
    }
    // Steps through the rows, touching every column as a screen filling its boxes would.
    static qint64 readAll(sqlite3_stmt* stmt) {
        qint64 bytes = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                bytes += sqlite3_column_bytes(stmt, c);
        sqlite3_reset(stmt);
        return bytes;
    }

private:
    sqlite3* db_ = nullptr;
};

qint64 timed(int times, const std::function<void(int)>& work) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < times; ++i)
        work(i);
    return timer.nsecsElapsed() / times;
}

void reportEach(const QString& what, qint64 programNs, qint64 plainNs) {
    report(what, programNs, plainNs);
    if (programNs > 10 * 1000 * 1000)
        std::printf("   over 10 ms\n");
}

void runActions(const QString& folder) {
    test::QuietPlatform quiet(folder, QDateTime(QDate(2004, 12, 6), QTime(8, 0)));
    Platform& platform = quiet.platform;
    const QString path = platform.path(QStringLiteral("quorvane.mdb"));
    Screens screens(platform);
    frmScheda& card = screens.scheda();
    RecordSet& records = card.Data1.Recordset();
    const int patients = records.RecordCount();
    std::printf("   %d patients\n", patients);
    Plain plain(path);

    // "Elenco" moves the card on: MoveNext through the card's 13 bound boxes.
    records.MoveFirst();
    const qint64 moveNext = timed(500, [&](int) { records.MoveNext(); });
    sqlite3_stmt* next = plain.prepare(QByteArray("SELECT ") + kCardColumns +
                                       " FROM Pazienti WHERE rowid > ?1 ORDER BY rowid LIMIT 1");
    const qint64 plainNext = timed(500, [&](int i) {
        sqlite3_bind_int64(next, 1, i + 1);
        Plain::readAll(next);
    });
    reportEach(QStringLiteral("card MoveNext"), moveNext, plainNext);

    // A seek by ID, as the search and the list open a patient's card.
    QRandomGenerator random(7);
    std::vector<qint64> ids(200);
    for (qint64& id : ids)
        id = 1 + random.bounded(patients);
    records.setIndex(QStringLiteral("PrimaryKey"));
    const qint64 seek =
        timed(int(ids.size()), [&](int i) { records.Seek(QStringLiteral("="), ids[size_t(i)]); });
    sqlite3_stmt* byId = plain.prepare(QByteArray("SELECT ") + kCardColumns + " FROM Pazienti WHERE ID = ?1");
    const qint64 plainSeek = timed(int(ids.size()), [&](int i) {
        sqlite3_bind_int64(byId, 1, ids[size_t(i)]);
        Plain::readAll(byId);
    });
    reportEach(QStringLiteral("card Seek by ID"), seek, plainSeek);

    // "Nuovo": the card goes to the first patient, adds a row, the user types a surname, Update.
    const qint64 added = timed(20, [&](int i) {
        records.MoveFirst();
        records.AddNew();
        card.txtFields(1)->setText(QStringLiteral("Nuovo%1").arg(i));
        records.Update();
    });
    sqlite3_stmt* first =
        plain.prepare(QByteArray("SELECT ") + kCardColumns + " FROM Pazienti ORDER BY rowid LIMIT 1");
    sqlite3_stmt* highest = plain.prepare("SELECT max(rowid) FROM Pazienti");
    sqlite3_stmt* counter = plain.prepare("UPDATE sqlite_sequence SET seq = ?1 WHERE name = 'Pazienti'");
    sqlite3_stmt* insert = plain.prepare("INSERT INTO Pazienti (ID, Cognome) VALUES (?1, ?2)");
    const qint64 plainAdded = timed(20, [&](int i) {
        Plain::readAll(first);
        plain.exec("BEGIN IMMEDIATE");
        sqlite3_step(highest);
        const qint64 id = sqlite3_column_int64(highest, 0) + 1;
        sqlite3_reset(highest);
        sqlite3_bind_int64(counter, 1, id);
        sqlite3_step(counter);
        sqlite3_reset(counter);
        plain.exec("COMMIT");
        plain.exec("BEGIN IMMEDIATE");
        const QByteArray name = QStringLiteral("Piano%1").arg(i).toUtf8();
        sqlite3_bind_int64(insert, 1, id);
        sqlite3_bind_text(insert, 2, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
        plain.exec("COMMIT");
    });
    reportEach(QStringLiteral("card Nuovo (AddNew, a surname, Update)"), added, plainAdded);

    // The start screen's refresh each time it comes back, after the card stored an edit.
    card.Data1.Refresh(); // once already: the plain writes above came from another connection
    qint64 refresh = 0;
    for (int i = 0; i < 20; ++i) {
        card.txtFields(2)->setText(QStringLiteral("Rinfresco%1").arg(i));
        card.Data1.UpdateRecord();
        QElapsedTimer only;
        only.start();
        card.Data1.Refresh();
        refresh += only.nsecsElapsed();
    }
    refresh /= 20;
    sqlite3_stmt* count = plain.prepare("SELECT count(*) FROM Pazienti");
    const qint64 plainRefresh = timed(20, [&](int) {
        Plain::readAll(first);
        Plain::readAll(count);
    });
    reportEach(QStringLiteral("start screen's refresh (with a card write before)"), refresh, plainRefresh);

    // A write of the card right after the agenda wrote (and, first, on its own).
    DataControl agenda;
    agenda.setDatabaseName(path);
    agenda.setRecordSource(QStringLiteral("Agenda"));
    agenda.setRecordsetType(RecordSet::Type::Dynaset);
    // One agenda slot, bound as the agenda's boxes are.
    auto* slot =
        static_cast<test::BoundBox*>(agenda.bind(std::make_unique<test::BoundBox>(QStringLiteral("1"))));
    agenda.Recordset().MoveFirst();
    RecordSet& refreshed = card.Data1.Recordset(); // the refreshes opened it anew
    refreshed.MoveFirst();
    const qint64 alone = timed(20, [&](int i) {
        card.txtFields(1)->setText(QStringLiteral("Solo%1").arg(i));
        card.Data1.UpdateRecord();
    });
    qint64 afterOther = 0;
    for (int i = 0; i < 20; ++i) {
        slot->text = QStringLiteral("Visita %1").arg(i);
        slot->changed = true;
        agenda.UpdateRecord();
        card.txtFields(1)->setText(QStringLiteral("Dopo%1").arg(i));
        QElapsedTimer only;
        only.start();
        card.Data1.UpdateRecord();
        refreshed.MoveNext();
        afterOther += only.nsecsElapsed();
    }
    afterOther /= 20;
    sqlite3_stmt* update = plain.prepare("UPDATE Pazienti SET Cognome = ?1 WHERE rowid = ?2");
    const qint64 plainWrite = timed(20, [&](int i) {
        plain.exec("BEGIN IMMEDIATE");
        const QByteArray name = QStringLiteral("Piano%1").arg(i).toUtf8();
        sqlite3_bind_text(update, 1, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(update, 2, 1 + i);
        sqlite3_step(update);
        sqlite3_reset(update);
        plain.exec("COMMIT");
        Plain::readAll(next);
    });
    reportEach(QStringLiteral("card write, on its own"), alone, plainWrite);
    reportEach(QStringLiteral("card write and MoveNext after the agenda wrote"), afterOther, plainWrite);
    for (sqlite3_stmt* stmt : {next, byId, first, highest, counter, insert, count, update})
        sqlite3_finalize(stmt);
}

} // namespace

void cardActionsOn(const QString& folder) {
    // On a copy: the actions add and change patients.
    QTemporaryDir dir;
    QFile::copy(QDir(folder).filePath(QStringLiteral("quorvane.mdb")),
                dir.filePath(QStringLiteral("quorvane.mdb")));
    runActions(dir.path());
}

namespace {
void runActionsMillion() {
    QTemporaryDir dir;
    makeProgramFolder(dir.path(), 1000000);
    runActions(dir.path());
}
const Benchmark registered("actions1m", &runActionsMillion);
} // namespace

} // namespace qv::bench
