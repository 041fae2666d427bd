#include "ScanFixture.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"

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
// cannot be read, a tree deeper than any path, and the progress gauge.
class TestScanner : public QObject
{
    Q_OBJECT

    // A fixed time whose text is known, with an odd second that the lists round down.
    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 31)};
    const QString m_whenText = u"3/1/2004 10:20:30 AM"_s;

    QString m_root;
    std::unique_ptr<QTemporaryDir> m_dir;

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
    static QByteArray dataFile(const QString &rel)
    {
        QFile f(dataPath(rel));
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

private Q_SLOTS:
    void initTestCase()
    {
        // Permissions do not bind the superuser, and unreadable folders are part of the test.
        if (::geteuid() == 0)
            QVERIFY(::setgid(65534) == 0 && ::setuid(65534) == 0);
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_root = m_dir->path() + u"/vol/"_s;
        QVERIFY(QDir().mkpath(m_root));
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
        const QByteArray picture = dataFile(u"media/baseline.jpg"_s);
        const QByteArray archive = dataFile(u"zip/infozip-stdin.zip"_s); // one entry, "-"
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
        QVERIFY(writeFile(path(name), dataFile(u"media/baseline.jpg"_s)));
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
};

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"
