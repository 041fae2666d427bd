#pragma once

#include "ContentsEntry.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <vector>
#include <xxhash.h>

class ContentsList;

// The hits of one search, held compactly for the contents list: one text buffer and a few
// numbers per hit, no strings or list entries per hit, so a million hits stay cheap. The
// search adds them; the listing turns them into rows and texts on demand.
class SearchHits
{
public:
    // The disc the following hits come from.
    int addDisc(const QString &title, const QString &serial);
    // folder is the record's folder line; inArchive, not null for an entry of a ZIP archive, its
    // folder inside the archive (the folder line is then the archive). details are the further
    // lines of a file, in record order; checksum a file's, or null when it has none.
    void add(int disc, ContentsEntry::Kind kind, QByteArrayView name, QByteArrayView folder, QByteArrayView inArchive,
             qint64 size, QByteArrayView date, const std::vector<QByteArrayView> &details = {},
             const XXH128_hash_t *checksum = nullptr);

    // A file (or archive) record of a disc's file list, as the search and the comparisons list it;
    // checksum its checksum, or null when it has none.
    void addFile(int disc, const ContentsList &files, int record, qint64 size,
                 const XXH128_hash_t *checksum = nullptr);
    // The same, for a reader that goes through the list's records in turn (RecordScanner):
    // the record's fixed lines, and the text of its extra lines (ContentsList::extraLines).
    void addFile(int disc, QByteArrayView name, QByteArrayView folder, QByteArrayView date, QByteArrayView extraLines,
                 qint64 size, const XXH128_hash_t *checksum = nullptr);

    // Room for this many hits in all, for an adder that knows how many will come.
    void reserve(int hits);
    // Drops the hits from position count on (a disc searched again).
    void truncate(int count);
    // Puts the hits in another order: hit i becomes the one at order[i]. Only the order is kept,
    // not the hits moved: an answer read disc by disc and shown in another order would otherwise
    // cost a random move of every hit.
    void reorder(std::vector<quint32> order);

    int count() const { return static_cast<int>(m_hits.size()); }
    ContentsEntry::Kind kind(int i) const { return storedKind(at(i)); }
    qint64 size(int i) const { return storedSize(at(i)); }
    QByteArrayView name(int i) const { return storedName(at(i)); }
    QByteArrayView date(int i) const { return storedDate(at(i)); }
    EntryPlace place(int i) const;
    // Whether hit i lies inside a ZIP archive, without making its place.
    bool insideZip(int i) const { return m_folders[m_hits[at(i)].folder].archiveEnd >= 0; }
    // Title + ":" + folder: where the hit is, as the list shows it.
    QString location(int i) const { return place(i).text(); }
    // location(i) in UTF-8, appended to out without a string made for it: for a command that
    // writes millions of hits.
    void appendLocation(int i, QByteArray &out) const;
    // Asks the memory ahead for the texts of the hits a little after i: a walk through an
    // answer in another order than stored waits on memory at every hit otherwise.
    void prefetchAfter(int i) const;
    QStringList details(int i) const;
    // A comparison's answer, group after group: which hits lie in its second, fourth... group,
    // by answer position, so that a list can set each group apart from its neighbours.
    void setOddGroups(std::vector<bool> odd) { m_oddGroups = std::move(odd); }
    bool inOddGroup(int i) const
    {
        return static_cast<size_t>(i) < m_oddGroups.size() && m_oddGroups[static_cast<size_t>(i)];
    }

    // The entry as the contents list shows it, given its type text.
    ContentsEntry entry(int i, const QString &type, int image) const;

    // The hits as they were added, an order reorder() leaves in place: a walk over millions of
    // hits reads their texts one after another in that order, where the answer's order jumps.
    // Hit i is the one stored at storedAt(i).
    size_t storedAt(int i) const { return at(i); }
    ContentsEntry::Kind storedKind(size_t at) const { return static_cast<ContentsEntry::Kind>(m_hits[at].kind); }
    qint64 storedSize(size_t at) const { return m_hits[at].size; }
    QByteArrayView storedName(size_t at) const { return texts(at).name; }
    QByteArrayView storedDate(size_t at) const { return texts(at).date; }
    EntryPlace storedPlace(size_t at) const;
    // The same number for the hits of one place (disc and folder), another for another place.
    quint64 storedPlaceId(size_t at) const { return quint64(m_hits[at].disc) << 32 | m_hits[at].folder; }

private:
    // 24 bytes a hit, millions of them at once: its texts are the name's and the date's lengths
    // (a byte each while under 128), the name, the date, the checksum's 16 bytes when it has one,
    // and the details ("\n"-separated), and end where the next hit's begin; its folder is shared
    // by the hits of one folder that come together.
    struct Hit {
        qint64 size;
        quint64 text : 40;
        quint64 disc : 24; // a catalogue's discs (TreeLimits::MaxNodes) fit
        quint32 folder;
        quint32 kind : 8;
        quint32 hasChecksum : 1;
    };
    static_assert(sizeof(Hit) == 24, "millions of hits are held at once");
    struct Folder {
        qint64 text; // in m_folderText: the folder, with an archive entry's folder inside its archive
        qint32 length;
        qint32 archiveEnd; // the archive's length at the start of the text; -1 outside archives
    };
    struct Disc {
        QString title;
        QString serial;
        QByteArray titleUtf8;
    };
    struct Texts {
        QByteArrayView name, date, checksum, details;
    };
    size_t at(int i) const { return m_order.empty() ? static_cast<size_t>(i) : m_order[static_cast<size_t>(i)]; }
    // The texts of the hit stored at index at.
    Texts texts(size_t at) const;
    Hit made(int disc, ContentsEntry::Kind kind, QByteArrayView name, QByteArrayView folder, QByteArrayView inArchive,
             qint64 size, QByteArrayView date, const std::vector<QByteArrayView> &details,
             const XXH128_hash_t *checksum);
    Hit fileHit(int disc, QByteArrayView name, QByteArrayView folder, QByteArrayView date, QByteArrayView extraLines,
                qint64 size, const XXH128_hash_t *checksum);

    std::vector<Hit> m_hits;
    std::vector<quint32> m_order; // empty: the hits are in the order they were added
    std::vector<bool> m_oddGroups;
    std::vector<Disc> m_discs;
    std::vector<Folder> m_folders;
    QByteArray m_text;
    QByteArray m_folderText;
    // The folder of the last hit, its disc's: hits of one folder come together and share it.
    int m_lastFolderDisc = -1;
};
