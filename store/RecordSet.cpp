#include "store/RecordSet.h"

#include "store/ArchiveDamage.h"
#include "store/ArchiveMessages.h"
#include "store/DataControl.h"
#include "store/Database.h"
#include "store/RowWriter.h"
#include "store/Rows.h"
#include "store/Statement.h"
#include "store/StoreError.h"

#include <QHash>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace qv {

namespace {

enum class Where { Row, Bof, Eof, Gone };

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
    std::shared_ptr<Database> db; // declared first: outlives the rows and the writer
    TableInfo info;
    Type type = Type::Table;
    std::unique_ptr<Rows> rows;
    std::optional<RowWriter> writer;
    QHash<QString, int> columnCache;

    // Columns a caller asked for through Fields: the rows read ahead carry them too.
    std::vector<bool> asked;
    int askedCount = 0;
    std::vector<int> wanted; // the key column, the bound controls' and the asked ones
    size_t wantedFor = size_t(-1);
    int wantedAsked = -1;

    // Position. While a new row is current these keep the row that was current before it.
    Where where = Where::Bof;
    int index = 0;  // Row: the current row; Gone: the row that followed the deleted one
    qint64 key = 0; // Row: its key; Gone: the deleted key
    bool bof = true;
    bool eof = true;
    // The current row's values: those of the shown columns when landing, the others read
    // when first asked for (the notes may be long).
    std::vector<QVariant> current;
    std::vector<bool> currentRead;

    std::optional<qint64> added; // the key given to the new row started by AddNew
    bool editing = false;
    bool noMatch = false;
    QString indexName;
    std::optional<qint64> lastModified;

    bool isTable() const { return type == Type::Table; }
    int count() { return rows->count(); }

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

    RowWriter& write() {
        if (!rows->writable())
            readOnly(info.name);
        // Nothing more goes into a file the engine found damaged.
        if (archive::foundDamaged(db->path()))
            throw StoreError(err::CannotOpen, archive::damagedMessage(db->path()));
        if (!writer)
            writer.emplace(*db, info);
        return *writer;
    }

    // Finds the position again after the keys changed.
    void relocate() {
        if (where != Where::Row && where != Where::Gone)
            return;
        const int i = rows->lowerBound(key);
        index = i;
        if (where == Where::Row && (i >= count() || rows->keyAt(i) != key))
            where = Where::Gone;
    }

    // A table record set reads its keys again when rows were added or removed since, and
    // for the first time when they are needed (`needKeys`) rather than only their count.
    void sync(bool needKeys = true) {
        if (rows->sync(needKeys))
            relocate();
    }

    void placeAt(int i) {
        where = Where::Row;
        index = i;
        key = rows->keyAt(i);
        bof = false;
        eof = false;
    }

    void placeEmpty() {
        where = Where::Bof;
        index = 0;
        bof = true;
        eof = true;
    }

    void setCurrent(std::vector<QVariant> values) {
        current = std::move(values);
        currentRead.assign(current.size(), true);
    }

    const QVariant& valueAt(int column) {
        if (!currentRead[size_t(column)]) {
            if (!asked[size_t(column)]) {
                // Asked for once, read ahead with the next rows from now on.
                asked[size_t(column)] = true;
                ++askedCount;
            }
            if (auto values = rows->row(index))
                setCurrent(std::move(*values));
        }
        return current[size_t(column)];
    }

