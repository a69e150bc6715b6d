// The date reader: whatever the user types into a date box or a date field holds.
#include "platform/Dates.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto date = qv::dates::parse(text)) {
        // What is read is a real date, and reads back as itself.
        if (!date->isValid() || qv::dates::parse(qv::dates::shortDate(*date)) != date)
            __builtin_trap();
    }
    return 0;
}
