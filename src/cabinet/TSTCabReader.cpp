#include "cabinet/TSTCabReader.h"

#include "cabinet/ESTCabinet.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <memory>
#include <mspack.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

// The I/O functions libmspack calls: cabinets are read through QFile, members are
// written into whatever device the reader has made ready for the next member.
struct TSTCabReader::System {
    mspack_system sys; // first: libmspack hands this pointer back
    int lastErrno = 0;
    bool notRegular = false; // the last cabinet refused was not a regular file
    QIODevice *output = nullptr;
    qint64 written = 0;
    qint64 writeLimit = -1;
    bool limitHit = false;
    std::function<void()> afterWrite; // optional, after every block written
};

namespace
{

// A cabinet being read, through a window of its bytes: the library reads each member's entry
// a few bytes at a time and seeks back over what it over-read, which through the file
// itself was a read and a seek (and a look at the size) per member. The size is taken once;
// the cabinet is not expected to change while it is read, and a read past its end just ends.
class CabinetInput
{
public:
    explicit CabinetInput(std::unique_ptr<QFile> file) : m_file(std::move(file)), m_size(m_file->size()) {}

    qint64 size() const { return m_size; }
    qint64 pos() const { return m_pos; }
    bool seek(qint64 to)
    {
        if (to < 0 || to > m_size)
            return false;
        m_pos = to;
        return true;
    }
    qint64 read(char *out, qint64 bytes)
    {
        qint64 done = 0;
        while (done < bytes) {
            if (m_pos < m_windowStart || m_pos >= m_windowStart + m_window.size()) {
                // Large reads go straight to the caller; small ones refill the window.
                if (bytes - done >= kWindow) {
                    if (!m_file->seek(m_pos))
                        return done ? done : -1;
                    const qint64 n = m_file->read(out + done, bytes - done);
                    if (n < 0)
                        return done ? done : -1;
                    m_pos += n;
                    return done + n;
                }
                if (!fill())
                    return done ? done : -1;
                if (m_window.isEmpty())
                    return done; // the end of the cabinet
            }
            const qint64 offset = m_pos - m_windowStart;
            const qint64 n = std::min(bytes - done, qint64(m_window.size()) - offset);
            std::memcpy(out + done, m_window.constData() + offset, size_t(n));
            done += n;
            m_pos += n;
        }
        return done;
    }

private:
    static constexpr qint64 kWindow = 64 * 1024;

    bool fill()
    {
        m_window.resize(kWindow);
        m_windowStart = m_pos;
        if (!m_file->seek(m_pos)) {
            m_window.clear();
            return false;
        }
        const qint64 n = m_file->read(m_window.data(), kWindow);
        m_window.resize(std::max<qint64>(n, 0));
        return n >= 0;
    }

