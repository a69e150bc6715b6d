#pragma once

#include "store/Rows.h"

namespace qv {

// Rows known by a key of their table (rowid) or view (ID), whose values are read from the
// file as they are landed on. A walk reads the next rows in one go, by the range of keys
// they lie in; only the columns asked for are read, the rest of a row when first needed.
class KeyedRows : public Rows {
public:
    std::optional<std::vector<QVariant>> land(int i, const std::vector<int>& columns,
                                              std::vector<bool>& read) override;
    std::optional<std::vector<QVariant>> row(int i) override;
    int findFirst(int column, const QString& text) override;
    ColumnValues readValues(int column) override;
    std::vector<std::vector<QVariant>> all() override;

protected:
    KeyedRows(Database& db, const Source& source, QString keyName);
    std::optional<std::vector<QVariant>> byKey(qint64 key);

    const QString keyName_; // as the engine reads it

private:
    void readWindow(const std::vector<int>& columns, int i, int step);
    QString table() const;

    // The rows read ahead, valid while the archive's version is the one they were read at.
    struct Window {
        quint64 version = 0; // 0: not valid
        std::vector<int> columns;
        std::vector<qint64> keys; // ascending
        std::vector<std::vector<QVariant>> values;
    } window_;
    int lastLanded_ = -1;
    quint64 lastLandedAt_ = 0; // the archive's version then
    std::optional<sql::Stmt> readRange_, readRow_;
};

// A table's rows: its keys are read again when the table's keys changed since the version
// they were read at (the record set that added or removed a row applies it itself), so that
// rows another data control or another program stored are seen.
class TableRows final : public KeyedRows {
public:
    TableRows(Database& db, const Source& source);
    // Reads the count and the first key; the keys themselves are read when first needed,
    // or by a pass over a column that reads them on its way.
    void start();
    void load();
    std::optional<qint64> firstKeyWhere(int column,
                                        const std::function<bool(const QVariant&)>& wanted) override;
    bool sync(bool needKeys) override;
    bool inSync() const override;
    void inserted(qint64 key, bool wasInSync) override;
    void removed(qint64 key, bool wasInSync) override;

protected:
    bool keysCurrent() const override;
    void readKeys() override;

private:
    bool ownChangeOnly(bool wasInSync) const;
    // Whether an index of the table holds `column` first, in the engine's own order.
    bool indexLeadsWith(int column) const;
};

// The rows of a dynamic record set with a key: the keys as of opening (those matching the
// filter of a statement), each row's values as they are now; the kept columns' texts as of
// opening, read with the keys.
class SnapshotRows final : public KeyedRows {
public:
    SnapshotRows(Database& db, const Source& source, QString keyName);
    // False when the keys do not identify the rows (a view whose ID repeats or is missing).
    bool load();

protected:
    bool keysCurrent() const override;

private:
    bool loadWithTexts();
};

} // namespace qv
