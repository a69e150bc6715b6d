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
