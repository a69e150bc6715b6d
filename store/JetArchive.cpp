#include "store/JetArchive.h"

#include "clinical/Rtf.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstring>
#include <set>

// mdbtools.h includes these inside its extern "C" block, where C++ headers they pull in
// cannot be; included first, their guards keep them out of it.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

namespace qv::jet {

namespace {

constexpr int kSignatureAt = 4;
constexpr int kVersionAt = 0x14;
constexpr int kHeaderCipherAt = 0x18;
constexpr int kPasswordAt = 0x42;
constexpr int kCreationDateAt = 0x72;
constexpr int kMemoHeader = 12;

// Row offsets on a data page: the high bits mark a deleted row and a row that lives on
// another page (the slot then holds a pointer to it); the rest is the offset in the page.
constexpr quint16 kRowDeleted = 0x8000;
constexpr quint16 kRowElsewhere = 0x4000;
constexpr quint16 kRowOffset = 0x1fff;

quint16 u16(const unsigned char* p) {
    return quint16(p[0] | (p[1] << 8));
}
quint32 u32(const unsigned char* p) {
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

[[noreturn]] void damaged(const QString& what) {
    throw Error(Problem::Damaged, what);
}

// The header page from byte 0x18 is scrambled with RC4 under a key that every Jet file shares.
void unscramble(unsigned char* data, int size) {
    const std::array<unsigned char, 4> key{0xc7, 0xda, 0x39, 0x6b};
    std::array<unsigned char, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % key.size()]) & 0xff;
        std::swap(s[i], s[j]);
    }
    for (int n = 0, i = 0, j = 0; n < size; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xff];
    }
}

// Whether the header page records a database password: its bytes are all zero without one
// (Jet 4 masks them further with the creation date's whole days).
bool passwordSet(QByteArray header, int version) {
    const bool jet3 = version == 3;
    auto* bytes = reinterpret_cast<unsigned char*>(header.data());
    unscramble(bytes + kHeaderCipherAt, jet3 ? 126 : 128);
    if (jet3) {
        for (int i = 0; i < 20; ++i)
            if (bytes[kPasswordAt + i] != 0)
                return true;
        return false;
    }
    double created = 0;
    std::memcpy(&created, bytes + kCreationDateAt, sizeof created);
    const qint32 days = (created > -2147483648.0 && created < 2147483648.0) ? qint32(created) : 0;
    unsigned char mask[4];
    for (int i = 0; i < 4; ++i)
        mask[i] = static_cast<unsigned char>(quint32(days) >> (8 * i));
    for (int i = 0; i < 40; ++i)
        if ((bytes[kPasswordAt + i] ^ mask[i % 4]) != 0)
            return true;
    return false;
}

// Jet 4 text: UTF-16LE, or "compressed" behind FF FE, where a 0x00 byte switches between one
// byte a character (U+0001-U+00FF) and two.
QString decodeUnicode(const unsigned char* p, qsizetype size) {
    if (size >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        QString out;
        out.reserve(size);
        bool compressed = true;
        for (qsizetype i = 2; i < size;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                out.append(QChar(char16_t(p[i])));
                ++i;
            } else {
                if (i + 1 >= size)
                    damaged(QStringLiteral("un testo termina a metà di un carattere"));
                out.append(QChar(char16_t(p[i] | (p[i + 1] << 8))));
                i += 2;
            }
        }
        return out;
    }
    if (size % 2 != 0)
        damaged(QStringLiteral("un testo ha un numero dispari di byte"));
    QString out(size / 2, Qt::Uninitialized);
    char16_t* units = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < size / 2; ++i)
        units[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
    return out;
}

// A whole number scaled by 10^scale as exact decimal text: 123450000 at scale 4 is "12345".
QString scaledDecimal(QString digits, bool negative, int scale) {
    while (digits.size() <= scale)
        digits.prepend(QLatin1Char('0'));
    QString whole = digits.left(digits.size() - scale);
    QString fraction = digits.right(scale);
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    QString out = whole;
    if (!fraction.isEmpty())
        out += QLatin1Char('.') + fraction;
    if (negative && out != QLatin1String("0"))
        out.prepend(QLatin1Char('-'));
    return out;
}

