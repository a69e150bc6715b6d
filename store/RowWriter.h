#pragma once

#include "store/Database.h"

#include <QVariant>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace qv {

// Writes the rows of one table for a record set: each write in a transaction of its own (an
// OwnWrite, which tells the archive's version, for an added or removed row, that the table's
// keys changed). Statements are kept by the columns they store (a screen writes the same few
// sets of fields). Failures are raised as the engine's.
class RowWriter {
public:
    RowWriter(Database& db, const TableInfo& info);

    using Columns = std::vector<std::pair<int, QVariant>>; // column, value

    // The key of a new row, given at once.
    qint64 reserveKey();
    void insert(qint64 key, const Columns& columns);
    // False when no row has the key any more (removed by another program): nothing is written.
    [[nodiscard]] bool update(qint64 key, const Columns& columns);
    void remove(qint64 key);

private:
    sql::Stmt& cached(std::map<std::vector<int>, sql::Stmt>& cache, const Columns& columns, bool insert);

    Database& db_; // outlives the record set
    TableInfo info_;
    std::map<std::vector<int>, sql::Stmt> updates_, inserts_;
    std::optional<sql::Stmt> deleteRow_;
};

} // namespace qv
