// Start-up with a large patient table: the recall reminder walks the card's record set through
// its bound boxes. Timed against one SQLite query that finds the first overdue row.
#include "app/Reminder.h"
#include "app/Screens.h"
#include "bench/bench.h"
#include "bench/generate.h"
#include "card/frmScheda.h"
#include "platform/Platform.h"
#include "store/Database.h"
#include "tests/support/Doubles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>
#include <stdexcept>

namespace {

constexpr int kPatients = 100000;
const QDate kToday(2004, 12, 6);

void check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

// Fills Pazienti with patients whose recall dates all lie after today; with `overdueAtEnd`
// the last one was due a week ago.
void fill(const QString& path, bool overdueAtEnd) {
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* stmt = nullptr;
    check(sqlite3_prepare_v2(
              db,
              "INSERT INTO Pazienti (Cognome, Nome, \"Attività\", \"Società\", \"Data richiamo\")"
              " VALUES (?, ?, ?, ?, ?)",
              -1, &stmt, nullptr),
          db);
    for (int i = 1; i <= kPatients; ++i) {
        const bool overdue = overdueAtEnd && i == kPatients;
        const QDate recall = overdue ? kToday.addDays(-7) : kToday.addDays(1 + i % 700);
        const QByteArray surname = QStringLiteral("Cognome%1").arg(i).toUtf8();
        const QByteArray date = recall.toString(QStringLiteral("dd/MM/yyyy")).toUtf8();
        sqlite3_bind_text(stmt, 1, surname.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, "Nome", -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, "Impiegato", -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 4, "Ditta", -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 5, date.constData(), -1, SQLITE_TRANSIENT);
        check(sqlite3_step(stmt), db);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
}

// The same question in one query: the first row, in stored order, whose day/month/year
// recall date lies before today.
qint64 firstOverdueBySql(const QString& path) {
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    sqlite3_stmt* stmt = nullptr;
    check(sqlite3_prepare_v2(db,
                             "SELECT ID FROM Pazienti WHERE \"Data richiamo\" <> '' AND"
                             " substr(\"Data richiamo\", 7, 4) || substr(\"Data richiamo\", 4, 2) ||"
                             " substr(\"Data richiamo\", 1, 2) < ? ORDER BY rowid LIMIT 1",
                             -1, &stmt, nullptr),
          db);
    const QByteArray today = kToday.toString(QStringLiteral("yyyyMMdd")).toUtf8();
    sqlite3_bind_text(stmt, 1, today.constData(), -1, SQLITE_TRANSIENT);
    qint64 id = 0;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        id = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return id;
}

void runCase(const QString& title, bool overdueAtEnd) {
    QTemporaryDir dir;
    qv::test::QuietPlatform quiet(dir.path(), QDateTime(kToday, QTime(8, 0)));
    qv::Platform& platform = quiet.platform;
    const QString path = platform.path(QStringLiteral("quorvane.mdb"));
    qv::Database::create(path);
    fill(path, overdueAtEnd);

    QElapsedTimer timer;
    timer.start();
    qint64 startUp = 0;
    QString stoppedOn;
    {
        qv::Screens screens(platform);
        qv::RunRecallReminder(screens);
        startUp = timer.nsecsElapsed();
        stoppedOn = screens.scheda().txtFields(0)->text();
    }

    timer.restart();
    const qint64 overdueId = firstOverdueBySql(path);
    const qint64 query = timer.nsecsElapsed();

    qv::bench::report(title, startUp, query);
    const int expectedBoxes = overdueAtEnd ? 1 : 0;
    const QString expectedId = overdueAtEnd ? QString::number(kPatients) : QString();
    const int boxes = int(quiet.msg.prompts.size());
    if (boxes != expectedBoxes || stoppedOn != expectedId || overdueId != (overdueAtEnd ? kPatients : 0))
        std::printf("   unexpected: %d boxes, card on ID \"%s\", query found %lld\n", boxes,
                    stoppedOn.toUtf8().constData(), static_cast<long long>(overdueId));
}

// The plain reading of the recall-date column that the walk needs, in stored order.
qint64 readRecallColumn(const QString& path) {
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    sqlite3_stmt* stmt = nullptr;
    check(sqlite3_prepare_v2(db, "SELECT ID, \"Data richiamo\" FROM Pazienti ORDER BY rowid", -1, &stmt,
                             nullptr),
          db);
    qint64 bytes = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        bytes += sqlite3_column_bytes(stmt, 1) + sqlite3_column_int64(stmt, 0) % 2;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return bytes;
}

// Moves every recall date after today; with `overdueAtEnd` the last patient was due a week ago.
void futureRecalls(const QString& path, bool overdueAtEnd) {
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db,
                       "UPDATE Pazienti SET \"Data richiamo\" = substr('0' || (1 + ID % 28), -2) || '/' ||"
                       " substr('0' || (1 + ID % 12), -2) || '/2031'",
                       nullptr, nullptr, nullptr),
          db);
    if (overdueAtEnd)
        check(sqlite3_exec(
                  db,
                  "UPDATE Pazienti SET \"Data richiamo\" = '29/11/2004' WHERE ID = (SELECT max(ID) FROM "
                  "Pazienti)",
                  nullptr, nullptr, nullptr),
              db);
    sqlite3_close(db);
}

} // namespace

