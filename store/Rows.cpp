#include "store/Rows.h"

#include "store/FieldText.h"
#include "store/KeyedRows.h"
#include "store/Statement.h"
#include "store/StoreError.h"

#include <QHash>
#include <algorithm>

namespace qv {

namespace {

// A view's rows without a usable key, every value held as of opening; keyed by position.
class HeldRows final : public Rows {
public:
    HeldRows(Database& db, const Source& source) : Rows(db, source) {}

    void load() {
        sql::Stmt q = select(columnList());
        const int n = int(source_.info.columns.size());
        while (q.step()) {
            keys_.push_back(qint64(keys_.size()));
            std::vector<QVariant> values;
            values.reserve(size_t(n));
            for (int c = 0; c < n; ++c)
                values.push_back(q.value(c));
            rows_.push_back(std::move(values));
        }
    }

    std::optional<std::vector<QVariant>> land(int i, const std::vector<int>&,
                                              std::vector<bool>& read) override {
        read.assign(rows_[size_t(i)].size(), true);
        return rows_[size_t(i)];
    }
    std::optional<std::vector<QVariant>> row(int i) override { return rows_[size_t(i)]; }

    int findFirst(int column, const QString& text) override {
        for (int i = 0; i < count(); ++i) {
            const QVariant& v = rows_[size_t(i)][size_t(column)];
            if (!v.isNull() && sameText(v.toString(), text))
                return i;
        }
        return -1;
    }

    ColumnValues readValues(int column) override {
        ColumnValues out;
        QHash<QString, int> known; // by the value's type and text
        for (int i = 0; i < count(); ++i) {
            const QVariant& v = rows_[size_t(i)][size_t(column)];
            const QString key = v.isNull() ? QString() : QString::number(v.typeId()) + u':' + v.toString();
            auto it = known.constFind(key);
            if (it == known.constEnd()) {
                it = known.insert(key, int(out.values.size()));
                out.values.push_back(v.isNull() ? QVariant() : v);
            }
            out.of.push_back(*it);
        }
        return out;
    }

    std::vector<std::vector<QVariant>> all() override { return rows_; }

private:
    std::vector<std::vector<QVariant>> rows_;
};

} // namespace

std::unique_ptr<Rows> Rows::open(Database& db, const Source& source, Rows* previous) {
    try {
        if (source.live) {
            auto rows = std::make_unique<TableRows>(db, source);
            if (previous && previous->stillHoldFor(*rows))
                static_cast<Rows&>(*rows).adopt(*previous);
            else
                rows->start();
            return rows;
        }
        QString keyName = QStringLiteral("rowid");
        if (source.info.isView) {
            const int id = source.info.column(QStringLiteral("ID"));
            if (id < 0) {
                auto rows = std::make_unique<HeldRows>(db, source);
                rows->load();
                return rows;
            }
            keyName = sql::quoted(source.info.columns[id]);
        }
        auto rows = std::make_unique<SnapshotRows>(db, source, keyName);
        if (previous && previous->stillHoldFor(*rows)) {
            static_cast<Rows&>(*rows).adopt(*previous);
            return rows;
        }
        if (rows->load())
            return rows;
        auto held = std::make_unique<HeldRows>(db, source);
        held->load();
        return held;
    } catch (const sql::Failure& failure) {
        throw StoreError(err::CannotOpen, db.readFailure(failure));
    }
}

Rows::Rows(Database& db, const Source& source) : db_(db), source_(source) {}

Rows::~Rows() = default;

int Rows::lowerBound(qint64 key) {
    ensure();
    return int(std::lower_bound(keys_.begin(), keys_.end(), key) - keys_.begin());
}

int Rows::find(qint64 key) {
    const int i = lowerBound(key);
    return (i < count() && keys_[size_t(i)] == key) ? i : -1;
}

void Rows::forget(qint64 key) {
    if (const int at = find(key); at >= 0)
        keys_.erase(keys_.begin() + at);
}

void Rows::inserted(qint64 key, bool) {
    keys_.insert(keys_.begin() + lowerBound(key), key);
}

void Rows::removed(qint64 key, bool) {
    forget(key);
}

QString Rows::columnList() const {
    QStringList out;
    for (const QString& c : source_.info.columns)
        out << sql::quoted(c);
    return out.join(QStringLiteral(", "));
}

sql::Stmt Rows::select(const QString& what) const {
    QString text = QStringLiteral("SELECT %1 FROM %2").arg(what, sql::quoted(source_.info.name));
    // A pattern of stars alone matches every value there is: the engine need not match each.
    const bool everyValue =
        !source_.pattern.isEmpty() &&
        std::all_of(source_.pattern.begin(), source_.pattern.end(), [](QChar c) { return c == u'*'; });
    if (source_.filterColumn >= 0)
        text +=
            (everyValue ? QStringLiteral(" WHERE %1 IS NOT NULL") : QStringLiteral(" WHERE qv_like(?1, %1)"))
                .arg(sql::quoted(source_.info.columns[source_.filterColumn]));
    sql::Stmt q(db_.handle(), text);
    if (source_.filterColumn >= 0 && !everyValue)
        q.bind(1, source_.pattern);
    return q;
}

// From the values of every row: the record set's order is the keys' order.
std::optional<qint64> Rows::firstKeyWhere(int column, const std::function<bool(const QVariant&)>& wanted) {
    const ColumnValues read = readValues(column);
    std::vector<signed char> accepted(read.values.size(), -1);
    for (size_t p = 0; p < read.of.size(); ++p) {
        signed char& yes = accepted[size_t(read.of[p])];
        if (yes < 0)
            yes = wanted(read.values[size_t(read.of[p])]) ? 1 : 0;
        if (yes)
            return keyAt(int(p));
    }
    return std::nullopt;
}

std::shared_ptr<const RowTexts> Rows::keptTexts() {
    if (kept_)
        return kept_;
    // Read now, as the rows are: each row's key is its ID where it has one.
    auto texts = std::make_shared<RowTexts>(source_.kept);
    const int id =
        source_.info.rowidColumn >= 0 ? source_.info.rowidColumn : source_.info.column(QStringLiteral("ID"));
    const auto rows = all();
    for (size_t p = 0; p < rows.size(); ++p) {
        bool numeric = false;
        const qint64 key = id >= 0 ? rows[p][size_t(id)].toLongLong(&numeric) : 0;
        texts->addRow(numeric ? key : qint64(p));
        for (int c : source_.kept)
            texts->addField(fieldText(rows[p][size_t(c)]).toUtf8());
    }
    kept_ = texts;
    return kept_;
}

void Rows::readFailed(const sql::Failure& failure) const {
    throw StoreError(err::CannotOpen, db_.readFailure(failure));
}

// Neither kind's keys hold after a change beside the store (another program, or a statement
// run on the connection beside the store): the version is looked at in the file first.
bool Rows::stillHoldFor(const Rows& fresh) const {
    if (&db_ != &fresh.db_ || source_.text != fresh.source_.text || source_.live != fresh.source_.live ||
        source_.kept != fresh.source_.kept || readAt_ == 0)
        return false;
    try {
        db_.version().latest();
    } catch (const sql::Failure&) {
        return false;
    }
    return keysCurrent();
}

void Rows::adopt(Rows& previous) {
    keys_ = std::move(previous.keys_);
    pending_ = previous.pending_;
    pendingCount_ = previous.pendingCount_;
    pendingFirst_ = previous.pendingFirst_;
    readAt_ = previous.readAt_;
    kept_ = previous.kept_;
}

} // namespace qv
