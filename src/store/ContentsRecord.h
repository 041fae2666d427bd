#pragma once

#include <QByteArrayView>
#include <algorithm>

// The layout of one record of a disc's file list or folder list, known here only: four fixed
// lines, then any number of extra lines, then a line holding a single "-". The writer
// (ContentsListWriter) and the reader (ContentsList) are built on these names.
namespace ContentsRecord
{

// The fixed lines, by position. Line 2 is the folder that holds the entry ("\" for the root,
// "\DOCS\PACK.ZIP\" for an entry of that archive), and is what a folder is listed by.
enum FixedLine : int { NameLine = 0, FolderLine = 1, SizeLine = 2, DateLine = 3 };
inline constexpr int FixedLines = 4;

inline constexpr QByteArrayView EndLine("-");
// A folder record's name ends in this; a file's name does not get it.
inline constexpr char FolderSuffix = '\\';
inline constexpr char PathSeparator = '\\';
inline constexpr QByteArrayView RootFolder("\\");

// The extra line that makes a file record a ZIP archive listed as a folder.
inline constexpr QByteArrayView CompressedFolder("Compressed Folder");
// The extra line of an archive entry: this label, "\", and the entry's folder inside the
// archive ("images\icons\", empty at the archive's top level).
inline constexpr QByteArrayView ArchivePathLabel("Archive path: ");

// An archive entry's folder inside its archive, from its archive path line.
inline QByteArrayView folderInArchive(QByteArrayView archivePathLine)
{
    // The label, then the "\" of the archive's top level.
    return archivePathLine.sliced(std::min(ArchivePathLabel.size() + 1, archivePathLine.size()));
}

// Extra lines other than the two above are details for the user (tags, sizes, titles).
inline bool isDetailLine(QByteArrayView line)
{
    return line != CompressedFolder && !line.startsWith(ArchivePathLabel);
}

// Whether every name of a path inside the disc ("\A\B\", "\A\b.txt", or a name alone) can name
// something on the medium. A scan never writes ".", "..", a "/" or a NUL in a name: a list that
// holds one was made by hand, and a path built from it would lead out of the disc.
inline bool isMediumPath(QByteArrayView path)
{
    while (!path.isEmpty()) {
        const qsizetype end = path.indexOf(PathSeparator);
        const QByteArrayView name = end < 0 ? path : path.first(end);
        if (name == "." || name == ".." || name.contains('/') || name.contains('\0'))
            return false;
        path = end < 0 ? QByteArrayView() : path.sliced(end + 1);
    }
    return true;
}

// What is not plain digits: signs, blanks, numbers past 18 digits, text.
[[gnu::noinline]] bool parseOtherSize(QByteArrayView text, qint64 &size);

// The one reading of a record's size: a decimal integer, one past the signed 64-bit range read
// as the largest; false for a line that holds none. Inline: a search reads one for every record.
inline bool parseSize(QByteArrayView text, qint64 &size)
{
    // Plain digits are nearly every size there is; anything else goes the long way.
    if (text.isEmpty() || text.size() > 18)
        return parseOtherSize(text, size);
    qint64 n = 0;
    for (const char c : text) {
        const unsigned digit = unsigned(uchar(c)) - unsigned('0');
        if (digit > 9)
            return parseOtherSize(text, size);
        n = n * 10 + digit;
    }
    size = n;
    return true;
}

} // namespace ContentsRecord
