#include "core/QuilloryError.h"
#include "store/Catalogue.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Who owns a catalogue when a lock file is already there: one left behind (empty, damaged,
// its process gone) is taken over with a word to the user; a live owner on this computer, or
// any owner on another one, keeps it.
class TestCatalogueLock : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_live; // a program that runs for the whole test
    qint64 m_deadPid = 0;

    QString db() const { return m_dir.path() + u"/DB/"_s; }
    QString lockFile() const { return db() + Catalogue::lockName(); }
    static QByteArray host() { return QSysInfo::machineHostName().toUtf8(); }
    static QByteArray lockBytes(qint64 pid, const QByteArray &app, const QByteArray &onHost = host())
    {
        return QByteArray::number(pid) + '\n' + app + '\n' + onHost + '\n';
    }
    static bool writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
    QByteArray lockBytes() const
    {
        QFile f(lockFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
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
        QVERIFY(m_deadPid > 0);
        QVERIFY(::kill(pid_t(m_deadPid), 0) != 0);
    }
    void cleanupTestCase()
    {
        m_live.kill();
        m_live.waitForFinished();
    }
    void init()
    {
        QDir(db()).removeRecursively();
        QVERIFY(QDir().mkpath(db()));
    }

    void leftLock_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("takenOver");
        QTest::addColumn<QString>("said");

        const QByteArray self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
        // A kill between making the file and writing it.
        QTest::newRow("empty") << QByteArray() << true << u"was empty or damaged"_s;
        QTest::newRow("damaged") << QByteArray("\x01\xFFzz\n\n") << true << u"was empty or damaged"_s;
        QTest::newRow("process gone") << lockBytes(m_deadPid, "quillory-cli") << true
                                      << u"(process %1) that no longer runs"_s.arg(m_deadPid);
        QTest::newRow("this program") << lockBytes(QCoreApplication::applicationPid(), self) << false
                                      << u"in use by another Quillory! program"_s;
        QTest::newRow("another live program") << lockBytes(m_live.processId(), "sleep") << false
                                              << u"in use by another Quillory! program"_s;
        // Whether it still runs there cannot be seen from here.
        QTest::newRow("another computer, process gone")
            << lockBytes(m_deadPid, "quillory", "elsewhere.example") << false << u"on the computer \"elsewhere.example\""_s;
    }
    void leftLock()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, takenOver);
        QFETCH(QString, said);
        QVERIFY(writeFile(lockFile(), bytes));
        QStringList told;
        Catalogue cat(m_dir.path());
        QString refusal;
        try {
            cat.lock([&told](const QString &msg) { told << msg; });
        } catch (const QuilloryError &e) {
            refusal = e.message();
        }
        QCOMPARE(cat.isLocked(), takenOver);
        if (takenOver) {
            QCOMPARE(told.size(), 1);
            QVERIFY2(told.first().contains(said), qPrintable(told.first()));
            QVERIFY(told.first().contains(QDir::toNativeSeparators(lockFile())));
            QVERIFY(lockBytes().startsWith(QByteArray::number(QCoreApplication::applicationPid()) + '\n'));
        } else {
            QVERIFY(told.isEmpty());
            QVERIFY2(refusal.contains(said), qPrintable(refusal));
            QCOMPARE(lockBytes(), bytes);
        }
    }

    // A program that has just made its lock file holds it locked before writing itself into
    // it: an empty file is not taken from it. Nor is anything but a file, which no program of
    // ours made.
    void unfinishedOrForeignLockIsKept()
    {
        QVERIFY(writeFile(lockFile(), QByteArray()));
        const int fd = ::open(QFile::encodeName(lockFile()).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        Catalogue cat(m_dir.path());
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
        QVERIFY(writeFile(lockFile(), QByteArray()));
        constexpr int Takers = 4;
        std::vector<std::unique_ptr<Catalogue>> cats;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int i = 0; i < Takers; ++i) {
            cats.push_back(std::make_unique<Catalogue>(m_dir.path()));
            threads.emplace_back(QThread::create([cat = cats.back().get()] {
                try {
                    cat->lock();
                } catch (const QuilloryError &) {
                }
            }));
        }
        for (auto &t : threads)
            t->start();
        for (auto &t : threads)
            QVERIFY(t->wait());
        int owners = 0;
        for (const auto &c : cats)
            owners += c->isLocked() ? 1 : 0;
        QCOMPARE(owners, 1);
    }
};

QTEST_GUILESS_MAIN(TestCatalogueLock)
#include "tst_cataloguelock.moc"