    std::unique_ptr<QFile> m_file;
    qint64 m_size = 0;
    qint64 m_pos = 0;
    QByteArray m_window;
    qint64 m_windowStart = 0;
};

struct Handle {
    TSTCabReader::System *owner;
    CabinetInput *file; // a cabinet being read
    QIODevice *out;     // a member being written
};

TSTCabReader::System *systemOf(mspack_system *self)
{
    return reinterpret_cast<TSTCabReader::System *>(self);
}

mspack_file *sysOpen(mspack_system *self, const char *filename, int mode)
{
    TSTCabReader::System *s = systemOf(self);
    if (mode == MSPACK_SYS_OPEN_WRITE) {
        if (!s->output)
            return nullptr;
        s->written = 0;
        return reinterpret_cast<mspack_file *>(new Handle{s, nullptr, s->output});
    }
    if (mode != MSPACK_SYS_OPEN_READ)
        return nullptr;
    // Only regular files: a FIFO or a device named by a cabinet set would block the read, or
    // be acted on by the open itself. Looked at before the open, and again on what was opened
    // (without waiting for a writer) in case the name changed in between.
    const auto refuse = [s](int err, bool notRegular) -> mspack_file * {
        s->lastErrno = err;
        s->notRegular = notRegular;
        return nullptr;
    };
    struct stat st;
    if (::stat(filename, &st) != 0)
        return refuse(errno ? errno : ENOENT, false);
    if (!S_ISREG(st.st_mode))
        return refuse(S_ISDIR(st.st_mode) ? EISDIR : ENODEV, true);
    const int fd = ::open(filename, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return refuse(errno ? errno : ENOENT, false);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(ENODEV, true);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto f = std::make_unique<QFile>();
    if (!f->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(EIO, false);
    }
    return reinterpret_cast<mspack_file *>(new Handle{s, new CabinetInput(std::move(f)), nullptr});
}

void sysClose(mspack_file *file)
{
    auto *h = reinterpret_cast<Handle *>(file);
    if (!h)
        return;
    delete h->file; // the output device belongs to the reader, which commits or discards it
    delete h;
}

int sysRead(mspack_file *file, void *buffer, int bytes)
{
    auto *h = reinterpret_cast<Handle *>(file);
    if (!h || !h->file || bytes < 0)
        return -1;
    errno = 0;
    const qint64 n = h->file->read(static_cast<char *>(buffer), bytes);
    if (n < 0)
        h->owner->lastErrno = errno ? errno : EIO;
    return static_cast<int>(n);
}

int sysWrite(mspack_file *file, void *buffer, int bytes)
{
    auto *h = reinterpret_cast<Handle *>(file);
    if (!h || !h->out || bytes < 0)
        return -1;
    TSTCabReader::System *s = h->owner;
    if (s->writeLimit >= 0 && s->written + bytes > s->writeLimit) {
        s->limitHit = true;
        return -1;
    }
    errno = 0;
    const qint64 n = h->out->write(static_cast<const char *>(buffer), bytes);
    if (n != bytes) {
        s->lastErrno = errno ? errno : EIO;
        return -1;
    }
    s->written += n;
    if (s->afterWrite)
        s->afterWrite();
    return static_cast<int>(n);
}

int sysSeek(mspack_file *file, off_t offset, int mode)
{
    auto *h = reinterpret_cast<Handle *>(file);
    if (!h || !h->file)
        return -1;
    qint64 target = offset;
    if (mode == MSPACK_SYS_SEEK_CUR)
        target += h->file->pos();
    else if (mode == MSPACK_SYS_SEEK_END)
        target += h->file->size();
    else if (mode != MSPACK_SYS_SEEK_START)
        return -1;
    return h->file->seek(target) ? 0 : -1;
}

off_t sysTell(mspack_file *file)
{
    auto *h = reinterpret_cast<Handle *>(file);
    if (!h || !h->file)
        return -1;
    return static_cast<off_t>(h->file->pos());
}

void sysMessage(mspack_file *, const char *, ...)
{
    // The library's warnings are for its own tools; failures come back as error codes.
}

void *sysAlloc(mspack_system *, size_t bytes)
{
    return std::malloc(bytes);
}

void sysFree(void *ptr)
{
    std::free(ptr);
}

void sysCopy(void *src, void *dest, size_t bytes)
{
    std::memmove(dest, src, bytes);
}

QString decodeName(const char *bytes, bool utf8)
{
    if (!bytes)
        return QString();
    const QByteArray raw(bytes);
    return utf8 ? QString::fromUtf8(raw) : TextCodec::fromWindows1252(raw);
}

TSTCabMember memberOf(const mscabd_file *f, const mscabd_folder *firstFolder, bool withDate = true)
{
    TSTCabMember m;
    m.Name = decodeName(f->filename, f->attribs & MSCAB_ATTRIB_UTF_NAME);
    m.Size = f->length;
    m.Attributes = static_cast<quint32>(f->attribs);
    const QDate d(f->date_y, f->date_m, f->date_d);
    const QTime t(f->time_h, f->time_m, f->time_s);
    if (withDate && d.isValid() && t.isValid())
        m.Modified = QDateTime(d, t);
    int n = 0;
    for (const mscabd_folder *fol = firstFolder; fol && fol != f->folder; fol = fol->next)
        ++n;
    m.FolderNumber = n;
    return m;
}

// A member's date as seconds since the epoch, the same instant its local-time QDateTime names.
// The zone is asked once per (date, hour) of the archive rather than once per member: a whole
// archive is usually written within a few hours. An hour holding or touching a change of offset
// (a gap or a repeated hour) is not cached; the member's own QDateTime answers for it.
class MemberEpochs
{
public:
    qint64 of(const mscabd_file *f, const QDateTime &modified)
    {
        const QDate d(f->date_y, f->date_m, f->date_d);
        const qint64 key = d.toJulianDay() * 24 + f->time_h;
        auto it = m_offsets.constFind(key);
        if (it == m_offsets.constEnd())
            it = m_offsets.insert(key, steadyOffset(d, f->time_h));
        if (!it->has_value())
            return modified.toSecsSinceEpoch();
        const qint64 local =
            (d.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400 + f->time_h * 3600 + f->time_m * 60 + f->time_s;
        return local - **it;
    }

private:
    static std::optional<int> steadyOffset(const QDate &d, int hour)
    {
        const QDateTime first(d, QTime(hour, 0, 0));
        const QDateTime last(d, QTime(hour, 59, 59));
        if (!first.isValid() || !last.isValid() || first.time() != QTime(hour, 0, 0) ||
            last.time() != QTime(hour, 59, 59))
            return std::nullopt;
        const int offset = first.offsetFromUtc();
        if (last.offsetFromUtc() != offset ||
            QDateTime::fromSecsSinceEpoch(first.toSecsSinceEpoch() - 1).offsetFromUtc() != offset ||
            QDateTime::fromSecsSinceEpoch(last.toSecsSinceEpoch() + 1).offsetFromUtc() != offset)
            return std::nullopt;
        return offset;
    }

    QHash<qint64, std::optional<int>> m_offsets;
};

// A bare name from a cabinet header, looked up in folder without regard to case as the
// platform the cabinets come from does. Whatever has the name is found (the open refuses
// anything but a regular file, with a message).
QString findCabinet(const QString &folder, const QString &name)
{
    const QString exact = QDir(folder).filePath(name);
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return QDir(folder).filePath(e);
    return QString();
}

} // namespace

struct TSTCabReader::OpenSet {
    mscabd_cabinet *first = nullptr;
    std::list<QByteArray> names; // libmspack keeps the name pointers while the set is open
    QString firstPath;
    bool missingNext = false; // the set goes on in a cabinet that was not opened
    int missingNextErrno = 0; // ENOENT when it was looked for and not found
    bool truncated = false;   // a cabinet of the set is shorter than its header says
};

TSTCabReader::TSTCabReader() : m_system(std::make_unique<System>())
{
    mspack_system &s = m_system->sys;
    s.open = sysOpen;
    s.close = sysClose;
    s.read = sysRead;
    s.write = sysWrite;
    s.seek = sysSeek;
    s.tell = sysTell;
    s.message = sysMessage;
    s.alloc = sysAlloc;
    s.free = sysFree;
    s.copy = sysCopy;
    s.null_ptr = nullptr;
}

TSTCabReader::~TSTCabReader()
{
    if (m_cabd)
        mspack_destroy_cab_decompressor(m_cabd);
}

mscab_decompressor *TSTCabReader::decompressor()
{
    if (!m_cabd) {
        int selftest = 0;
        MSPACK_SYS_SELFTEST(selftest);
        if (selftest != MSPACK_ERR_OK)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
        m_cabd = mspack_create_cab_decompressor(&m_system->sys);
        if (!m_cabd)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
    }
    return m_cabd;
}

bool TSTCabReader::isSafeMemberName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(QChar(0)))
        return false;
    // "C:name" is relative to a drive's current folder on the platform the cabinets come from.
    if (name.size() >= 2 && name.at(1) == u':')
        return false;
    return true;
}

