#pragma once

#include "store/StoreError.h"

#include <QString>
#include <functional>
#include <string>

namespace qv::test {

// Runs statements on the database file directly, as another program would; fails the test
// when the engine refuses them.
void execSql(const QString& path, const char* sql);

// The first column of the first row as text: "<null>" for null, "<none>" when there is no row.
std::string queryText(const QString& path, const char* sql);

// The number of rows of Pazienti.
int patientCount(const QString& path);

// The error number `fn` raised as a store failure, 0 when it raised nothing.
int errorOf(const std::function<void()>& fn);
// The store failure `fn` raised, with its description; number 0 when it raised nothing.
StoreError failureOf(const std::function<void()>& fn);

} // namespace qv::test
