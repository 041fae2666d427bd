#include "CompilationList.h"

#include "core/FormatSize.h"
#include "core/SizeSum.h"

#include <QSet>
#include <algorithm>

void CompilationList::refreshCaption()
{
    m_caption = QStringLiteral("Total size: ") + FormatSize(m_total);
}

int CompilationList::add(const QList<CompilationEntry> &entries)
{
    QSet<std::pair<QString, QString>> present;
    for (const CompilationEntry &e : std::as_const(m_entries))
        present.insert({e.Name, e.Place.text()});
    QList<CompilationEntry> fresh;
    for (const CompilationEntry &e : entries) {
        if (present.contains({e.Name, e.Place.text()}))
            continue;
        present.insert({e.Name, e.Place.text()});
        fresh.append(e);
    }
    Q_EMIT aboutToChange();
    for (const CompilationEntry &e : std::as_const(fresh)) {
        m_entries.append(e);
        addCapped(m_total, e.Size);
    }
    refreshCaption();
    std::stable_sort(m_entries.begin(), m_entries.end(), &CompilationList::lessThan);
    Q_EMIT changed();
    return static_cast<int>(fresh.size());
}

void CompilationList::remove(const QList<int> &rows)
{
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    Q_EMIT aboutToChange();
    for (auto it = sorted.crbegin(); it != sorted.crend(); ++it) {
        if (*it < 0 || *it >= m_entries.size())
            continue;
        m_entries.removeAt(*it);
    }
    // Counted again, as a total that stopped at the largest size cannot be taken apart.
    m_total = 0;
    for (const CompilationEntry &e : std::as_const(m_entries))
        addCapped(m_total, e.Size);
    refreshCaption();
    Q_EMIT changed();
}

QStringList CompilationList::sharedNames(const QList<CompilationEntry> &entries)
{
    QSet<QString> seen, shared;
    QStringList out;
    for (const CompilationEntry &e : entries) {
        if (seen.contains(e.Name) && !shared.contains(e.Name)) {
            shared.insert(e.Name);
            out.append(e.Name);
        }
        seen.insert(e.Name);
    }
    return out;
}

void CompilationList::clear()
{
    Q_EMIT aboutToChange();
    m_entries.clear();
    m_total = 0;
    m_caption = QStringLiteral("Total size: 0 Bytes");
    Q_EMIT changed();
}

bool CompilationList::lessThan(const CompilationEntry &a, const CompilationEntry &b)
{
    if (a.Icon != b.Icon)
        return a.Icon < b.Icon;
    return a.Name.compare(b.Name, Qt::CaseInsensitive) < 0;
}
