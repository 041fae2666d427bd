// Runs every input of the media fuzzing corpus (fuzz/corpus/<reader>/, seeds, finds and
// former crashers alike) through every metadata reader, from a file and from memory: none
// may crash, hang or throw on a readable file, and every line must stay one line of its
// record.
#include "acquire/MediaReaders.h"
#include "core/QuilloryError.h"

#include <QBuffer>
#include <QDirIterator>
#include <QtTest>

using namespace Qt::StringLiterals;

static const QList<QPair<MediaReaderKind, const char *>> &readers()
{
    static const QList<QPair<MediaReaderKind, const char *>> list{
        {MediaReaderKind::Mp3, "mp3"}, {MediaReaderKind::Wav, "wav"},   {MediaReaderKind::Ogg, "ogg"},
        {MediaReaderKind::Gif, "gif"}, {MediaReaderKind::Png, "png"},   {MediaReaderKind::Jpeg, "jpeg"},
        {MediaReaderKind::Bmp, "bmp"}, {MediaReaderKind::Html, "html"},
    };
    return list;
}

class TestMediaCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyInputThroughEveryReader_data();
    void everyInputThroughEveryReader();
};

void TestMediaCorpus::everyInputThroughEveryReader_data()
{
    QTest::addColumn<QString>("path");
    const QString root = QStringLiteral(QUILLORY_SOURCE_DIR "/fuzz/corpus");
    int count = 0;
    for (const auto &reader : readers()) {
        QDirIterator it(root + u'/' + QLatin1String(reader.second), QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            QTest::newRow(qPrintable(QDir(root).relativeFilePath(path))) << path;
            ++count;
        }
    }
    QVERIFY2(count >= 20, "the media corpus is missing");
}

void TestMediaCorpus::everyInputThroughEveryReader()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    for (const auto &reader : readers()) {
        QStringList fromFile;
        QStringList fromMemory;
        try {
            ReadMediaLines(reader.first, path, fromFile);
            QBuffer buffer;
            buffer.setData(bytes);
            buffer.open(QIODevice::ReadOnly);
            ReadMediaLines(reader.first, buffer, fromMemory);
        } catch (const QuilloryError &e) {
            QFAIL(qPrintable(u"%1 reader threw on a readable file: %2"_s.arg(reader.second, e.message())));
        }
        QCOMPARE(fromFile, fromMemory);
        for (const QString &line : fromFile) {
            QVERIFY2(!line.contains(u'\r') && !line.contains(u'\n'), reader.second);
            QVERIFY2(line != u"-"_s, reader.second);
        }
        if (reader.first != MediaReaderKind::Html)
            QVERIFY2(fromFile.size() <= 5, reader.second);
    }
}

QTEST_GUILESS_MAIN(TestMediaCorpus)
#include "tst_mediacorpus.moc"
