#include "ContentsFile.h"

#include "CatalogueSwitch.h"

#include "cabinet/TSTCabReader.h"
#include "cabinet/TSTCabWriter.h"
#include "core/AsciiCase.h"
#include "core/LatestWorker.h"
#include "core/QuilloryError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QVarLengthArray>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <dirent.h>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace
{

// The contents file's extension and its members'.
const QLatin1String kContentsExt(".dat");
const QLatin1String kFolderListExt(".dir");
const QLatin1String kFileListExt(".file");
const QLatin1String kChecksumListExt(".sum");

void removeLists(const QString &dbFolder, const QString &serial)
{
    QFile::remove(ContentsFile::folderListName(dbFolder, serial));
    QFile::remove(ContentsFile::fileListName(dbFolder, serial));
    QFile::remove(ContentsFile::checksumListName(dbFolder, serial));
}

QuilloryError cannotRead(const QString &contentsFile, const QString &why)
{
    return QuilloryError(QStringLiteral("\"%1\" cannot be read. %2").arg(QDir::toNativeSeparators(contentsFile), why));
}

// A list the cabinet's header gives as larger than any disc's is refused before it is unpacked.
void checkListSize(const QString &contentsFile, const TSTCabMember &member)
{
    if (member.Size > ContentsList::MaxBytes)
        throw cannotRead(contentsFile, ContentsList::tooLargeMessage(member.Size));
}

} // namespace

bool ContentsFile::isUsableSerial(QStringView serial)
{
    if (serial.isEmpty() || serial == u"." || serial == u"..")
        return false;
    return std::none_of(serial.begin(), serial.end(), [](QChar c) { return c == u'/' || c == u'\\' || c.isNull(); });
}

QString ContentsFile::unusableSerialMessage(const QString &serial)
{
    return QStringLiteral("\"%1\" is not a usable disc serial number.").arg(serial);
}

QString ContentsFile::unusableDiscMessage(const QString &title, const QString &serial)
{
    return QStringLiteral("The disc \"%1\" was left out: %2").arg(title, unusableSerialMessage(serial));
}

QString ContentsFile::unreadableDiscMessage(const QString &title, const QString &reason)
{
    return QStringLiteral("The disc \"%1\" could not be read: %2").arg(title, reason);
}

QString ContentsFile::missingDiscMessage(const QString &title)
{
    return QStringLiteral("The contents file of the disc \"%1\" is missing.").arg(title);
}

static const QString &checkedSerial(const QString &serial)
{
    if (!ContentsFile::isUsableSerial(serial))
        throw QuilloryError(ContentsFile::unusableSerialMessage(serial));
    return serial;
}

QString ContentsFile::contentsFileName(const QString &dbFolder, const QString &serial)
{
    // A committed switch a program without the lock reads through may still hold the file.
    if (Q_UNLIKELY(CatalogueSwitch::isReadingThrough()))
        return CatalogueSwitch::readPath(dbFolder, checkedSerial(serial) + kContentsExt);
    return dbFolder + checkedSerial(serial) + kContentsExt;
}

QString ContentsFile::folderListName(const QString &dbFolder, const QString &serial)
{
    return dbFolder + checkedSerial(serial) + kFolderListExt;
}

QString ContentsFile::fileListName(const QString &dbFolder, const QString &serial)
{
    return dbFolder + checkedSerial(serial) + kFileListExt;
}

QString ContentsFile::checksumListName(const QString &dbFolder, const QString &serial)
{
    return dbFolder + checkedSerial(serial) + kChecksumListExt;
}

bool ContentsFile::exists(const QString &dbFolder, const QString &serial)
{
    return isUsableSerial(serial) && QFileInfo(contentsFileName(dbFolder, serial)).isFile();
}

