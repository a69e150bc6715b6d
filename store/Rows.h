#pragma once

#include "store/Columns.h"
#include "store/Database.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qv {

// The rows a record set shows, in record-set order, each known by a key that grows with
// the order. A record set keeps its position in these and reads the values of the rows it
// lands on through them. Three kinds:
//  - a table's rows, whose keys follow every row added or removed, through the store or not;
//  - the rows of a dynamic record set with a key (a table's rowid, a view's ID), whose keys
//    are those of its opening and whose values are read when they are landed on;
//  - the rows of a view without a usable key, every value held as of opening.
class Rows {
public:
    struct Source {
        QString text; // the record source as written
        TableInfo info;
        bool live = false;     // a table's rows
        int filterColumn = -1; // a statement's Like filter on this column
        QString pattern;
        std::vector<int> kept; // columns whose texts a dynamic record set reads with its keys
    };

    // Reads the keys (or, without a usable key, the rows) of `source`. `previous`, the rows
    // of the record set this one replaces, lends its keys when they still hold.
    static std::unique_ptr<Rows> open(Database& db, const Source& source, Rows* previous);

    virtual ~Rows();
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;

    // The keys of a table's rows may be read only when first needed: until then the count
    // and the first key are known.
    int count() const { return pending_ ? pendingCount_ : int(keys_.size()); }
    qint64 keyAt(int i) {
        if (pending_ && i == 0)
            return pendingFirst_;
        ensure();
        return keys_[size_t(i)];
    }
    const std::vector<qint64>& keys() {
        ensure();
        return keys_;
    }
    int lowerBound(qint64 key);
    int find(qint64 key); // -1 when absent
    // Drops the row with `key`, found gone (removed by another program since the keys were
    // read).
    void forget(qint64 key);
    // Whether the rows can be written (not so for a view).
    bool writable() const { return !source_.info.isView; }

    // Reads the keys again when rows were added or removed since, or for the first time
    // when `needKeys`; true when it did (positions in them may have changed).
    virtual bool sync(bool /*needKeys*/) { return false; }
    // Whether the keys are as of the latest write (checked before a write of this record
    // set's own, so that it may then apply the change itself).
    virtual bool inSync() const { return true; }
    // After this record set added or removed the row with `key` (`wasInSync` as before it).
    virtual void inserted(qint64 key, bool wasInSync);
    virtual void removed(qint64 key, bool wasInSync);

    // The values of row `i` when landing on it, at least `columns` (in table order) read; a
    // column not read is null and marked in `read`. Nothing when the row is gone.
    virtual std::optional<std::vector<QVariant>> land(int i, const std::vector<int>& columns,
                                                      std::vector<bool>& read) = 0;
    // Every value of row `i`, read now; nothing when the row is gone.
    virtual std::optional<std::vector<QVariant>> row(int i) = 0;
    // The first row whose `column` equals `text` ignoring case; -1 when none.
    virtual int findFirst(int column, const QString& text) = 0;
    // `column` of every row, read in one pass in whatever order the engine finds cheapest (null
    // for a row gone since the keys were read).
    virtual ColumnValues readValues(int column) = 0;
    // The key of the first row, in record-set order, whose `column` `wanted` accepts (asked
    // once for each distinct value); nothing when there is none. No key need be read for it.
    virtual std::optional<qint64> firstKeyWhere(int column,
                                                const std::function<bool(const QVariant&)>& wanted);
    // The values of every row in record-set order.
    virtual std::vector<std::vector<QVariant>> all() = 0;
    // The texts of the kept columns of every row: as read with the keys when the rows were
    // opened, or else read now.
    std::shared_ptr<const RowTexts> keptTexts();

protected:
    Rows(Database& db, const Source& source);
    [[noreturn]] void readFailed(const sql::Failure& failure) const;
    // Every column, quoted, in table order.
    QString columnList() const;
    // "SELECT <what> FROM" the table, with the statement's filter when there is one.
    sql::Stmt select(const QString& what) const;

    // A record set opened anew on the same source keeps the keys when they still hold.
    bool stillHoldFor(const Rows& fresh) const;
    // Whether the keys are as of the archive's current version.
    virtual bool keysCurrent() const { return false; }
    virtual void adopt(Rows& previous);

    Database& db_; // outlives the record set (whose data control holds it)
    Source source_;
    std::shared_ptr<const RowTexts> kept_;
    std::vector<qint64> keys_; // ascending
    quint64 readAt_ = 0;       // the archive's version the keys are as of (0: never read, never lent)
    bool pending_ = false;     // keys not read yet
    int pendingCount_ = 0;
    qint64 pendingFirst_ = 0;
    void ensure() {
        if (pending_)
            readKeys();
    }
    virtual void readKeys() {}
};

} // namespace qv
