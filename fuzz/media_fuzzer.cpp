// libFuzzer target for one metadata reader (FuzzChecks::media), chosen at compile time with
// -DMEDIA_READER=<kind>.
#include "FuzzChecks.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString problem = FuzzChecks::media(MediaReaderKind::MEDIA_READER,
                                              QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        abort();
    }
    return 0;
}
