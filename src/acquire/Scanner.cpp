#include "Scanner.h"
#include "core/AsciiCase.h"

#include "MediaReaders.h"
#include "settings/Preferences.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDateTime>
#include <QFile>

#include <QIODevice>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr size_t DateCacheSize = 256;

struct DispatchRow {
    const char *extensions[4];
    const char *probe;
    bool zip;
    MediaReaderKind kind;
};

// Extensions in upper case with their dot; the first row that holds the extension wins.
const DispatchRow Dispatch[] = {
    {{".MP3"}, ".mp3", false, MediaReaderKind::Mp3},
    {{".WAV"}, ".wav", false, MediaReaderKind::Wav},
    {{".OGG"}, ".ogg", false, MediaReaderKind::Ogg},
    // Monkey's Audio has no reader of its own; the Ogg reader finds no stream and adds nothing.
    {{".APE"}, ".ape", false, MediaReaderKind::Ogg},
    {{".GIF"}, ".gif", false, MediaReaderKind::Gif},
    {{".PNG"}, ".png", false, MediaReaderKind::Png},
    {{".JPG", ".JPEG", ".JPE"}, ".jpg", false, MediaReaderKind::Jpeg},
    {{".BMP"}, ".bmp", false, MediaReaderKind::Bmp},
    {{".HTM", ".HTML", ".DHTML", ".SHTML"}, ".html", false, MediaReaderKind::Html},
    {{".ZIP"}, ".zip", true, MediaReaderKind::Mp3},
};

const DispatchRow *dispatchRow(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0 || name.size() - dot > 6)
        return nullptr;
    char ext[8] = {};
    for (qsizetype i = dot; i < name.size(); ++i) {
        const char c = name[i];
        ext[i - dot] = UpcaseAZ(c);
    }
    for (const DispatchRow &row : Dispatch)
        for (const char *e : row.extensions)
            if (e && strcmp(ext, e) == 0)
                return &row;
    return nullptr;
}

// Plain ASCII without line breaks is written as it stands; anything else goes through the
// text layer, which also mends bytes that are not valid UTF-8.
bool plainAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<uchar>(c) >= 0x80 || c == '\r' || c == '\n')
            return false;
    return true;
}

QByteArray sanitizedName(QByteArrayView bytes)
{
    if (plainAscii(bytes))
        return bytes.toByteArray();
    return TextCodec::sanitizeLine(QFile::decodeName(bytes.toByteArray())).toUtf8();
}

[[noreturn]] void readFailure(const QByteArray &path, int err)
{
    throw QuilloryError(
        QStringLiteral("Cannot read \"%1\": %2").arg(QFile::decodeName(path), QString::fromLocal8Bit(strerror(err))));
}

// Failures that mean "this entry cannot be looked at" rather than "the medium is failing".
bool entryUnreachable(int err)
{
    return err == ENOENT || err == EACCES || err == EPERM || err == ELOOP || err == ENAMETOOLONG || err == ENOTDIR ||
           err == ESTALE;
}

} // namespace

struct Scanner::Entry {
    quint32 nameAt = 0; // in the folder's name buffer
    quint32 nameLen = 0;
    bool folder = false;
    // A regular file, or a link to one: its bytes can be read by the readers.
    bool regular = false;
    quint64 size = 0;
    qint64 mtime = 0;
    quint64 device = 0;
};

Scanner::Scanner(const Preferences &prefs, QIODevice *fileList, QIODevice *folderList)
    : m_prefs(prefs), m_dateCache(DateCacheSize)
{
    m_files.device = fileList;
    m_folders.device = folderList;
    for (const QString &mask : prefs.exclusions())
        m_exclusions.emplace_back(mask);
}

quint64 Scanner::Scan(const QString &root)
{
    QByteArray local = QFile::encodeName(root);
    if (!local.endsWith('/'))
        local += '/';
    struct stat st;
    m_rootDevice = ::stat(local.constData(), &st) == 0 ? static_cast<quint64>(st.st_dev) : 0;
    const quint64 total = scanFolder(local, QByteArrayLiteral("\\"));
    flush();
    return total;
}

void Scanner::write(Output &out)
{
    if (out.buffer.empty())
        return;
    if (out.device->write(out.buffer.data(), qint64(out.buffer.size())) != qint64(out.buffer.size()))
        throw QuilloryError(QStringLiteral("Cannot write the list: %1").arg(out.device->errorString()));
    out.buffer.clear();
}

