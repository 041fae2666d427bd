#include "CompileSelection.h"

#include "listing/ContentsListing.h"
#include "listing/LocationState.h"

using namespace Qt::Literals::StringLiterals;

namespace CompileSelection
{

CompilationEntry entryOf(const ContentsListing &listing, int row)
{
    return CompilationEntry{listing.caption(row), listing.image(row), listing.place(row), listing.intSize(row)};
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

bool canCopy(const ContentsListing &listing, const LocationState &location, const QList<int> &selected)
{
    if (selected.isEmpty() || selected.first() < 0 || selected.last() >= listing.count())
        return false;
    // ".." is no entry to take (Ctrl+A selects it too); what else is selected is.
    QList<int> rows = selected;
    if (listing.kind(rows.first()) == ContentsEntry::Up)
        rows.removeFirst();
    if (rows.isEmpty())
        return false;
    const ContentsEntry::Kind first = listing.kind(rows.first());
    if (first == ContentsEntry::Group || first == ContentsEntry::Disc)
        return false;
    const bool every = rows.size() >= 2 && !location.isGroupListed();
    for (int row : every ? rows : QList<int>{rows.first()}) {
        if (listing.insideZip(row))
            return false;
    }
    return true;
}

QString refusal(const ContentsListing &listing, const LocationState &location, const QList<int> &rows)
{
    if (canCopy(listing, location, rows) || !canCopy(listing, location, rows.mid(0, 2)))
        return QString();
    return u"Some of the selected entries lie inside ZIP archives, which cannot be taken from the disc. "
           u"Select only files and folders of the disc."_s;
}

} // namespace CompileSelection
