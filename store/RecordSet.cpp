#include "store/RecordSet.h"

#include "store/DataControl.h"
#include "store/Database.h"
#include "store/Statement.h"
#include "store/StoreError.h"

#include <QHash>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <sqlite3.h>

namespace qv {

namespace {

enum class Where { Row, Bof, Eof, Gone };

// Counts the rows a write of the store changes as its own.
class OwnWrite {
public:
    explicit OwnWrite(Database& db) : db_(db), before_(sqlite3_total_changes64(db.handle())) {}
    ~OwnWrite() { db_.accountChanges(sqlite3_total_changes64(db_.handle()) - before_); }
    OwnWrite(const OwnWrite&) = delete;
    OwnWrite& operator=(const OwnWrite&) = delete;

private:
    Database& db_;
    qint64 before_;
};

[[noreturn]] void noCurrentRecord() {
    throw StoreError(err::NoCurrentRecord, QStringLiteral("Nessun record corrente."));
}

[[noreturn]] void readOnly(const QString& name) {
    throw StoreError(err::OperationNotSupported,
                     QStringLiteral("Operazione non consentita: \"%1\" è di sola lettura.").arg(name));
}

// The key of a Seek: a whole number, or a text holding a number (blanks around it allowed).
// A text is read as the program's Italian screens read numbers ("1.234", "3,5") and, failing
// that, in the plain form ("3.0"), so that every text a screen takes for a number can be
// sought. No value means no row can match (null, or a number with a fraction).
std::optional<qint64> seekKey(const QVariant& key) {
    if (!key.isValid() || key.isNull())
        return std::nullopt;
    switch (key.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return key.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = key.toDouble();
        if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 9.0e15)
            return qint64(v);
        return std::nullopt;
    }
    default:
        break;
    }
    const QString text = key.toString().trimmed();
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok)
        return whole;
    double v = QLocale(QLocale::Italian, QLocale::Italy).toDouble(text, &ok);
    if (!ok)
        v = QLocale::c().toDouble(text, &ok);
    if (ok && std::isfinite(v)) {
        if (v == std::floor(v) && std::fabs(v) < 9.0e15)
            return qint64(v);
        return std::nullopt;
    }
    throw StoreError(err::TypeMismatch,
                     QStringLiteral("Tipo di dati non corrispondente nell'espressione criterio: \"%1\" non è "
                                    "un numero.")
                         .arg(key.toString()));
}

} // namespace

struct RecordSet::Impl {
    DataControl* owner = nullptr;
    std::shared_ptr<Database> db; // declared first: outlives the statements below
    TableInfo info;
    Type type = Type::Table;
    bool keyed = true; // rows carry their rowid (not so for a view)
    int filterColumn = -1;
    QString pattern;
    // A dynamic record set whose rows have a key (a table's rowid, a view's ID) keeps only
    // the keys as of opening and reads the rows' values as it lands on them, so that a
    // large table is never held in memory with its notes. Without a key: every row's values.
    bool lazy = false;
    QString keyName = QStringLiteral("rowid");
    // Columns a caller asked for through Fields; the rows read ahead carry them too.
    std::vector<bool> asked;
    int askedCount = 0;
    int wantedAsked = -1;

    // Keys in record-set order (always ascending). A table record set reads them live;
    // a dynamic one keeps them, with the rows' values, as of opening.
    std::vector<qint64> keys;
    std::vector<std::vector<QVariant>> rows;
    quint64 seenKeys = 0; // the table's key generation the keys are as of
    // What the file was like when the keys were read (the connection's count of changed rows
    // and the file's data version): a Refresh that finds both the same keeps the keys.
    QString source;
    qint64 loadedChanges = -1; // changes the store did not make itself
    qint64 loadedVersion = -1;
    quint64 loadedGeneration = 0;

    // Position. While a new row is current these keep the row that was current before it.
    Where where = Where::Bof;
    int index = 0;  // Row: the current row; Gone: the row that followed the deleted one
    qint64 key = 0; // Row: its key; Gone: the deleted key
    bool bof = true;
    bool eof = true;
    // Table: the current row's values. Only the columns that bound controls show are read
    // when landing; the others are read when first asked for (the notes may be long).
    std::vector<QVariant> current;
    bool currentComplete = false;
    std::vector<bool> currentLoaded;

    // Table: rows read ahead while walking, valid as long as nothing is written.
    struct Window {
        quint64 generation = ~quint64(0);
        std::vector<int> columns;
        std::vector<qint64> keys; // ascending
        std::vector<std::vector<QVariant>> values;
    } window;
    int lastLanded = -1;
    quint64 lastLandedGeneration = ~quint64(0);
    std::vector<int> wanted; // columns the bound controls show
    size_t wantedFor = size_t(-1);
    std::optional<sql::Stmt> readRange;

    std::optional<qint64> added; // the key given to the new row started by AddNew
    bool editing = false;
    bool noMatch = false;
    QString indexName;
    std::optional<qint64> lastModified;
    std::optional<sql::Stmt> readRow;
    QHash<QString, int> columnCache;
    // Writes, by the columns they store (a screen writes the same few sets of fields).
    std::map<std::vector<int>, sql::Stmt> updates, inserts;
    std::optional<sql::Stmt> deleteRow;