ContentsFile::Present ContentsFile::serialsPresent(const QString &dbFolder)
{
    Present present;
    // A folder that cannot be listed is no folder without discs: a tree read against it would
    // drop every disc, and its next save would lose them for good.
    const auto cannotList = [&dbFolder](int err) {
        return QuilloryError(QStringLiteral("Cannot list the database folder \"%1\": %2")
                                 .arg(QDir::toNativeSeparators(dbFolder), qt_error_string(err)));
    };
    DIR *dir = ::opendir(QFile::encodeName(dbFolder).constData());
    if (!dir) {
        if (errno == ENOENT)
            return present;
        throw cannotList(errno);
    }
    std::vector<qsizetype> ends;
    const QByteArrayView ext(kContentsExt.data(), kContentsExt.size());
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(dir);
        if (!e) {
            if (const int err = errno) {
                ::closedir(dir);
                throw cannotList(err);
            }
            break;
        }
        const QByteArrayView name(e->d_name);
        if (!name.endsWith(ext)) {
            if (name.size() > ext.size() && FoldedAZ(name.last(ext.size())) == FoldedAZ(ext) &&
                QFileInfo(dbFolder + QFile::decodeName(name.toByteArray())).isFile())
                present.m_otherExtension.append(QFile::decodeName(name.toByteArray()));
            continue;
        }
        const QByteArrayView serial = name.chopped(ext.size());
        // A link or an entry of unknown type is looked at as exists() would.
        if (e->d_type == DT_REG ||
            ((e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) && exists(dbFolder, QFile::decodeName(serial.toByteArray())))) {
            present.m_names += serial;
            ends.push_back(present.m_names.size());
        }
    }
    ::closedir(dir);
    present.m_serials.reserve(qsizetype(ends.size()));
    qsizetype start = 0;
    for (const qsizetype end : ends) {
        present.m_serials.insert(QByteArrayView(present.m_names).sliced(start, end - start));
        start = end;
    }
    return present;
}

bool ContentsFile::Present::contains(QStringView serial) const
{
    if (!isUsableSerial(serial))
        return false;
    // Encoded on the stack as the file system spells names: a tree's load asks once a disc.
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    QVarLengthArray<char, 64> name(encoder.requiredSpace(serial.size()));
    const char *end = encoder.appendToBuffer(name.data(), serial);
    return m_serials.contains(QByteArrayView(name.data(), end - name.data()));
}

QString ContentsFile::Present::otherCase(QStringView serial) const
{
    if (!isUsableSerial(serial))
        return QString();
    const QByteArray ext(kContentsExt.data(), kContentsExt.size());
    if (!m_folded) {
        m_folded.emplace();
        for (const QByteArrayView s : m_serials)
            m_folded->insert(FoldedAZ(s.toByteArray() + ext), QFile::decodeName(s.toByteArray() + ext));
        for (const QString &name : m_otherExtension)
            m_folded->insert(FoldedAZ(QFile::encodeName(name)), name);
    }
    const QList<QString> found = m_folded->values(FoldedAZ(serial.toUtf8() + ext));
    return found.size() == 1 ? found.first() : QString();
}

bool ContentsFile::adoptOtherCase(const QString &dbFolder, const QHash<QString, QString> &otherCase,
                                  const std::function<bool(const QString &serial)> &isSerial,
                                  const std::function<void(const QString &)> &info)
{
    QHash<QString, int> askedFor;
    for (const QString &other : otherCase)
        ++askedFor[other];
    bool renamed = false;
    for (auto it = otherCase.cbegin(); it != otherCase.cend(); ++it) {
        const QString &other = it.value();
        if (askedFor.value(other) > 1 || isSerial(other.chopped(kContentsExt.size())))
            continue;
        const QString from = dbFolder + other, to = contentsFileName(dbFolder, it.key());
        QFile file(from);
        if (file.rename(to)) {
            renamed = true;
            if (info)
                info(QStringLiteral("The contents file \"%1\" was renamed \"%2\", the spelling of its disc's serial.")
                         .arg(QDir::toNativeSeparators(from), QFileInfo(to).fileName()));
        } else if (info) {
            info(QStringLiteral("The contents file \"%1\" is spelt otherwise than its disc's serial, %2, and could "
                                "not be renamed: %3")
                     .arg(QDir::toNativeSeparators(from), it.key(), file.errorString()));
        }
    }
    return renamed;
}

QString ContentsFile::serialOfContentsFile(const QString &fileName)
{
    if (!fileName.endsWith(kContentsExt, Qt::CaseInsensitive))
        return QString();
    const QString serial = fileName.chopped(kContentsExt.size());
    return isUsableSerial(serial) ? serial : QString();
}

