#include "store/KeyedRows.h"

#include "store/FieldText.h"
#include "store/Statement.h"

#include <QHash>

#include <algorithm>
#include <limits>

namespace qv {

KeyedRows::KeyedRows(Database& db, const Source& source, QString keyName)
    : Rows(db, source), keyName_(std::move(keyName)) {}

QString KeyedRows::table() const {
    return sql::quoted(source_.info.name);
}

std::optional<std::vector<QVariant>> KeyedRows::byKey(qint64 key) {
    try {
        if (!readRow_)
            readRow_.emplace(
                db_.handle(),
                QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?1").arg(columnList(), table(), keyName_));
        readRow_->bind(1, key);
        if (!readRow_->step()) {
            readRow_->reset();
            return std::nullopt;
        }
        std::vector<QVariant> values;
        values.reserve(size_t(source_.info.columns.size()));
        for (int c = 0; c < source_.info.columns.size(); ++c)
            values.push_back(readRow_->value(c));
        readRow_->reset();
        return values;
    } catch (const sql::Failure& failure) {
        readFailed(failure);
    }
}

std::optional<std::vector<QVariant>> KeyedRows::row(int i) {
    return byKey(keyAt(i));
}

std::optional<std::vector<QVariant>> KeyedRows::land(int i, const std::vector<int>& columns,
                                                     std::vector<bool>& read) {
    const quint64 version = db_.version().current();
    const bool sequential =
        lastLanded_ >= 0 && lastLandedAt_ == version && (i == lastLanded_ + 1 || i == lastLanded_ - 1);
    const int step = sequential ? i - lastLanded_ : 0;
    lastLanded_ = i;
    lastLandedAt_ = version;

    const qint64 key = keyAt(i);
    if (window_.version != version || window_.columns != columns ||
        !std::binary_search(window_.keys.begin(), window_.keys.end(), key))
        readWindow(columns, i, step);
    const auto it = std::lower_bound(window_.keys.begin(), window_.keys.end(), key);
    if (it == window_.keys.end() || *it != key)
        return std::nullopt;
    read.assign(size_t(source_.info.columns.size()), false);
    for (int c : columns)
        read[size_t(c)] = true;
    return window_.values[size_t(it - window_.keys.begin())];
}

// Reads `columns` of row `i` and, walking (`step` 1 or -1), of the next rows in that
// direction in one go: those whose keys lie between the record set's own keys, keeping
// only its own rows.
void KeyedRows::readWindow(const std::vector<int>& columns, int i, int step) {
    constexpr int kAhead = 64;
    if (step != 0)
        ensure(); // the count of keys not yet read may be out of date
    const int first = step < 0 ? std::max(0, i - (kAhead - 1)) : i;
    const int last = step > 0 ? std::min(count() - 1, i + (kAhead - 1)) : i;
    // Rows far apart (a statement that selects few) are read one by one rather than
    // stepping over everything that lies between them.
    const bool sparse = keyAt(last) - keyAt(first) > 4 * qint64(last - first + 1);
    const size_t width = size_t(source_.info.columns.size());
    window_.version = 0;
    window_.keys.clear();
    window_.values.clear();
    // The window holds as of one version only: when the reads saw another program's change
    // (rows far apart are read in several goes) it is read again at the next landing.
    const quint64 before = db_.version().current();
    try {
        if (!readRange_ || window_.columns != columns) {
            QStringList names{keyName_};
            for (int c : columns)
                names << sql::quoted(source_.info.columns[c]);
            readRange_.reset();
            readRange_.emplace(db_.handle(),
                               QStringLiteral("SELECT %1 FROM %2 WHERE %3 BETWEEN ?1 AND ?2 ORDER BY %3")
                                   .arg(names.join(QStringLiteral(", ")), table(), keyName_));
        }
        window_.columns = columns;
        // Takes the row the statement is on when it is one of the record set's own.
        int mine = first;
        const auto take = [&] {
            const qint64 k = readRange_->int64(0);
            while (mine <= last && keyAt(mine) < k)
                ++mine;
            if (mine > last || keyAt(mine) != k)
                return mine <= last; // a row the record set does not hold: go on
            window_.keys.push_back(k);
            std::vector<QVariant> values(width);
            for (size_t c = 0; c < columns.size(); ++c)
                values[size_t(columns[c])] = readRange_->value(int(c) + 1);
            window_.values.push_back(std::move(values));
            return true;
        };
        if (sparse) {
            for (int r = first; r <= last; ++r) {
                readRange_->bind(1, keyAt(r));
                readRange_->bind(2, keyAt(r));
                mine = r;
                if (readRange_->step())
                    take();
                readRange_->reset();
            }
        } else {
            readRange_->bind(1, keyAt(first));
            readRange_->bind(2, keyAt(last));
            while (readRange_->step() && take()) {
            }
            readRange_->reset();
        }
    } catch (const sql::Failure& failure) {
        readFailed(failure);
    }
    if (const quint64 after = db_.version().afterRead(); after == before)
        window_.version = after;
}

int KeyedRows::findFirst(int column, const QString& text) {
    // The engine compares: the text as a Like pattern in which every character stands for
    // itself ("[*]" is a star), which is equality ignoring case.
    QString literal;
    for (const QChar ch : text) {
        if (ch == u'*' || ch == u'?' || ch == u'#' || ch == u'[')
            literal += QLatin1Char('[') + ch + QLatin1Char(']');
        else
            literal += ch;
    }
    try {
        sql::Stmt q(db_.handle(), QStringLiteral("SELECT %3 FROM %2 WHERE qv_like(?1, %1) ORDER BY %3")
                                      .arg(sql::quoted(source_.info.columns[column]), table(), keyName_));
        q.bind(1, literal);
        while (q.step())
            if (const int at = find(q.int64(0)); at >= 0)
                return at; // a dynamic record set looks only among its own rows
    } catch (const sql::Failure& failure) {
        readFailed(failure);
    }
    return -1;
}

namespace {

// Numbers the distinct values of a column as a pass over it meets them. Equal values mostly
// come together (the engine reads them from an index on the column), so a value is first
// compared with the one before it, as the engine stores it.
class ValueNumbers {
public:
    explicit ValueNumbers(std::vector<QVariant>& values) : values_(values) {}

    int of(const sql::Stmt& q, int column) {
        const sql::Stmt::Kind kind = q.kind(column);
        if (kind == sql::Stmt::Kind::Null)
            return null();
        const QByteArrayView bytes = q.bytes(column);
        if (last_ >= 0 && kind == lastKind_ && bytes == QByteArrayView(lastBytes_))
            return last_;
        lastKind_ = kind;
        lastBytes_ = QByteArray(1, char(kind)) + bytes.toByteArray();
        auto it = known_.constFind(lastBytes_);
        if (it == known_.constEnd()) {
            it = known_.insert(lastBytes_, int(values_.size()));
            values_.push_back(q.value(column));
        }
        lastBytes_.remove(0, 1);
        last_ = *it;
        return last_;
    }

    int null() {
        if (null_ < 0) {
            null_ = int(values_.size());
            values_.emplace_back();
        }
        return null_;
    }

private:
    std::vector<QVariant>& values_;
    QHash<QByteArray, int> known_; // by the storage class and the bytes
    int last_ = -1;
    sql::Stmt::Kind lastKind_ = sql::Stmt::Kind::Null;
    QByteArray lastBytes_;
    int null_ = -1;
};

} // namespace

ColumnValues KeyedRows::readValues(int column) {
    // One pass in whatever order the engine finds cheapest (an index on the column holds it
    // with the keys); each row is put at its position by its key.
    ensure();
    ColumnValues out;
    ValueNumbers numbers(out.values);
    ByKey read;
    try {
        sql::Stmt q(db_.handle(), QStringLiteral("SELECT %3, %1 FROM %2")
                                      .arg(sql::quoted(source_.info.columns[column]), table(), keyName_));
        while (q.step())
            read.add(q.int64(0), numbers.of(q, 1));
    } catch (const sql::Failure& failure) {
        readFailed(failure);
    }
    out.of = read.byPosition(keys_);
    for (int& number : out.of)
        if (number < 0)
            number = numbers.null(); // gone since the keys were read
    return out;
}

// A table's rows as they are now; a dynamic record set's as of its keys.
std::vector<std::vector<QVariant>> KeyedRows::all() {
    std::vector<std::vector<QVariant>> out;
    try {
        sql::Stmt q(db_.handle(),
                    QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1").arg(keyName_, columnList(), table()));
        const int n = int(source_.info.columns.size());
        while (q.step()) {
            if (!source_.live && find(q.int64(0)) < 0)
                continue; // a dynamic record set shows only its own rows
            std::vector<QVariant> values;
            values.reserve(size_t(n));
            for (int c = 0; c < n; ++c)
                values.push_back(q.value(c + 1));
            out.push_back(std::move(values));
        }
    } catch (const sql::Failure& failure) {
        readFailed(failure);
    }
    return out;
}

// ---------------------------------------------------------------------------------------

TableRows::TableRows(Database& db, const Source& source) : KeyedRows(db, source, QStringLiteral("rowid")) {}

void TableRows::start() {
    const QString table = sql::quoted(source_.info.name);
    sql::Stmt count(db_.handle(), QStringLiteral("SELECT count(*) FROM %1").arg(table));
    sql::Stmt first(db_.handle(), QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid LIMIT 1").arg(table));
    if (!count.step() || count.int64(0) <= 0 || count.int64(0) > std::numeric_limits<int>::max() ||
        !first.step())
        return load();
    keys_.clear();
    pending_ = true;
    pendingCount_ = int(count.int64(0));
    pendingFirst_ = first.int64(0);
    readAt_ = db_.version().afterRead();
}

void TableRows::load() {
    keys_.clear();
    if (pending_)
        keys_.reserve(size_t(pendingCount_));
    pending_ = false;
    sql::Stmt q(db_.handle(),
                QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid").arg(sql::quoted(source_.info.name)));
    while (q.step())
        keys_.push_back(q.int64(0));
    readAt_ = db_.version().afterRead();
}

void TableRows::readKeys() {
    try {
        load();
    } catch (const sql::Failure& failure) {
        readFailed(failure);
    }
}

bool TableRows::indexLeadsWith(int column) const {
    sql::Stmt q(db_.handle(),
                QStringLiteral("SELECT 1 FROM pragma_index_list(?1) AS l, pragma_index_xinfo(l.name) AS x "
                               "WHERE l.partial = 0 AND x.seqno = 0 AND x.name = ?2 COLLATE NOCASE "
                               "AND x.coll = 'BINARY'"));
    q.bind(1, source_.info.name);
    q.bind(2, source_.info.columns[column]);
    return q.step();
}

// A table's rows are all its rows: with an index on the column, each distinct value is found
// by a seek past the one before, and the first row holding it by one more, so that the rows
// themselves are never read; without one, every row's value is read once.
std::optional<qint64> TableRows::firstKeyWhere(int column,
                                               const std::function<bool(const QVariant&)>& wanted) {
    try {
        if (!indexLeadsWith(column))
            return KeyedRows::firstKeyWhere(column, wanted);
        const QString table = sql::quoted(source_.info.name);
        const QString field = sql::quoted(source_.info.columns[column]);
        sql::Stmt next(
            db_.handle(),
            QStringLiteral("SELECT %1 FROM %2 WHERE %1 > ?1 ORDER BY %1 LIMIT 1").arg(field, table));
        sql::Stmt smallest(
            db_.handle(),
            QStringLiteral("SELECT %1 FROM %2 WHERE %1 IS NOT NULL ORDER BY %1 LIMIT 1").arg(field, table));
        sql::Stmt firstWith(
            db_.handle(),
            QStringLiteral("SELECT rowid FROM %2 WHERE %1 = ?1 ORDER BY rowid LIMIT 1").arg(field, table));
        sql::Stmt firstNull(
            db_.handle(),
            QStringLiteral("SELECT rowid FROM %2 WHERE %1 IS NULL ORDER BY rowid LIMIT 1").arg(field, table));
        std::optional<qint64> first;
        const auto consider = [&](sql::Stmt& q) {
            if (q.step() && (!first || q.int64(0) < *first))
                first = q.int64(0);
            q.reset();
        };
        if (wanted(QVariant()))
            consider(firstNull);
        QVariant value;
        bool found = smallest.step();
        if (found)
            value = smallest.value(0);
        while (found) {
            if (wanted(value)) {
                firstWith.bind(1, value);
                consider(firstWith);
            }
            next.bind(1, value);
            found = next.step();
            if (found)
                value = next.value(0);
            next.reset();
        }
        return first;
    } catch (const sql::Failure& failure) {
        readFailed(failure);
    }
}

bool TableRows::sync(bool needKeys) {
    if (inSync() && !(pending_ && needKeys))
        return false;
    readKeys();
    return true;
}

bool TableRows::inSync() const {
    return db_.version().keysChangedAt(source_.info.name) <= readAt_;
}

// The keys in sync before this record set's own write, and nothing changed beside the store
// since (seen when the write began): the write was the only change of the keys.
bool TableRows::ownChangeOnly(bool wasInSync) const {
    return wasInSync && !pending_ && db_.version().changedBesideAt() <= readAt_;
}

void TableRows::inserted(qint64 key, bool wasInSync) {
    if (!ownChangeOnly(wasInSync)) {
        sync(true);
        return;
    }
    Rows::inserted(key, wasInSync);
    readAt_ = db_.version().current();
}

void TableRows::removed(qint64 key, bool wasInSync) {
    if (!ownChangeOnly(wasInSync)) {
        sync(true);
        return;
    }
    Rows::removed(key, wasInSync);
    readAt_ = db_.version().current();
}

bool TableRows::keysCurrent() const {
    return inSync();
}

// ---------------------------------------------------------------------------------------

SnapshotRows::SnapshotRows(Database& db, const Source& source, QString keyName)
    : KeyedRows(db, source, std::move(keyName)) {}

// No order is asked of the engine, so that it may read a small index rather than the rows.
bool SnapshotRows::load() {
    keys_.clear();
    if (!source_.kept.empty())
        return loadWithTexts();
    sql::Stmt q = select(keyName_);
    bool ascending = true;
    while (q.step()) {
        if (q.isNull(0)) {
            keys_.clear();
            return false;
        }
        ascending = ascending && (keys_.empty() || q.int64(0) > keys_.back());
        keys_.push_back(q.int64(0));
    }
    if (!ascending) {
        std::sort(keys_.begin(), keys_.end());
        if (std::adjacent_find(keys_.begin(), keys_.end()) != keys_.end()) {
            keys_.clear();
            return false;
        }
    }
    readAt_ = db_.version().afterRead();
    return true;
}

// The keys and the kept columns' texts in one pass (from an index that holds them all when
// there is one), put in the order of the keys afterwards.
bool SnapshotRows::loadWithTexts() {
    auto texts = std::make_shared<RowTexts>(source_.kept);
    QStringList what{keyName_};
    for (int c : source_.kept)
        what << sql::quoted(source_.info.columns[c]);
    sql::Stmt q = select(what.join(QStringLiteral(", ")));
    const int fields = int(source_.kept.size());
    while (q.step()) {
        if (q.isNull(0))
            return false;
        texts->addRow(q.int64(0));
        for (int f = 1; f <= fields; ++f) {
            switch (q.kind(f)) {
            case sql::Stmt::Kind::Text:
            case sql::Stmt::Kind::Blob:
                texts->addField(q.bytes(f));
                break;
            case sql::Stmt::Kind::Null:
                texts->addField(QByteArrayView());
                break;
            default:
                texts->addField(fieldText(q.value(f)).toUtf8());
                break;
            }
        }
    }
    if (!texts->arrange())
        return false;
    keys_ = texts->keys();
    kept_ = std::move(texts);
    readAt_ = db_.version().afterRead();
    return true;
}

bool SnapshotRows::keysCurrent() const {
    return readAt_ == db_.version().current();
}

} // namespace qv
