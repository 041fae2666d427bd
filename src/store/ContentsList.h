#pragma once

#include "RecordScanner.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

// The one reader of a disc's file list or folder list (ContentsRecord gives the layout), held compactly: the text as
// one UTF-8 buffer, the offset where each record starts, and records indexed by their folder (line 2) so listing one
// folder of a huge disc touches only that folder's records. A record's lines are found when they are asked for: a
// record is a few dozen bytes, and tables of every line would cost more memory than the text itself.
class ContentsList
{
public:
    ContentsList() = default;
    // Bytes as stored (UTF-8 or Windows-1252; CR LF or LF).
    static ContentsList fromBytes(const QByteArray &bytes);

    // Parses a list while its bytes are still arriving (see below).
    class Builder;

    int recordCount() const { return m_starts.empty() ? 0 : static_cast<int>(m_starts.size() - 1); }
    int lineCount(int record) const;
    // Line i of a record (0-based; the closing "-" is not part of the record).
    QByteArrayView lineBytes(int record, int i) const;
    QString line(int record, int i) const { return QString::fromUtf8(lineBytes(record, i)); }
    QStringList lines(int record) const;

    // Records whose line 2 is the given folder path: spelled exactly so, or in any case.
    const std::vector<int> &recordsIn(const QString &folderPath, Qt::CaseSensitivity cs = Qt::CaseInsensitive) const;

    // A folder record's name without the "\" it ends in.
    QByteArrayView folderName(int record) const;
    // Whether a file record is a ZIP archive listed as a folder.
    bool isArchive(int record) const;
    // An archive entry's folder inside its archive ("images\icons\", "" at the top level),
    // to be added to its line 2; empty for any other record.
    QByteArrayView folderInArchive(int record) const;
    // One folder of a disc ("\MUSIC\ROCK\", "\PACK.ZIP\"): whether the disc has it (the root,
    // a folder record, an archive, or records filed under it), and the records of its
    // subfolders and of its files.
    struct Folder {
        bool exists = false;
        const std::vector<int> *subfolders = nullptr;
        const std::vector<int> *files = nullptr;
    };
    // The one way a folder is looked up, for the listing, its totals and ls alike. A disc made
    // here may hold folders whose names differ only in case, and the folder spelled exactly as
    // asked wins; catalogues made on Windows were read without regard to case, so a path in
    // another case still finds its folder when the disc has none spelled so.
    static Folder findFolder(const ContentsList &folders, const ContentsList &files, const QString &path);
    // The case-folded key used by the folder index.
    static QString folderKey(QStringView path);

    const QByteArray &data() const { return m_data; }
    // The heap memory the list holds (text, record offsets, folder index), for the benchmarks.
    qsizetype heldBytes() const;

private:
    // The extra lines of a record, in turn, until f returns true; returns that line.
    template <typename F> QByteArrayView findExtraLine(int record, F f) const;

    QByteArray m_data;
    // Where each record starts, and one more entry for where the last one ends. Lists are
    // bounded well below 4 GiB (ContentsFile::MaxListBytes), so offsets take four bytes.
    std::vector<quint32> m_starts;
    // Whether the last record ends without its "-" line.
    bool m_lastOpen = false;
    QHash<QString, std::vector<int>> m_byFolder;
    // Only for folders filed under more than one spelling: their records by exact line 2.
    QHash<QByteArray, std::vector<int>> m_bySpelling;
};

// Parses a list while its bytes are still arriving (a decompressor filling a buffer), so the
// parsing keeps pace with the bytes instead of following them. Records (RecordScanner) and
// the folder index are made in the same pass. Used from one thread at a time.
class ContentsList::Builder
{
public:
    // data is where the bytes arrive and must stay in place until finish(); expectedSize
    // (when known) lets the record table be sized once.
    explicit Builder(const char *data, qsizetype expectedSize = 0);
    // The first `available` bytes of data are final; parses what it can of them.
    void advance(qsizetype available);
    // bytes is the whole list, held in the buffer given to the constructor.
    ContentsList finish(const QByteArray &bytes);

private:
    void add(const RecordScanner::Record &r);

    const char *m_data;
    ContentsList m_list;
    RecordScanner m_scanner;
    QByteArrayView m_prevFolder;
    std::vector<int> *m_bucket = nullptr;
    QSet<QString> m_mixed;
};