bool ContentsFile::isUnpackedList(const QString &fileName)
{
    for (const QLatin1String ext : {kFolderListExt, kFileListExt, kChecksumListExt})
        if (fileName.endsWith(ext) && isUsableSerial(fileName.chopped(ext.size())))
            return true;
    return false;
}

void ContentsFile::remove(const QString &dbFolder, const QString &serial)
{
    QFile file(contentsFileName(dbFolder, serial));
    if (file.exists() && !file.remove())
        throw QuilloryError(
            QStringLiteral("Cannot delete the contents file \"%1\". %2").arg(file.fileName(), file.errorString()));
}

// A contents file is put in place only whole: the writer prepares it under its partial name,
// so that whatever a kill leaves is known for what it is.
static void writeContents(const QString &dbFolder, const QString &serial,
                          const std::function<void(TSTCabWriter &)> &addLists)
{
    TSTCabWriter cab;
    cab.CompressionType = cctMsZip;
    cab.Open(ContentsFile::contentsFileName(dbFolder, serial));
    addLists(cab);
    cab.Close(true);
}

void ContentsFile::pack(const QString &dbFolder, const QString &serial, const QString &intoFolder)
{
    try {
        // The folder list first, then the file list, as a listing of DB gives them.
        writeContents(intoFolder.isEmpty() ? dbFolder : intoFolder, serial, [&](TSTCabWriter &cab) {
            cab.AddFile(folderListName(dbFolder, serial), serial + kFolderListExt);
            cab.AddFile(fileListName(dbFolder, serial), serial + kFileListExt);
            if (QFileInfo(checksumListName(dbFolder, serial)).size() > 0)
                cab.AddFile(checksumListName(dbFolder, serial), serial + kChecksumListExt);
        });
    } catch (...) {
        removeLists(dbFolder, serial);
        throw;
    }
    removeLists(dbFolder, serial);
}

void ContentsFile::packBytes(const QString &dbFolder, const QString &serial, const Lists &lists, const QDateTime &when)
{
    writeContents(dbFolder, serial, [&](TSTCabWriter &cab) {
        cab.AddBytes(lists.folderList, serial + kFolderListExt, when, TSTCabWriter::Archive);
        cab.AddBytes(lists.fileList, serial + kFileListExt, when, TSTCabWriter::Archive);
        if (!lists.checksumList.isEmpty())
            cab.AddBytes(lists.checksumList, serial + kChecksumListExt, when, TSTCabWriter::Archive);
    });
}

void ContentsFile::packBytes(const QString &dbFolder, const QString &serial, const QByteArray &folderList,
                             const QByteArray &fileList, const QDateTime &when)
{
    packBytes(dbFolder, serial, Lists{folderList, fileList, QByteArray()}, when);
}

namespace
{
ContentsFile::Lists readLists(const QString &dbFolder, const QString &serial,
                              const TSTCabReader::ArrivalHandler &arrival = {}, bool withLists = true)
{
    const QString dirName = serial + kFolderListExt;
    const QString fileName = serial + kFileListExt;
    const QString sumName = serial + kChecksumListExt;
    TSTCabReader reader;
    reader.setArrivalHandler(arrival);
    const QString path = ContentsFile::contentsFileName(dbFolder, serial);
    // Contents files are single cabinets; a set announced in a damaged header is not followed.
    // The checksums come on top of the two lists, each member within a list's limit.
    const auto blobs = reader.ExtractToMemory(
        path,
        [&](const TSTCabMember &m) {
            const bool list = m.Name.compare(dirName, Qt::CaseInsensitive) == 0 ||
                              m.Name.compare(fileName, Qt::CaseInsensitive) == 0;
            if (!(withLists && list) && m.Name.compare(sumName, Qt::CaseInsensitive) != 0)
                return false;
            checkListSize(path, m);
            return true;
        },
        ContentsFile::MaxListBytes + ContentsList::MaxBytes, true);
    ContentsFile::Lists lists;
    bool folders = false, files = false;
    for (const TSTCabBlob &b : blobs) {
        if (b.Member.Name.compare(dirName, Qt::CaseInsensitive) == 0) {
            lists.folderList = b.Data;
            folders = true;
        } else if (b.Member.Name.compare(fileName, Qt::CaseInsensitive) == 0) {
            lists.fileList = b.Data;
            files = true;
        } else {
            lists.checksumList = b.Data;
        }
    }
    // Every contents file holds both lists, an empty disc's too: one without a list is damaged,
    // and read as it stands it would pass for a disc without files (a report of nothing, said to
    // be a success; a verify calling every file new).
    if (withLists && !(folders && files))
        throw cannotRead(path, folders ? QStringLiteral("It holds no file list (%1).").arg(fileName)
                                       : QStringLiteral("It holds no folder list (%1).").arg(dirName));
    return lists;
}

// Parses the two lists as their bytes leave the decompressor. A large list is parsed on a
// second thread, which keeps pace with the decompression on another core; a small one right
// away, while its bytes are still in the cache.
class ArrivingLists
{
public:
    ArrivingLists(const QString &folderListName, const QString &fileListName)
        : m_folderListName(folderListName), m_fileListName(fileListName),
          m_worker([this](const Arrival &a) { m_lists[a.which].feed(a.data, a.capacity, a.available); })
    {
    }