    bool isTable() const { return type == Type::Table; }
    // Reads its rows' values when landing on them (tables, and lazy dynamic record sets).
    bool readsLive() const { return isTable() || lazy; }
    int count() const { return int(keys.size()); }

    QString columnList() const {
        QStringList out;
        for (const QString& c : info.columns)
            out << sql::quoted(c);
        return out.join(QStringLiteral(", "));
    }

    [[noreturn]] void readFailed(const sql::Failure& failure) const {
        throw StoreError(err::CannotOpen, db->readFailure(failure));
    }

    int column(const QString& field) {
        if (auto it = columnCache.constFind(field); it != columnCache.constEnd())
            return *it;
        const int c = info.column(field);
        if (c < 0)
            throw StoreError(
                err::ItemNotFound,
                QStringLiteral("Elemento non trovato in questo insieme: il campo \"%1\" non esiste "
                               "in \"%2\".")
                    .arg(field, info.name));
        columnCache.insert(field, c);
        return c;
    }

    void loadKeys() {
        keys.clear();
        sql::Stmt q(db->handle(),
                    QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid").arg(sql::quoted(info.name)));
        while (q.step())
            keys.push_back(q.int64(0));
        seenKeys = db->keyGeneration(info.name);
        stampKeys();
    }

    qint64 dataVersion() const {
        sql::Stmt q(db->handle(), QStringLiteral("PRAGMA data_version"));
        return q.step() ? q.int64(0) : -1;
    }

    qint64 unaccountedChanges() const {
        return sqlite3_total_changes64(db->handle()) - db->accountedChanges();
    }

    void stampKeys() {
        loadedChanges = unaccountedChanges();
        loadedVersion = dataVersion();
        loadedGeneration = db->generation();
    }

    // Whether the keys held still hold for a record set opened anew on the same source. A
    // table's keys follow the store's writes; a dynamic record set's hold while nothing was
    // written. Neither holds after a write the store did not make (another connection, or a
    // statement run beside the store).
    bool keysStillHold(const Impl& fresh) const {
        if (db != fresh.db || source != fresh.source || type != fresh.type || loadedChanges < 0)
            return false;
        if (isTable() ? seenKeys != db->keyGeneration(info.name) : (!lazy || loadedGeneration != db->generation()))
            return false;
        try {
            return loadedChanges == unaccountedChanges() && loadedVersion == dataVersion();
        } catch (const sql::Failure&) {
            return false;
        }
    }

    // A cached statement for writing `columns`, made by `text` the first time.
    sql::Stmt& writer(std::map<std::vector<int>, sql::Stmt>& cache, const std::vector<int>& columns,
                      const std::function<QString()>& text) {
        if (auto it = cache.find(columns); it != cache.end())
            return it->second;
        if (cache.size() >= 32)
            cache.clear();
        return cache.emplace(columns, sql::Stmt(db->handle(), text())).first->second;
    }

    // The filter of a statement, as a condition on the row (empty for a whole table or view).
    QString filterCondition(int parameter) const {
        if (filterColumn < 0)
            return QString();
        return QStringLiteral("qv_like(?%1, %2)").arg(parameter).arg(sql::quoted(info.columns[filterColumn]));
    }

    // The keys of the rows in key order. False when they do not identify the rows (a view
    // whose ID repeats or is missing): the record set then keeps every row's values instead.
    // No order is asked of the engine, so that it may read a small index rather than the rows.
    bool loadLazyKeys() {
        keys.clear();
        rows.clear();
        QString text = QStringLiteral("SELECT %1 FROM %2").arg(keyName, sql::quoted(info.name));
        if (filterColumn >= 0)
            text += QStringLiteral(" WHERE ") + filterCondition(1);
        sql::Stmt q(db->handle(), text);
        if (filterColumn >= 0)
            q.bind(1, pattern);
        bool ascending = true;
        while (q.step()) {
            if (q.isNull(0)) {
                keys.clear();
                return false;
            }
            ascending = ascending && (keys.empty() || q.int64(0) > keys.back());
            keys.push_back(q.int64(0));
        }
        if (!ascending) {
            std::sort(keys.begin(), keys.end());
            if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) {
                keys.clear();
                return false;
            }
        }
        stampKeys();
        return true;
    }

    void loadSnapshot() {
        if (lazy) {
            if (loadLazyKeys())
                return;
            lazy = false;
            keyName = QStringLiteral("rowid");
        }
        keys.clear();
        rows.clear();
        QString text =
            keyed ? QStringLiteral("SELECT rowid, %1 FROM %2") : QStringLiteral("SELECT %1 FROM %2");
        text = text.arg(columnList(), sql::quoted(info.name));
        if (filterColumn >= 0)
            text += QStringLiteral(" WHERE qv_like(?1, %1)").arg(sql::quoted(info.columns[filterColumn]));
        if (keyed)
            text += QStringLiteral(" ORDER BY rowid");
        sql::Stmt q(db->handle(), text);
        if (filterColumn >= 0)
            q.bind(1, pattern);
        const int first = keyed ? 1 : 0;
        const int n = int(info.columns.size());
        while (q.step()) {
            keys.push_back(keyed ? q.int64(0) : qint64(keys.size()));
            std::vector<QVariant> values;
            values.reserve(size_t(n));
            for (int c = 0; c < n; ++c)
                values.push_back(q.value(first + c));
            rows.push_back(std::move(values));
        }
    }

