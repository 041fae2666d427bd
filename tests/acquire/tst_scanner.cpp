#include "ScanFixture.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "settings/Preferences.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
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

    // The expected file records of one folder: its files in readdir order, with the given sizes.
    QByteArray fileRecords(const QString &rel, const QString &catalogPath, const QHash<QString, int> &sizes,
                           const QStringList &skip = {})
    {
        QByteArray out;
        for (const QString &n : readdirOrder(path(rel))) {
            if (!sizes.contains(n) || skip.contains(n))
                continue;
            out += record({n, catalogPath, QString::number(sizes.value(n)), m_whenText});
        }
        return out;
    }

    static QString strerrorText(int err) { return QString::fromLocal8Bit(strerror(err)); }

    // A chain of depth folders named link below root, made and removed through descriptors (no
    // path reaches its bottom), holding at the bottom "deep.jpg", "pack.zip" and the folders "e"
    // and "f" with one small file each. Every folder has the test's time.
    bool makeDeepChain(const QString &root, int depth, const char *link, const QByteArray &picture,
                       const QByteArray &archive)
    {
        const timespec times[2] = {{m_when.toSecsSinceEpoch(), 0}, {m_when.toSecsSinceEpoch(), 0}};
        auto put = [&times](int dir, const char *name, const QByteArray &bytes) {
            const int fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            const bool ok = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
            return fd >= 0 && ::futimens(fd, times) == 0 && ::close(fd) == 0 && ok;
        };
        int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int i = 0; i < depth && fd >= 0; ++i) {
            const int next =
                ::mkdirat(fd, link, 0755) == 0 ? ::openat(fd, link, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            ::close(fd);
            fd = next;
        }
        if (fd < 0)
            return false;
        bool ok = put(fd, "deep.jpg", picture) && put(fd, "pack.zip", archive);
        for (const char *sub : {"e", "f"}) {
            const int in = ok && ::mkdirat(fd, sub, 0755) == 0 ? ::openat(fd, sub, O_RDONLY | O_DIRECTORY) : -1;
            ok = in >= 0 && put(in, (QByteArray(sub) + ".txt").constData(), "1") && ::futimens(in, times) == 0;
            if (in >= 0)
                ::close(in);
        }
        // Folder times last, from the bottom up: making an entry moves its folder's time.
        for (int i = 0; i < depth && ok; ++i) {
            ok = ::futimens(fd, times) == 0;
            const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = up;
            ok = ok && fd >= 0;
        }
        if (fd >= 0)
            ::close(fd);
        return ok;
    }
    // Qt removes by whole paths, which a chain deeper than the longest path defeats.
    void removeDeepChain() { run(m_dir->path(), u"rm"_s, {u"-rf"_s, u"vol"_s}); }

