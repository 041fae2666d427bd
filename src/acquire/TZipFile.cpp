#include "TZipFile.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace
{

constexpr quint32 LocalHeader = 0x04034B50;
constexpr quint32 CentralHeader = 0x02014B50;
constexpr quint32 EndOfCentral = 0x06054B50;
constexpr int LocalFixedPart = 26;   // the local header after its signature
constexpr int CentralFixedPart = 42; // the central header after its signature

quint16 le16(const uchar *p)
{
    return static_cast<quint16>(p[0] | (p[1] << 8));
}

quint32 le32(const uchar *p)
{
    return static_cast<quint32>(p[0]) | (static_cast<quint32>(p[1]) << 8) | (static_cast<quint32>(p[2]) << 16) |
           (static_cast<quint32>(p[3]) << 24);
}

// Reads a device forward through a buffer of its own: the walk asks for 4 bytes at a time
// and skips whole entries, which would be slow through the device alone.
class ForwardReader
{
public:
    explicit ForwardReader(QIODevice &dev) : m_dev(dev), m_pos(dev.pos()) {}

    // Copies up to n bytes; returns how many there were before the end of the archive.
    qint64 read(uchar *out, qint64 n)
    {
        qint64 done = 0;
        while (done < n) {
            if (m_at == m_len && !fill())
                break;
            const qint64 take = qMin(n - done, m_len - m_at);
            memcpy(out + done, m_buf + m_at, static_cast<size_t>(take));
            m_at += take;
            done += take;
        }
        return done;
    }

    void skip(qint64 n)
    {
        const qint64 buffered = m_len - m_at;
        if (n <= buffered) {
            m_at += n;
            return;
        }
        m_pendingSkip += n - buffered;
        m_at = m_len = 0;
    }

private:
    bool fill()
    {
        if (m_ended)
            return false;
        if (m_pendingSkip > 0 && !skipDevice()) {
            m_ended = true;
            return false;
        }
        const qint64 got = m_dev.read(reinterpret_cast<char *>(m_buf), sizeof m_buf);
        if (got < 0)
            throw QuilloryError(QStringLiteral("Cannot read the archive: %1").arg(m_dev.errorString()));
        m_at = 0;
        m_len = got;
        m_pos += got;
        m_ended = got == 0;
        return got > 0;
    }

    // Moves the device past skipped bytes; a target beyond the end simply reads nothing after.
    bool skipDevice()
    {
        const qint64 n = m_pendingSkip;
        m_pendingSkip = 0;
        if (!m_dev.isSequential()) {
            m_pos += n;
            return m_pos < m_dev.size() && m_dev.seek(m_pos);
        }
        char scratch[8192];
        qint64 left = n;
        while (left > 0) {
            const qint64 got = m_dev.read(scratch, qMin<qint64>(sizeof scratch, left));
            if (got < 0)
                throw QuilloryError(QStringLiteral("Cannot read the archive: %1").arg(m_dev.errorString()));
            if (got == 0)
                return false;
            left -= got;
            m_pos += got;
        }
        return true;
    }

    QIODevice &m_dev;
    qint64 m_pos; // device position of the end of the buffered bytes
    uchar m_buf[65536];
    qint64 m_at = 0;
    qint64 m_len = 0;
    qint64 m_pendingSkip = 0;
    bool m_ended = false;
};

} // namespace

QDateTime ZipDateTime(quint16 modDate, quint16 modTime)
{
    const QDate d(1980 + (modDate >> 9), (modDate >> 5) & 0x0F, modDate & 0x1F);
    const QTime t(modTime >> 11, (modTime >> 5) & 0x3F, 2 * (modTime & 0x1F));
    if (!d.isValid() || !t.isValid())
        return QDateTime();
    return QDateTime(d, t);
}

void TZipFile::setFileName(const QString &fileName)
{
    if (QFileInfo::exists(fileName))
        m_fileName = fileName;
    m_entries.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw QuilloryError(QStringLiteral("Cannot open the archive \"%1\": %2")
                                .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    read(file);
}

void TZipFile::read(QIODevice &device)
{
    m_entries.clear();
    auto reader = std::make_unique<ForwardReader>(device);
    uchar sig[4];
    uchar head[LocalFixedPart];
    for (;;) {
        if (reader->read(sig, 4) < 4)
            break;
        const quint32 s = le32(sig);
        if (s == EndOfCentral)
            break;
        if (s == CentralHeader) {
            reader->skip(CentralFixedPart);
            continue;
        }
        if (s != LocalHeader)
            continue;
        // A header cut off by the end of the file ends the walk; what was read stays listed.
        if (reader->read(head, LocalFixedPart) < LocalFixedPart)
            break;
        ZipFile e;
        e.Version = le16(head + 0);
        e.Flags = le16(head + 2);
        e.Method = le16(head + 4);
        e.ModTime = le16(head + 6);
        e.ModDate = le16(head + 8);
        e.CRC32 = le32(head + 10);
        e.CompressedSize = le32(head + 14);
        e.UncompressedSize = le32(head + 18);
        e.NameLength = le16(head + 22);
        e.ExtraLength = le16(head + 24);

        // The whole name is read, however long, so the walk goes on right after it.
        QByteArray name(e.NameLength, Qt::Uninitialized);
        const qint64 got = reader->read(reinterpret_cast<uchar *>(name.data()), e.NameLength);
        if (got < e.NameLength)
            break;
        const qsizetype nul = name.indexOf('\0');
        if (nul >= 0)
            name.truncate(nul);
        e.EntryName = TextCodec::decode(name);

        reader->skip(static_cast<qint64>(e.ExtraLength) + static_cast<qint64>(e.CompressedSize));
        m_entries.push_back(e);
        if (OnReadFile)
            OnReadFile(m_entries.back());
    }
}
