#include "ItemSelection.h"

#include <QItemSelectionModel>
#include <algorithm>

namespace ItemSelection
{

QList<int> rows(const QItemSelectionModel *selection)
{
    QList<int> out;
    if (!selection)
        return out;
    for (const QItemSelectionRange &range : selection->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            out.append(row);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

} // namespace ItemSelection
