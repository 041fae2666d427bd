#include "CabTestUtil.h"
#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabReader.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The reader on the cabinet library's own test files: every compression the format has
// (MSZIP, LZX, Quantum), a five-part set, and the library's damaged and malicious cabinets.
// cabextract extracting the same file is the reference.
class TestMspackFiles : public QObject
{
    Q_OBJECT

    static QString file(const QString &name) { return CabTestUtil::fixture(u"libmspack/"_s + name); }

    // name -> (content, last-write time) of every file below a folder.
    static QMap<QString, QPair<QByteArray, QDateTime>> tree(const QString &folder)
    {
        QMap<QString, QPair<QByteArray, QDateTime>> out;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                out.insert(QDir(folder).relativeFilePath(path), {f.readAll(), QFileInfo(path).lastModified()});
        }
        return out;
    }

    void compareWithCabextract(const QString &cab)
    {
        QTemporaryDir ours, theirs;
        TSTCabReader reader;
        reader.Extract(cab, ours.path());
        const auto r = CabTestUtil::runTool(u"cabextract"_s, {u"-q"_s, u"-d"_s, theirs.path(), cab});
        QCOMPARE(r.exitCode, 0);
        const auto a = tree(ours.path());
        const auto b = tree(theirs.path());
        QVERIFY(a.size() >= 2);
        QCOMPARE(a.keys(), b.keys());
        for (auto it = a.begin(); it != a.end(); ++it) {
            QCOMPARE(it.value().first, b.value(it.key()).first);
            QCOMPARE(it.value().second, b.value(it.key()).second);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (CabTestUtil::runTool(u"cabextract"_s, {u"--version"_s}).exitCode != 0)
            QSKIP("cabextract is not installed (scripts/install-deps brings it)");
    }

    void everyCompression() { compareWithCabextract(file(u"mszip_lzx_qtm.cab"_s)); }

    void twoFoldersToMemory()
    {
        compareWithCabextract(file(u"normal_2files_2folders.cab"_s));
        TSTCabReader reader;
        const auto blobs = reader.ExtractToMemory(file(u"normal_2files_2folders.cab"_s));
        QCOMPARE(blobs.size(), size_t(4));
        QTemporaryDir dir;
        reader.Extract(file(u"normal_2files_2folders.cab"_s), dir.path());
        for (const TSTCabBlob &b : blobs) {
            QFile f(dir.filePath(b.Member.Name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(b.Data, f.readAll());
        }
    }

    void fivePartSet()
    {
        // The parts must sit under the names they announce for each other.
        QTemporaryDir dir;
        for (int i = 1; i <= 5; ++i) {
            const QString name = u"cabd_multi_basic_pt%1.cab"_s.arg(i);
            QVERIFY(QFile::copy(file(name), dir.filePath(name)));
        }
        compareWithCabextract(dir.filePath(u"cabd_multi_basic_pt1.cab"_s));
    }

    void hostileCabinetsFailCleanly()
    {
        QDir hostile(file(u"hostile"_s));
        const QStringList cabs = hostile.entryList({u"*.cab"_s}, QDir::Files, QDir::Name);
        QVERIFY(cabs.size() > 20);
        QTemporaryDir parent;
        int failures = 0;
        for (const QString &name : cabs) {
            const QString target = parent.filePath(name + u".out"_s);
            QDir().mkpath(target);
            TSTCabReader reader;
            try {
                reader.Extract(hostile.filePath(name), target);
            } catch (const ESTCabinet &) {
                ++failures;
            }
            try {
                (void)reader.ExtractToMemory(hostile.filePath(name), {}, qint64(64) << 20);
            } catch (const ESTCabinet &) {
            }
        }
        // Nothing was written beside the targets.
        QStringList stray = QDir(parent.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(stray.isEmpty(), qPrintable(stray.join(u' ')));
        QVERIFY(failures > 0);
    }
};

QTEST_GUILESS_MAIN(TestMspackFiles)
#include "tst_mspackfiles.moc"
