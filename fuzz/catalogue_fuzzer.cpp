// libFuzzer target for the catalogue's own files (CatalogueInputCheck): the bytes are read as
// "groups.tree" by the loader the program uses, as a contents list by its parser and by the
// search's names, and as a checksum member.
#include "FuzzChecks.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // In memory where the system has it: every input is written, and its tree saved, durably.
    static QTemporaryDir tmp(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/quillory-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/quillory-fuzz-XXXXXX"));
    const QString problem = CatalogueInputCheck::check(
        QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)), tmp.path() + u'/');
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        abort();
    }
    return 0;
}