// Decimal: a sign byte, then a 128-bit magnitude as four 32-bit words, most significant first.
QString decimalText(const unsigned char* p, int scale) {
    quint32 words[4];
    for (int i = 0; i < 4; ++i)
        words[i] = u32(p + 1 + 4 * i);
    QString digits;
    bool zero = false;
    while (!zero) {
        quint64 remainder = 0;
        zero = true;
        for (quint32& w : words) {
            const quint64 cur = (remainder << 32) | w;
            w = quint32(cur / 10);
            remainder = cur % 10;
            if (w != 0)
                zero = false;
        }
        digits.prepend(QChar(char16_t(u'0' + remainder)));
    }
    return scaledDecimal(digits, (p[0] & 0x80) != 0, scale);
}

QString guidText(const unsigned char* p) {
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(u32(p), 8, 16, QLatin1Char('0'))
        .arg(u16(p + 4), 4, 16, QLatin1Char('0'))
        .arg(u16(p + 6), 4, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(p + 8), 2).toHex()))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(p + 10), 6).toHex()))
        .toUpper();
}

} // namespace

bool Column::isInteger() const {
    return type == MDB_BOOL || type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT ||
           type == MDB_COMPLEX;
}
bool Column::isReal() const {
    return type == MDB_FLOAT || type == MDB_DOUBLE;
}
bool Column::isBinary() const {
    return type == MDB_BINARY || type == MDB_OLE;
}
// ---------------------------------------------------------------------------------------

struct File::Impl {
    MdbHandle* mdb = nullptr;
    int pageSize = 0;
    int rowCountAt = 0;
    int codePage = 1252;
    bool unicode = true;
    // The user tables, read from the system table MSysObjects. Its entries are made here rather
    // than by libmdb's catalog calls, which also read every object's properties and can loop
    // for ever on a damaged file.
    std::vector<std::unique_ptr<MdbCatalogEntry>> entries;

    ~Impl() {
        if (mdb)
            mdb_close(mdb);
    }

    // Locates row `row` of the page in `page`: its start and length, checked to lie in the page.
    void locate(const unsigned char* page, int row, int& start, int& length) const {
        const int rows = u16(page + rowCountAt);
        if (row < 0 || row >= rows || rowCountAt + 2 + 2 * rows > pageSize)
            damaged(QStringLiteral("una riga rimanda a una posizione che non esiste"));
        start = u16(page + rowCountAt + 2 + 2 * row) & kRowOffset;
        const int end = row == 0 ? pageSize : (u16(page + rowCountAt + 2 * row) & kRowOffset);
        length = end - start;
        if (start < rowCountAt + 2 + 2 * rows || end > pageSize || length < 0)
            damaged(QStringLiteral("una riga esce dalla sua pagina"));
    }

    // A long value (Memo, OLE Object) from its 12-byte header: inline, on one page of long
    // values, or on a chain of them.
    QByteArray longValue(const unsigned char* header, int size) {
        if (size < kMemoHeader)
            damaged(QStringLiteral("l'intestazione di una nota è incompleta"));
        const quint32 word = u32(header);
        const qsizetype length = word & 0x3fffffff;
        const quint32 kind = word & 0xc0000000;
        if (kind == 0x80000000) {
            if (size - kMemoHeader < length)
                damaged(QStringLiteral("una nota è più corta di quanto dichiara"));
            return QByteArray(reinterpret_cast<const char*>(header + kMemoHeader), length);
        }
        if (length == 0)
            return QByteArray();
        quint32 pointer = u32(header + 4);
        QByteArray out;
        // The length is the header's word: a damaged one could claim a gigabyte.
        out.reserve(std::min<qsizetype>(length, 1 << 24));
        if (kind == 0x40000000) {
            const auto [data, rowLength] = longValueRow(pointer);
            if (rowLength < length)
                damaged(QStringLiteral("una nota è più corta di quanto dichiara"));
            out.append(reinterpret_cast<const char*>(data), length);
            return out;
        }
        if (kind != 0)
            damaged(QStringLiteral("una nota ha un'intestazione sconosciuta"));
        // Each page of the chain starts with the pointer to the next one; a chain that comes
        // back to a page it passed would never end.
        std::set<quint32> passed;
        while (out.size() < length) {
            if (pointer == 0)
                damaged(QStringLiteral("una nota si interrompe prima della fine"));
            if (!passed.insert(pointer).second)
                damaged(QStringLiteral("le pagine di una nota girano in tondo"));
            const auto [data, rowLength] = longValueRow(pointer);
            if (rowLength < 4)
                damaged(QStringLiteral("una pagina di una nota è incompleta"));
            pointer = u32(data);
            out.append(reinterpret_cast<const char*>(data + 4), rowLength - 4);
        }
        if (out.size() != length)
            damaged(QStringLiteral("una nota è più lunga di quanto dichiara"));
        return out;
    }

