// Runs every input of the ZIP fuzzing corpus (fuzz/corpus/zip/: archives made by zip and
// Python, damaged ones, and what the fuzzer found) through the walk as an ordinary test:
// each is listed or ends the walk quietly, and reading forward finds what seeking finds.
#include "SequentialDevice.h"
#include "acquire/TZipFile.h"
#include "core/QuilloryError.h"

#include <QBuffer>
#include <QDir>
#include <QtTest>

namespace
{

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
        SequentialDevice stream(bytes);
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
