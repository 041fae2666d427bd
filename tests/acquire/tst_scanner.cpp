#include "CabTestUtil.h"
#include "ScanFixture.h"
#include "ZeroPaddedDevice.h"

#include "acquire/ImageScanner.h"
#include "acquire/MediaReaders.h"
#include "acquire/TMPEGaudio.h"
#include "acquire/TZipFile.h"
#include "acquire/VolumeProbe.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace ScanFixture;
using CabTestUtil::readFile;

namespace
{

template <typename T> QByteArray le(T v)
{
    QByteArray b(sizeof v, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

template <typename T> QByteArray be(T v)
{
    QByteArray b(sizeof v, '\0');
    qToBigEndian(v, b.data());
    return b;
}

// Frames of MPEG-1 layer III, 128 kbit/s, 44100 Hz, joint stereo: 417 bytes each.
QByteArray frames(int count)
{
    QByteArray f("\xFF\xFB\x90\x40", 4);
    f.resize(417, '\0');
    return f.repeated(count);
}

QByteArray id3v2(int major, const QByteArray &frames)
{
    const quint32 size = quint32(frames.size());
    QByteArray tag("ID3");
    tag += char(major) + QByteArray(2, '\0');
    for (int shift : {21, 14, 7, 0})
        tag += char((size >> shift) & 0x7F);
    return tag + frames;
}

QByteArray id3Frame(const QByteArray &id, const QByteArray &data)
{
    return id + be(quint32(data.size())) + QByteArray(2, '\0') + data;
}

// An ID3v2 text frame's data: the encoding byte 0 (ISO-8859-1) and the text.
QByteArray text(const char *s)
{
    return QByteArray(1, '\0') + s;
}

QByteArray id3v1(QByteArray title, QByteArray artist, QByteArray album)
{
    for (QByteArray *f : {&title, &artist, &album})
        f->resize(30, '\0');
    QByteArray tag = "TAG" + title + artist + album;
    tag.resize(128, '\0');
    return tag;
}

QByteArray wavHeader(quint16 format, quint16 channels, quint32 rate, quint16 bits, quint32 dataBytes)
{
    return "RIFF" + le(36 + dataBytes) + "WAVEfmt " + le(16u) + le(format) + le(channels) + le(rate) +
           le(rate * channels * bits / 8) + le(quint16(channels * bits / 8)) + le(bits) + "data" + le(dataBytes);
}

// The first 58 bytes of an Ogg Vorbis file: a page header of 28 bytes and the identification packet.
QByteArray oggStart(quint8 channels, quint32 rate, qint32 nominal)
{
    const QByteArray packet = "\x01vorbis" + le(0u) + QByteArray(1, char(channels)) + le(rate) + le(0u) + le(nominal) +
                              le(0u) + QByteArray(2, '\0');
    return "OggS" + QByteArray(24, '\0') + packet.left(30);
}

QString size(int width, int height)
{
    return u"Width: %1|Height:%2"_s.arg(width).arg(height);
}

// A device that opens but whose every read fails, as a damaged disc does.
class FailingDevice : public QIODevice
{
public:
    FailingDevice() { open(QIODevice::ReadOnly); }
    qint64 size() const override { return 4096; }

protected:
    qint64 readData(char *, qint64) override
    {
        setErrorString(u"Input/output error"_s);
        return -1;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
};

} // namespace

// The scanner on real folder trees, ZIP archives as Python reads them, disc images made by xorriso and genisoimage,
// and the metadata readers on the files of tests/data/media/make-fixtures.sh and on hand-built edge cases.
class TestScanner : public QObject
{
    Q_OBJECT

    // A fixed time whose text is known, with an odd second that the lists round down.
    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 31)};
    const QString m_whenText = u"3/1/2004 10:20:30 AM"_s;

    QString m_root, m_work; // the volume scanned, where archives are made
    std::unique_ptr<QTemporaryDir> m_dir, m_images; // the test's, and the disc images the tests share
    QString m_tree;                                 // the images' folder tree

    QString path(const QString &rel) const { return m_root + rel; }
    void file(const QString &rel, int size) { QVERIFY(writeFile(path(rel), QByteArray(size, 'x'), m_when)); }
    void folder(const QString &rel) { QVERIFY(QDir().mkpath(path(rel))); }
    // Folder times last: writing into a folder moves its time.
    void stampFolders(const QStringList &rels)
    {
        for (const QString &r : rels)
            QVERIFY(setMtime(path(r), m_when));
    }

    static QString dataPath(const QString &rel) { return QStringLiteral(QUILLORY_TEST_DATA "/") + rel; }

    // The first lines of the records, sorted: files, then folders after a bar.
    static QString listed(const ScanResult &r)
    {
        QStringList files = records(r.files, true), folders = records(r.folders, true);
        files.sort();
        folders.sort();
        return QString(files.join(u' ') + u" | "_s + folders.join(u' ')).remove(u'\\');
    }

    // A chain of depth folders named link, made by relative steps (no path reaches its bottom), holding "deep.jpg",
    // "pack.zip" and the folders "e" and "f" with a small file each; every time the test's, folders' last.
    bool makeDeepChain(const QString &root, int depth, const QByteArray &link, const QString &picture,
                       const QString &archive)
    {
        const QString script = uR"(
import os, shutil, sys
depth, link, t = int(sys.argv[1]), sys.argv[2], int(sys.argv[5])
for _ in range(depth):
    os.mkdir(link); os.chdir(link)
for name, src in (('deep.jpg', sys.argv[3]), ('pack.zip', sys.argv[4])):
    open(name, 'wb').write(open(src, 'rb').read() if os.path.isfile(src) else src.encode())
for sub in 'ef':
    os.mkdir(sub); open(sub + '/' + sub + '.txt', 'w').write('1'); os.utime(sub + '/' + sub + '.txt', (t, t))
    os.utime(sub, (t, t))
for name in ('deep.jpg', 'pack.zip'):
    os.utime(name, (t, t))
for _ in range(depth):
    os.utime('.', (t, t)); os.chdir('..')
)"_s;
        return run(root, u"python3"_s,
                   {u"-c"_s, script, QString::number(depth), QString::fromLatin1(link), picture, archive,
                    QString::number(m_when.toSecsSinceEpoch())});
    }
    // Qt removes by whole paths and by names it can decode, which a chain deeper than the
    // longest path or bytes that are not UTF-8 defeat.
    void removeVolume() { run(m_dir->path(), u"rm"_s, {u"-rf"_s, u"vol"_s}); }

