// Opening and creating the database file: the new file's tables, files that are not an
// archive of the program (left untouched), folders where nothing can be created, the
// shared connection and the key counter.
#include "store/DataControl.h"
#include "store/Database.h"
#include "store/StoreError.h"
#include "store/Work.h"
#include "tests/support/AsUser.h"
#include "tests/support/Files.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"
#include "tests/support/Text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

using qv::Database;
using qv::StoreError;
namespace err = qv::err;
using qv::test::execSql;
using qv::test::failureOf;
using qv::test::patientCount;
using qv::test::queryRows;
using qv::test::queryText;
using qv::test::readFile;
using qv::test::writeFile;

namespace {

class DatabaseTest : public qv::test::FolderTest {
protected:
    void SetUp() override { ASSERT_TRUE(fp.dir.isValid()); }

    // Opening `bytes` as the archive fails with `number`, a message naming the file and
    // containing `words`, and leaves the file exactly as it was.
    void expectRefused(const QByteArray& bytes, int number, const QString& words) {
        ASSERT_TRUE(writeFile(path(), bytes));
        const StoreError e = failureOf([&] { Database::open(path()); });
        EXPECT_EQ(e.number(), number);
        EXPECT_TRUE(e.description().contains(words)) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QDir::toNativeSeparators(path())))
            << e.description().toStdString();
        EXPECT_EQ(readFile(path()), bytes) << "the file must stay byte for byte the same";
        EXPECT_EQ(QDir(fp.dir.path()).entryList(QDir::Files), QStringList{"quorvane.mdb"})
            << "no other file may be left beside it";

        // A data control reports the same when it opens.
        qv::DataControl data;
        data.setDatabaseName(path());
        data.setRecordSource("Pazienti");
        EXPECT_EQ(failureOf([&] { data.Refresh(); }).number(), number);
        EXPECT_EQ(readFile(path()), bytes);
    }
};

TEST_F(DatabaseTest, ANewFolderGetsANewArchiveWithTheProgramsTables) {
    auto db = Database::open(path());
    ASSERT_TRUE(QFile::exists(path()));
    EXPECT_EQ(QDir(fp.dir.path()).entryList(QDir::Files), QStringList{"quorvane.mdb"});
    sqlite3* h = db->handle();

    const auto columns = queryRows(h, "SELECT name, type, pk FROM pragma_table_info('Pazienti')");
    const QStringList& expected = qv::test::patientColumns();
    ASSERT_EQ(columns.size(), size_t(expected.size()));
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(columns[size_t(i)][0], expected[i]);
        EXPECT_EQ(columns[size_t(i)][1], i == 0 ? "INTEGER" : "TEXT");
        EXPECT_EQ(columns[size_t(i)][2], i == 0 ? "1" : "0");
    }

    const auto index =
        queryRows(h, "SELECT name, \"unique\" FROM pragma_index_list('Pazienti') WHERE name = 'PrimaryKey'");
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0][1], "1");
    EXPECT_EQ(queryRows(h, "SELECT name FROM pragma_index_info('PrimaryKey')"),
              (std::vector<QStringList>{{"ID"}}));

    const auto view = queryRows(h, "SELECT name FROM pragma_table_info('Pazienti Query')");
    const QStringList viewExpected = {"ID",           "Nome",      "Cognome",       "Attività",
                                      "Società",      "Indirizzo", "Telefono Casa", "Telefono Ufficio",
                                      "Data",         "Cellulare", "Fax",           "E mail",
                                      "Data richiamo"};
    ASSERT_EQ(view.size(), size_t(viewExpected.size()));
    for (int i = 0; i < viewExpected.size(); ++i)
        EXPECT_EQ(view[size_t(i)][0], viewExpected[i]);
    EXPECT_EQ(queryRows(h, "SELECT type FROM sqlite_master WHERE name = 'Pazienti Query'"),
              (std::vector<QStringList>{{"view"}}));

    const auto agendaColumns = queryRows(h, "SELECT name FROM pragma_table_info('Agenda')");
    ASSERT_EQ(agendaColumns.size(), 42u);
    EXPECT_EQ(agendaColumns[0][0], "giorno");
    for (int s = 1; s <= 40; ++s)
        EXPECT_EQ(agendaColumns[size_t(s)][0], QString::number(s));
    EXPECT_EQ(agendaColumns[41][0], "data");

    const auto days = queryRows(h, "SELECT * FROM Agenda ORDER BY rowid");
    const QStringList weekdays = {QString::fromUtf8("lunedì"),
                                  QString::fromUtf8("martedì"),
                                  QString::fromUtf8("mercoledì"),
                                  QString::fromUtf8("giovedì"),
                                  QString::fromUtf8("venerdì"),
                                  "sabato",
                                  "domenica"};
    ASSERT_EQ(days.size(), 7u);
    for (int d = 0; d < 7; ++d) {
        EXPECT_EQ(days[size_t(d)][0], weekdays[d]);
        EXPECT_EQ(days[size_t(d)][1], "08:00");
        EXPECT_EQ(days[size_t(d)][2], "08:15");
        EXPECT_EQ(days[size_t(d)][5], "09:00");
        EXPECT_EQ(days[size_t(d)][40], "17:45");
        EXPECT_EQ(days[size_t(d)][41], "<null>");
    }
    EXPECT_EQ(queryRows(h, "SELECT count(*) FROM Pazienti"), (std::vector<QStringList>{{"0"}}));
    EXPECT_EQ(queryRows(h, "PRAGMA synchronous"), (std::vector<QStringList>{{"2"}})) << "FULL";
}