void Scanner::flush()
{
    write(m_files);
    write(m_folders);
}

void Scanner::putLine(Output &out, QByteArrayView utf8)
{
    out.buffer.append(utf8.data(), size_t(utf8.size()));
    out.buffer.append("\r\n", 2);
}

void Scanner::putText(Output &out, const QString &text)
{
    putLine(out, TextCodec::sanitizeLine(text).toUtf8());
}

void Scanner::putName(Output &out, QByteArrayView bytes, char suffix)
{
    if (plainAscii(bytes)) {
        out.buffer.append(bytes.data(), size_t(bytes.size()));
        if (suffix)
            out.buffer.push_back(suffix);
        out.buffer.append("\r\n", 2);
    } else {
        QString text = QFile::decodeName(bytes.toByteArray());
        if (suffix)
            text += QLatin1Char(suffix);
        putText(out, text);
    }
}

void Scanner::putNumber(Output &out, quint64 n)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    putLine(out, QByteArrayView(digits, end - digits));
}

void Scanner::endRecord(Output &out)
{
    out.buffer.append("-\r\n", 3);
    if (out.buffer.size() >= (size_t(1) << 18))
        write(out);
}

bool Scanner::excluded(const QString &name) const
{
    for (const TMask &m : m_exclusions)
        if (m.Matches(name))
            return true;
    return false;
}

void Scanner::advance(quint64 size)
{
    m_scannedBytes += size;
    if (m_totalSize == 0)
        return;
    if (RoundedPercent(m_scannedBytes, m_totalSize) != RoundedPercent(m_shownBytes, m_totalSize)) {
        if (m_gauge)
            m_gauge(m_scannedBytes / 1024);
        m_shownBytes = m_scannedBytes;
    }
}

const QByteArray &Scanner::listDate(qint64 mtime)
{
    DateSlot &slot = m_dateCache[static_cast<size_t>(mtime) % DateCacheSize];
    if (!slot.set || slot.mtime != mtime) {
        slot.set = true;
        slot.mtime = mtime;
        slot.text = m_locale.formatListDate(ToDosPrecision(QDateTime::fromSecsSinceEpoch(mtime))).toUtf8();
    }
    return slot.text;
}

