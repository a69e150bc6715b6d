#pragma once

#include <QStringList>

struct sqlite3;

// The program's tables, as a new archive is made with them and an existing one must have them.
namespace qv::schema {

// The patients' fields besides ID, in the table's order.
QStringList patientFields();

// Makes the tables Pazienti and Agenda, index PrimaryKey, the indexes the search reads, view
// "Pazienti Query" and the seven weekday rows, in the empty database open on `db`.
void create(sqlite3* db);

} // namespace qv::schema