    // On the decompressing thread, after every block; a null array when the extraction failed
    // and the bytes handed over are about to go.
    void arrived(const TSTCabMember &member, const QByteArray &bytes)
    {
        if (bytes.isNull()) {
            m_worker.stop();
            return;
        }
        const int which = member.Name.compare(m_folderListName, Qt::CaseInsensitive) == 0 ? 0
                          : member.Name.compare(m_fileListName, Qt::CaseInsensitive) == 0   ? 1
                                                                                            : -1;
        if (which < 0)
            return; // the checksums are read whole at the end
        if (bytes.capacity() >= kWorthAThread)
            m_worker.start();
        if (!m_worker.running()) {
            m_lists[which].feed(bytes.constData(), bytes.capacity(), bytes.size());
            return;
        }
        // The parser is woken once per half megabyte, not once per block: a wake-up costs more
        // than parsing a block. What arrives after the last hand-over is parsed by finish().
        if (bytes.constData() == m_handedData && bytes.size() - m_handedSize < kHandOver)
            return;
        m_handedData = bytes.constData();
        m_handedSize = bytes.size();
        m_worker.post({which, bytes.constData(), bytes.capacity(), bytes.size()});
    }

    // The lists are given over: a list the parser must make UTF-8 is made so in its own buffer.
    ContentsFile::Parsed finish(ContentsFile::Lists &&lists)
    {
        m_worker.stop();
        // What the worker had not reached yet is parsed here.
        ContentsList folders = m_lists[0].finish(std::move(lists.folderList));
        ContentsList files = m_lists[1].finish(std::move(lists.fileList));
        QString problem;
        ContentsChecksums checksums = ContentsChecksums::parse(lists.checksumList, files.recordCount(), &problem);
        return ContentsFile::Parsed{std::move(folders), std::move(files), std::move(checksums), problem};
    }

private:
    static constexpr qsizetype kWorthAThread = qsizetype(1) << 20;
    static constexpr qsizetype kHandOver = 512 * 1024;

    struct Arrival {
        int which = -1;
        const char *data = nullptr;
        qsizetype capacity = 0;
        qsizetype available = 0;
        bool operator==(const Arrival &) const = default;
    };
    struct List {
        std::optional<ContentsList::Builder> builder;
        const char *data = nullptr;

        void feed(const char *bytes, qsizetype capacity, qsizetype available)
        {
            if (bytes != data) { // a list the cabinet holds twice: the later one counts
                data = bytes;
                builder.emplace(data, capacity);
            }
            builder->advance(available);
        }
        ContentsList finish(QByteArray &&bytes)
        {
            if (builder && !bytes.isEmpty() && bytes.constData() == data)
                return builder->finish(std::move(bytes));
            return ContentsList::fromBytes(bytes);
        }
    };

    const QString m_folderListName;
    const QString m_fileListName;
    List m_lists[2];
    LatestWorker<Arrival> m_worker;
    // What was last handed over, on the decompressing thread.
    const char *m_handedData = nullptr;
    qsizetype m_handedSize = 0;
};
} // namespace

