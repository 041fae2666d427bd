#include "cabinet/MspackSystem.h"

#include <QByteArray>
#include <QIODevice>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// A cabinet being read, through a window of its bytes: the library reads each member's entry
// a few bytes at a time and seeks back over what it over-read, which through the file
// itself was a read and a seek (and a look at the size) per member. The size is taken once;
// the cabinet is not expected to change while it is read, and a read past its end just ends.
// The descriptor is read directly: a cabinet is opened twice per extraction, and a contents
// file is small, so a file object's own looks at the file cost more than reading it.
class CabinetInput
{
public:
    CabinetInput(int fd, qint64 size) : m_fd(fd), m_size(size) {}
    ~CabinetInput() { ::close(m_fd); }
    CabinetInput(const CabinetInput &) = delete;
    CabinetInput &operator=(const CabinetInput &) = delete;

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
                    const qint64 n = readAt(out + done, bytes - done, m_pos);
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

    qint64 readAt(char *out, qint64 bytes, qint64 at)
    {
        ssize_t n;
        do
            n = ::pread(m_fd, out, size_t(bytes), off_t(at));
        while (n < 0 && errno == EINTR);
        return n;
    }

    bool fill()
    {
        // A small cabinet takes a window of its own size.
        m_window.resize(std::clamp<qint64>(m_size - m_pos, 1, kWindow));
        m_windowStart = m_pos;
        const qint64 n = readAt(m_window.data(), m_window.size(), m_pos);
        m_window.resize(std::max<qint64>(n, 0));
        return n >= 0;
    }

    int m_fd;
    qint64 m_size;
    qint64 m_pos = 0;
    QByteArray m_window;
    qint64 m_windowStart = 0;
};

struct Handle {
    MspackSystem *owner;
    CabinetInput *file; // a cabinet being read
    QIODevice *out;     // a member being written
};

MspackSystem *systemOf(mspack_system *self)
{
    return reinterpret_cast<MspackSystem *>(self);
}

mspack_file *sysOpen(mspack_system *self, const char *filename, int mode)
{
    MspackSystem *s = systemOf(self);
    if (mode == MSPACK_SYS_OPEN_WRITE) {
        if (!s->output && !s->sink)
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
    return reinterpret_cast<mspack_file *>(new Handle{s, new CabinetInput(fd, st.st_size), nullptr});
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
    if (!h || bytes < 0)
        return -1;
    MspackSystem *s = h->owner;
    if (s->writeLimit >= 0 && s->written + bytes > s->writeLimit) {
        s->limitHit = true;
        return -1;
    }
    if (s->sink) {
        if (!s->sink(static_cast<const char *>(buffer), bytes)) {
            s->sinkStopped = true;
            return -1;
        }
        s->written += bytes;
        return bytes;
    }
    if (!h->out)
        return -1;
    errno = 0;
    const qint64 n = h->out->write(static_cast<const char *>(buffer), bytes);
    if (n != bytes) {
        s->lastErrno = errno ? errno : EIO;
        return -1;
    }
    s->written += n;
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

} // namespace

MspackSystem::MspackSystem()
{
    mspack_system &s = sys;
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
