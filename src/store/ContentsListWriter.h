#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <string>

class QIODevice;

// Writes records of a disc's file list or folder list to a device: UTF-8, CR LF, a "-" line
// after each record, any CR or LF inside a value written as "?". The one writer of the
// lists: the scanner, the test catalogues and the benchmarks all go through it.
//
// Records collect in a buffer of the writer's own and reach the device in large blocks (a
// disc of a million files must not cost a million small writes). A failed write throws
// QuilloryError, which ends the scan. flush() writes out what is left; the destructor does
// too, but can only drop a failure, so callers that care flush first.
class ContentsListWriter
{
public:
    explicit ContentsListWriter(QIODevice *out);
    ~ContentsListWriter();
    ContentsListWriter(const ContentsListWriter &) = delete;
    ContentsListWriter &operator=(const ContentsListWriter &) = delete;

    // extras are the lines after the four fixed ones (tags, ContentsRecord::CompressedFolder).
    void writeFileRecord(const QString &name, const QString &folder, quint64 size, const QString &date,
                         const QStringList &extras = {});
    // name is the folder's own name, without the "\" the record gives it.
    void writeFolderRecord(const QString &name, const QString &parent, quint64 size, const QString &date);
    // An entry of a ZIP archive: archivePath is the archive's own path and "\" (it stands as a
    // folder); folderInArchive the entry's folder inside it, "\"-separated, "" at the top.
    void writeArchiveEntry(const QString &name, const QString &archivePath, quint64 size, const QString &date,
                           const QString &folderInArchive);
    // Any lines as one record, for lists that must look damaged or unusual.
    void writeRecord(const QStringList &lines);

    // The scanner's way in: name as the file system gives it (bytes in its encoding), folder
    // as made by folderLine(), date as a ready line.
    void writeScannedFile(QByteArrayView name, QByteArrayView folder, quint64 size, QByteArrayView date,
                          const QStringList &extras = {});
    void writeScannedFolder(QByteArrayView name, QByteArrayView parent, quint64 size, QByteArrayView date);
    // A catalogue folder path one level deeper: parent (which ends in "\") + name + "\", the
    // name converted as the records convert it.
    static QByteArray folderLine(QByteArrayView parent, QByteArrayView name);

    void flush();

    // Writes all of bytes to out, or throws QuilloryError naming the folder and the system's
    // reason: the one way the lists of a scan reach their files.
    static void writeOut(QIODevice *out, QByteArrayView bytes);

private:
    void putText(const QString &text);
    void putLine(QByteArrayView utf8);
    void putName(QByteArrayView fileSystemName, char suffix = 0);
    void putExtra(const QString &line);
    void putNumber(quint64 n);
    void endRecord();

    QIODevice *m_out;
    // A std::string keeps its capacity when cleared, so the buffer is allocated once.
    std::string m_buffer;
};
