#include "Scanner.h"

#include "MediaReaders.h"
#include "core/AsciiCase.h"
#include "core/EntryKind.h"
#include "core/QuilloryError.h"
#include "core/SizeSum.h"
#include "core/TextCodec.h"
#include "store/ContentsChecksums.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The mount an entry lies on; 0 where the system does not say (Linux before 5.8).
quint64 mountIdOf(int dirFd, const char *name, int flags)
{
    struct statx stx {
    };
    if (::statx(dirFd, name, flags | AT_NO_AUTOMOUNT, STATX_MNT_ID, &stx) != 0 || !(stx.stx_mask & STATX_MNT_ID))
        return 0;
    return stx.stx_mnt_id;
}

constexpr size_t DateCacheSize = 256;

struct DispatchRow {
    const char *extensions[4];
    const char *probe;
    bool zip;
    MediaReaderKind kind;
    // What a library reader may still read of such a file while the row's own filter is off:
    // nothing, as a rule.
    std::optional<MediaReaderKind> whileOff = std::nullopt;
};

// Extensions in upper case with their dot; the first row that holds the extension wins.
const DispatchRow Dispatch[] = {
    {{".MP3"}, ".mp3", false, MediaReaderKind::Mp3},
    {{".WAV"}, ".wav", false, MediaReaderKind::Wav},
    {{".OGG"}, ".ogg", false, MediaReaderKind::Ogg, MediaReaderKind::OggOtherCodec},
    // Monkey's Audio has no reader of its own; the Ogg reader finds no stream and adds nothing.
    {{".APE"}, ".ape", false, MediaReaderKind::Ogg},
    {{".GIF"}, ".gif", false, MediaReaderKind::Gif},
    {{".PNG"}, ".png", false, MediaReaderKind::Png},
    // With the JPEG item unticked a JPEG gets no lines, the camera pictures' included: the EXIF
    // reader adds the date taken and the camera to the JPEG reader's size.
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
    // Asked for every file a scan meets: the first letter turns nearly every row away.
    for (const DispatchRow &row : Dispatch)
        for (const char *e : row.extensions)
            if (e && e[1] == ext[1] && strcmp(ext, e) == 0)
                return &row;
    return nullptr;
}

// Which readers a file of this name gets: the built-in one of its row while the row's filter
// is ticked, and the library one its family's filter ticks, which adds to it.
struct Readers {
    const DispatchRow *row;
    bool builtIn;
    std::optional<MediaReaderKind> library;
    explicit operator bool() const { return builtIn || library; }
};

Readers readersOf(const ScanOptions &options, QByteArrayView name)
{
    const DispatchRow *row = dispatchRow(name);
    const bool builtIn = row && options.reads(QLatin1String(row->probe));
    std::optional<MediaReaderKind> library = options.libraryReader(name);
    if (row && !builtIn && library)
        library = row->whileOff;
    return {row, builtIn, library};
}

QString reasonOf(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

[[noreturn]] void readFailure(QByteArrayView path, int err)
{
    throw QuilloryError(ScanProblem{QFile::decodeName(path.toByteArray()), reasonOf(err)}.text());
}

// Failures that mean "this entry cannot be looked at", which is no fault of the medium: such a
// file keeps its plain record without a word.
bool entryUnreachable(int err)
{
    return err == ENOENT || err == EACCES || err == EPERM || err == ELOOP || err == ENAMETOOLONG || err == ENOTDIR ||
           err == ESTALE;
}

// The folders nearest the root keep their descriptors while their subfolders are walked; one
// further down gives its descriptor up and finds its folder again from below.
constexpr size_t KeptDescriptors = 64;
constexpr size_t DirBufferSize = 32768;

// What would need a longer line is passed over.
constexpr qsizetype LongestLine = ContentsList::LongestLine;
const QString PathTooLong = QStringLiteral("its path is longer than the catalogue can keep");

bool isDotEntry(const char *n)
{
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

// Calls fn with every name of the open folder fd but "." and ".."; returns 0, or the errno of
// a read that failed.
template <typename Fn> int forEachName(int fd, std::vector<char> &buffer, Fn &&fn)
{
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer.data(), buffer.size());
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        for (ssize_t at = 0; at < n;) {
            const auto *de = reinterpret_cast<const dirent64 *>(buffer.data() + at);
            at += de->d_reclen;
            if (!isDotEntry(de->d_name))
                fn(de->d_name);
        }
    }
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
    quint64 inode = 0;
};