ContentsFile::Lists ContentsFile::read(const QString &dbFolder, const QString &serial)
{
    return readLists(dbFolder, serial);
}

ContentsFile::Lists ContentsFile::read(const QString &dbFolder, const QString &serial, const ListArrival &arrived)
{
    const QString dirName = serial + kFolderListExt;
    const QString fileName = serial + kFileListExt;
    return readLists(dbFolder, serial, [&](const TSTCabMember &m, const QByteArray &bytes) {
        if (bytes.isNull()) {
            arrived(-1, nullptr, 0, 0);
            return;
        }
        const int list = m.Name.compare(dirName, Qt::CaseInsensitive) == 0    ? 0
                         : m.Name.compare(fileName, Qt::CaseInsensitive) == 0 ? 1
                                                                              : -1;
        if (list >= 0)
            arrived(list, bytes.constData(), bytes.size(), bytes.capacity());
    });
}

QByteArray ContentsFile::readChecksumList(const QString &dbFolder, const QString &serial)
{
    return readLists(dbFolder, serial, {}, false).checksumList;
}

bool ContentsFile::hasChecksums(const QString &dbFolder, const QString &serial)
{
    const QString sumName = serial + kChecksumListExt;
    TSTCabReader reader;
    for (const TSTCabMember &m : reader.List(contentsFileName(dbFolder, serial), true, false))
        if (m.Name.compare(sumName, Qt::CaseInsensitive) == 0)
            return m.Size > 0;
    return false;
}

ContentsFile::Parsed ContentsFile::load(const QString &dbFolder, const QString &serial)
{
    ArrivingLists arriving(serial + kFolderListExt, serial + kFileListExt);
    Lists lists = readLists(dbFolder, serial,
                            [&arriving](const TSTCabMember &m, const QByteArray &data) { arriving.arrived(m, data); });
    try {
        Parsed parsed = arriving.finish(std::move(lists));
        if (!parsed.checksumProblem.isEmpty())
            parsed.checksumProblem = QStringLiteral("\"%1\": %2").arg(
                QDir::toNativeSeparators(contentsFileName(dbFolder, serial)), parsed.checksumProblem);
        return parsed;
    } catch (const QuilloryError &e) {
        throw cannotRead(contentsFileName(dbFolder, serial), e.message());
    }
}

namespace
{
// Sieves the two lists as the decompressor makes them: a large list on a second thread, which
// takes the blocks in pieces of half a megabyte (a wake-up per block would cost more than the
// block), while the decompressor goes on; a small list right away.
class SievingLists
{
public:
    explicit SievingLists(const QStringList &folders) : m_folders(folders) {}
    ~SievingLists() { stopWorker(); }

    // On the decompressing thread: a list begins (list 0 the folders, 1 the files).
    void begin(int which, qint64 size)
    {
        handOver();
        if (!m_worker.joinable() && size >= kWorthAThread)
            m_worker = std::thread([this] { work(); });
        push({which, QByteArray()});
    }
    // The next bytes of the list begun last; false when there is no point in reading on.
    bool add(QByteArrayView bytes)
    {
        if (!m_worker.joinable())
            return m_current->add(bytes);
        if (m_piece.capacity() < kPiece)
            m_piece.reserve(kPiece);
        m_piece.append(bytes);
        if (m_piece.size() >= kPiece)
            handOver();
        return !m_stopped.load(std::memory_order_relaxed);
    }
    // The kept records of each list (none for a list that is not UTF-8); throws QuilloryError
    // for a list beyond the limits.
    std::optional<ContentsList> finish(int which)
    {
        handOver();
        stopWorker();
        if (m_failure)
            std::rethrow_exception(m_failure);
        return m_sieves[which] ? m_sieves[which]->finish() : ContentsList();
    }

private:
    static constexpr qint64 kWorthAThread = qint64(1) << 20;
    static constexpr qsizetype kPiece = 512 * 1024;
    // Pieces waiting at most: the decompressor waits rather than run far ahead.
    static constexpr size_t kQueued = 8;

    struct Item {
        int begins = -1; // the list that begins here, or -1 for bytes of the current one
        QByteArray bytes;
    };

