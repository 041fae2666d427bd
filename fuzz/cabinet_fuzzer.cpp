// libFuzzer target for the cabinet reader: the bytes are written to a file (libmspack reads
// cabinets by name), listed (alone and as a set), extracted into memory and into a folder.
// Failures must come back as exceptions; nothing may be written outside the folder.
#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabReader.h"
#include "core/QuilloryError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir tmp;
    const QString cab = tmp.filePath(QStringLiteral("in.cab"));
    const QString out = tmp.filePath(QStringLiteral("out/inner"));
    {
        QFile f(cab);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QDir(tmp.filePath(QStringLiteral("out"))).removeRecursively();
    QDir().mkpath(out);
    TSTCabReader reader;
    try {
        reader.List(cab, true);
    } catch (const QuilloryError &) {
    }
    // Followed as a set: the next cabinet it names may be itself, the folder beside it, or nothing.
    try {
        reader.List(cab, false);
    } catch (const QuilloryError &) {
    }
    try {
        reader.ExtractToMemory(cab, {}, 64 << 20, true);
    } catch (const QuilloryError &) {
    }
    try {
        reader.Extract(cab, out, true);
    } catch (const QuilloryError &) {
    }
    // Only bare names may have been written, and only inside the folder.
    if (!QDir(tmp.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).isEmpty())
        abort();
    for (const QString &name : QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        if (QFileInfo(out + u'/' + name).isDir())
            abort();
    return 0;
}