TSTCabReader::OpenSet TSTCabReader::openSet(const QString &cabinetFile, bool singleCabinet)
{
    mscab_decompressor *cabd = decompressor();
    OpenSet set;
    set.firstPath = QFileInfo(cabinetFile).absoluteFilePath();

    // Closes what is open of the set and throws.
    auto refuse = [&](const QString &message) {
        if (set.first)
            cabd->close(cabd, set.first);
        set.first = nullptr;
        throw QuilloryError(message);
    };
    auto openOne = [&](const QString &path) -> mscabd_cabinet * {
        set.names.push_back(QFile::encodeName(path));
        m_system->lastErrno = 0;
        m_system->notRegular = false;
        mscabd_cabinet *cab = cabd->open(cabd, set.names.back().constData());
        if (cab)
            return cab;
        const int err = cabd->last_error(cabd);
        if (err == MSPACK_ERR_OPEN && m_system->notRegular)
            refuse(QStringLiteral("\"%1\" is not a regular file; only a cabinet file is read.")
                       .arg(QDir::toNativeSeparators(path)));
        int code = ESTCabinet::FdiCorruptCabinet;
        int sys = 0;
        switch (err) {
        case MSPACK_ERR_OPEN:
            code = ESTCabinet::FdiCabinetNotFound;
            sys = m_system->lastErrno ? m_system->lastErrno : ENOENT;
            break;
        case MSPACK_ERR_SIGNATURE:
            code = ESTCabinet::FdiNotACabinet;
            break;
        case MSPACK_ERR_READ:
            // Too short to hold a cabinet header at all, or cut off further on.
            code = QFileInfo(path).size() < 36 ? ESTCabinet::FdiNotACabinet : ESTCabinet::FdiCorruptCabinet;
            sys = m_system->lastErrno;
            break;
        case MSPACK_ERR_NOMEMORY:
            code = ESTCabinet::FdiAllocFail;
            break;
        default:
            code = ESTCabinet::FdiCorruptCabinet;
            break;
        }
        if (set.first)
            cabd->close(cabd, set.first);
        set.first = nullptr;
        throw ESTCabinet(ESTCabinet::Reading, code, sys);
    };
    auto announce = [&](mscabd_cabinet *cab, const QString &path) {
        if (!OnCabinetInfo)
            return;
        bool abort = false;
        OnCabinetInfo(*this, decodeName(cab->nextname, false), decodeName(cab->nextinfo, false),
                      QFileInfo(path).absolutePath() + u'/', cab->set_id, cab->set_index, abort);
        if (abort) {
            cabd->close(cabd, set.first);
            set.first = nullptr;
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
        }
    };

    if (!QFileInfo::exists(set.firstPath))
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiCabinetNotFound, ENOENT);
    auto checkLength = [&](const mscabd_cabinet *cab, const QString &path) {
        if (QFileInfo(path).size() < qint64(cab->base_offset) + qint64(cab->length))
            set.truncated = true;
    };
    set.first = openOne(set.firstPath);
    checkLength(set.first, set.firstPath);
    announce(set.first, set.firstPath);

    QSet<QString> visited{QFileInfo(set.firstPath).canonicalFilePath()};
    mscabd_cabinet *current = set.first;
    QString currentPath = set.firstPath;
    // The set is followed only through bare names beside the cabinet that names them (or in
    // the folder OnNextCabinet gives), and each cabinet once: a set that names a cabinet again
    // would never end.
    while (!singleCabinet && (current->flags & MSCAB_HDR_NEXTCAB) && current->nextname) {
        const QString nextName = decodeName(current->nextname, false);
        const auto refuseNext = [&](const QString &why) {
            refuse(QStringLiteral("The cabinet \"%1\" names \"%2\" as the next cabinet of its set, %3; the set "
                                  "is not read.")
                       .arg(QDir::toNativeSeparators(currentPath), nextName, why));
        };
        if (!isSafeMemberName(nextName))
            refuseNext(QStringLiteral("which is not a file beside it"));
        QString folder = QFileInfo(currentPath).absolutePath();
        QString nextPath = findCabinet(folder, nextName);
        if (nextPath.isEmpty() && OnNextCabinet) {
            bool abort = false;
            QString supplied = folder + u'/';
            OnNextCabinet(*this, nextName, decodeName(current->nextinfo, false), supplied,
                          ESTCabinet::FdiCabinetNotFound, abort);
            if (abort) {
                cabd->close(cabd, set.first);
                set.first = nullptr;
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
            }
            nextPath = findCabinet(supplied, nextName);
        }
        if (nextPath.isEmpty()) {
            set.missingNext = true;
            set.missingNextErrno = ENOENT;
            break;
        }
        const QString canonical = QFileInfo(nextPath).canonicalFilePath();
        if (visited.contains(canonical))
            refuseNext(QStringLiteral("which came earlier in the set, so the set never ends"));
        visited.insert(canonical);
        mscabd_cabinet *next = openOne(nextPath);
        checkLength(next, nextPath);
        announce(next, nextPath);
        if (cabd->append(cabd, current, next) != MSPACK_ERR_OK) {
            cabd->close(cabd, next);
            cabd->close(cabd, set.first);
            set.first = nullptr;
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiWrongCabinet);
        }
        current = next;
        currentPath = nextPath;
    }
    if (singleCabinet && (current->flags & MSCAB_HDR_NEXTCAB))
        set.missingNext = true;
    return set;
}

