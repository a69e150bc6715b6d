#pragma once

#include <QStringList>
#include <functional>

struct sqlite3;

// The program's tables, as a new archive is made with them and an existing one must have them.
namespace qv::schema {

// The patients' fields besides ID, in the table's order.
QStringList patientFields();

// Makes the tables Pazienti and Agenda, index PrimaryKey, the indexes the search reads, view
// "Pazienti Query" and the seven weekday rows, in the empty database open on `db`.
void create(sqlite3* db);

// Whether the archive open on `db` lacks one of the indexes that the search, the list and the
// reminder read instead of the rows, or still has one that they replaced.
bool indexesToUpdate(sqlite3* db);
// Adds the missing indexes and drops the replaced ones, in one transaction, telling `progress`
// how much is done (0 to 1) as it goes. An archive made before the indexes existed gets them
// here once; an archive that has them is left as it is.
void updateIndexes(sqlite3* db, const std::function<void(double)>& progress);

} // namespace qv::schema
