#include "ImageScanner.h"

#include "Scanner.h"
#include "VolumeProbe.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include "core/SizeSum.h"
#include "store/ContentsRecord.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <climits>
#include <locale.h>
#include <memory>
#include <optional>
#include <udfread/blockinput.h>
#include <udfread/udfread.h>
#include <unistd.h>

namespace
{

QString imageFailure(const QString &image, const QString &why)
{
    return QStringLiteral("Cannot read the disc image \"%1\": %2").arg(QDir::toNativeSeparators(image), why);
}

// Joliet names come as UCS-2, which libarchive turns into the locale's character set: read
// under a UTF-8 locale, whatever the user's, no name is lost on the way.
class Utf8Locale
{
public:
    Utf8Locale() : m_utf8(::newlocale(LC_ALL_MASK, "C.UTF-8", locale_t(0)))
    {
        if (m_utf8)
            m_old = ::uselocale(m_utf8);
    }
    ~Utf8Locale()
    {
        if (m_utf8) {
            ::uselocale(m_old);
            ::freelocale(m_utf8);
        }
    }
    Utf8Locale(const Utf8Locale &) = delete;
    Utf8Locale &operator=(const Utf8Locale &) = delete;

private:
    locale_t m_utf8;
    locale_t m_old = LC_GLOBAL_LOCALE;
};

struct ArchiveCloser {
    void operator()(archive *a) const { archive_read_free(a); }
};
using Archive = std::unique_ptr<archive, ArchiveCloser>;

struct UdfCloser {
    void operator()(udfread *u) const { udfread_close(u); }
    void operator()(UDFDIR *d) const { udfread_closedir(d); }
    void operator()(UDFFILE *f) const { udfread_file_close(f); }
};
template <class T> using UdfHandle = std::unique_ptr<T, UdfCloser>;

// The image as libudfread reads it. libudfread takes a block it could not read for the end of a
// folder, so a read short of what was asked (a cut image) is remembered here and the image refused.
struct UdfInput : udfread_block_input {
    UdfInput(int fd, quint64 size)
        : udfread_block_input{nullptr, &readBlocks, &sizeInBlocks}, fd(fd),
          blocks(quint32(qMin<quint64>(size / UDF_BLOCK_SIZE, UINT32_MAX)))
    {
    }

    static int readBlocks(udfread_block_input *in, uint32_t lba, void *buf, uint32_t count, int)
    {
        auto *self = static_cast<UdfInput *>(in);
        const size_t want = size_t(count) * UDF_BLOCK_SIZE;
        const ssize_t got = ::pread(self->fd, buf, want, off_t(lba) * UDF_BLOCK_SIZE);
        if (got < 0 || size_t(got) != want)
            self->cut = true;
        return got < 0 ? -1 : int(size_t(got) / UDF_BLOCK_SIZE);
    }
    static uint32_t sizeInBlocks(udfread_block_input *in) { return static_cast<UdfInput *>(in)->blocks; }

    int fd;
    quint32 blocks;
    bool cut = false;
};

} // namespace

// The image's folders and files as its directories give them, the root first, with what the scan
// learned of each file. Either library fills it; one walk writes it.
class ImageScanner::Tree
{
public:
    Tree(Scanner &scanner, const QString &image)
        : s(scanner), m_image(image), m_imageSize(quint64(QFileInfo(image).size())), m_hasher(s.startHashing()),
          m_block(FileHasher::BlockSize)
    {
        m_nodes[0].folder = true;
        s.m_sinceEvents.start();
    }

    bool readIso(); // false when libarchive finds no ISO 9660 volume to open
    void readUdf();
    quint64 write();

private:
    struct Node {
        QByteArray name; // UTF-8, as the catalogue stores it
        bool folder = false;
        bool empty = true; // a folder with not a single entry, hidden ones included
        quint64 size = 0;
        qint64 mtime = 0;
        QStringList lines;                // what a reader found
        std::vector<ZipFile> zip;         // a ZIP archive's entries, when its reader listed them
        std::optional<XXH128_hash_t> sum; // its bytes' checksum, when checksums are computed
        std::vector<qsizetype> kids;      // files and subfolders, in the directory's order
    };

