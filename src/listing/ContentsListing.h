#pragma once

#include "ContentsEntry.h"
#include "ExplorerCompare.h"
#include "store/ContentsChecksums.h"
#include "store/ContentsList.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class ExtensionIconCache;
class SearchHits;
class TreeNode;

// The rows of the contents list. A disc folder is listed straight from the disc's parsed
// lists: each row is a record number and a few numbers, and texts are made only when a
// view asks for them, so a folder of a hundred thousand files costs a few megabytes and
// no strings per row. Group and disc entries (and any other entry handed in whole) are
// kept as they are.
class ContentsListing
{
public:
    explicit ContentsListing(ExtensionIconCache *icons);
    ~ContentsListing();

    void clear();
    // The disc whose lists the following FindDir/FindFiles read.
    void setDisc(const QString &serial, const QString &title, std::shared_ptr<const ContentsList> files,
                 std::shared_ptr<const ContentsList> dirs, std::shared_ptr<const ContentsChecksums> checksums = {});

    // ".." and the subfolders of path; returns the number of folders added.
    int FindDir(const QString &path);
    // The files whose folder is path; returns how many were added.
    int FindFiles(const QString &path);
    // The children of a group node, as group and disc entries.
    void listGroup(const TreeNode *group);
    // Any entry given whole (used for groups and discs).
    int addEntry(const ContentsEntry &entry);
    // The hits of a search, one row each, their texts read from the hits when asked.
    void setHits(std::shared_ptr<const SearchHits> hits);

    static ContentsEntry groupEntry(const TreeNode *group, const QString &listedGroup);
    static ContentsEntry discEntry(const TreeNode *disc, const QString &listedGroup);
    // "Compact Disc", "DVD Disc", "Hard Disk" or "Removable Media" by file system.
    static QString discKind(const QString &fileSystem);

    int count() const { return static_cast<int>(m_rows.size()); }
    qint64 totalSize() const { return m_total; }

    ContentsEntry::Kind kind(int row) const { return static_cast<ContentsEntry::Kind>(m_rows[idx(row)].kind); }
    int image(int row) const { return m_rows[idx(row)].image; }
    QString caption(int row) const;
    // Column 0 is the caption, 1 Type, 2 Path, 3 Size, 4 Date, then the further columns.
    QString text(int row, int column) const;
    QStringList info(int row) const;
    ContentsEntry entry(int row) const;
    // Where the entry lies, without making the rest of it.
    EntryPlace place(int row) const;
    // place(row).insideZip(), without making the place: asked of every row of a selection.
    bool insideZip(int row) const;
    qint64 intSize(int row) const { return m_rows[idx(row)].size; }
    // A hit of a comparison's answer in its second, fourth... group (SearchHits::inOddGroup).
    bool inOddGroup(int row) const;
    // The upper-case extension of a file entry (for its icon); empty for others.
    QString extension(int row) const;

    // Sorts the rows; returns, for each new position, the row it held before.
    std::vector<int> sort(ExplorerColumn key, bool ascending);

private:
    struct Row {
        quint8 kind;
        quint8 source; // SourceStored, SourceDirs, SourceFiles or SourceHits
        qint32 image;
        qint32 index;  // record number, position in m_stored, or a hit's place in the answer
        qint32 typeId; // position in m_typeNames, -1 when not a file
        qint64 size;
    };
    enum : quint8 { SourceStored, SourceDirs, SourceFiles, SourceHits };
    static size_t idx(int row) { return static_cast<size_t>(row); }

    const ContentsList &listOf(const Row &r) const;
    EntryPlace placeOf(const Row &r) const;
    ContentsList::Folder folder(const QString &path) const;
    int typeIdFor(QByteArrayView utf8Name);
    // The image and type of a file by its name, as browsing and the search show it.
    void fileLook(QByteArrayView utf8Name, int &image, int &typeId);
    QString typeText(const Row &r) const;
    QByteArrayView captionBytes(const Row &r, QByteArray &scratch) const;

    ExtensionIconCache *m_icons;
    QString m_serial;
    QString m_title;
    std::shared_ptr<const ContentsList> m_files;
    std::shared_ptr<const ContentsList> m_dirs;
    std::shared_ptr<const ContentsChecksums> m_checksums;
    // The folder last looked up in these lists: a folder is listed by its subfolders, then its files.
    mutable QString m_foundPath;
    mutable ContentsList::Folder m_found;
    std::shared_ptr<const SearchHits> m_hits;
    std::vector<Row> m_rows;
    std::vector<ContentsEntry> m_stored;
    qint64 m_total = 0;

    QHash<QByteArray, int> m_typeByKey;                // type id by FileTypes::typeKey
    QHash<quint64, std::pair<int, int>> m_byPackedExt; // image and type id by packed extension
    QStringList m_typeNames;
};
