#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>
#include <xxhash.h>

// Reads a file whole and gives the XXH3-128 of its bytes (libxxhash's streaming state), from
// start to end in one sweep: a disc is read in the order the scan meets its files, and a drive
// reads a file fastest so. Reading, not hashing, sets the pace (XXH3 runs at several GB/s, and
// the system reads ahead of a sequential reader while a block is hashed), so the blocks are
// read and hashed in turn on the caller's thread.
class FileHasher
{
public:
    // Small enough that a block is still in the processor's cache when it is hashed: 1 MiB
    // blocks made a warm read three times slower (bench_scan checksums).
    static constexpr size_t BlockSize = size_t(64) << 10;

    FileHasher();
    ~FileHasher();
    FileHasher(const FileHasher &) = delete;
    FileHasher &operator=(const FileHasher &) = delete;

    // Reads the open file fd from its start to its end; afterBlock gets the bytes of each block
    // as it is read (for a gauge, and a chance to stop by throwing). Returns 0 with the hash in
    // out, or the errno of the read that failed.
    int hash(int fd, XXH128_hash_t &out, const std::function<void(quint64)> &afterBlock = {});

    // The same sum over bytes handed in piece by piece, for files read from inside a disc image.
    void start();
    void add(const char *bytes, size_t size);
    XXH128_hash_t digest() const;

private:
    XXH3_state_t *m_state;
    std::unique_ptr<char[]> m_block;
};