    // The stored values of one row of the table, or nothing when it is gone.
    std::optional<std::vector<QVariant>> readByKey(qint64 k) {
        try {
            if (!readRow)
                readRow.emplace(db->handle(), QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?1")
                                                  .arg(columnList(), sql::quoted(info.name), keyName));
            readRow->bind(1, k);
            if (!readRow->step()) {
                readRow->reset();
                return std::nullopt;
            }
            std::vector<QVariant> values;
            values.reserve(info.columns.size());
            for (int c = 0; c < info.columns.size(); ++c)
                values.push_back(readRow->value(c));
            readRow->reset();
            return values;
        } catch (const sql::Failure& failure) {
            readFailed(failure);
        }
    }

    int lowerBound(qint64 k) const {
        return int(std::lower_bound(keys.begin(), keys.end(), k) - keys.begin());
    }

    int find(qint64 k) const {
        const int i = lowerBound(k);
        return (i < count() && keys[size_t(i)] == k) ? i : -1;
    }

    // Finds the position again after the keys changed.
    void relocate() {
        if (where != Where::Row && where != Where::Gone)
            return;
        const int i = lowerBound(key);
        index = i;
        if (where == Where::Row && (i >= count() || keys[size_t(i)] != key))
            where = Where::Gone;
    }

    // A table record set re-reads its keys when anything was written since.
    void sync() {
        if (!isTable() || seenKeys == db->keyGeneration(info.name))
            return;
        try {
            loadKeys();
        } catch (const sql::Failure& failure) {
            readFailed(failure);
        }
        relocate();
    }

    void placeAt(int i) {
        where = Where::Row;
        index = i;
        key = keys[size_t(i)];
        bof = false;
        eof = false;
    }

    void placeEmpty() {
        where = Where::Bof;
        index = 0;
        bof = true;
        eof = true;
    }

    // Marks a write through this connection (one that added or removed a row, or only
    // changed one); returns whether this record set's keys were current before it, so that
    // it may apply the change itself instead of reading them again.
    bool wrote(bool keysChanged) {
        const bool inSync = seenKeys == db->keyGeneration(info.name);
        if (keysChanged)
            db->keysChanged(info.name);
        else
            db->rowsChanged();
        return inSync;
    }

    const QVariant& valueAt(int column) {
        if (!readsLive())
            return rows[size_t(index)][size_t(column)];
        if (!currentComplete && !currentLoaded[size_t(column)]) {
            if (lazy && !asked[size_t(column)]) {
                // Asked for once, read ahead with the next rows from now on.
                asked[size_t(column)] = true;
                ++askedCount;
            }
            if (auto values = readByKey(key))
                setCurrent(std::move(*values));
        }
        return current[size_t(column)];
    }

    void setCurrent(std::vector<QVariant> values) {
        current = std::move(values);
        currentComplete = true;
    }

    // The key column and the columns of the bound controls, in table order.
    const std::vector<int>& wantedColumns() {
        const auto& controls = owner->boundControls();
        if (wantedFor == controls.size() && wantedAsked == askedCount)
            return wanted;
        std::vector<bool> mask(size_t(info.columns.size()), false);
        if (info.rowidColumn >= 0)
            mask[size_t(info.rowidColumn)] = true;
        for (size_t c = 0; c < asked.size(); ++c)
            if (asked[c])
                mask[c] = true;
        for (const auto& control : controls)
            if (!control->DataField().isEmpty())
                mask[size_t(column(control->DataField()))] = true;
        wanted.clear();
        for (int c = 0; c < int(mask.size()); ++c)
            if (mask[size_t(c)])
                wanted.push_back(c);
        wantedFor = controls.size();
        wantedAsked = askedCount;
        readRange.reset();
        return wanted;
    }

