#include "store/DataControl.h"

#include "store/Database.h"
#include "store/StoreError.h"

namespace qv {

DataControl::DataControl() = default;

DataControl::~DataControl() {
    // The screen that owns this data control is going away: its event handlers may no
    // longer be called. Pending edits are still written; a failure cannot be reported here.
    onValidate = nullptr;
    onReposition = nullptr;
    onError = nullptr;
    try {
        Close();
    } catch (...) {
    }
}

void DataControl::setDatabaseName(const QString& path) {
    databaseName_ = path;
}

QString DataControl::DatabaseName() const {
    return databaseName_;
}

void DataControl::setRecordSource(const QString& source) {
    recordSource_ = source;
}

QString DataControl::RecordSource() const {
    return recordSource_;
}

void DataControl::setRecordsetType(RecordSet::Type type) {
    type_ = type;
}

RecordSet::Type DataControl::RecordsetType() const {
    return type_;
}

RecordSet& DataControl::Recordset() {
    if (!recordset_)
        open();
    return *recordset_;
}

bool DataControl::isOpen() const {
    return recordset_ != nullptr;
}

void DataControl::open(RecordSet* previous) {
    if (databaseName_.isEmpty())
        throw StoreError(err::CannotOpen,
                         QStringLiteral("Non è stato indicato l'archivio dei dati da aprire."));
    if (recordSource_.trimmed().isEmpty())
        throw StoreError(err::NoSuchTable,
                         QStringLiteral("Non è stata indicata la tabella o la query da aprire."));
    auto db = Database::open(databaseName_);
    recordset_ = RecordSet::open(*this, std::move(db), recordSource_, type_, previous);
    recordset_->start();
}

void DataControl::Refresh() {
    std::unique_ptr<RecordSet> previous;
    if (recordset_) {
        recordset_->leave(true);
        previous = std::move(recordset_);
    }
    try {
        open(previous.get());
    } catch (...) {
        if (!recordset_)
            clearAll();
        throw;
    }
}

void DataControl::UpdateRecord() {
    if (recordset_)
        writeChanged(RecordSet::Save::Record);
}

void DataControl::Close(bool emptyControls) {
    if (!recordset_)
        return;
    recordset_->leave(true);
    recordset_.reset();
    if (emptyControls)
        clearAll();
}

void DataControl::abandon() {
    recordset_.reset();
    clearAll();
}

BoundControl* DataControl::bind(std::unique_ptr<BoundControl> control) {
    bound_.push_back(std::move(control));
    return bound_.back().get();
}

void DataControl::leaveRecord(bool validate) {
    if (!recordset_ || !recordset_->hasCurrent())
        return;
    if (validate && onValidate)
        onValidate();
    writeChanged(RecordSet::Save::Leave);
}

void DataControl::writeChanged(RecordSet::Save save) {
    std::vector<std::pair<QString, QVariant>> changes;
    std::vector<BoundControl*> written;
    // An explicit Update stores what every bound control shows; otherwise only the
    // controls whose text changed are written, so that two screens on one row never
    // overwrite each other's fields.
    const bool all = save == RecordSet::Save::Update;
    for (const auto& control : bound_) {
        if ((all || control->DataChanged()) && !control->DataField().isEmpty()) {
            changes.emplace_back(control->DataField(), control->storeValue());
            written.push_back(control.get());
        }
    }
    try {
        recordset_->storeChanges(changes, save);
    } catch (const StoreError& e) {
        if (e.number() == err::ActionCancelled)
            writeRefused_ = true;
        throw;
    }
    writeRefused_ = false;
    for (BoundControl* control : written)
        control->setDataChanged(false);
}

void DataControl::repositioned() {
    writeRefused_ = false;
    for (const auto& control : bound_) {
        control->fill(recordset_->boundValue(control->DataField()));
        control->setDataChanged(false);
    }
    if (onReposition)
        onReposition();
}

void DataControl::clearAll() {
    writeRefused_ = false;
    for (const auto& control : bound_) {
        control->fill(QVariant());
        control->setDataChanged(false);
    }
}

void DataControl::clearFlags() {
    for (const auto& control : bound_)
        control->setDataChanged(false);
}

} // namespace qv
