// The one writer of whole files: a disk that fills up at any point of the writing leaves the
// older file as it was and nothing beside it, with the system's reason; what fits replaces it.

#include "FileSizeLimit.h"
#include "core/SafeSaveFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace
{

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeOld(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("the older file");
    f.close();
    QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
}

} // namespace

class TestSafeSaveFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fullDisk_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QList<int>>("writes");
        QTest::addColumn<bool>("fits");
        const int k = 1024;
        QTest::newRow("nothing fits") << 0 << QList<int>{10} << false;
        QTest::newRow("small writes cut at the commit") << 1000 << QList<int>(10, 200) << false;
        QTest::newRow("small writes cut while gathering") << 300 * k << QList<int>(5, 100 * k) << false;
        QTest::newRow("a large write cut short") << k * k + 5 << QList<int>{2 * k * k} << false;
        QTest::newRow("one byte over") << 4096 << QList<int>{4000, 97} << false;
        QTest::newRow("exactly the limit") << 4096 << QList<int>{4000, 96} << true;
        QTest::newRow("exactly the limit, large") << 300 * k << QList<int>{300 * k} << true;
    }
    void fullDisk()
    {
        QFETCH(int, limit);
        QFETCH(QList<int>, writes);
        QFETCH(bool, fits);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"report.txt"_s);
        writeOld(path);

        QByteArray bytes;
        bool written = true, committed = false;
        SafeSaveFile file(path);
        QVERIFY(file.open());
        {
            const FileSizeLimit full(limit);
            for (int size : writes) {
                const QByteArray part(size, char('a' + bytes.size() % 26));
                bytes += part;
                written = file.write(part) == size && written;
            }
            committed = file.commit();
        }
        QCOMPARE(committed, fits);
        QVERIFY(!fits || written);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"report.txt"_s});
        if (fits) {
            QCOMPARE(readFile(path), bytes);
            // The replaced file's permissions pass on.
            QCOMPARE(QFile::permissions(path),
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                         QFileDevice::WriteUser | QFileDevice::ReadGroup);
        } else {
            QCOMPARE(readFile(path), QByteArray("the older file"));
            QCOMPARE(file.systemError(), EFBIG);
            QCOMPARE(file.errorString(), QString::fromLocal8Bit(strerror(EFBIG)));
        }
    }

    // A link is written through; a name at the system's limit still gets its partial file.
    void linksAndLongNames()
    {
        QTemporaryDir dir;
        const QString real = dir.filePath(u"real.m3u"_s);
        writeOld(real);
        QVERIFY(QFile::link(real, dir.filePath(u"link.m3u"_s)));
        SafeSaveFile viaLink(dir.filePath(u"link.m3u"_s));
        QVERIFY(viaLink.open());
        viaLink.write("new");
        QVERIFY(viaLink.commit());
        QCOMPARE(readFile(real), QByteArray("new"));
        QVERIFY(QFileInfo(dir.filePath(u"link.m3u"_s)).isSymLink());

        const QString longName = dir.filePath(QString(127, u'\u00e9'));
        SafeSaveFile named(longName);
        QVERIFY2(named.open(), qPrintable(named.errorString()));
        QVERIFY(SafeSaveFile::isPartialName(QFileInfo(SafeSaveFile::partialName(longName)).fileName()));
        named.write("x");
        QVERIFY(named.commit());
        QCOMPARE(readFile(longName), QByteArray("x"));
    }
};

QTEST_GUILESS_MAIN(TestSafeSaveFile)
#include "tst_safesavefile.moc"
