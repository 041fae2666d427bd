#pragma once

#include "DiscNames.h"

#include <QHash>
#include <QString>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The search's name index: one file of DiscNames per disc, kept in the user's cache folder
// (never in DB, so no export carries it), in a folder of its own for each catalogue. A disc's
// file is used only while its contents file is the one it was made from, and made again
// otherwise; the folder is kept under a size, the oldest files going first. What is used
// once stays mapped for the next search of the same run.
//
// New index files are written by a thread of the index's own, so a search with nothing cached
// costs the unpacking and not the disk as well: the names it made are held in memory (and
// answer the next search) until their file is written, and then mapped from it. Nothing else
// runs on that thread; it touches only the cache folder. flush() and the destructor wait for it.
class NameIndex
{
public:
    static constexpr qint64 DefaultMaxBytes = qint64(2) << 30;

    // root: where the indexes of every catalogue go (defaultRoot() when empty).
    explicit NameIndex(const QString &dbFolder, qint64 maxBytes = DefaultMaxBytes, const QString &root = {});
    ~NameIndex();
    NameIndex(const NameIndex &) = delete;
    NameIndex &operator=(const NameIndex &) = delete;

    // The cache folder's "Quillory!/names/".
    static QString defaultRoot();
    // This catalogue's folder.
    QString folder() const { return m_folder; }

    // The disc's names when its index file (or the copy held) was made from the contents file
    // as it is now; null otherwise.
    std::shared_ptr<const DiscNames> find(const QString &serial, const DiscNames::Stamp &stamp);
    // Saves names made from the contents file and holds them for the run. A cache that cannot
    // be written costs speed, nothing else.
    void store(const QString &serial, const std::shared_ptr<const DiscNames> &names);
    // Removes the oldest index files, of any catalogue, until the root holds at most maxBytes
    // (once what is queued is written).
    void trim();
    // Waits until every index file asked for is written.
    void flush();
    // While a search runs, files wait to be written until it ends.
    void setSearching(bool on);

private:
    struct Pending {
        QString serial;
        QString file;
        std::shared_ptr<const DiscNames> names;
    };
    QString fileFor(const QString &serial) const;
    void writeLoop();
    void trimNow() const;
    // Swaps names whose file is written for their mapped copy.
    void takeWritten();

    QString m_root;
    QString m_folder;
    qint64 m_max;
    QHash<QString, std::shared_ptr<const DiscNames>> m_held;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Pending> m_queue;
    std::vector<std::pair<QString, std::shared_ptr<const DiscNames>>> m_written;
    bool m_writing = false;
    bool m_trimWanted = false;
    bool m_quit = false;
    bool m_searching = false;
    int m_flushing = 0;
    std::thread m_writer;
};
