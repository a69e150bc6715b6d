// Start-up: the program folder, its database file and the lock that keeps a second copy out.
#include "app/ProgramLock.h"
#include "app/Screens.h"
#include "app/Startup.h"
#include "store/Database.h"
#include "store/Work.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/Files.h"
#include "tests/support/Sql.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qv;
using namespace qv::test;

namespace {

QByteArray fileHash(const QString& path) {
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

TEST(Startup, aNewFolderGetsANewDatabaseAndALock) {
    FakePlatform fp;
    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_TRUE(QFileInfo::exists(fp.dbPath()));
    EXPECT_TRUE(QFileInfo::exists(fp.dbPath() + ".lock"));
    EXPECT_EQ(0, patientCount(fp.dbPath()));
    EXPECT_EQ("7", queryText(fp.dbPath(), "SELECT count(*) FROM Agenda"));
    // Nothing but the database and its lock is left in the folder.
    EXPECT_EQ((QStringList{"quorvane.mdb", "quorvane.mdb.lock"}),
              QDir(fp.platform.folder).entryList(QDir::Files | QDir::Hidden, QDir::Name));
}

TEST(Startup, anExistingDatabaseIsOpenedAsItIs) {
    ArchiveFolder fp;
    execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome) VALUES (5, 'Neri')");

    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    EXPECT_EQ("1", queryText(fp.dbPath(), "SELECT count(*) FROM Pazienti WHERE Cognome = 'Neri'"));
}

TEST(Startup, anArchiveMadeBeforeTheSearchIndexesIsMadeReadyOnceUnderAProgressWindow) {
    ArchiveFolder fp;
    execSql(fp.dbPath(),
            "DROP INDEX Pazienti_Cognome_Nome; DROP INDEX \"Pazienti_Società_Attività\";"
            "DROP INDEX Pazienti_Richiamo; INSERT INTO Pazienti (ID, Cognome) VALUES (5, 'Neri')");
    // The work's clock moves on as the indexes are made: long enough for a window.
    fp.workStepMs = 200;
    {
        Session session;
        ASSERT_TRUE(openSession(fp.platform, session));
        EXPECT_EQ(1, fp.progress.begins);
        EXPECT_EQ("Quorvane", fp.progress.title.toStdString());
        ASSERT_FALSE(fp.progress.texts.isEmpty());
        EXPECT_TRUE(fp.progress.texts.first().startsWith("Preparazione dell'archivio"));
        EXPECT_FALSE(fp.progress.open);
        ASSERT_FALSE(fp.progress.counts.empty());
        EXPECT_EQ(100, fp.progress.counts.back());
        EXPECT_EQ(100, fp.progress.total);
        EXPECT_TRUE(fp.busy.on) << "busy until the program is back in its event loop";
        QCoreApplication::processEvents();
        EXPECT_FALSE(fp.busy.on);
        EXPECT_EQ("3", queryText(fp.dbPath(), "SELECT count(*) FROM sqlite_master WHERE name IN "
                                              "('Pazienti_Cognome_Nome', 'Pazienti_Società_Attività', "
                                              "'Pazienti_Richiamo')"));
    }
    Session again;
    ASSERT_TRUE(openSession(fp.platform, again));
    EXPECT_EQ(1, fp.progress.begins) << "once";
    EXPECT_EQ(1, patientCount(fp.dbPath()));
}

TEST(Startup, aLongPieceOfWorkShowsItsWindowOnlyAfterAMomentAndNotNearItsEnd) {
    FakePlatform fp;
    {
        work::Task quick(QStringLiteral("Breve"));
        quick.progress(0.5);
    }
    EXPECT_EQ(0, fp.progress.begins) << "over at once";
    {
        work::Task late(QStringLiteral("Quasi finito"));
        fp.workMs = 2000;
        late.progress(0.85);
    }
    EXPECT_EQ(0, fp.progress.begins) << "nearly done when the moment passed";
    {
        work::Task task(QStringLiteral("Lungo"));
        fp.workMs += 500;
        task.progress(0.2);
        EXPECT_TRUE(fp.progress.open);
        task.progress(0.9);
    }
    EXPECT_EQ(1, fp.progress.begins);
    EXPECT_FALSE(fp.progress.open);
    EXPECT_EQ((std::vector<qint64>{20, 90}), fp.progress.counts);
}

TEST(Startup, aSecondCopyOnTheSameFolderIsRefused) {
    FakePlatform fp;
    Session first;
    ASSERT_TRUE(openSession(fp.platform, first));

    fp.msg.expect({.title = QStringLiteral("Quorvane"), .icon = MsgIcon::Exclamation});
    Session second;
    EXPECT_FALSE(openSession(fp.platform, second));
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("già aperto")));
    EXPECT_FALSE(second.database);

    // Once the first copy has ended, the folder can be used again.
    first = Session();
    Session third;
    EXPECT_TRUE(openSession(fp.platform, third));
}

