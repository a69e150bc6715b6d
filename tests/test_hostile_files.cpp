// What a careless machine leaves where the archive should be: a pipe or a device, a table of
// patients whose ID is not the row's key, an identifier at the top of its range.
#include "platform/BoundWidgets.h"
#include "store/DataControl.h"
#include "store/Database.h"
#include "store/StoreError.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace qv;
using qv::test::execSql;
using qv::test::failureOf;

namespace {

// The program's own schema, with the patients' table made by `patientsTable`'s statement.
void makeArchiveWith(const QString& path, const QString& idColumn, const QString& tail = QString()) {
    QTemporaryDir scratch;
    const QString model = scratch.filePath(QStringLiteral("model.mdb"));
    Database::create(model);
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(model.toUtf8().constData(), &db));
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(
        db, "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite%' ORDER BY rowid",
        -1, &st, nullptr);
    QStringList statements;
    while (sqlite3_step(st) == SQLITE_ROW)
        statements << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    for (QString& s : statements) {
        if (s.startsWith(QStringLiteral("CREATE TABLE \"Pazienti\""))) {
            s.replace(QStringLiteral("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT"), idColumn);
            s += tail;
        }
    }
    execSql(path, statements.join(QStringLiteral(";\n")));
}

class HostileFiles : public test::FolderTest {
protected:
    void expectForeign() {
        const StoreError e = failureOf([&] { Database::open(path()); });
        EXPECT_EQ(err::NotADatabase, e.number());
        EXPECT_TRUE(e.description().contains(QString::fromUtf8("non è un archivio valido di Quorvane")))
            << e.description().toStdString();
    }
};

TEST_F(HostileFiles, aPipeOrADeviceIsRefusedAtOnceLikeAForeignFile) {
    ASSERT_EQ(0, ::mkfifo(QFile::encodeName(path()).constData(), 0600));
    expectForeign(); // reading it would wait for a writer that never comes
    QFile::remove(path());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path()));
    expectForeign();
}

TEST_F(HostileFiles, patientsWhoseIdIsNotTheRowsKeyAreAForeignSchema) {
    makeArchiveWith(path(), QStringLiteral("\"ID\" TEXT PRIMARY KEY"));
    expectForeign();
    QFile::remove(path());
    makeArchiveWith(path(), QStringLiteral("\"ID\" INTEGER"));
    expectForeign();
    QFile::remove(path());
    makeArchiveWith(path(), QStringLiteral("\"ID\" INTEGER PRIMARY KEY"), QStringLiteral(" WITHOUT ROWID"));
    expectForeign();
    QFile::remove(path());
    makeArchiveWith(path(), QStringLiteral("\"ID\" INTEGER PRIMARY KEY"));
    EXPECT_NE(nullptr, Database::open(path()));
}

TEST_F(HostileFiles, theHighestIdentifierIsGivenOnceAndNeverWraps) {
    Database::create(path());
    const qint64 top = std::numeric_limits<qint64>::max();
    execSql(path(), QStringLiteral("INSERT INTO Pazienti (ID, Cognome) VALUES (%1, 'Rossi')").arg(top - 1));
    DataControl data;
    data.setDatabaseName(path());
    data.setRecordSource(QStringLiteral("Pazienti"));
    RecordSet& records = data.Recordset();
    records.AddNew();
    EXPECT_EQ(top, records.Fields(QStringLiteral("ID")).toLongLong());
    records.CancelUpdate();
    const StoreError e = failureOf([&] { records.AddNew(); });
    EXPECT_EQ(err::KeysExhausted, e.number());
    EXPECT_TRUE(e.description().contains(QString::fromUtf8("identificativo più alto possibile")));
    EXPECT_EQ(1, records.RecordCount());
}

} // namespace

namespace {

TEST_F(HostileFiles, anArchiveDeletedWhileInUseIsSaidSoWhenSaving) {
    Database::create(path());
    execSql(path(), QStringLiteral("INSERT INTO Pazienti (ID, Cognome) VALUES (1, 'Rossi'), (2, 'Neri')"));
    QLineEdit box;
    DataControl data;
    data.setDatabaseName(path());
    data.setRecordSource(QStringLiteral("Pazienti"));
    data.bind(std::make_unique<BoundLineEdit>(&box, QStringLiteral("Cognome")));
    QString said;
    data.onError = [&](int, const QString& description) { said = description; };
    data.Recordset();
    ASSERT_TRUE(QFile::remove(path()));
    box.setText(QStringLiteral("Rossini"));
    EXPECT_EQ(err::ActionCancelled, failureOf([&] { data.Recordset().MoveNext(); }).number());
    EXPECT_TRUE(said.contains(QStringLiteral("spostato o cancellato"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("soltanto leggere"))) << said.toStdString();
}

TEST(EngineMessages, noEnglishReachesTheUser) {
    for (const auto& [code, engine] : std::vector<std::pair<int, QString>>{
             {SQLITE_ERROR, QStringLiteral("no such column: rowid")},
             {SQLITE_ERROR, QStringLiteral("near \"x\": syntax error")},
             {SQLITE_MISMATCH, QStringLiteral("datatype mismatch")},
             {SQLITE_CONSTRAINT_UNIQUE, QStringLiteral("UNIQUE constraint failed: Pazienti.ID")}}) {
        const QString message = sql::italianMessage(code, engine);
        EXPECT_FALSE(message.contains(engine)) << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("assistenza tecnica"))) << message.toStdString();
    }
}

} // namespace
