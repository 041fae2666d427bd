#pragma once

#include "TZipFile.h"
#include "core/Rounding.h"
#include "core/TMask.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsListWriter.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QIODevice;
class Preferences;

// Walks a volume's folder tree and writes the file list and the folder list: the files of a
// folder in the order the file system enumerates them, then each subfolder in turn, a
// folder's own record after those of its subfolders. The scan preferences are read as the
// scan goes; ZIP archives are listed as folders when their filter is on.
//
// Records go through the catalogue's one list writer, which buffers them. A name that is not
// valid UTF-8 is stored with its other bytes read as Windows-1252 (TextCodec::fileNameToUtf8),
// so two such names stay two entries. Links to files stand for the file; links to folders
// and links that lead nowhere are left out.
class Scanner
{
public:
    // The exclusion masks are taken from prefs now; a bad mask throws QuilloryError here,
    // before anything is written.
    Scanner(const Preferences &prefs, QIODevice *fileList, QIODevice *folderList);

    // The volume's size, for the progress gauge; 0 keeps the gauge still.
    void setTotalSize(quint64 bytes) { m_totalSize = bytes; }
    // Called once at the start of every folder, so a window can repaint.
    void setProcessEvents(std::function<void()> fn) { m_processEvents = std::move(fn); }
    // Called with the gauge's new position (scanned bytes / 1024) whenever the rounded
    // percentage moves; the gauge's maximum is the total size / 1024.
    void setGauge(std::function<void(quint64)> fn) { m_gauge = std::move(fn); }

    void resetCounters() { m_scannedBytes = m_shownBytes = 0; }
    quint64 scannedBytes() const { return m_scannedBytes; }
    quint64 shownBytes() const { return m_shownBytes; }

    // Scans the folder at root (a local path; its catalogue path is "\") and everything
    // below it, and flushes both lists; returns the total size of the files catalogued. A
    // failure to read or write that ends the scan throws QuilloryError; folders that cannot
    // be listed are passed over.
    quint64 Scan(const QString &root);

    // Writes the record of one archive entry (the archive's catalogue path ends in "\").
    void ZipReadFile(const ZipFile &entry, const QString &archivePath);
    // Writes out what is buffered; throws QuilloryError when the device refuses.
    void flush();

private:
    struct Entry;
    quint64 scanFolder(const QByteArray &localPath, const QByteArray &catalogPath);
    void scanFile(const Entry &e, const char *names, const QByteArray &localPath, const QByteArray &catalogPath,
                  quint64 &total);
    void advance(quint64 size);
    bool excluded(const QString &name) const;
    bool isEmptyFolder(const QByteArray &path) const;
    const QByteArray &listDate(qint64 mtime);
    void listZip(const QByteArray &fullPath, const QString &archivePath);

    const Preferences &m_prefs;
    ContentsListWriter m_files;
    ContentsListWriter m_folders;
    std::vector<TMask> m_exclusions;
    CatalogueLocale m_locale;
    TZipFile m_zip;
    std::function<void()> m_processEvents;
    std::function<void(quint64)> m_gauge;
    quint64 m_totalSize = 0;
    quint64 m_scannedBytes = 0;
    quint64 m_shownBytes = 0;
    quint64 m_rootDevice = 0;

    // Many files share a modification second; their date text is made once.
    struct DateSlot {
        qint64 mtime = 0;
        bool set = false;
        QByteArray text;
    };
    std::vector<DateSlot> m_dateCache;
};