    // Reads the shown columns of the next rows (or the previous ones, walking back) in one
    // go: those whose keys lie between the record set's own keys, keeping only its own rows.
    void readWindow(const std::vector<int>& cols, bool sequential, bool backward, quint64 generation) {
        constexpr int kAhead = 64;
        const int n = count();
        int first = index;
        int last = index;
        if (sequential) {
            if (backward)
                first = std::max(0, index - (kAhead - 1));
            else
                last = std::min(n - 1, index + (kAhead - 1));
        }
        // Rows far apart (a statement that selects few) are read one by one rather than
        // stepping over everything that lies between them.
        const bool sparse = keys[size_t(last)] - keys[size_t(first)] > 4 * qint64(last - first + 1);
        try {
            if (!readRange) {
                QStringList names{keyName};
                for (int c : cols)
                    names << sql::quoted(info.columns[c]);
                readRange.emplace(
                    db->handle(),
                    QStringLiteral("SELECT %1 FROM %2 WHERE %3 BETWEEN ?1 AND ?2 ORDER BY %3")
                        .arg(names.join(QStringLiteral(", ")), sql::quoted(info.name), keyName));
            }
            window.keys.clear();
            window.values.clear();
            if (sparse) {
                for (int i = first; i <= last; ++i) {
                    readRange->bind(1, keys[size_t(i)]);
                    readRange->bind(2, keys[size_t(i)]);
                    if (readRange->step()) {
                        window.keys.push_back(keys[size_t(i)]);
                        std::vector<QVariant> values(size_t(info.columns.size()));
                        for (size_t c = 0; c < cols.size(); ++c)
                            values[size_t(cols[c])] = readRange->value(int(c) + 1);
                        window.values.push_back(std::move(values));
                    }
                    readRange->reset();
                }
                window.generation = generation;
                window.columns = cols;
                return;
            }
            readRange->bind(1, keys[size_t(first)]);
            readRange->bind(2, keys[size_t(last)]);
            int mine = first;
            while (readRange->step()) {
                const qint64 k = readRange->int64(0);
                while (mine <= last && keys[size_t(mine)] < k)
                    ++mine;
                if (mine > last)
                    break;
                if (keys[size_t(mine)] != k)
                    continue; // a row the record set does not hold
                window.keys.push_back(k);
                std::vector<QVariant> values(size_t(info.columns.size()));
                for (size_t i = 0; i < cols.size(); ++i)
                    values[size_t(cols[i])] = readRange->value(int(i) + 1);
                window.values.push_back(std::move(values));
            }
            readRange->reset();
        } catch (const sql::Failure& failure) {
            window.generation = ~quint64(0);
            readFailed(failure);
        }
        window.generation = generation;
        window.columns = cols;
    }

    // Reads the current row's shown columns, from the rows read ahead when it is among
    // them. A walk reads the next rows in one go. False when the row is gone.
    bool loadCurrent() {
        const std::vector<int>& cols = wantedColumns();
        const quint64 generation = db->generation();
        const bool sequential = lastLanded >= 0 && lastLandedGeneration == generation &&
                                (index == lastLanded + 1 || index == lastLanded - 1);
        const bool backward = sequential && index == lastLanded - 1;
        lastLanded = index;
        lastLandedGeneration = generation;

        if (window.generation != generation || window.columns != cols ||
            !std::binary_search(window.keys.begin(), window.keys.end(), key))
            readWindow(cols, sequential, backward, generation);
        const auto it = std::lower_bound(window.keys.begin(), window.keys.end(), key);
        if (it == window.keys.end() || *it != key)
            return false;
        current = window.values[size_t(it - window.keys.begin())];
        currentComplete = false;
        currentLoaded.assign(size_t(info.columns.size()), false);
        for (int c : cols)
            currentLoaded[size_t(c)] = true;
        return true;
    }
};

