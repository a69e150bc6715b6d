// The day-file reader: an agenda file may have been edited by hand, cut short or damaged.
#include "agenda/DayFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList values = qv::dayfile::decode(bytes);
    // Whatever was read is written back and read again unchanged (a save after a load loses nothing).
    if (qv::dayfile::decode(qv::dayfile::encode(values)) != values)
        __builtin_trap();
    return 0;
}
