#include "store/RowWriter.h"

#include <QStringList>
#include <sqlite3.h>

namespace qv {

RowWriter::RowWriter(Database& db, const TableInfo& info) : db_(db), info_(info) {}

qint64 RowWriter::reserveKey() {
    return db_.reserveKey(info_);
}

sql::Stmt& RowWriter::cached(std::map<std::vector<int>, sql::Stmt>& cache, const Columns& columns,
                             bool insert) {
    std::vector<int> written;
    for (const auto& column : columns)
        written.push_back(column.first);
    if (auto it = cache.find(written); it != cache.end())
        return it->second;
    if (cache.size() >= 32)
        cache.clear();
    const QString table = sql::quoted(info_.name);
    QString text;
    if (insert) {
        QStringList names{QStringLiteral("rowid")};
        QStringList params{QStringLiteral("?1")};
        for (size_t i = 0; i < columns.size(); ++i) {
            names << sql::quoted(info_.columns[columns[i].first]);
            params << QStringLiteral("?%1").arg(i + 2);
        }
        text = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                   .arg(table, names.join(QStringLiteral(", ")), params.join(QStringLiteral(", ")));
    } else {
        QStringList sets;
        for (size_t i = 0; i < columns.size(); ++i)
            sets << QStringLiteral("%1 = ?%2").arg(sql::quoted(info_.columns[columns[i].first])).arg(i + 1);
        text = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                   .arg(table, sets.join(QStringLiteral(", ")))
                   .arg(columns.size() + 1);
    }
    return cache.emplace(std::move(written), sql::Stmt(db_.handle(), text)).first->second;
}

void RowWriter::insert(qint64 key, const Columns& columns) {
    OwnWrite write(db_, info_.name);
    sql::Stmt& insert = cached(inserts_, columns, true);
    insert.bind(1, key);
    for (size_t i = 0; i < columns.size(); ++i)
        insert.bind(int(i) + 2, columns[i].second);
    insert.run();
    write.commit();
}

bool RowWriter::update(qint64 key, const Columns& columns) {
    OwnWrite write(db_);
    sql::Stmt& update = cached(updates_, columns, false);
    for (size_t i = 0; i < columns.size(); ++i)
        update.bind(int(i) + 1, columns[i].second);
    update.bind(int(columns.size()) + 1, key);
    update.run();
    const bool found = sqlite3_changes64(db_.handle()) > 0;
    write.commit();
    return found;
}

void RowWriter::remove(qint64 key) {
    OwnWrite write(db_, info_.name);
    if (!deleteRow_)
        deleteRow_.emplace(db_.handle(),
                           QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(sql::quoted(info_.name)));
    deleteRow_->bind(1, key);
    deleteRow_->run();
    write.commit();
}

} // namespace qv
