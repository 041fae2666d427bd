#pragma once

#include "RecordScanner.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>
#include <iterator>
#include <optional>
#include <vector>

// The one reader of a disc's file list or folder list (ContentsRecord gives the layout), held compactly: the text as
// one UTF-8 buffer, where records start, and where each folder's records lie (line 2), so listing one folder of a
// huge disc touches only that folder's records. A record's lines are found when they are asked for: a record is a
// few dozen bytes, and tables of every line would cost more memory than the text itself.
//
// Besides its text a list holds at most about three tenths of it, whatever its shape: the table of record starts
// keeps every record's start while records run 32 bytes or more (any real list), and only every second, fourth...
// record's in a list of tinier ones, whose others are found by reading on from there. The folder index keeps one
// entry per run of records that share a folder (the files of a folder come together); a list with too many runs for
// its size is kept without one, and a folder is then found by reading the list through.
class ContentsList
{
public:
    // What a disc's list may be. Far beyond any real disc (a million files make about 100 MB,
    // a record's longest line is a path of a few KB), so only a damaged or hostile list meets
    // them: it is refused whole, with a message. The size is known from a contents file's
    // header, so such a list is refused before it is unpacked.
    static constexpr qint64 MaxBytes = qint64(512) << 20;
    static constexpr qint64 MaxLineBytes = qint64(64) << 10;
    // The longest line a writer may put in a list (its line end counted): what would need a
    // longer one is cut or passed over, so the disc's lists can always be read back.
    static constexpr qsizetype LongestLine = MaxLineBytes - 2;
    // Why a list of this many bytes is not read.
    static QString tooLargeMessage(qint64 bytes);

    ContentsList() = default;
    // Bytes as stored (UTF-8 or Windows-1252; CR LF or LF). Throws QuilloryError for a list
    // beyond the limits above.
    static ContentsList fromBytes(const QByteArray &bytes);

    // Parses a list while its bytes are still arriving (see below).
    class Builder;
    // Keeps, of a list arriving piece by piece, only the records of a few folders (see below).
    class Sieve;
    // The records of one folder.
    class Records;

    int recordCount() const { return static_cast<int>(m_count); }
    int lineCount(int record) const;
    // Line i of a record (0-based; the closing "-" is not part of the record).
    QByteArrayView lineBytes(int record, int i) const;
    QString line(int record, int i) const { return QString::fromUtf8(lineBytes(record, i)); }
    QStringList lines(int record) const;

    // Records whose line 2 is the given folder path: spelled exactly so, or in any case.
    Records recordsIn(const QString &folderPath, Qt::CaseSensitivity cs = Qt::CaseInsensitive) const;

    // A folder record's name without the "\" it ends in.
    QByteArrayView folderName(int record) const;
    // Whether a file record is a ZIP archive listed as a folder.
    bool isArchive(int record) const;
    // An archive entry's folder inside its archive ("images\icons\", "" at the top level),
    // to be added to its line 2; empty for any other record.
    QByteArrayView folderInArchive(int record) const;
    // The text of a record's extra lines, up to and with its end line: empty when it has none.
    QByteArrayView extraLines(int record) const;
    struct Folder;
    // The one way a folder is looked up, for the listing, its totals and ls alike. A disc made
    // here may hold folders whose names differ only in case, and the folder spelled exactly as
    // asked wins; catalogues made on Windows were read without regard to case, so a path in
    // another case still finds its folder when the disc has none spelled so.
    static Folder findFolder(const ContentsList &folders, const ContentsList &files, const QString &path);
    // The folders whose records findFolder reads to look up path (the folder and its parent), for a Sieve.
    static QStringList foldersRead(const QString &path);

    const QByteArray &data() const { return m_data; }
    // The heap memory the list holds (text, record starts, folder index), for the benchmarks.
    qsizetype heldBytes() const;
    // Whether the list keeps a folder index (every real list does).
    bool indexed() const { return m_indexed; }

private:
    // A run of records filed under one folder, by the hash of the folder's line as spelled.
    struct IndexedRun {
        quint64 key = 0;
        quint32 first = 0;
        quint32 count = 0;
    };
    static quint64 folderHash(QByteArrayView folder);
    // Where a record starts and ends in the text.
    void span(int record, qsizetype &begin, qsizetype &end) const;
    // The extra lines of a record, in turn, until f returns true; returns that line.
    template <typename F> QByteArrayView findExtraLine(int record, F f) const;

    QByteArray m_data;
    // Tells lists apart for the line cursor (lineBytes); copies share the text, and the id.
    quint64 m_id = 0;
    quint32 m_count = 0;
    // The start of every (1 << m_shift)-th record, and one more entry for where the last one
    // ends. Lists are far smaller than 4 GiB (MaxBytes), so offsets take four bytes.
    std::vector<quint32> m_starts;
    int m_shift = 0;
    // Whether the last record ends without its "-" line.
    bool m_lastOpen = false;
    // In list order: a lookup reads them through, which costs less than sorting them at every load.
    std::vector<IndexedRun> m_runs;
    bool m_indexed = true;
};

