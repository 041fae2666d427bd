#include "FileHasher.h"

#if defined(__x86_64__)
// The library's own choice of the widest vector instructions this processor has.
#include <xxh_x86dispatch.h>
#define QUILLORY_XXH3_UPDATE XXH3_128bits_update_dispatch
#else
#define QUILLORY_XXH3_UPDATE XXH3_128bits_update
#endif

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <unistd.h>

FileHasher::FileHasher() : m_state(XXH3_createState()), m_block(new char[BlockSize])
{
    if (!m_state)
        throw std::bad_alloc();
}

FileHasher::~FileHasher()
{
    XXH3_freeState(m_state);
}

int FileHasher::hash(int fd, XXH128_hash_t &out, const std::function<void(quint64)> &afterBlock)
{
    // The system reads ahead further for a file read in one sweep.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    start();
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, m_block.get(), BlockSize, at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        add(m_block.get(), size_t(n));
        at += n;
        if (afterBlock)
            afterBlock(quint64(n));
    }
    out = digest();
    return 0;
}

void FileHasher::start()
{
    XXH3_128bits_reset(m_state);
}

void FileHasher::add(const char *bytes, size_t size)
{
    QUILLORY_XXH3_UPDATE(m_state, bytes, size);
}

XXH128_hash_t FileHasher::digest() const
{
    return XXH3_128bits_digest(m_state);
}
