#pragma once

#include <QByteArray>
#include <QAnyStringView>
#include <QByteArrayView>
#include <QtGlobal>
#include <type_traits>
#include <vector>

// The code units of a view a QAnyStringView holds, as plain integers: char for Latin-1 and
// UTF-8, char16_t for UTF-16. For code that reads a serial in whichever form it comes.
template <typename Text> inline auto codeUnits(Text text)
{
    if constexpr (std::is_same_v<Text, QStringView>)
        return text.utf16();
    else
        return text.data();
}

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
    // names holds distinct serials back to back (the file system's bytes, as a folder's listing
    // gives them); ends where each stops.
    ContentsSerials(QByteArray names, const std::vector<quint32> &ends);

    // False for a serial that cannot name a file in DB, as exists() says. A serial may come
    // as text, or as the bytes of a tree's line (ASCII, or UTF-8 as the file system spells it).
    bool contains(QAnyStringView serial) const;
    // contains() of each serial in turn, answered much faster for thousands at once.
    std::vector<bool> containsEach(const std::vector<QAnyStringView> &serials) const;
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

private:
    // Where a serial's bytes are, beside its hash: a question reads the slot and the bytes,
    // nothing else.
    struct Slot {
        quint32 hash = 0;
        quint32 start = 0;
        quint32 size = kEmpty;
    };
    static constexpr quint32 kEmpty = ~quint32(0);
    template <typename Unit> bool find(const Unit *units, qsizetype n, quint32 hash) const;
    template <typename Use> bool visitSerial(QAnyStringView serial, const Use &use) const;

    QByteArray m_names;
    std::vector<Slot> m_slots;
    quint32 m_mask = 0;
    qsizetype m_size = 0;
};
