// The daily backup under Backup/ and getting the practice back from it after a damaged archive.
#include "app/Backup.h"
#include "app/Screens.h"
#include "app/Startup.h"
#include "store/Database.h"
#include "tests/support/AsUser.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/Files.h"
#include "tests/support/Sql.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using namespace qv;
using namespace qv::test;

namespace {

const QString kDay = QStringLiteral("lunedì 6 dicembre 2004");

QString backupOf(FakePlatform& fp, const char* date, const QString& name = QString()) {
    const QString folder = backups::folderPath(fp.platform.folder) + QLatin1Char('/') + QLatin1String(date);
    return name.isEmpty() ? folder : folder + QLatin1Char('/') + name;
}

DailyBackup::Outcome backUp(FakePlatform& fp) {
    DailyBackup backup(fp.platform);
    backup.start();
    backup.startScreenShown();
    backup.waitForEnd();
    return backup.outcome();
}

// The box cuts a line past a hundred characters: nothing the program says may be lost to that.
void expectShortLines(const QString& prompt) {
    for (const QString& line : prompt.split(QStringLiteral("\r\n")))
        EXPECT_LE(line.size(), 100) << line.toStdString();
}

} // namespace

TEST(DailyBackup, firstStartOfTheDayCopiesDatabaseAndAgendaSecondStartDoesNot) {
    FakePlatform fp;
    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    execSql(fp.dbPath(), "INSERT INTO Pazienti (Cognome, Nome) VALUES ('Rossi', 'Mario')");
    ASSERT_TRUE(writeFile(fp.platform.path("Agd/" + kDay), "\"Rossi 9:00\"\r\n"));

    EXPECT_EQ(DailyBackup::Outcome::Made, backUp(fp));
    EXPECT_EQ(1, patientCount(backupOf(fp, "2004-12-06", "quorvane.mdb")));
    EXPECT_EQ("ok", queryText(backupOf(fp, "2004-12-06", "quorvane.mdb"), "PRAGMA integrity_check"));
    EXPECT_EQ(QByteArray("\"Rossi 9:00\"\r\n"), readFile(backupOf(fp, "2004-12-06", "Agd/" + kDay)));

    execSql(fp.dbPath(), "INSERT INTO Pazienti (Cognome, Nome) VALUES ('Bianchi', 'Anna')");
    EXPECT_EQ(DailyBackup::Outcome::NotNeeded, backUp(fp)) << "the same day by the program's clock";
    EXPECT_EQ(1, patientCount(backupOf(fp, "2004-12-06", "quorvane.mdb")));

    fp.clock.set(QDate(2004, 12, 7));
    EXPECT_EQ(DailyBackup::Outcome::Made, backUp(fp));
    EXPECT_EQ(2, patientCount(backupOf(fp, "2004-12-07", "quorvane.mdb")));
    EXPECT_EQ(
        QStringList({"2004-12-06", "2004-12-07"}),
        QDir(backups::folderPath(fp.platform.folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot));
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST(DailyBackup, theCopyIsOneConsistentStateWhileTheProgramWrites) {
    FakePlatform fp;
    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    execSql(fp.dbPath(),
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "INSERT INTO Pazienti (Cognome, Note) SELECT 'Paziente ' || i, printf('%.300c', 'x') FROM n");
    DailyBackup backup(fp.platform);
    backup.setPagesPerStep(8);
    QSemaphore stepped;
    QSemaphore written;
    std::atomic<int> steps{0};
    backup.onStep = [&](const std::atomic<bool>&) {
        if (steps++ < 5) {
            stepped.release();
            written.acquire();
        }
    };
    backup.start();
    // The program's own writes go in between the steps, through its own connection.
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(stepped.tryAcquire(1, 20000));
        EXPECT_NO_THROW(
            sql::exec(session.database->handle(),
                      QStringLiteral("UPDATE Pazienti SET Nome = 'scritto %1' WHERE ID <= 3000").arg(i)));
        EXPECT_NO_THROW(sql::exec(session.database->handle(),
                                  QStringLiteral("INSERT INTO Pazienti (Cognome) VALUES ('Nuovo')")));
        written.release();
    }
    backup.waitForEnd();
    ASSERT_EQ(DailyBackup::Outcome::Made, backup.outcome()) << backup.failure().toStdString();
    const QString copy = backupOf(fp, "2004-12-06", "quorvane.mdb");
    EXPECT_EQ("ok", queryText(copy, "PRAGMA integrity_check"));
    EXPECT_EQ(3005, patientCount(copy));
    EXPECT_EQ("3000", queryText(copy, "SELECT count(*) FROM Pazienti WHERE Nome = 'scritto 4'"));
}

TEST(DailyBackup, keepingRuleOverAYearKeepsTwoWeeksAndTheFirstOfEachMonth) {
    // The program started every day but Sundays, from New Year's Day 2025 to 15 January 2026.
    QList<QDate> kept;
    for (QDate day(2025, 1, 1); day <= QDate(2026, 1, 15); day = day.addDays(1)) {
        if (day.dayOfWeek() == Qt::Sunday)
            continue;
        kept << day;
        for (const QDate& gone : backups::toRemove(kept, day))
            kept.removeAll(gone);
    }
    QStringList names;
    for (const QDate& d : kept)
        names << d.toString(Qt::ISODate);
    EXPECT_EQ(QStringList({"2025-02-01", "2025-03-01", "2025-04-01", "2025-05-01", "2025-06-02",
                           "2025-07-01", "2025-08-01", "2025-09-01", "2025-10-01", "2025-11-01",
                           "2025-12-01", "2025-12-31", "2026-01-01", "2026-01-02", "2026-01-03",
                           "2026-01-05", "2026-01-06", "2026-01-07", "2026-01-08", "2026-01-09",
                           "2026-01-10", "2026-01-12", "2026-01-13", "2026-01-14", "2026-01-15"})
                  .join(' ')
                  .toStdString(),
              names.join(' ').toStdString());

    // In the folder, only folders named as a backup's date are ever removed.
    ArchiveFolder fp;
    fp.clock.set(QDate(2025, 3, 20));
    const QString root = backups::folderPath(fp.platform.folder);
    for (QDate day(2025, 2, 1); day < QDate(2025, 3, 20); day = day.addDays(1))
        QDir().mkpath(root + QLatin1Char('/') + day.toString(Qt::ISODate) + "/Agd");
    QDir().mkpath(root + "/2024-01-15");               // older than a year
    QDir().mkpath(root + "/appunti");                  // the user's own
    QDir().mkpath(root + "/2025-02-30");               // no such date
    ASSERT_TRUE(writeFile(root + "/2025-01-05", "x")); // a file, not a backup
    EXPECT_EQ(DailyBackup::Outcome::Made, backUp(fp));
    const QStringList left = QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(QStringList({"2025-01-05", "2025-02-01", "2025-02-30", "2025-03-01", "2025-03-07", "2025-03-08",
                           "2025-03-09", "2025-03-10", "2025-03-11", "2025-03-12", "2025-03-13", "2025-03-14",
                           "2025-03-15", "2025-03-16", "2025-03-17", "2025-03-18", "2025-03-19", "2025-03-20",
                           "appunti"})
                  .join(' ')
                  .toStdString(),
              left.join(' ').toStdString());
}

TEST(DailyBackup, aBackupThatCannotBeMadeIsSaidOnceAfterTheStartScreenAndTriedAgainNextStart) {
    FakePlatform fp;
    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    ASSERT_TRUE(writeFile(fp.platform.path("Backup"), "un file al posto della cartella"));
    {
        Screens screens(fp.platform);
        DailyBackup backup(fp.platform);
        backup.start();
        backup.waitForEnd(); // failed before the start screen is there: nothing said yet
        EXPECT_EQ(DailyBackup::Outcome::Failed, backup.outcome());
        EXPECT_TRUE(fp.msg.shown().empty());
        ExpectedBox box{.icon = MsgIcon::Exclamation, .buttons = MsgButtons::Ok};
        fp.msg.expect(box);
        startProgram(screens);
        backup.startScreenShown();
        backup.startScreenShown();
        ASSERT_EQ(1u, fp.msg.shown().size());
        const QString prompt = fp.msg.shown()[0].prompt;
        EXPECT_TRUE(prompt.contains("copia di sicurezza di oggi")) << prompt.toStdString();
        EXPECT_TRUE(prompt.contains("c'è un file con lo stesso nome")) << prompt.toStdString();
        expectShortLines(prompt);
        EXPECT_TRUE(screens.isLoaded("frmInizio"));
        EXPECT_FALSE(screens.ending());
    }
    QFile::remove(fp.platform.path("Backup"));
    EXPECT_EQ(DailyBackup::Outcome::Made, backUp(fp));

    // A folder the user may not write in.
    asUnprivilegedUser([] {
        ArchiveFolder user;
        ASSERT_TRUE(QDir().mkpath(user.platform.path("Backup")));
        ASSERT_EQ(0, ::chmod(QFile::encodeName(user.platform.path("Backup")).constData(), 0555));
        user.msg.expect({.icon = MsgIcon::Exclamation});
        EXPECT_EQ(DailyBackup::Outcome::Failed, backUp(user));
        ASSERT_EQ(1u, user.msg.shown().size());
        EXPECT_TRUE(user.msg.shown()[0].prompt.contains("non è permesso scrivere"));
        EXPECT_TRUE(QDir(user.platform.path("Backup")).isEmpty());
    });
}

TEST(DailyBackup, endingTheProgramDuringABackupLeavesNoHalfBackup) {
    FakePlatform fp;
    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    ASSERT_TRUE(writeFile(fp.platform.path("Agd/" + kDay), "\"\"\r\n"));
    QSemaphore inStep;
    {
        Screens screens(fp.platform);
        DailyBackup backup(fp.platform);
        screens.atEnd([&backup] { backup.cancel(); });
        backup.setPagesPerStep(1);
        backup.onStep = [&](const std::atomic<bool>& cancelled) {
            inStep.release();
            while (!cancelled)
                std::this_thread::yield();
        };
        backup.start();
        ASSERT_TRUE(inStep.tryAcquire(1, 20000));
        EXPECT_TRUE(QFileInfo(backupOf(fp, "2004-12-06") + ".parziale").isDir());
        screens.endProgram();
        EXPECT_EQ(DailyBackup::Outcome::Cancelled, backup.outcome());
        EXPECT_EQ(1, fp.end.count());
    }
    EXPECT_TRUE(QDir(backups::folderPath(fp.platform.folder)).isEmpty());
    EXPECT_EQ(DailyBackup::Outcome::Made, backUp(fp)) << "the next start makes it";
}

TEST(Recovery, aDamagedArchiveOffersTheNewestSoundBackupAndKeepsTheDamagedFile) {
    FakePlatform fp;
    const QString kept = QStringLiteral("%1/Agd/lunedì 13 dicembre 2004").arg(fp.platform.folder);
    const QString gone = QStringLiteral("%1/Agd/martedì 14 dicembre 2004").arg(fp.platform.folder);
    {
        Session session;
        ASSERT_TRUE(openSession(fp.platform, session));
        execSql(fp.dbPath(), "INSERT INTO Pazienti (Cognome) VALUES ('Rossi')");
        ASSERT_TRUE(writeFile(kept, "\"prima\"\r\n"));
        ASSERT_TRUE(writeFile(gone, "\"Bianchi 10:00\"\r\n"));
        ASSERT_EQ(DailyBackup::Outcome::Made, backUp(fp));
        execSql(fp.dbPath(), "INSERT INTO Pazienti (Cognome) VALUES ('Verdi')");
        fp.clock.set(QDate(2004, 12, 7));
        ASSERT_EQ(DailyBackup::Outcome::Made, backUp(fp));
        fp.clock.set(QDate(2004, 12, 8));
        ASSERT_EQ(DailyBackup::Outcome::Made, backUp(fp));
    }
    ASSERT_TRUE(damage(backupOf(fp, "2004-12-08", "quorvane.mdb"))); // the newest backup is no good
    ASSERT_TRUE(writeFile(kept, "\"dopo la copia\"\r\n"));
    const timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 60, 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, QFile::encodeName(kept).constData(), later, 0));
    QFile::remove(gone);
    ASSERT_TRUE(damage(fp.dbPath()));
    const QByteArray damaged = readFile(fp.dbPath());
    fp.clock.set(QDate(2004, 12, 9), QTime(11, 22, 33));

    ExpectedBox offer{.buttons = MsgButtons::YesNo, .answer = MsgAnswer::No};
    fp.msg.expect(offer);
    {
        Session declined;
        EXPECT_FALSE(openSession(fp.platform, declined));
    }
    ASSERT_EQ(1u, fp.msg.shown().size());
    const QString prompt = fp.msg.shown()[0].prompt;
    EXPECT_TRUE(prompt.contains("del 07/12/2004")) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains("quorvane.mdb.danneggiato-2004-12-09-112233")) << prompt.toStdString();
    EXPECT_EQ(MsgAnswer::No, fp.msg.shown()[0].defaultAnswer);
    expectShortLines(prompt);
    EXPECT_EQ(damaged, readFile(fp.dbPath()));
    EXPECT_FALSE(QFileInfo::exists(fp.dbPath() + ".danneggiato-2004-12-09-112233"));

    offer.answer = MsgAnswer::Yes;
    fp.msg.expect(offer);
    Session restored;
    ASSERT_TRUE(openSession(fp.platform, restored));
    EXPECT_EQ(2, patientCount(fp.dbPath()));
    EXPECT_EQ(damaged, readFile(fp.dbPath() + ".danneggiato-2004-12-09-112233"));
    EXPECT_EQ(QByteArray("\"dopo la copia\"\r\n"), readFile(kept)) << "changed after the backup: kept";
    EXPECT_EQ(QByteArray("\"Bianchi 10:00\"\r\n"), readFile(gone));
    EXPECT_EQ(2u, fp.msg.shown().size());
}

TEST(Recovery, aDamagedBackupIsNeverOfferedNorAnythingForAnArchiveThatIsNotDamaged) {
    ArchiveFolder fp;
    ASSERT_EQ(DailyBackup::Outcome::Made, backUp(fp));
    ASSERT_TRUE(damage(backupOf(fp, "2004-12-06", "quorvane.mdb")));
    ASSERT_TRUE(damage(fp.dbPath()));
    ExpectedBox asToday{.icon = MsgIcon::Critical, .buttons = MsgButtons::Ok};
    fp.msg.expect(asToday);
    Session session;
    EXPECT_FALSE(openSession(fp.platform, session));
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains("danneggiato")) << fp.msg.shown()[0].prompt.toStdString();

    // A sound database of another program is no damage: a sound backup is not offered for it.
    ArchiveFolder other;
    ASSERT_EQ(DailyBackup::Outcome::Made, backUp(other));
    execSql(other.dbPath(), "DROP VIEW \"Pazienti Query\"; DROP TABLE Pazienti; CREATE TABLE Fatture (n)");
    other.msg.expect(asToday);
    EXPECT_FALSE(openSession(other.platform, session));
    EXPECT_EQ(1u, other.msg.shown().size());
}