void TSTCabReader::closeSet(OpenSet &set)
{
    if (set.first && m_cabd)
        m_cabd->close(m_cabd, set.first);
    set.first = nullptr;
}

void TSTCabReader::throwExtractError(int err, const OpenSet &set)
{
    if (m_system->limitHit)
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
    switch (err) {
    case MSPACK_ERR_WRITE:
    case MSPACK_ERR_OPEN:
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, m_system->lastErrno);
    case MSPACK_ERR_NOMEMORY:
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
    default:
        break;
    }
    // The data ran out: a member running on into a cabinet of the set that is not there, or a
    // cabinet cut short. The decoders report both as failures of their own.
    if (set.truncated)
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiCorruptCabinet);
    if (set.missingNext)
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiCabinetNotFound, set.missingNextErrno);
    switch (err) {
    case MSPACK_ERR_DECRUNCH:
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiMdiFail);
    default:
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiCorruptCabinet,
                         err == MSPACK_ERR_READ ? m_system->lastErrno : 0);
    }
}

namespace
{

// Closes the set on every way out.
template <typename F> struct Finally {
    F f;
    ~Finally() { f(); }
};
template <typename F> Finally(F) -> Finally<F>;

void checkFolders(const mscabd_cabinet *cab)
{
    for (const mscabd_folder *fol = cab->folders; fol; fol = fol->next) {
        const int method = MSCABD_COMP_METHOD(fol->comp_type);
        if (method != MSCAB_COMP_NONE && method != MSCAB_COMP_MSZIP && method != MSCAB_COMP_QUANTUM &&
            method != MSCAB_COMP_LZX)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiBadCompressionType);
    }
}

} // namespace

