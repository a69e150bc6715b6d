#pragma once

#include "store/StoreError.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

struct sqlite3;

namespace qv::test {

// Runs statements on the database file directly, as another program would; fails the test
// when the engine refuses them.
void execSql(const QString& path, const char* sql);
void execSql(const QString& path, const QString& sql);

// Stores rows into `table` in one transaction with bound values, as another program would:
// each row gives the texts of `columns` in their order, a null pointer for null.
void insertRows(const QString& path, const char* table, const std::vector<const char*>& columns,
                const std::vector<std::vector<const char*>>& rows);

// Every row a query gives on an open connection, each column as text ("<null>" for null); one
// row naming the failure when the engine refuses the query.
std::vector<QStringList> queryRows(sqlite3* db, const QString& sql);

// The first column of the first row as text: "<null>" for null, "<none>" when there is no row.
std::string queryText(const QString& path, const char* sql);

// The number of rows of Pazienti.
int patientCount(const QString& path);
// The columns of Pazienti as the program makes them, in order: the key and the 13 fields.
const QStringList& patientColumns();

// The error number `fn` raised as a store failure, 0 when it raised nothing.
int errorOf(const std::function<void()>& fn);
// The store failure `fn` raised, with its description; number 0 when it raised nothing.
StoreError failureOf(const std::function<void()>& fn);

} // namespace qv::test
