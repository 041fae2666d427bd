// libFuzzer target for the ZIP local-header walk: the bytes are walked as an archive, both
// from a buffer and from a device that cannot seek, and every reported entry is turned into
// the texts of its record. Nothing may read outside the input or fail other than by exception.
#include "SequentialDevice.h"
#include "acquire/TZipFile.h"
#include "store/CatalogueLocale.h"
#include "core/QuilloryError.h"

#include <QBuffer>
#include <QDateTime>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

int walk(QIODevice &dev)
{
    TZipFile zip;
    int reported = 0;
    zip.OnReadFile = [&reported](const ZipFile &e) {
        ++reported;
        QString name = e.EntryName;
        name.replace(u'/', u'\\');
        const QDateTime when = ZipDateTime(e.ModDate, e.ModTime);
        if (when.isValid())
            (void)CatalogueLocale().formatListDate(when);
        (void)name.mid(name.lastIndexOf(u'\\') + 1);
    };
    try {
        zip.read(dev);
    } catch (const QuilloryError &) {
    }
    if (reported != zip.FileCount())
        abort();
    return reported;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer plain(&bytes);
    plain.open(QIODevice::ReadOnly);
    SequentialDevice stream(bytes);
    stream.open(QIODevice::ReadOnly);
    // Seeking and reading forward must find the same entries.
    if (walk(plain) != walk(stream))
        abort();
    return 0;
}