    // Python's view of the archive, in local-header order: "name|compressed size|time" for each entry.
    QStringList reference(const QString &zipPath)
    {
        const QByteArray script = R"(
import sys, zipfile
for i in sorted(zipfile.ZipFile(sys.argv[1]).infolist(), key=lambda i: i.header_offset):
    fields = (i.filename.encode(), i.compress_size) + i.date_time
    sys.stdout.buffer.write(b'%s|%d|%04d-%02d-%02d %02d:%02d:%02d\n' % fields)
)";
        QByteArray out;
        return run(m_work, u"python3"_s, {u"-c"_s, QString::fromUtf8(script), zipPath}, {}, &out)
                   ? QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    }

    // Our view, the same way, or the names alone.
    static QStringList entries(const QByteArray &bytes, bool names = false)
    {
        QByteArray copy = bytes;
        QBuffer b(&copy);
        b.open(QIODevice::ReadOnly);
        TZipFile zip;
        QStringList seen;
        zip.OnReadFile = [&](const ZipFile &e) {
            const QString when = ZipDateTime(e.ModDate, e.ModTime).toString(u"yyyy-MM-dd HH:mm:ss"_s);
            seen << (names ? e.EntryName : u"%1|%2|%3"_s.arg(e.EntryName).arg(e.CompressedSize).arg(when));
        };
        zip.read(b);
        return seen;
    }

    bool python(const QString &script) { return run(m_work, u"python3"_s, {u"-c"_s, script}); }

    // Two entries, each with its sizes in its local header.
    QByteArray smallArchive()
    {
        if (!python(u"import zipfile\nwith zipfile.ZipFile('ok.zip', 'w') as z:\n"
                    "    z.writestr('a.txt', b'aaaa')\n    z.writestr('b/c.txt', b'cccccccc')\n"_s))
            return QByteArray();
        return readFile(m_work + u"ok.zip"_s);
    }

    // Every record as one text, sorted: the lists compared whatever order each folder gives; or its first line
    // alone, in the list's order.
    static QStringList records(const QByteArray &list, bool firstLines = false)
    {
        const ContentsList l = ContentsList::fromBytes(list);
        QStringList all;
        for (int i = 0; i < l.recordCount(); ++i)
            all << (firstLines ? l.line(i, 0) : l.lines(i).join(u'|'));
        if (!firstLines)
            all.sort();
        return all;
    }

    // The image the tests share, made at its first use by tool: "joliet", "rockridge", "udf" (a bridge disc),
    // "udf-only" or "links" (Rock Ridge, of a tree of links); empty when the tool is missing.
    QString image(const QString &tool)
    {
        const QString image = m_images->filePath(tool + u".iso"_s);
        return QFile::exists(image) || makeImage(tool, image) ? image : QString();
    }
    bool makeImage(const QString &tool, const QString &image)
    {
        if (tool == u"udf-only") {
            // The bridge disc without its ISO 9660 side: the recognition sequence from sector 16
            // (its CD001 descriptors, then BEA01, NSR02, TEA01) keeps only the UDF descriptors.
            const QString bridge = this->image(u"udf"_s);
            if (bridge.isEmpty())
                return false;
            QByteArray bytes = readFile(bridge);
            const qsizetype sector = 2048, iso = 16 * sector, udf = bytes.indexOf("BEA01", iso) - 1;
            if (udf < iso)
                return false;
            bytes.replace(iso, udf - iso + 3 * sector, bytes.mid(udf, 3 * sector) + QByteArray(udf - iso, '\0'));
            return writeFile(image, bytes);
        }
        if (tool == u"fat") { // a stick's volume: the probe knows it, the image scanner cannot walk it
            const QString mkfs = QStandardPaths::findExecutable(u"mkfs.vfat"_s, {u"/usr/sbin"_s, u"/sbin"_s});
            return !mkfs.isEmpty() && writeFile(image, QByteArray(2 << 20, '\0')) &&
                   run(m_images->path(), mkfs, {u"-n"_s, u"STICK"_s, image});
        }
        const QString tree = tool == u"links" ? m_images->filePath(u"links"_s) : m_tree;
        if (tool == u"links") {
            if (!writeFile(tree + u"/a.txt"_s, "12345", m_when) || !writeFile(tree + u"/Sub/f.txt"_s, "ff", m_when))
                return false;
            for (const auto &[link, target] : {std::pair{u"Sub/up.txt"_s, u"../a.txt"_s},
                                               {u"Alias"_s, u"Sub"_s},
                                               {u"thru.txt"_s, u"Alias/f.txt"_s},
                                               {u"gone.txt"_s, u"nothing"_s},
                                               {u"Sub/loop"_s, u"loop"_s}})
                QFile::link(target, tree + u'/' + link);
            // Two names that read alike once made UTF-8 are two entries all the same.
            for (const char *name : {"/Sub/caf\xe9.txt", "/Sub/caf\xc3\xa9.txt"}) {
                const QByteArray path = QFile::encodeName(tree) + name;
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
                const struct timespec when[2] = {{m_when.toSecsSinceEpoch(), 0}, {m_when.toSecsSinceEpoch(), 0}};
                if (fd < 0 || ::write(fd, "x", 1) != 1 || ::futimens(fd, when) != 0)
                    return false;
                ::close(fd);
            }
            setMtime(tree + u"/Sub"_s, m_when);
        }
        const QStringList common{u"-V"_s, u"MY_DISC"_s, u"-o"_s, image, tree};
        if (tool == u"udf")
            return run(m_images->path(), u"genisoimage"_s, QStringList{u"-quiet"_s, u"-udf"_s, u"-J"_s} + common);
        QStringList args{u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-J"_s, u"-joliet-long"_s};
        if (tool == u"rockridge" || tool == u"links")
            args << u"-R"_s;
        return run(m_images->path(), u"xorriso"_s, args + common);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Permissions do not bind the superuser, and unreadable folders are part of the test.
        if (::geteuid() == 0)
            QVERIFY(::setgid(65534) == 0 && ::setuid(65534) == 0);
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_images = std::make_unique<QTemporaryDir>();
        m_tree = m_images->filePath(u"tree"_s);
        const QString t = m_tree + u'/';
        QVERIFY(writeFile(t + u"a.txt"_s, "12345", m_when));
        QVERIFY(writeFile(t + u"Ünïcödé – ‹name›.txt"_s, "abc", m_when.addDays(3)));
        QVERIFY(writeFile(t + u"empty.txt"_s, QByteArray(), m_when));
        QVERIFY(writeFile(t + u".hidden"_s, "h", m_when));
        QVERIFY(writeFile(t + u"Docs/readme.TXT"_s, QByteArray(10, 'r'), m_when.addYears(10)));
        QVERIFY(writeFile(t + u"Docs/Deep/x.bin"_s, QByteArray(5000, 'x'), m_when));
        QVERIFY(writeFile(t + u"Docs/Deep/中文名.txt"_s, "zh", m_when));
        for (const QString &folder : {u"Empty"_s, u"Arch"_s, u"Music"_s})
            QVERIFY(QDir().mkpath(t + folder));
        QVERIFY(run(t + u"Arch"_s, u"python3"_s,
                    {u"-c"_s, u"import zipfile\n"
                              "with zipfile.ZipFile('pack.zip', 'w') as z:\n"
                              "    z.writestr(zipfile.ZipInfo('one.txt', (2004, 3, 1, 10, 20, 30)), 'one')\n"
                              "    z.writestr(zipfile.ZipInfo('in/two.txt', (2005, 6, 7, 8, 9, 10)), 'two!')\n"_s}));
        QVERIFY(setMtime(t + u"Arch/pack.zip"_s, m_when));
        QVERIFY(run(t + u"Music"_s, u"sox"_s,
                    {u"-n"_s, u"-r"_s, u"8000"_s, u"tone.flac"_s, u"synth"_s, u"1"_s, u"sine"_s, u"440"_s}));
        QVERIFY(setMtime(t + u"Music/tone.flac"_s, m_when));
        for (const QString &folder : {u"Docs/Deep"_s, u"Docs"_s, u"Empty"_s, u"Arch"_s, u"Music"_s})
            QVERIFY(setMtime(t + folder, m_when.addMonths(1)));
    }

    // A name that is not UTF-8 is beyond QTemporaryDir's reach.
    void cleanupTestCase()
    {
        ::unlink((QFile::encodeName(m_images->filePath(u"links"_s)) + "/Sub/caf\xe9.txt").constData());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_root = m_dir->path() + u"/vol/"_s;
        m_work = m_dir->path() + u"/work/"_s;
        QVERIFY(QDir().mkpath(m_root) && QDir().mkpath(m_work));
    }

    void orderAndPostOrderSizes()
    {
        // Enough names that a hashed directory gives an order unlike creation or name order.
        for (int i = 0; i < 12; ++i)
            file(u"file%1.txt"_s.arg(i), i + 1);
        file(u"MUSIC/ROCK/song.wav"_s, 1000);
        file(u"MUSIC/a.mp3"_s, 100);
        file(u"MUSIC/B.MP3"_s, 200);
        file(u"DOCS/readme"_s, 7);
        folder(u"EMPTY"_s);
        stampFolders({u"MUSIC/ROCK"_s, u"MUSIC"_s, u"EMPTY"_s, u"DOCS"_s});

        const ScanResult r = scan({}, m_dir->path() + u"/vol"_s); // no final slash
        // A folder's files in readdir order, then its folders' in turn; a folder's record after its folders', with
        // the size of everything below it; one call per folder visited.
        QByteArray files, folders;
        const auto filesOf = [&](const QString &rel, const QString &at) {
            for (const QString &n : readdirOrder(path(rel)))
                if (const QFileInfo info(path(rel + n)); info.isFile())
                    files += record({n, at, QString::number(info.size()), m_whenText});
        };
        filesOf({}, u"\\"_s);
        const QHash<QString, int> folderSize{{u"MUSIC"_s, 1300}, {u"EMPTY"_s, 0}, {u"DOCS"_s, 7}};
        for (const QString &d : readdirOrder(m_root)) {
            filesOf(d + u'/', u"\\"_s + d + u'\\');
            if (d == u"MUSIC"_s) {
                filesOf(u"MUSIC/ROCK/"_s, u"\\MUSIC\\ROCK\\"_s);
                folders += record({u"ROCK\\"_s, u"\\MUSIC\\"_s, u"1000"_s, m_whenText});
            }
            if (folderSize.contains(d))
                folders += record({d + u'\\', u"\\"_s, QString::number(folderSize.value(d)), m_whenText});
        }
        QCOMPARE(QString::fromUtf8(r.files), QString::fromUtf8(files));
        QCOMPARE(QString::fromUtf8(r.folders), QString::fromUtf8(folders));
        QCOMPARE(r.total, quint64(78 + 1300 + 7));
        QVERIFY(r.folderCalls >= 5); // every folder, and between files on a slow machine
    }

    // What each option leaves out, on one tree. A folder emptied by the options is not empty on the disc, and the
    // emptiness test sees hidden entries even while they are left out.
    void leftOut_data()
    {
        QTest::addColumn<QString>("skip"); // "folders", "files", "hidden": empty folders, empty files, hidden entries
        QTest::addColumn<QStringList>("exclusions");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<quint64>("scanned");
        const auto row = [](const char *name, const char *skip, const QString &listed, quint64 scanned,
                            const QStringList &exclusions = {}) {
            QTest::newRow(name) << QString::fromLatin1(skip) << exclusions << listed << scanned;
        };
        row("nothing", "", u".dot .profile blob one z.bak zero | .cache filtered hiddenonly hollow"_s, 13);
        row("empty folders", "folders", u".dot .profile blob one z.bak zero | .cache filtered hiddenonly"_s, 13);
        row("empty files", "files", u".profile blob one | .cache filtered hiddenonly hollow"_s, 13);
        // Hidden entries are not listed at all, so they do not move the gauge either.
        row("hidden", "hidden", u"one z.bak zero | filtered hiddenonly hollow"_s, 1);
        row("all", "folders files hidden", u"one | filtered hiddenonly"_s, 1);
        // A mask without "\\" is for files, in any case; one with it takes the folder. Excluded files move the gauge.
        row("exclusions", "", u".dot one zero | filtered hiddenonly hollow"_s, 5,
            {u".PROF*"_s, u"hollow"_s, u".cache\\"_s, u"*.bak"_s});
        row("bad mask", "", u"refused"_s, 0, {u"*.bak"_s, u"[a-"_s}); // before writing, naming the list
    }
    void leftOut()
    {
        QFETCH(QString, skip);
        QFETCH(QStringList, exclusions);
        QFETCH(QString, listed);
        QFETCH(quint64, scanned);
        file(u"zero"_s, 0);
        file(u"one"_s, 1);
        file(u".profile"_s, 4);
        file(u".cache/blob"_s, 8);
        folder(u"hollow"_s);
        file(u"filtered/z.bak"_s, 0);
        file(u"hiddenonly/.dot"_s, 0);
        stampFolders({u".cache"_s, u"hollow"_s, u"filtered"_s, u"hiddenonly"_s});
        ScanOptions options;
        options.skipEmptyFolders = skip.contains(u"folders"_s);
        options.skipEmptyFiles = skip.contains(u"files"_s);
        options.skipHidden = skip.contains(u"hidden"_s);
        options.exclusions = exclusions;
        try {
            const ScanResult r = scan(options, m_root);
            QCOMPARE(this->listed(r), listed);
            QCOMPARE(r.scanned, scanned);
        } catch (const QuilloryError &e) {
            QCOMPARE(u"refused"_s, listed);
            QVERIFY2(e.message().startsWith(u"The scan exclusion list holds \"[a-\""_s), qPrintable(e.message()));
        }
    }

    // A link to a file stands for the file; links to folders (walked once, no loop) and dangling links are left out,
    // as they would pass for small files; pipes are no contents. A folder that cannot be read is not known to be
    // empty: its record stays, with size 0, and it is named; a file that cannot be read keeps its plain record.
    void linksPipesAndWhatCannotBeRead()
    {
        file(u"real/target.bin"_s, 33);
        file(u"locked/secret"_s, 50);
        file(u"open/visible"_s, 6);
        file(u"private.jpg"_s, 9);
        stampFolders({u"real"_s, u"locked"_s, u"open"_s});
        QVERIFY(QFile::link(path(u"real/target.bin"_s), path(u"tolink.bin"_s)));
        QVERIFY(QFile::link(path(u"real"_s), path(u"dirlink"_s)));
        QVERIFY(QFile::link(m_root, path(u"real/loop"_s)));
        QVERIFY(QFile::link(path(u"nowhere"_s), path(u"dangling"_s)));
        QVERIFY(::mkfifo(QFile::encodeName(path(u"pipe.mp3"_s)).constData(), 0644) == 0);
        QVERIFY(::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0) == 0);
        QVERIFY(::chmod(QFile::encodeName(path(u"private.jpg"_s)).constData(), 0) == 0);
        ScanOptions options;
        options.skipEmptyFolders = true;
        options.filters[2] = true; // the JPEG reader would fail on a file it cannot open
        options.filters[6] = true; // MP3: the scan would block for ever if the pipe were opened

        const ScanResult r = scan(options, m_root);
        ::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0755);
        QCOMPARE(listed(r), u"private.jpg target.bin tolink.bin visible | locked open real"_s);
        QVERIFY(r.files.contains(record({u"private.jpg"_s, u"\\"_s, u"9"_s, m_whenText})));
        QVERIFY(r.folders.contains(record({u"locked\\"_s, u"\\"_s, u"0"_s, m_whenText})));
        QCOMPARE(r.total, quint64(2 * 33 + 6 + 9));
        QCOMPARE(r.problems, QStringList{u"Cannot read \"%1\": %2"_s.arg(path(u"locked"_s),
                                                                         QString::fromLocal8Bit(strerror(EACCES)))});
    }

    void entriesRemovedMidScanAreListed()
    {
        file(u"keep.txt"_s, 3);
        file(u"gone.txt"_s, 4);
        file(u"gone dir/inner"_s, 5);
        file(u"a/one"_s, 1);
        file(u"b/two"_s, 2);
        stampFolders({u"a"_s, u"b"_s});
        // Of the two folders, the one walked second is removed while the first is read; the root's names are read
        // and not yet looked at when the rest goes.
        const QStringList order = readdirOrder(m_root);
        const QString later = order.indexOf(u"a"_s) < order.indexOf(u"b"_s) ? u"b"_s : u"a"_s;

        int calls = 0;
        ScanResult r = scan({}, m_root, 0, [&] {
            if (++calls == 1) {
                QVERIFY(QFile::remove(path(u"gone.txt"_s)));
                QVERIFY(QDir(path(u"gone dir"_s)).removeRecursively());
            } else if (calls == 2) {
                QVERIFY(QDir(path(later)).removeRecursively());
            }
        });
        const QString removed = u"removed while the disc was being read"_s;
        QStringList expected;
        for (const QString &n : order)
            if (n.startsWith(u"gone"_s))
                expected << u"Cannot read \"%1\": %2"_s.arg(path(n), removed);
        expected << u"Cannot read \"%1\": %2"_s.arg(path(later), removed);
        QCOMPARE(r.problems, expected);
        QCOMPARE(listed(r), u"keep.txt %1 | a b"_s.arg(later == u"a"_s ? u"two"_s : u"one"_s));
        QVERIFY(r.folders.contains(record({later + u'\\', u"\\"_s, u"0"_s, m_whenText})));
        QCOMPARE(r.total, quint64(3 + (later == u"a"_s ? 2 : 1)));
    }

    // A file that changes while it is read for its checksum keeps none (the bytes read are not the file listed), and
    // is named among the scan's problems, as a file that cannot be read is.
    void fileChangedWhileHashedKeepsNoChecksum()
    {
        constexpr int Size = 4 << 20;
        file(u"growing.log"_s, Size);
        QByteArray lists[3];
        QBuffer buffers[3] = {QBuffer(&lists[0]), QBuffer(&lists[1]), QBuffer(&lists[2])};
        for (QBuffer &b : buffers)
            QVERIFY(b.open(QIODevice::WriteOnly));
        ScanOptions options;
        options.checksums = true;
        Scanner s(options, &buffers[0], &buffers[1]);
        s.setChecksumList(&buffers[2]);
        s.setTotalSize(Size);
        bool changed = false;
        s.setGauge([&](quint64) { changed = changed || QFile::resize(path(u"growing.log"_s), Size / 2); });
        s.Scan(m_root);
        QVERIFY(changed);
        QCOMPARE(lists[2].trimmed(), QByteArray());
        QCOMPARE(s.problems().size(), 1);
        QCOMPARE(s.problems()[0].text(),
                 u"Cannot read \"%1\": changed while the disc was being read"_s.arg(path(u"growing.log"_s)));
    }

    // Sparse files may add up past the signed 64 bits the catalogue keeps a size in: the totals stop there, or the
    // folder's size would be read back as no number (a search stops at it) and the disc's as a wrapped one.
    void totalsStopAtTheLargestSize()
    {
        QTemporaryDir shm(u"/dev/shm/quillory-XXXXXX"_s); // tmpfs: files of 8 EiB
        constexpr qint64 Most = std::numeric_limits<qint64>::max();
        for (const QString name : {u"/big/a"_s, u"/big/b"_s}) {
            QFile sparse(shm.path() + name);
            if (!QDir().mkpath(shm.path() + u"/big"_s) || !sparse.open(QIODevice::WriteOnly) || !sparse.resize(Most))
                QSKIP("no tmpfs at /dev/shm to hold sparse files of 8 EiB");
        }
        const ScanResult r = scan({}, shm.path());
        QCOMPARE(r.total, quint64(Most));
        QVERIFY2(r.folders.contains("\r\n" + QByteArray::number(Most) + "\r\n"), r.folders.constData());
    }

    void deeperThanTheLongestPath()
    {
        // Far below PATH_MAX: a picture and an archive read, and two folders side by side, the second reached from
        // below after the first.
        constexpr int Depth = 5000;
        const QString picture = dataPath(u"media/baseline.jpg"_s), archive = dataPath(u"zip/infozip-stdin.zip"_s);
        const auto removeChain = qScopeGuard([this] { removeVolume(); });
        QVERIFY(makeDeepChain(m_root, Depth, "d", picture, archive));

        ScanOptions options;
        options.filters[0] = true; // ZIP
        options.filters[2] = true; // JPEG
        // Few descriptors: a walk that kept one per level would run out long before the bottom.
        rlimit limits;
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limits), 0);
        rlimit few = limits;
        few.rlim_cur = 128;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
        const auto restore = qScopeGuard([&limits] { ::setrlimit(RLIMIT_NOFILE, &limits); });
        const ScanResult r = scan(options, m_root);

        QVERIFY(r.problems.isEmpty());
        QByteArray bottom = "\\";
        for (int i = 0; i < Depth; ++i)
            bottom += "d\\";
        const QString at = QString::fromLatin1(bottom);
        const QStringList files = records(r.files); // "-" is the archive's one entry
        QCOMPARE(files.size(), 5);
        QVERIFY(files[0].startsWith(u"-|"_s + at + u"pack.zip\\|"_s));
        QVERIFY(files[1].startsWith(u"deep.jpg|"_s + at + u'|') && files[1].contains(u"|Width: "_s));
        QVERIFY(files[2].startsWith(u"e.txt|"_s + at + u"e\\|"_s));
        QVERIFY(files[3].startsWith(u"f.txt|"_s + at + u"f\\|"_s));
        QCOMPARE(ContentsList::fromBytes(r.folders).recordCount(), Depth + 2);
        QVERIFY(r.folders.endsWith(record({u"d\\"_s, u"\\"_s, QString::number(r.total), m_whenText})));
        QCOMPARE(r.total, quint64(QFileInfo(picture).size() + QFileInfo(archive).size() + 2));
    }

    // Few descriptors left: the folders above give theirs up and a deep tree is walked whole. None left, every
    // folder from there on would fail to open: the scan ends, naming the limit and the folder, instead of
    // cataloguing a gutted disc.
    void fewOrNoDescriptorsLeft()
    {
        const auto removeChain = qScopeGuard([this] { removeVolume(); });
        QVERIFY(makeDeepChain(m_root, 100, "d", u"jpeg"_s, u"zip"_s));
        rlimit limits;
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limits), 0);
        rlimit few = limits;
        few.rlim_cur = 256;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
        std::vector<int> taken; // every descriptor, whatever the test runner left open
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            taken.push_back(fd);
        const auto restore = qScopeGuard([&] {
            for (const int fd : taken)
                ::close(fd);
            ::setrlimit(RLIMIT_NOFILE, &limits);
        });
        const auto leave = [&taken](int free) {
            for (int i = 0; i < free; ++i) {
                ::close(taken.back());
                taken.pop_back();
            }
        };
        leave(1); // the volume's own
        try {
            scan({}, m_root);
            QFAIL("a scan out of descriptors went on");
        } catch (const QuilloryError &e) {
            QCOMPARE(e.message(), u"Cannot read \"%1d\": %2 (a limit of this computer, not a fault of the disc)"_s.arg(
                                      m_root, QString::fromLocal8Bit(strerror(EMFILE))));
        }
        leave(2);
        const ScanResult r = scan({}, m_root);
        QVERIFY(r.problems.isEmpty());
        QCOMPARE(ContentsList::fromBytes(r.folders).recordCount(), 100 + 2);
    }

    void pathsLongerThanAListLinePassedOver()
    {
        // From the 256th level of 255-byte names a path is a line longer than a list may hold (the whole list would
        // be refused when read): its record stays, what lies below is not listed.
        constexpr int Depth = 260;
        const QByteArray link(255, 'n');
        const auto removeChain = qScopeGuard([this] { removeVolume(); });
        QVERIFY(makeDeepChain(m_root, Depth, link, u"jpeg"_s, u"zip"_s));
        const ScanResult r = scan({}, m_root);
        QCOMPARE(r.problems.size(), 1);
        QVERIFY(r.problems.first().endsWith(u'/' + QString::fromLatin1(link) +
                                            u"\": its path is longer than the catalogue can keep"_s));
        QCOMPARE(r.problems.first().count(QString::fromLatin1(link)), 256);
        QCOMPARE(ContentsList::fromBytes(r.folders).recordCount(), 256);
        QVERIFY(r.files.isEmpty());
    }

    void gaugeMovesOnlyWhenThePercentChanges()
    {
        for (int i = 0; i < 300; ++i)
            file(u"f%1"_s.arg(i), 1024);
        const ScanResult r = scan({}, m_root, 300 * 1024);
        QCOMPARE(r.scanned, quint64(300 * 1024));
        // Redrawn at most once a percent; 299 of 300 already rounds to 100, so the last file changes nothing.
        QVERIFY(r.gauge.size() <= 101 && r.gauge.size() >= 90);
        QCOMPARE(r.gauge.last(), quint64(299));
        QVERIFY(std::is_sorted(r.gauge.begin(), r.gauge.end()));

        QVERIFY(scan({}, m_root, 0).gauge.isEmpty());

        QCOMPARE(RoundedPercent(1, 200), quint64(0)); // 0.5 to the even neighbour
        QCOMPARE(RoundedPercent(5, 200), quint64(2)); // 2.5
        QCOMPARE(RoundedPercent(~quint64(0), ~quint64(0)), quint64(100));
    }

    // Whichever list meets a full disk ends the scan, with the folder and the system's reason.
    void writeFailureEndsTheScan_data()
    {
        QTest::addColumn<int>("full");
        QTest::newRow("file list") << 0;
        QTest::newRow("folder list") << 1;
        QTest::newRow("checksum list") << 2;
    }

    void writeFailureEndsTheScan()
    {
        QFETCH(int, full);
        if (!QFileInfo(u"/dev/full"_s).exists())
            QSKIP("no /dev/full here");
        file(u"f/a"_s, 1);
        QBuffer spare[3];
        QFile disk(u"/dev/full"_s);
        QIODevice *lists[3] = {&spare[0], &spare[1], &spare[2]};
        lists[full] = &disk;
        for (QIODevice *list : lists)
            QVERIFY(list->open(QIODevice::WriteOnly));
        ScanOptions options;
        options.checksums = true;
        Scanner s(options, lists[0], lists[1]);
        s.setChecksumList(lists[2]);
        const QString why = CabTestUtil::refusal([&] { s.Scan(m_root); });
        QVERIFY2(why == u"Cannot write the lists of the disc in \"/dev\": No space left on device"_s, qPrintable(why));
    }

    // Line breaks would split a record, a tab the command line's answers, and a "\\" in a name would make it a path
    // (back\\slash one with the folder back's file slash); bytes that are not UTF-8 would turn the whole list into
    // another encoding: names that differ only in such bytes stay apart, read as Windows-1252. One second past
    // midnight, at two-second precision, is midnight: a date without a time.
    void oddNamesAndTimes()
    {
        QVERIFY(writeFile(path(u"line\nbreak.txt"_s), "ab", m_when));
        QVERIFY(writeFile(path(u"tab\tin.txt"_s), "t", m_when));
        QVERIFY(writeFile(path(u"onesec"_s), "s", QDateTime(QDate(2010, 12, 31), QTime(0, 0, 1))));
        const auto cleanUp = qScopeGuard([this] { removeVolume(); });
        const QByteArray base = QFile::encodeName(m_root);
        QVERIFY(::mkdir((base + "d\xfcr").constData(), 0755) == 0);
        for (const char *name : {"caf\xe9.txt", "caf\xe8.txt", "\x80\xc3", "d\xfcr/in.txt"}) {
            const int fd = ::open((base + name).constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, "xyz", 3), ssize_t(3));
            ::close(fd);
        }
        folder(u"odd\rdir"_s);
        file(u"odd\rdir/inner.txt"_s, 4);
        file(u"back\\slash/in"_s, 1);
        file(u"back/slash"_s, 1);
        const ScanResult r = scan({}, m_root);
        QVERIFY(TextCodec::isValidUtf8(r.files));
        const QStringList records{
            u"line?break.txt \\ 2"_s,     u"caf\u00E9.txt \\ 3"_s,    u"caf\u00E8.txt \\ 3"_s,
            u"\u20AC\u00C3 \\ 3"_s,       u"in.txt \\d\u00FCr\\ 3"_s, u"d\u00FCr\\ \\ 3"_s,
            u"inner.txt \\odd?dir\\ 4"_s, u"odd?dir\\ \\ 4"_s,        u"back?slash\\ \\ 1"_s,
            u"in \\back?slash\\ 1"_s,     u"slash \\back\\ 1"_s,      u"onesec \\ 1 12/31/2010 -"_s,
            u"tab?in.txt \\ 1"_s};
        for (const QString &rec : records)
            QVERIFY2((r.files + r.folders).contains(rec.split(u' ').join(u"\r\n"_s).toUtf8() + "\r\n"),
                     qPrintable(rec));
        QCOMPARE(r.total, quint64(2 + 4 * 3 + 4 + 1 + 2 + 1));
    }

    // Archives whose local headers defer their sizes to data descriptors or ZIP64 fields are listed from the central
    // directory (tests/data/zip/make-fixtures.sh made them); those that state their sizes are walked.
    void listing_data()
    {
        QTest::addColumn<QString>("file"); // in tests/data/zip, or made here by "make"
        QTest::addColumn<QString>("make"); // a Python script
        const QString python = uR"(
import zipfile
with zipfile.ZipFile('made.zip', 'w') as z:
    z.writestr(zipfile.ZipInfo('folder/', (2004, 3, 1, 10, 20, 30)), b'')
    z.writestr(zipfile.ZipInfo('folder/a.txt', (2004, 3, 1, 10, 20, 30)), b'0123456789')
    i = zipfile.ZipInfo('folder/deep/b.txt', (1999, 12, 31, 0, 0, 0))
    i.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(i, b'b' * 4000)
    z.writestr(zipfile.ZipInfo('Caf\u00e9.txt', (2020, 2, 29, 23, 59, 58)), b'x')
    # a name longer than the walk's buffers must not derail it
    z.writestr('d/' + 'n' * 300 + '.txt', b'1234')
    z.writestr('after.txt', b'5678')
)"_s;
        QTest::newRow("Python") << QString() << python;
        QTest::newRow("zip to a pipe") << u"infozip-pipe.zip"_s << QString();
        QTest::newRow("zip from standard input") << u"infozip-stdin.zip"_s << QString();
        QTest::newRow("zip -fz with a comment") << u"infozip-zip64.zip"_s << QString();
        QTest::newRow("fastjar") << u"fastjar.jar"_s << QString();
        QTest::newRow("jar") << u"openjdk.jar"_s << QString();
        QTest::newRow("Python to a stream") << u"python-stream.zip"_s << QString();
        QTest::newRow("Python ZIP64") << u"python-zip64.zip"_s << QString();
        QTest::newRow("sizes above 4 GB") << u"python-over4g.zip"_s << QString();
    }

    void listing()
    {
        QFETCH(QString, file);
        QFETCH(QString, make);
        QString path = QStringLiteral(QUILLORY_TEST_DATA "/zip/") + file;
        if (!make.isEmpty()) {
            QVERIFY(python(make));
            path = m_work + u"made.zip"_s;
        }
        const QStringList expected = reference(path);
        QVERIFY2(!expected.isEmpty(), "python3 could not read the archive");
        const QByteArray bytes = readFile(path);
        QCOMPARE(entries(bytes), expected);
        QCOMPARE(entries(QByteArray(1001, '\x90') + bytes), expected); // a self-extractor
    }

    void moreThan65535Entries()
    {
        // Streamed, so the walk defers to the directory, whose count only the ZIP64 end record holds.
        QVERIFY(python(QStringLiteral(R"(
import zipfile
class Stream:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
    def tell(self): return self.f.tell()
    def seekable(self): return False
with open('many.zip', 'wb') as f:
    with zipfile.ZipFile(Stream(f), 'w') as z:
        for k in range(65537):
            z.writestr(zipfile.ZipInfo('f%05d' % k, (2004, 3, 1, 10, 20, 30)), b'%d' % k)
)")));
        TZipFile zip;
        zip.setFileName(m_work + u"many.zip"_s);
        QCOMPARE(zip.FileCount(), 65537);
        QCOMPARE(zip.entries().back().EntryName, u"f65536"_s);

        // Writers that predate ZIP64 wrote no ZIP64 records and let the count wrap at 65,536.
        QByteArray bytes = readFile(m_work + u"many.zip"_s);
        const qsizetype end = bytes.lastIndexOf("PK\5\6");
        QVERIFY(end > 76 && bytes.mid(end - 76, 4) == "PK\6\6");
        QByteArray endRecord = bytes.mid(end);
        endRecord.replace(8, 4, QByteArray("\x01\x00\x01\x00", 4));
        bytes = bytes.left(end - 76) + endRecord;
        QCOMPARE(entries(bytes, true).size(), 65537);
        QVERIFY(entries("PK\5\6" + QByteArray(18, '\0')).isEmpty());
        // A missing archive is an error, and the archive keeps no name.
        TZipFile missing;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, missing.setFileName(m_work + u"none.zip"_s));
        QVERIFY(missing.FileName().isEmpty());
    }

    // An archive entry's tab is kept as "?", as a file's on the disc is.
    void tabInAnArchiveEntry()
    {
        QVERIFY(python(
            u"import zipfile\nwith zipfile.ZipFile('tab.zip', 'w') as z:\n    z.writestr('a\\tb.txt', b'x')\n"_s));
        QVERIFY(QFile::copy(m_work + u"tab.zip"_s, path(u"tab.zip"_s)));
        ScanOptions options;
        options.filters[0] = true;
        const ScanResult r = scan(options, m_root);
        QVERIFY2(r.files.contains("\r\na?b.txt\r\n"), r.files.constData());
    }

    // A name without the UTF-8 flag is in the DOS code page, as Windows writes it.
    void dosNamesInArchives()
    {
        QByteArray archive = smallArchive();
        QVERIFY(archive.count("a.txt") == 2);
        archive.replace("a.txt", "\x82.txt");
        QCOMPARE(entries(archive, true), (QStringList{u"\u00E9.txt"_s, u"b/c.txt"_s}));
    }

    // A gigabyte of zeros named .zip, alone or after the entries of a download cut off, is not read to its end: the
    // end record is looked for in the last 64 KB only, and the walk gives up on bytes that hold no header.
    void zerosAreNotWalkedThrough()
    {
        const QByteArray archive = smallArchive();
        for (const QByteArray &start : {QByteArray(), archive.left(archive.indexOf("PK\1\2"))}) {
            ZeroPaddedDevice zeros(start, qint64(1) << 30);
            TZipFile zip;
            zip.read(zeros);
            QCOMPARE(zip.FileCount(), start.isEmpty() ? 0 : 2);
            QVERIFY2(zeros.served < 1024 * 1024, qPrintable(QString::number(zeros.served)));
        }
    }

    // Damaged archives. "whole": listed as undamaged (a walk derailed by a length past the end falls back on the
    // directory; a directory unlike local headers that state their sizes loses to them); "walk": a directory that
    // does not hold together leaves the walk's listing, as an archive without an end record does.
    void damaged_data()
    {
        QTest::addColumn<QString>("file");      // in tests/data/zip; empty: a small archive made here
        QTest::addColumn<QByteArray>("anchor"); // a signature
        QTest::addColumn<bool>("last");         // its last occurrence, else its first
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes"); // written there
        QTest::addColumn<QString>("listed");   // "whole" or "walk"
        const QString stream = u"python-stream.zip"_s;
        const QString zip64 = u"infozip-zip64.zip"_s;
        const QByteArray local("PK\3\4"), header("PK\1\2"), end("PK\5\6"), end64("PK\6\6");
        const auto row = [](const char *name, const QString &file, const QByteArray &anchor, bool last, int offset,
                            const QByteArray &bytes, const char *listed) {
            QTest::newRow(name) << file << anchor << last << offset << bytes << QString::fromLatin1(listed);
        };
        row("name length", {}, local, false, 26, "\xFF\xFF", "whole");
        row("data size", {}, local, false, 18, "\xFF\xFF\xFF\xFF", "whole");
        row("directory's other date", {}, header, false, 14, QByteArray("\x21\x00", 2), "whole"); // 1 January 1980
        row("first header's signature", stream, header, false, 0, "PK\1\3", "walk");
        row("last header's signature", stream, header, true, 0, QByteArray("PK\0\0", 4), "walk");
        row("name past the directory", stream, header, true, 28, "\xFF\xFF", "walk");
        row("extra past the directory", stream, header, false, 30, "\xFF\xFF", "walk");
        row("directory past the start", stream, end, true, 12, "\xF0\xFF\xFF\xFF", "walk");
        row("empty directory", stream, end, true, 12, QByteArray(4, '\0'), "walk");
        row("count too high", stream, end, true, 10, QByteArray("\x09\x00", 2), "walk");
        row("ZIP64 directory past the start", zip64, end64, true, 40, QByteArray("\0\0\0\0\0\0\0\x40", 8), "walk");
        row("ZIP64 count too high", zip64, end64, true, 32, QByteArray("\0\0\0\0\0\x01\0\0", 8), "walk");
        // The 4 GB entry's ZIP64 field cut to 8 bytes: its compressed size is missing.
        row("ZIP64 field too short", u"python-over4g.zip"_s, header, true, 46 + 20 + 2, QByteArray("\x08\x00", 2),
            "walk");
    }

    void damaged()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, anchor);
        QFETCH(bool, last);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, listed);
        const QByteArray whole = file.isEmpty() ? smallArchive() : readFile(dataPath(u"zip/"_s + file));
        const qsizetype at = last ? whole.lastIndexOf(anchor) : whole.indexOf(anchor);
        QVERIFY(at >= 0);
        QByteArray damaged = whole;
        damaged.replace(at + offset, bytes.size(), bytes);
        QByteArray noEnd = damaged;
        noEnd.replace(noEnd.lastIndexOf("PK\5\6"), 4, "PK\5\7");
        if (listed == u"whole") {
            QCOMPARE(entries(damaged), entries(whole));
        } else {
            QCOMPARE(entries(damaged, true), entries(noEnd, true));
            QVERIFY(entries(damaged, true) != entries(whole, true));
        }
    }

    // The scan end to end: the archive's record, one per file entry (folders give none), an impossible stored date
    // (month 13) written empty; with the filter off, a plain file.
    void scanned()
    {
        QByteArray archive = smallArchive();
        archive[12] = char(0xA0 | (archive[12] & 0x1F)); // the first entry's month bits: 13
        archive[13] = char((archive[13] & ~1) | 1);
        const QString size = QString::number(archive.size());
        const QByteArray inside = record({u"a.txt"_s, u"\\PACK.ZIP\\"_s, u"4"_s, QString(), u"Archive path: \\"_s}) +
                                  record({u"c.txt"_s, u"\\PACK.ZIP\\"_s, u"8"_s,
                                          CatalogueLocale().formatListDate(QDateTime::fromString(
                                              entries(archive).at(1).section(u'|', 2), u"yyyy-MM-dd HH:mm:ss"_s)),
                                          u"Archive path: \\b\\"_s});
        QVERIFY(writeFile(path(u"PACK.ZIP"_s), archive, m_when));
        ScanOptions options;
        QCOMPARE(scan(options, m_root).files, record({u"PACK.ZIP"_s, u"\\"_s, size, m_whenText}));
        options.filters[0] = true;
        QCOMPARE(scan(options, m_root).files,
                 record({u"PACK.ZIP"_s, u"\\"_s, size, m_whenText, u"Compressed Folder"_s}) + inside);
    }

    // An image lists what a scan of its tree lists, in the order a scan of the burned disc gives, read by the
    // readers inside the image, under the volume the probe reads. A UDF-only volume (libarchive cannot open it)
    // gives no file times: every entry takes the time its file set was recorded, the ZIP's entries their own.
    void sameAsScanOfTree_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("leaveOut"); // hidden, empty files and folders, and exclusions
        QTest::newRow("ISO 9660 + Joliet") << u"joliet"_s << false;
        QTest::newRow("Rock Ridge + Joliet") << u"rockridge"_s << false;
        QTest::newRow("UDF bridge") << u"udf"_s << false;
        QTest::newRow("leaving out") << u"joliet"_s << true;
        QTest::newRow("UDF only") << u"udf-only"_s << false;
        QTest::newRow("UDF only, leaving out") << u"udf-only"_s << true;
        QTest::newRow("Rock Ridge links") << u"links"_s << false;
    }
    void sameAsScanOfTree()
    {
        QFETCH(QString, tool);
        QFETCH(bool, leaveOut);
        const QString image = this->image(tool);
        if (image.isEmpty())
            QSKIP("the image tool is missing or failed");

        ScanOptions options;
        options.filters.fill(true); // the readers look at the bytes inside the image
        options.checksums = true;
        if (leaveOut) {
            options.skipHidden = options.skipEmptyFiles = options.skipEmptyFolders = true;
            options.exclusions = {u"*.bin"_s, u"Arch\\"_s};
        }
        const bool links = tool == u"links";
        const ScanResult tree = scan(options, links ? m_images->filePath(u"links"_s) : m_tree);
        QByteArray sums, bridgeSums;
        const ScanResult disc = scan(options, image, 0, {}, &sums);
        QStringList files = records(tree.files), folders = records(tree.folders);
        if (tool == u"udf-only") {
            scan(options, this->image(u"udf"_s), 0, {}, &bridgeSums);
            QCOMPARE(sums, bridgeSums);
            const QDateTime recorded = QDateTime::fromSecsSinceEpoch(VolumeProbe::probeFile(image).recorded);
            QVERIFY(qAbs(recorded.secsTo(QFileInfo(this->image(u"udf"_s)).lastModified())) < 60);
            for (QStringList *list : {&files, &folders}) {
                for (QString &r : *list) {
                    QStringList fields = r.split(u'|');
                    if (!fields[1].contains(u"pack.zip"_s))
                        fields[3] = CatalogueLocale().formatListDate(ToDosPrecision(recorded));
                    r = fields.join(u'|');
                }
                list->sort();
            }
        }
        QCOMPARE(records(disc.files), files);
        QCOMPARE(records(disc.folders), folders);
        QCOMPARE(disc.total, tree.total);
        QCOMPARE(disc.problems, QStringList());
        // Links as the mounted disc shows them: one to a file stands for it (through a linked folder too), one to
        // a folder or to nothing is left out.
        if (links)
            QCOMPARE(records(disc.files, true), (QStringList{u"a.txt"_s, u"thru.txt"_s, u"caf\u00E9.txt"_s,
                                                             u"caf\u00E9.txt"_s, u"f.txt"_s, u"up.txt"_s}));
        if (!leaveOut && !links) {
            // A folder's files, then its subfolders; a folder's record after its subfolders'.
            QCOMPARE(records(disc.folders, true),
                     (QStringList{u"Arch\\"_s, u"Deep\\"_s, u"Docs\\"_s, u"Empty\\"_s, u"Music\\"_s}));
            QVERIFY(records(disc.files).filter(u"tone.flac|"_s).value(0).contains(u"|Duration: "_s));
            QCOMPARE(records(disc.files, true),
                     (QStringList{u".hidden"_s, u"a.txt"_s, u"empty.txt"_s, u"Ünïcödé – ‹name›.txt"_s, u"pack.zip"_s,
                                  u"one.txt"_s, u"two.txt"_s, u"readme.TXT"_s, u"x.bin"_s, u"中文名.txt"_s,
                                  u"tone.flac"_s}));
        }

        // The volume is the probe's (whose serials and file systems the volume tests check against the reference, a
        // bridge disc's among them), named by the image.
        const DiscVolume volume = ImageScanner::volumeOf(image);
        const VolumeProbeResult probe = VolumeProbe::probeFile(image);
        QCOMPARE(QStringList({volume.serial, volume.fileSystem, volume.label, volume.image}),
                 QStringList({VolumeProbe::serialText(probe.serial), probe.fileSystem, u"MY_DISC"_s, image}));
    }

    // Fault: an image cut short must not become a disc with files whose bytes are missing.
    void damagedImageIsRefused_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QByteArray>("cutAt"); // the image kept up to these bytes' place, and 100 bytes of them
        QTest::addColumn<qint64>("keep"); // else bytes of the image kept; -1: not an image at all
        QTest::newRow("cut inside a file's data") << u"joliet"_s << QByteArray() << qint64(33 * 2048 + 100);
        QTest::newRow("cut inside the folders") << u"joliet"_s << QByteArray() << qint64(20 * 2048);
        QTest::newRow("no volume") << u"joliet"_s << QByteArray() << qint64(-1);
        QTest::newRow("a FAT volume") << u"fat"_s << QByteArray() << (qint64(1) << 40);
        QTest::newRow("UDF only, cut inside a file's data") << u"udf-only"_s << QByteArray(5000, 'x') << qint64(0);
        QTest::newRow("UDF only, cut inside the folders") << u"udf-only"_s << QByteArray("\x08" "Deep") << qint64(0);
    }
    void damagedImageIsRefused()
    {
        QFETCH(QString, tool);
        QFETCH(QByteArray, cutAt);
        QFETCH(qint64, keep);
        const QString whole = image(tool);
        if (whole.isEmpty())
            QSKIP("the image tool is missing or failed");
        const QByteArray bytes = readFile(whole);
        if (!cutAt.isEmpty())
            keep = bytes.indexOf(cutAt, 256 * 2048) + 100; // past the UDF anchor, which the probe needs
        QVERIFY(keep != 99);
        const QString image = m_images->filePath(u"damaged.iso"_s);
        QVERIFY(writeFile(image, keep < 0 ? QByteArray(100000, 'z') : bytes.left(keep)));

        // Refused whole, before a list is kept: what a failed scan leaves of the catalogue is the adder's rule.
        try {
            ImageScanner::volumeOf(image);
            scan({}, image);
            QFAIL("the damaged image was read");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().startsWith(u"Cannot read the disc image \""_s + image + u"\": "_s),
                     qPrintable(e.message()));
            // A volume the probe knows but no scan can walk is refused when the image is chosen.
            QVERIFY(tool != u"fat" || e.message().endsWith(u"its volume is FAT, not ISO 9660 or UDF"_s));
        }
    }

    // What each reader writes, its lines joined by "|".
    void edgeCases_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, MediaReaderKind kind, const QByteArray &bytes, const QString &expected) {
            QTest::newRow(name) << int(kind) << bytes << expected;
        };
        using K = MediaReaderKind;
        // The files the real tools made: sizes as ImageMagick's identify gives them, lengths as soxi does, halves
        // rounded to the even second.
        const auto made = [&row](const char *name, K kind, const QString &lines) {
            row(name, kind, readFile(dataPath(u"media/"_s + QLatin1String(name))), lines);
        };
        const QString cbr128 = u"Duration: 00:00:01|Bit rate: CBR 128kbps"_s;
        made("cbr128-id3v1.mp3", K::Mp3, u"Title: Blank Padded|Artist: Lame Artist|Album: Lame Album|"_s + cbr128);
        made("vbr-xing-id3v23.mp3", K::Mp3,
             u"Title: Xing Title|Artist: Xing Artist|Album: Xing Album|Duration: 00:00:01|Bit rate: VBR 114kbps"_s);
        // The version-2 tag wins over the version-1 tag even though it gives no texts.
        made("cbr64-id3v24-id3v1.mp3", K::Mp3, u"Duration: 00:00:01|Bit rate: CBR 64kbps"_s);
        made("cbr160-notag.mp3", K::Mp3, u"Duration: 00:00:01|Bit rate: CBR 160kbps"_s);
        made("mpeg2-mono-vbr.mp3", K::Mp3, u"Duration: 00:00:01|Bit rate: VBR 34kbps"_s);
        made("mpeg25-cbr16.mp3", K::Mp3, u"Duration: 00:00:01|Bit rate: CBR 16kbps"_s);
        // ffmpeg's "Info" frame has twice the rate of the rest: the length comes from its frame count, the rate
        // from the frame after it (ffprobe: 3.34, 3.37 and 3.46 s).
        made("info-mpeg1-32k.mp3", K::Mp3, u"Duration: 00:00:03|Bit rate: CBR 32kbps"_s);
        made("info-mpeg2-24k.mp3", K::Mp3, u"Duration: 00:00:03|Bit rate: CBR 24kbps"_s);
        made("info-mpeg25-8k.mp3", K::Mp3, u"Duration: 00:00:03|Bit rate: CBR 8kbps"_s);
        made("random.mp3", K::Mp3, {});
        made("stereo16.wav", K::Wav, u"Duration: 00:00:00|Sample rate: 44100 hz|Bit rate: 16 bit"_s); // 0.3 s
        made("mono16.wav", K::Wav, u"Duration: 00:00:00|Sample rate: 44100 hz|Bit rate: 16 bit"_s);   // 0.5 s
        made("mono8.wav", K::Wav, u"Duration: 00:00:02|Sample rate: 8000 hz|Bit rate: 8 bit"_s);      // 2.5 s
        made("stereo8.wav", K::Wav, u"Duration: 00:00:02|Sample rate: 11025 hz|Bit rate: 8 bit"_s);   // 1.500045 s
        // 6873 bytes over 1.0 s / 125 = 54.98 kbit/s.
        made("tagged.ogg", K::Ogg,
             u"Title: Ogg Title|Artist: Ogg Artist|Album: Ogg Album|Duration: 00:00:01|Bit rate: 55 kbit"_s);
        made("plain.ogg", K::Ogg, u"Duration: 00:00:01|Bit rate: 36 kbit"_s);
        // The picture and the header of the page its comment goes on to are no sound: 4809 of 71552 bytes are.
        made("cover-art.ogg", K::Ogg,
             u"Title: Behind The Picture|Artist: Pictured Artist|Duration: 00:00:01|Bit rate: 38 kbit"_s);
        made("notogg.ape", K::Ogg, {}); // Monkey's Audio reaches the Ogg reader and gets nothing
        made("bottomup.bmp", K::Bmp, size(37, 21));
        made("topdown.bmp", K::Bmp, size(37, 21)); // stored negated
        made("os2.bmp", K::Bmp, size(37, 21));
        made("baseline.jpg", K::Jpeg, size(70, 46));
        made("progressive.jpg", K::Jpeg, size(70, 46));
        // The first image, not the 64x48 logical screen, behind a 256-entry colour table.
        made("gif89a.gif", K::Gif, size(40, 30));
        // Comments holding commas, and a loop count, stand before the first image.
        made("comment-icon.gif", K::Gif, size(20, 22));
        made("loop-anim.gif", K::Gif, size(12, 9));
        made("rose.png", K::Png, size(70, 46));
        made("truncated.png", K::Png, {});
        made("multiline.html", K::Html, u"Title: Quarterly report second line"_s); // one line
        made("entities.html", K::Html, u"Title: Tom  Jerry show"_s);               // entities removed, not decoded
        made("attributes.html", K::Html, u"Title: With attributes"_s);
        made("cp1252.html", K::Html, u"Title: Café menu"_s);
        const QByteArray audio = frames(40);

        // ID3v1: trailing blanks, NULs, control characters and stale bytes after a NUL go; a full field is whole.
        row("ID3v1 trimmed", K::Mp3,
            audio + id3v1("Thirty characters and blanks  ", "Artist\t\r\n  ", QByteArray("Album\0stale", 11)),
            u"Title: Thirty characters and blanks|Artist: Artist|Album: Album|"_s + cbr128);
        row("ID3v1 Windows-1252, full field", K::Mp3, audio + id3v1("Caf\xE9", "123456789012345678901234567890", ""),
            u"Title: Café|Artist: 123456789012345678901234567890|"_s + cbr128);

        // ID3v2.3: blanks trimmed, UTF-16 with a byte-order mark, frames read into 250 bytes, no version-1 tag.
        row("ID3v2 frames", K::Mp3,
            id3v2(3, id3Frame("TSSE", QByteArray("\0LAME", 5)) +
                         id3Frame("TIT2", QByteArray("\0  Spaced title \0\0", 18)) +
                         id3Frame("TPE1", QByteArray("\x01\xFF\xFEU\0n\0i\0\0\0", 12)) +
                         id3Frame("TALB", QByteArray(1, '\0') + QByteArray(300, 'L'))) +
                audio + id3v1("V1", "V1", "V1"),
            u"Title: Spaced title|Artist: Uni|Album: "_s + QString(249, u'L') + u'|' + cbr128);
        row("ID3v2 big-endian UTF-16", K::Mp3, id3v2(3, id3Frame("TIT2", QByteArray("\x01\xFE\xFF\0B\0E", 7))) + audio,
            u"Title: BE|"_s + cbr128);
        // Frames stop at an identifier that does not start with A to Z, and at a size that runs past the tag.
        row("ID3v2 lower-case frame", K::Mp3,
            id3v2(3,
                  id3Frame("TIT2", text("First")) + id3Frame("tpe1", text("Lower")) + id3Frame("TPE1", text("Never"))) +
                audio,
            u"Title: First|"_s + cbr128);
        row("ID3v2 frame past the tag", K::Mp3,
            id3v2(3, id3Frame("TIT2", text("T")) + "TSSE" + be(0xFFFFFFF0u) + QByteArray(2, '\0') +
                         id3Frame("TPE1", text("A"))) +
                audio,
            u"Title: T|"_s + cbr128);
        // A text frame whose size runs past the tag is read up to the tag's end, not into the audio.
        row("ID3v2 frame into the audio", K::Mp3,
            id3v2(3, "TIT2" + be(300u) + QByteArray(2, '\0') + text("Short")) + audio, u"Title: Short|"_s + cbr128);
        // An extended header is stepped over by its size; an unsynchronised tag (a 0 after each FF) is read with the
        // 0s taken out, so the sizes and what follows stay in step.
        QByteArray extended = id3v2(3, be(6u) + QByteArray(6, '\0') + id3Frame("TIT2", text("Ext")));
        extended[5] = 0x40;
        row("ID3v2 extended header", K::Mp3, extended + audio, u"Title: Ext|"_s + cbr128);
        QByteArray tagFrames = id3Frame("TIT2", text("Un\xFF\xE0x")) + id3Frame("TPE1", text("After"));
        QByteArray unsynchronised = id3v2(3, tagFrames.replace("\xFF", QByteArray("\xFF\0", 2)));
        unsynchronised[5] = char(0x80);
        row("ID3v2 unsynchronised", K::Mp3, unsynchronised + audio, u"Title: Unÿàx|Artist: After|"_s + cbr128);
        // A tag longer than the file counts as size 0: the audio is searched from the start, the tag gives no texts.
        QByteArray liar = id3v2(3, id3Frame("TIT2", text("Liar")));
        liar[6] = 0x7F;
        row("ID3v2 longer than the file", K::Mp3, liar + audio, cbr128);
        // Version 2 tags are passed over, yet still hide the version-1 tag (version 4: a fixture).
        row("ID3v2.2", K::Mp3, id3v2(2, id3Frame("TIT2", text("T"))) + audio + id3v1("V", "V", "V"), cbr128);

        // WAV: a zero rate or sample size gives no length and no division by zero; the sample size is the byte at 34;
        // rates above 65535 Hz are kept whole; the length comes from the RIFF size even when the file is cut short.
        const QByteArray samples(8000, '\x80');
        row("WAV zero rate", K::Wav, wavHeader(1, 1, 0, 8, 8000) + samples, u"Sample rate: 0 hz|Bit rate: 8 bit"_s);
        row("WAV zero sample size", K::Wav, wavHeader(1, 2, 8000, 0, 8000) + samples,
            u"Sample rate: 8000 hz|Bit rate: 0 bit"_s);
        row("WAV stray high byte", K::Wav, wavHeader(1, 2, 8000, 0x0110, 32000),
            u"Duration: 00:00:01|Sample rate: 8000 hz|Bit rate: 16 bit"_s);
        row("WAV 96 kHz", K::Wav, wavHeader(1, 2, 96000, 16, 384000),
            u"Duration: 00:00:01|Sample rate: 96000 hz|Bit rate: 16 bit"_s);
        row("WAV cut short", K::Wav, wavHeader(1, 1, 8000, 8, 80000),
            u"Duration: 00:00:10|Sample rate: 8000 hz|Bit rate: 8 bit"_s);
        // Written through a pipe: no size in the header, so the file's length gives it (not 74 hours).
        row("WAV from a pipe", K::Wav, wavHeader(1, 1, 8000, 8, 0xFFFFFFFF - 36) + samples + samples,
            u"Duration: 00:00:02|Sample rate: 8000 hz|Bit rate: 8 bit"_s);
        // Not PCM, three channels, an extended format block, a header cut short: not valid.
        row("WAV not PCM", K::Wav, wavHeader(3, 2, 8000, 32, 8000) + samples, {});
        row("WAV three channels", K::Wav, wavHeader(1, 3, 8000, 8, 8000) + samples, {});
        row("WAV extended format", K::Wav, wavHeader(1, 2, 8000, 8, 8000).replace(16, 4, le(18u)) + samples, {});
        row("WAV short header", K::Wav, wavHeader(1, 1, 8000, 8, 8000).left(43), {});

        // Ogg Vorbis: a long comment is cut at 250 bytes; lengths past the end stop the comments, not the reader; no
        // comment header is looked for past 250 bytes; without a last page the nominal rate gives the length.
        const QByteArray ogg = oggStart(2, 44100, 128000);
        const QByteArray comments = ogg + "\x03vorbis";
        const auto comment = [](const QByteArray &text) { return le(quint32(text.size())) + text; };
        const QByteArray tail(2000, '\0');
        const QString nominal = u"Duration: 00:00:00|Bit rate: 128 kbit"_s;
        row("Ogg long comment", K::Ogg,
            comments + comment("vendor") + le(3u) + comment("TITLE=" + QByteArray(1000, 'T')) + comment("artist=A=B") +
                comment("x") + tail,
            u"Title: "_s + QString(244, u'T') + u"|Artist: A=B|"_s + nominal);
        row("Ogg vendor past the end", K::Ogg, comments + le(0xFFFFFFF0u) + "vendor" + tail, nominal);
        row("Ogg comment past the end", K::Ogg,
            comments + comment("v") + le(0xFFFFFFFFu) + comment("TITLE=x") + le(0x7FFFFFFFu) + tail,
            u"Title: x|"_s + nominal);
        row("Ogg late comment header", K::Ogg,
            ogg + QByteArray(250, ' ') + "\x03vorbis" + comment("v") + le(1u) + comment("TITLE=Late") + tail, nominal);
        row("Ogg no page, no nominal rate", K::Ogg, oggStart(1, 8000, 0) + QByteArray(20000, '\0'),
            u"Duration: 00:00:00|Bit rate: 0 kbit"_s);
        row("Ogg short packet", K::Ogg, oggStart(1, 8000, 0).left(50), {});
        // A last page whose granule position is -1 or beyond 32 bits gives no count: the page before does (88200
        // samples, 2 s; 1426 bytes).
        const auto granulePage = [](quint64 granule) {
            return "OggS" + QByteArray(2, '\0') + le(granule) + QByteArray(10, '\0');
        };
        for (quint64 granule : {~quint64(0), quint64(0x7FFFFFFFFFFFFFFF)})
            QTest::addRow("Ogg granule %llx", granule)
                << int(K::Ogg)
                << oggStart(2, 44100, 0) + QByteArray(1000, '\0') + granulePage(88200) + QByteArray(300, '\0') +
                       granulePage(granule) + QByteArray(20, '\0')
                << u"Duration: 00:00:02|Bit rate: 6 kbit"_s;

        // JPEG: fill bytes, restart and 01 markers stepped over; a stray byte ends the walk; lengths of 0 and 1 would
        // walk back onto the same marker for ever; a file ending inside the frame header is no picture.
        const QByteArray soi("\xFF\xD8", 2);
        const QByteArray app0 = QByteArray("\xFF\xE0", 2) + be(quint16(16)) + QByteArray(14, 'J');
        const QByteArray sof1 = QByteArray("\xFF\xC1", 2) + be(quint16(11)) + char(8) + be(quint16(480)) +
                                be(quint16(640)) + QByteArray(6, 0);
        row("JPEG fill and restart", K::Jpeg, soi + app0 + QByteArray("\xFF\xFF\xD3\xFF\x01", 5) + sof1.mid(1),
            size(640, 480));
        row("JPEG stray byte", K::Jpeg, soi + app0 + "x" + sof1, size(0, 0));
        for (quint16 bad : {0, 1})
            row(bad ? "JPEG length 1" : "JPEG length 0", K::Jpeg,
                soi + "\xFF\xE1" + be(bad) + QByteArray(64, '\xFF') + sof1, size(0, 0));
        row("JPEG length past the end", K::Jpeg, soi + "\xFF\xE1" + be(quint16(0xFFFF)) + sof1, size(0, 0));
        row("JPEG cut in the frame header", K::Jpeg, soi + app0 + sof1.left(6), {});
        // Every coding's frame header gives the size (here the last, lossless arithmetic); a table (DHT) does not.
        const QByteArray dht = QByteArray("\xFF\xC4", 2) + be(quint16(11)) + QByteArray(9, '\x07');
        row("JPEG table before the frame", K::Jpeg, soi + dht + "\xFF\xCF" + sof1.mid(2), size(640, 480));

        // GIF: the colour table stepped over, commas in it included; extensions by their sub-block lengths (one 44
        // (",") bytes long among them); stray bytes that start no block one by one.
        const QByteArray screen("GIF89a\x40\x00\x30\x00", 10);
        const QByteArray start = screen + QByteArray(3, '\0');
        const QByteArray descriptor(",\x01\x00\x02\x00\x0A\x00\x0B\x00\x00", 10);
        const QByteArray table("\x87\x00\x00", 3); // a global table of 2^(7+1) entries
        const QByteArray gifComment = "!\xFE\x0B" + QByteArray("a, b, c, d,") + "\x03,,," + QByteArray(1, '\0');
        const QByteArray app44 =
            "!\xFF\x0BNETSCAPE2.0\x2C" + QByteArray(44, ',') + QByteArray("\x03\x01\x00\x00\x00", 5);
        const QByteArray control("!\xF9\x04\x00\x0A\x00\xFF\x00", 8);
        row("GIF colour table", K::Gif, screen + table + QByteArray(768, ',') + descriptor, size(10, 11));
        row("GIF extensions", K::Gif, start + gifComment + app44 + control + descriptor, size(10, 11));
        row("GIF stray bytes", K::Gif,
            start + QByteArray("\x00\x01", 2) + gifComment + QByteArray(1, '\0') + descriptor, size(10, 11));
        // A descriptor cut short keeps what is there; a table past the end, no image or an extension cut: size 0.
        row("GIF descriptor cut short", K::Gif, start + descriptor.left(7), size(10, 0));
        row("GIF table past the end", K::Gif, screen + table + QByteArray(20, ','), size(0, 0));
        row("GIF no image", K::Gif, screen + QByteArray("\x00\x00\x00;", 4), size(0, 0));
        row("GIF trailer", K::Gif, start + gifComment + ";" + descriptor, size(0, 0));
        row("GIF cut in an extension", K::Gif, start + gifComment.left(9), size(0, 0));
        row("GIF endless extension", K::Gif, start + "!\xFE" + QByteArray("\x01,").repeated(200000), size(0, 0));
        row("GIF short header", K::Gif, QByteArray("GIF89a\x01\x00", 8), {});

        // BMP: a zero width or height or a short header writes nothing; PNG: its 32-bit sizes whole.
        QByteArray bmp = "BM" + QByteArray(24, '\0');
        bmp[18] = 5;
        row("BMP zero height", K::Bmp, bmp, {});
        bmp[22] = 7;
        row("BMP", K::Bmp, bmp, size(5, 7));
        row("BMP short header", K::Bmp, bmp.left(25), {});
        row("PNG", K::Png, QByteArray("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\x00\x01\x01\x02\x00\x00\x03\x04", 24),
            size(0x10102, 0x0304));
        // Not what the name says: text or nothing at all.
        const QByteArray plain = "This is a plain text file, not a picture of any kind at all.\n";
        const QList<std::pair<const char *, K>> pictures{
            {"BMP", K::Bmp}, {"JPEG", K::Jpeg}, {"GIF", K::Gif}, {"PNG", K::Png}};
        for (const auto &[name, kind] : pictures) {
            QTest::addRow("%s of text", name) << int(kind) << plain << QString();
            QTest::addRow("%s empty", name) << int(kind) << QByteArray() << QString();
        }

        // HTML titles.
        row("HTML no title", K::Html, "<html><body>Hello</body></html>", {});
        row("HTML blank title", K::Html, "<title> \r\n </title>", {});
        row("HTML entity to the end", K::Html, "<title>Fish &chips</title>", u"Title: Fish "_s);
        row("HTML adjacent entities", K::Html, "<title>a&lt;&gt;b</title>", u"Title: ab"_s);
        row("HTML blank in the tag", K::Html, "<title\n>X</title>", u"Title: X"_s);
        row("HTML unclosed title", K::Html, "<TITLE>Runs > to the end\n", u"Title: Runs  to the end"_s);
        row("HTML second title tag", K::Html, "<p>title><titles><title>Real</title>", u"Title: Real"_s);
        // Lines that would read as lines of the record (its end, a date) stay inside the one title line;
        // blanks within a line stay as they are.
        row("HTML lines folded", K::Html, "<title>\r\n\tTop\r\n-\r\n1 Jan 2000  \x01 Bottom \r\n</title>",
            u"Title: Top - 1 Jan 2000    Bottom"_s);
        // Titles in comments and in pictures are not the page's; a comment may close at once or never.
        row("HTML commented title", K::Html, "<!-- <title>Old</title> --><!--><title>Real</title>", u"Title: Real"_s);
        row("HTML unclosed comment", K::Html, "<!-- <title>Old</title>", {});
        row("HTML SVG title", K::Html,
            "<svg><svg><title>Icon</title></svg><title>Drawing</title></SVG><svg/><title>Page</title>",
            u"Title: Page"_s);
    }

    void edgeCases()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QStringList lines;
        ReadMediaLines(MediaReaderKind(kind), buffer, lines);
        QCOMPARE(lines.join(u'|'), expected);
    }

    // Where the frame search lands, and the rate that follows from the frame and its VBR header.
    void mpegFrameSearch_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("position"); // -1: no frame
        QTest::addColumn<qint64>("bitRate");
        QTest::addColumn<QByteArray>("vbr");
        QTest::addColumn<bool>("valid");
        const auto row = [](const char *name, const QByteArray &bytes, qint64 position, qint64 bitRate,
                            const QByteArray &vbr,
                            bool valid) { QTest::newRow(name) << bytes << position << bitRate << vbr << valid; };
        // A lone header-like pattern is passed over: the frame is one whose successor is a header too.
        row("lone header", QByteArray("\xFF\xFB\x90\x40", 4) + QByteArray(96, '\x11') + frames(30), 100, 128, {}, true);
        // No frame in the first block: the middle of the file is searched, and the position is within that block.
        QByteArray middle(20000, '\x22');
        middle.replace(middle.size() / 2 + 50, 10 * 417, frames(10));
        row("second block", middle, 50, 128, {}, true);
        // A short file (less than a block) is searched once, its frames beyond the first 1730 positions unseen.
        row("short file", QByteArray(2000, '\x22') + frames(10).left(1000), -1, 0, {}, false);
        // Two frames last 0.0067 s, below a tenth of a second.
        row("two frames", frames(2), 0, 128, {}, false);
        // VBRI 36 bytes into an MPEG-1 stereo frame, bytes at +10, frames at +14: 400 bytes a frame * 44100 / 144 /
        // 1000 = 122.5, a half that rounds to the even 122. With no frames the table rate stands.
        QByteArray vbri = frames(1);
        vbri.replace(36, 18, "VBRI" + QByteArray(6, '\0') + be(50u * 400) + be(50u));
        row("VBRI", vbri + frames(49), 0, 122, "VBRI", true);
        vbri.replace(36 + 14, 4, be(0u));
        row("VBRI without frames", vbri + frames(49), 0, 128, "VBRI", true);
        // A Xing header whose byte count gives an average above 448 kbit/s is not believed.
        QByteArray xing = frames(1);
        xing.replace(36, 16, "Xing" + be(3u) + be(10u) + be(0xFFFFFF00u));
        row("Xing above 448 kbit/s", xing + frames(9), 0, 0, "Xing", false);
        // A frame count the file cannot hold (0xFFFFFFFF frames of at least 104 bytes) is passed over: the rate and the
        // length are the first frame's, as without a count.
        xing.replace(36 + 8, 8, be(0xFFFFFFFFu) + be(40u * 417));
        row("Xing count past the file", xing + frames(39), 0, 128, "Xing", true);
    }

    void mpegFrameSearch()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, position);
        QFETCH(qint64, bitRate);
        QFETCH(QByteArray, vbr);
        QFETCH(bool, valid);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        TMPEGaudio mpeg;
        mpeg.ReadFromDevice(buffer);
        QCOMPARE(mpeg.Frame().found ? mpeg.Frame().position : -1, position);
        QCOMPARE(mpeg.VBR().id, vbr);
        QCOMPARE(mpeg.Valid(), valid);
        if (valid)
            QCOMPARE(mpeg.BitRate(), bitRate);
        if (valid && vbr.isEmpty()) // the audio runs from the frame found to the end of the file
            QCOMPARE(mpeg.Duration(), (bytes.size() - position) * 8 / 128.0 / 1000);
    }

    void largeFileDuration()
    {
        // A 700 MB file (sparse on disk): its byte count times 8 overflows 32 bits.
        const QString path = m_work + u"big.mp3"_s;
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(frames(4)) > 0 && file.resize(700'000'000));
        file.close();
        QStringList lines;
        ReadMediaLines(MediaReaderKind::Mp3, path, lines);
        QCOMPARE(lines, (QStringList{"Duration: 12:09:10", "Bit rate: CBR 128kbps"})); // 43750 s
    }

    void failures()
    {
        // BMP, JPEG, PNG and HTML raise their read failures, an open failure naming the file, and add nothing; GIF
        // and the audio readers swallow their own.
        using K = MediaReaderKind;
        for (const K kind : {K::Bmp, K::Jpeg, K::Png, K::Html, K::Gif, K::Mp3, K::Wav, K::Ogg}) {
            QStringList lines{"kept"};
            FailingDevice device;
            int raised = 0;
            try {
                ReadMediaLines(kind, device, lines);
            } catch (const QuilloryError &) {
                ++raised;
            }
            try {
                ReadMediaLines(kind, u"/nonexistent/x"_s, lines);
            } catch (const QuilloryError &e) {
                raised += e.message().contains("/nonexistent/x") ? 1 : 100;
            }
            QCOMPARE(raised, QList<K>({K::Bmp, K::Jpeg, K::Png, K::Html}).contains(kind) ? 2 : 0);
            QCOMPARE(lines, QStringList{"kept"});
        }
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"
