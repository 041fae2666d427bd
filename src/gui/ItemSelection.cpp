#include "ItemSelection.h"

#include <QItemSelectionModel>
#include <algorithm>

namespace ItemSelection
{

QList<int> rows(const QItemSelectionModel *selection, int most)
{
    QList<int> out;
    if (!selection)
        return out;
    for (const QItemSelectionRange &range : selection->selection()) {
        const int last = most < 0 ? range.bottom() : std::min(range.bottom(), range.top() + most - 1);
        for (int row = range.top(); row <= last; ++row)
            out.append(row);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    if (most >= 0 && out.size() > most)
        out.resize(most);
    return out;
}

} // namespace ItemSelection
