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

    // Room for this many hits in all, for an adder that knows how many will come.
    void reserve(int hits);
    // Drops the hits from position count on (a disc searched again).
    void truncate(int count);
    // Puts the hits in another order: hit i becomes the one at order[i].
    void reorder(const std::vector<int> &order);

    int count() const { return static_cast<int>(m_hits.size()); }
    ContentsEntry::Kind kind(int i) const { return static_cast<ContentsEntry::Kind>(hit(i).kind); }
    qint64 size(int i) const { return hit(i).size; }
    QByteArrayView name(int i) const { return view(hit(i).name); }
    QByteArrayView date(int i) const { return view(hit(i).date); }
    EntryPlace place(int i) const;
    // Title + ":" + folder: where the hit is, as the list shows it.
    QString location(int i) const { return place(i).text(); }
    QStringList details(int i) const;

    // The entry as the contents list shows it, given its type text.
    ContentsEntry entry(int i, const QString &type, int image) const;

private:
    struct Span {
        qint64 offset = 0;
        qint32 length = 0;
    };
    struct Hit {
        quint32 disc;
        quint8 kind;
        qint32 archiveEnd; // the archive's length at the start of path; -1 outside archives
        qint64 size;
        Span name;
        Span path; // the folder, with an archive entry's folder inside its archive
        Span date;
        Span details; // "\n"-separated
    };
    struct Disc {
        QString title;
        QString serial;
    };
    const Hit &hit(int i) const { return m_hits[static_cast<size_t>(i)]; }
    QByteArrayView view(Span s) const { return QByteArrayView(m_text.constData() + s.offset, s.length); }
    Span put(QByteArrayView bytes);

    std::vector<Hit> m_hits;
    std::vector<Disc> m_discs;
    QByteArray m_text;
    // The folder of the last hit: hits of one folder come together and share its text.
    Span m_lastPath;
    int m_lastPathDisc = -1;
};