TEST(Startup, aLockLeftByACopyThatCrashedDoesNotBlock) {
    ArchiveFolder fp;
    // A lock file naming a process that no longer runs, as a crash leaves it.
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForFinished());
    const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
    ASSERT_TRUE(writeFile(fp.dbPath() + ".lock", QByteArray::number(deadPid) + "\nquorvane\n" +
                                                     QSysInfo::machineHostName().toUtf8() + "\n"));
    Session session;
    EXPECT_TRUE(openSession(fp.platform, session));
    EXPECT_TRUE(fp.msg.shown().empty());
}

struct UnreadableFile {
    const char* what;
    QByteArray bytes;
    const char* mentions;
    bool oldArchive = false; // an Access file: asked to bring it across first, answered Yes
};

class StartupWithABadFile : public ::testing::TestWithParam<UnreadableFile> {};

TEST_P(StartupWithABadFile, isNamedInAClearMessageAndLeftUntouched) {
    FakePlatform fp;
    ASSERT_TRUE(writeFile(fp.dbPath(), GetParam().bytes));
    const QByteArray before = fileHash(fp.dbPath());
    const qint64 sizeBefore = QFileInfo(fp.dbPath()).size();

    if (GetParam().oldArchive)
        fp.msg.expect({.buttons = MsgButtons::YesNo, .answer = MsgAnswer::Yes});
    fp.msg.expect({.icon = MsgIcon::Critical});
    Session session;
    EXPECT_FALSE(openSession(fp.platform, session));
    ASSERT_EQ(GetParam().oldArchive ? 2u : 1u, fp.msg.shown().size());
    const QString said = fp.msg.shown().back().prompt;
    EXPECT_TRUE(said.contains(QLatin1String(GetParam().mentions), Qt::CaseInsensitive)) << said.toStdString();
    EXPECT_EQ(before, fileHash(fp.dbPath()));
    EXPECT_EQ(sizeBefore, QFileInfo(fp.dbPath()).size());
}

QByteArray jetHeader() {
    QByteArray bytes(4096, '\0');
    bytes.replace(0, 4, QByteArray("\x00\x01\x00\x00", 4));
    bytes.replace(4, 15, "Standard Jet DB");
    return bytes;
}

QByteArray damagedSqlite() {
    // A real database whose pages after the header were overwritten. Should that fail, the
    // archive stays sound, and the case fails on it.
    QTemporaryDir dir;
    const QString path = dir.filePath("x.mdb");
    Database::create(path);
    (void)damage(path);
    return readFile(path);
}

INSTANTIATE_TEST_SUITE_P(Files, StartupWithABadFile,
                         ::testing::Values(UnreadableFile{"text", "Mario Rossi, via Po 3\n", "quorvane.mdb"},
                                           UnreadableFile{"jet", jetHeader(), "danneggiato", true},
                                           UnreadableFile{"damaged", damagedSqlite(), "quorvane.mdb"},
                                           UnreadableFile{"empty", QByteArray(), "quorvane.mdb"}),
                         [](const auto& param) { return std::string(param.param.what); });