// The records of one folder in list order, as runs of records at even steps: a folder's files
// come together, so this is mostly one run whatever the folder holds, and records of folders
// that take turns (a hostile list's) are runs too.
class ContentsList::Records
{
    struct Run {
        quint32 first = 0;
        quint32 count = 0;
        quint32 step = 1;
    };

public:
    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = int;
        using difference_type = std::ptrdiff_t;
        using pointer = const int *;
        using reference = int;
        const_iterator() = default;
        int operator*() const { return static_cast<int>(m_run->first + m_offset * m_run->step); }
        const_iterator &operator++()
        {
            if (++m_offset == m_run->count) {
                ++m_run;
                m_offset = 0;
            }
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator &) const = default;

    private:
        friend class Records;
        const_iterator(const Run *run, quint32 offset) : m_run(run), m_offset(offset) {}
        const Run *m_run = nullptr;
        quint32 m_offset = 0;
    };

    const_iterator begin() const { return {m_runs.constData(), 0}; }
    const_iterator end() const { return {m_runs.constData() + m_runs.size(), 0}; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    int front() const { return static_cast<int>(m_runs.front().first); }
    std::vector<int> toVector() const { return std::vector<int>(begin(), end()); }

    // Records are added in list order: one, or count of them from first on.
    void add(quint32 first, quint32 count = 1)
    {
        m_size += count;
        if (!m_runs.isEmpty()) {
            Run &last = m_runs.back();
            if (last.count == 1 && (count == 1 || first == last.first + 1))
                last.step = first - last.first;
            if (first == last.first + last.count * last.step && (count == 1 || last.step == 1)) {
                last.count += count;
                return;
            }
        }
        m_runs.append({first, count, 1});
    }

private:
    QVarLengthArray<Run, 2> m_runs;
    size_t m_size = 0;
};

struct ContentsList::Folder {
    // One folder of a disc ("\MUSIC\ROCK\", "\PACK.ZIP\"): whether the disc has it (the root,
    // a folder record, an archive, or records filed under it), and the records of its
    // subfolders and of its files.
    bool exists = false;
    Records subfolders;
    Records files;
};

// Parses a list while its bytes are still arriving (a decompressor filling a buffer), so the
// parsing keeps pace with the bytes instead of following them. Records (RecordScanner) and
// the folder index are made in the same pass. Used from one thread at a time.
class ContentsList::Builder
{
public:
    // data is where the bytes arrive and must stay in place until finish(); expectedSize
    // (when known) lets the tables be sized once.
    explicit Builder(const char *data, qsizetype expectedSize = 0);
    // The first `available` bytes of data are final; parses what it can of them.
    void advance(qsizetype available);
    // bytes is the whole list, held in the buffer given to the constructor; given over, so
    // that a list in Windows-1252 is made UTF-8 in its own buffer. Throws QuilloryError for a
    // list beyond the limits.
    ContentsList finish(QByteArray bytes);

private:
    void add(const RecordScanner::Record &r);
    void addStart(quint32 index, qsizetype start);
    void endRun(qsizetype scanned);
    void checkUtf8(qsizetype to);

    const char *m_data;
    ContentsList m_list;
    RecordScanner m_scanner;
    bool m_tooLarge = false;
    // Whether the text is UTF-8 as far as it is checked.
    bool m_utf8 = true;
    qsizetype m_checked = 0;
    // The run being read: the folder line its records share.
    QByteArrayView m_runFolder;
    IndexedRun m_run;
};

// Reads a list piece by piece (a decompressor's blocks) and keeps only the records filed under
// the given folders, each in any case, in list order: records of any other folder are let go
// as they pass, so a reader that asks about one folder of a huge disc (the command line's ls)
// neither holds the disc nor indexes it. findFolder over the lists kept for foldersRead(path)
// answers as it does over the whole lists.
class ContentsList::Sieve
{
public:
    explicit Sieve(const QStringList &folders);
    // The next bytes of the list. False once there is no point in reading on: the list is beyond
    // the limits (finish() says so), or it is not UTF-8.
    bool add(QByteArrayView piece);
    // The records kept, once the list has been given whole; none for a list that is not UTF-8 (a
    // list made on Windows, whose folders are spelled in another encoding: it is read whole
    // instead). Throws QuilloryError for a list beyond the limits.
    std::optional<ContentsList> finish();

private:
    struct Wanted {
        QByteArray spelled;
        QString key;             // folded
        qsizetype characters = 0; // of the key, which folding keeps
    };
    bool wanted(QByteArrayView folder);
    void scan(bool last);

    std::vector<Wanted> m_wanted;
    // The records not yet read whole, and the bytes after them.
    QByteArray m_buffer;
    qsizetype m_scanAt = 0;
    QByteArray m_kept;
    qint64 m_total = 0;
    qsizetype m_longest = 0;
    bool m_utf8 = true;
    bool m_stopped = false;
    // The folder line last decided in this scan, and whether it was wanted: a folder's records
    // mostly come together.
    QByteArrayView m_last;
    bool m_lastIn = false;
};
