// libFuzzer target for the ZIP local-header walk: the bytes are walked as an archive, both
// from a buffer and from a device that cannot seek, and every reported entry is turned into
// the texts of its record. Nothing may read outside the input or fail other than by exception.
#include "acquire/TZipFile.h"
#include "store/CatalogueLocale.h"
#include "store/QuilloryError.h"

#include <QBuffer>
#include <QDateTime>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

// A device that cannot seek, as a pipe: the walk skips by reading.
class Stream : public QIODevice
{
public:
    explicit Stream(const QByteArray &bytes) : m_bytes(bytes) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        const qint64 n = qMin(max, qint64(m_bytes.size()) - m_at);
        memcpy(out, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};

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
    Stream stream(bytes);
    stream.open(QIODevice::ReadOnly);
    // Seeking and reading forward must find the same entries.
    if (walk(plain) != walk(stream))
        abort();
    return 0;
}
