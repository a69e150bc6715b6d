#include "store/ArchiveVersion.h"

#include "store/Database.h"

#include <algorithm>
#include <sqlite3.h>

namespace qv {

namespace {

unsigned engineVersionOf(sqlite3* db) {
    unsigned version = 0;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return version;
}

} // namespace

ArchiveVersion::ArchiveVersion(sqlite3* db)
    : db_(db), engineVersion_(engineVersionOf(db)), changes_(sqlite3_total_changes64(db)) {}

ArchiveVersion::~ArchiveVersion() = default;

quint64 ArchiveVersion::current() {
    if (sqlite3_total_changes64(db_) != changes_ || inTransaction_ || !sqlite3_get_autocommit(db_))
        return afterRead();
    return version_;
}

quint64 ArchiveVersion::afterRead() {
    changes_ = sqlite3_total_changes64(db_);
    inTransaction_ = !sqlite3_get_autocommit(db_);
    const unsigned now = engineVersionOf(db_);
    if (now != engineVersion_) {
        version_ += unsigned(now - engineVersion_); // the engine's counter may wrap
        engineVersion_ = now;
        if (!ownWrite_)
            besideAt_ = version_;
    }
    return version_;
}

quint64 ArchiveVersion::latest() {
    if (!look_)
        look_ = std::make_unique<sql::Stmt>(db_, QStringLiteral("PRAGMA data_version"));
    look_->run();
    return afterRead();
}

quint64 ArchiveVersion::changedBesideAt() {
    current();
    return besideAt_;
}

quint64 ArchiveVersion::keysChangedAt(const QString& table) {
    current();
    const auto it = keysAt_.find(table);
    return std::max(besideAt_, it == keysAt_.end() ? quint64(0) : it->second);
}

void ArchiveVersion::ownWriteBegins() {
    afterRead(); // what moved before the write began was not the store's
    ownWrite_ = true;
}

void ArchiveVersion::ownWriteEnds(const QString& keysOf) {
    afterRead();
    ownWrite_ = false;
    if (!keysOf.isEmpty())
        keysAt_[keysOf] = version_;
}

// ---------------------------------------------------------------------------------------

OwnWrite::OwnWrite(Database& db, QString keysOf)
    : version_(db.version()), keysOf_(std::move(keysOf)),
      tx_(std::make_unique<sql::Transaction>(db.handle())) {
    // Begun: the engine has looked at the file, and no other write can come in until the end.
    version_.ownWriteBegins();
}

OwnWrite::~OwnWrite() {
    tx_.reset(); // rolls back unless committed
    version_.ownWriteEnds(committed_ ? keysOf_ : QString());
}

void OwnWrite::commit() {
    tx_->commit();
    committed_ = true;
}

} // namespace qv
