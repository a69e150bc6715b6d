// Bringing the old program's Access archive across: each test archive is converted and the new
// archive compared, value by value, with the manifest that lists everything the Access file holds;
// files that cannot be converted are refused with their message and left exactly as they were.
#include "store/ArchiveImport.h"
#include "store/Database.h"
#include "store/StoreError.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sqlite3.h>

using namespace qv;

namespace {

QString committed(const QString& name) {
    return test::testData(QStringLiteral("access-archives/") + name);
}

// The large archive is not part of the repository: it is used where the test archives lie.
QString shared(const QString& name) {
    const QByteArray folder = qgetenv("QUORVANE_ACCESS_ARCHIVES");
    return (folder.isEmpty() ? QStringLiteral("/work/shared/access-archives")
                             : QString::fromLocal8Bit(folder)) +
           QLatin1Char('/') + name;
}

QByteArray bytesOf(const QString& path) {
    return test::readFile(path);
}

void write(const QString& path, const QByteArray& bytes) {
    ASSERT_TRUE(test::writeFile(path, bytes));
}

// ---- byte-level changes to a copy of archivio-piccolo.mdb (4 KB pages) ----

constexpr int kPage = 4096;
constexpr int kPatientDef = 24;  // the definition of Pazienti
constexpr int kPatientRows = 28; // the first data page of Pazienti
constexpr int kAgendaDef = 103;  // the definition of Agenda, its row count at byte 16
constexpr int kAgendaRows = 105; // Agenda's data page; its last row is domenica

int slotAt(int page, int slot) {
    return page * kPage + 14 + 2 * slot;
}
quint16 u16(const QByteArray& b, int at) {
    return quint16(uchar(b[at]) | (uchar(b[at + 1]) << 8));
}

// Deletes domenica's row; with `recount` the table's row count says so too.
void dropSunday(QByteArray& b, bool recount) {
    b[slotAt(kAgendaRows, 6) + 1] = char(uchar(b[slotAt(kAgendaRows, 6) + 1]) | 0x80);
    if (recount)
        b[kAgendaDef * kPage + 16] = 6;
}

// Renames columns in Pazienti's definition (the names are UTF-16 there, of the same length).
void rename(QByteArray& b, const QString& from, const QString& to) {
    const QByteArray f(reinterpret_cast<const char*>(from.utf16()), from.size() * 2);
    const QByteArray t(reinterpret_cast<const char*>(to.utf16()), to.size() * 2);
    const qsizetype at = b.indexOf(f, kPatientDef * kPage);
    ASSERT_GE(at, kPatientDef * kPage);
    ASSERT_LT(at, (kPatientDef + 1) * kPage);
    b.replace(at, t.size(), t);
}

// ---- the manifest and the new archive, as comparable text ----

// "NULL", "I:<whole number>" or "T:<text>".
using Values = std::map<QString, QString>;

// A Date/Time of the manifest (ISO 8601) as the old program showed it.
QString shownDateTime(const QString& iso) {
    const QString date = iso.left(10);
    const QString time = iso.mid(11);
    const QString shortDate =
        date.mid(8, 2) + QLatin1Char('/') + date.mid(5, 2) + QLatin1Char('/') + date.left(4);
    if (date == QLatin1String("1899-12-30"))
        return time;
    return time == QLatin1String("00:00:00") ? shortDate : shortDate + QLatin1Char(' ') + time;
}

Values expectedRow(const QJsonObject& row, const QJsonArray& columns,
                   const std::map<QString, QString>& renamed) {
    Values out;
    for (const QJsonValue& c : columns) {
        const QString name = c[QStringLiteral("name")].toString();
        const QString stored = renamed.count(name) ? renamed.at(name) : name;
        const QJsonValue v = row[name];
        if (v.isNull())
            out[stored] = QStringLiteral("NULL");
        else if (v.isDouble())
            out[stored] = QStringLiteral("I:%1").arg(qint64(v.toDouble()));
        else if (c[QStringLiteral("type")].toString() == QLatin1String("Date/Time"))
            out[stored] = QStringLiteral("T:") + shownDateTime(v.toString());
        else
            out[stored] = QStringLiteral("T:") + v.toString();
    }
    return out;
}

std::vector<Values> storedRows(sqlite3* db, const char* statement) {
    std::vector<Values> out;
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, statement, -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        Values row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const QString name = QString::fromUtf8(sqlite3_column_name(stmt, i));
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_NULL:
                row[name] = QStringLiteral("NULL");
                break;
            case SQLITE_INTEGER:
                row[name] = QStringLiteral("I:%1").arg(sqlite3_column_int64(stmt, i));
                break;
            default:
                row[name] = QStringLiteral("T:") + QString::fromUtf8(text, sqlite3_column_bytes(stmt, i));
            }
        }
        out.push_back(row);
    }
    sqlite3_finalize(stmt);
    return out;
}

