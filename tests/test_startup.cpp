// Start-up: the program folder, its database file and the lock that keeps a second copy out.
#include "app/Startup.h"
#include "store/Database.h"
#include "tests/support/FakePlatform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace qv;
using namespace qv::test;

namespace {

QByteArray fileHash(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

int countRows(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    int result = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        result = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

TEST(Startup, aNewFolderGetsANewDatabaseAndALock) {
    FakePlatform fp;
    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_TRUE(QFileInfo::exists(fp.dbPath()));
    EXPECT_TRUE(QFileInfo::exists(fp.dbPath() + ".lock"));
    EXPECT_EQ(0, countRows(fp.dbPath(), "SELECT count(*) FROM Pazienti"));
    EXPECT_EQ(7, countRows(fp.dbPath(), "SELECT count(*) FROM Agenda"));
    // Nothing but the database and its lock is left in the folder.
    EXPECT_EQ((QStringList{"quorvane.mdb", "quorvane.mdb.lock"}),
              QDir(fp.platform.folder).entryList(QDir::Files | QDir::Hidden, QDir::Name));
}

TEST(Startup, anExistingDatabaseIsOpenedAsItIs) {
    FakePlatform fp;
    Database::create(fp.dbPath());
    sqlite3* db = nullptr;
    sqlite3_open(fp.dbPath().toUtf8().constData(), &db);
    sqlite3_exec(db, "INSERT INTO Pazienti (ID, Cognome) VALUES (5, 'Neri')", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    Session session;
    ASSERT_TRUE(openSession(fp.platform, session));
    EXPECT_EQ(1, countRows(fp.dbPath(), "SELECT count(*) FROM Pazienti WHERE Cognome = 'Neri'"));
}

TEST(Startup, aSecondCopyOnTheSameFolderIsRefused) {
    FakePlatform fp;
    Session first;
    ASSERT_TRUE(openSession(fp.platform, first));

    ExpectedBox box;
    box.icon = MsgIcon::Exclamation;
    box.title = QStringLiteral("Quorvane");
    fp.msg.expect(box);
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
    FakePlatform fp;
    // A lock file naming a process that no longer runs, as a crash leaves it.
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForFinished());
    const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
    writeFile(fp.dbPath() + ".lock",
              QByteArray::number(deadPid) + "\nquorvane\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    Session session;
    EXPECT_TRUE(openSession(fp.platform, session));
    EXPECT_TRUE(fp.msg.shown().empty());
}

struct UnreadableFile {
    const char* what;
    QByteArray bytes;
    const char* mentions;
};

class StartupWithABadFile : public ::testing::TestWithParam<UnreadableFile> {};

TEST_P(StartupWithABadFile, isNamedInAClearMessageAndLeftUntouched) {
    FakePlatform fp;
    writeFile(fp.dbPath(), GetParam().bytes);
    const QByteArray before = fileHash(fp.dbPath());
    const qint64 sizeBefore = QFileInfo(fp.dbPath()).size();

    ExpectedBox box;
    box.icon = MsgIcon::Critical;
    fp.msg.expect(box);
    Session session;
    EXPECT_FALSE(openSession(fp.platform, session));
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QLatin1String(GetParam().mentions), Qt::CaseInsensitive))
        << fp.msg.shown()[0].prompt.toStdString();
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
    // A real database whose pages after the header were overwritten.
    QTemporaryDir dir;
    const QString path = dir.filePath("x.mdb");
    Database::create(path);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArray bytes = file.readAll();
    for (int i = 100; i < bytes.size(); ++i)
        bytes[i] = char(0xA5);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(Files, StartupWithABadFile,
                         ::testing::Values(UnreadableFile{"text", "Mario Rossi, via Po 3\n", "quorvane.mdb"},
                                           UnreadableFile{"jet", jetHeader(), "Jet"},
                                           UnreadableFile{"damaged", damagedSqlite(), "quorvane.mdb"},
                                           UnreadableFile{"empty", QByteArray(), "quorvane.mdb"}),
                         [](const auto& param) { return std::string(param.param.what); });

TEST(Startup, aFolderWhereNothingCanBeCreatedGivesAClearMessage) {
    FakePlatform fp;
    fp.platform.folder = fp.dir.filePath(QStringLiteral("non-esiste/neppure-questa"));
    ExpectedBox box;
    box.icon = MsgIcon::Critical;
    fp.msg.expect(box);
    Session session;
    EXPECT_FALSE(openSession(fp.platform, session));
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[0].prompt.contains(QStringLiteral("cartella")));
    EXPECT_FALSE(QFileInfo::exists(fp.platform.folder));
}

} // namespace