TEST(Startup, aFolderWhereNothingCanBeCreatedGivesAClearMessage) {
    FakePlatform fp;
    fp.platform.folder = fp.dir.filePath(QStringLiteral("non-esiste/neppure-questa"));
    fp.msg.expect({.icon = MsgIcon::Critical});
    Session session;
    EXPECT_FALSE(openSession(fp.platform, session));
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("cartella")));
    EXPECT_FALSE(QFileInfo::exists(fp.platform.folder));
}

// Lock files that no running copy holds: none of them may block a start.
TEST(StartupLock, leftoversOfEveryKindDoNotBlockAndAreReplaced) {
    const std::vector<std::pair<const char*, QByteArray>> leftovers = {
        {"empty", QByteArray()},
        {"garbage", QByteArray("\x01\x02 garbage \xff\xfe\n\n\n", 16)},
        {"an unrelated process",
         QByteArray::number(1) + "\nbash\n" + QSysInfo::machineHostName().toUtf8() + "\n"},
        {"an old form naming another computer", QByteArray("4242\nquorvane\nvecchio-pc\n")},
    };
    for (const auto& [what, bytes] : leftovers) {
        SCOPED_TRACE(what);
        ArchiveFolder fp;
        ASSERT_TRUE(writeFile(fp.dbPath() + ".lock", bytes));
        Session session;
        EXPECT_TRUE(openSession(fp.platform, session));
        EXPECT_TRUE(fp.msg.shown().empty());
        QFile lock(fp.dbPath() + ".lock");
        ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
        EXPECT_TRUE(lock.readAll().contains(QSysInfo::machineHostName().toUtf8()));
    }
    // A folder of that name is no lock either.
    FakePlatform fp;
    ASSERT_TRUE(QDir(fp.platform.folder).mkpath(QStringLiteral("quorvane.mdb.lock/dentro")));
    Session session;
    EXPECT_TRUE(openSession(fp.platform, session));
    EXPECT_TRUE(QFileInfo(fp.dbPath() + ".lock").isFile());
}

TEST(StartupLock, aLockFromAnotherComputerIsNamedAndCanBeTakenOver) {
    ArchiveFolder fp;
    const QByteArray foreign = "quorvane-lock\n4242\nvecchio-pc\n2026-11-30T18:05:00\n";
    ASSERT_TRUE(writeFile(fp.dbPath() + ".lock", foreign));

    ExpectedBox no{.icon = MsgIcon::Exclamation, .buttons = MsgButtons::YesNo, .answer = MsgAnswer::No};
    fp.msg.expect(no);
    {
        Session declined;
        EXPECT_FALSE(openSession(fp.platform, declined));
    }
    ASSERT_EQ(1u, fp.msg.shown().size());
    const QString prompt = fp.msg.shown()[0].prompt;
    EXPECT_TRUE(prompt.contains(QStringLiteral("\"vecchio-pc\""))) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains(QStringLiteral("30/11/2026"))) << prompt.toStdString();
    EXPECT_EQ(MsgAnswer::No, fp.msg.shown()[0].defaultAnswer);
    QFile kept(fp.dbPath() + ".lock");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(foreign, kept.readAll()) << "a declined lock stays as it was";
    kept.close();

    ExpectedBox yes = no;
    yes.answer = MsgAnswer::Yes;
    fp.msg.expect(yes);
    Session taken;
    EXPECT_TRUE(openSession(fp.platform, taken));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll().contains(QSysInfo::machineHostName().toUtf8()));

    // While it runs here, a second copy is refused without being asked.
    fp.msg.expect({.buttons = MsgButtons::Ok});
    Session second;
    EXPECT_FALSE(openSession(fp.platform, second));
    EXPECT_TRUE(fp.msg.shown().back().prompt.contains(QStringLiteral("già aperto")));
}