    // The row that a long-value pointer (row number in the low byte, page above) names, on
    // the alternate page buffer, so that the data page being read stays where it is.
    std::pair<const unsigned char*, int> longValueRow(quint32 pointer) {
        const quint32 page = pointer >> 8;
        if (page == 0 || mdb_read_alt_pg(mdb, page) != pageSize)
            damaged(QStringLiteral("una nota rimanda a una pagina che non esiste"));
        const unsigned char* buf = mdb->alt_pg_buf;
        if (buf[0] != MDB_PAGE_DATA)
            damaged(QStringLiteral("una nota rimanda a una pagina di altro tipo"));
        int start = 0;
        int length = 0;
        locate(buf, int(pointer & 0xff), start, length);
        return {buf + start, length};
    }

    QString text(const unsigned char* p, qsizetype size) const {
        if (unicode)
            return decodeUnicode(p, size);
        return rtf::decode(QByteArray(reinterpret_cast<const char*>(p), size), codePage);
    }
};

struct Table::Impl {
    MdbTableDef* def = nullptr;
    std::vector<MdbField> fields;
    unsigned long tdefPage = 0;
    guint32 page = 0;   // the data page being read, 0 before the first
    int rowsOnPage = 0; // its number of row slots
    int slot = 0;       // the next slot to look at

    ~Impl() {
        if (def)
            mdb_free_tabledef(def);
    }
};

File::File(const QString& path) : d_(std::make_unique<Impl>()), path_(path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(Problem::Unreadable, f.errorString());
    if (!QFileInfo(path).isFile())
        throw Error(Problem::NotJet, QStringLiteral("non è un file"));
    const QByteArray header = f.read(4096);
    if (f.error() != QFileDevice::NoError)
        throw Error(Problem::Unreadable, f.errorString());
    const QByteArray signature = header.mid(kSignatureAt, 15);
    if (signature != "Standard Jet DB" && signature != "Standard ACE DB")
        throw Error(Problem::NotJet, QStringLiteral("non è un archivio di Access"));

    const int format = header.size() > kVersionAt ? static_cast<unsigned char>(header[kVersionAt]) : -1;
    version_ = format == 0 ? 3 : format + 3;
    const int pageSize = format == 0 ? 2048 : 4096;
    // Access writes whole pages; anything else is a copy cut short.
    if (f.size() < 3 * pageSize || f.size() % pageSize != 0 || header.size() < pageSize)
        damaged(QStringLiteral("il file è incompleto (%1 byte)").arg(f.size()));
    f.close();
    if (version_ <= 4 && passwordSet(header.left(pageSize), version_))
        throw Error(Problem::Password, QStringLiteral("il file è protetto da una password"));

    d_->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!d_->mdb)
        damaged(QStringLiteral("la libreria di lettura non riconosce il file"));
    d_->pageSize = int(d_->mdb->fmt->pg_size);
    d_->rowCountAt = d_->mdb->fmt->row_count_offset;
    d_->unicode = version_ > 3;
    d_->codePage = d_->mdb->f->code_page ? d_->mdb->f->code_page : 1252;
    if (d_->pageSize != pageSize)
        damaged(QStringLiteral("la dimensione delle pagine non corrisponde alla versione"));
    readCatalog();
}

namespace {
// MSysObjects: the catalog, always defined on page 2.
constexpr unsigned long kCatalogPage = 2;
constexpr qint64 kLocalTable = 1;
constexpr qint64 kSystemObject = qint64(0x80000002);

void newEntry(MdbHandle* mdb, const QString& name, unsigned long page,
              std::vector<std::unique_ptr<MdbCatalogEntry>>& entries) {
    auto entry = std::make_unique<MdbCatalogEntry>();
    std::memset(entry.get(), 0, sizeof(MdbCatalogEntry));
    entry->mdb = mdb;
    entry->object_type = MDB_TABLE;
    entry->table_pg = page;
    const QByteArray utf8 = name.toUtf8().left(MDB_MAX_OBJ_NAME);
    std::memcpy(entry->object_name, utf8.constData(), size_t(utf8.size()));
    entries.push_back(std::move(entry));
}

template <typename T> const T* as(const Value& v) {
    return std::get_if<T>(&v);
}
} // namespace