RecordSet::RecordSet(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

RecordSet::~RecordSet() = default;

std::unique_ptr<RecordSet> RecordSet::open(DataControl& owner, std::shared_ptr<Database> db,
                                           const QString& source, Type type, RecordSet* previous) {
    const RecordSource src = parseRecordSource(source);
    std::optional<TableInfo> info;
    try {
        info = db->table(src.table);
    } catch (const sql::Failure& failure) {
        throw StoreError(err::CannotOpen, db->readFailure(failure));
    }
    if (!info)
        throw StoreError(
            err::NoSuchTable,
            QStringLiteral("Il motore di database non trova la tabella o la query di input \"%1\". "
                           "Verificare che esista e che il nome sia scritto correttamente.")
                .arg(src.table));
    auto impl = std::make_unique<Impl>();
    impl->owner = &owner;
    impl->source = source;
    impl->db = std::move(db);
    impl->info = *info;
    impl->keyed = !info->isView;
    impl->type = (info->isView || src.field) ? Type::Dynaset : type;
    if (src.field) {
        impl->filterColumn = impl->column(*src.field);
        impl->pattern = src.pattern;
    }
    if (impl->type == Type::Dynaset) {
        if (impl->keyed) {
            impl->lazy = true;
        } else if (const int id = info->column(QStringLiteral("ID")); id >= 0) {
            impl->lazy = true;
            impl->keyName = sql::quoted(info->columns[id]);
        }
        impl->asked.assign(size_t(info->columns.size()), false);
    }
    try {
        if (previous && previous->d->keysStillHold(*impl)) {
            // Refreshed with nothing changed: the keys as they were read.
            impl->keys = std::move(previous->d->keys);
            impl->seenKeys = previous->d->seenKeys;
            impl->loadedChanges = previous->d->loadedChanges;
            impl->loadedVersion = previous->d->loadedVersion;
            impl->loadedGeneration = previous->d->loadedGeneration;
        } else if (impl->isTable()) {
            impl->loadKeys();
        } else {
            impl->loadSnapshot();
        }
    } catch (const sql::Failure& failure) {
        impl->readFailed(failure);
    }
    return std::unique_ptr<RecordSet>(new RecordSet(std::move(impl)));
}

void RecordSet::start() {
    if (d->count() > 0)
        d->placeAt(0);
    else
        d->placeEmpty();
    land();
}

bool RecordSet::leave(bool validate) {
    d->owner->leaveRecord(validate);
    d->editing = false;
    if (!d->added)
        return false;
    d->added.reset();
    d->sync();
    d->relocate();
    return true;
}

void RecordSet::land() {
    if (d->where == Where::Row && d->readsLive()) {
        if (!d->loadCurrent()) {
            // Removed by another program since the keys were read.
            d->keys.erase(d->keys.begin() + d->index);
            d->where = Where::Gone;
        }
    }
    if (d->where == Where::Row)
        d->owner->repositioned();
    else
        d->owner->clearAll();
}

void RecordSet::refused(const QString& engineMessage) {
    const QString description =
        QStringLiteral("Il database ha rifiutato la scrittura: %1").arg(engineMessage);
    if (d->owner->onError)
        d->owner->onError(err::WriteFailed, description);
    throw StoreError(err::ActionCancelled, description);
}

void RecordSet::storeChanges(const std::vector<std::pair<QString, QVariant>>& changes, Save save) {
    if (changes.empty() && save == Save::Leave)
        return; // nothing typed: nothing to write (an untouched new row is dropped by leave())
    // Column and value of each changed field; the key column is the store's own.
    std::vector<std::pair<int, QVariant>> columns;
    for (const auto& [field, value] : changes) {
        const int c = d->column(field);
        if (c == d->info.rowidColumn)
            continue;
        auto same = std::find_if(columns.begin(), columns.end(), [c](const auto& p) { return p.first == c; });
        if (same != columns.end())
            same->second = value;
        else
            columns.emplace_back(c, value);
    }
    const QString table = sql::quoted(d->info.name);

    if (d->added) {
        if (columns.empty() && save != Save::Update)
            return; // an untouched new row is dropped
        const qint64 k = *d->added;
        QStringList names{QStringLiteral("rowid")};
        QStringList params{QStringLiteral("?1")};
        for (size_t i = 0; i < columns.size(); ++i) {
            names << sql::quoted(d->info.columns[columns[i].first]);
            params << QStringLiteral("?%1").arg(i + 2);
        }
        std::vector<int> written;
        for (const auto& column : columns)
            written.push_back(column.first);
        try {
            const OwnWrite own(*d->db);
            sql::Transaction tx(d->db->handle());
            sql::Stmt& insert = d->writer(d->inserts, written, [&] {
                return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                    .arg(table, names.join(QStringLiteral(", ")), params.join(QStringLiteral(", ")));
            });
            insert.bind(1, k);
            for (size_t i = 0; i < columns.size(); ++i)
                insert.bind(int(i) + 2, columns[i].second);
            insert.run();
            tx.commit();
        } catch (const sql::Failure& failure) {
            refused(failure.message());
        }
        const bool inSync = d->wrote(true);
        if (d->isTable()) {
            if (inSync) {
                d->keys.insert(d->keys.begin() + d->lowerBound(k), k);
                d->seenKeys = d->db->keyGeneration(d->info.name);
            } else {
                d->sync();
            }
        } else if (d->lazy) {
            d->keys.insert(d->keys.begin() + d->lowerBound(k), k);
        } else {
            auto values = d->readByKey(k);
            const int at = d->lowerBound(k);
            d->keys.insert(d->keys.begin() + at, k);
            d->rows.insert(d->rows.begin() + at,
                           values ? std::move(*values) : std::vector<QVariant>(d->info.columns.size()));
        }
        d->relocate(); // the row that was current before AddNew may have moved up by one
        d->lastModified = k;
        if (save != Save::Leave) {
            // Stored without leaving: the stored row is now the current one.
            d->added.reset();
            const int at = d->find(k);
            if (at >= 0) {
                d->placeAt(at);
                if (d->readsLive())
                    if (auto values = d->readByKey(k))
                        d->setCurrent(std::move(*values));
            }
        }
        return;
    }

    if (d->where != Where::Row)
        return;
    if (columns.empty()) {
        if (save != Save::Leave)
            d->lastModified = d->key;
        return;
    }
    if (!d->keyed)
        readOnly(d->info.name);
    QStringList sets;
    for (size_t i = 0; i < columns.size(); ++i)
        sets << QStringLiteral("%1 = ?%2").arg(sql::quoted(d->info.columns[columns[i].first])).arg(i + 1);
    const qint64 k = d->key;
    std::vector<int> written;
    for (const auto& column : columns)
        written.push_back(column.first);
    try {
        const OwnWrite own(*d->db);
        sql::Transaction tx(d->db->handle());
        sql::Stmt& update = d->writer(d->updates, written, [&] {
            return QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                .arg(table, sets.join(QStringLiteral(", ")))
                .arg(columns.size() + 1);
        });
        for (size_t i = 0; i < columns.size(); ++i)
            update.bind(int(i) + 1, columns[i].second);
        update.bind(int(columns.size()) + 1, k);
        update.run();
        tx.commit();
    } catch (const sql::Failure& failure) {
        refused(failure.message());
    }
    d->wrote(false);
    if (auto values = d->readByKey(k)) {
        if (d->readsLive())
            d->setCurrent(std::move(*values));
        else
            d->rows[size_t(d->index)] = std::move(*values);
    }
    d->lastModified = k;
}

QVariant RecordSet::boundValue(const QString& field) const {
    if (field.isEmpty())
        return QVariant();
    const int c = d->column(field);
    if (d->added)
        return c == d->info.rowidColumn ? QVariant(qlonglong(*d->added)) : QVariant();
    if (d->where != Where::Row)
        return QVariant();
    return d->valueAt(c);
}

// ---------------------------------------------------------------------------------------
// State

RecordSet::Type RecordSet::type() const {
    return d->type;
}

bool RecordSet::Eof() const {
    return !d->added && d->eof;
}

bool RecordSet::Bof() const {
    return !d->added && d->bof;
}

bool RecordSet::hasCurrent() const {
    return d->added.has_value() || d->where == Where::Row;
}

bool RecordSet::isNewRow() const {
    return d->added.has_value();
}

int RecordSet::RecordCount() const {
    d->sync();
    return d->count();
}

float RecordSet::PercentPosition() const {
    if (d->added || d->where != Where::Row)
        noCurrentRecord();
    d->sync();
    if (d->where != Where::Row)
        noCurrentRecord();
    return float(100.0 * double(d->index) / double(d->count()));
}

// ---------------------------------------------------------------------------------------
// Moves

void RecordSet::MoveFirst() {
    leave(true);
    d->sync();
    if (d->count() == 0)
        d->placeEmpty();
    else
        d->placeAt(0);
    land();
}

void RecordSet::MoveLast() {
    leave(true);
    d->sync();
    if (d->count() == 0)
        d->placeEmpty();
    else
        d->placeAt(d->count() - 1);
    land();
}

void RecordSet::MoveNext() {
    leave(true);
    d->sync();
    const int n = d->count();
    switch (d->where) {
    case Where::Row:
    case Where::Gone: {
        const int next = d->where == Where::Row ? d->index + 1 : d->index;
        if (next < n) {
            d->placeAt(next);
        } else {
            d->where = Where::Eof;
            d->eof = true;
            d->bof = false;
        }
        break;
    }
    case Where::Bof:
        if (n > 0)
            d->placeAt(0);
        break;
    case Where::Eof:
        break;
    }
    land();
}

void RecordSet::MovePrevious() {
    leave(true);
    d->sync();
    const int n = d->count();
    switch (d->where) {
    case Where::Row:
    case Where::Gone: {
        const int previous = d->index - 1;
        if (previous >= 0 && previous < n) {
            d->placeAt(previous);
        } else {
            d->where = Where::Bof;
            d->bof = true;
            d->eof = false;
        }
        break;
    }
    case Where::Eof:
        if (n > 0)
            d->placeAt(n - 1);
        break;
    case Where::Bof:
        break;
    }
    land();
}

// ---------------------------------------------------------------------------------------
// Index, Seek, FindFirst

void RecordSet::setIndex(const QString& name) {
    if (!d->isTable())
        throw StoreError(err::OperationNotSupported,
                         QStringLiteral("Operazione non supportata per questo tipo di oggetto: l'indice si "
                                        "imposta solo sulle tabelle."));
    const QString n = name.trimmed();
    if (n.isEmpty()) {
        d->indexName.clear();
        return;
    }
    if (n.compare(QLatin1String("PrimaryKey"), Qt::CaseInsensitive) == 0 && d->info.rowidColumn >= 0) {
        d->indexName = QStringLiteral("PrimaryKey");
        return;
    }
    throw StoreError(err::NotAnIndex,
                     QStringLiteral("\"%1\" non è un indice della tabella \"%2\".").arg(n, d->info.name));
}

QString RecordSet::Index() const {
    return d->indexName;
}

void RecordSet::Seek(const QString& comparison, const QVariant& key) {
    if (!d->isTable())
        throw StoreError(
            err::OperationNotSupported,
            QStringLiteral("Operazione non supportata per questo tipo di oggetto: Seek si usa solo "
                           "sulle tabelle."));
    if (d->indexName.isEmpty())
        throw StoreError(err::NoCurrentIndex,
                         QStringLiteral("Operazione non valida senza un indice corrente."));
    const QString op = comparison.trimmed();
    if (op != QLatin1String("=") && op != QLatin1String("<") && op != QLatin1String("<=") &&
        op != QLatin1String(">") && op != QLatin1String(">="))
        throw StoreError(err::OperationNotSupported,
                         QStringLiteral("Confronto \"%1\" non valido per Seek.").arg(comparison));
    const std::optional<qint64> k = seekKey(key);

    const bool leftNewRow = leave(true);
    d->sync();
    int found = -1;
    if (k) {
        const auto begin = d->keys.begin();
        const auto end = d->keys.end();
        if (op == QLatin1String("=")) {
            found = d->find(*k);
        } else if (op == QLatin1String(">=")) {
            found = int(std::lower_bound(begin, end, *k) - begin);
        } else if (op == QLatin1String(">")) {
            found = int(std::upper_bound(begin, end, *k) - begin);
        } else if (op == QLatin1String("<=")) {
            found = int(std::upper_bound(begin, end, *k) - begin) - 1;
        } else {
            found = int(std::lower_bound(begin, end, *k) - begin) - 1;
        }
        if (found >= d->count())
            found = -1;
    }
    // A row another program removed since the keys were read is no match: the record set
    // must not land on it and leave its caller on no record at all.
    while (found >= 0 && d->isTable() && !d->readByKey(d->keys[size_t(found)])) {
        d->keys.erase(d->keys.begin() + found);
        d->relocate();
        if (op == QLatin1String("="))
            found = -1;
        else if (op.startsWith(QLatin1Char('<')))
            --found;
        else if (found >= d->count())
            found = -1;
    }
    if (found >= 0) {
        d->noMatch = false;
        d->placeAt(found);
        land();
    } else {
        d->noMatch = true;
        if (leftNewRow)
            land();
    }
}

bool RecordSet::NoMatch() const {
    return d->noMatch;
}

void RecordSet::FindFirst(const QString& criteria) {
    const Criteria c = parseCriteria(criteria);
    const int column = d->column(c.field);

    const bool leftNewRow = leave(true);
    d->sync();
    int found = -1;
    if (d->readsLive()) {
        // The engine compares: the text as a Like pattern in which every character stands
        // for itself ("[*]" is a star), which is equality ignoring case.
        QString literal;
        for (const QChar ch : c.value) {
            if (ch == u'*' || ch == u'?' || ch == u'#' || ch == u'[')
                literal += QLatin1Char('[') + ch + QLatin1Char(']');
            else
                literal += ch;
        }
        try {
            sql::Stmt q(d->db->handle(), QStringLiteral("SELECT %3 FROM %2 WHERE qv_like(?1, %1) ORDER BY %3")
                                             .arg(sql::quoted(d->info.columns[column]),
                                                  sql::quoted(d->info.name), d->keyName));
            q.bind(1, literal);
            while (q.step()) {
                // A dynamic record set looks only among its own rows.
                if (const int at = d->find(q.int64(0)); at >= 0) {
                    found = at;
                    break;
                }
            }
        } catch (const sql::Failure& failure) {
            d->readFailed(failure);
        }
    } else {
        for (int i = 0; i < d->count(); ++i) {
            const QVariant& v = d->rows[size_t(i)][size_t(column)];
            if (!v.isNull() && sameText(v.toString(), c.value)) {
                found = i;
                break;
            }
        }
    }
    if (found >= 0) {
        d->noMatch = false;
        d->placeAt(found);
        land();
    } else {
        d->noMatch = true;
        if (leftNewRow)
            land();
    }
}

// ---------------------------------------------------------------------------------------
// Editing

void RecordSet::AddNew() {
    if (!d->keyed)
        readOnly(d->info.name);
    leave(true);
    d->sync();
    qint64 k = 0;
    try {
        const OwnWrite own(*d->db);
        k = d->db->reserveKey(d->info);
    } catch (const sql::Failure& failure) {
        refused(failure.message());
    }
    d->added = k;
    d->editing = false;
    d->owner->repositioned();
}

void RecordSet::Edit() {
    if (!d->keyed)
        readOnly(d->info.name);
    if (d->added)
        return;
    d->sync();
    if (d->where != Where::Row)
        noCurrentRecord();
    d->editing = true;
}

void RecordSet::Update() {
    if (!d->added && !d->editing)
        throw StoreError(err::UpdateWithoutEdit,
                         QStringLiteral("Update o CancelUpdate senza AddNew o Edit."));
    d->owner->writeChanged(Save::Update);
    d->editing = false;
    d->owner->clearFlags();
}

void RecordSet::CancelUpdate() {
    if (d->added) {
        d->added.reset();
        d->editing = false;
        d->sync();
        d->relocate();
        land();
        return;
    }
    if (!d->editing)
        throw StoreError(err::UpdateWithoutEdit,
                         QStringLiteral("Update o CancelUpdate senza AddNew o Edit."));
    d->editing = false;
    d->owner->clearFlags();
}

void RecordSet::Delete() {
    if (!d->keyed)
        readOnly(d->info.name);
    if (d->added || d->where != Where::Row)
        noCurrentRecord();
    d->sync();
    if (d->where != Where::Row)
        noCurrentRecord();
    const qint64 k = d->key;
    try {
        const OwnWrite own(*d->db);
        sql::Transaction tx(d->db->handle());
        if (!d->deleteRow)
            d->deleteRow.emplace(d->db->handle(),
                                 QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(sql::quoted(d->info.name)));
        d->deleteRow->bind(1, k);
        d->deleteRow->run();
        tx.commit();
    } catch (const sql::Failure& failure) {
        refused(failure.message());
    }
    const bool inSync = d->wrote(true);
    const int at = d->find(k);
    if (d->isTable()) {
        if (inSync) {
            if (at >= 0)
                d->keys.erase(d->keys.begin() + at);
            d->seenKeys = d->db->keyGeneration(d->info.name);
        } else {
            d->sync();
        }
    } else if (at >= 0) {
        d->keys.erase(d->keys.begin() + at);
        if (!d->lazy)
            d->rows.erase(d->rows.begin() + at);
    }
    d->where = Where::Gone;
    d->key = k;
    d->bof = false;
    d->eof = false;
    d->editing = false;
    d->relocate();
    if (d->lastModified == k)
        d->lastModified.reset();
    d->owner->clearAll();
}

// ---------------------------------------------------------------------------------------
// Bookmarks and fields

QVariant RecordSet::Bookmark() const {
    if (d->added || d->where != Where::Row)
        noCurrentRecord();
    return QVariant(qlonglong(d->key));
}

void RecordSet::setBookmark(const QVariant& bookmark) {
    bool ok = false;
    const qint64 k = bookmark.isValid() && !bookmark.isNull() ? bookmark.toLongLong(&ok) : 0;
    if (!ok)
        throw StoreError(err::InvalidBookmark, QStringLiteral("Segnalibro non valido."));
    const bool leftNewRow = leave(true);
    d->sync();
    const int at = d->find(k);
    if (at < 0) {
        if (leftNewRow)
            land();
        throw StoreError(err::InvalidBookmark, QStringLiteral("Segnalibro non valido."));
    }
    d->placeAt(at);
    land();
}

QVariant RecordSet::LastModified() const {
    return d->lastModified ? QVariant(qlonglong(*d->lastModified)) : QVariant();
}

QVariant RecordSet::Fields(const QString& name) const {
    const int c = d->column(name);
    if (d->added) {
        if (c == d->info.rowidColumn)
            return QVariant(qlonglong(*d->added));
        for (const auto& control : d->owner->boundControls())
            if (!control->DataField().isEmpty() && d->info.column(control->DataField()) == c)
                return control->storeValue();
        return QVariant();
    }
    if (d->where != Where::Row)
        noCurrentRecord();
    return d->valueAt(c);
}

QStringList RecordSet::fieldNames() const {
    return d->info.columns;
}

std::vector<std::vector<QVariant>> RecordSet::allRows() const {
    if (!d->readsLive())
        return d->rows;
    std::vector<std::vector<QVariant>> out;
    try {
        sql::Stmt q(d->db->handle(), QStringLiteral("SELECT %3, %1 FROM %2 ORDER BY %3")
                                         .arg(d->columnList(), sql::quoted(d->info.name), d->keyName));
        const int n = int(d->info.columns.size());
        while (q.step()) {
            if (d->lazy && d->find(q.int64(0)) < 0)
                continue;
            std::vector<QVariant> values;
            values.reserve(size_t(n));
            for (int c = 0; c < n; ++c)
                values.push_back(q.value(c + 1));
            out.push_back(std::move(values));
        }
    } catch (const sql::Failure& failure) {
        d->readFailed(failure);
    }
    return out;
}

std::vector<QVariant> RecordSet::rowAt(int position) const {
    d->sync();
    if (position < 0 || position >= d->count())
        return std::vector<QVariant>(size_t(d->info.columns.size()));
    if (!d->readsLive())
        return d->rows[size_t(position)];
    if (auto values = d->readByKey(d->keys[size_t(position)]))
        return std::move(*values);
    return std::vector<QVariant>(size_t(d->info.columns.size()));
}

void RecordSet::readColumn(int column, const std::function<void(int, const QVariant&)>& visit) const {
    if (column < 0 || column >= d->info.columns.size())
        return;
    d->sync();
    if (!d->readsLive()) {
        for (int i = 0; i < d->count(); ++i)
            visit(i, d->rows[size_t(i)][size_t(column)]);
        return;
    }
    // One pass in whatever order the engine finds cheapest (an index on the column holds
    // it with the keys); each row is put at its position by its key.
    try {
        sql::Stmt q(d->db->handle(),
                    QStringLiteral("SELECT %3, %1 FROM %2")
                        .arg(sql::quoted(d->info.columns[column]), sql::quoted(d->info.name), d->keyName));
        std::vector<bool> seen(d->keys.size(), false);
        int next = 0; // the engine mostly hands the rows over in key order
        while (q.step()) {
            const qint64 k = q.int64(0);
            const int at = next < d->count() && d->keys[size_t(next)] == k ? next : d->find(k);
            if (at < 0)
                continue;
            next = at + 1;
            seen[size_t(at)] = true;
            visit(at, q.value(1));
        }
        for (size_t i = 0; i < seen.size(); ++i)
            if (!seen[i])
                visit(int(i), QVariant()); // gone since the keys were read
    } catch (const sql::Failure& failure) {
        d->readFailed(failure);
    }
}

} // namespace qv
