#pragma once

#include "FileHasher.h"
#include "ScanOptions.h"
#include "ScanProblem.h"
#include "TZipFile.h"
#include "core/Rounding.h"
#include "core/TMask.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsListWriter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFile;
class QIODevice;

// Walks a volume's folder tree and writes the file list and the folder list: the files of a
// folder in the order the file system enumerates them, then each subfolder in turn, a
// folder's own record after those of its subfolders. ZIP archives are listed as folders when
// their filter is on.
//
// Records go through the catalogue's one list writer, which buffers them. A name that is not
// valid UTF-8 is stored with its other bytes read as Windows-1252 (TextCodec::fileNameToUtf8),
// so two such names stay two entries. Links to files stand for the file; links to folders
// and links that lead nowhere are left out.
//
// Every entry is reached from its folder's descriptor, never by its whole path, so a tree
// deeper than the system's longest path is walked like any other; the walk keeps its own
// stack, and only the folders nearest the root keep their descriptors while their subfolders
// are walked, so neither the call stack nor the descriptors run out however deep it goes.
class Scanner
{
public:
    // A bad exclusion mask throws QuilloryError here, before anything is written.
    Scanner(const ScanOptions &options, QIODevice *fileList, QIODevice *folderList);
    ~Scanner();

    // Where the checksum list goes (ContentsChecksums), one line for every record of the file
    // list, when the options ask for checksums; without it they are not computed.
    void setChecksumList(QIODevice *sums) { m_sums = sums; }

    // The volume's size, for the progress gauge; 0 keeps the gauge still.
    void setTotalSize(quint64 bytes) { m_totalSize = bytes; }
    // Called once for every folder opened, when its names are read and before its entries are
    // looked at, so a window can repaint; and between files and within a file's reading when
    // ProgressIntervalMs has passed without a call, so a folder of slow files still hears Stop.
    void setProcessEvents(std::function<void()> fn) { m_processEvents = std::move(fn); }
    // Called with the gauge's new position (scanned bytes / 1024) whenever the rounded
    // percentage moves; the gauge's maximum is the total size / 1024. While checksums are
    // computed the scanned bytes are those read so far, and both this and the events come
    // within a large file too, every ProgressIntervalMs of reading.
    void setGauge(std::function<void(quint64)> fn) { m_gauge = std::move(fn); }
    static constexpr int ProgressIntervalMs = 100;

    void resetCounters() { m_scannedBytes = m_shownBytes = 0; }
    quint64 scannedBytes() const { return m_scannedBytes; }

    // Scans the folder at root (a local path; its catalogue path is "\") and everything
    // below it, and flushes the lists; returns the total size of the files catalogued. A
    // failure to read or write that ends the scan throws QuilloryError. A folder that cannot
    // be opened and an entry removed while the scan runs are passed over (a folder keeps its
    // record, with nothing in it) and listed in problems(); so is a file whose bytes cannot be
    // read for its checksum (its record stays, with no checksum, and no reader looks at it).
    quint64 Scan(const QString &root);
    // What the last scan passed over, in the order met.
    const ScanProblems &problems() const { return m_problems; }
    // The reason given for a file whose bytes read are not the file listed: in use while read.
    static QString changedWhileRead();

    // Writes the record of one archive entry (the archive's catalogue path ends in "\").
    void ZipReadFile(const ZipFile &entry, const QString &archivePath);
    // Writes out what is buffered; throws QuilloryError when the device refuses.
    void flush();

private:
    struct Entry;
    struct Folder;
    quint64 walk();
    void readFolder(Folder &f);
    bool enter(Folder &f, const Entry &e);
    void leave();
    void scanFile(Folder &f, const Entry &e);
    void writeFolder(const Folder &parent, const Entry &e, quint64 size, bool empty);

    // The record rules, whatever the entries are read from: the walk of a disc image
    // (ImageScanner) follows them too, so that an image and its burned disc list alike.
    // A folder record is written under the catalogue path of the folder being walked.
    friend class ImageScanner;
    void writeFolderRecord(QByteArrayView name, quint64 size, qint64 mtime, bool empty);
    // Whether a file has a record (empty files, exclusions).
    bool listsFile(QByteArrayView name, quint64 size) const;
    // Whether a subfolder is walked, or left out with its contents (exclusions).
    bool keepsFolder(QByteArrayView name) const;
    // The catalogue path of a subfolder of the folder being walked; empty, with the problem
    // listed under where, when it would not fit on a line of the lists.
    QByteArray subfolderPath(QByteArrayView name, const QByteArray &where);
    // Whether a reader looks at the file's bytes under the options, and what it finds there:
    // lines for its record, and a ZIP archive's entries. Throws QuilloryError as the readers do.
    bool readsBytes(QByteArrayView name) const;
    void readBytes(QByteArrayView name, QIODevice &bytes, QStringList &lines, std::vector<ZipFile> &entries);
    // The hasher when the options ask for checksums and there is a list for them; else none.
    FileHasher *startHashing();
    // 0, the errno of a read that failed, or ChangedWhileRead when the bytes read are not the file
    // the scan listed (its size or date moved meanwhile): such a checksum would describe no file.
    int hashFile(int fd, quint64 size, qint64 mtime, XXH128_hash_t &out);
    static constexpr int ChangedWhileRead = -1;
    // The window's events, when ProgressIntervalMs has passed since the last time.
    void pollEvents();
    void writeChecksum(const XXH128_hash_t *hash);
    void flushChecksums();
    static QString problemReason(int err);
    // One entry of the disc that could not be read: a problem of the scan, which goes on, unless
    // the medium itself has gone (then it throws).
    void noteProblem(const QByteArray &localPath, int err);
    void passOver(QByteArrayView name, int err);
    // Throws when err, or a new look at the root, says the medium went away while being read.
    void checkMediumThere(int err);
    // openat in the folder walked now; out of descriptors, the folders above give theirs up (they
    // are found again from below on the way back) and the open is tried once more.
    int openHere(int dirFd, const char *name, int flags);
    void advance(quint64 size);
    bool excluded(const QString &name) const;
    bool isEmptyFolder(int parentFd, const char *name);
    const QByteArray &listDate(qint64 mtime);
    void listZip(QFile &file, const QString &archivePath);

    const ScanOptions m_options;
    ContentsListWriter m_files;
    ContentsListWriter m_folders;
    std::vector<TMask> m_exclusions;
    CatalogueLocale m_locale;
    TZipFile m_zip;
    std::function<void()> m_processEvents;
    std::function<void(quint64)> m_gauge;
    QIODevice *m_sums = nullptr;
    QByteArray m_sumBuffer;
    static constexpr qsizetype SumBlock = qsizetype(1) << 18;
    std::unique_ptr<FileHasher> m_hasher; // while checksums are computed
    QElapsedTimer m_sinceEvents;
    quint64 m_totalSize = 0;
    quint64 m_scannedBytes = 0;
    quint64 m_shownBytes = 0;
    quint64 m_rootDevice = 0;
    quint64 m_rootMount = 0; // its mount's id, 0 when unknown
    ScanProblems m_problems;

    // The folders from the root to the one being walked, and their paths, each folder knowing
    // where its own path ends.
    std::vector<Folder> m_path;
    QByteArray m_localPath;
    QByteArray m_catalogPath;
    std::vector<char> m_dirBuffer;

    // Many files share a modification second; their date text is made once.
    struct DateSlot {
        qint64 mtime = 0;
        bool set = false;
        QByteArray text;
    };
    std::vector<DateSlot> m_dateCache;
};
