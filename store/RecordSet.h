#pragma once

#include "store/Columns.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace qv {

class Database;
class DataControl;
namespace sql {
class Failure;
}

// The record set of a data control. Positioning operations that leave the current record
// first let the data control write its changed bound controls (and fail with
// err::ActionCancelled when that write is refused); landing on a row refills them.
//
// A table record set reads its table live (rows another data control stored since it was
// opened are seen); a dynamic record set (view, statement, or a table opened as dynaset)
// shows the rows as they were at its opening or last Refresh.
class RecordSet {
public:
    enum class Type { Table, Dynaset };

    ~RecordSet();
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;

    Type type() const;

    // Ends; moves past an end or on an empty set never fail.
    bool Eof() const;
    bool Bof() const;
    bool hasCurrent() const; // on a stored row or on a new row started by AddNew
    bool isNewRow() const;   // on a new row started by AddNew, not yet stored

    int RecordCount() const;
    // 100 * (k - 1) / R for the k-th of R rows; raises err::NoCurrentRecord without a stored
    // current row.
    float PercentPosition() const;

    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    // Past the last record, where MoveLast and then MoveNext leave it, without landing on the
    // last record on the way (nor reading every key to find it).
    void MoveAfterLast();

    // Table record sets only: "PrimaryKey" orders by ID and allows Seek.
    void setIndex(const QString& name);
    QString Index() const;
    // Seek "=" with the key as a number or as text (leading and trailing blanks allowed).
    // When no row matches NoMatch() is true and the current record stays where it was.
    void Seek(const QString& comparison, const QVariant& key);
    bool NoMatch() const;

    // criteria "<field> = '<text>'": first row in record-set order whose field equals the
    // text, ignoring case. NoMatch() tells whether one was found.
    void FindFirst(const QString& criteria);

    // Starts an empty new row with its ID given at once (tables with an ID field).
    void AddNew();
    void Edit();
    void Update();
    void CancelUpdate();
    void Delete();

    // Identifies a row for the life of the record set (its key).
    QVariant Bookmark() const;
    void setBookmark(const QVariant& bookmark);
    QVariant LastModified() const;

    // A field of the current record, name matched without regard to case; for a new row,
    // the values its bound controls would store.
    QVariant Fields(const QString& name) const;
    QStringList fieldNames() const;

    // Values of every row (dynamic record sets: as of opening; table: as now), in
    // record-set order; used by grids bound to the record set.
    std::vector<std::vector<QVariant>> allRows() const;

    // For grids that read rows as they show them. The values of the row at a position in
    // record-set order (0 for the first), read now; nulls past the ends.
    std::vector<QVariant> rowAt(int position) const;
    // One column of every row, read in one pass without holding the rows: its distinct values
    // and each row's among them (null for a row gone since the record set was opened).
    ColumnValues readValues(int column) const;
    // The bookmark of the first record, in record-set order, whose value of `column` `wanted`
    // accepts; null when there is none. `wanted` is asked once for each distinct value, and
    // a table with an index on the column is found without reading its rows.
    QVariant firstBookmarkWhere(int column, const std::function<bool(const QVariant&)>& wanted) const;
    // The texts of the data control's kept fields (DataControl::setKeptFields) of every row: a
    // dynamic record set reads them with its rows when it opens, as they are then.
    std::shared_ptr<const RowTexts> keptTexts() const;
    // The column of a field, its name matched without regard to case; raises err::ItemNotFound
    // when the record set has no such field.
    int columnOf(const QString& field) const;

private:
    friend class DataControl;
    struct Impl;
    explicit RecordSet(std::unique_ptr<Impl> impl);

    // How a write of the bound controls was asked for.
    enum class Save {
        Leave,  // before the current record changes: a new row without changes is dropped
        Record, // UpdateRecord: writes without leaving; the row counts as last modified
        Update, // Update after Edit or AddNew: every bound control is stored, a new row too
    };

    // Opens `source` on `db` for `owner` (not yet positioned). `previous`, the record set it
    // replaces, lends its keys when nothing was written since it read them.
    static std::unique_ptr<RecordSet> open(DataControl& owner, std::shared_ptr<Database> db,
                                           const QString& source, Type type, RecordSet* previous = nullptr);
    // Lands on the first row (or on no row when empty) after opening.
    void start();
    // The implicit write before the current record changes; a new row then gives way to
    // the row that was current before AddNew. Returns whether a new row was left.
    bool leave(bool validate);
    // Fills the bound controls from the current row, or empties them without one.
    void land();
    // Writes changed fields (name, value) to the current row or stores the new row.
    void storeChanges(const std::vector<std::pair<QString, QVariant>>& changes, Save save);
    // What a control bound to `field` shows now (null without a current row).
    QVariant boundValue(const QString& field) const;
    // Fires the data-error event and fails with err::ActionCancelled.
    [[noreturn]] void refused(const QString& engineMessage);
    // The same for a write the engine failed; damage it reports fails with err::CannotOpen
    // instead, without the event.
    [[noreturn]] void refused(const sql::Failure& failure);

    std::unique_ptr<Impl> d;
};

} // namespace qv