void File::readCatalog() {
    newEntry(d_->mdb, QStringLiteral("MSysObjects"), kCatalogPage, d_->entries);
    std::unique_ptr<Table> catalog = open(0);
    const int id = catalog->column(QStringLiteral("Id"));
    const int name = catalog->column(QStringLiteral("Name"));
    const int type = catalog->column(QStringLiteral("Type"));
    const int flags = catalog->column(QStringLiteral("Flags"));
    if (id < 0 || name < 0 || type < 0 || flags < 0)
        damaged(QStringLiteral("l'elenco delle tabelle non si può leggere"));
    std::vector<Value> row;
    std::vector<std::pair<QString, unsigned long>> found;
    while (catalog->next(row)) {
        const auto* objectId = as<qint64>(row[size_t(id)]);
        const auto* objectName = as<QString>(row[size_t(name)]);
        const auto* objectType = as<qint64>(row[size_t(type)]);
        const auto* objectFlags = as<qint64>(row[size_t(flags)]);
        if (!objectId || !objectName || !objectType || *objectType != kLocalTable)
            continue;
        if (objectFlags && (*objectFlags & kSystemObject) != 0)
            continue;
        found.emplace_back(*objectName, (unsigned long)(*objectId & 0x00ffffff));
    }
    catalog.reset();
    for (const auto& [tableName, page] : found) {
        newEntry(d_->mdb, tableName, page, d_->entries);
        tables_ << tableName;
    }
}

std::unique_ptr<Table> File::open(size_t index) {
    MdbCatalogEntry* entry = d_->entries[index].get();
    auto impl = std::make_unique<Table::Impl>();
    impl->tdefPage = entry->table_pg;
    impl->def = mdb_read_table(entry);
    // A table without its map of pages would make libmdb read through a null pointer.
    if (!impl->def || !mdb_read_columns(impl->def) || impl->def->num_cols == 0 || !impl->def->usage_map ||
        impl->def->map_sz == 0)
        damaged(QStringLiteral("la definizione della tabella %1 non si può leggere")
                    .arg(QString::fromUtf8(entry->object_name)));
    return std::unique_ptr<Table>(new Table(*this, std::move(impl)));
}

File::~File() = default;

std::unique_ptr<Table> File::table(const QString& name) {
    for (size_t i = 0; i < size_t(tables_.size()); ++i)
        if (tables_[qsizetype(i)].compare(name, Qt::CaseInsensitive) == 0)
            return open(i + 1); // the catalog's own entry comes first
    return nullptr;
}

Table::Table(File& file, std::unique_ptr<Impl> impl) : file_(file), d_(std::move(impl)) {
    MdbTableDef* def = d_->def;
    name_ = QString::fromUtf8(def->name);
    declaredRows_ = def->num_rows;
    d_->fields.resize(def->num_cols);
    for (guint i = 0; i < def->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
        Column c;
        c.name = QString::fromUtf8(col->name);
        c.type = col->col_type;
        c.size = col->col_size;
        c.autoNumber = col->is_long_auto != 0;
        columns_.push_back(c);
    }
    mdb_rewind_table(def);
}

Table::~Table() = default;