std::vector<TSTCabMember> TSTCabReader::List(const QString &cabinetFile, bool singleCabinet, bool withDates)
{
    OpenSet set = openSet(cabinetFile, singleCabinet);
    Finally guard{[&] { closeSet(set); }};
    std::vector<TSTCabMember> out;
    for (const mscabd_file *f = set.first->files; f; f = f->next)
        out.push_back(memberOf(f, set.first->folders, withDates));
    return out;
}

void TSTCabReader::Extract(const QString &cabinetFile, const QString &destinationFolder, bool singleCabinet)
{
    QString destination = QFileInfo(destinationFolder).absoluteFilePath();
    if (!destination.endsWith(u'/'))
        destination += u'/';
    OpenSet set = openSet(cabinetFile, singleCabinet);
    Finally guard{[&] { closeSet(set); }};

    // Every name is checked before the first byte is written.
    for (const mscabd_file *f = set.first->files; f; f = f->next) {
        // The name alone: a member's date costs a look at the time zone.
        const QString name = decodeName(f->filename, f->attribs & MSCAB_ATTRIB_UTF_NAME);
        if (!isSafeMemberName(name))
            throw QuilloryError(
                QStringLiteral("The archive \"%1\" holds a member named \"%2\". Names with a folder, \"..\" or an "
                               "absolute path are not extracted; nothing was extracted.")
                    .arg(QDir::toNativeSeparators(set.firstPath), name));
    }
    checkFolders(set.first);

    // Folders already made for this cabinet: most members share one.
    QSet<QString> madeFolders;
    MemberEpochs epochs;
    for (mscabd_file *f = set.first->files; f; f = f->next) {
        const TSTCabMember member = memberOf(f, set.first->folders);
        QString target = destination + member.Name;
        if (OnCopyFile) {
            bool abort = false;
            OnCopyFile(*this, member, target, abort);
            if (abort)
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
            if (target.isEmpty())
                continue;
        }
        const QFileInfo targetInfo(target);
        const QString folder = targetInfo.absolutePath();
        if (!madeFolders.contains(folder)) {
            if (!QDir().mkpath(folder))
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, errno ? errno : EACCES);
            madeFolders.insert(folder);
        }
        // A scratch folder holds no file of the user's; what an earlier member left is replaced below.
        if (DurableWrites && targetInfo.exists() && targetInfo.isFile() &&
            !(targetInfo.permissions() & QFileDevice::WriteOwner)) {
            if (Options & croDontOverwriteReadOnlyFiles)
                continue;
            QFile::setPermissions(target, targetInfo.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
        }

        std::unique_ptr<QFileDevice> out;
        if (DurableWrites) {
            auto save = std::make_unique<QSaveFile>(target);
            save->setDirectWriteFallback(false);
            out = std::move(save);
        } else {
            out = std::make_unique<QFile>(target);
        }
        // Cancels a save file; removes a file written in place.
        const auto discardOutput = [&] {
            if (auto *save = qobject_cast<QSaveFile *>(out.get())) {
                save->cancelWriting();
            } else {
                out->close();
                QFile::remove(target);
            }
        };
        errno = 0;
        // Unbuffered: a save file whose last buffered block fails as it closes is committed
        // cut short; written directly, every refusal reaches sysWrite with its reason.
        const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
        // In place, always a new file: one an earlier member left (read-only, or longer) is removed first.
        bool opened = out->open(DurableWrites ? mode : mode | QIODevice::NewOnly);
        if (!opened && !DurableWrites && errno == EEXIST && QFile::remove(target))
            opened = out->open(mode | QIODevice::NewOnly);
        if (!opened)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, errno ? errno : EACCES);
        m_system->output = out.get();
        m_system->writeLimit = -1;
        m_system->limitHit = false;
        m_system->lastErrno = 0;
        const int err = m_cabd->extract(m_cabd, f, "member");
        m_system->output = nullptr;
        if (err != MSPACK_ERR_OK) {
            discardOutput();
            // The start of this folder lies in an earlier cabinet of the set.
            if ((err == MSPACK_ERR_DATAFORMAT || err == MSPACK_ERR_DECRUNCH || err == MSPACK_ERR_READ) &&
                (set.first->flags & MSCAB_HDR_PREVCAB) && f->folder == set.first->folders) {
                if (OnCopyPartialFile) {
                    bool abort = false;
                    OnCopyPartialFile(*this, member, decodeName(set.first->prevname, false),
                                      decodeName(set.first->previnfo, false), target, abort);
                    if (abort)
                        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
                }
                continue;
            }
            throwExtractError(err, set);
        }
        errno = 0;
        if (auto *save = qobject_cast<QSaveFile *>(out.get())) {
            if (!save->commit())
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, errno ? errno : EIO);
        } else {
            // Written in place: the date and a read-only member's mode are set on the open file
            // (a new file already lets its owner write), and a failing close is a failed write.
            if (member.Modified.isValid()) {
                const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(epochs.of(f, member.Modified)), 0}};
                ::futimens(out->handle(), times);
            }
            struct stat st;
            if ((member.Attributes & 0x01) && ::fstat(out->handle(), &st) == 0)
                ::fchmod(out->handle(), st.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH));
            out->close();
            if (out->error() != QFileDevice::NoError) {
                const int sys = errno ? errno : EIO;
                QFile::remove(target);
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, sys);
            }
        }

        if (DurableWrites) {
            QFile written(target);
            if (member.Modified.isValid() && written.open(QIODevice::ReadWrite)) {
                written.setFileTime(member.Modified, QFileDevice::FileModificationTime);
                written.close();
            }
            QFileDevice::Permissions perms = written.permissions();
            if (member.Attributes & 0x01)
                perms &= ~(QFileDevice::WriteOwner | QFileDevice::WriteUser | QFileDevice::WriteGroup |
                           QFileDevice::WriteOther);
            else
                perms |= QFileDevice::WriteOwner | QFileDevice::WriteUser;
            written.setPermissions(perms);
        }

        if (OnCloseFile) {
            bool abort = false;
            OnCloseFile(*this, member, target, abort);
            if (abort)
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
        }
        if ((Options & croExecuteOnExtract) && member.Execute())
            QProcess::startDetached(QStringLiteral("xdg-open"), {target});
    }
}

