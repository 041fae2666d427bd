#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

// The one reader of a disc's file list or folder list (ContentsRecord gives the layout), held compactly: the text as
// one UTF-8 buffer, lines and records as offsets, and records indexed by their folder (line 2) so listing one folder of
// a huge disc touches only that folder's records.
class ContentsList
{
public:
    ContentsList() = default;
    // Bytes as stored (UTF-8 or Windows-1252; CR LF or LF).
    static ContentsList fromBytes(const QByteArray &bytes);

    int recordCount() const { return static_cast<int>(m_records.size()); }
    int lineCount(int record) const { return static_cast<int>(m_records[static_cast<size_t>(record)].lines); }
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

private:
    struct Record {
        quint32 firstLine;
        quint32 lines;
    };
    QByteArray m_data;
    std::vector<qsizetype> m_lineStart; // one extra entry marks the end
    std::vector<quint32> m_lineLen;
    std::vector<Record> m_records;
    QHash<QString, std::vector<int>> m_byFolder;
    // Only for folders filed under more than one spelling: their records by exact line 2.
    QHash<QByteArray, std::vector<int>> m_bySpelling;
};
