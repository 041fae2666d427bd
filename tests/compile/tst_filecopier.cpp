// The copy that brings catalogued files back from a medium: whole folders, replacing without
// asking, and a file that cannot be read or written named at the end while the rest arrive.

#include "CabTestUtil.h"
#include "FileSizeLimit.h"
#include "ScanFixture.h"
#include "compile/FileCopier.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace Qt::Literals::StringLiterals;
using CabTestUtil::readFile;

class TestFileCopier : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_medium;
    QString m_dest;

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_medium = m_dir.filePath(u"medium"_s);
        m_dest = m_dir.filePath(u"dest"_s);
        QDir(m_medium).removeRecursively();
        QDir(m_dest).removeRecursively();
        QVERIFY(ScanFixture::writeFile(m_medium + u"/Photos/beach.jpg"_s, "beach"));
        QVERIFY(ScanFixture::writeFile(m_medium + u"/Photos/2025/.hidden"_s, "hidden"));
        QDir().mkpath(m_medium + u"/Photos/empty"_s);
        QVERIFY(ScanFixture::writeFile(m_medium + u"/Music/song.mp3"_s, QByteArray(3 * 1024 * 1024 + 7, 's')));
        QVERIFY(ScanFixture::writeFile(m_medium + u"/readme.txt"_s, "new readme"));
        QDir().mkpath(m_dest);
    }

    void foldersWithContentsAndFilesReplacedWithoutAsking()
    {
        QVERIFY(ScanFixture::writeFile(m_dest + u"/readme.txt"_s, "an old readme that is longer"));
        QFile::setPermissions(m_dest + u"/readme.txt"_s, QFileDevice::ReadOwner);
        QVERIFY(ScanFixture::writeFile(m_dest + u"/Photos/keep.txt"_s, "mine"));

        FileCopier copier;
        QList<qint64> done;
        qint64 total = -1;
        copier.setProgress([&](qint64 d, qint64 t, const QString &) {
            done << d;
            total = t;
            return true;
        });
        QVERIFY(copier.copy({m_medium + u"/Photos"_s, m_medium + u"/readme.txt"_s, m_medium + u"/Music/song.mp3"_s},
                            m_dest));
        QVERIFY(copier.failures().isEmpty());
        QCOMPARE(readFile(m_dest + u"/readme.txt"_s) + '|' + readFile(m_dest + u"/Photos/beach.jpg"_s) + '|' +
                     readFile(m_dest + u"/Photos/2025/.hidden"_s) + '|' + readFile(m_dest + u"/Photos/keep.txt"_s),
                 QByteArray("new readme|beach|hidden|mine"));
        QVERIFY(QFileInfo(m_dest + u"/Photos/empty"_s).isDir());
        QCOMPARE(QFileInfo(m_dest + u"/song.mp3"_s).size(), qint64(3 * 1024 * 1024 + 7));
        // The gauge goes up to what was to be copied and never back.
        const qint64 all = 5 + 6 + 10 + 3 * 1024 * 1024 + 7;
        QCOMPARE(total, all);
        QCOMPARE(done.last(), all);
        QVERIFY(std::is_sorted(done.cbegin(), done.cend()));
    }

    void aFailedFileIsNamedAndTheRestCopied()
    {
        // A file that is gone when its turn comes, as on a scratched disc, and a target that
        // is a folder where the file should go.
        QDir().mkpath(m_dest + u"/Music/song.mp3"_s);
        FileCopier copier;
        copier.setProgress([this](qint64, qint64, const QString &file) {
            if (file.endsWith(u"beach.jpg"_s))
                QFile::remove(file);
            return true;
        });
        QVERIFY(!copier.copy({m_medium + u"/Photos"_s, m_medium + u"/Music"_s, m_medium + u"/readme.txt"_s}, m_dest));
        QCOMPARE(copier.failures().size(), 2);
        QCOMPARE(copier.failures()[0].path + u' ' + copier.failures()[1].path,
                 m_medium + u"/Photos/beach.jpg "_s + m_dest + u"/Music/song.mp3"_s);
        QVERIFY(!copier.failures()[1].reason.isEmpty());
        QCOMPARE(readFile(m_dest + u"/Photos/2025/.hidden"_s) + '|' + readFile(m_dest + u"/readme.txt"_s) + '|' +
                     readFile(m_dest + u"/Photos/beach.jpg"_s),
                 QByteArray("hidden|new readme|<missing>"));
    }

    // A disk that fills up in the last bytes of a file: that file is named with the system's
    // reason, the one it was to replace stays as it was, and what fits is still copied.
    void aFileCutShortOnAFullDiskIsNamed()
    {
        QVERIFY(ScanFixture::writeFile(m_dest + u"/Music/song.mp3"_s, "old song"));
        FileCopier copier;
        bool copied = true;
        {
            const FileSizeLimit full(3 * 1024 * 1024 + 3);
            copied = copier.copy({m_medium + u"/Music"_s, m_medium + u"/readme.txt"_s}, m_dest);
        }
        QVERIFY(!copied);
        QCOMPARE(copier.failures().size(), 1);
        QCOMPARE(copier.failures()[0].path + u": "_s + copier.failures()[0].reason,
                 m_dest + u"/Music/song.mp3: "_s + QString::fromLocal8Bit(strerror(EFBIG)));
        QCOMPARE(readFile(m_dest + u"/Music/song.mp3"_s), QByteArray("old song"));
        QCOMPARE(QDir(m_dest + u"/Music"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"song.mp3"_s});
        QCOMPARE(readFile(m_dest + u"/readme.txt"_s), QByteArray("new readme"));
    }

    void refusals()
    {
        FileCopier copier;
        QVERIFY(!copier.copy({m_medium + u"/readme.txt"_s}, m_dir.filePath(u"nowhere"_s)));
        QVERIFY(!copier.copy({m_medium + u"/missing.txt"_s, m_medium + u"/readme.txt"_s}, m_dest));
        QCOMPARE(readFile(m_dest + u"/readme.txt"_s), QByteArray("new readme"));
        // A folder copied into itself would never end.
        QVERIFY(!copier.copy({m_medium}, m_medium + u"/Photos"_s));
        QVERIFY(!QFileInfo::exists(m_medium + u"/Photos/medium"_s));
        QCOMPARE(copier.failures().size(), 3);
    }

    void stoppedByTheUser()
    {
        QVERIFY(ScanFixture::writeFile(m_dest + u"/Music/song.mp3"_s, "old song"));
        FileCopier copier;
        int calls = 0;
        copier.setProgress([&calls](qint64 done, qint64, const QString &) { return ++calls < 3 || done == 0; });
        QVERIFY(!copier.copy({m_medium + u"/Music"_s}, m_dest));
        QVERIFY(copier.stopped());
        // A file stopped half way leaves the one it was to replace as it was.
        QCOMPARE(readFile(m_dest + u"/Music/song.mp3"_s), QByteArray("old song"));
        QCOMPARE(QDir(m_dest + u"/Music"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"song.mp3"_s});
    }
};

QTEST_GUILESS_MAIN(TestFileCopier)
#include "tst_filecopier.moc"
