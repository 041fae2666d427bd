// Runs every input of the ZIP fuzzing corpus (fuzz/corpus/zip/: archives made by zip and
// Python, damaged ones, and what the fuzzer found) through the walk as an ordinary test:
// each is listed or ends the walk quietly, and reading forward finds what seeking finds.
#include "acquire/TZipFile.h"
#include "store/QuilloryError.h"

#include <QBuffer>
#include <QDir>
#include <QtTest>

namespace
{

// A device that cannot seek, as a pipe.
class Stream : public QIODevice
{
public:
    explicit Stream(const QByteArray &bytes) : m_bytes(bytes) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        const qint64 n = qMin(max, qint64(m_bytes.size()) - m_at);
        memcpy(out, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};

QStringList names(QIODevice &dev)
{
    TZipFile zip;
    QStringList seen;
    zip.OnReadFile = [&seen](const ZipFile &e) { seen << e.EntryName; };
    zip.read(dev);
    return seen;
}

} // namespace

class TestZipCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpus_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(QUILLORY_SOURCE_DIR "/fuzz/corpus/zip"));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 9, "the ZIP corpus is missing");
        for (const QString &n : files)
            QTest::newRow(qPrintable(n)) << dir.filePath(n);
    }

    void corpus()
    {
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        Stream stream(bytes);
        stream.open(QIODevice::ReadOnly);
        const QStringList fromBuffer = names(buffer);
        QCOMPARE(names(stream), fromBuffer);
        TZipFile zip;
        zip.setFileName(path);
        QCOMPARE(zip.FileCount(), int(fromBuffer.size()));
    }
};

QTEST_GUILESS_MAIN(TestZipCorpus)
#include "tst_zipcorpus.moc"
