// The lock file's content: left by an earlier run, another computer, or anything at all.
#include "app/ProgramLock.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const qv::ProgramLock::Holder holder = qv::ProgramLock::holderOf(content);
    // A computer's name is one line of text.
    if (holder.host.contains(QLatin1Char('\n')))
        __builtin_trap();
    return 0;
}
