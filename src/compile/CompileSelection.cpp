#include "CompileSelection.h"

#include "listing/EntryLocation.h"
#include "listing/ContentsListing.h"
#include "listing/FindColumn.h"
#include "listing/LocationState.h"

using namespace Qt::Literals::StringLiterals;

namespace CompileSelection
{

CompilationEntry entryOf(const ContentsListing &listing, int row)
{
    const QStringList info = listing.info(row);
    CompilationEntry e;
    e.Name = listing.caption(row);
    e.Icon = listing.image(row);
    e.Path = FindColumn(u"Path"_s, info).trimmed();
    e.SN = FindColumn(u"SN"_s, info).trimmed();
    e.IntSize = FindColumn(u"IntSize"_s, info).trimmed();
    return e;
}

QList<CompilationEntry> entriesOf(const ContentsListing &listing, const QList<int> &rows)
{
    QList<CompilationEntry> out;
    for (int row : rows) {
        if (row >= 0 && row < listing.count() && listing.kind(row) != ContentsEntry::Up)
            out.append(entryOf(listing, row));
    }
    return out;
}

bool canCopy(const ContentsListing &listing, const LocationState &location, const QList<int> &rows)
{
    if (rows.isEmpty() || rows.first() < 0 || rows.last() >= listing.count())
        return false;
    const ContentsEntry::Kind first = listing.kind(rows.first());
    if (first == ContentsEntry::Up || first == ContentsEntry::Group || first == ContentsEntry::Disc)
        return false;
    const bool every = rows.size() >= 2 && !location.isGroupListed();
    for (int row : every ? rows : QList<int>{rows.first()}) {
        if (EntryLocation::insideZip(FindColumn(u"Path"_s, listing.info(row))))
            return false;
    }
    return true;
}

} // namespace CompileSelection
