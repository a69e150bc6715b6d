#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>
#include <variant>
#include <vector>

namespace qv::jet {

// Reading the old program's archive: an Access (Jet 3, Jet 4 or ACE) file, read with
// mdbtools' library. Every value comes back exactly as stored: text and memo values are
// decoded from the file's own bytes (NULL apart from empty, long memos whole), Date/Time
// values as the stored number of days.

// Why a file cannot be read.
enum class Problem {
    NotJet,     // no Jet signature at byte 4
    Password,   // protected by a database password
    Damaged,    // not readable as a Jet file: truncated, inconsistent pages or rows
    Unreadable, // the system cannot read the file (permissions, disk)
};

class Error : public std::runtime_error {
public:
    Error(Problem problem, const QString& detail)
        : std::runtime_error(detail.toStdString()), problem_(problem), detail_(detail) {}
    Problem problem() const { return problem_; }
    // What was found, in Italian, for the user's message.
    const QString& detail() const { return detail_; }

private:
    Problem problem_;
    QString detail_;
};

// A Date/Time value: days since 30 December 1899, counted toward zero, with the time of day
// as the positive fraction (-1.25 is 29 December 1899, 06:00).
struct DateTime {
    double days = 0;
};

// One stored value. Whole numbers (Yes/No as -1 and 0, Byte, Integer, Long Integer),
// reals (Single, Double), text (Text, Memo, Currency and Decimal as exact decimal text,
// Replication ID), bytes (Binary, OLE Object), Date/Time.
using Value = std::variant<std::monostate, qint64, double, QString, QByteArray, DateTime>;

inline bool isNull(const Value& v) {
    return std::holds_alternative<std::monostate>(v);
}

struct Column {
    QString name; // as stored, blanks and case kept
    int type = 0; // the Jet column type (libmdb's MDB_* numbers)
    int size = 0; // in bytes as stored (a Jet 4 Text(50) is 100)
    bool autoNumber = false;

    bool isInteger() const; // Yes/No, Byte, Integer, Long Integer
    bool isReal() const;    // Single, Double
    bool isBinary() const;  // Binary, OLE Object
};

class File;

// A table of an open file, read row by row in the order of the file. Only one table of a
// file is read at a time: each shares the file's page buffer.
class Table {
public:
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const QString& name() const { return name_; }
    const std::vector<Column>& columns() const { return columns_; }
    // The column named `name`, whatever its case (accented letters included); -1 if none.
    int column(const QString& name) const;
    // The number of rows the table's definition records.
    qint64 declaredRows() const { return declaredRows_; }

    // Reads the next row into `row` (one value per column); false after the last.
    // Raises Error(Damaged) for a row that cannot be read whole.
    bool next(std::vector<Value>& row);

private:
    friend class File;
    struct Impl;
    Table(File& file, std::unique_ptr<Impl> impl);
    Value decode(int column, const void* field);

    File& file_;
    std::unique_ptr<Impl> d_;
    QString name_;
    std::vector<Column> columns_;
    qint64 declaredRows_ = 0;
};

class File {
public:
    // Opens the file for reading only; it is never written. Raises Error.
    explicit File(const QString& path);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const QString& path() const { return path_; }
    // The user tables, by their stored names.
    const QStringList& tables() const { return tables_; }
    // The table named `name`, whatever its case; nullptr when there is none.
    std::unique_ptr<Table> table(const QString& name);

private:
    friend class Table;
    struct Impl;
    void readCatalog();
    // The table of catalog entry `entry` (0 is the catalog itself).
    std::unique_ptr<Table> open(size_t entry);

    std::unique_ptr<Impl> d_;
    QString path_;
    int version_ = 0;
    QStringList tables_;
};

} // namespace qv::jet
