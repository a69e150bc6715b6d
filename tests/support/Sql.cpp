#include "tests/support/Sql.h"

#include "store/StoreError.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace qv::test {

void execSql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.toUtf8().constData(), &db));
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    EXPECT_EQ(SQLITE_OK, rc) << (error ? error : "") << " in: " << sql;
    sqlite3_free(error);
    sqlite3_close(db);
}

void execSql(const QString& path, const QString& sql) {
    execSql(path, sql.toUtf8().constData());
}

void insertRows(const QString& path, const char* table, const std::vector<const char*>& columns,
                const std::vector<std::vector<const char*>>& rows) {
    QStringList names;
    QStringList marks;
    for (const char* column : columns) {
        names << QLatin1Char('"') + QString::fromUtf8(column) + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    const QByteArray insert =
        QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
            .arg(QString::fromUtf8(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")))
            .toUtf8();
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.toUtf8().constData(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr));
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, insert.constData(), -1, &stmt, nullptr))
        << sqlite3_errmsg(db);
    for (const std::vector<const char*>& row : rows) {
        EXPECT_EQ(columns.size(), row.size());
        for (size_t i = 0; i < row.size(); ++i) {
            if (row[i])
                sqlite3_bind_text(stmt, int(i + 1), row[i], -1, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(stmt, int(i + 1));
        }
        ASSERT_EQ(SQLITE_DONE, sqlite3_step(stmt)) << sqlite3_errmsg(db);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
    sqlite3_close(db);
}

std::vector<QStringList> queryRows(sqlite3* db, const QString& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return {{QStringLiteral("<prepare failed: %1>").arg(QString::fromUtf8(sqlite3_errmsg(db)))}};
    std::vector<QStringList> out;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            row << (sqlite3_column_type(stmt, c) == SQLITE_NULL
                        ? QStringLiteral("<null>")
                        : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c))));
        out.push_back(row);
    }
    sqlite3_finalize(stmt);
    return out;
}

std::string queryText(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "<none>";
    }
    sqlite3_stmt* stmt = nullptr;
    std::string result = "<none>";
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        result = sqlite3_column_type(stmt, 0) == SQLITE_NULL
                     ? "<null>"
                     : std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

int patientCount(const QString& path) {
    return std::stoi(queryText(path, "SELECT COUNT(*) FROM Pazienti"));
}

const QStringList& patientColumns() {
    static const QStringList columns = {"ID",
                                        "Cognome",
                                        "Nome",
                                        "Attività",
                                        "Società",
                                        "Indirizzo",
                                        "Telefono Casa",
                                        "Telefono Ufficio",
                                        "Data",
                                        "Cellulare",
                                        "Fax",
                                        "E mail",
                                        "Data richiamo",
                                        "Note"};
    return columns;
}

StoreError failureOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const StoreError& e) {
        return e;
    }
    return StoreError(0, QString());
}

int errorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const StoreError& e) {
        return e.number();
    }
    return 0;
}

} // namespace qv::test