bool Scanner::isEmptyFolder(const QByteArray &path) const
{
    DIR *d = ::opendir(path.constData());
    if (!d)
        return false; // a folder that cannot be listed is not empty
    bool empty = true;
    while (const dirent *de = ::readdir(d)) {
        if (strcmp(de->d_name, ".") != 0 && strcmp(de->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    return empty;
}

quint64 Scanner::scanFolder(const QByteArray &localPath, const QByteArray &catalogPath)
{
    if (m_processEvents)
        m_processEvents();
    quint64 total = 0;

    // One reading of the folder serves both passes, files first and then folders, each in
    // the order the file system gives.
    std::vector<Entry> entries;
    std::string names;
    DIR *d = ::opendir(localPath.constData());
    if (!d)
        return 0; // cannot be listed: contributes nothing
    const int fd = ::dirfd(d);
    const bool skipHidden = m_prefs.hiddenFiles();
    for (;;) {
        errno = 0;
        const dirent *de = ::readdir(d);
        if (!de) {
            const int err = errno;
            ::closedir(d);
            if (err)
                readFailure(localPath, err);
            break;
        }
        const char *n = de->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (skipHidden && n[0] == '.')
            continue;
        struct stat st;
        if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int err = errno;
            if (entryUnreachable(err))
                continue;
            ::closedir(d);
            readFailure(localPath + n, err);
        }
        Entry e;
        if (S_ISDIR(st.st_mode)) {
            e.folder = true;
        } else if (S_ISREG(st.st_mode)) {
            e.regular = true;
        } else if (S_ISLNK(st.st_mode)) {
            // A link is a file entry and never leads into a folder. A link to a file
            // stands for that file; any other link is listed as itself.
            struct stat target;
            if (::fstatat(fd, n, &target, 0) == 0 && S_ISREG(target.st_mode)) {
                st = target;
                e.regular = true;
            }
        } else {
            continue; // devices, pipes and sockets are not catalogue contents
        }
        const size_t len = strlen(n);
        e.nameAt = static_cast<quint32>(names.size());
        e.nameLen = static_cast<quint32>(len);
        names.append(n, len + 1);
        e.size = static_cast<quint64>(st.st_size);
        e.mtime = static_cast<qint64>(st.st_mtim.tv_sec);
        e.device = static_cast<quint64>(st.st_dev);
        entries.push_back(e);
    }

    for (const Entry &e : entries)
        if (!e.folder)
            scanFile(e, names.data() + e.nameAt, localPath, catalogPath, total);

    for (const Entry &e : entries) {
        if (!e.folder)
            continue;
        const QByteArrayView name(names.data() + e.nameAt, e.nameLen);
        if (!m_exclusions.empty() && excluded(QFile::decodeName(name.toByteArray()) + u'\\'))
            continue;
        const QByteArray sub = QByteArray(localPath).append(name).append('/');
        // Another file system mounted inside the volume is not part of it.
        const quint64 s = e.device == m_rootDevice ? scanFolder(sub, catalogPath + sanitizedName(name) + '\\') : 0;
        total += s;
        if (m_prefs.emptyDirs() && isEmptyFolder(sub))
            continue;
        putName(m_folders, name, '\\');
        putLine(m_folders, catalogPath);
        putNumber(m_folders, s);
        putLine(m_folders, listDate(e.mtime));
        endRecord(m_folders);
    }
    return total;
}

void Scanner::scanFile(const Entry &e, const char *name, const QByteArray &localPath, const QByteArray &catalogPath,
                       quint64 &total)
{
    advance(e.size);
    const QByteArrayView nameBytes(name, e.nameLen);
    if (e.size == 0 && m_prefs.emptyFiles())
        return;
    if (!m_exclusions.empty() && excluded(QFile::decodeName(nameBytes.toByteArray())))
        return;
    total += e.size;

    QStringList extras;
    const DispatchRow *row = e.regular ? dispatchRow(nameBytes) : nullptr;
    bool zip = false;
    QByteArray fullPath;
    if (row && m_prefs.IsActiveFilter(QLatin1String(row->probe))) {
        fullPath = QByteArray(localPath).append(nameBytes);
        // A file this user may not read keeps its plain record, as on a volume of mixed owners.
        if (::access(fullPath.constData(), R_OK) == 0) {
            if (row->zip) {
                zip = true;
                extras << QStringLiteral("Compressed Folder");
            } else {
                const QString path = QFile::decodeName(fullPath);
                // A name that is not valid in the system's encoding cannot be reopened by name.
                if (QFile::encodeName(path) == fullPath)
                    ReadMediaLines(row->kind, path, extras);
            }
        }
    }
    putName(m_files, nameBytes);
    putLine(m_files, catalogPath);
    putNumber(m_files, e.size);
    putLine(m_files, listDate(e.mtime));
    for (const QString &x : std::as_const(extras))
        putText(m_files, x);
    endRecord(m_files);
    if (zip)
        listZip(fullPath, QString::fromUtf8(catalogPath + sanitizedName(nameBytes) + '\\'));
}

void Scanner::listZip(const QByteArray &fullPath, const QString &archivePath)
{
    const int fd = ::open(fullPath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (entryUnreachable(err))
            return;
        readFailure(fullPath, err);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        readFailure(fullPath, EIO);
    }
    m_zip.OnReadFile = [this, &archivePath](const ZipFile &entry) { ZipReadFile(entry, archivePath); };
    m_zip.read(file);
    m_zip.OnReadFile = nullptr;
}

void Scanner::ZipReadFile(const ZipFile &entry, const QString &archivePath)
{
    QString stored = entry.EntryName;
    stored.replace(u'/', u'\\');
    const qsizetype slash = stored.lastIndexOf(u'\\');
    const QString name = stored.mid(slash + 1);
    if (name.isEmpty())
        return; // a folder entry
    const QDateTime when = ZipDateTime(entry.ModDate, entry.ModTime);
    putText(m_files, name);
    putText(m_files, archivePath);
    putNumber(m_files, entry.CompressedSize);
    // An impossible stored date gives an empty date rather than a made-up one.
    putText(m_files, when.isValid() ? m_locale.formatListDate(when) : QString());
    putText(m_files, QStringLiteral("Archive path: \\") + stored.left(slash + 1));
    endRecord(m_files);
}