// One folder on the way from the root to the one being walked.
struct Scanner::Folder {
    int fd = -1; // -1 while a subfolder is walked, far from the root
    quint64 device = 0;
    quint64 inode = 0;
    // Where its paths end in m_localPath and m_catalogPath.
    qsizetype localLen = 0;
    qsizetype catalogLen = 0;
    // One reading of the folder serves both passes, files first and then folders, each in
    // the order the file system gives.
    std::vector<Entry> entries;
    std::string names;
    size_t next = 0; // the entry looked at next for a subfolder; the one before is being walked
    quint64 total = 0;
    bool empty = true; // not a single entry, hidden ones included

    const char *name(const Entry &e) const { return names.data() + e.nameAt; }
    QByteArrayView stored(const Entry &e) const { return {names.data() + e.storedAt, qsizetype(e.storedLen)}; }
};

Scanner::Scanner(const ScanOptions &options, QIODevice *fileList, QIODevice *folderList)
    : m_options(options), m_files(fileList), m_folders(folderList), m_dateCache(DateCacheSize)
{
    // Masks are checked as they are typed, but a list kept by an older version may hold one
    // that no longer passes: the user must learn where it comes from to remove it.
    for (const QString &mask : options.exclusions) {
        try {
            m_exclusions.emplace_back(mask);
        } catch (const QuilloryError &e) {
            throw QuilloryError(QStringLiteral("The scan exclusion list holds \"%1\", which is no mask: %2. Remove it "
                                               "on the Exclusions page of Preferences, or set the list again with "
                                               "quillory-cli config exclusions.")
                                    .arg(mask, e.message()));
        }
    }
}

Scanner::~Scanner() = default;

