#include "CabTestUtil.h"

#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"
#include "store/Catalogue.h"
#include "store/CatalogueSwitch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace CabTestUtil;
using namespace Qt::StringLiterals;

// The catalogue on disk as its owner finds it. A lock file already there is taken over with a
// word to the user when it was left behind (empty, damaged, its process gone); a live owner on
// this computer, or any owner on another one, keeps it. What a killed run left in DB goes; and
// which paths lie inside DB.
class TestCatalogue : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_live; // a program that runs for the whole test
    qint64 m_deadPid = 0;

    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString db() const { return data() + u"DB/"_s; }
    QString lockFile() const { return db() + Catalogue::lockName(); }
    static QByteArray lockBytes(qint64 pid, const QByteArray &app,
                                const QByteArray &onHost = QSysInfo::machineHostName().toUtf8())
    {
        return QByteArray::number(pid) + '\n' + app + '\n' + onHost + '\n';
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_live.start(u"sleep"_s, {u"600"_s});
        QVERIFY(m_live.waitForStarted());
        // A process that has ended, by the id it had.
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
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(db()));
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
        try {
            cat.lock([&told](const QString &msg) { told << msg; });
        } catch (const QuilloryError &e) {
            told << e.message();
        }
        QCOMPARE(cat.isLocked(), takenOver);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().contains(said) && told.first().contains(QDir::toNativeSeparators(lockFile())),
                 qPrintable(told.first()));
        const QByteArray mine = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
        QVERIFY(takenOver ? readFile(lockFile()).startsWith(mine) : readFile(lockFile()) == bytes);
    }

    // A program that has just made its lock file holds it locked before writing itself into
    // it: an empty file is not taken from it. Nor is anything but a file, which no program of
    // ours made.
    void unfinishedOrForeignLockIsKept()
    {
        writeFile(lockFile(), QByteArray());
        const int fd = ::open(QFile::encodeName(lockFile()).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        Catalogue cat(data());
        QVERIFY_THROWS_EXCEPTION(QuilloryError, cat.lock());
        ::close(fd);
        QVERIFY(QFileInfo(lockFile()).isFile());

        QVERIFY(QFile::remove(lockFile()));
        QVERIFY(QDir().mkpath(lockFile() + u"/inside"_s));
        try {
            cat.lock();
            QFAIL("a folder was taken for a lock file");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(u"is not a lock file"_s), qPrintable(e.message()));
        }
        QVERIFY(QFileInfo(lockFile() + u"/inside"_s).isDir());
    }

    // Programs finding the same abandoned lock at once: one owns the catalogue, the others
    // are told it is in use.
    void oneOwnerAfterARace()
    {
        writeFile(lockFile(), QByteArray());
        std::vector<std::unique_ptr<Catalogue>> cats;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int i = 0; i < 4; ++i) {
            cats.push_back(std::make_unique<Catalogue>(data()));
            threads.emplace_back(QThread::create([cat = cats.back().get()] {
                try {
                    cat->lock();
                } catch (const QuilloryError &) {
                }
            }));
        }
        for (auto &t : threads)
            t->start();
        int owners = 0;
        for (int i = 0; i < 4; ++i) {
            QVERIFY(threads[i]->wait());
            owners += cats[i]->isLocked() ? 1 : 0;
        }
        QCOMPARE(owners, 1);
    }

    // What a killed scan, save or upgrade leaves goes when the catalogue is next taken; the
    // catalogue's files and the user's own stay.
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
        QStringList expected = kept + QStringList{Catalogue::lockName()};
        expected.sort();
        QCOMPARE(
            QDir(db()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
            expected);
        QCOMPARE(readFile(db() + u"groups.tree"_s), QByteArray("x"));
    }

    void pathsInsideDb()
    {
        const QString outside = m_dir->path() + u"/out/"_s;
        QVERIFY(QDir().mkpath(outside));
        writeFile(db() + u"groups.tree"_s, "tree");
        QVERIFY(QFile::link(db() + u"groups.tree"_s, outside + u"to-tree.cab"_s));
        QVERIFY(QFile::link(db(), outside + u"to-db"_s));
        QVERIFY(QFile::link(db() + u"not-yet.cab"_s, outside + u"dangling.cab"_s));
        QVERIFY(QFile::link(outside + u"to-tree.cab"_s, outside + u"chain.cab"_s));
        for (const QString &inside :
             {db() + u"groups.tree"_s, db() + u"new.cab"_s, db() + u"sub/../x.cab"_s, outside + u"../data/DB/x.cab"_s,
              outside + u"to-tree.cab"_s, outside + u"to-db/x.cab"_s, outside + u"dangling.cab"_s,
              outside + u"chain.cab"_s, data() + u"DB"_s})
            QVERIFY2(Catalogue::isInsideDb(db(), inside), qPrintable(inside));
        for (const QString &free :
             {outside + u"backup.cab"_s, data() + u"backup.cab"_s, data() + u"DB.cab"_s, outside + u"missing/x.cab"_s})
            QVERIFY2(!Catalogue::isInsideDb(db(), free), qPrintable(free));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