std::vector<TSTCabBlob> TSTCabReader::ExtractToMemory(const QString &cabinetFile,
                                                      const std::function<bool(const TSTCabMember &)> &wanted,
                                                      qint64 maxTotalBytes, bool singleCabinet)
{
    OpenSet set = openSet(cabinetFile, singleCabinet);
    Finally guard{[&] { closeSet(set); }};
    checkFolders(set.first);

    // The members are chosen, and their sizes as the headers give them weighed, before a byte
    // is unpacked: a refusal (or a chooser that throws) costs nothing.
    std::vector<std::pair<mscabd_file *, TSTCabMember>> chosen;
    qint64 announced = 0;
    for (mscabd_file *f = set.first->files; f; f = f->next) {
        TSTCabMember member = memberOf(f, set.first->folders);
        if (wanted && !wanted(member))
            continue;
        announced += member.Size;
        if (announced > maxTotalBytes)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
        chosen.emplace_back(f, std::move(member));
    }

    std::vector<TSTCabBlob> out;
    for (auto &[f, member] : chosen) {
        TSTCabBlob blob;
        blob.Member = std::move(member);
        // Before a failure frees the members extracted so far, the handler lets go of them.
        const auto retract = [&] {
            if (m_arrival)
                m_arrival(blob.Member, QByteArray());
        };
        blob.Data.reserve(blob.Member.Size);
        QBuffer buffer(&blob.Data);
        buffer.open(QIODevice::WriteOnly);
        m_system->output = &buffer;
        m_system->writeLimit = blob.Member.Size;
        m_system->limitHit = false;
        m_system->lastErrno = 0;
        if (m_arrival)
            m_system->afterWrite = [&] { m_arrival(blob.Member, blob.Data); };
        const int err = m_cabd->extract(m_cabd, f, "member");
        m_system->output = nullptr;
        m_system->writeLimit = -1;
        m_system->afterWrite = nullptr;
        if (err != MSPACK_ERR_OK) {
            retract();
            throwExtractError(err, set);
        }
        out.push_back(std::move(blob));
    }
    return out;
}
