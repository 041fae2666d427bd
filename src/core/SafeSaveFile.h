#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>

// A file replaced whole or not at all: the one way a file is written, whether the catalogue's,
// a report, a playlist or a copied file. The bytes go to a hidden partial file beside the
// target (partialName), every write is checked, and commit() flushes, syncs and renames the
// partial file over the target. A refused or short write, a failed sync or close, a failed
// rename: each makes commit() false, removes the partial file and leaves the older target as
// it was, and errorString() gives the system's reason ("No space left on device").
//
// Small writes are gathered and handed to the system in large blocks; a write of a block or
// more goes straight through. So a write() may return success for bytes the disk refuses later:
// only commit() says whether the file was written.
//
// A target that is a symbolic link is written through (the file it names is replaced), and a
// replaced file's permissions pass to its successor.
class SafeSaveFile : public QIODevice
{
public:
    explicit SafeSaveFile(const QString &path);
    // Discards what was not committed.
    ~SafeSaveFile() override;

    // Creates the partial file, removing one a killed write left. Only WriteOnly is taken.
    bool open(OpenMode mode = WriteOnly) override;
    // The modification time the file gets instead of the time of writing.
    void setModificationTime(const QDateTime &time) { m_modified = time; }
    // Puts the file in place; false when anything failed, the older file then untouched.
    bool commit();
    // Drops what was written; the file of that name stays as it was.
    void discard();
    // Discards too: a file is only ever put in place by commit().
    void close() override;

    bool isSequential() const override { return true; }
    // The errno of the first failure, 0 while none.
    int systemError() const { return m_error; }

    // Where a write of path is prepared: a hidden name beside it, so that what a kill leaves
    // is recognised (isPartialName) and removed. A name near the system's limit is shortened.
    static QString partialName(const QString &path);
    // The file a write of path lands in: a link's target.
    static QString writtenFile(const QString &path);
    static bool isPartialName(const QString &fileName);
    // Why nothing can be written at path, found before a byte is written: its folder is not
    // there, or what is there is no file (a folder, a device, a pipe, which a rename would
    // replace). Empty when a write may be tried.
    static QString targetProblem(const QString &path);
    // Renames a finished partial file over path (for writers that make the partial file
    // themselves); throws QuilloryError with the system's reason and removes the partial file.
    static void replaceWithPartial(const QString &path);
    // Called once at start: a write past the user's file-size limit (ulimit -f) would kill the
    // program by SIGXFSZ, leaving its partial file and its lock without a word. Ignored, the
    // write fails with "File too large" and is told, the older file kept, as on a full disk.
    static void failWritesPastTheSizeLimit();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool fail(int err);
    bool flushBuffer();
    bool writeAll(const char *data, qint64 size);
    void removePartial();

    QString m_path;
    QByteArray m_partial; // encoded, once open
    QByteArray m_target;
    QDateTime m_modified;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    int m_fd = -1;
    int m_error = 0;
    int m_mode = -1; // the replaced file's permission bits, -1 for a new file
};
