// The libFuzzer target: the project file check on every input. A failed
// check aborts, which makes libFuzzer keep the input.

#include "FuzzChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const QString failure = FuzzChecks::projectFile(bytes); !failure.isEmpty())
        qFatal("check failed: %s", qUtf8Printable(failure));
    return 0;
}
