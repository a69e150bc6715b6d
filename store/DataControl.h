#pragma once

#include "store/BoundControl.h"
#include "store/RecordSet.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace qv {

// The data control of a screen (always named Data1 there): a database name, a record
// source, a caption, its record set and the controls bound to fields of the current record.
class DataControl {
public:
    DataControl();
    ~DataControl(); // closes without raising; call Close() to see a failure
    DataControl(const DataControl&) = delete;
    DataControl& operator=(const DataControl&) = delete;

    void setDatabaseName(const QString& path);
    QString DatabaseName() const;

    // A table name, a view name or a statement (see Statement.h).
    void setRecordSource(const QString& source);
    QString RecordSource() const;

    // Fields whose texts a dynamic record set reads with its rows when it opens, for a caller
    // that needs them of every row (RecordSet::keptTexts): one pass over the file for both.
    // Eight at most.
    void setKeptFields(const QStringList& fields) { kept_ = fields; }
    const QStringList& keptFields() const { return kept_; }

    // Table (the default; needed for Seek) or dynamic. Views and statements are always dynamic.
    void setRecordsetType(RecordSet::Type type);
    RecordSet::Type RecordsetType() const;

    void setCaption(const QString& caption) { caption_ = caption; }
    const QString& Caption() const { return caption_; }

    // The record set; opened on first use (database and record source must be set).
    RecordSet& Recordset();
    bool isOpen() const;

    // Writes pending edits, reopens the record source on its first row (no index).
    void Refresh();
    // Writes the changed bound controls now, without leaving the record and without the
    // validate event.
    void UpdateRecord();
    // Writes pending edits and closes the record set; the bound controls are emptied unless
    // they are being torn down with the program and must not be touched.
    void Close(bool emptyControls = true);
    // Closes the record set without writing anything and empties the bound controls: the file
    // was found damaged, and nothing more is written to it.
    void abandon();

    // Whether the engine refused the last write of the current record's edits (the data-error
    // event has said so) and they are still pending in the bound controls.
    bool writeRefused() const { return writeRefused_; }

    // The data control takes ownership; the control is filled on the next reposition.
    BoundControl* bind(std::unique_ptr<BoundControl> control);
    const std::vector<std::unique_ptr<BoundControl>>& boundControls() const { return bound_; }

    // Events. Validate fires before the record is left; Reposition after landing on a row
    // (bound controls already filled); Error when the engine refuses a write, before the
    // operation fails with err::ActionCancelled.
    std::function<void()> onValidate;
    std::function<void()> onReposition;
    std::function<void(int number, const QString& description)> onError;

private:
    friend class RecordSet;
    void open(RecordSet* previous = nullptr);
    // Called by the record set.
    void leaveRecord(bool validate); // validate event + write; raises 3426 on refusal
    void repositioned();             // fill controls, clear flags, Reposition event
    void clearAll();                 // no current record: empty every control
    void clearFlags();
    // Writes the controls whose data-changed flag is set, then clears their flags.
    void writeChanged(RecordSet::Save save);

    QString databaseName_;
    QString recordSource_;
    QString caption_;
    QStringList kept_;
    RecordSet::Type type_ = RecordSet::Type::Table;
    std::unique_ptr<RecordSet> recordset_;
    std::vector<std::unique_ptr<BoundControl>> bound_;
    bool writeRefused_ = false;
};

} // namespace qv