TEST_F(DatabaseTest, ALeftoverHalfMadeArchiveDoesNotBlockCreation) {
    ASSERT_TRUE(writeFile(path() + ".new", "half written"));
    auto db = Database::open(path());
    EXPECT_TRUE(db->table("Agenda").has_value());
    EXPECT_FALSE(QFile::exists(path() + ".new"));
}

TEST_F(DatabaseTest, AJetFileIsNamedAndLeftUntouched) {
    QByteArray jet(4096, '\0');
    jet[0] = 0;
    jet[1] = 1;
    jet.replace(4, 15, "Standard Jet DB");
    expectRefused(jet, err::NotADatabase, "formato Jet");
    QByteArray ace = jet;
    ace.replace(4, 15, "Standard ACE DB");
    expectRefused(ace, err::NotADatabase, "formato Jet");
}

TEST_F(DatabaseTest, DamagedOrForeignFilesAreRefusedAndLeftUntouched) {
    const QString words = QString::fromUtf8("non è un archivio valido di Quorvane o è danneggiato");
    expectRefused(QByteArray(), err::NotADatabase, words);
    expectRefused("Questo non è un archivio, solo un testo.\n", err::NotADatabase, words);

    QByteArray damaged("SQLite format 3", 16);
    damaged += QByteArray(4096 * 3, '\x5a');
    expectRefused(damaged, err::CannotOpen, words);
}

