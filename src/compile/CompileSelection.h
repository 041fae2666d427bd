#pragma once

#include "CompilationEntry.h"

#include <QList>

class ContentsListing;
struct LocationState;

// The entries the compilation, the copy and the playlist take from the contents list's
// selection. They read what every entry carries, a disc's row as well as a search result's:
// its caption and icon, and the Path, SN and IntSize of its object-info lines.
namespace CompileSelection
{

CompilationEntry entryOf(const ContentsListing &listing, int row);
// The selected rows in list order, ".." left out.
QList<CompilationEntry> entriesOf(const ContentsListing &listing, const QList<int> &rows);

// Whether the selection may be copied to the hard disk or added to the compilation (and so
// dropped on it): ".." passed over, something is selected, the first selected entry is a file or
// folder of a disc (not a group or a disc), and nothing selected lies inside a ZIP archive.
// rows ascending; the Copy to Hard-Drive button follows it for the first two selected rows.
bool canCopy(const ContentsListing &listing, const LocationState &location, const QList<int> &rows);
// Why a selection canCopy refuses is refused, when the button could not tell beforehand: an
// entry inside a ZIP archive further down the selection. Empty otherwise.
QString refusal(const ContentsListing &listing, const LocationState &location, const QList<int> &rows);

} // namespace CompileSelection
