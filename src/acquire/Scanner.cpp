#include "Scanner.h"

#include "MediaReaders.h"
#include "core/AsciiCase.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "settings/Preferences.h"
#include "store/ContentsRecord.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
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
    // In the folder's name buffer: the name as the file system gives it, and as the catalogue
    // stores it (UTF-8; the same bytes unless the name is not valid UTF-8).
    quint32 nameAt = 0;
    quint32 nameLen = 0;
    quint32 storedAt = 0;
    quint32 storedLen = 0;
    // Otherwise a regular file, or a link to one: its bytes can be read by the readers.
    bool folder = false;
    quint64 size = 0;
    qint64 mtime = 0;
    quint64 device = 0;
};

Scanner::Scanner(const Preferences &prefs, QIODevice *fileList, QIODevice *folderList)
    : m_prefs(prefs), m_files(fileList), m_folders(folderList), m_dateCache(DateCacheSize)
{
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
    const quint64 total = scanFolder(local, ContentsRecord::RootFolder.toByteArray());
    flush();
    return total;
}

void Scanner::flush()
{
    m_files.flush();
    m_folders.flush();
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
        } else if (S_ISLNK(st.st_mode)) {
            // A link never leads into a folder. A link to a file stands for that file; a link
            // to a folder, or one that leads nowhere, is left out: listed as a small file of
            // its own it would pass for a real file.
            struct stat target;
            if (::fstatat(fd, n, &target, 0) != 0 || !S_ISREG(target.st_mode))
                continue;
            st = target;
        } else {
            continue; // devices, pipes and sockets are not catalogue contents
        }
        const size_t len = strlen(n);
        e.nameAt = e.storedAt = static_cast<quint32>(names.size());
        e.nameLen = e.storedLen = static_cast<quint32>(len);
        names.append(n, len + 1);
        const QByteArrayView raw(n, qsizetype(len));
        if (!TextCodec::isValidUtf8(raw)) {
            const QByteArray stored = TextCodec::fileNameToUtf8(raw);
            e.storedAt = static_cast<quint32>(names.size());
            e.storedLen = static_cast<quint32>(stored.size());
            names.append(stored.constData(), size_t(stored.size()) + 1);
        }
        e.size = static_cast<quint64>(st.st_size);
        e.mtime = static_cast<qint64>(st.st_mtim.tv_sec);
        e.device = static_cast<quint64>(st.st_dev);
        entries.push_back(e);
    }

    for (const Entry &e : entries)
        if (!e.folder)
            scanFile(e, names.data(), localPath, catalogPath, total);

    for (const Entry &e : entries) {
        if (!e.folder)
            continue;
        const QByteArrayView name(names.data() + e.nameAt, e.nameLen);
        const QByteArrayView stored(names.data() + e.storedAt, e.storedLen);
        if (!m_exclusions.empty() && excluded(QString::fromUtf8(stored) + u'\\'))
            continue;
        const QByteArray sub = QByteArray(localPath).append(name).append('/');
        // Another file system mounted inside the volume is not part of it.
        const quint64 s =
            e.device == m_rootDevice ? scanFolder(sub, ContentsListWriter::folderLine(catalogPath, stored)) : 0;
        total += s;
        if (m_prefs.emptyDirs() && isEmptyFolder(sub))
            continue;
        m_folders.writeScannedFolder(stored, catalogPath, s, listDate(e.mtime));
    }
    return total;
}

void Scanner::scanFile(const Entry &e, const char *names, const QByteArray &localPath, const QByteArray &catalogPath,
                       quint64 &total)
{
    advance(e.size);
    const QByteArrayView nameBytes(names + e.nameAt, e.nameLen);
    const QByteArrayView stored(names + e.storedAt, e.storedLen);
    if (e.size == 0 && m_prefs.emptyFiles())
        return;
    if (!m_exclusions.empty() && excluded(QString::fromUtf8(stored)))
        return;
    total += e.size;

    QStringList extras;
    const DispatchRow *row = dispatchRow(stored);
    bool zip = false;
    QByteArray fullPath;
    if (row && m_prefs.IsActiveFilter(QLatin1String(row->probe))) {
        fullPath = QByteArray(localPath).append(nameBytes);
        // A file this user may not read keeps its plain record, as on a volume of mixed owners.
        if (::access(fullPath.constData(), R_OK) == 0) {
            if (row->zip) {
                zip = true;
                extras << QString::fromLatin1(ContentsRecord::CompressedFolder);
            } else {
                const QString path = QFile::decodeName(fullPath);
                // A name that is not valid in the system's encoding cannot be reopened by name.
                if (QFile::encodeName(path) == fullPath)
                    ReadMediaLines(row->kind, path, extras);
            }
        }
    }
    m_files.writeScannedFile(stored, catalogPath, e.size, listDate(e.mtime), extras);
    if (zip)
        listZip(fullPath, QString::fromUtf8(ContentsListWriter::folderLine(catalogPath, stored)));
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
    // An impossible stored date gives an empty date rather than a made-up one.
    m_files.writeArchiveEntry(name, archivePath, entry.CompressedSize,
                              when.isValid() ? m_locale.formatListDate(when) : QString(), stored.left(slash + 1));
}
