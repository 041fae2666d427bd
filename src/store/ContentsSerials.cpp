#include "ContentsSerials.h"

#include "ContentsFile.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <type_traits>

namespace
{

// FNV-1a over the bytes of a name, or over the code units of an ASCII text, which are the same
// values: a serial from the tree is asked about without being encoded first.
template <typename Unit> quint32 hashOf(const Unit *p, qsizetype n)
{
    quint64 h = 0xcbf29ce484222325ULL;
    for (qsizetype i = 0; i < n; ++i) {
        h ^= static_cast<quint64>(static_cast<std::make_unsigned_t<Unit>>(p[i]));
        h *= 0x100000001b3ULL;
    }
    return static_cast<quint32>(h ^ (h >> 32));
}

template <typename Unit> bool isAscii(const Unit *p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        if (static_cast<std::make_unsigned_t<Unit>>(p[i]) >= 0x80)
            return false;
    return true;
}

} // namespace

ContentsSerials::ContentsSerials(QByteArray names, const std::vector<quint32> &ends)
    : m_names(std::move(names)), m_size(qsizetype(ends.size()))
{
    if (ends.empty())
        return;
    // At most half full, so a miss ends after a probe or two.
    quint32 capacity = 16;
    while (capacity < ends.size() * 2)
        capacity *= 2;
    m_slots.resize(capacity);
    m_mask = capacity - 1;
    quint32 start = 0;
    for (const quint32 end : ends) {
        const quint32 hash = hashOf(m_names.constData() + start, end - start);
        quint32 at = hash & m_mask;
        while (m_slots[at].size != kEmpty)
            at = (at + 1) & m_mask;
        m_slots[at] = Slot{hash, start, end - start};
        start = end;
    }
}

// Bytes as the file system spells them, or ASCII code units of any width.
template <typename Unit> bool ContentsSerials::find(const Unit *units, qsizetype n, quint32 hash) const
{
    if (m_slots.empty())
        return false;
    for (quint32 at = hash & m_mask; m_slots[at].size != kEmpty; at = (at + 1) & m_mask) {
        const Slot &slot = m_slots[at];
        if (slot.hash != hash || slot.size != quint64(n))
            continue;
        const char *name = m_names.constData() + slot.start;
        if (std::equal(units, units + n, name, [](Unit u, char c) {
                return static_cast<std::make_unsigned_t<Unit>>(u) == static_cast<uchar>(c);
            }))
            return true;
    }
    return false;
}

// Calls use(units, n) with the serial as the file system spells it, and returns its answer:
// its own code units when they already are that spelling (UTF-8, or ASCII of any width),
// otherwise the serial encoded as the file system would.
template <typename Use> bool ContentsSerials::visitSerial(QAnyStringView serial, const Use &use) const
{
    return serial.visit([&use](auto text) {
        using Text = decltype(text);
        const auto *units = codeUnits(text);
        const qsizetype n = text.size();
        if (std::is_same_v<Text, QUtf8StringView> || isAscii(units, n))
            return use(units, n);
        const QByteArray name = QFile::encodeName(text.toString());
        return use(name.constData(), name.size());
    });
}

bool ContentsSerials::contains(QAnyStringView serial) const
{
    // The listing keeps every name; a serial that could name nothing in DB is refused here.
    if (m_slots.empty() || !ContentsFile::isUsableSerial(serial))
        return false;
    return visitSerial(serial, [this](const auto *units, qsizetype n) { return find(units, n, hashOf(units, n)); });
}

std::vector<bool> ContentsSerials::containsEach(const std::vector<QAnyStringView> &serials) const
{
    const size_t n = serials.size();
    std::vector<bool> present(n);
    if (m_slots.empty())
        return present;
    // Asked one at a time, nearly every question waits on memory twice: for its slot, then for
    // the bytes the slot points to. Here the hashes come first, and the slots and bytes are
    // fetched a few questions ahead of their turn.
    std::vector<quint32> hashes(n);
    for (size_t i = 0; i < n; ++i)
        visitSerial(serials[i], [&](const auto *units, qsizetype size) {
            hashes[i] = hashOf(units, size);
            return false;
        });
    constexpr size_t kAhead = 16;
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n)
            __builtin_prefetch(&m_slots[hashes[i + kAhead] & m_mask]);
        if (i + kAhead / 2 < n) {
            const Slot &slot = m_slots[hashes[i + kAhead / 2] & m_mask];
            if (slot.size != kEmpty)
                __builtin_prefetch(m_names.constData() + slot.start);
        }
        present[i] = ContentsFile::isUsableSerial(serials[i]) &&
                     visitSerial(serials[i], [&](const auto *units, qsizetype size) {
                         return find(units, size, hashes[i]);
                     });
    }
    return present;
}
