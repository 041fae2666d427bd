#pragma once

#include "CompilationEntry.h"

#include <QList>
#include <QObject>

// The compilation: files and folders gathered from any number of discs, to be burnt to a new
// disc. It lives in memory for the run only, and a change of the catalogue leaves it alone.
// The total is kept by adding and subtracting, as the panel's caption shows it.
class CompilationList : public QObject
{
    Q_OBJECT
public:
    // What fits on a 700 MB CD; the caption turns red above it.
    static constexpr qint64 CdCapacity = 734003200;

    using QObject::QObject;

    const QList<CompilationEntry> &entries() const { return m_entries; }
    int count() const { return static_cast<int>(m_entries.size()); }
    qint64 total() const { return m_total; }
    bool overCapacity() const { return m_total > CdCapacity; }
    // "Total size: " and the total; "Total size: 0 Bytes" before anything was added and after
    // clearing.
    QString sizeCaption() const { return m_caption; }

    // Appends the entries that are not in the list yet (same Name and Path, letter case
    // counting; the serial is not looked at, so two discs of one title are one place), then
    // sorts. Returns how many were added.
    int add(const QList<CompilationEntry> &entries);
    // Removes the entries at these positions.
    void remove(const QList<int> &rows);
    void clear();

    // The names more than one entry has, each once, in list order. A burn puts every entry in
    // the new disc's root folder, and Copy to Hard-Drive in the one folder chosen: either holds
    // only one of each.
    QStringList sharedNames() const { return sharedNames(m_entries); }
    static QStringList sharedNames(const QList<CompilationEntry> &entries);

    // Folders first, then by icon, then by name without regard to case.
    static bool lessThan(const CompilationEntry &a, const CompilationEntry &b);

Q_SIGNALS:
    void aboutToChange();
    void changed();

private:
    QList<CompilationEntry> m_entries;
    qint64 m_total = 0;
    QString m_caption = QStringLiteral("Total size: 0 Bytes");

    void refreshCaption();
};