private Q_SLOTS:
    void initTestCase()
    {
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
        QHash<QString, int> rootFiles, musicFiles, rockFiles;
        for (int i = 0; i < 12; ++i) {
            const QString n = u"file%1.txt"_s.arg(i);
            rootFiles.insert(n, i + 1);
            file(n, i + 1);
        }
        folder(u"MUSIC/ROCK"_s);
        folder(u"EMPTY"_s);
        folder(u"DOCS"_s);
        file(u"MUSIC/a.mp3"_s, 100);
        file(u"MUSIC/B.MP3"_s, 200);
        musicFiles = {{u"a.mp3"_s, 100}, {u"B.MP3"_s, 200}};
        file(u"MUSIC/ROCK/song.wav"_s, 1000);
        rockFiles = {{u"song.wav"_s, 1000}};
        file(u"DOCS/readme"_s, 7);
        stampFolders({u"MUSIC/ROCK"_s, u"MUSIC"_s, u"EMPTY"_s, u"DOCS"_s});

        const ScanResult r = scan({}, m_dir->path() + u"/vol"_s); // no final slash

        QByteArray files = fileRecords(QString(), u"\\"_s, rootFiles);
        QByteArray folders;
        const QHash<QString, int> folderSize{{u"MUSIC"_s, 1300}, {u"EMPTY"_s, 0}, {u"DOCS"_s, 7}};
        for (const QString &d : readdirOrder(m_root)) {
            if (d == u"MUSIC"_s) {
                files += fileRecords(u"MUSIC"_s, u"\\MUSIC\\"_s, musicFiles);
                files += fileRecords(u"MUSIC/ROCK"_s, u"\\MUSIC\\ROCK\\"_s, rockFiles);
                folders += record({u"ROCK\\"_s, u"\\MUSIC\\"_s, u"1000"_s, m_whenText});
            } else if (d == u"DOCS"_s) {
                files += record({u"readme"_s, u"\\DOCS\\"_s, u"7"_s, m_whenText});
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

    void exclusionsByNameAndFolderMask()
    {
        file(u"keep.txt"_s, 5);
        file(u"a.TMP"_s, 40);
        folder(u"skip/inner"_s);
        file(u"skip/inner/x.txt"_s, 9);
        folder(u"Temp"_s);
        file(u"Temp/t.txt"_s, 3);
        folder(u"only"_s);
        file(u"only/gone.tmp"_s, 11);
        stampFolders({u"skip"_s, u"Temp"_s, u"only"_s});

        ScanOptions options;
        // "skip" has no "\": it is a file mask and leaves the folder alone; "temp\" takes the folder.
        options.exclusions = {u"*.tmp"_s, u"skip"_s, u"temp\\"_s};
        const ScanResult r = scan(options, m_root);

        QVERIFY(!r.files.contains("a.TMP"));
        QVERIFY(!r.files.contains("gone.tmp"));
        QVERIFY(!r.files.contains("t.txt"));
        QVERIFY(!r.folders.contains("Temp\\"));
        QVERIFY(r.files.contains(record({u"x.txt"_s, u"\\skip\\inner\\"_s, u"9"_s, m_whenText})));
        // A folder whose files were all left out keeps its record, with size 0.
        QVERIFY(r.folders.contains(record({u"only\\"_s, u"\\"_s, u"0"_s, m_whenText})));
        QCOMPARE(r.total, quint64(5 + 9));
        // Excluded files still move the progress counter; an excluded folder is never read.
        QCOMPARE(r.scanned, quint64(5 + 40 + 9 + 11));

        // A bad mask fails before anything is written.
        options.exclusions = {u"[a-"_s};
        QVERIFY_THROWS_EXCEPTION(QuilloryError, scan(options, m_root));
    }

    // What each option leaves out, on one tree: the names listed, files then folders. A folder
    // emptied by the options is not empty on the disc, and the emptiness test sees hidden
    // entries even while they are left out.
    void leftOut_data()
    {
        QTest::addColumn<bool>("emptyFolders");
        QTest::addColumn<bool>("emptyFiles");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<quint64>("scanned");
        QTest::newRow("nothing") << false << false << false
                                 << u".dot .profile blob one z.bak zero | .cache filtered hiddenonly hollow"_s
                                 << quint64(13);
        QTest::newRow("empty folders") << true << false << false
                                       << u".dot .profile blob one z.bak zero | .cache filtered hiddenonly"_s
                                       << quint64(13);
        QTest::newRow("empty files") << false << true << false
                                     << u".profile blob one | .cache filtered hiddenonly hollow"_s << quint64(13);
        // Hidden entries are not listed at all, so they do not move the gauge either.
        QTest::newRow("hidden") << false << false << true << u"one z.bak zero | filtered hiddenonly hollow"_s
                                << quint64(1);
        QTest::newRow("all") << true << true << true << u"one | filtered hiddenonly"_s << quint64(1);
    }
    void leftOut()
    {
        QFETCH(bool, emptyFolders);
        QFETCH(bool, emptyFiles);
        QFETCH(bool, hidden);
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
        options.skipEmptyFolders = emptyFolders;
        options.skipEmptyFiles = emptyFiles;
        options.skipHidden = hidden;
        const ScanResult r = scan(options, m_root);
        QStringList names;
        for (const QByteArray &list : {r.files, r.folders}) {
            const ContentsList l = ContentsList::fromBytes(list);
            QStringList some;
            for (int i = 0; i < l.recordCount(); ++i)
                some << l.line(i, 0).remove(u'\\');
            some.sort();
            names << some.join(u' ');
        }
        QCOMPARE(names.join(u" | "_s), listed);
        QCOMPARE(r.scanned, scanned);
    }

    void datesMidnightAndTwoSecondSteps()
    {
        QVERIFY(writeFile(path(u"midnight"_s), "m", QDateTime(QDate(2010, 12, 31), QTime(0, 0, 0))));
        QVERIFY(writeFile(path(u"onesec"_s), "s", QDateTime(QDate(2010, 12, 31), QTime(0, 0, 1))));
        QVERIFY(writeFile(path(u"evening"_s), "e", QDateTime(QDate(1999, 7, 4), QTime(23, 59, 59))));
        const ScanResult r = scan({}, m_root);
        // One second past midnight is midnight at two-second precision: no time either.
        QVERIFY(r.files.contains("midnight\r\n\\\r\n1\r\n12/31/2010\r\n-\r\n"));
        QVERIFY(r.files.contains("onesec\r\n\\\r\n1\r\n12/31/2010\r\n-\r\n"));
        QVERIFY(r.files.contains("evening\r\n\\\r\n1\r\n7/4/1999 11:59:58 PM\r\n-\r\n"));
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
        // A link to a file stands for the file.
        QVERIFY(r.files.contains(record({u"tolink.bin"_s, u"\\"_s, u"33"_s, m_whenText})));
        // Links to folders and dangling links are left out: listed with their own small size
        // they would pass for files. The tree is walked once, with no loop.
        QVERIFY(!r.files.contains("dirlink\r\n"));
        QVERIFY(!r.files.contains("loop\r\n"));
        QVERIFY(!r.files.contains("dangling\r\n"));
        QVERIFY(!r.files.contains("pipe.mp3")); // devices, pipes and sockets are no contents
        QCOMPARE(r.folders.count("\r\n-\r\n"), 1);
        QCOMPARE(r.files.count("\r\n-\r\n"), 2);
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

        // Permissions do not bind the superuser: then the scan runs in a child as "nobody".
        ScanResult r;
        if (::geteuid() == 0) {
            QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755) == 0);
            const QString out = m_dir->path() + u"/out"_s;
            QVERIFY(writeFile(out, QByteArray()));
            QVERIFY(::chmod(QFile::encodeName(out).constData(), 0666) == 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                int code = 1;
                if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
                    try {
                        const ScanResult c = scan(options, m_root);
                        const QByteArray text = c.files + "\f" + c.folders + "\f" + QByteArray::number(c.total) + "\f" +
                                                c.problems.join(u'\n').toUtf8();
                        code = ::geteuid() == 65534 && writeFile(out, text) ? 0 : 1;
                    } catch (...) {
                        code = 2;
                    }
                }
                ::_exit(code);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(QDir().mkpath(m_dir->path())); // keep QTemporaryDir happy
            QCOMPARE(WEXITSTATUS(status), 0);
            QFile f(out);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QList<QByteArray> parts = f.readAll().split('\f');
            QCOMPARE(parts.size(), 4);
            r.files = parts[0];
            r.folders = parts[1];
            r.total = parts[2].toULongLong();
            r.problems = QString::fromUtf8(parts[3]).split(u'\n', Qt::SkipEmptyParts);
        } else {
            r = scan(options, m_root);
        }
        ::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0755);
        QVERIFY(!r.files.contains("secret"));
        QVERIFY(r.files.contains("visible\r\n"));
        // A file that cannot be read keeps its plain record.
        QVERIFY(r.files.contains(record({u"private.jpg"_s, u"\\"_s, u"9"_s, m_whenText})));
        // It cannot be listed, so it is not known to be empty: its record stays, with size 0.
        QVERIFY(r.folders.contains(record({u"locked\\"_s, u"\\"_s, u"0"_s, m_whenText})));
        QCOMPARE(r.total, quint64(6 + 9));
        // The folder is named; the file it could not read for its details is not missing.
        QCOMPARE(r.problems, QStringList{u"Cannot read \"%1\": %2"_s.arg(path(u"locked"_s), strerrorText(EACCES))});
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
        QVERIFY(r.files.contains("keep.txt\r\n"));
        QVERIFY(!r.files.contains("gone"));
        QVERIFY(!r.folders.contains("gone"));
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
        const QString media = QStringLiteral(QUILLORY_TEST_DATA "/media/");
        QFile jpeg(media + u"baseline.jpg"_s);
        QVERIFY(jpeg.open(QIODevice::ReadOnly));
        const QByteArray picture = jpeg.readAll();
        file(u"zipped/inside.txt"_s, 6);
        QVERIFY(run(path(u"zipped"_s), u"zip"_s, {u"-q"_s, u"-0"_s, u"../pack.zip"_s, u"inside.txt"_s}));
        QFile zip(path(u"pack.zip"_s));
        QVERIFY(zip.open(QIODevice::ReadOnly));
        const QByteArray archive = zip.readAll();
        QVERIFY(QDir(path(u"zipped"_s)).removeRecursively());
        QVERIFY(QFile::remove(path(u"pack.zip"_s)));

        const auto removeChain = qScopeGuard([this] { removeDeepChain(); });
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
        ScanResult r;
        try {
            r = scan(options, m_root);
        } catch (const QuilloryError &e) {
            ::setrlimit(RLIMIT_NOFILE, &limits);
            QFAIL(qPrintable(e.message()));
        }
        ::setrlimit(RLIMIT_NOFILE, &limits);

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
        QCOMPARE(byName.value(u"inside.txt"_s).value(1), QString::fromLatin1(bottom + "pack.zip\\"));
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
        const auto removeChain = qScopeGuard([this] { removeDeepChain(); });
        QVERIFY(makeDeepChain(m_root, Depth, link.constData(), "jpeg", "zip"));
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

    // Which readers run: the tick of the first filter whose caption holds the extension.
    void filterByCaption_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("filter"); // ticked alone; -1 for none
        QTest::addColumn<bool>("reads");
        QTest::newRow("zip") << u".zip"_s << 0 << true;
        QTest::newRow("upper case") << u".ZIP"_s << 0 << true;
        QTest::newRow("another filter") << u".zip"_s << 7 << false;
        QTest::newRow("jpe") << u".jpe"_s << 2 << true;
        QTest::newRow("jpeg") << u".jpeg"_s << 2 << true;
        // A plain substring: ".htm" is in the HTML caption.
        QTest::newRow("htm") << u".htm"_s << 9 << true;
        QTest::newRow("in no caption") << u".exe"_s << -1 << false;
    }
    void filterByCaption()
    {
        QFETCH(QString, extension);
        QFETCH(int, filter);
        QFETCH(bool, reads);
        ScanOptions options;
        if (filter >= 0)
            options.filters[size_t(filter)] = true;
        QCOMPARE(options.reads(extension), reads);
    }

    void optionsFromThePreferences()
    {
        Preferences prefs; // a first run: the archive and Monkey's Audio filters
        prefs.set(Preferences::EmptyDirs, true);
        prefs.set(Preferences::HiddenFiles, true);
        prefs.setExclusions({u"*.tmp"_s});
        const ScanOptions o = ScanOptions::from(prefs);
        QVERIFY(o.reads(u".zip"_s) && o.reads(u".ape"_s) && !o.reads(u".jpg"_s));
        QVERIFY(o.skipEmptyFolders && !o.skipEmptyFiles && o.skipHidden);
        QCOMPARE(o.exclusions, QStringList{u"*.tmp"_s});
    }

    void readersFollowTheFilters()
    {
        const QString media = QStringLiteral(QUILLORY_TEST_DATA "/media/");
        QVERIFY(QFile::copy(media + u"baseline.jpg"_s, path(u"photo.JPE"_s)));
        QVERIFY(QFile::copy(media + u"stereo16.wav"_s, path(u"tone.wav"_s)));
        QVERIFY(QFile::copy(media + u"baseline.jpg"_s, path(u"README"_s)));
        file(u"ARCHIVE.ZIP.BAK"_s, 30);

        ScanOptions options;
        options.filters[0] = true; // ZIP
        options.filters[2] = true; // JPEG; WAV is left off
        const ContentsList list = ContentsList::fromBytes(scan(options, m_root).files);
        QHash<QString, QStringList> extras;
        for (int i = 0; i < list.recordCount(); ++i)
            extras.insert(list.line(i, 0), list.lines(i).mid(4));
        QCOMPARE(extras.value(u"photo.JPE"_s).size(), 2);
        QVERIFY(extras.value(u"photo.JPE"_s).first().startsWith(u"Width: "_s));
        for (const QString &plain : {u"tone.wav"_s, u"README"_s, u"ARCHIVE.ZIP.BAK"_s})
            QVERIFY2(extras.contains(plain) && extras.value(plain).isEmpty(), qPrintable(plain));
    }

    void oddNames()
    {
        // Line breaks would split a record; bytes that are not UTF-8 would turn the whole list
        // into another encoding for its readers. Names that differ only in such bytes stay
        // apart, read as Windows-1252, also as folders and in the paths below them.
        QVERIFY(writeFile(path(u"line\nbreak.txt"_s), "ab", m_when));
        const QByteArray base = QFile::encodeName(m_root);
        QList<QByteArray> raw;
        for (const QByteArray &name : {QByteArray("caf\xe9.txt"), QByteArray("caf\xe8.txt"), QByteArray("\x80\xc3")}) {
            raw.append(base + name);
            const int fd = ::open(raw.last().constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, "xyz", 3), ssize_t(3));
            ::close(fd);
        }
        const QByteArray rawFolder = base + "d\xfcr";
        QVERIFY(::mkdir(rawFolder.constData(), 0755) == 0);
        {
            const int fd = ::open((rawFolder + "/in.txt").constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        folder(u"odd\rdir"_s);
        file(u"odd\rdir/inner.txt"_s, 4);
        folder(u"back\\slash"_s);

        const ScanResult r = scan({}, m_root);
        // Qt could not remove names it cannot decode.
        for (const QByteArray &name : raw)
            ::unlink(name.constData());
        ::unlink((rawFolder + "/in.txt").constData());
        ::rmdir(rawFolder.constData());
        QVERIFY(TextCodec::isValidUtf8(r.files));
        QVERIFY(r.files.contains("line?break.txt\r\n\\\r\n2\r\n"));
        QVERIFY(r.files.contains(u"caf\u00E9.txt\r\n\\\r\n3\r\n"_s.toUtf8()));
        QVERIFY(r.files.contains(u"caf\u00E8.txt\r\n\\\r\n3\r\n"_s.toUtf8()));
        QVERIFY(r.files.contains(u"\u20AC\u00C3\r\n\\\r\n3\r\n"_s.toUtf8()));
        QVERIFY(r.files.contains(u"in.txt\r\n\\d\u00FCr\\\r\n0\r\n"_s.toUtf8()));
        QVERIFY(r.folders.contains(u"d\u00FCr\\\r\n\\\r\n0\r\n"_s.toUtf8()));
        QVERIFY(r.files.contains("inner.txt\r\n\\odd?dir\\\r\n4\r\n"));
        QVERIFY(r.folders.contains("odd?dir\\\r\n\\\r\n4\r\n"));
        QVERIFY(r.folders.contains("back\\slash\\\r\n\\\r\n0\r\n"));
        QCOMPARE(r.total, quint64(2 + 3 * 3 + 4));
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"
