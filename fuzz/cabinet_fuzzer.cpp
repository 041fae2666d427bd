// libFuzzer target for the cabinet reader (FuzzChecks::cabinet): the bytes are listed alone and
// as a set, extracted into memory and into a folder.
#include "FuzzChecks.h"

#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir tmp;
    const QString problem =
        FuzzChecks::cabinet(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), tmp.path() + u'/');
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        abort();
    }
    return 0;
}
