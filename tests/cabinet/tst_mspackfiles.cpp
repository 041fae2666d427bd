#include "CabTestUtil.h"
#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabReader.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

// The reader on the cabinet library's own test files: every compression the format has
// (MSZIP, LZX, Quantum), a five-part set, and the library's damaged and malicious cabinets.
// cabextract extracting the same file is the reference.
class TestMspackFiles : public QObject
{
    Q_OBJECT

    static QString file(const QString &name) { return CabTestUtil::fixture(QStringLiteral("libmspack/") + name); }

    // name -> (content, last-write time) of every file below a folder.
    static QMap<QString, QPair<QByteArray, QDateTime>> tree(const QString &folder)
    {
        QMap<QString, QPair<QByteArray, QDateTime>> out;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                out.insert(QDir(folder).relativeFilePath(path),
                           {f.readAll(), QFileInfo(path).lastModified()});
        }
        return out;
    }

    void compareWithCabextract(const QString &cab)
    {
        QTemporaryDir ours, theirs;
        TSTCabReader reader;
        reader.Extract(cab, ours.path());
        const auto r = CabTestUtil::runTool(QStringLiteral("cabextract"), {QStringLiteral("-q"), QStringLiteral("-d"),
                                                                              theirs.path(), cab});
        QCOMPARE(r.exitCode, 0);
        const auto a = tree(ours.path());
        const auto b = tree(theirs.path());
        QVERIFY(!a.isEmpty());
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
        if (CabTestUtil::runTool(QStringLiteral("cabextract"), {QStringLiteral("--version")}).exitCode != 0)
            QSKIP("cabextract is not installed (scripts/install-deps brings it)");
    }

    void everyCompression()
    {
        compareWithCabextract(file(QStringLiteral("mszip_lzx_qtm.cab")));
        QTemporaryDir dir;
        TSTCabReader reader;
        reader.Extract(file(QStringLiteral("mszip_lzx_qtm.cab")), dir.path());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
                 (QStringList{"lzx.txt", "mszip.txt", "qtm.txt"}));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("qtm.txt"))).lastModified(),
                 QDateTime(QDate(1997, 3, 12), QTime(11, 13, 52)));
    }

    void twoFoldersToMemory()
    {
        compareWithCabextract(file(QStringLiteral("normal_2files_2folders.cab")));
        TSTCabReader reader;
        const auto blobs = reader.ExtractToMemory(file(QStringLiteral("normal_2files_2folders.cab")));
        QCOMPARE(blobs.size(), size_t(4));
        QTemporaryDir dir;
        reader.Extract(file(QStringLiteral("normal_2files_2folders.cab")), dir.path());
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
            const QString name = QStringLiteral("cabd_multi_basic_pt%1.cab").arg(i);
            QVERIFY(QFile::copy(file(name), dir.filePath(name)));
        }
        compareWithCabextract(dir.filePath(QStringLiteral("cabd_multi_basic_pt1.cab")));
        QTemporaryDir out;
        TSTCabReader reader;
        reader.Extract(dir.filePath(QStringLiteral("cabd_multi_basic_pt1.cab")), out.path());
        QFile f(out.filePath(QStringLiteral("test1.txt")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith("This is the data from cabinet part"));
    }

    void hostileCabinetsFailCleanly()
    {
        QDir hostile(file(QStringLiteral("hostile")));
        const QStringList cabs = hostile.entryList({QStringLiteral("*.cab")}, QDir::Files, QDir::Name);
        QVERIFY(cabs.size() > 20);
        QTemporaryDir parent;
        int failures = 0;
        for (const QString &name : cabs) {
            const QString target = parent.filePath(name + QLatin1String(".out"));
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