std::vector<Values> expectedRows(const QJsonObject& table, const std::map<QString, QString>& renamed = {}) {
    std::vector<Values> out;
    for (const QJsonValue& row : table[QStringLiteral("rows")].toArray())
        out.push_back(expectedRow(row.toObject(), table[QStringLiteral("columns")].toArray(), renamed));
    return out;
}

// Compares row by row, naming the first differing field, without printing whole notes.
void expectSame(const std::vector<Values>& expected, const std::vector<Values>& stored,
                const QString& table) {
    ASSERT_EQ(expected.size(), stored.size()) << table.toStdString();
    for (size_t r = 0; r < expected.size(); ++r) {
        ASSERT_EQ(expected[r].size(), stored[r].size()) << table.toStdString() << " row " << r;
        for (const auto& [name, value] : expected[r]) {
            const auto it = stored[r].find(name);
            ASSERT_NE(it, stored[r].end()) << "no column " << name.toStdString();
            EXPECT_TRUE(it->second == value)
                << table.toStdString() << " row " << r << " field " << name.toStdString() << ": expected "
                << value.left(200).toStdString() << ", stored " << it->second.left(200).toStdString();
        }
    }
}

struct Conversion {
    const char* name;
    std::function<QString()> source;                   // the Access file, empty to skip
    std::function<void(QByteArray&)> change = nullptr; // made to a copy of it first
    std::map<QString, QString> renamed = {};           // manifest column -> column of the new archive
    QStringList kept = {};                             // columns that the program does not know
    bool sundayDropped = false;
};

class ArchiveConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(ArchiveConversion, KeepsEveryValueOfTheManifest) {
    const Conversion& c = GetParam();
    const QString source = c.source();
    if (!QFileInfo::exists(source))
        GTEST_SKIP() << "not found: " << source.toStdString();
    QString manifestPath = source;
    manifestPath.replace(QStringLiteral(".mdb"), QStringLiteral(".json"));
    const QJsonArray tables =
        QJsonDocument::fromJson(bytesOf(manifestPath))[QStringLiteral("tables")].toArray();
    const QJsonObject patients = tables[0].toObject();
    const QJsonObject agenda = tables[1].toObject();

