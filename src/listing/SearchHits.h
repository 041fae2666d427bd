#pragma once

#include "ContentsEntry.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <vector>

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
    // lines of a file, in record order.
    void add(int disc, ContentsEntry::Kind kind, QByteArrayView name, QByteArrayView folder, QByteArrayView inArchive,
             qint64 size, QByteArrayView date, const std::vector<QByteArrayView> &details = {});

    // A file (or archive) record of a disc's file list, as the search and the comparisons list it.
    void addFile(int disc, const ContentsList &files, int record, qint64 size);
    // The same, for a reader that goes through the list's records in turn (RecordScanner):
    // the record's fixed lines, and the text of its extra lines (ContentsList::extraLines).
    void addFile(int disc, QByteArrayView name, QByteArrayView folder, QByteArrayView date, QByteArrayView extraLines,
                 qint64 size);

    // Room for this many hits in all, for an adder that knows how many will come.
    void reserve(int hits);
    // Drops the hits from position count on (a disc searched again).
    void truncate(int count);
    // Puts the hits in another order: hit i becomes the one at order[i]. Only the order is kept,
    // not the hits moved: an answer read disc by disc and shown in another order would otherwise
    // cost a random move of every hit.
    void reorder(std::vector<quint32> order);

    int count() const { return static_cast<int>(m_hits.size()); }
    ContentsEntry::Kind kind(int i) const { return static_cast<ContentsEntry::Kind>(hit(i).kind); }
    qint64 size(int i) const { return hit(i).size; }
    QByteArrayView name(int i) const { return view(hit(i).text, hit(i).nameLength); }
    QByteArrayView date(int i) const { return view(hit(i).text + hit(i).nameLength, hit(i).dateLength); }
    EntryPlace place(int i) const;
    // Title + ":" + folder: where the hit is, as the list shows it.
    QString location(int i) const { return place(i).text(); }
    QStringList details(int i) const;

    // The entry as the contents list shows it, given its type text.
    ContentsEntry entry(int i, const QString &type, int image) const;

private:
    // A hit's name, date and details lie one after another in the text; the folder apart, shared
    // by the hits of one folder that come together.
    struct Hit {
        qint64 size;
        qint64 text;
        qint64 path; // the folder, with an archive entry's folder inside its archive
        qint32 archiveEnd; // the archive's length at the start of path; -1 outside archives
        quint32 nameLength;
        quint32 dateLength;
        quint32 detailsLength; // "\n"-separated
        quint32 pathLength;
        // 48 bytes a hit, not 56: a catalogue's discs (TreeLimits::MaxNodes) fit 24 bits.
        quint32 disc : 24;
        quint32 kind : 8;
    };
    static_assert(sizeof(Hit) == 48, "millions of hits are held at once");
    struct Disc {
        QString title;
        QString serial;
    };
    const Hit &hit(int i) const
    {
        return m_hits[m_order.empty() ? static_cast<size_t>(i) : m_order[static_cast<size_t>(i)]];
    }
    QByteArrayView view(qint64 offset, quint32 length) const
    {
        return QByteArrayView(m_text.constData() + offset, qsizetype(length));
    }
    Hit made(int disc, ContentsEntry::Kind kind, QByteArrayView name, QByteArrayView folder, QByteArrayView inArchive,
             qint64 size, QByteArrayView date, const std::vector<QByteArrayView> &details);
    Hit fileHit(int disc, QByteArrayView name, QByteArrayView folder, QByteArrayView date, QByteArrayView extraLines,
                qint64 size);

    std::vector<Hit> m_hits;
    std::vector<quint32> m_order; // empty: the hits are in the order they were added
    std::vector<Disc> m_discs;
    QByteArray m_text;
    // The folder of the last hit: hits of one folder come together and share its text.
    qint64 m_lastPath = 0;
    quint32 m_lastPathLength = 0;
    int m_lastPathDisc = -1;
};
