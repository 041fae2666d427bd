#include "ExplorerCompare.h"
#include "core/AsciiCase.h"

#include <algorithm>

int CompareNoCase(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const auto *pa = reinterpret_cast<const unsigned char *>(a.data());
    const auto *pb = reinterpret_cast<const unsigned char *>(b.data());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char ca = UpcaseAZ(pa[i]);
        const unsigned char cb = UpcaseAZ(pb[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

quint64 NoCasePrefix(QByteArrayView text)
{
    // Big-endian, zero-padded: a text ending within the eight bytes comes before any it begins.
    quint64 key = 0;
    const qsizetype n = std::min<qsizetype>(text.size(), 8);
    for (qsizetype i = 0; i < 8; ++i)
        key = key << 8 | (i < n ? UpcaseAZ(static_cast<unsigned char>(text[i])) : 0u);
    return key;
}

int ExplorerCompare(const ExplorerSortItem &a, const ExplorerSortItem &b, ExplorerColumn key, bool ascending)
{
    if (a.isUp != b.isUp)
        return a.isUp ? -1 : 1;
    if (a.isFolder != b.isFolder)
        return a.isFolder ? -1 : 1;
    if (a.isGroup != b.isGroup)
        return (a.isGroup == ascending) ? -1 : 1;

    int r = 0;
    switch (key) {
    case ExplorerColumn::Name:
    case ExplorerColumn::Type:
    case ExplorerColumn::Path:
        r = CompareNoCase(a.text, b.text);
        break;
    case ExplorerColumn::Size:
        r = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
        break;
    case ExplorerColumn::Date:
        if (a.hasNumber && b.hasNumber)
            r = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
        break;
    }
    if (r == 0)
        r = CompareNoCase(a.caption, b.caption);
    return ascending ? r : -r;
}
