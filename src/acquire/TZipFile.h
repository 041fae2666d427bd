#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <vector>

class QIODevice;

// One entry of a ZIP archive, as its local file header gives it, or as its central directory
// header does when the archive is listed from there. Sizes are 64-bit: ZIP64 archives state
// the true sizes of entries over 4 GB in an extra field.
struct ZipFile {
    quint16 Version = 0;
    quint16 Flags = 0;
    quint16 Method = 0;
    quint16 ModTime = 0; // MS-DOS format
    quint16 ModDate = 0; // MS-DOS format
    quint32 CRC32 = 0;
    quint64 CompressedSize = 0;
    quint64 UncompressedSize = 0;
    quint16 NameLength = 0;
    quint16 ExtraLength = 0;
    QString EntryName; // "/" separates folders, as stored
};

using TReadFile = std::function<void(const ZipFile &)>;

// Lists a ZIP archive by walking its local file headers from the start of the file; nothing
// is decompressed or verified. The walk steps 4 bytes at a time over anything it does not
// recognise, up to 64 KB in a row. It cannot follow entries whose sizes are deferred to a data descriptor (what
// streaming writers and jar produce) nor ZIP64 entries, so when it meets one, or finds a
// number of entries other than the end-of-central-directory record states, the archive is
// listed from its central directory instead. A central directory that does not hold
// together leaves the walk's listing.
class TZipFile
{
public:
    QString FileName() const { return m_fileName; }
    // Takes the name when such a file exists, then reads the archive the name gives, firing
    // OnReadFile once per entry. Throws QuilloryError when it cannot be opened or read.
    void setFileName(const QString &fileName);
    // Lists an archive already open for reading, from its current position. A device that
    // cannot seek is first copied to a temporary file, as the central directory is at the end.
    void read(QIODevice &device);

    int FileCount() const { return static_cast<int>(m_entries.size()); }
    const std::vector<ZipFile> &entries() const { return m_entries; }

    TReadFile OnReadFile;

private:
    static std::vector<ZipFile> list(QIODevice &device);

    QString m_fileName;
    std::vector<ZipFile> m_entries;
};

// The modification time of an entry, from its MS-DOS date and time; invalid when the fields
// do not make a calendar date and a time of day.
class QDateTime;
QDateTime ZipDateTime(quint16 modDate, quint16 modTime);