    QTemporaryDir dir;
    const QString jet = dir.filePath(QStringLiteral("quorvane.mdb"));
    QByteArray original = bytesOf(source);
    if (c.change)
        c.change(original);
    write(jet, original);
    const QString target = dir.filePath(QStringLiteral("nuovo.mdb"));
    // The count of patients done grows, first as they are copied, then as they are checked.
    std::map<ImportStage, qint64> lastDone{{ImportStage::Copying, -1}, {ImportStage::Checking, -1}};
    const ImportSummary summary =
        importJetArchive(jet, target, [&](ImportStage stage, qint64 done, qint64 total) {
            EXPECT_EQ(total, patients[QStringLiteral("rowCount")].toInt());
            EXPECT_GE(done, lastDone[stage]);
            EXPECT_TRUE(stage == ImportStage::Copying || lastDone[ImportStage::Copying] == total);
            lastDone[stage] = done;
        });
    EXPECT_EQ(lastDone[ImportStage::Copying], patients[QStringLiteral("rowCount")].toInt());
    EXPECT_EQ(lastDone[ImportStage::Checking], patients[QStringLiteral("rowCount")].toInt());
    EXPECT_EQ(bytesOf(jet), original);
    EXPECT_EQ(summary.keptColumns, c.kept);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(target.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    // Every column of the new archive (the program's and the kept ones) holds exactly its value.
    std::vector<Values> expected = expectedRows(patients, c.renamed);
    if (!c.renamed.empty())
        for (Values& row : expected)
            for (const auto& [from, to] : c.renamed)
                if (!row.count(from))
                    row[from] = QStringLiteral("NULL"); // the program's column, left empty
    expectSame(expected, storedRows(db, "SELECT * FROM \"Pazienti\" ORDER BY \"ID\""),
               QStringLiteral("Pazienti"));

    std::vector<Values> weekdays = expectedRows(agenda);
    if (c.sundayDropped) {
        weekdays.pop_back();
        Values sunday{{QStringLiteral("giorno"), QStringLiteral("T:domenica")}};
        for (int s = 1; s <= 40; ++s)
            sunday[QString::number(s)] = QStringLiteral("NULL");
        sunday[QStringLiteral("data")] = QStringLiteral("NULL");
        weekdays.push_back(sunday);
        EXPECT_EQ(summary.addedWeekdays, QStringList{QStringLiteral("domenica")});
    }
    expectSame(weekdays, storedRows(db, "SELECT * FROM \"Agenda\" ORDER BY rowid"), QStringLiteral("Agenda"));

    // Everything a new archive has: the list's saved query, the key and the search indexes.
    const QString fresh = dir.filePath(QStringLiteral("vuoto.mdb"));
    Database::create(fresh);
    sqlite3* empty = nullptr;
    ASSERT_EQ(sqlite3_open_v2(fresh.toUtf8().constData(), &empty, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const char* objects =
        "SELECT type, name, tbl_name FROM sqlite_master WHERE type IN ('view', 'index') ORDER BY name";
    EXPECT_EQ(storedRows(db, objects), storedRows(empty, objects));
    sqlite3_close(empty);
    sqlite3_close(db);

    // The next new patient continues after the highest identifier.
    auto opened = Database::open(target);
    const auto table = opened->table(QStringLiteral("Pazienti"));
    EXPECT_EQ(opened->reserveKey(*table), summary.highestId + 1);
    EXPECT_EQ(summary.highestId, qint64(expected.back().at(QStringLiteral("ID")).mid(2).toLongLong()));
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ArchiveConversion,
    ::testing::Values(
        Conversion{"piccolo", [] { return committed(QStringLiteral("archivio-piccolo.mdb")); }},
        Conversion{"richiamo_data", [] { return committed(QStringLiteral("archivio-richiamo-data.mdb")); }},
        // Columns found whatever their case, accented letters included; a column the program does
        // not know is kept with its values; a weekday without a row gets one with empty times.
        Conversion{"renamed_columns_and_no_sunday",
                   [] { return committed(QStringLiteral("archivio-piccolo.mdb")); },
                   [](QByteArray& b) {
                       rename(b, QStringLiteral("Nome"), QStringLiteral("NOME"));
                       rename(b, QStringLiteral("Società"), QStringLiteral("SOCIETÀ"));
                       rename(b, QStringLiteral("Fax"), QStringLiteral("Pex"));
                       dropSunday(b, true);
                   },
                   {{QStringLiteral("Fax"), QStringLiteral("Pex")}},
                   {QStringLiteral("Pazienti.Pex")},
                   true},
        Conversion{"grande", [] { return shared(QStringLiteral("archivio-grande.mdb")); }}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- what cannot be converted ----

struct Refusal {
    const char* name;
    const char* file;
    std::function<void(QByteArray&)> change;
    int number;
    const char* says; // part of the message
};

class ArchiveRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ArchiveRefusal, SaysWhyAndLeavesTheFileUntouched) {
    const Refusal& r = GetParam();
    QTemporaryDir dir;
    const QString jet = dir.filePath(QStringLiteral("quorvane.mdb"));
    QByteArray original = bytesOf(committed(QString::fromUtf8(r.file)));
    if (r.change)
        r.change(original);
    write(jet, original);
    const QString target = dir.filePath(QStringLiteral("nuovo.mdb"));
    try {
        importJetArchive(jet, target);
        FAIL() << "converted";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.number(), r.number);
        EXPECT_TRUE(e.description().contains(QDir::toNativeSeparators(jet))) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QString::fromUtf8(r.says))) << e.description().toStdString();
        EXPECT_TRUE(e.description().endsWith(QStringLiteral("Il file non è stato modificato.")));
    }
    EXPECT_EQ(bytesOf(jet), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("quorvane.mdb")});
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ArchiveRefusal,
    ::testing::Values(
        Refusal{"another_programs_file", "estraneo.mdb", nullptr, err::NotADatabase,
                "non ha la tabella Pazienti"},
        Refusal{"another_programs_jet3_file", "jet3-estraneo.mdb", nullptr, err::NotADatabase,
                "non ha la tabella Pazienti"},
        Refusal{"no_id_column", "archivio-piccolo.mdb",
                [](QByteArray& b) { rename(b, QStringLiteral("ID"), QStringLiteral("Nr")); },
                err::NotADatabase, "non ha la colonna ID"},
        // The header keeps the password XORed with a mask that an unprotected file holds as it is:
        // XORing a password's UTF-16 bytes into it sets that password.
        Refusal{"password", "archivio-piccolo.mdb",
                [](QByteArray& b) {
                    const QString password = QStringLiteral("segreto");
                    for (int i = 0; i < password.size() * 2; ++i)
                        b[0x42 + i] = char(b[0x42 + i] ^ reinterpret_cast<const char*>(password.utf16())[i]);
                },
                err::PasswordProtected, "protetto da una password"},
        Refusal{"cut_short", "archivio-piccolo.mdb", [](QByteArray& b) { b.truncate(300000); },
                err::CannotOpen, "danneggiato"},
        Refusal{"page_of_patients_wiped", "archivio-piccolo.mdb",
                [](QByteArray& b) { b.replace(kPatientRows * kPage, kPage, QByteArray(kPage, '\0')); },
                err::CannotOpen, "dichiara 40 righe, ma se ne leggono"},
        Refusal{"row_lost", "archivio-piccolo.mdb", [](QByteArray& b) { dropSunday(b, false); },
                err::CannotOpen, "la tabella Agenda dichiara 7 righe, ma se ne leggono 6"},
        // The third row of the first page (ID 3) given the first one's ID.
        Refusal{"same_id_twice", "archivio-piccolo.mdb",
                [](QByteArray& b) {
                    const int first = kPatientRows * kPage + (u16(b, slotAt(kPatientRows, 0)) & 0x1fff);
                    const int third = kPatientRows * kPage + (u16(b, slotAt(kPatientRows, 2)) & 0x1fff);
                    b.replace(third + 2, 4, b.mid(first + 2, 4));
                },
                err::DuplicateKey, "stesso numero ID (1)"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ArchiveDates, AsTheOldProgramShowedThem) {
    EXPECT_EQ(jetDateText(38061.0), QStringLiteral("15/03/2004"));
    EXPECT_EQ(jetDateText(37929.6875), QStringLiteral("04/11/2003 16:30:00"));
    EXPECT_EQ(jetDateText(0.4375), QStringLiteral("10:30:00"));           // no date part
    EXPECT_EQ(jetDateText(-1.25), QStringLiteral("29/12/1899 06:00:00")); // before 1900: time forward
    EXPECT_EQ(jetDateText(38061.9999999), QStringLiteral("16/03/2004"));  // rounds to the next day
}

} // namespace
