// The record sources and FindFirst criteria the screens hand to the store, and the Like
// patterns in them: the search text the user types ends up inside them.
#include "store/Statement.h"
#include "store/StoreError.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* chars = reinterpret_cast<const char*>(data);
    const QString text = QString::fromUtf8(chars, qsizetype(size));
    try {
        qv::parseRecordSource(text);
    } catch (const qv::StoreError&) {
    }
    try {
        qv::parseCriteria(text);
    } catch (const qv::StoreError&) {
    }

    // Pattern, a NUL, value: the value matched as text and as the engine's UTF-8 agree.
    const auto* nul = static_cast<const char*>(std::memchr(chars, 0, size));
    if (!nul)
        return 0;
    const QString pattern = QString::fromUtf8(chars, nul - chars);
    const QByteArray valueBytes(nul + 1, qsizetype(size - size_t(nul - chars) - 1));
    const QString value = QString::fromUtf8(valueBytes);
    const qv::LikePattern like(pattern);
    const bool asText = like.matches(QStringView(value));
    if (value.toUtf8() == valueBytes && like.matches(valueBytes.constData(), valueBytes.size()) != asText)
        __builtin_trap();
    if (qv::likeMatches(pattern, value) != asText)
        __builtin_trap();
    return 0;
}
