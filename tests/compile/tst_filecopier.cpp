// The copy that brings catalogued files back from a medium: whole folders, replacing without
// asking, and a file that cannot be read or written named at the end while the rest arrive.

#include "CabTestUtil.h"
#include "FileSizeLimit.h"
#include "ScanFixture.h"
#include "compile/FileCopier.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace
{

// Every entry below root: a folder as "path/", a file as "path=bytes", a large one by its size.
QStringList contents(const QString &root)
{
    QStringList out;
    for (QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo fi = it.nextFileInfo();
        const QString rel = fi.filePath().mid(root.size() + 1);
        out << (fi.isDir()            ? rel + u'/'
                : fi.size() > 100     ? rel + u'=' + QString::number(fi.size())
                                      : rel + u'=' + QString::fromUtf8(CabTestUtil::readFile(fi.filePath())));
    }
    out.sort();
    return out;
}

} // namespace

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
        QCOMPARE(contents(m_dest), (QStringList{u"Photos/"_s, u"Photos/2025/"_s, u"Photos/2025/.hidden=hidden"_s,
                                                u"Photos/beach.jpg=beach"_s, u"Photos/empty/"_s,
                                                u"Photos/keep.txt=mine"_s, u"readme.txt=new readme"_s,
                                                u"song.mp3=3145735"_s}));
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
        QCOMPARE(copier.failures()[0].path, m_medium + u"/Photos/beach.jpg"_s);
        QCOMPARE(copier.failures()[1].path, m_dest + u"/Music/song.mp3"_s);
        QVERIFY(!copier.failures()[1].reason.isEmpty());
        QCOMPARE(contents(m_dest), (QStringList{u"Music/"_s, u"Music/song.mp3/"_s, u"Photos/"_s, u"Photos/2025/"_s,
                                                u"Photos/2025/.hidden=hidden"_s, u"Photos/empty/"_s,
                                                u"readme.txt=new readme"_s}));
    }

    // A copy cut short in a file, by a disk that fills up in its last bytes or by the user: the
    // file it was to replace stays as it was. A full disk names that file with the system's
    // reason, and what fits is still copied.
    void aFileCutShortLeavesTheOldOne_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("full disk") << true;
        QTest::newRow("stopped by the user") << false;
    }
    void aFileCutShortLeavesTheOldOne()
    {
        QFETCH(bool, fullDisk);
        QVERIFY(ScanFixture::writeFile(m_dest + u"/Music/song.mp3"_s, "old song"));
        FileCopier copier;
        int calls = 0;
        if (!fullDisk)
            copier.setProgress([&calls](qint64 done, qint64, const QString &) { return ++calls < 3 || done == 0; });
        std::optional<FileSizeLimit> full;
        if (fullDisk)
            full.emplace(3 * 1024 * 1024 + 3);
        const bool copied = copier.copy({m_medium + u"/Music"_s, m_medium + u"/readme.txt"_s}, m_dest);
        full.reset();
        QVERIFY(!copied);
        QCOMPARE(copier.stopped(), !fullDisk);
        QStringList expected{u"Music/"_s, u"Music/song.mp3=old song"_s};
        if (fullDisk) {
            QCOMPARE(copier.failures().size(), 1);
            QCOMPARE(copier.failures()[0].path + u": "_s + copier.failures()[0].reason,
                     m_dest + u"/Music/song.mp3: "_s + QString::fromLocal8Bit(strerror(EFBIG)));
            expected << u"readme.txt=new readme"_s;
        }
        QCOMPARE(contents(m_dest), expected);
    }

    void refusals()
    {
        FileCopier copier;
        QVERIFY(!copier.copy({m_medium + u"/readme.txt"_s}, m_dir.filePath(u"nowhere"_s)));
        QVERIFY(!copier.copy({m_medium + u"/missing.txt"_s, m_medium + u"/readme.txt"_s}, m_dest));
        QCOMPARE(contents(m_dest), QStringList{u"readme.txt=new readme"_s});
        // A folder copied into itself would never end.
        QVERIFY(!copier.copy({m_medium}, m_medium + u"/Photos"_s));
        QVERIFY(!QFileInfo::exists(m_medium + u"/Photos/medium"_s));
        QCOMPARE(copier.failures().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestFileCopier)
#include "tst_filecopier.moc"