    // The key column and the columns of the bound controls and asked for, in table order.
    const std::vector<int>& wantedColumns() {
        const auto& controls = owner->boundControls();
        if (wantedFor == controls.size() && wantedAsked == askedCount)
            return wanted;
        std::vector<bool> mask = asked;
        if (info.rowidColumn >= 0)
            mask[size_t(info.rowidColumn)] = true;
        for (const auto& control : controls)
            if (!control->DataField().isEmpty())
                mask[size_t(column(control->DataField()))] = true;
        wanted.clear();
        for (int c = 0; c < int(mask.size()); ++c)
            if (mask[size_t(c)])
                wanted.push_back(c);
        wantedFor = controls.size();
        wantedAsked = askedCount;
        return wanted;
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
    impl->db = db;
    impl->info = *info;
    impl->type = (info->isView || src.field) ? Type::Dynaset : type;
    impl->asked.assign(size_t(info->columns.size()), false);
    Rows::Source rows{source, *info, impl->type == Type::Table, -1, QString(), {}};
    if (src.field) {
        rows.filterColumn = impl->column(*src.field);
        rows.pattern = src.pattern;
    }
    if (impl->type == Type::Dynaset) {
        if (owner.keptFields().size() > 8)
            throw std::invalid_argument("a record set keeps the texts of eight fields at most");
        for (const QString& field : owner.keptFields()) {
            const int c = impl->column(field);
            if (std::find(rows.kept.begin(), rows.kept.end(), c) == rows.kept.end())
                rows.kept.push_back(c);
        }
    }
    impl->rows = Rows::open(*impl->db, rows, previous ? previous->d->rows.get() : nullptr);
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
    if (d->where == Where::Row) {
        if (auto values = d->rows->land(d->index, d->wantedColumns(), d->currentRead)) {
            d->current = std::move(*values);
        } else {
            // Removed by another program since the keys were read.
            d->rows->forget(d->key);
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

void RecordSet::refused(const sql::Failure& failure) {
    // A damaged file is no refusal of these edits: the program answers the damage itself.
    if (sql::isDamage(failure.code()))
        throw StoreError(err::CannotOpen, d->db->readFailure(failure));
    refused(failure.message());
}

void RecordSet::storeChanges(const std::vector<std::pair<QString, QVariant>>& changes, Save save) {
    if (changes.empty() && save == Save::Leave)
        return; // nothing typed: nothing to write (an untouched new row is dropped by leave())
    // Column and value of each changed field; the key column is the store's own.
    RowWriter::Columns columns;
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

    if (d->added) {
        if (columns.empty() && save != Save::Update)
            return; // an untouched new row is dropped
        const qint64 k = *d->added;
        RowWriter& writer = d->write();
        const bool inSync = d->rows->inSync();
        try {
            writer.insert(k, columns);
        } catch (const sql::Failure& failure) {
            refused(failure);
        }
        d->rows->inserted(k, inSync);
        d->relocate(); // the row that was current before AddNew may have moved up by one
        d->lastModified = k;
        if (save != Save::Leave) {
            // Stored without leaving: the stored row is now the current one.
            d->added.reset();
            if (const int at = d->rows->find(k); at >= 0) {
                d->placeAt(at);
                if (auto values = d->rows->row(at))
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
    RowWriter& writer = d->write();
    bool stored = false;
    try {
        stored = writer.update(d->key, columns);
    } catch (const sql::Failure& failure) {
        refused(failure);
    }
    if (!stored) {
        // Another program removed the row since it was read: what was typed is not dropped
        // without a word. The values stay pending in the bound controls, as on any refusal.
        QStringList fields;
        for (const auto& column : columns)
            fields << d->info.columns[column.first];
        constexpr qsizetype kNamed = 8;
        QString named = fields.mid(0, kNamed).join(QStringLiteral(", "));
        if (fields.size() > kNamed)
            named += QStringLiteral(" e altri %1").arg(fields.size() - kNamed);
        refused(
            QStringLiteral("il record non esiste più nell'archivio: è stato cancellato nel frattempo, "
                           "forse da un'altra copia del programma o da un altro programma. Non sono stati "
                           "salvati: %1.")
                .arg(named));
    }
    if (auto values = d->rows->row(d->index))
        d->setCurrent(std::move(*values));
    d->lastModified = d->key;
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
    d->sync(false);
    return d->count();
}

float RecordSet::PercentPosition() const {
    if (d->added || d->where != Where::Row)
        noCurrentRecord();
    d->sync(false);
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

void RecordSet::MoveAfterLast() {
    leave(true);
    d->sync(false);
    if (d->count() == 0) {
        d->placeEmpty();
    } else {
        d->where = Where::Eof;
        d->index = d->count();
        d->eof = true;
        d->bof = false;
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
        const auto begin = d->rows->keys().begin();
        const auto end = d->rows->keys().end();
        if (op == QLatin1String("=")) {
            found = d->rows->find(*k);
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
    while (found >= 0 && !d->rows->row(found)) {
        d->rows->forget(d->rows->keyAt(found));
        d->relocate();
        if (op == QLatin1String("="))
            found = -1;
        else if (op.startsWith(QLatin1Char('<')))
            --found;
        else if (found >= d->count())
            found = -1;
    }
    d->noMatch = found < 0;
    if (found >= 0)
        d->placeAt(found);
    if (found >= 0 || leftNewRow)
        land();
}

bool RecordSet::NoMatch() const {
    return d->noMatch;
}

void RecordSet::FindFirst(const QString& criteria) {
    const Criteria c = parseCriteria(criteria);
    const int column = d->column(c.field);

    const bool leftNewRow = leave(true);
    d->sync();
    const int found = d->rows->findFirst(column, c.value);
    d->noMatch = found < 0;
    if (found >= 0)
        d->placeAt(found);
    if (found >= 0 || leftNewRow)
        land();
}

// ---------------------------------------------------------------------------------------
// Editing

void RecordSet::AddNew() {
    RowWriter& writer = d->write();
    leave(true);
    d->sync();
    qint64 k = 0;
    try {
        k = writer.reserveKey();
    } catch (const sql::Failure& failure) {
        refused(failure);
    }
    d->added = k;
    d->editing = false;
    d->owner->repositioned();
}

void RecordSet::Edit() {
    d->write(); // a view is not edited
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
    RowWriter& writer = d->write();
    if (d->added || d->where != Where::Row)
        noCurrentRecord();
    d->sync();
    if (d->where != Where::Row)
        noCurrentRecord();
    const qint64 k = d->key;
    const bool inSync = d->rows->inSync();
    try {
        writer.remove(k);
    } catch (const sql::Failure& failure) {
        refused(failure);
    }
    d->rows->removed(k, inSync);
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
    const int at = d->rows->find(k);
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
    return d->rows->all();
}

std::vector<QVariant> RecordSet::rowAt(int position) const {
    d->sync();
    if (position >= 0 && position < d->count())
        if (auto values = d->rows->row(position))
            return std::move(*values);
    return std::vector<QVariant>(size_t(d->info.columns.size()));
}

ColumnValues RecordSet::readValues(int column) const {
    if (column < 0 || column >= d->info.columns.size())
        return ColumnValues{{QVariant()}, std::vector<int>(size_t(d->count()), 0)};
    d->sync(false);
    ColumnValues out = d->rows->readValues(column);
    d->relocate(); // a table's keys may have been read for the pass
    return out;
}

QVariant RecordSet::firstBookmarkWhere(int column, const std::function<bool(const QVariant&)>& wanted) const {
    if (column < 0 || column >= d->info.columns.size())
        return QVariant();
    d->sync(false);
    const std::optional<qint64> key = d->rows->firstKeyWhere(column, wanted);
    return key ? QVariant(qlonglong(*key)) : QVariant();
}

std::shared_ptr<const RowTexts> RecordSet::keptTexts() const {
    return d->rows->keptTexts();
}

int RecordSet::columnOf(const QString& field) const {
    return d->column(field);
}

} // namespace qv
