#include "ImageScanner.h"

#include "Scanner.h"
#include "VolumeProbe.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

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
#include <locale.h>
#include <memory>
#include <optional>

namespace
{

// One entry of the image, as its directory gives it.
struct Node {
    QByteArray name; // UTF-8, as the catalogue stores it
    bool folder = false;
    bool empty = true; // a folder with not a single entry, hidden ones included
    quint64 size = 0;
    qint64 mtime = 0;
    QStringList lines;           // what a reader found
    std::vector<ZipFile> zip;    // a ZIP archive's entries, when its reader listed them
    std::optional<XXH128_hash_t> sum; // its bytes' checksum, when checksums are computed
    std::vector<qsizetype> kids; // files and subfolders, in the directory's order
};

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

// ISO 9660 keeps a folder's records sorted by name; Joliet by UCS-2 code.
bool directoryOrder(const Node &a, const Node &b)
{
    const QString x = QString::fromUtf8(a.name), y = QString::fromUtf8(b.name);
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                        [](QChar p, QChar q) { return p.unicode() < q.unicode(); });
}

} // namespace

quint64 ImageScanner::Scan(const QString &image)
{
    Scanner &s = m_scanner;
    s.m_problems.clear();
    const Utf8Locale utf8;
    Archive a(archive_read_new());
    if (!a)
        throw QuilloryError(imageFailure(image, QStringLiteral("out of memory")));
    archive_read_support_format_iso9660(a.get());
    const auto failure = [&] {
        const char *why = archive_error_string(a.get());
        return QuilloryError(imageFailure(image, why ? QString::fromLocal8Bit(why) : QStringLiteral("damaged image")));
    };
    if (archive_read_open_filename(a.get(), QFile::encodeName(image).constData(), 1 << 16) != ARCHIVE_OK)
        throw failure();

    std::vector<Node> nodes(1); // the root first
    nodes[0].folder = true;
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
                nodes.push_back(std::move(n));
                it = byPath.insert(sub, qsizetype(nodes.size() - 1));
                nodes[size_t(at)].kids.push_back(it.value());
                nodes[size_t(at)].empty = false;
            }
            at = it.value();
            from = slash + 1;
        }
        return at;
    };

    const quint64 imageSize = quint64(QFileInfo(image).size());
    quint64 read = 0;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    // The gauge follows the image as it is read; the window hears of it a few times a second.
    const auto progress = [&] {
        const la_int64_t at = archive_filter_bytes(a.get(), -1);
        if (at > 0 && quint64(at) > read && quint64(at) <= imageSize) {
            s.advance(quint64(at) - read);
            read = quint64(at);
        }
        if (s.m_processEvents && sinceEvents.hasExpired(Scanner::ProgressIntervalMs)) {
            sinceEvents.start();
            s.m_processEvents();
        }
    };

    // Rock Ridge links, found once the whole tree is known.
    struct Link {
        qsizetype parent;
        QByteArray name, folder, target;
    };
    std::vector<Link> links;
    QHash<QByteArray, qsizetype> linkAt;
    QByteArray bytes;
    FileHasher *const hasher = s.startHashing();
    std::vector<char> block(FileHasher::BlockSize);
    for (;;) {
        archive_entry *entry = nullptr;
        const int r = archive_read_next_header(a.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            throw failure();
        progress();
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
        nodes[size_t(parent)].empty = false;
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
        if (byPath.contains(path)) { // a folder named before by one of its files
            if (type == AE_IFDIR)
                nodes[size_t(byPath.value(path))].mtime = qint64(archive_entry_mtime(entry));
            continue;
        }
        Node n;
        n.name = name;
        n.folder = type == AE_IFDIR;
        n.mtime = qint64(archive_entry_mtime(entry));
        n.size = n.folder ? 0 : quint64(std::max<la_int64_t>(0, archive_entry_size(entry)));
        if (!hardlink.isEmpty() && n.size == 0) {
            const auto target = byPath.constFind(hardlink);
            if (target != byPath.cend() && !nodes[size_t(target.value())].folder) {
                const Node &t = nodes[size_t(target.value())];
                n.size = t.size;
                n.lines = t.lines;
                n.zip = t.zip;
                n.sum = t.sum;
            }
        } else if (!n.folder && s.listsFile(n.name, n.size)) {
            const QString where = QDir::toNativeSeparators(image + u'/' + QString::fromUtf8(path));
            bool reads = s.readsBytes(n.name);
            if (reads && n.size > quint64(MaxReadBytes)) {
                s.m_problems.append({where, QStringLiteral("too large to be read inside a disc image")});
                reads = false;
            }
            // The image reads front to back only: the checksum and a reader's bytes come in one pass.
            if (reads || hasher) {
                bytes.clear();
                if (reads)
                    bytes.reserve(qsizetype(n.size));
                if (hasher)
                    hasher->start();
                for (;;) {
                    const la_ssize_t chunk = archive_read_data(a.get(), block.data(), block.size());
                    if (chunk < 0)
                        throw failure();
                    if (chunk == 0)
                        break;
                    if (hasher)
                        hasher->add(block.data(), size_t(chunk));
                    if (reads)
                        bytes.append(block.data(), chunk);
                    progress();
                }
                if (hasher)
                    n.sum = hasher->digest();
            }
            if (reads) {
                QBuffer device(&bytes);
                device.open(QIODevice::ReadOnly);
                try {
                    s.readBytes(n.name, device, n.lines, n.zip);
                } catch (const QuilloryError &e) {
                    // Bytes in memory do not fail to read: what the reader met is in the file.
                    n.lines.clear();
                    n.zip.clear();
                    s.m_problems.append({where, e.message()});
                }
            }
        }
        nodes.push_back(std::move(n));
        byPath.insert(path, qsizetype(nodes.size() - 1));
        nodes[size_t(parent)].kids.push_back(qsizetype(nodes.size() - 1));
    }
    progress();
    bytes = QByteArray();

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
                const Node &found = nodes[size_t(node.value())];
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
        nodes.push_back(std::move(n));
        nodes[size_t(link.parent)].kids.push_back(qsizetype(nodes.size() - 1));
    }
    a.reset();

    for (Node &n : nodes)
        std::sort(n.kids.begin(), n.kids.end(),
                  [&](qsizetype x, qsizetype y) { return directoryOrder(nodes[size_t(x)], nodes[size_t(y)]); });

    // The walk writes what a scan of the mounted disc writes. Rock Ridge lets folders nest as
    // deep as the image is large, so the walk keeps its own stack, and one path of each kind.
    QByteArray where = QFile::encodeName(QDir::toNativeSeparators(image)) + '/'; // for the problems
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
            const Node &f = nodes[size_t(k)];
            if (f.folder || !s.listsFile(f.name, f.size))
                continue;
            o.total += f.size;
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
    enter(nodes[0], s.m_catalogPath.size(), where.size());
    for (;;) {
        Open &o = open.back();
        const Node *sub = nullptr;
        const qsizetype catalogBack = s.m_catalogPath.size(), whereBack = where.size();
        while (!sub && o.next < o.folder->kids.size()) {
            const Node &d = nodes[size_t(o.folder->kids[o.next++])];
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
        open.back().total += done.total;
        s.writeFolderRecord(done.folder->name, done.total, done.folder->mtime, done.folder->empty);
    }
    s.flush();
    return open.back().total;
}

DiscVolume ImageScanner::volumeOf(const QString &image)
{
    QFileInfo info(image);
    if (!info.isFile())
        throw QuilloryError(imageFailure(image, QStringLiteral("no such file")));
    const VolumeProbeResult probe = VolumeProbe::probeFile(image);
    if (!probe.valid)
        throw QuilloryError(imageFailure(image, QStringLiteral("it holds no ISO 9660 or UDF volume")));
    DiscVolume v;
    v.image = info.absoluteFilePath();
    v.label = probe.label;
    v.serial = VolumeProbe::serialText(probe.serial);
    v.fileSystem = probe.fileSystem;
    v.totalSize = quint64(info.size());
    return v;
}
