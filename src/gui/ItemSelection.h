#pragma once

#include <QList>

class QItemSelectionModel;

namespace ItemSelection
{

// The rows with something selected, in order, each once. Made from the selection's ranges: Qt's
// own lists make an index for every selected row (and check each column), which for millions of
// search results held the window for seconds at every change of the selection.
// most: only the first that many rows (of each range, then of all), for a look at the start of
// a selection that may be millions of rows long.
QList<int> rows(const QItemSelectionModel *selection, int most = -1);

} // namespace ItemSelection
