#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>
#include <QtGlobal>
#include <vector>

// The serials whose contents files are in DB, from one listing of the folder: for asking about
// thousands of discs at once (a tree's load, an export), where ContentsFile::exists costs a look
// at the disk each. ContentsFile::serialsPresent makes it and it answers as exists() does.
//
// The serials are kept as the file system spells them, back to back in one buffer under an
// open-addressed table: a DB of fifty thousand discs lists without a string per file, and a
// question costs a probe or two instead of a walk through scattered strings.
class ContentsSerials
{
public:
    ContentsSerials() = default;
    // names holds the serials back to back (the file system's bytes); ends where each stops.
    ContentsSerials(QByteArray names, std::vector<quint32> ends);

    // False for a serial that cannot name a file in DB, as exists() says.
    bool contains(QStringView serial) const;
    qsizetype size() const { return qsizetype(m_ends.size()); }
    bool isEmpty() const { return m_ends.empty(); }

private:
    struct Slot {
        quint32 hash = 0;
        quint32 entry = 0; // index + 1; 0 for an empty slot
    };
    bool containsBytes(QByteArrayView name, quint32 hash) const;
    QByteArrayView entry(quint32 index) const;

    QByteArray m_names;
    std::vector<quint32> m_ends;
    std::vector<Slot> m_slots;
    quint32 m_mask = 0;
};
