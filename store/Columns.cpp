#include "store/Columns.h"

#include <algorithm>
#include <limits>

namespace qv {

// ---------------------------------------------------------------------------------------
// Rows put in the order of their keys

void ByKey::sort() {
    const size_t n = keys_.size();
    if (std::is_sorted(keys_.begin(), keys_.end()))
        return;
    const auto [low, high] = std::minmax_element(keys_.begin(), keys_.end());
    const qint64 first = *low;
    const quint64 range = quint64(*high) - quint64(first);
    if (range > std::numeric_limits<quint32>::max()) {
        std::vector<std::pair<qint64, int>> pairs(n);
        for (size_t i = 0; i < n; ++i)
            pairs[i] = {keys_[i], numbers_[i]};
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < n; ++i) {
            keys_[i] = pairs[i].first;
            numbers_[i] = pairs[i].second;
        }
        return;
    }
    // Key (less the lowest) above, number below; sorted on the key's bits, eleven at a time,
    // only as many passes as the highest key needs.
    std::vector<quint64> packed(n), spare(n);
    for (size_t i = 0; i < n; ++i)
        packed[i] = (quint64(keys_[i] - first) << 32) | quint32(numbers_[i]);
    constexpr int kBits = 11;
    constexpr size_t kBuckets = size_t(1) << kBits;
    for (int shift = 32; shift < 64 && (range >> (shift - 32)) != 0; shift += kBits) {
        std::vector<size_t> start(kBuckets + 1, 0);
        for (quint64 v : packed)
            ++start[((v >> shift) & (kBuckets - 1)) + 1];
        for (size_t b = 1; b <= kBuckets; ++b)
            start[b] += start[b - 1];
        for (quint64 v : packed)
            spare[start[(v >> shift) & (kBuckets - 1)]++] = v;
        packed.swap(spare);
    }
    for (size_t i = 0; i < n; ++i) {
        keys_[i] = first + qint64(packed[i] >> 32);
        numbers_[i] = int(quint32(packed[i]));
    }
}

std::vector<int> ByKey::byPosition(const std::vector<qint64>& keys) {
    sort();
    std::vector<int> out(keys.size(), -1);
    size_t r = 0;
    for (size_t p = 0; p < keys.size() && r < keys_.size(); ++p) {
        while (r < keys_.size() && keys_[r] < keys[p])
            ++r;
        if (r < keys_.size() && keys_[r] == keys[p])
            out[p] = numbers_[r++];
    }
    return out;
}

bool ByKey::sorted(std::vector<qint64>& keys, std::vector<int>& numbers) {
    sort();
    if (std::adjacent_find(keys_.begin(), keys_.end()) != keys_.end())
        return false;
    keys = std::move(keys_);
    numbers = std::move(numbers_);
    keys_ = {};
    numbers_ = {};
    return true;
}

// ---------------------------------------------------------------------------------------
// Texts of every row

RowTexts::RowTexts(std::vector<int> columns) : columns_(std::move(columns)) {}

int RowTexts::slotOf(int column) const {
    const auto it = std::find(columns_.begin(), columns_.end(), column);
    return it == columns_.end() ? -1 : int(it - columns_.begin());
}

QByteArrayView RowTexts::bytesOf(int position, int slot) const {
    const size_t at = size_t(order_[size_t(position)]) * columns_.size() + size_t(slot);
    const qint64 begin = at == 0 ? 0 : ends_[at - 1];
    return QByteArrayView(bytes_.data() + begin, ends_[at] - begin);
}

QString RowTexts::text(int position, int slot) const {
    if (position < 0 || position >= count() || slot < 0 || slot >= int(columns_.size()))
        return QString();
    return QString::fromUtf8(bytesOf(position, slot));
}

bool RowTexts::isEmpty(int position, int slot) const {
    if (position < 0 || position >= count() || slot < 0 || slot >= int(columns_.size()))
        return true;
    return (empty_[size_t(order_[size_t(position)])] >> slot) & 1;
}

void RowTexts::addRow(qint64 key) {
    read_.add(key, int(read_.size()));
    empty_.push_back(0);
}

void RowTexts::addField(QByteArrayView utf8) {
    const size_t slot = (ends_.size()) % columns_.size();
    if (utf8.isEmpty())
        empty_.back() |= quint8(1u << slot);
    bytes_.append(utf8.data(), size_t(utf8.size()));
    ends_.push_back(qint64(bytes_.size()));
}

bool RowTexts::arrange() {
    return read_.sorted(keys_, order_);
}

} // namespace qv
