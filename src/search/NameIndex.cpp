#include "NameIndex.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <vector>

NameIndex::NameIndex(const QString &dbFolder, qint64 maxBytes, const QString &root)
    : m_root(root.isEmpty() ? defaultRoot() : root), m_max(maxBytes)
{
    if (!m_root.endsWith(u'/'))
        m_root += u'/';
    // Catalogues are told apart by where their DB is.
    const QString db = QFileInfo(dbFolder).absoluteFilePath();
    const QByteArray id = QCryptographicHash::hash(db.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m_folder = m_root + QString::fromLatin1(id) + u'/';
}

QString NameIndex::defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Quillory!/names/");
}

QString NameIndex::fileFor(const QString &serial) const
{
    // Serials are bare names (ContentsFile::isUsableSerial); any other never reaches here.
    return m_folder + serial + QStringLiteral(".names");
}

NameIndex::~NameIndex()
{
    flush();
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_writer.joinable())
        m_writer.join();
}

void NameIndex::takeWritten()
{
    std::vector<std::pair<QString, std::shared_ptr<const DiscNames>>> written;
    {
        std::lock_guard lock(m_mutex);
        written.swap(m_written);
    }
    for (auto &[serial, mapped] : written) {
        auto held = m_held.find(serial);
        if (held != m_held.end() && held.value()->stamp() == mapped->stamp())
            held.value() = mapped;
    }
}

std::shared_ptr<const DiscNames> NameIndex::find(const QString &serial, const DiscNames::Stamp &stamp)
{
    if (stamp.size < 0)
        return nullptr;
    takeWritten();
    auto held = m_held.constFind(serial);
    if (held != m_held.constEnd() && held.value()->stamp() == stamp)
        return held.value();
    std::shared_ptr<const DiscNames> names = DiscNames::map(fileFor(serial));
    if (!names || !(names->stamp() == stamp))
        return nullptr;
    m_held.insert(serial, names);
    return names;
}

void NameIndex::store(const QString &serial, const std::shared_ptr<const DiscNames> &names)
{
    takeWritten();
    m_held.insert(serial, names);
    if (names->byteSize() > m_max)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({serial, fileFor(serial), names});
        if (!m_writer.joinable())
            m_writer = std::thread([this] { writeLoop(); });
    }
    m_wake.notify_one();
}

void NameIndex::trim()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_writer.joinable()) {
            m_trimWanted = true;
            m_wake.notify_one();
            return;
        }
    }
    trimNow();
}

void NameIndex::flush()
{
    std::unique_lock lock(m_mutex);
    ++m_flushing;
    m_wake.notify_all();
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_writing && !m_trimWanted; });
    --m_flushing;
}

void NameIndex::setSearching(bool on)
{
    {
        std::lock_guard lock(m_mutex);
        m_searching = on;
    }
    m_wake.notify_all();
}

void NameIndex::writeLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // While a search runs, its unpacking and the writing would only slow each other.
        m_wake.wait(lock,
                    [this] { return m_quit || ((!m_queue.empty() || m_trimWanted) && (!m_searching || m_flushing)); });
        if (m_queue.empty() && !m_trimWanted)
            return; // quitting with nothing left to do
        m_writing = true;
        if (!m_queue.empty()) {
            const Pending job = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            std::shared_ptr<const DiscNames> mapped;
            if (QDir().mkpath(m_folder) && job.names->save(job.file)) {
                mapped = DiscNames::map(job.file);
                if (mapped && !(mapped->stamp() == job.names->stamp()))
                    mapped.reset();
            }
            lock.lock();
            if (mapped)
                m_written.emplace_back(job.serial, std::move(mapped));
        } else {
            m_trimWanted = false;
            lock.unlock();
            trimNow();
            lock.lock();
        }
        m_writing = false;
        if (m_queue.empty() && !m_trimWanted)
            m_idle.notify_all();
    }
}

void NameIndex::trimNow() const
{
    struct Entry {
        QString path;
        qint64 size;
        QDateTime modified;
    };
    std::vector<Entry> files;
    qint64 total = 0;
    QDirIterator it(m_root, {QStringLiteral("*.names"), u'*' + DiscNames::PartialEnd}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        // A write cut short by a kill or a full disk would hold its room for good.
        if (DiscNames::isLeftOver(info.fileName())) {
            QFile::remove(info.filePath());
            continue;
        }
        if (info.fileName().endsWith(DiscNames::PartialEnd))
            continue; // another program's write in progress
        files.push_back({info.filePath(), info.size(), info.lastModified()});
        total += info.size();
    }
    if (total <= m_max)
        return;
    std::sort(files.begin(), files.end(), [](const Entry &a, const Entry &b) { return a.modified < b.modified; });
    for (const Entry &e : files) {
        if (total <= m_max)
            break;
        if (QFile::remove(e.path))
            total -= e.size;
    }
}
