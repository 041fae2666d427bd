// TCDBurner: staging files, emptying the staging folder, the guards while a burn runs, and
// burns by the real xorriso into disc image files, read back with xorriso.

#include "ScanFixture.h"
#include "compile/TCDBurner.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

class TestCDBurner : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QWidget m_window;

    QString area() const { return m_dir->path() + u"/burn/"_s; }
    QString source() const { return m_dir->path() + u"/source/"_s; }
    static bool haveXorriso() { return !QStandardPaths::findExecutable(u"xorriso"_s).isEmpty(); }

    static QStringList filesOf(const QString &image, QByteArray *info = nullptr)
    {
        QByteArray out;
        if (!ScanFixture::run(
                QDir::tempPath(), u"xorriso"_s,
                {u"-indev"_s, u"stdio:"_s + image, u"-pvd_info"_s, u"-find"_s, u"/"_s, u"-type"_s, u"f"_s},
                QByteArray(), &out))
            return {u"<unreadable>"_s};
        if (info)
            *info = out;
        QStringList files;
        for (const QByteArray &l : out.split('\n'))
            if (l.startsWith('\''))
                files << QString::fromUtf8(l).remove(u'\'');
        files.sort();
        return files;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(ScanFixture::writeFile(source() + u"a.txt"_s, "aaaa"));
        QVERIFY(ScanFixture::writeFile(source() + u"sub/b.txt"_s, "bb"));
        QVERIFY(ScanFixture::writeFile(source() + u"sub/deeper/c.txt"_s, "c"));
    }

    void stagingAndEmptyingTheArea()
    {
        TCDBurner burner(&m_window, m_dir->path() + u"/no/such/xorriso"_s, area());
        // A staging folder that is not there yet empties as nothing.
        QVERIFY(burner.ClearFiles());
        QCOMPARE(burner.BurnSize(), qint64(0));
        QVERIFY(!burner.AddFile(source() + u"sub"_s) && !burner.AddFolder(source() + u"missing"_s));
        QVERIFY(burner.AddFolder(source()));
        QCOMPARE(burner.BurnSize(), qint64(4 + 2 + 1));
        QVERIFY(ScanFixture::writeFile(area() + u"x/y/z.bin"_s, QByteArray(100, 'z')));
        QVERIFY(ScanFixture::writeFile(area() + u".hidden"_s, "h"));
        QCOMPARE(burner.BurnSize(), qint64(7 + 100 + 1));
        QVERIFY(burner.ClearFiles());
        QVERIFY(QDir(area()).exists());
        QVERIFY(QDir(area()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    void burnsTheAreaAndTheStagedFilesIntoAnImage()
    {
        if (!haveXorriso())
            QSKIP("xorriso is not installed");
        TCDBurner burner(&m_window, QString(), area());
        QVERIFY(burner.canWriteImage());
        QVERIFY(ScanFixture::writeFile(area() + u"Disc One/song.mp3"_s, QByteArray(70000, 's')));
        QVERIFY(ScanFixture::writeFile(area() + u"readme.txt"_s, "from the area"));
        QVERIFY(burner.AddFolder(source() + u"sub"_s));
        QVERIFY(burner.AddFile(source() + u"a.txt"_s));
        // A staged file whose name is in the area already leaves the area's file alone.
        QVERIFY(ScanFixture::writeFile(m_dir->path() + u"/other/readme.txt"_s, "staged"));
        QVERIFY(burner.AddFile(m_dir->path() + u"/other/readme.txt"_s));

        const QString image = m_dir->filePath(u"out.iso"_s);
        QSignalSpy done(&burner, &TCDBurner::OnBurnDone);
        burner.StartBurn(TCDBurner::imageTarget(image), u"TWO DISCS"_s);
        // While it burns: no second burn, and the staging folder stays as it is.
        burner.StartBurn(TCDBurner::imageTarget(m_dir->filePath(u"second.iso"_s)), u"SECOND"_s);
        QCOMPARE(done.first().first().toInt(), -1);
        QVERIFY(!burner.ClearFiles());
        QCOMPARE(burner.LastError(), u"Cannot delete staging files while burning!"_s);
        QVERIFY(QFileInfo::exists(area() + u"Disc One/song.mp3"_s));

        QVERIFY(done.wait(120000));
        QCOMPARE(done.last().first().toInt(), 0);
        QVERIFY2(burner.lastBurnSucceeded(), qPrintable(burner.LastError()));
        QVERIFY(!QFileInfo::exists(m_dir->filePath(u"second.iso"_s)));
        QByteArray info;
        QCOMPARE(filesOf(image, &info),
                 (QStringList{u"/Disc One/song.mp3"_s, u"/a.txt"_s, u"/b.txt"_s, u"/c.txt"_s, u"/readme.txt"_s}));
        QVERIFY2(info.contains("Volume Id    : TWO DISCS"), info.constData());

        // A second burn into the same file replaces the image instead of adding a session.
        QVERIFY(burner.ClearFiles());
        QVERIFY(ScanFixture::writeFile(area() + u"only.txt"_s, "only"));
        burner.StartBurn(TCDBurner::imageTarget(image), QString());
        QVERIFY(done.wait(120000));
        QVERIFY2(burner.lastBurnSucceeded(), qPrintable(burner.LastError()));
        QCOMPARE(filesOf(image), QStringList{u"/only.txt"_s});
    }

    // A burn that cannot start ends at once (-1) with its reason; one xorriso fails ends with
    // the reason its lines give (readingXorrisosLines).
    void refusals_data()
    {
        QTest::addColumn<bool>("withXorriso");
        QTest::addColumn<QString>("target");
        QTest::newRow("without xorriso") << false << u"x.iso"_s;
        QTest::newRow("a recorder not in the list") << true << u"/dev/no-such-recorder"_s;
    }
    void refusals()
    {
        QFETCH(bool, withXorriso);
        QFETCH(QString, target);
        if (withXorriso && !haveXorriso())
            QSKIP("xorriso is not installed");
        TCDBurner burner(&m_window, withXorriso ? QString() : m_dir->path() + u"/no/such/xorriso"_s, area());
        QCOMPARE(burner.canWriteImage(), withXorriso);
        QVERIFY(ScanFixture::writeFile(area() + u"a.txt"_s, "a"));
        QSignalSpy done(&burner, &TCDBurner::OnBurnDone);
        burner.StartBurn(withXorriso ? target : TCDBurner::imageTarget(m_dir->filePath(target)), u"X"_s);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().first().toInt(), -1);
        QVERIFY(!burner.IsBurning() && !burner.lastBurnSucceeded());
        QVERIFY2(withXorriso ||
                     burner.LastError() == u"xorriso was not found: install the xorriso package to burn discs."_s,
                 qPrintable(burner.LastError()));
    }

    void readingXorrisosLines()
    {
        const QByteArray devices = "I:1: Beginning to scan for devices ...\n"
                                   "R:1: 0  -dev '/dev/sr0' rwrw-- :  'ASUS    ' 'DRW-24D5MT      '\n"
                                   "R:1: 1  -dev '/dev/sr1' r-r--- :  'HL-DT-ST' 'DVD-ROM DH16NS  '\n";
        const QList<TCDBurner::Device> found = TCDBurner::parseDevices(devices);
        QCOMPARE(found.size(), 2);
        QCOMPARE(found[0].path, u"/dev/sr0"_s);
        QVERIFY(found[0].writable && !found[1].writable);
        QVERIFY(TCDBurner::parseDevices("I:1: xorriso : SORRY : No drives found\n").isEmpty());

        QCOMPARE(TCDBurner::parseProgress(u"I:1: xorriso : UPDATE : Writing:      32768s   22.3%   fifo 100%"_s),
                 std::optional<double>(22.3));
        QCOMPARE(TCDBurner::parseProgress(u"I:1: xorriso : UPDATE :       4 files added in 1 seconds"_s), std::nullopt);

        QCOMPARE(TCDBurner::failureText({u"I:1: Drive current: -outdev '/dev/sr0'"_s, u"I:1: Media current: CD-ROM"_s,
                                         u"I:1: Media status : is written , is closed"_s,
                                         u"I:1: xorriso : FAILURE : Media is not writeable or not blank"_s},
                                        5),
                 u"No writable disc is in the recorder."_s);
        QCOMPARE(TCDBurner::failureText({u"I:1: xorriso : FAILURE : Cannot open file"_s,
                                         u"I:1: xorriso : NOTE : -return_with SORRY 32 triggered by problem"_s},
                                        32),
                 u"Cannot open file"_s);
    }
};

QTEST_MAIN(TestCDBurner)
#include "tst_cdburner.moc"