    // Where an item goes on the sieving thread, or at once without one.
    void take(Item &item)
    {
        if (item.begins >= 0)
            m_current = &m_sieves[item.begins].emplace(m_folders);
        else if (m_current && !m_current->add(item.bytes))
            m_stopped = true;
    }

    void handOver()
    {
        if (m_piece.isEmpty())
            return;
        push({-1, std::move(m_piece)});
        m_piece = QByteArray();
        if (!m_spare.empty()) {
            m_piece = std::move(m_spare.back());
            m_spare.pop_back();
            m_piece.resize(0);
        }
    }

    void push(Item item)
    {
        if (!m_worker.joinable()) {
            take(item);
            return;
        }
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [&] { return m_queue.size() < kQueued; });
            m_queue.push_back(std::move(item));
            // Bytes the sieve has let go of come back for the next pieces.
            while (!m_returned.empty()) {
                m_spare.push_back(std::move(m_returned.back()));
                m_returned.pop_back();
            }
        }
        m_wake.notify_one();
    }

    void work()
    {
        try {
            std::unique_lock lock(m_mutex);
            for (;;) {
                m_wake.wait(lock, [&] { return m_done || !m_queue.empty(); });
                if (m_queue.empty())
                    return;
                Item item = std::move(m_queue.front());
                m_queue.pop_front();
                lock.unlock();
                m_room.notify_one();
                take(item);
                lock.lock();
                if (!item.bytes.isNull())
                    m_returned.push_back(std::move(item.bytes));
            }
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            m_failure = std::current_exception();
            m_stopped = true;
            m_queue.clear();
            m_room.notify_one();
        }
    }

    void stopWorker()
    {
        if (!m_worker.joinable())
            return;
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_worker.join();
    }

    const QStringList m_folders;
    // Touched by the sieving thread only while it runs, and by the caller's thread after.
    std::optional<ContentsList::Sieve> m_sieves[2];
    ContentsList::Sieve *m_current = nullptr;
    std::exception_ptr m_failure;
    std::atomic<bool> m_stopped{false};
    // The decompressing thread's piece being filled, and pieces to fill next.
    QByteArray m_piece;
    std::vector<QByteArray> m_spare;
    std::thread m_worker;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_room;
    std::deque<Item> m_queue;          // guarded by m_mutex
    std::vector<QByteArray> m_returned; // guarded by m_mutex
    bool m_done = false;                // guarded by m_mutex
};
} // namespace

ContentsFile::OneFolder ContentsFile::loadFolder(const QString &dbFolder, const QString &serial, const QString &path)
{
    const QString dirName = serial + kFolderListExt;
    const QString fileName = serial + kFileListExt;
    const QString contents = contentsFileName(dbFolder, serial);
    // A list the cabinet holds twice: the later one counts, as in read().
    SievingLists sieving(ContentsList::foldersRead(path));
    const auto which = [&](const TSTCabMember &m) {
        return m.Name.compare(dirName, Qt::CaseInsensitive) == 0    ? 0
               : m.Name.compare(fileName, Qt::CaseInsensitive) == 0 ? 1
                                                                    : -1;
    };
    TSTCabReader reader;
    reader.ExtractToStream(
        contents,
        [&](const TSTCabMember &m) {
            if (which(m) < 0)
                return false;
            checkListSize(contents, m);
            return true;
        },
        [&](const TSTCabMember &m) { sieving.begin(which(m), m.Size); },
        [&](QByteArrayView bytes) { return sieving.add(bytes); }, MaxListBytes, true);
    std::optional<ContentsList> kept[2];
    try {
        for (int i = 0; i < 2; ++i)
            kept[i] = sieving.finish(i);
    } catch (const QuilloryError &e) {
        throw cannotRead(contents, e.message());
    }
    OneFolder out;
    if (kept[0] && kept[1]) {
        out.folders = std::move(*kept[0]);
        out.files = std::move(*kept[1]);
    } else {
        // A list made on Windows: made UTF-8 whole before its folders can be told apart.
        Parsed whole = load(dbFolder, serial);
        out.folders = std::move(whole.folders);
        out.files = std::move(whole.files);
    }
    out.folder = ContentsList::findFolder(out.folders, out.files, path);
    return out;
}
