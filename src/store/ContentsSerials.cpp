#include "ContentsSerials.h"

#include "ContentsFile.h"

#include <QFile>
#include <QString>

namespace
{

// FNV-1a over the bytes of a name, or over the code units of an ASCII text, which are the same
// values: a serial from the tree is asked about without being encoded first.
template <typename Unit> quint32 hashOf(const Unit *p, qsizetype n)
{
    quint64 h = 0xcbf29ce484222325ULL;
    for (qsizetype i = 0; i < n; ++i) {
        h ^= static_cast<quint64>(p[i]);
        h *= 0x100000001b3ULL;
    }
    return static_cast<quint32>(h ^ (h >> 32));
}

bool isAscii(QStringView text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

ContentsSerials::ContentsSerials(QByteArray names, std::vector<quint32> ends)
    : m_names(std::move(names)), m_ends(std::move(ends))
{
    if (m_ends.empty())
        return;
    // At most half full, so a miss ends after a probe or two.
    quint32 capacity = 16;
    while (capacity < m_ends.size() * 2)
        capacity *= 2;
    m_slots.resize(capacity);
    m_mask = capacity - 1;
    for (quint32 i = 0; i < m_ends.size(); ++i) {
        const QByteArrayView name = entry(i);
        const quint32 hash = hashOf(reinterpret_cast<const uchar *>(name.data()), name.size());
        if (containsBytes(name, hash))
            continue;
        quint32 at = hash & m_mask;
        while (m_slots[at].entry)
            at = (at + 1) & m_mask;
        m_slots[at] = Slot{hash, i + 1};
    }
}

QByteArrayView ContentsSerials::entry(quint32 index) const
{
    const quint32 start = index ? m_ends[index - 1] : 0;
    return QByteArrayView(m_names.constData() + start, m_ends[index] - start);
}

bool ContentsSerials::containsBytes(QByteArrayView name, quint32 hash) const
{
    if (m_slots.empty())
        return false;
    for (quint32 at = hash & m_mask; m_slots[at].entry; at = (at + 1) & m_mask)
        if (m_slots[at].hash == hash && entry(m_slots[at].entry - 1) == name)
            return true;
    return false;
}

bool ContentsSerials::contains(QStringView serial) const
{
    // The listing keeps every name; a serial that could name nothing in DB is refused here.
    if (m_slots.empty() || !ContentsFile::isUsableSerial(serial))
        return false;
    if (!isAscii(serial)) {
        const QByteArray name = QFile::encodeName(serial.toString());
        return containsBytes(name, hashOf(reinterpret_cast<const uchar *>(name.constData()), name.size()));
    }
    const quint32 hash = hashOf(serial.utf16(), serial.size());
    for (quint32 at = hash & m_mask; m_slots[at].entry; at = (at + 1) & m_mask) {
        if (m_slots[at].hash != hash)
            continue;
        const QByteArrayView name = entry(m_slots[at].entry - 1);
        if (name.size() == serial.size() && QLatin1StringView(name) == serial)
            return true;
    }
    return false;
}