int Table::column(const QString& name) const {
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

bool Table::next(std::vector<Value>& row) {
    File::Impl& f = *file_.d_;
    MdbHandle* mdb = f.mdb;
    for (;;) {
        if (d_->page == 0 || d_->slot >= d_->rowsOnPage) {
            const int page = mdb_read_next_dpg(d_->def);
            if (page <= 0)
                return false;
            d_->page = guint32(page);
            if (mdb->cur_pg != d_->page && mdb_read_pg(mdb, d_->page) != f.pageSize)
                damaged(QStringLiteral("una pagina dei dati non si può leggere"));
            d_->rowsOnPage = u16(mdb->pg_buf + f.rowCountAt);
            d_->slot = 0;
            if (f.rowCountAt + 2 + 2 * d_->rowsOnPage > f.pageSize)
                damaged(QStringLiteral("una pagina dei dati dichiara troppe righe"));
            continue;
        }
        const int slot = d_->slot++;
        // A long value read before may have moved the page buffer: the data page comes back.
        if (mdb->cur_pg != d_->page && mdb_read_pg(mdb, d_->page) != f.pageSize)
            damaged(QStringLiteral("una pagina dei dati non si può leggere"));
        const quint16 entry = u16(mdb->pg_buf + f.rowCountAt + 2 + 2 * slot);
        // Deleted rows, and rows kept here for a slot of another page, are not rows of a scan.
        if (entry & kRowDeleted)
            continue;
        int start = 0;
        int length = 0;
        f.locate(mdb->pg_buf, slot, start, length);
        if (entry & kRowElsewhere) {
            if (length < 4)
                damaged(QStringLiteral("una riga spostata non dice dove si trova"));
            const quint32 pointer = u32(mdb->pg_buf + start);
            const guint32 target = pointer >> 8;
            if (target == 0 || mdb_read_pg(mdb, target) != f.pageSize || mdb->pg_buf[0] != MDB_PAGE_DATA ||
                u32(mdb->pg_buf + 4) != d_->tdefPage)
                damaged(QStringLiteral("una riga spostata rimanda a una pagina sbagliata"));
            f.locate(mdb->pg_buf, int(pointer & 0xff), start, length);
        }
        if (length <= 0)
            damaged(QStringLiteral("una riga è vuota"));
        const int cracked = mdb_crack_row(d_->def, start, size_t(length), d_->fields.data());
        if (cracked != int(columns_.size()))
            damaged(QStringLiteral("una riga non ha le colonne della sua tabella"));
        row.resize(columns_.size());
        for (size_t c = 0; c < columns_.size(); ++c)
            row[c] = decode(int(c), &d_->fields[c]);
        return true;
    }
}

Value Table::decode(int column, const void* fieldPtr) {
    File::Impl& f = *file_.d_;
    const auto& field = *static_cast<const MdbField*>(fieldPtr);
    const Column& c = columns_[size_t(column)];
    if (c.type == MDB_BOOL)
        return qint64(field.is_null ? 0 : -1); // the null mask holds a Yes/No value
    if (field.is_null)
        return std::monostate();
    const auto* p = static_cast<const unsigned char*>(field.value);
    const int size = field.siz;
    if (size < 0 || !p || p < f.mdb->pg_buf || p + size > f.mdb->pg_buf + f.pageSize)
        damaged(QStringLiteral("un valore esce dalla sua pagina"));
    auto need = [&](int bytes) {
        if (size < bytes)
            damaged(QStringLiteral("un valore della colonna %1 è troncato").arg(c.name));
    };
    switch (c.type) {
    case MDB_BYTE:
        need(1);
        return qint64(p[0]);
    case MDB_INT:
        need(2);
        return qint64(qint16(u16(p)));
    case MDB_LONGINT:
    case MDB_COMPLEX:
        need(4);
        return qint64(qint32(u32(p)));
    case MDB_MONEY: {
        need(8);
        const qint64 raw = qint64(quint64(u32(p)) | (quint64(u32(p + 4)) << 32));
        const bool negative = raw < 0;
        const quint64 magnitude = negative ? quint64(0) - quint64(raw) : quint64(raw);
        return scaledDecimal(QString::number(magnitude), negative, 4);
    }
    case MDB_FLOAT: {
        need(4);
        const quint32 bits = u32(p);
        float v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return double(v);
    }
    case MDB_DOUBLE:
    case MDB_DATETIME: {
        need(8);
        const quint64 bits = quint64(u32(p)) | (quint64(u32(p + 4)) << 32);
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        if (c.type == MDB_DATETIME)
            return DateTime{v};
        return v;
    }
    case MDB_TEXT:
        return f.text(p, size);
    case MDB_MEMO: {
        const QByteArray bytes = f.longValue(p, size);
        return f.text(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
    }
    case MDB_OLE:
        return f.longValue(p, size);
    case MDB_REPID:
        need(16);
        return guidText(p);
    case MDB_NUMERIC: {
        need(17);
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(d_->def->columns, guint(column)));
        return decimalText(p, col->col_scale);
    }
    default:
        return QByteArray(reinterpret_cast<const char*>(p), size);
    }
}

} // namespace qv::jet