TEST(StartupLock, aCopyRunningInAnotherProcessIsStillRefused) {
    ArchiveFolder fp;
    const QByteArray lockName = QFile::encodeName(fp.dbPath() + ".lock");
    // Another process holds the lock the way a running copy does, until it is killed.
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        const int fd = ::open(lockName.constData(), O_RDWR | O_CREAT, 0644);
        ::flock(fd, LOCK_EX);
        (void)!::write(ready[1], "x", 1);
        for (;;)
            ::pause();
    }
    char byte = 0;
    ASSERT_EQ(1, ::read(ready[0], &byte, 1));
    ::close(ready[0]);
    ::close(ready[1]);

    fp.msg.expect({.icon = MsgIcon::Exclamation});
    Session session;
    EXPECT_FALSE(openSession(fp.platform, session));
    EXPECT_TRUE(fp.msg.shown().back().prompt.contains(QStringLiteral("già aperto")));

    // Killed, it leaves its file behind; the next start takes it.
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    ASSERT_TRUE(QFileInfo::exists(fp.dbPath() + ".lock"));
    Session after;
    EXPECT_TRUE(openSession(fp.platform, after));
}

} // namespace

TEST(StartupMissingArchive, aUsedFolderWithoutItsArchiveAsksBeforeStartingEmpty) {
    FakePlatform fp;
    {
        Session first; // an ordinary run that used the agenda
        ASSERT_TRUE(openSession(fp.platform, first));
        ASSERT_TRUE(QDir(fp.platform.folder).mkdir(QStringLiteral("Agd")));
    }
    ASSERT_TRUE(QFile::remove(fp.dbPath()));

    ExpectedBox ask{.buttons = MsgButtons::YesNo, .answer = MsgAnswer::No};
    fp.msg.expect(ask);
    {
        Session declined;
        EXPECT_FALSE(openSession(fp.platform, declined));
    }
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("non c'è più")));
    EXPECT_EQ(MsgAnswer::No, fp.msg.shown()[0].defaultAnswer);
    EXPECT_FALSE(QFileInfo::exists(fp.dbPath()));

    ask.answer = MsgAnswer::Yes;
    fp.msg.expect(ask);
    Session accepted;
    EXPECT_TRUE(openSession(fp.platform, accepted));
    EXPECT_EQ(0, patientCount(fp.dbPath()));
}

TEST(StartupMissingArchive, aFullDiskAtTheFirstStartSaysSo) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small disk needs the superuser";
    FakePlatform fp;
    const QString disk = fp.dir.filePath(QStringLiteral("disco"));
    ASSERT_TRUE(QDir().mkpath(disk));
    ASSERT_EQ(0, QProcess::execute(QStringLiteral("mount"),
                                   {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                    QStringLiteral("size=16k"), QStringLiteral("tmpfs"), disk}));
    {
        QFile filler(disk + QStringLiteral("/riempitivo"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
        }
    }
    fp.platform.folder = disk;
    fp.msg.expect({.icon = MsgIcon::Critical});
    Session session;
    const bool opened = openSession(fp.platform, session);
    session = Session();
    QProcess::execute(QStringLiteral("umount"), {disk});
    EXPECT_FALSE(opened);
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("disco è pieno")))
        << fp.msg.shown()[0].prompt.toStdString();
    EXPECT_FALSE(fp.msg.shown()[0].prompt.contains(QStringLiteral("permess")))
        << fp.msg.shown()[0].prompt.toStdString();
}

// ---- the old program's Access archive ----

