// libFuzzer target for the ZIP local-header walk (FuzzChecks::zip): the bytes are walked from a
// buffer and from a device that cannot seek, and every entry is turned into its record's texts.
#include "FuzzChecks.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString problem = FuzzChecks::zip(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        abort();
    }
    return 0;
}