TEST_F(DatabaseTest, ADatabaseOfAnotherProgramIsRefusedAndLeftUntouched) {
    const QString other = fp.dir.filePath("other.db");
    {
        sqlite3* h = nullptr;
        ASSERT_EQ(sqlite3_open(other.toUtf8().constData(), &h), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(h, "CREATE TABLE Clienti (id INTEGER PRIMARY KEY, nome TEXT)", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(h);
    }
    const QByteArray bytes = readFile(other);
    QFile::remove(other);
    expectRefused(bytes, err::NotADatabase, QString::fromUtf8("non è un archivio valido di Quorvane"));
}

TEST_F(DatabaseTest, ADamagedPageIsReportedWhenRead) {
    // A real archive whose data pages were overwritten: the schema still reads, the rows not.
    {
        auto db = Database::open(path());
        qv::sql::exec(db->handle(), "BEGIN");
        for (int i = 0; i < 400; ++i)
            qv::sql::exec(db->handle(),
                          QStringLiteral("INSERT INTO Pazienti (Cognome, Note) VALUES ('P%1', '%2')")
                              .arg(i)
                              .arg(QString(200, QLatin1Char('x'))));
        qv::sql::exec(db->handle(), "COMMIT");
    }
    QByteArray bytes = readFile(path());
    ASSERT_GT(bytes.size(), 4096 * 8);
    for (qsizetype i = 4096 * 4; i < bytes.size(); ++i)
        bytes[i] = char(0xA5);
    ASSERT_TRUE(writeFile(path(), bytes));

    qv::DataControl data;
    data.setDatabaseName(path());
    data.setRecordSource("Pazienti");
    const StoreError e = failureOf([&] {
        data.Refresh();
        while (!data.Recordset().Eof()) {
            data.Recordset().Fields("Note");
            data.Recordset().MoveNext();
        }
    });
    EXPECT_NE(e.number(), 0);
    EXPECT_TRUE(e.description().contains("danneggiato")) << e.description().toStdString();
    EXPECT_EQ(readFile(path()), bytes);
}

TEST_F(DatabaseTest, AFolderWhereNothingCanBeCreated) {
    // A "folder" that is a plain file, and one that does not exist.
    ASSERT_TRUE(writeFile(fp.dir.filePath("not-a-folder"), "x"));
    for (const QString& target :
         {fp.dir.filePath("not-a-folder/quorvane.mdb"), fp.dir.filePath("missing/quorvane.mdb")}) {
        SCOPED_TRACE(target.toStdString());
        const StoreError e = failureOf([&] { Database::open(target); });
        EXPECT_EQ(e.number(), err::CannotCreate);
        EXPECT_TRUE(
            e.description().contains(QString::fromUtf8("Non è stato possibile creare l'archivio dei dati")))
            << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QDir::toNativeSeparators(target)));
    }
    EXPECT_FALSE(QFile::exists(fp.dir.filePath("missing")));

    // A folder without write permission, in a temporary folder of the user's own.
    qv::test::asUnprivilegedUser([] {
        QTemporaryDir own;
        ASSERT_TRUE(own.isValid()) << "no temporary folder for the user in "
                                   << QDir::tempPath().toStdString();
        const QString locked = own.filePath("locked");
        ASSERT_TRUE(QDir(own.path()).mkdir("locked"));
        ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const StoreError e = failureOf([&] { Database::open(locked + "/quorvane.mdb"); });
        QFile::setPermissions(locked,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(e.number(), err::CannotCreate);
        EXPECT_TRUE(
            e.description().contains(QString::fromUtf8("Non è stato possibile creare l'archivio dei dati")))
            << e.description().toStdString();
        EXPECT_EQ(QDir(locked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    });
}

TEST_F(DatabaseTest, AReadOnlyFileIsRefusedWithAClearMessage) {
    qv::test::asUnprivilegedUser([] {
        QTemporaryDir own;
        ASSERT_TRUE(own.isValid()) << "no temporary folder for the user in "
                                   << QDir::tempPath().toStdString();
        const QString file = own.filePath("quorvane.mdb");
        Database::open(file); // created, then closed again
        const QByteArray before = readFile(file);
        ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        const StoreError e = failureOf([&] { Database::open(file); });
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_EQ(e.number(), err::CannotOpen);
        EXPECT_TRUE(e.description().contains("protetto dalla scrittura")) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QDir::toNativeSeparators(file)))
            << e.description().toStdString();
        EXPECT_EQ(readFile(file), before);
        EXPECT_EQ(QDir(own.path()).entryList(QDir::Files), QStringList{"quorvane.mdb"})
            << "no journal or other file may be left beside it";
    });
}

TEST_F(DatabaseTest, OneConnectionPerFileWhileInUse) {
    auto a = Database::open(path());
    auto b = Database::open(fp.dir.path() + "/./quorvane.mdb");
    EXPECT_EQ(a.get(), b.get());
    auto other = Database::open(fp.dir.filePath("altro.mdb"));
    EXPECT_NE(a.get(), other.get());
    a.reset();
    b.reset();
    auto c = Database::open(path());
    EXPECT_TRUE(c->table("pazienti").has_value());

    // Two data controls on the same file share it too.
    qv::DataControl d1, d2;
    for (auto* d : {&d1, &d2}) {
        d->setDatabaseName(path());
        d->setRecordSource("Pazienti");
        d->Refresh();
    }
    EXPECT_EQ(c.use_count(), 3);
}

TEST_F(DatabaseTest, KeysAreReservedInTheFilesCounter) {
    auto db = Database::open(path());
    const auto info = db->table("PAZIENTI");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->name, "Pazienti");
    EXPECT_EQ(info->rowidColumn, 0);
    EXPECT_TRUE(info->indexes.contains("PrimaryKey"));
    EXPECT_EQ(db->reserveKey(*info), 1);
    EXPECT_EQ(db->reserveKey(*info), 2);
    qv::sql::exec(db->handle(), "INSERT INTO Pazienti (ID, Cognome) VALUES (10, 'x')");
    EXPECT_EQ(db->reserveKey(*info), 11);
    qv::sql::exec(db->handle(), "DELETE FROM Pazienti");
    db.reset();
    db = Database::open(path());
    EXPECT_EQ(db->reserveKey(*db->table("Pazienti")), 12);

    const auto view = db->table("pazienti query");
    ASSERT_TRUE(view.has_value());
    EXPECT_TRUE(view->isView);
    EXPECT_EQ(view->rowidColumn, -1);
    EXPECT_FALSE(db->table("sqlite_sequence").has_value());
    EXPECT_FALSE(db->table("Clienti").has_value());
}