namespace {

class StartupOldArchive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writeFile(fp.dbPath(), jet));
        // A day file copied from Windows: its name in code page 1252.
        ASSERT_TRUE(QDir().mkpath(fp.platform.dayFolder()));
        const QByteArray copied = QFile::encodeName(fp.platform.dayFolder()) + "/luned\xec 6 dicembre  2004";
        const int fd = ::open(copied.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "\"09:00\"\r\n", 9), 9);
        ::close(fd);
    }
    QStringList folder() const {
        return QDir(fp.platform.folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    FakePlatform fp;
    const QByteArray jet = readFile(testData(QStringLiteral("access-archives/archivio-piccolo.mdb")));
    const QString monday = fp.platform.dayFolder() + QStringLiteral("/lunedì 6 dicembre  2004");
};

TEST_F(StartupOldArchive, theQuestionSaysWhatHappensAndNoLeavesEverythingAsItWas) {
    fp.msg.expect(
        {.prompt =
             QStringLiteral(
                 "Il file \"%1\" è l'archivio del vecchio programma, in formato Access.\r\n"
                 "Quorvane può trasferire tutti i suoi dati (i pazienti con le loro note e gli orari "
                 "dell'agenda) in un archivio nuovo, che prenderà il suo posto con lo stesso nome. "
                 "L'originale non viene modificato né cancellato: resta nella stessa cartella con il "
                 "nome \"quorvane-originale-Access.mdb\".\r\n"
                 "Trasferire ora l'archivio? Rispondendo No il programma si chiude senza cambiare nulla.")
                 .arg(QDir::toNativeSeparators(fp.dbPath())),
         .title = QStringLiteral("Trasferimento dell'archivio"),
         .buttons = MsgButtons::YesNo,
         .answer = MsgAnswer::No});
    Session session;
    EXPECT_FALSE(openSession(fp.platform, session));
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(jet, readFile(fp.dbPath()));
    EXPECT_EQ(QStringList({"quorvane.mdb"}), folder()); // the lock goes with the program
    EXPECT_FALSE(QFileInfo::exists(monday));
    EXPECT_TRUE(fp.progress.texts.isEmpty());
}

TEST_F(StartupOldArchive, yesBringsItAcrossWithItsProgressAndStartsWithTheReminder) {
    fp.msg.expect({.buttons = MsgButtons::YesNo, .answer = MsgAnswer::Yes});
    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    // The window counted the patients as they were copied, then as they were checked.
    EXPECT_FALSE(fp.progress.open);
    EXPECT_EQ(QStringLiteral("Trasferimento dell'archivio"), fp.progress.title);
    EXPECT_TRUE(fp.progress.texts.contains(QStringLiteral("Pazienti trasferiti: 40 di 40")));
    EXPECT_EQ(40, fp.progress.counts.back());
    EXPECT_EQ(40, patientCount(fp.dbPath()));
    EXPECT_EQ(jet, readFile(fp.platform.path(QStringLiteral("quorvane-originale-Access.mdb"))));
    EXPECT_EQ(QStringList({"quorvane-originale-Access.mdb", "quorvane.mdb", "quorvane.mdb.lock"}), folder());
    EXPECT_EQ(QByteArray("\"09:00\"\r\n"), readFile(monday));

    // The program starts as usual: the reminder names the first patient whose recall date passed.
    fp.msg.expect({.icon = MsgIcon::None});
    Screens screens(fp.platform);
    startProgram(screens);
    ASSERT_EQ(2u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[1].prompt.contains(QStringLiteral("Mario")))
        << fp.msg.shown()[1].prompt.toStdString();
}

TEST_F(StartupOldArchive, anotherProgramsAccessFileIsNamedAndLeftUntouched) {
    const QByteArray foreign = readFile(testData(QStringLiteral("access-archives/estraneo.mdb")));
    ASSERT_TRUE(writeFile(fp.dbPath(), foreign));
    fp.msg.expect({.buttons = MsgButtons::YesNo, .answer = MsgAnswer::Yes});
    fp.msg.expect({.icon = MsgIcon::Critical});
    Session session;
    EXPECT_FALSE(openSession(fp.platform, session));
    EXPECT_TRUE(fp.msg.shown().back().prompt.contains(QStringLiteral("non ha la tabella Pazienti")));
    EXPECT_FALSE(fp.progress.open);
    EXPECT_EQ(foreign, readFile(fp.dbPath()));
    EXPECT_EQ(QStringList({"quorvane.mdb"}), folder()); // the lock goes with the program
}

} // namespace
