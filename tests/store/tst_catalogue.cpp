#include "CabTestUtil.h"

#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/CatalogueLock.h"
#include "store/CatalogueSwitch.h"
#include "store/ContentsFile.h"
#include "store/TreeFile.h"

#include <QCoreApplication>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace CabTestUtil;
using namespace Qt::StringLiterals;

// The catalogue's lock, what a killed run left in DB, and the switch stopped at every step (the old
// catalogue or the new one, never a mix); staging entries it did not make are refused, never followed.
class TestCatalogue : public QObject
{
    Q_OBJECT

    struct Killed {
    };

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_live; // a program that runs for the whole test
    qint64 m_deadPid = 0;

    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString db() const { return data() + u"DB/"_s; }
    QString outside() const { return m_dir->path() + u"/outside/"_s; }
    QString lockFile() const { return db() + Catalogue::lockName(); }
    static QByteArray lockBytes(qint64 pid, const QByteArray &app,
                                const QByteArray &onHost = QSysInfo::machineHostName().toUtf8())
    {
        return QByteArray::number(pid) + '\n' + app + '\n' + onHost + '\n';
    }
    static void writeTree(const QString &folder, const QStringList &serials, const QString &root)
    {
        QStringList lines{root};
        for (const QString &s : serials)
            lines << u"\t%1|L|%1|CDFS|10|||1|d|"_s.arg(s);
        TextCodec::writeLines(folder + QLatin1String(TreeFileName), lines);
    }
    static void pack(const QString &folder, const QString &serial, const QByteArray &text)
    {
        ContentsFile::packBytes(folder, serial, "d " + text, "f " + text);
    }
    QStringList dbEntries() const
    {
        QStringList names = QDir(db()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names.removeOne(Catalogue::lockName());
        names.sort();
        return names;
    }
    // What a reader of the catalogue sees: the tree and each disc's lists.
    QStringList seen(Catalogue &cat)
    {
        QStringList out;
        cat.tree().forEachPreOrder([&](TreeNode *n) {
            QString line = n->text();
            if (n->isDisc() && n->cd()) {
                const ContentsFile::Lists lists = ContentsFile::read(cat.dbFolder(), n->cd()->Serial);
                line += u' ' + QString::fromLatin1(lists.folderList + ' ' + lists.fileList);
            }
            out << line;
        });
        return out;
    }
    QStringList readWithoutLock()
    {
        Catalogue reader(data());
        reader.load({}, TreeWrite::Never);
        return seen(reader);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_live.start(u"sleep"_s, {u"600"_s});
        QVERIFY(m_live.waitForStarted());
        QProcess ended;
        ended.start(u"sh"_s, {u"-c"_s, u"echo $$"_s});
        QVERIFY(ended.waitForFinished());
        m_deadPid = ended.readAllStandardOutput().trimmed().toLongLong();
        QVERIFY(m_deadPid > 0 && ::kill(pid_t(m_deadPid), 0) != 0);
    }
    void cleanupTestCase()
    {
        m_live.kill();
        m_live.waitForFinished();
    }

    void leftLock_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("takenOver");
        QTest::addColumn<QString>("said"); // besides the lock file's path

        const QByteArray self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
        // A kill between making the file and writing it.
        QTest::newRow("empty") << QByteArray() << true << u"was empty or damaged"_s;
        QTest::newRow("damaged") << QByteArray("\x01\xFFzz\n\n") << true << u"was empty or damaged"_s;
        QTest::newRow("process gone") << lockBytes(m_deadPid, "quillory-cli") << true
                                      << u"(process %1) that no longer runs"_s.arg(m_deadPid);
        QTest::newRow("this program") << lockBytes(QCoreApplication::applicationPid(), self) << false
                                      << u"in use by another Quillory! program"_s;
        QTest::newRow("another live program")
            << lockBytes(m_live.processId(), "sleep") << false << u"in use by another Quillory! program"_s;
        // Whether it still runs there cannot be seen from here: the user is told what to do.
        QTest::newRow("another computer, process gone")
            << lockBytes(m_deadPid, "quillory", "elsewhere.example") << false << u"computer \"elsewhere.example\""_s;
    }
    void leftLock()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, takenOver);
        QFETCH(QString, said);
        writeFile(lockFile(), bytes);
        QStringList told;
        Catalogue cat(data());
        if (const QString why = refusal([&] { cat.lock([&told](const QString &msg) { told << msg; }); });
            why != u"<not refused>"_s)
            told << why;
        QCOMPARE(cat.isLocked(), takenOver);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().contains(said) && told.first().contains(QDir::toNativeSeparators(lockFile())),
                 qPrintable(told.first()));
        const QByteArray mine = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
        QVERIFY(takenOver ? readFile(lockFile()).startsWith(mine) : readFile(lockFile()) == bytes);
    }

    // An empty lock file its maker holds locked is not taken from it; nor is a folder.
    void unfinishedOrForeignLockIsKept()
    {
        writeFile(lockFile(), QByteArray());
        const int fd = ::open(QFile::encodeName(lockFile()).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0);
        Catalogue cat(data());
        QVERIFY_THROWS_EXCEPTION(QuilloryError, cat.lock());
        ::close(fd);
        QVERIFY(QFileInfo(lockFile()).isFile() && QFile::remove(lockFile()));
        QVERIFY(QDir().mkpath(lockFile() + u"/inside"_s));
        QVERIFY(refusal([&] { cat.lock(); }).contains(u"is not a lock file"_s));
        QVERIFY(QFileInfo(lockFile() + u"/inside"_s).isDir());
        // A pipe would hold the program for ever once read for its owner.
        QVERIFY(QDir(lockFile()).removeRecursively());
        QCOMPARE(::mkfifo(QFile::encodeName(lockFile()).constData(), 0600), 0);
        QVERIFY(refusal([&] { cat.lock(); }).contains(u"is not a lock file"_s));
    }

    // The settings' lock left empty by a kill goes at once, not after QLockFile's 30 s; not while
    // its maker holds it, nor once a live owner is named in it.
    void unreadableLockOfTheSettingsIsCleared()
    {
        const QString other = db() + u"settings.conf.lock"_s;
        writeFile(other, QByteArray());
        const int fd = ::open(QFile::encodeName(other).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0);
        CatalogueLock::clearUnreadable(other);
        QVERIFY(QFileInfo::exists(other));
        ::close(fd);
        CatalogueLock::clearUnreadable(other);
        QVERIFY(!QFileInfo::exists(other));
        writeFile(other, lockBytes(m_live.processId(), "sleep"));
        CatalogueLock::clearUnreadable(other);
        QVERIFY(QFileInfo::exists(other));
    }

    // A lock that cannot be made says why (here a file where the DB folder should be; a
    // read-only medium or a full disk alike).
    void lockThatCannotBeMadeSaysWhy()
    {
        const QString notAFolder = m_dir->path() + u"/file"_s;
        writeFile(notAFolder, "not a folder");
        const QString why = refusal([&] { CatalogueLock::take(notAFolder + u'/' + Catalogue::lockName(), {}); });
        QVERIFY2(why.startsWith(u"Cannot create the lock file"_s) && why.endsWith(u": Not a directory."_s),
                 qPrintable(why));
    }

    // The folder of a held catalogue moved away (or deleted, or its disk unmounted): a save makes
    // no second, hollow catalogue where it was.
    void heldCatalogueGoneIsNotMadeAgain()
    {
        auto cat = std::make_unique<Catalogue>(data());
        cat->lock();
        cat->load([](const QString &) {});
        QVERIFY(QDir().rename(data(), m_dir->path() + u"/moved"_s));
        const QString why = refusal([&] { cat->save(); });
        QVERIFY2(why.contains(u"is no longer there"_s), qPrintable(why));
        QVERIFY(!QFileInfo::exists(data()));
        // Another catalogue made in its place is not written over, nor is its lock file removed.
        Catalogue other(data());
        other.lock();
        const QString replaced = refusal([&] { cat->save(); });
        QVERIFY2(replaced.contains(u"is not the one this program opened"_s), qPrintable(replaced));
        QVERIFY(!QFileInfo::exists(other.treeFile()));
        cat.reset();
        QVERIFY(QFileInfo::exists(other.lockFileName()));
    }

    // A stick pulled out and put back shows the same folder under a new device and inode (here a copy in its place):
    // its lock file names this program, no other lock holds it and its tree is the one last saved, so the saves go on
    // there. A copy taken before the last save (a backup put back) is another folder.
    void heldCatalogueBackIsSavedInto()
    {
        Catalogue cat(data());
        cat.lock();
        cat.load([](const QString &) {});
        cat.save();
        const QString pulled = m_dir->path() + u"/pulled"_s, older = m_dir->path() + u"/older"_s;
        QCOMPARE(QProcess::execute(u"cp"_s, {u"-a"_s, data(), older}), 0);
        cat.tree().addChild(cat.tree().root(), u"Later"_s, KindGroup);
        cat.save();
        QVERIFY(QDir().rename(data(), pulled));
        QCOMPARE(QProcess::execute(u"cp"_s, {u"-a"_s, older, data()}), 0);
        QVERIFY(refusal([&] { cat.save(); }).contains(u"is not the one this program opened"_s));

        QVERIFY(QDir(data()).removeRecursively());
        QCOMPARE(QProcess::execute(u"cp"_s, {u"-a"_s, pulled, data()}), 0);
        cat.tree().addChild(cat.tree().root(), u"After"_s, KindGroup);
        cat.save();
        QVERIFY(readFile(cat.treeFile()).contains("After"));
    }

    // Programs finding the same abandoned lock at once: one owns the catalogue.
    void oneOwnerAfterARace()
    {
        writeFile(lockFile(), QByteArray());
        std::vector<std::unique_ptr<Catalogue>> cats;
        for (int i = 0; i < 4; ++i)
            cats.push_back(std::make_unique<Catalogue>(data()));
        {
            std::vector<std::jthread> threads;
            for (auto &cat : cats)
                threads.emplace_back([c = cat.get()] { (void)refusal([c] { c->lock(); }); });
        }
        QCOMPARE(std::count_if(cats.cbegin(), cats.cend(), [](const auto &c) { return c->isLocked(); }), 1);
    }

    // What a killed scan, save or upgrade left goes; the catalogue's files and the user's stay.
    void lockRemovesLeftovers()
    {
        const QStringList kept{u"12345678.dat"_s, u"groups.tree"_s, u"notes.txt"_s};
        for (const QString &name : kept + QStringList{u"12345678.dir"_s, u"12345678.file"_s, u"groups.new"_s,
                                                      SafeSaveFile::partialName(u"groups.tree"_s).mid(2),
                                                      SafeSaveFile::partialName(u"12345678.dat"_s).mid(2)})
            writeFile(db() + name, "x");
        writeFile(CatalogueSwitch::stagingFolderOf(db()) + u"groups.tree"_s, "half an import");
        Catalogue cat(data());
        cat.lock();
        QCOMPARE(dbEntries(), kept);
        QCOMPARE(readFile(db() + u"groups.tree"_s), QByteArray("x"));
    }

    // A lost tree beside contents files is said, not read as an empty catalogue in silence.
    void aLostTreeIsTold()
    {
        ContentsFile::packBytes(db(), u"1A2B3C4D"_s, "", "");
        Catalogue cat(data());
        QStringList told;
        cat.load([&told](const QString &m) { told.append(m); });
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains(u"is missing, yet the database folder holds the contents files of one disc"_s),
                 qPrintable(told[0]));
        QCOMPARE(cat.tree().root()->childCount(), 0);
    }

    void pathsOverTheCatalogue()
    {
        writeFile(db() + u"groups.tree"_s, "tree");
        QVERIFY(QFile::link(db() + u"groups.tree"_s, outside() + u"to-tree.cab"_s));
        QVERIFY(QFile::link(db(), outside() + u"to-db"_s));
        QVERIFY(QFile::link(db() + u"not-yet.cab"_s, outside() + u"dangling.cab"_s));
        QVERIFY(QFile::link(outside() + u"to-tree.cab"_s, outside() + u"chain.cab"_s));
        // A twin of DB spelt in another case, on a disk that heeds case, is a folder of its own.
        QVERIFY(QDir().mkpath(data() + u"db"_s));
        for (const QString &inside :
             {db() + u"groups.tree"_s, db() + u"new.cab"_s, db() + u"sub/../x.cab"_s, outside() + u"../data/DB/x.cab"_s,
              outside() + u"to-tree.cab"_s, outside() + u"to-db/x.cab"_s, outside() + u"dangling.cab"_s,
              outside() + u"chain.cab"_s, data() + u"DB"_s})
            QVERIFY2(Catalogue::isInsideDb(db(), inside), qPrintable(inside));
        for (const QString &free : {outside() + u"backup.cab"_s, data() + u"backup.cab"_s, data() + u"DB.cab"_s,
                                    outside() + u"missing/x.cab"_s, data() + u"db/X.DAT"_s})
            QVERIFY2(!Catalogue::isInsideDb(db(), free), qPrintable(free));

        // The files beside DB, whether they exist yet or not, by any spelling or link.
        writeFile(data() + u"search.dat"_s, "history");
        QVERIFY(QFile::link(data() + u"exclusions.dat"_s, outside() + u"to-exclusions.txt"_s));
        for (const QString &own : {data() + u"search.dat"_s, data() + u"favorites.dat"_s, data() + u"FAVORITES.DAT"_s,
                                   outside() + u"../data/exclusions.dat"_s, outside() + u"to-exclusions.txt"_s})
            QVERIFY2(Catalogue::isOwnFile(db(), own), qPrintable(own));
        for (const QString &free : {data() + u"backup.cab"_s, outside() + u"favorites.dat"_s, db() + u"search.dat"_s})
            QVERIFY2(!Catalogue::isOwnFile(db(), free), qPrintable(free));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(db()));
        QVERIFY(QDir().mkpath(outside()));
    }
    void cleanup()
    {
        CatalogueSwitch::setStepHook({});
        TextCodec::setBeforeCommitHook({});
    }

    // A folder where the tree should go is refused before the journal: nothing moves. Then files new
    // to DB are written straight into it; a name DB has any entry for is staged.
    void commitOverAFolderIsRefusedAndNewFilesGoStraightIntoDb()
    {
        writeFile(db() + u"A.dat"_s, "old A");
        writeFile(db() + u"groups.tree/blocker"_s, "");
        QStringList before = dbEntries();
        CatalogueSwitch blocked(db());
        blocked.begin();
        for (const QString &name : {u"A.dat"_s, u"B.dat"_s, u"groups.tree"_s})
            writeFile(blocked.stagingFolder() + name, "new");
        const QString why = refusal([&] { blocked.commit({u"A.dat"_s, u"B.dat"_s, u"groups.tree"_s}); });
        QVERIFY2(why.contains(u"groups.tree\" is a folder"_s), qPrintable(why));
        blocked.discard();
        QVERIFY(!QFileInfo::exists(blocked.stagingFolder()));
        QCOMPARE(dbEntries(), before);
        QCOMPARE(readFile(db() + u"A.dat"_s), QByteArray("old A"));

        QVERIFY(QDir(db() + u"groups.tree"_s).removeRecursively());
        writeFile(db() + u"groups.tree"_s, "old tree");
        QVERIFY(QDir().mkpath(db() + u"D.dat"_s));
        QVERIFY(QFile::link(db() + u"nowhere"_s, db() + u"L.dat"_s));
        before = dbEntries();
        const QStringList added{u"A.dat"_s, u"B.dat"_s, u"C.dat"_s, u"D.dat"_s, u"L.dat"_s};
        CatalogueSwitch committed(db());
        committed.begin(added);
        QCOMPARE(committed.placeFor(u"B.dat"_s), db() + u"B.dat"_s);
        for (const QString &name : {u"A.dat"_s, u"D.dat"_s, u"L.dat"_s, u"groups.tree"_s})
            QCOMPARE(committed.placeFor(name), committed.stagingFolder() + name);
        for (const QString &name : {u"A.dat"_s, u"B.dat"_s, u"C.dat"_s, u"groups.tree"_s})
            writeFile(committed.placeFor(name), "new " + name.toLatin1());
        committed.commit({u"A.dat"_s, u"B.dat"_s, u"groups.tree"_s});
        QStringList after = before + QStringList{u"B.dat"_s};
        after.sort();
        QCOMPARE(dbEntries(), after);
        for (const QString &name : {u"A.dat"_s, u"B.dat"_s, u"groups.tree"_s})
            QCOMPARE(readFile(db() + name), "new " + name.toLatin1());
        QVERIFY(!QFileInfo::exists(committed.stagingFolder()));
    }

    void everyStepRecoversOldOrNew_data()
    {
        QTest::addColumn<bool>("withNewFile");
        QTest::addColumn<bool>("failed"); // a failure the switch is told of (discarded), not a kill
        // An import: a contents file new to DB written in place, one replaced, the tree.
        QTest::newRow("import, killed") << true << false;
        QTest::newRow("import, failed") << true << true;
        // An update of a disc: its contents file and the tree.
        QTest::newRow("replace, killed") << false << false;
        QTest::newRow("replace, failed") << false << true;
    }
    void everyStepRecoversOldOrNew()
    {
        QFETCH(bool, withNewFile);
        QFETCH(bool, failed);
        const QStringList oldSerials{u"AAAA0001"_s, u"BBBB0002"_s};
        const QStringList newSerials = oldSerials + (withNewFile ? QStringList{u"CCCC0003"_s} : QStringList());
        const auto prepare = [&] {
            QVERIFY(QDir(db()).removeRecursively());
            QVERIFY(QDir().mkpath(db()));
            for (const QString &s : oldSerials)
                pack(db(), s, "old " + s.toLatin1());
            writeTree(db(), oldSerials, u"Old"_s);
        };
        // Stopped before step `stopAt`; a failure is discarded (after the journal the owner finishes).
        const auto change = [&](int stopAt) {
            int steps = 0;
            CatalogueSwitch::setStepHook([&](const char *) {
                if (++steps == stopAt)
                    throw Killed();
            });
            CatalogueSwitch s(db());
            const auto discardFailed = qScopeGuard([&] {
                if (failed && steps >= stopAt && stopAt > 0)
                    s.discard();
            });
            const QString added = u"CCCC0003.dat"_s;
            s.begin(withNewFile ? QStringList{added} : QStringList{});
            if (withNewFile)
                pack(QFileInfo(s.placeFor(added)).path() + u'/', u"CCCC0003"_s, "new CCCC0003");
            pack(s.stagingFolder(), u"AAAA0001"_s, "new AAAA0001");
            writeTree(s.stagingFolder(), newSerials, u"New"_s);
            QStringList names{u"AAAA0001.dat"_s, QLatin1String(TreeFileName)};
            if (withNewFile)
                names.prepend(added);
            s.commit(names);
        };

        prepare();
        const QStringList oldState = readWithoutLock();
        change(0);
        const QStringList newState = readWithoutLock();
        const QStringList newEntries = dbEntries();
        QVERIFY(newState != oldState);

        int kills = 0;
        for (int stopAt = 1;; ++stopAt) {
            QVERIFY2(stopAt < 100, "the switch never finished");
            prepare();
            try {
                change(stopAt);
            } catch (const Killed &) {
                ++kills;
            }
            CatalogueSwitch::setStepHook({});
            const bool committed = CatalogueSwitch::isPending(db());
            const QString row = u"stopped at step %1"_s.arg(stopAt);

            // Lock held elsewhere: read what the journal commits; lock free: the reader finishes it.
            QStringList read;
            for (const bool held : {true, false}) {
                QLockFile other(db() + Catalogue::lockName());
                QVERIFY(!held || other.tryLock(0));
                read = readWithoutLock();
                QVERIFY2(read == (committed ? newState : read) && (read == oldState || read == newState),
                         qPrintable(row + u'\n' + read.join(u'\n')));
            }
            QVERIFY(!CatalogueSwitch::isPending(db()));
            Catalogue owner(data());
            owner.lock();
            owner.load({});
            QCOMPARE(seen(owner), read);
            const QStringList oldEntries{u"AAAA0001.dat"_s, u"BBBB0002.dat"_s, QLatin1String(TreeFileName)};
            QCOMPARE(dbEntries(), read == newState ? newEntries : oldEntries);
            if (stopAt > kills)
                break; // ran to the end
        }
        QVERIFY(kills > 5);
    }

    // Refused with a message naming it; nothing it points to is read, moved or removed.
    void entriesNotWhatTheyShouldBeAreRefused_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QString>("refusal");

        const QString link = u"link"_s, folder = u"folder"_s, isLink = u"a symbolic link"_s, isFolder = u"a folder"_s;
        QTest::newRow("staging folder: link to a folder outside") << u".import"_s << link << false << isLink;
        QTest::newRow("staging folder: a file") << u".import"_s << u"file"_s << false << u"a file"_s;
        QTest::newRow("journal: link") << u".import/switch.journal"_s << link << false << isLink;
        QTest::newRow("journal: folder") << u".import/switch.journal"_s << folder << false << isFolder;
        QTest::newRow("list of new files: link") << u".import/added.journal"_s << link << false << isLink;
        QTest::newRow("staged file: link") << u".import/AAAA0001.dat"_s << link << true << isLink;
        QTest::newRow("staged file: folder") << u".import/AAAA0001.dat"_s << folder << true << isFolder;
        QTest::newRow("file in DB to be replaced: link") << u"AAAA0001.dat"_s << link << true << isLink;
        QTest::newRow("new file in DB: folder") << u"CCCC0003.dat"_s << folder << false << isFolder;
        // Not named by any journal: removed with the staging folder, the link itself only.
        QTest::newRow("stray link in an unfinished staging folder")
            << u".import/stray"_s << u"link"_s << false << QString();
    }
    void entriesNotWhatTheyShouldBeAreRefused()
    {
        QFETCH(QString, entry);
        QFETCH(QString, kind);
        QFETCH(bool, journal);
        QFETCH(QString, refusal);

        // Outside DB: a folder laid out like a staging folder, which following a link would empty.
        writeFile(outside() + u"keep.txt"_s, "the user's");
        writeFile(outside() + u"switch.journal"_s, "keep.txt\r\n");
        writeFile(outside() + u"added.journal"_s, "keep.txt\r\n");
        pack(outside(), u"AAAA0001"_s, "outside");
        const auto outsideBefore = CabTestUtil::snapshot(outside());

        pack(db(), u"AAAA0001"_s, "old");
        writeTree(db(), {u"AAAA0001"_s}, u"Old"_s);
        const QString staging = CatalogueSwitch::stagingFolderOf(db());
        if (entry != u".import"_s) {
            QVERIFY(QDir().mkpath(staging));
            writeFile(staging + u"added.journal"_s, "CCCC0003.dat\r\n");
            if (journal) {
                pack(staging, u"AAAA0001"_s, "new");
                writeFile(staging + u"switch.journal"_s, "AAAA0001.dat\r\n");
            }
        }
        const QString path = db() + entry;
        QFile::remove(path);
        if (kind == u"link"_s)
            QVERIFY(QFile::link(entry.endsWith(u".dat"_s)      ? outside() + u"AAAA0001.dat"_s
                                : entry.endsWith(u"journal"_s) ? outside() + u"switch.journal"_s
                                                               : outside(),
                                path));
        else if (kind == u"folder"_s)
            QVERIFY(QDir().mkpath(path + u"/inside"_s));
        else
            writeFile(path, "a file");
        const auto dbBefore = CabTestUtil::snapshot(db());

        Catalogue owner(data());
        if (refusal.isEmpty()) {
            owner.lock();
            QVERIFY(!QFileInfo::exists(staging));
        } else {
            const QString why = CabTestUtil::refusal([&] { owner.lock(); });
            QVERIFY2(why.contains(u'"' + QDir::toNativeSeparators(db() + entry) + u"\" is "_s + refusal),
                     qPrintable(why));
            QVERIFY(!owner.isLocked());
            QCOMPARE(CabTestUtil::snapshot(db()), dbBefore);
            // A reader is refused too where it would trust the entry, else reads DB as it is.
            try {
                const QStringList read = readWithoutLock();
                QCOMPARE(read.size(), 2);
                QVERIFY2(read.last().endsWith(u" d old f old"_s) || entry == u"AAAA0001.dat"_s,
                         qPrintable(read.last()));
            } catch (const QuilloryError &e) {
                QVERIFY2(e.message().contains(refusal), qPrintable(e.message()));
            }
        }
        QCOMPARE(CabTestUtil::snapshot(outside()), outsideBefore);
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