// What the store told of its long work.
class RecordedWork : public qv::work::Observer {
public:
    RecordedWork() : before_(qv::work::observe(this)) {}
    ~RecordedWork() override { qv::work::observe(before_); }
    void working() override { ++working_; }
    void taskBegins(const QString& what) override { tasks << what; }
    void taskProgress(double done) override { progress.push_back(done); }
    void taskEnds() override { ++ended; }

    QStringList tasks;
    std::vector<double> progress;
    int ended = 0;
    int working_ = 0;

private:
    qv::work::Observer* before_;
};

TEST_F(DatabaseTest, AnArchiveMadeBeforeTheSearchIndexesGetsThemOnceWhenOpened) {
    // As an earlier version made it: an index on each searched field alone.
    Database::create(path());
    execSql(path(),
            "DROP INDEX Pazienti_Cognome_Nome; DROP INDEX \"Pazienti_Società_Attività\";"
            "DROP INDEX Pazienti_Richiamo; CREATE INDEX Pazienti_Cognome ON Pazienti(Cognome);"
            "CREATE INDEX Pazienti_Nome ON Pazienti(Nome);"
            "CREATE INDEX \"Pazienti_Società\" ON Pazienti(\"Società\");"
            "CREATE INDEX \"Pazienti_Attività\" ON Pazienti(\"Attività\");"
            "INSERT INTO Pazienti (ID, Cognome, Nome) VALUES (1, 'Rossi', 'Mario'), (2, 'Bianchi', 'Anna')");
    const char* const indexes = "SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master WHERE "
                                "type = 'index' ORDER BY name)";
    const std::string ours = "Pazienti_Cognome_Nome Pazienti_Richiamo Pazienti_Società_Attività PrimaryKey";
    {
        RecordedWork work;
        auto db = Database::open(path());
        EXPECT_EQ(queryText(path(), indexes), ours);
        ASSERT_EQ(work.tasks.size(), 1u);
        EXPECT_TRUE(work.tasks[0].contains("una volta sola")) << work.tasks[0].toStdString();
        EXPECT_EQ(work.ended, 1);
        ASSERT_FALSE(work.progress.empty());
        EXPECT_TRUE(std::is_sorted(work.progress.begin(), work.progress.end()));
        EXPECT_EQ(work.progress.back(), 1.0);
        EXPECT_EQ(patientCount(path()), 2);
        EXPECT_EQ(queryText(path(), "PRAGMA integrity_check"), "ok");
    }
    // Once: the next opening finds them, and so does a new archive's first.
    RecordedWork work;
    Database::open(path());
    Database::open(fp.dir.filePath("nuovo.mdb"));
    EXPECT_TRUE(work.tasks.isEmpty());
    EXPECT_EQ(queryText(path(), indexes), ours);
    EXPECT_EQ(queryText(fp.dir.filePath("nuovo.mdb"), indexes), ours);
}

} // namespace
