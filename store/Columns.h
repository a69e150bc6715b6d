#pragma once

// What a record set reads of all its rows at once, without holding the rows themselves.
#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <string>
#include <vector>

namespace qv {

// One column of every row: each distinct value once, and for each row (by its position in
// record-set order) the number of its value. A row gone since the record set was opened has
// the null value.
struct ColumnValues {
    std::vector<QVariant> values;
    std::vector<int> of;
};

// Rows read in whatever order the engine gave them (an index's), each with its key and a
// number: the numbers put in the order of the keys. Sorting them first, in passes that read and
// write memory in order, spares a look-up at a random place for every row.
class ByKey {
public:
    void add(qint64 key, int number) {
        keys_.push_back(key);
        numbers_.push_back(number);
    }
    size_t size() const { return keys_.size(); }
    // The numbers by position among `keys` (ascending): -1 for a key that was not read; a key
    // read that is not among `keys` is left out.
    std::vector<int> byPosition(const std::vector<qint64>& keys);
    // The keys read, ascending, and their numbers in that order; false when a key repeats.
    bool sorted(std::vector<qint64>& keys, std::vector<int>& numbers);

private:
    void sort();
    std::vector<qint64> keys_;
    std::vector<int> numbers_;
};

// The texts of a few fields of every row, as they were when read, in record-set order: held
// in one buffer as the engine stores them, each made a text only when asked for. A null value
// is empty text; a number reads as it shows (see fieldText).
class RowTexts {
public:
    // For `columns` (the table's column numbers, each once, at most eight).
    explicit RowTexts(std::vector<int> columns);

    int count() const { return int(order_.size()); }
    // The place of a table column among the fields held; -1 when it is not held.
    int slotOf(int column) const;
    const std::vector<int>& columns() const { return columns_; }

    qint64 key(int position) const { return keys_[size_t(position)]; }
    QString text(int position, int slot) const;
    bool isEmpty(int position, int slot) const;

    // Reading: one row after the other in the order the engine gives them, each its key and
    // then the bytes of every field in the order of `columns`.
    void addRow(qint64 key);
    void addField(QByteArrayView utf8);
    // Puts the rows in the order of their keys; false when a key repeats.
    bool arrange();
    const std::vector<qint64>& keys() const { return keys_; }

private:
    QByteArrayView bytesOf(int position, int slot) const;

    std::vector<int> columns_;
    ByKey read_;                // while reading
    std::vector<qint64> keys_;  // by position
    std::vector<int> order_;    // position -> row as read
    std::vector<qint64> ends_;  // row as read, field: where its bytes end in bytes_
    std::vector<quint8> empty_; // row as read: a bit for each empty field (small enough to look
                                // up at random)
    std::string bytes_;
};

} // namespace qv