quint64 Scanner::Scan(const QString &root)
{
    m_problems.clear();
    startHashing();
    m_sinceEvents.start();
    QByteArray local = QFile::encodeName(root);
    if (!local.endsWith('/'))
        local += '/';
    const int fd = ::open(local.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        readFailure(local, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        readFailure(local, err);
    }
    // Whatever ends the walk, no descriptor stays open.
    const auto closeAll = qScopeGuard([this] {
        for (const Folder &f : m_path)
            if (f.fd >= 0)
                ::close(f.fd);
        m_path.clear();
    });
    m_rootDevice = static_cast<quint64>(st.st_dev);
    m_rootMount = mountIdOf(fd, "", AT_EMPTY_PATH);
    m_dirBuffer.resize(DirBufferSize);
    m_localPath = local;
    m_catalogPath = ContentsRecord::RootFolder.toByteArray();
    Folder &top = m_path.emplace_back();
    top.fd = fd;
    top.device = m_rootDevice;
    top.inode = static_cast<quint64>(st.st_ino);
    top.localLen = m_localPath.size();
    top.catalogLen = m_catalogPath.size();
    readFolder(top);
    const quint64 total = walk();
    flush();
    return total;
}

quint64 Scanner::walk()
{
    for (;;) {
        Folder &f = m_path.back();
        bool entered = false;
        while (!entered && f.next < f.entries.size()) {
            const Entry &e = f.entries[f.next++];
            if (e.folder)
                entered = enter(f, e);
        }
        if (entered)
            continue;
        if (m_path.size() == 1)
            return f.total;
        leave();
    }
}

void Scanner::flush()
{
    m_files.flush();
    m_folders.flush();
    flushChecksums();
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

bool Scanner::isEmptyFolder(int parentFd, const char *name)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false; // a folder that cannot be listed is not empty
    bool empty = true;
    forEachName(fd, m_dirBuffer, [&empty](const char *) { empty = false; });
    ::close(fd);
    return empty;
}

QString Scanner::changedWhileRead()
{
    return QStringLiteral("changed while the disc was being read");
}

QString Scanner::problemReason(int err)
{
    if (err == ChangedWhileRead)
        return changedWhileRead();
    return err == ENOENT ? QStringLiteral("removed while the disc was being read") : reasonOf(err);
}

void Scanner::checkMediumThere(int err)
{
    // A stick pulled out or a share whose server is gone fails every read from then on. Going on
    // would catalogue a gutted disc, or replace a good entry with one; a scratched file fails alone.
    const QByteArray root = m_localPath.left(qsizetype(m_path.front().localLen));
    const auto gone = [&root](int why) {
        throw QuilloryError(
            ScanProblem{QFile::decodeName(root),
                        QStringLiteral("the disc went away while it was being read (") + reasonOf(why) + u')'}
                .text());
    };
    // An entry inside the volume may fail so on its own (another file system mounted there whose
    // server is gone): only the volume's own root, listed again, tells.
    if (err != EIO && err != ENOTCONN && err != ENODEV && err != ENXIO && err != ENOMEDIUM && err != ESHUTDOWN)
        return;
    const int fd = ::openat(m_path.front().fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        gone(errno);
    std::vector<char> buffer(4096);
    const int listed = forEachName(fd, buffer, [](const char *) {});
    ::close(fd);
    if (listed != 0)
        gone(listed);
}

void Scanner::noteProblem(const QByteArray &localPath, int err)
{
    // Out of descriptors (the folders above already gave theirs up) or memory, every folder from
    // here on would fail to open and the disc be catalogued empty: a limit of this computer ends
    // the scan as the disc going does.
    if (err == EMFILE || err == ENFILE || err == ENOMEM || err == ENOBUFS)
        throw QuilloryError(
            ScanProblem{QFile::decodeName(localPath),
                        reasonOf(err) + QStringLiteral(" (a limit of this computer, not a fault of the disc)")}
                .text());
    checkMediumThere(err);
    m_problems.append({QFile::decodeName(localPath), problemReason(err)});
}

void Scanner::passOver(QByteArrayView name, int err)
{
    // A damaged entry (I/O error, a corrupt inode on a scratched disc) is one problem of the scan,
    // not its end: the rest of the disc is still catalogued, or verified.
    noteProblem(QByteArray(m_localPath).append(name), err);
}

void Scanner::readFolder(Folder &f)
{
    const bool skipHidden = m_options.skipHidden;
    std::vector<Entry> &entries = f.entries;
    std::string &names = f.names;
    const int err = forEachName(f.fd, m_dirBuffer, [&](const char *n) {
        f.empty = false;
        if (skipHidden && n[0] == '.')
            return;
        Entry e;
        const size_t len = strlen(n);
        e.nameAt = e.storedAt = static_cast<quint32>(names.size());
        e.nameLen = e.storedLen = static_cast<quint32>(len);
        names.append(n, len + 1);
        entries.push_back(e);
    });
    if (err) {
        // Nothing of a volume whose root cannot be listed can be catalogued. A folder further
        // down that cannot be read whole (a damaged directory on a scratched disc) counts once,
        // as a file that cannot be read does, and keeps what was read of it.
        if (m_path.size() == 1)
            readFailure(m_localPath, err);
        noteProblem(m_localPath.chopped(1), err);
        f.empty = false;
    }
    if (m_processEvents)
        m_processEvents();

    size_t kept = 0;
    for (Entry e : entries) {
        const char *n = f.name(e);
        struct stat st;
        int error = 0;
        const EntryKind kind = entryKind(f.fd, n, st, error);
        if (kind == EntryKind::None) {
            if (error != 0)
                passOver(QByteArrayView(n, qsizetype(e.nameLen)), error);
            continue;
        }
        e.folder = kind == EntryKind::Folder;
        const QByteArrayView raw(n, qsizetype(e.nameLen));
        if (!TextCodec::isValidUtf8(raw)) {
            const QByteArray stored = TextCodec::fileNameToUtf8(raw);
            e.storedAt = static_cast<quint32>(names.size());
            e.storedLen = static_cast<quint32>(stored.size());
            names.append(stored.constData(), size_t(stored.size()) + 1);
        }
        e.size = static_cast<quint64>(st.st_size);
        e.mtime = static_cast<qint64>(st.st_mtim.tv_sec);
        e.device = static_cast<quint64>(st.st_dev);
        e.inode = static_cast<quint64>(st.st_ino);
        entries[kept++] = e;
    }
    entries.resize(kept);

    for (const Entry &e : entries)
        if (!e.folder)
            scanFile(f, e);
}

bool Scanner::enter(Folder &f, const Entry &e)
{
    const char *name = f.name(e);
    const QByteArrayView stored = f.stored(e);
    if (!keepsFolder(stored))
        return false;
    // Another file system mounted inside the volume is not part of it. A btrfs subvolume has a
    // device number of its own but is the volume's, on the volume's mount.
    if (e.device != m_rootDevice && (m_rootMount == 0 || mountIdOf(f.fd, name, AT_SYMLINK_NOFOLLOW) != m_rootMount)) {
        writeFolder(f, e, 0, isEmptyFolder(f.fd, name));
        return false;
    }
    // A folder that cannot be listed is not known to be empty: its record stays.
    QByteArray catalogPath = subfolderPath(stored, QByteArray(m_localPath).append(name, qsizetype(e.nameLen)));
    if (catalogPath.isEmpty()) {
        writeFolder(f, e, 0, false);
        return false;
    }
    const int fd = openHere(f.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // Whatever keeps it closed, the folder counts once and the walk goes on.
        noteProblem(QByteArray(m_localPath).append(name, qsizetype(e.nameLen)), errno);
        writeFolder(f, e, 0, false);
        return false;
    }
    if (m_path.size() > KeptDescriptors) {
        ::close(f.fd);
        f.fd = -1;
    }
    m_localPath.append(name, qsizetype(e.nameLen)).append('/');
    m_catalogPath = std::move(catalogPath);
    Folder child;
    child.fd = fd;
    child.device = e.device;
    child.inode = e.inode;
    child.localLen = m_localPath.size();
    child.catalogLen = m_catalogPath.size();
    m_path.push_back(std::move(child)); // f and e are gone from here on
    readFolder(m_path.back());
    return true;
}

int Scanner::openHere(int dirFd, const char *name, int flags)
{
    int fd = ::openat(dirFd, name, flags);
    if (fd >= 0 || (errno != EMFILE && errno != ENFILE))
        return fd;
    bool freed = false;
    // The root's stays, to tell whether the disc is still there; the walked folder's is dirFd.
    for (size_t i = 1; i + 1 < m_path.size(); ++i)
        if (m_path[i].fd >= 0) {
            ::close(m_path[i].fd);
            m_path[i].fd = -1;
            freed = true;
        }
    return freed ? ::openat(dirFd, name, flags) : fd;
}

void Scanner::leave()
{
    Folder &done = m_path.back();
    Folder &parent = m_path[m_path.size() - 2];
    if (parent.fd < 0) {
        // Its descriptor was given up on the way down: the folder is found again from below,
        // and must be the one left (it may have been moved meanwhile).
        const int fd = ::openat(done.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0 || static_cast<quint64>(st.st_dev) != parent.device ||
            static_cast<quint64>(st.st_ino) != parent.inode) {
            if (fd >= 0)
                ::close(fd);
            throw QuilloryError(QStringLiteral("The folder \"%1\" was moved while the disc was being read.")
                                    .arg(QFile::decodeName(m_localPath.first(parent.localLen))));
        }
        parent.fd = fd;
    }
    ::close(done.fd);
    const quint64 size = done.total;
    const bool empty = done.empty;
    m_path.pop_back();
    Folder &f = m_path.back();
    m_localPath.truncate(f.localLen);
    m_catalogPath.truncate(f.catalogLen);
    addCapped(f.total, size);
    writeFolder(f, f.entries[f.next - 1], size, empty);
}

void Scanner::writeFolder(const Folder &parent, const Entry &e, quint64 size, bool empty)
{
    writeFolderRecord(parent.stored(e), size, e.mtime, empty);
}

void Scanner::writeFolderRecord(QByteArrayView name, quint64 size, qint64 mtime, bool empty)
{
    if (empty && m_options.skipEmptyFolders)
        return;
    m_folders.writeScannedFolder(name, m_catalogPath, size, listDate(mtime));
}

bool Scanner::listsFile(QByteArrayView name, quint64 size) const
{
    if (size == 0 && m_options.skipEmptyFiles)
        return false;
    return m_exclusions.empty() || !excluded(QString::fromUtf8(name));
}

bool Scanner::keepsFolder(QByteArrayView name) const
{
    return m_exclusions.empty() || !excluded(QString::fromUtf8(name) + u'\\');
}

QByteArray Scanner::subfolderPath(QByteArrayView name, const QByteArray &where)
{
    QByteArray path = ContentsListWriter::folderLine(m_catalogPath, name);
    if (path.size() <= LongestLine)
        return path;
    m_problems.append({QFile::decodeName(where), PathTooLong});
    return QByteArray();
}

bool Scanner::readsBytes(QByteArrayView name) const
{
    return bool(readersOf(m_options, name));
}

void Scanner::readBytes(QByteArrayView name, QIODevice &bytes, QStringList &lines, std::vector<ZipFile> &entries)
{
    const Readers readers = readersOf(m_options, name);
    if (readers.builtIn && !readers.row->zip)
        ReadMediaLines(readers.row->kind, bytes, lines);
    if (readers.library)
        ReadMediaLines(*readers.library, bytes, lines);
    if (!readers.builtIn || !readers.row->zip)
        return;
    lines << QString::fromLatin1(ContentsRecord::CompressedFolder);
    m_zip.OnReadFile = [&entries](const ZipFile &entry) { entries.push_back(entry); };
    const auto done = qScopeGuard([this] { m_zip.OnReadFile = nullptr; });
    m_zip.read(bytes);
}

void Scanner::scanFile(Folder &f, const Entry &e)
{
    const QByteArrayView stored = f.stored(e);
    const bool listed = listsFile(stored, e.size);
    // A file read for its checksum moves the gauge as its bytes come.
    if (!m_hasher || !listed)
        advance(e.size);
    if (!listed)
        return;
    addCapped(f.total, e.size);
    const auto localPath = [&] { return QByteArray(m_localPath).append(f.name(e), qsizetype(e.nameLen)); };
    // Opened from its folder, so that no path length stands in the way.
    const auto open = [&] { return openHere(f.fd, f.name(e), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); };

    const Readers readers = readersOf(m_options, stored);
    const DispatchRow *row = readers.row;
    const bool builtIn = readers.builtIn;
    const std::optional<MediaReaderKind> library = readers.library;
    std::optional<QFile> file; // only for the checksum and the readers: most files are never opened
    XXH128_hash_t hash;
    bool hashed = false;
    if (m_hasher) {
        // Read whole first: the readers then find their headers in the system's cache, and a
        // file that cannot be read keeps its plain record.
        int fd = open();
        // A stop asked for while the file is read leaves through here too.
        const auto closeFd = qScopeGuard([&fd] {
            if (fd >= 0)
                ::close(fd);
        });
        const int err = fd < 0 ? errno : hashFile(fd, e.size, e.mtime, hash);
        hashed = err == 0;
        if (!hashed)
            noteProblem(localPath(), err);
        else if (readers && file.emplace().open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            fd = -1; // the readers' now
        else
            file.reset();
    }

    QStringList extras;
    QByteArray archivePath;
    // A file opened by its descriptor has no name for a reader to give: its failure is named here.
    const auto named = [&](const QuilloryError &failure) {
        return QuilloryError(ScanProblem{QFile::decodeName(localPath()), file->error() != QFileDevice::NoError
                                                                             ? file->errorString()
                                                                             : failure.message()}
                                 .text());
    };
    if (readers && (!m_hasher || hashed)) {
        // A file this user may not read keeps its plain record, as on a volume of mixed owners.
        if (builtIn && row->zip)
            archivePath = ContentsListWriter::folderLine(m_catalogPath, stored);
        const bool tooLong = archivePath.size() > LongestLine;
        const int fd = tooLong || file ? -1 : open();
        if (tooLong) {
            // Listed as a plain file: its entries could not be kept.
            m_problems.append({QFile::decodeName(localPath()), PathTooLong});
            file.reset();
        } else if (file) {
        } else if (fd < 0) {
            const int err = errno;
            if (!entryUnreachable(err))
                noteProblem(localPath(), err);
        } else if (!file.emplace().open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            readFailure(localPath(), EIO);
        }
        if (!file || !file->isOpen()) {
        } else if (builtIn && row->zip) {
            extras << QString::fromLatin1(ContentsRecord::CompressedFolder);
        } else {
            try {
                if (builtIn)
                    ReadMediaLines(row->kind, *file, extras);
                if (library)
                    ReadMediaLines(*library, *file, extras);
            } catch (const QuilloryError &failure) {
                throw named(failure);
            }
        }
    }
    m_files.writeScannedFile(stored, m_catalogPath, e.size, listDate(e.mtime), extras);
    writeChecksum(hashed ? &hash : nullptr);
    // A folder of slow files (readers waiting on damaged videos, a slow drive) still hears Stop.
    pollEvents();
    if (builtIn && row->zip && file && file->isOpen()) {
        try {
            listZip(*file, QString::fromUtf8(archivePath));
        } catch (const QuilloryError &failure) {
            // Only the archive's own read is named for it; the lists' writer names its own file.
            if (file->error() == QFileDevice::NoError)
                throw;
            throw named(failure);
        }
    }
}

void Scanner::pollEvents()
{
    if (!m_sinceEvents.hasExpired(ProgressIntervalMs))
        return;
    m_sinceEvents.start();
    if (m_processEvents)
        m_processEvents();
}

int Scanner::hashFile(int fd, quint64 size, qint64 mtime, XXH128_hash_t &out)
{
    // A large file takes a while: the gauge moves and the window answers meanwhile.
    quint64 read = 0;
    const int err = m_hasher->hash(fd, out, [&](quint64 bytes) {
        read += bytes;
        advance(bytes);
        if (m_sinceEvents.hasExpired(ProgressIntervalMs)) {
            if (m_gauge && m_totalSize)
                m_gauge(m_scannedBytes / 1024);
            pollEvents();
        }
    });
    // The gauge ends where the scan's size says, whatever the file held when read.
    if (read < size)
        advance(size - read);
    if (err != 0)
        return err;
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    if (read != size || quint64(st.st_size) != size || st.st_mtim.tv_sec != mtime)
        return ChangedWhileRead;
    return 0;
}

FileHasher *Scanner::startHashing()
{
    if (m_options.checksums && m_sums && !m_hasher)
        m_hasher = std::make_unique<FileHasher>();
    return m_hasher.get();
}

void Scanner::writeChecksum(const XXH128_hash_t *hash)
{
    if (!m_hasher)
        return;
    ContentsChecksums::appendLine(m_sumBuffer, hash);
    if (m_sumBuffer.size() >= SumBlock)
        flushChecksums();
}

void Scanner::flushChecksums()
{
    if (!m_sums || m_sumBuffer.isEmpty())
        return;
    const QByteArray block = std::exchange(m_sumBuffer, {});
    ContentsListWriter::writeOut(m_sums, block);
}

void Scanner::listZip(QFile &file, const QString &archivePath)
{
    m_zip.OnReadFile = [this, &archivePath](const ZipFile &entry) { ZipReadFile(entry, archivePath); };
    // The handler holds this call's path: it must not outlive it, a read that fails included.
    const auto forget = qScopeGuard([this] { m_zip.OnReadFile = nullptr; });
    m_zip.read(file);
}

void Scanner::ZipReadFile(const ZipFile &entry, const QString &archivePath)
{
    QString stored = entry.EntryName;
    stored.replace(u'/', u'\\');
    stored.replace(u'\t', u'?'); // as in the names of files on the disc
    const qsizetype slash = stored.lastIndexOf(u'\\');
    const QString name = stored.mid(slash + 1);
    if (name.isEmpty())
        return; // a folder entry
    // An entry whose place in the archive would not fit on a line is left out.
    if (ContentsRecord::ArchivePathLabel.size() + 1 + stored.toUtf8().size() > LongestLine)
        return;
    const QDateTime when = ZipDateTime(entry.ModDate, entry.ModTime);
    // An impossible stored date gives an empty date rather than a made-up one.
    m_files.writeArchiveEntry(name, archivePath, entry.CompressedSize,
                              when.isValid() ? m_locale.formatListDate(when) : QString(), stored.left(slash + 1));
    writeChecksum(nullptr); // its bytes are inside the archive, read with it
}