    QuilloryError failure(const QString &why) const { return QuilloryError(imageFailure(m_image, why)); }
    qsizetype add(qsizetype parent, Node &&n)
    {
        m_nodes.push_back(std::move(n));
        m_nodes[size_t(parent)].kids.push_back(qsizetype(m_nodes.size() - 1));
        return qsizetype(m_nodes.size() - 1);
    }
    // The gauge follows the image as it is read; the window hears of it a few times a second.
    void progress(quint64 at)
    {
        if (at > m_read && at <= m_imageSize) {
            s.advance(at - m_read);
            m_read = at;
        }
        s.pollEvents();
    }
    // The checksum and a reader's bytes of a file the list keeps, in one pass over its data:
    // pull(block, size) gives the next bytes, 0 at the end, and throws when they cannot be read.
    // pathOf() gives the file's path inside the image, for a problem's text.
    template <class PathOf, class Pull> void take(Node &n, const PathOf &pathOf, Pull &&pull);

    Scanner &s;
    const QString m_image;
    const quint64 m_imageSize;
    std::vector<Node> m_nodes = std::vector<Node>(1);
    quint64 m_read = 0;
    FileHasher *const m_hasher;
    std::vector<char> m_block;
    QByteArray m_bytes;
};

namespace
{

// ISO 9660 keeps a folder's records sorted by name; Joliet by UCS-2 code.
bool directoryOrder(const QByteArray &a, const QByteArray &b)
{
    const QString x = QString::fromUtf8(a), y = QString::fromUtf8(b);
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                        [](QChar p, QChar q) { return p.unicode() < q.unicode(); });
}

} // namespace

template <class PathOf, class Pull> void ImageScanner::Tree::take(Node &n, const PathOf &pathOf, Pull &&pull)
{
    if (!s.listsFile(n.name, n.size))
        return;
    const auto where = [&] { return QDir::toNativeSeparators(m_image + u'/' + QString::fromUtf8(pathOf())); };
    bool reads = s.readsBytes(n.name);
    if (reads && n.size > quint64(MaxReadBytes)) {
        s.m_problems.append({where(), QStringLiteral("too large to be read inside a disc image")});
        reads = false;
    }
    if (!reads && !m_hasher)
        return;
    m_bytes.clear();
    if (reads)
        m_bytes.reserve(qsizetype(n.size));
    if (m_hasher)
        m_hasher->start();
    while (const size_t chunk = pull(m_block.data(), m_block.size())) {
        if (m_hasher)
            m_hasher->add(m_block.data(), chunk);
        if (reads)
            m_bytes.append(m_block.data(), qsizetype(chunk));
    }
    if (m_hasher)
        n.sum = m_hasher->digest();
    if (!reads)
        return;
    QBuffer device(&m_bytes);
    device.open(QIODevice::ReadOnly);
    try {
        s.readBytes(n.name, device, n.lines, n.zip);
    } catch (const QuilloryError &e) {
        // Bytes in memory do not fail to read: what the reader met is in the file.
        n.lines.clear();
        n.zip.clear();
        s.m_problems.append({where(), e.message()});
    }
}

