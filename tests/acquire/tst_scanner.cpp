#include "ScanFixture.h"

#include "acquire/DiscAdder.h"
#include "acquire/ImageScanner.h"
#include "acquire/TZipFile.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/TreeFile.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

// The scanner against real folder trees: record order as the file system enumerates,
// post-order folder records with subtree sizes, the filters of the preferences, links, what
// cannot be read, a tree deeper than any path, and the progress gauge. ZIP archives made by
// Info-ZIP's zip, Python's zipfile, fastjar and the JDK's jar, listed as Python's own reading of
// each lists them, damaged and hostile ones. And a disc image catalogued without mounting it,
// against images made by xorriso and genisoimage from a real folder tree: its lists hold what a
// scan of that tree holds, in the order a scan of the burned disc gives, under the serial the
// probe reads; a damaged image changes nothing.
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
    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The first lines of the records, sorted: files, then folders after a bar.
    static QString listed(const ScanResult &r)
    {
        QStringList names;
        for (const QByteArray &list : {r.files, r.folders}) {
            const ContentsList l = ContentsList::fromBytes(list);
            QStringList some;
            for (int i = 0; i < l.recordCount(); ++i)
                some << l.line(i, 0).remove(u'\\');
            some.sort();
            names << some.join(u' ');
        }
        return names.join(u" | "_s);
    }

    // A chain of depth folders named link below root, made through relative steps (no path
    // reaches its bottom), holding at the bottom "deep.jpg", "pack.zip" and the folders "e" and
    // "f" with one small file each; every time is the test's, folders' last, from the bottom up.
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

    struct Entry {
        QString name;
        quint64 compressed = 0;
        QDateTime when;
        bool operator==(const Entry &) const = default;
    };
    friend QDebug operator<<(QDebug d, const Entry &e) { return d << e.name << e.compressed << e.when; }

    // Python's view of the archive, in local-header order.
    QList<Entry> reference(const QString &zipPath)
    {
        const QByteArray script = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in sorted(z.infolist(), key=lambda i: i.header_offset):
    y, mo, d, hh, mi, s = i.date_time
    sys.stdout.buffer.write(b'%s\t%d\t%d %d %d %d %d %d\n' % (i.filename.encode(), i.compress_size,
        y, mo, d, hh, mi, s))
)";
        QByteArray out;
        if (!run(m_work, u"python3"_s, {u"-c"_s, QString::fromUtf8(script), zipPath}, {}, &out))
            return {};
        QList<Entry> list;
        for (const QByteArray &line : out.split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() == 3)
                list << Entry{QString::fromUtf8(f[0]), f[1].toULongLong(),
                              QDateTime::fromString(QString::fromLatin1(f[2]), u"yyyy M d H m s"_s)};
        }
        return list;
    }

    static QList<Entry> entries(const QByteArray &bytes)
    {
        QByteArray copy = bytes;
        QBuffer b(&copy);
        b.open(QIODevice::ReadOnly);
        TZipFile zip;
        QList<Entry> seen;
        zip.OnReadFile = [&seen](const ZipFile &e) {
            seen << Entry{e.EntryName, e.CompressedSize, ZipDateTime(e.ModDate, e.ModTime)};
        };
        zip.read(b);
        return seen;
    }

    static QStringList names(const QByteArray &bytes)
    {
        QStringList out;
        for (const Entry &e : entries(bytes))
            out << e.name;
        return out;
    }

    bool python(const QString &script) { return run(m_work, u"python3"_s, {u"-c"_s, script}); }

    // Two entries, each with its sizes in its local header.
    QByteArray smallArchive()
    {
        if (!python(u"import zipfile\nwith zipfile.ZipFile('ok.zip', 'w') as z:\n"
                    "    z.writestr('a.txt', b'aaaa')\n    z.writestr('b/c.txt', b'cccccccc')\n"_s))
            return QByteArray();
        return readAll(m_work + u"ok.zip"_s);
    }

    QByteArray scanOne(const QByteArray &archive, bool filterOn = true)
    {
        if (!writeFile(m_root + u"PACK.ZIP"_s, archive, m_when))
            return QByteArray();
        ScanOptions options;
        options.filters[0] = filterOn;
        return scan(options, m_root).files;
    }

    // Every record as one text, sorted: the lists compared whatever order each folder gives.
    static QStringList records(const QByteArray &list)
    {
        const ContentsList l = ContentsList::fromBytes(list);
        QStringList all;
        for (int i = 0; i < l.recordCount(); ++i) {
            QStringList lines;
            for (int k = 0; k < l.lineCount(i); ++k)
                lines << l.line(i, k);
            all << lines.join(u'|');
        }
        all.sort();
        return all;
    }
    static QStringList firstLines(const QByteArray &list)
    {
        const ContentsList l = ContentsList::fromBytes(list);
        QStringList names;
        for (int i = 0; i < l.recordCount(); ++i)
            names << l.line(i, 0);
        return names;
    }

    // tool: "joliet", "rockridge" or "udf"; false when the tool is missing.
    bool makeImage(const QString &tool, const QString &image)
    {
        const QStringList common{u"-V"_s, u"MY_DISC"_s, u"-o"_s, image, m_tree};
        if (tool == u"udf")
            return run(m_images->path(), u"genisoimage"_s, QStringList{u"-quiet"_s, u"-udf"_s, u"-J"_s} + common);
        QStringList args{u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-J"_s, u"-joliet-long"_s};
        if (tool == u"rockridge")
            args << u"-R"_s;
        return run(m_images->path(), u"xorriso"_s, args + common);
    }

    static ScanResult scanImage(const ScanOptions &options, const QString &image)
    {
        ScanResult r;
        QBuffer files(&r.files), folders(&r.folders);
        files.open(QIODevice::WriteOnly);
        folders.open(QIODevice::WriteOnly);
        Scanner s(options, &files, &folders);
        r.total = ImageScanner(s).Scan(image);
        for (const ScanProblem &p : s.problems())
            r.problems << p.text();
        return r;
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
        QVERIFY(QDir().mkpath(t + u"Empty"_s));
        QVERIFY(QDir().mkpath(t + u"Arch"_s));
        QVERIFY(run(t + u"Arch"_s, u"python3"_s,
                    {u"-c"_s, u"import zipfile\n"
                              "with zipfile.ZipFile('pack.zip', 'w') as z:\n"
                              "    z.writestr(zipfile.ZipInfo('one.txt', (2004, 3, 1, 10, 20, 30)), 'one')\n"
                              "    z.writestr(zipfile.ZipInfo('in/two.txt', (2005, 6, 7, 8, 9, 10)), 'two!')\n"_s}));
        QVERIFY(setMtime(t + u"Arch/pack.zip"_s, m_when));
        QVERIFY(QDir().mkpath(t + u"Music"_s));
        QVERIFY(run(t + u"Music"_s, u"sox"_s,
                    {u"-n"_s, u"-r"_s, u"8000"_s, u"tone.flac"_s, u"synth"_s, u"1"_s, u"sine"_s, u"440"_s}));
        QVERIFY(setMtime(t + u"Music/tone.flac"_s, m_when));
        for (const QString &folder : {u"Docs/Deep"_s, u"Docs"_s, u"Empty"_s, u"Arch"_s, u"Music"_s})
            QVERIFY(setMtime(t + folder, m_when.addMonths(1)));
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
        // A folder's files in readdir order, then its folders' in turn; a folder's record after
        // those of the folders in it, with the size of everything below it.
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
        // One call per folder visited: the root and four below it.
        QCOMPARE(r.folderCalls, 5);
    }

    // What each option leaves out, on one tree: the names listed, files then folders. A folder
    // emptied by the options is not empty on the disc, and the emptiness test sees hidden
    // entries even while they are left out.
    void leftOut_data()
    {
        QTest::addColumn<QString>("skip"); // "folders", "files", "hidden": empty folders, empty files, hidden entries
        QTest::addColumn<QStringList>("exclusions");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<quint64>("scanned");
        QTest::newRow("nothing") << QString() << QStringList()
                                 << u".dot .profile blob one z.bak zero | .cache filtered hiddenonly hollow"_s
                                 << quint64(13);
        QTest::newRow("empty folders") << u"folders"_s << QStringList()
                                       << u".dot .profile blob one z.bak zero | .cache filtered hiddenonly"_s
                                       << quint64(13);
        QTest::newRow("empty files") << u"files"_s << QStringList()
                                     << u".profile blob one | .cache filtered hiddenonly hollow"_s << quint64(13);
        // Hidden entries are not listed at all, so they do not move the gauge either.
        QTest::newRow("hidden") << u"hidden"_s << QStringList() << u"one z.bak zero | filtered hiddenonly hollow"_s
                                << quint64(1);
        QTest::newRow("all") << u"folders files hidden"_s << QStringList() << u"one | filtered hiddenonly"_s
                             << quint64(1);
        // A mask without "\\" is for files, in any case, and leaves a folder of that name alone;
        // one with it takes the folder, which is never read. Excluded files still move the gauge.
        QTest::newRow("exclusions") << QString() << QStringList{u".PROF*"_s, u"hollow"_s, u".cache\\"_s, u"*.bak"_s}
                                    << u".dot one zero | filtered hiddenonly hollow"_s << quint64(5);
        // It fails before anything is written.
        QTest::newRow("bad mask") << QString() << QStringList{u"[a-"_s} << u"refused"_s << quint64(0);
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
        } catch (const QuilloryError &) {
            QCOMPARE(u"refused"_s, listed);
        }
    }

    void oneSecondPastMidnightIsMidnight()
    {
        // At two-second precision, so the date is written without a time, as for midnight.
        QVERIFY(writeFile(path(u"onesec"_s), "s", QDateTime(QDate(2010, 12, 31), QTime(0, 0, 1))));
        QVERIFY(scan({}, m_root).files.contains("onesec\r\n\\\r\n1\r\n12/31/2010\r\n-\r\n"));
    }

    void linksStandForFilesOnlyAndPipesAreLeftOut()
    {
        file(u"real/target.bin"_s, 33);
        stampFolders({u"real"_s});
        QVERIFY(QFile::link(path(u"real/target.bin"_s), path(u"tolink.bin"_s)));
        QVERIFY(QFile::link(path(u"real"_s), path(u"dirlink"_s)));
        QVERIFY(QFile::link(m_root, path(u"real/loop"_s)));
        QVERIFY(QFile::link(path(u"nowhere"_s), path(u"dangling"_s)));
        QVERIFY(::mkfifo(QFile::encodeName(path(u"pipe.mp3"_s)).constData(), 0644) == 0);

        ScanOptions options;
        options.filters[6] = true; // MP3: the scan would block for ever if the pipe were opened
        const ScanResult r = scan(options, m_root);
        // A link to a file stands for the file. Links to folders and dangling links are left
        // out: listed with their own small size they would pass for files. The tree is walked
        // once, with no loop. Devices, pipes and sockets are no contents.
        QCOMPARE(listed(r), u"target.bin tolink.bin | real"_s);
        QCOMPARE(r.total, quint64(2 * 33));
    }

    void unreadableFolderIsPassedOverAndListed()
    {
        file(u"locked/secret"_s, 50);
        file(u"open/visible"_s, 6);
        file(u"private.jpg"_s, 9);
        stampFolders({u"locked"_s, u"open"_s});
        QVERIFY(::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0) == 0);
        QVERIFY(::chmod(QFile::encodeName(path(u"private.jpg"_s)).constData(), 0) == 0);
        ScanOptions options;
        options.skipEmptyFolders = true;
        options.filters[2] = true; // the JPEG reader would fail on a file it cannot open

        const ScanResult r = scan(options, m_root);
        ::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0755);
        QCOMPARE(listed(r), u"private.jpg visible | locked open"_s);
        // A file that cannot be read keeps its plain record.
        QVERIFY(r.files.contains(record({u"private.jpg"_s, u"\\"_s, u"9"_s, m_whenText})));
        // It cannot be listed, so it is not known to be empty: its record stays, with size 0.
        QVERIFY(r.folders.contains(record({u"locked\\"_s, u"\\"_s, u"0"_s, m_whenText})));
        QCOMPARE(r.total, quint64(6 + 9));
        // The folder is named; the file it could not read for its details is not missing.
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
        // Of the two folders, the one walked second is removed while the first is read.
        const QStringList order = readdirOrder(m_root);
        const QString later = order.indexOf(u"a"_s) < order.indexOf(u"b"_s) ? u"b"_s : u"a"_s;

        int calls = 0;
        ScanResult r = scan({}, m_root, 0, [&] {
            // The root's names are read and not yet looked at; then the first folder's.
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
        // It was there when its folder was read: its record stays, with nothing in it.
        QVERIFY(r.folders.contains(record({later + u'\\', u"\\"_s, u"0"_s, m_whenText})));
        QCOMPARE(r.total, quint64(3 + (later == u"a"_s ? 2 : 1)));
    }

    void deeperThanTheLongestPath()
    {
        // Far below PATH_MAX, where nothing can be reached by its whole path: a picture and an
        // archive whose details are read, and two folders side by side, the second reached again
        // from below after the first.
        constexpr int Depth = 5000;
        const QByteArray picture = readAll(dataPath(u"media/baseline.jpg"_s));
        const QByteArray archive = readAll(dataPath(u"zip/infozip-stdin.zip"_s)); // one entry, "-"
        const auto removeChain = qScopeGuard([this] { removeVolume(); });
        QVERIFY(
            makeDeepChain(m_root, Depth, "d", dataPath(u"media/baseline.jpg"_s), dataPath(u"zip/infozip-stdin.zip"_s)));

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
        const ContentsList files = ContentsList::fromBytes(r.files);
        QHash<QString, QStringList> byName;
        for (int i = 0; i < files.recordCount(); ++i)
            byName.insert(files.line(i, 0), files.lines(i));
        QCOMPARE(byName.size(), 5);
        QCOMPARE(byName.value(u"deep.jpg"_s).value(1), QString::fromLatin1(bottom));
        QVERIFY(byName.value(u"deep.jpg"_s).value(4).startsWith(u"Width: "_s));
        QCOMPARE(byName.value(u"-"_s).value(1), QString::fromLatin1(bottom + "pack.zip\\"));
        QCOMPARE(byName.value(u"e.txt"_s).value(1), QString::fromLatin1(bottom + "e\\"));
        QCOMPARE(byName.value(u"f.txt"_s).value(1), QString::fromLatin1(bottom + "f\\"));
        QCOMPARE(ContentsList::fromBytes(r.folders).recordCount(), Depth + 2);
        QVERIFY(r.folders.endsWith(record({u"d\\"_s, u"\\"_s, QString::number(r.total), m_whenText})));
        QCOMPARE(r.total, quint64(picture.size() + archive.size() + 2));
    }

    void pathsLongerThanAListLinePassedOver()
    {
        // Names of 255 bytes: from the 256th level on, a folder's path would be a line longer
        // than a disc's list may hold, and the whole list would be refused when read.
        constexpr int Depth = 260;
        const QByteArray link(255, 'n');
        const auto removeChain = qScopeGuard([this] { removeVolume(); });
        QVERIFY(makeDeepChain(m_root, Depth, link, u"jpeg"_s, u"zip"_s));
        const ScanResult r = scan({}, m_root);
        QCOMPARE(r.problems.size(), 1);
        QVERIFY(r.problems.first().endsWith(u'/' + QString::fromLatin1(link) +
                                            u"\": its path is longer than the catalogue can keep"_s));
        QCOMPARE(r.problems.first().count(QString::fromLatin1(link)), 256);
        // Its record stays, in the folder above it; what lies below is not listed.
        QCOMPARE(ContentsList::fromBytes(r.folders).recordCount(), 256);
        QVERIFY(r.files.isEmpty());
    }

    void gaugeMovesOnlyWhenThePercentChanges()
    {
        for (int i = 0; i < 300; ++i)
            file(u"f%1"_s.arg(i), 1024);
        ScanResult r = scan({}, m_root, 300 * 1024);
        QCOMPARE(r.scanned, quint64(300 * 1024));
        // 300 files, 100 percent steps: the gauge is redrawn at most once per step.
        QVERIFY(r.gauge.size() <= 101);
        QVERIFY(r.gauge.size() >= 90);
        // 299 of 300 already rounds to 100 percent: the last file changes nothing.
        QCOMPARE(r.gauge.last(), quint64(299));
        QVERIFY(std::is_sorted(r.gauge.begin(), r.gauge.end()));

        r = scan({}, m_root, 0);
        QVERIFY(r.gauge.isEmpty());

        QCOMPARE(RoundedPercent(1, 200), quint64(0)); // 0.5 to the even neighbour
        QCOMPARE(RoundedPercent(5, 200), quint64(2)); // 2.5
        QCOMPARE(RoundedPercent(~quint64(0), ~quint64(0)), quint64(100));
    }

    void writeFailureEndsTheScan()
    {
        file(u"a"_s, 1);
        QByteArray bytes;
        QBuffer files(&bytes), folders;
        files.open(QIODevice::ReadOnly); // every write fails
        folders.open(QIODevice::WriteOnly);
        Scanner s({}, &files, &folders);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, s.Scan(m_root));
    }

    // Which readers run: the filter ticked alone (-1 for none) and the name's last extension.
    void readersFollowTheFilters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("filter");
        QTest::addColumn<bool>("reads");
        QTest::newRow("jpg") << u"photo.jpg"_s << 2 << true;
        QTest::newRow("upper case, another spelling") << u"photo.JPE"_s << 2 << true;
        QTest::newRow("another filter") << u"photo.jpg"_s << 0 << false;
        QTest::newRow("none") << u"photo.jpg"_s << -1 << false;
        QTest::newRow("no extension") << u"README"_s << 2 << false;
        QTest::newRow("not the last extension") << u"photo.JPG.BAK"_s << 2 << false;
    }
    void readersFollowTheFilters()
    {
        QFETCH(QString, name);
        QFETCH(int, filter);
        QFETCH(bool, reads);
        QVERIFY(writeFile(path(name), readAll(dataPath(u"media/baseline.jpg"_s))));
        ScanOptions options;
        if (filter >= 0)
            options.filters[size_t(filter)] = true;
        const ContentsList list = ContentsList::fromBytes(scan(options, m_root).files);
        QCOMPARE(list.recordCount(), 1);
        QCOMPARE(list.lines(0).size() > 4, reads);
    }

    void oddNames()
    {
        // Line breaks would split a record; bytes that are not UTF-8 would turn the whole list
        // into another encoding for its readers. Names that differ only in such bytes stay
        // apart, read as Windows-1252, also as folders and in the paths below them.
        QVERIFY(writeFile(path(u"line\nbreak.txt"_s), "ab", m_when));
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
        folder(u"back\\slash"_s);
        const ScanResult r = scan({}, m_root);
        QVERIFY(TextCodec::isValidUtf8(r.files));
        // Name and folder of each record, with its size.
        const QStringList records{u"line?break.txt \\ 2"_s,     u"caf\u00E9.txt \\ 3"_s,    u"caf\u00E8.txt \\ 3"_s,
                                  u"\u20AC\u00C3 \\ 3"_s,       u"in.txt \\d\u00FCr\\ 3"_s, u"d\u00FCr\\ \\ 3"_s,
                                  u"inner.txt \\odd?dir\\ 4"_s, u"odd?dir\\ \\ 4"_s,        u"back\\slash\\ \\ 0"_s};
        for (const QString &rec : records)
            QVERIFY2((r.files + r.folders).contains(rec.split(u' ').join(u"\r\n"_s).toUtf8() + "\r\n"),
                     qPrintable(rec));
        QCOMPARE(r.total, quint64(2 + 4 * 3 + 4));
    }

    // An archive made here, and archives whose local headers defer their sizes to data descriptors
    // (streaming writers, the JDK's jar) or to ZIP64 fields, and ZIP64 end records, listed from
    // the central directory (tests/data/zip/make-fixtures.sh made them; fastjar states its sizes
    // and is walked).
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
        const QList<Entry> expected = reference(path);
        QVERIFY2(!expected.isEmpty(), "python3 could not read the archive");
        const QByteArray bytes = readAll(path);
        QCOMPARE(entries(bytes), expected);
        // With data in front of it (a self-extractor) the archive lists the same entries.
        QCOMPARE(entries(QByteArray(1001, '\x90') + bytes), expected);
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
        QByteArray bytes = readAll(m_work + u"many.zip"_s);
        const qsizetype end = bytes.lastIndexOf("PK\5\6");
        QVERIFY(end > 76 && bytes.mid(end - 76, 4) == "PK\6\6");
        QByteArray endRecord = bytes.mid(end);
        endRecord.replace(8, 4, QByteArray("\x01\x00\x01\x00", 4));
        bytes = bytes.left(end - 76) + endRecord;
        QCOMPARE(names(bytes).size(), 65537);
        // A missing archive is an error, and the archive keeps no name.
        TZipFile missing;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, missing.setFileName(m_work + u"none.zip"_s));
        QVERIFY(missing.FileName().isEmpty());
    }

    // Hostile bytes on the walk: how many entries are listed.
    void hostileWalk_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("offset"); // written at, from the start; -1: the bytes are the archive
        QTest::addColumn<int>("entries");
        // A name length and a data size far beyond the end of the file derail the walk; the count
        // the end record gives then sends the listing to the central directory.
        QTest::newRow("name length") << QByteArray("\xFF\xFF") << 26 << 2;
        QTest::newRow("data size") << QByteArray("\xFF\xFF\xFF\xFF") << 18 << 2;
        QTest::newRow("empty archive") << "PK\5\6" + QByteArray(18, '\0') << -1 << 0;
    }

    void hostileWalk()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, offset);
        QFETCH(int, entries);
        QByteArray archive = bytes;
        if (offset >= 0) {
            archive = smallArchive();
            archive.replace(offset, bytes.size(), bytes);
        }
        QCOMPARE(names(archive).size(), entries);
    }

    // When every local header states its sizes the walk's listing stands, even where the central
    // directory says otherwise (here: another date).
    void walkOverDirectory()
    {
        const QByteArray whole = smallArchive();
        QByteArray otherDate = whole;
        otherDate.replace(otherDate.indexOf("PK\1\2") + 14, 2, "\x21\x00");
        QCOMPARE(entries(otherDate), entries(whole));
    }

    // A central directory that does not hold together leaves the walk's listing: the same as
    // when the archive has no end record at all.
    void damagedDirectory_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("anchor"); // a signature
        QTest::addColumn<bool>("last");         // its last occurrence, else its first
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes"); // written there
        const QString stream = u"python-stream.zip"_s;
        const QString zip64 = u"infozip-zip64.zip"_s;
        const QByteArray header("PK\1\2"), end("PK\5\6"), end64("PK\6\6");
        QTest::newRow("first header's signature") << stream << header << false << 0 << QByteArray("PK\1\3");
        QTest::newRow("last header's signature") << stream << header << true << 0 << QByteArray("PK\0\0", 4);
        QTest::newRow("name past the directory") << stream << header << true << 28 << QByteArray("\xFF\xFF");
        QTest::newRow("extra past the directory") << stream << header << false << 30 << QByteArray("\xFF\xFF");
        QTest::newRow("directory past the start") << stream << end << true << 12 << QByteArray("\xF0\xFF\xFF\xFF");
        QTest::newRow("empty directory") << stream << end << true << 12 << QByteArray(4, '\0');
        QTest::newRow("count too high") << stream << end << true << 10 << QByteArray("\x09\x00", 2);
        QTest::newRow("ZIP64 directory past the start")
            << zip64 << end64 << true << 40 << QByteArray("\0\0\0\0\0\0\0\x40", 8);
        QTest::newRow("ZIP64 count too high") << zip64 << end64 << true << 32 << QByteArray("\0\0\0\0\0\x01\0\0", 8);
        // The 4 GB entry's ZIP64 field cut to 8 bytes: its compressed size is missing.
        QTest::newRow("ZIP64 field too short")
            << u"python-over4g.zip"_s << header << true << 46 + 20 + 2 << QByteArray("\x08\x00", 2);
    }

    void damagedDirectory()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, anchor);
        QFETCH(bool, last);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        const QByteArray whole = readAll(QStringLiteral(QUILLORY_TEST_DATA "/zip/") + file);
        const qsizetype at = last ? whole.lastIndexOf(anchor) : whole.indexOf(anchor);
        QVERIFY(at >= 0);
        QByteArray damaged = whole;
        damaged.replace(at + offset, bytes.size(), bytes);
        QByteArray noEnd = damaged;
        noEnd.replace(noEnd.lastIndexOf("PK\5\6"), 4, "PK\5\7");
        const QStringList listedNames = names(damaged);
        QCOMPARE(listedNames, names(noEnd));
        QVERIFY(listedNames != names(whole));
    }

    // The scan end to end: the archive's own record, one record per file entry (folders give
    // none), an impossible stored date (month 13) written empty; with the filter off a plain file.
    void scanned()
    {
        QByteArray archive = smallArchive();
        archive[12] = char(0xA0 | (archive[12] & 0x1F)); // the first entry's month bits: 13
        archive[13] = char((archive[13] & ~1) | 1);
        const QString size = QString::number(archive.size());
        const QByteArray inside =
            record({u"a.txt"_s, u"\\PACK.ZIP\\"_s, u"4"_s, QString(), u"Archive path: \\"_s}) +
            record({u"c.txt"_s, u"\\PACK.ZIP\\"_s, u"8"_s,
                    CatalogueLocale().formatListDate(entries(archive).at(1).when), u"Archive path: \\b\\"_s});
        QCOMPARE(scanOne(archive), record({u"PACK.ZIP"_s, u"\\"_s, size, m_whenText, u"Compressed Folder"_s}) + inside);
        QCOMPARE(scanOne(archive, false), record({u"PACK.ZIP"_s, u"\\"_s, size, m_whenText}));
    }

    void sameAsScanOfTree_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("leaveOut"); // hidden, empty files and folders, and exclusions
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<QStringList>("serialArgs"); // volume_serial.py's, after the image
        QTest::newRow("ISO 9660 + Joliet") << u"joliet"_s << false << u"CDFS"_s << QStringList{u"iso"_s};
        QTest::newRow("Rock Ridge + Joliet") << u"rockridge"_s << false << u"CDFS"_s << QStringList{u"iso"_s};
        QTest::newRow("UDF bridge") << u"udf"_s << false << u"UDF"_s << QStringList{u"udf"_s, u"2048"_s};
        QTest::newRow("leaving out") << u"joliet"_s << true << u"CDFS"_s << QStringList{u"iso"_s};
    }
    void sameAsScanOfTree()
    {
        QFETCH(QString, tool);
        QFETCH(bool, leaveOut);
        QFETCH(QString, fileSystem);
        QFETCH(QStringList, serialArgs);
        const QString image = m_images->filePath(tool + u".iso"_s);
        if (!QFile::exists(image) && !makeImage(tool, image))
            QSKIP("the image tool is missing or failed");

        ScanOptions options;
        options.filters.fill(true); // the readers look at the bytes inside the image
        if (leaveOut) {
            options.skipHidden = options.skipEmptyFiles = options.skipEmptyFolders = true;
            options.exclusions = {u"*.bin"_s, u"Arch\\"_s};
        }
        const ScanResult tree = scan(options, m_tree);
        const ScanResult disc = scanImage(options, image);
        QCOMPARE(records(disc.files), records(tree.files));
        QCOMPARE(records(disc.folders), records(tree.folders));
        QCOMPARE(disc.total, tree.total);
        QCOMPARE(disc.problems, QStringList());
        if (!leaveOut) {
            QVERIFY(records(disc.files).contains(u"a.txt|\\|5|3/1/2004 10:20:30 AM"_s));
            // A folder's files, then its subfolders; a folder's record after its subfolders'.
            QCOMPARE(firstLines(disc.folders),
                     (QStringList{u"Arch\\"_s, u"Deep\\"_s, u"Docs\\"_s, u"Empty\\"_s, u"Music\\"_s}));
            QVERIFY(records(disc.files).filter(u"tone.flac|"_s).value(0).contains(u"|Duration: "_s));
            QCOMPARE(firstLines(disc.files),
                     (QStringList{u".hidden"_s, u"a.txt"_s, u"empty.txt"_s, u"Ünïcödé – ‹name›.txt"_s, u"pack.zip"_s,
                                  u"one.txt"_s, u"two.txt"_s, u"readme.TXT"_s, u"x.bin"_s, u"中文名.txt"_s,
                                  u"tone.flac"_s}));
        }

        const DiscVolume volume = ImageScanner::volumeOf(image);
        QByteArray serial;
        QVERIFY(run(
            m_dir->path(), u"python3"_s,
            QStringList{QStringLiteral(QUILLORY_SOURCE_DIR "/tests/acquire/volume_serial.py"), serialArgs[0], image} +
                serialArgs.mid(1),
            {}, &serial));
        QCOMPARE(volume.serial, QString::fromLatin1(serial.trimmed()));
        QCOMPARE(volume.fileSystem, fileSystem);
        QCOMPARE(volume.label, u"MY_DISC"_s);
        QCOMPARE(volume.image, image);
    }

    // Rock Ridge links as the mounted disc shows them: one to a file stands for it (through a
    // linked folder too), one to a folder or to nothing is left out.
    void linksAsOnTheDisc()
    {
        const QString tree = m_images->filePath(u"links"_s), image = m_images->filePath(u"links.iso"_s);
        QVERIFY(writeFile(tree + u"/a.txt"_s, "12345", m_when));
        QVERIFY(writeFile(tree + u"/Sub/f.txt"_s, "ff", m_when));
        for (const auto &[link, target] : {std::pair{u"Sub/up.txt"_s, u"../a.txt"_s},
                                           {u"Alias"_s, u"Sub"_s},
                                           {u"thru.txt"_s, u"Alias/f.txt"_s},
                                           {u"gone.txt"_s, u"nothing"_s},
                                           {u"Sub/loop"_s, u"loop"_s}})
            QVERIFY(QFile::link(target, tree + u'/' + link));
        QVERIFY(setMtime(tree + u"/Sub"_s, m_when));
        if (!run(m_dir->path(), u"xorriso"_s, {u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-R"_s, u"-o"_s, image, tree}))
            QSKIP("xorriso is missing or failed");
        const ScanResult disc = scanImage(ScanOptions(), image);
        QCOMPARE(records(disc.files), records(scan(ScanOptions(), tree).files));
        QCOMPARE(firstLines(disc.files), (QStringList{u"a.txt"_s, u"thru.txt"_s, u"f.txt"_s, u"up.txt"_s}));
    }

    // Fault: an image cut short must not become a disc with files whose bytes are missing.
    void damagedImageChangesNothing_data()
    {
        QTest::addColumn<qint64>("keep"); // bytes of the image kept; -1: not an image at all
        QTest::newRow("cut inside a file's data") << qint64(33 * 2048 + 100);
        QTest::newRow("cut inside the folders") << qint64(20 * 2048);
        QTest::newRow("no volume") << qint64(-1);
    }
    void damagedImageChangesNothing()
    {
        QFETCH(qint64, keep);
        const QString whole = m_images->filePath(u"joliet.iso"_s);
        if (!QFile::exists(whole) && !makeImage(u"joliet"_s, whole))
            QSKIP("xorriso is missing or failed");
        QFile source(whole);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString image = m_images->filePath(u"damaged.iso"_s);
        QVERIFY(writeFile(image, keep < 0 ? QByteArray(100000, 'z') : source.read(keep)));

        Catalogue cat(m_dir->path() + u"/data"_s);
        cat.load([](const QString &) {});
        DiscAdder adder(cat);
        const QStringList before = TreeToLines(cat.tree());
        try {
            DiscVolume volume = ImageScanner::volumeOf(image);
            DiscDetails details;
            details.title = u"Cut"_s;
            adder.add(volume, details, nullptr);
            QFAIL("the damaged image was added");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().startsWith(u"Cannot read the disc image \""_s + image + u"\": "_s),
                     qPrintable(e.message()));
        }
        QCOMPARE(TreeToLines(cat.tree()), before);
        QCOMPARE(QDir(cat.dbFolder()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"
