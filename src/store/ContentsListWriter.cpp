#include "ContentsListWriter.h"

#include "ContentsList.h"
#include "ContentsRecord.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QIODevice>
#include <QScopeGuard>
#include <charconv>

namespace
{

// Records are written out in blocks of about this size.
constexpr qsizetype kBlock = qsizetype(1) << 18;

// A name in plain ASCII, without line breaks, tabs or the catalogue's path separator, is written
// as it stands; anything else goes through storedName().
bool plainName(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<uchar>(c) >= 0x80 || c == '\r' || c == '\n' || c == '\t' || c == ContentsRecord::PathSeparator)
            return false;
    return true;
}

// A name as the lists keep it: bytes that are not valid UTF-8 mended, and a line break, a tab or
// a "\" (which a Linux name may hold) written as "?". Kept, a "\" would make "a\b" one with the
// file b in the folder a: listed together, and copied back or burnt in each other's place; a tab
// would split the name in the command line's answers, whose fields tabs separate.
QString storedName(QByteArrayView fileSystemName)
{
    QString text = TextCodec::sanitizeLine(QFile::decodeName(fileSystemName.toByteArray()));
    for (QChar &c : text)
        if (c == QLatin1Char(ContentsRecord::PathSeparator) || c == u'\t')
            c = u'?';
    return text;
}

QByteArray nameLine(QByteArrayView fileSystemName)
{
    if (plainName(fileSystemName))
        return fileSystemName.toByteArray();
    return storedName(fileSystemName).toUtf8();
}

} // namespace

ContentsListWriter::ContentsListWriter(QIODevice *out) : m_out(out)
{
    m_buffer.reserve(size_t(kBlock) + 4096);
}

ContentsListWriter::~ContentsListWriter()
{
    try {
        flush();
    } catch (const QuilloryError &) {
    }
}

void ContentsListWriter::flush()
{
    if (m_buffer.empty())
        return;
    // What could not be written is dropped: the scan ends here, and the destructor must not
    // try again.
    const auto drop = qScopeGuard([this] { m_buffer.clear(); });
    writeOut(m_out, QByteArrayView(m_buffer.data(), qsizetype(m_buffer.size())));
}

void ContentsListWriter::writeOut(QIODevice *out, QByteArrayView bytes)
{
    // A device may take part of a block (a disk filling up) and only refuse the rest; the rest
    // is offered again, so the refusal comes back with the system's reason.
    const char *data = bytes.data();
    qint64 left = bytes.size();
    qint64 n = 0;
    while (left > 0 && (n = out->write(data, left)) > 0) {
        data += n;
        left -= n;
    }
    // A file keeps small blocks in a buffer of its own. Written out now, a refusal is seen
    // here; a second try after a short write brings the system's reason with it.
    auto *file = qobject_cast<QFileDevice *>(out);
    if (left == 0 && (!file || file->flush() || file->flush()))
        return;
    QString where;
    if (file && !file->fileName().isEmpty())
        where = QStringLiteral(" in \"%1\"").arg(QDir::toNativeSeparators(QFileInfo(file->fileName()).absolutePath()));
    throw QuilloryError(QStringLiteral("Cannot write the lists of the disc%1: %2").arg(where, out->errorString()));
}

void ContentsListWriter::putLine(QByteArrayView utf8)
{
    m_buffer.append(utf8.data(), size_t(utf8.size()));
    m_buffer.append("\r\n", 2);
}

void ContentsListWriter::putText(const QString &text)
{
    putLine(TextCodec::sanitizeLine(text).toUtf8());
}

void ContentsListWriter::putName(QByteArrayView fileSystemName, char suffix)
{
    if (plainName(fileSystemName)) {
        m_buffer.append(fileSystemName.data(), size_t(fileSystemName.size()));
        if (suffix)
            m_buffer.push_back(suffix);
        m_buffer.append("\r\n", 2);
    } else {
        QString text = storedName(fileSystemName);
        if (suffix)
            text += QLatin1Char(suffix);
        putText(text);
    }
}

void ContentsListWriter::putExtra(const QString &line)
{
    // A line of its own that reads as the end of the record would cut the record short.
    if (line == QLatin1String(ContentsRecord::EndLine)) {
        putLine("?");
        return;
    }
    // A detail longer than a list may hold (a tag of 100,000 letters) would leave the whole disc
    // unreadable: it is cut, at the start of a character.
    QByteArray bytes = TextCodec::sanitizeLine(line).toUtf8();
    if (bytes.size() > ContentsList::LongestLine) {
        qsizetype cut = ContentsList::LongestLine;
        while (cut > 0 && (static_cast<uchar>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    putLine(bytes);
}

void ContentsListWriter::putNumber(quint64 n)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    putLine(QByteArrayView(digits, end - digits));
}

void ContentsListWriter::endRecord()
{
    putLine(ContentsRecord::EndLine);
    if (m_buffer.size() >= size_t(kBlock))
        flush();
}

void ContentsListWriter::writeRecord(const QStringList &lines)
{
    for (const QString &l : lines)
        putText(l);
    endRecord();
}

void ContentsListWriter::writeFileRecord(const QString &name, const QString &folder, quint64 size, const QString &date,
                                         const QStringList &extras)
{
    putText(name);
    putText(folder);
    putNumber(size);
    putText(date);
    for (const QString &x : extras)
        putExtra(x);
    endRecord();
}

void ContentsListWriter::writeFolderRecord(const QString &name, const QString &parent, quint64 size,
                                           const QString &date)
{
    putText(name + QLatin1Char(ContentsRecord::FolderSuffix));
    putText(parent);
    putNumber(size);
    putText(date);
    endRecord();
}

void ContentsListWriter::writeArchiveEntry(const QString &name, const QString &archivePath, quint64 size,
                                           const QString &date, const QString &folderInArchive)
{
    putText(name);
    putText(archivePath);
    putNumber(size);
    putText(date);
    putText(QString::fromLatin1(ContentsRecord::ArchivePathLabel) + QLatin1Char(ContentsRecord::PathSeparator) +
            folderInArchive);
    endRecord();
}

void ContentsListWriter::writeScannedFile(QByteArrayView name, QByteArrayView folder, quint64 size, QByteArrayView date,
                                          const QStringList &extras)
{
    putName(name);
    putLine(folder);
    putNumber(size);
    putLine(date);
    for (const QString &x : extras)
        putExtra(x);
    endRecord();
}

void ContentsListWriter::writeScannedFolder(QByteArrayView name, QByteArrayView parent, quint64 size,
                                            QByteArrayView date)
{
    putName(name, ContentsRecord::FolderSuffix);
    putLine(parent);
    putNumber(size);
    putLine(date);
    endRecord();
}

QByteArray ContentsListWriter::folderLine(QByteArrayView parent, QByteArrayView name)
{
    return parent.toByteArray() + nameLine(name) + ContentsRecord::PathSeparator;
}