bool ImageScanner::Tree::readIso()
{
    const Utf8Locale utf8;
    Archive a(archive_read_new());
    if (!a)
        throw failure(QStringLiteral("out of memory"));
    archive_read_support_format_iso9660(a.get());
    const auto failed = [&] {
        const char *why = archive_error_string(a.get());
        return failure(why ? QString::fromLocal8Bit(why) : QStringLiteral("damaged image"));
    };
    if (archive_read_open_filename(a.get(), QFile::encodeName(m_image).constData(), 1 << 16) != ARCHIVE_OK)
        return false;

    QHash<QByteArray, qsizetype> byPath{{QByteArray(), 0}};
    // The folder of a path, made when the image names a file before its folder.
    const auto folderOf = [&](const QByteArray &path) {
        qsizetype at = 0, from = 0;
        while (from < path.size()) {
            qsizetype slash = path.indexOf('/', from);
            if (slash < 0)
                break;
            const QByteArray sub = path.left(slash);
            auto it = byPath.constFind(sub);
            if (it == byPath.cend()) {
                Node n;
                n.folder = true;
                n.name = path.mid(from, slash - from);
                m_nodes[size_t(at)].empty = false;
                it = byPath.insert(sub, add(at, std::move(n)));
            }
            at = it.value();
            from = slash + 1;
        }
        return at;
    };
    const auto progressed = [&] { progress(quint64(std::max<la_int64_t>(0, archive_filter_bytes(a.get(), -1)))); };

    // Rock Ridge links, found once the whole tree is known.
    struct Link {
        qsizetype parent;
        QByteArray name, folder, target;
    };
    std::vector<Link> links;
    QHash<QByteArray, qsizetype> linkAt;
    for (;;) {
        archive_entry *entry = nullptr;
        const int r = archive_read_next_header(a.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            throw failed();
        progressed();
        const char *utf8Path = archive_entry_pathname_utf8(entry);
        QByteArray path = utf8Path ? QByteArray(utf8Path) : TextCodec::fileNameToUtf8(archive_entry_pathname(entry));
        if (path.startsWith("./"))
            path.remove(0, 2);
        while (path.endsWith('/'))
            path.chop(1);
        if (path.isEmpty() || path == ".")
            continue; // the root: its own folder has no record
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray name = path.mid(slash + 1);
        const QByteArray above = path.left(slash + 1);
        if (s.m_options.skipHidden && (above.startsWith('.') || above.contains("/.")))
            continue; // inside a hidden folder
        const qsizetype parent = folderOf(path);
        m_nodes[size_t(parent)].empty = false;
        const auto type = archive_entry_filetype(entry);
        QByteArray hardlink = archive_entry_hardlink(entry);
        if (hardlink.startsWith("./"))
            hardlink.remove(0, 2);
        if (s.m_options.skipHidden && name.startsWith('.'))
            continue;
        if (type == AE_IFLNK && hardlink.isEmpty()) {
            links.push_back({parent, name, above, archive_entry_symlink(entry)});
            continue;
        }
        // Devices and pipes are no contents; a file's second name (its data shared with another) is a file.
        if (type != AE_IFDIR && type != AE_IFREG && hardlink.isEmpty())
            continue;
        // A folder named before by one of its files. Two names that read alike only once made
        // UTF-8 (caf\xe9 and café) are two entries still, as a folder scan lists them.
        if (const auto known = byPath.constFind(path);
            type == AE_IFDIR && known != byPath.cend() && m_nodes[size_t(known.value())].folder) {
            m_nodes[size_t(known.value())].mtime = qint64(archive_entry_mtime(entry));
            continue;
        }
        Node n;
        n.name = name;
        n.folder = type == AE_IFDIR;
        n.mtime = qint64(archive_entry_mtime(entry));
        n.size = n.folder ? 0 : quint64(std::max<la_int64_t>(0, archive_entry_size(entry)));
        if (!hardlink.isEmpty() && n.size == 0) {
            const auto target = byPath.constFind(hardlink);
            if (target != byPath.cend() && !m_nodes[size_t(target.value())].folder) {
                const Node &t = m_nodes[size_t(target.value())];
                n.size = t.size;
                n.lines = t.lines;
                n.zip = t.zip;
                n.sum = t.sum;
            }
        } else if (!n.folder) {
            // The image reads front to back only: the checksum and a reader's bytes come in one pass.
            take(
                n, [&] { return path; },
                [&](char *block, size_t size) {
                    const la_ssize_t chunk = archive_read_data(a.get(), block, size);
                    if (chunk < 0)
                        throw failed();
                    progressed();
                    return size_t(chunk);
                });
        }
        byPath.insert(path, add(parent, std::move(n)));
    }
    progressed();
    m_bytes = QByteArray();

    // As on the mounted disc, a link to a file stands for that file, and a link to a folder, one
    // that leads nowhere or off the disc (a path from the root of the system) is left out.
    for (size_t i = 0; i < links.size(); ++i)
        linkAt.insert(links[i].folder + links[i].name, qsizetype(i));
    // Followed one name at a time, since a folder on the way may be a link itself.
    const auto resolve = [&](const Link &link) -> const Node * {
        QList<QByteArray> at = link.folder.split('/'), ahead = link.target.split('/');
        at.removeAll(QByteArray());
        if (link.target.startsWith('/'))
            return nullptr;
        int hops = 0;
        while (!ahead.isEmpty()) {
            const QByteArray part = ahead.takeFirst();
            if (part.isEmpty() || part == ".")
                continue;
            if (part == "..") {
                if (at.isEmpty())
                    return nullptr;
                at.removeLast();
                continue;
            }
            const QByteArray path = (at + QList<QByteArray>{part}).join('/');
            if (const auto node = byPath.constFind(path); node != byPath.cend()) {
                const Node &found = m_nodes[size_t(node.value())];
                if (!found.folder)
                    return ahead.isEmpty() ? &found : nullptr;
                at << part;
                continue;
            }
            const auto next = linkAt.constFind(path);
            if (next == linkAt.cend() || ++hops > MaxLinkHops)
                return nullptr;
            const QByteArray &target = links[size_t(next.value())].target;
            if (target.startsWith('/'))
                return nullptr;
            ahead = target.split('/') + ahead;
        }
        return nullptr; // a folder
    };
    for (const Link &link : links) {
        const Node *file = resolve(link);
        if (!file)
            continue;
        Node n = *file;
        n.name = link.name;
        if (!s.readsBytes(n.name)) {
            n.lines.clear();
            n.zip.clear();
        }
        add(link.parent, std::move(n));
    }
    return true;
}

// libudfread gives no file times (1.1): every entry takes the time the volume's file set was
// recorded. Nor does it tell a link from a file; UDF links are rare enough to be listed as files.
void ImageScanner::Tree::readUdf()
{
    const VolumeProbeResult probe = VolumeProbe::probeFile(m_image);
    if (probe.fileSystem != u"UDF")
        throw failure(QStringLiteral("it holds no ISO 9660 or UDF volume"));
    QFile file(m_image);
    if (!file.open(QIODevice::ReadOnly))
        throw failure(file.errorString());
    UdfInput input(file.handle(), m_imageSize);
    const auto damaged = [&] { return failure(QStringLiteral("its UDF volume is damaged or cut short")); };
    UdfHandle<udfread> udf(udfread_init());
    if (!udf)
        throw failure(QStringLiteral("out of memory"));
    // libudfread reads volumes of 2048-byte blocks only, as optical discs have.
    if (udfread_open_input(udf.get(), &input) < 0)
        throw failure(QStringLiteral("its UDF volume is damaged or not of 2048-byte blocks"));

    // Every entry has a block of its own on the image: more than that is a folder that holds itself.
    const quint64 mostEntries = input.blocks;
    std::vector<qsizetype> parentOf(1, -1);
    const auto pathOf = [&](qsizetype i) {
        QByteArrayList names;
        for (; i > 0; i = parentOf[size_t(i)])
            names.prepend(m_nodes[size_t(i)].name);
        return names.join('/');
    };
    struct Open {
        UdfHandle<UDFDIR> dir;
        qsizetype node;
    };
    std::vector<Open> open; // folders read but not yet walked: the nesting costs no stack
    open.push_back({UdfHandle<UDFDIR>(udfread_opendir(udf.get(), "/")), 0});
    quint64 passed = 0;
    while (!open.empty() && !input.cut) {
        const Open o = std::move(open.back());
        open.pop_back();
        if (!o.dir)
            throw damaged();
        udfread_dirent entry;
        while (udfread_readdir(o.dir.get(), &entry)) {
            const QByteArray name(entry.d_name);
            if (name.isEmpty() || name == "." || name == "..")
                continue;
            m_nodes[size_t(o.node)].empty = false;
            if (s.m_options.skipHidden && name.startsWith('.'))
                continue;
            if (m_nodes.size() > mostEntries)
                throw damaged();
            Node n;
            n.name = name;
            n.mtime = probe.recorded;
            if (entry.d_type == UDF_DT_DIR) {
                n.folder = true;
                UdfHandle<UDFDIR> sub(udfread_opendir_at(o.dir.get(), entry.d_name));
                open.push_back({std::move(sub), add(o.node, std::move(n))});
                parentOf.push_back(o.node);
                continue;
            }
            if (entry.d_type != UDF_DT_REG)
                continue;
            const UdfHandle<UDFFILE> f(udfread_file_openat(o.dir.get(), entry.d_name));
            const int64_t size = f ? udfread_file_size(f.get()) : -1;
            if (size < 0)
                throw damaged();
            n.size = quint64(size);
            // A file left unread must still lie inside the image.
            if (size > 0 && udfread_file_lba(f.get(), uint32_t((size - 1) / UDF_BLOCK_SIZE)) >= input.blocks)
                throw damaged();
            take(
                n, [&] { return (pathOf(o.node) + '/' + name).mid(o.node ? 0 : 1); },
                [&](char *block, size_t want) {
                    const ssize_t chunk = udfread_file_read(f.get(), block, want);
                    if (chunk < 0 || input.cut)
                        throw damaged();
                    progress(passed + quint64(udfread_file_tell(f.get())));
                    return size_t(chunk);
                });
            passed += n.size;
            progress(passed);
            add(o.node, std::move(n));
            parentOf.push_back(o.node);
        }
    }
    if (input.cut)
        throw damaged();
    m_bytes = QByteArray();
}

quint64 ImageScanner::Tree::write()
{
    for (Node &n : m_nodes)
        std::sort(n.kids.begin(), n.kids.end(), [&](qsizetype x, qsizetype y) {
            return directoryOrder(m_nodes[size_t(x)].name, m_nodes[size_t(y)].name);
        });

    // The walk writes what a scan of the mounted disc writes. Rock Ridge and UDF let folders nest
    // as deep as the image is large, so the walk keeps its own stack, and one path of each kind.
    QByteArray where = QFile::encodeName(QDir::toNativeSeparators(m_image)) + '/'; // for the problems
    s.m_catalogPath = ContentsRecord::RootFolder.toByteArray();
    struct Open {
        const Node *folder;
        size_t next = 0; // the entry looked at next for a subfolder
        quint64 total = 0;
        qsizetype catalogBack, whereBack; // where the paths of the folder above end
    };
    std::vector<Open> open;
    const auto enter = [&](const Node &folder, qsizetype catalogBack, qsizetype whereBack) {
        Open o{&folder, 0, 0, catalogBack, whereBack};
        for (qsizetype k : folder.kids) {
            const Node &f = m_nodes[size_t(k)];
            if (f.folder || !s.listsFile(f.name, f.size))
                continue;
            addCapped(o.total, f.size);
            // An archive whose entries would not fit on a line is listed as a plain file.
            const bool zip = f.lines.contains(QString::fromLatin1(ContentsRecord::CompressedFolder));
            const QByteArray archivePath = zip ? s.subfolderPath(f.name, where + f.name) : QByteArray();
            s.m_files.writeScannedFile(f.name, s.m_catalogPath, f.size, s.listDate(f.mtime),
                                       zip && archivePath.isEmpty() ? QStringList() : f.lines);
            s.writeChecksum(f.sum ? &*f.sum : nullptr);
            if (!archivePath.isEmpty())
                for (const ZipFile &z : f.zip)
                    s.ZipReadFile(z, QString::fromUtf8(archivePath));
        }
        open.push_back(o);
    };
    enter(m_nodes[0], s.m_catalogPath.size(), where.size());
    for (;;) {
        Open &o = open.back();
        const Node *sub = nullptr;
        const qsizetype catalogBack = s.m_catalogPath.size(), whereBack = where.size();
        while (!sub && o.next < o.folder->kids.size()) {
            const Node &d = m_nodes[size_t(o.folder->kids[o.next++])];
            if (!d.folder || !s.keepsFolder(d.name))
                continue;
            QByteArray path = s.subfolderPath(d.name, where + d.name);
            if (path.isEmpty()) {
                s.writeFolderRecord(d.name, 0, d.mtime, false);
                continue;
            }
            s.m_catalogPath = std::move(path);
            where.append(d.name).append('/');
            sub = &d;
        }
        if (sub) {
            enter(*sub, catalogBack, whereBack); // o is gone from here on
            continue;
        }
        if (open.size() == 1)
            break;
        const Open done = open.back();
        open.pop_back();
        s.m_catalogPath.truncate(done.catalogBack);
        where.truncate(done.whereBack);
        addCapped(open.back().total, done.total);
        s.writeFolderRecord(done.folder->name, done.total, done.folder->mtime, done.folder->empty);
    }
    s.flush();
    return open.back().total;
}

quint64 ImageScanner::Scan(const QString &image)
{
    m_scanner.m_problems.clear();
    Tree tree(m_scanner, image);
    if (!tree.readIso())
        tree.readUdf();
    return tree.write();
}

DiscVolume ImageScanner::volumeOf(const QString &image)
{
    QFileInfo info(image);
    if (!info.isFile())
        throw QuilloryError(imageFailure(image, info.isDir() ? QStringLiteral("it is a folder, not an image file")
                                                             : QStringLiteral("no such file")));
    const VolumeProbeResult probe = VolumeProbe::probeFile(image);
    // The probe also knows the volumes of hard disks and sticks (for the lines of .iso files),
    // which this scanner cannot walk: refused here, before a title is typed for them.
    if (!probe.valid || (probe.fileSystem != u"CDFS" && probe.fileSystem != u"UDF"))
        throw QuilloryError(imageFailure(
            image, probe.valid ? QStringLiteral("its volume is %1, not ISO 9660 or UDF").arg(probe.fileSystem)
                               : QStringLiteral("it holds no ISO 9660 or UDF volume")));
    DiscVolume v;
    v.image = info.absoluteFilePath();
    v.label = probe.label;
    v.serial = VolumeProbe::serialText(probe.serial);
    v.fileSystem = probe.fileSystem;
    v.totalSize = quint64(info.size());
    return v;
}