// The program's start-up in this process: the card loaded and its record set walked by the
// reminder, then the start screen's first activation; against the plain read of the recall
// dates in the same run.
qv::bench::StartUp qv::bench::measureStartUp(const QString& folder, bool verbose) {
    qv::test::QuietPlatform quiet(folder, QDateTime(kToday, QTime(8, 0)));
    qv::Platform& platform = quiet.platform;
    const QString path = platform.path(QStringLiteral("quorvane.mdb"));
    StartUp out;
    qv::bench::resetPeak();
    QElapsedTimer timer;
    timer.start();
    {
        qv::Screens screens(platform);
        screens.scheda();
        const qint64 loaded = timer.nsecsElapsed();
        qv::RunRecallReminder(screens);
        const qint64 walked = timer.nsecsElapsed();
        screens.scheda().Data1.Refresh(); // the start screen's first activation
        out.programNs = timer.nsecsElapsed();
        out.peakMb = qv::bench::memoryMb("VmHWM:");
        if (verbose)
            std::printf("   card loaded %.1f ms, walk %.1f ms, refresh %.1f ms\n", loaded / 1e6,
                        (walked - loaded) / 1e6, (out.programNs - walked) / 1e6);
    }
    timer.restart();
    readRecallColumn(path);
    out.plainNs = timer.nsecsElapsed();
    out.boxes = int(quiet.msg.prompts.size());
    return out;
}

namespace {

void reportStartUp(const QString& folder, const QString& title) {
    const qv::bench::StartUp s = qv::bench::measureStartUp(folder, true);
    qv::bench::report(title, s.programNs, s.plainNs);
    std::printf("   peak memory %.0f MB, %d box(es)\n", s.peakMb, s.boxes);
}

// Start-up on a realistic archive (every field filled and varying), recall dates all moved
// after today (the walk's worst case) or one patient overdue at the end.
void runRealistic(int patients, bool overdueAtEnd) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("quorvane.mdb"));
    qv::bench::generateArchive(path, patients);
    futureRecalls(path, overdueAtEnd);
    reportStartUp(dir.path(), QStringLiteral("start-up, %1 realistic patients%2")
                                  .arg(patients)
                                  .arg(overdueAtEnd ? ", last overdue" : ""));
}

} // namespace

namespace qv::bench {

// Start-up with 100,000 patients: the card loaded and its record set walked by the recall
// reminder, against one query that finds the first overdue row.
void runReminder() {
    runCase(QStringLiteral("reminder walk, %1 future recall dates").arg(kPatients), false);
    runCase(QStringLiteral("reminder walk, overdue patient at the end"), true);
    runRealistic(100000, false);
    runRealistic(100000, true);
}

// The same at a million realistic patients (generating them takes a while).
void runReminderMillion() {
    runRealistic(1000000, false);
}

void makeProgramFolder(const QString& folder, int patients) {
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("quorvane.mdb"));
    QFile::remove(path);
    generateArchive(path, patients);
    futureRecalls(path, false);
}

void startUpIn(const QString& folder) {
    reportStartUp(folder, QStringLiteral("start-up in process, %1").arg(QDir(folder).dirName()));
}

qint64 plainRecallRead(const QString& folder) {
    QElapsedTimer timer;
    timer.start();
    readRecallColumn(QDir(folder).filePath(QStringLiteral("quorvane.mdb")));
    return timer.nsecsElapsed();
}

namespace {
const Benchmark registered("reminder", &runReminder);
const Benchmark million("reminder1m", &runReminderMillion);
} // namespace

} // namespace qv::bench
