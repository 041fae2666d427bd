// Picture sizes (BMP, JPEG, GIF, PNG) and HTML titles, on files made by ImageMagick and on
// hand-built files, and the division of failures: which readers end the scan.
#include "MediaTestUtil.h"
#include "acquire/ImgSize.h"
#include "acquire/MediaReaders.h"
#include "core/QuilloryError.h"

#include <QBuffer>
#include <QtTest>

using namespace Qt::StringLiterals;

static QStringList size(int width, int height)
{
    return {u"Width: %1"_s.arg(width), u"Height:%1"_s.arg(height)};
}

static QByteArray be16(quint16 v)
{
    return QByteArray(1, char(v >> 8)) + char(v & 0xFF);
}

// A device that opens but whose every read fails, as a damaged disc does.
class FailingDevice : public QIODevice
{
public:
    FailingDevice() { open(QIODevice::ReadOnly); }
    qint64 size() const override { return 4096; }

protected:
    qint64 readData(char *, qint64) override
    {
        setErrorString(u"Input/output error"_s);
        return -1;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
};

class TestMediaImages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixtures_data();
    void fixtures();
    void jpegMarkers();
    void gifWalk();
    void notWhatTheNameSays();
    void htmlTitles_data();
    void htmlTitles();
    void failures();
};

void TestMediaImages::fixtures_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    // Sizes as ImageMagick's identify reports them.
    QTest::newRow("BMP") << int(MediaReaderKind::Bmp) << "bottomup.bmp" << size(37, 21);
    // A top-down bitmap stores its height negated, and that is what is written.
    QTest::newRow("top-down BMP") << int(MediaReaderKind::Bmp) << "topdown.bmp" << size(37, -21);
    QTest::newRow("baseline JPEG") << int(MediaReaderKind::Jpeg) << "baseline.jpg" << size(70, 46);
    QTest::newRow("progressive JPEG") << int(MediaReaderKind::Jpeg) << "progressive.jpg" << size(0, 0);
    // The first image (40x30), not the 64x48 logical screen, behind a 256-entry colour table.
    QTest::newRow("GIF89a") << int(MediaReaderKind::Gif) << "gif89a.gif" << size(40, 30);
    QTest::newRow("PNG") << int(MediaReaderKind::Png) << "rose.png" << size(70, 46);
    QTest::newRow("truncated PNG") << int(MediaReaderKind::Png) << "truncated.png" << QStringList{};
}

void TestMediaImages::fixtures()
{
    QFETCH(int, kind);
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    QStringList lines;
    ReadMediaLines(MediaReaderKind(kind), fixture(file), lines);
    QCOMPARE(lines, expected);
}

void TestMediaImages::jpegMarkers()
{
    const QByteArray soi("\xFF\xD8", 2);
    const QByteArray app0 = QByteArray("\xFF\xE0", 2) + be16(16) + QByteArray(14, 'J');
    const QByteArray sof1 = QByteArray("\xFF\xC1", 2) + be16(11) + char(8) + be16(480) + be16(640) + QByteArray(6, 0);
    // Fill bytes, a restart marker and the 01 marker are stepped over.
    QCOMPARE(linesOf(MediaReaderKind::Jpeg, soi + app0 + QByteArray("\xFF\xFF\xD3\xFF\x01", 5) + sof1.mid(1)),
             size(640, 480));
    QCOMPARE(linesOf(MediaReaderKind::Jpeg, soi + app0 + sof1), size(640, 480));
    // Progressive (C2) frames give no size.
    QByteArray sof2 = sof1;
    sof2[1] = '\xC2';
    QCOMPARE(linesOf(MediaReaderKind::Jpeg, soi + app0 + sof2), size(0, 0));
    // A byte other than FF after a segment ends the walk.
    QCOMPARE(linesOf(MediaReaderKind::Jpeg, soi + app0 + "x" + sof1), size(0, 0));
    // Lengths of 0 and 1 would walk back onto the same marker for ever.
    for (quint16 bad : {0, 1})
        QCOMPARE(linesOf(MediaReaderKind::Jpeg, soi + "\xFF\xE1" + be16(bad) + QByteArray(64, '\xFF') + sof1),
                 size(0, 0));
    // A length past the end of the file stops at the end.
    QCOMPARE(linesOf(MediaReaderKind::Jpeg, soi + "\xFF\xE1" + be16(0xFFFF) + sof1), size(0, 0));
    // A file that ends inside the frame header is not a picture at all.
    QCOMPARE(linesOf(MediaReaderKind::Jpeg, soi + app0 + sof1.left(6)), QStringList{});
}

void TestMediaImages::gifWalk()
{
    const QByteArray screen = QByteArray("GIF89a", 6) + QByteArray("\x40\x00\x30\x00", 4);
    const QByteArray descriptor = QByteArray(",\x01\x00\x02\x00\x0A\x00\x0B\x00\x00", 10);
    // No colour table: the first "," starts the descriptor.
    QCOMPARE(linesOf(MediaReaderKind::Gif, screen + QByteArray(3, '\0') + descriptor), size(10, 11));
    // A global table of 2^(7+1) entries is stepped over, commas in it included.
    QCOMPARE(linesOf(MediaReaderKind::Gif, screen + QByteArray("\x87\x00\x00", 3) + QByteArray(768, ',') + descriptor),
             size(10, 11));
    // A table running past the end, or no image at all: recognised, size 0.
    QCOMPARE(linesOf(MediaReaderKind::Gif, screen + QByteArray("\x87\x00\x00", 3) + QByteArray(20, ',')), size(0, 0));
    QCOMPARE(linesOf(MediaReaderKind::Gif, screen + QByteArray("\x00\x00\x00;", 4)), size(0, 0));
    // A descriptor cut short keeps what is there.
    QCOMPARE(linesOf(MediaReaderKind::Gif, screen + QByteArray(3, '\0') + descriptor.left(7)), size(10, 0));
}

void TestMediaImages::notWhatTheNameSays()
{
    const QByteArray text = "This is a plain text file, not a picture of any kind at all.\n";
    for (MediaReaderKind kind :
         {MediaReaderKind::Bmp, MediaReaderKind::Jpeg, MediaReaderKind::Gif, MediaReaderKind::Png}) {
        QCOMPARE(linesOf(kind, text), QStringList{});
        QCOMPARE(linesOf(kind, QByteArray()), QStringList{});
    }
    // A bitmap with a zero width or height writes nothing; short headers neither.
    QByteArray bmp = "BM" + QByteArray(24, '\0');
    bmp[18] = 5;
    QCOMPARE(linesOf(MediaReaderKind::Bmp, bmp), QStringList{});
    bmp[22] = 7;
    QCOMPARE(linesOf(MediaReaderKind::Bmp, bmp), size(5, 7));
    QCOMPARE(linesOf(MediaReaderKind::Bmp, bmp.left(25)), QStringList{});
    QCOMPARE(linesOf(MediaReaderKind::Gif, QByteArray("GIF89a\x01\x00", 8)), QStringList{});
    // The low halves of the PNG header's 32-bit width and height.
    QByteArray png("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\x00\x01\x01\x02\x00\x00\x03\x04", 24);
    QCOMPARE(linesOf(MediaReaderKind::Png, png), size(0x0102, 0x0304));
}

void TestMediaImages::htmlTitles_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("expected");
    auto file = [](const char *name) {
        QFile f(fixture(QLatin1String(name)));
        if (!f.open(QIODevice::ReadOnly))
            qFatal("missing fixture %s", name);
        return f.readAll();
    };
    QTest::newRow("several lines") << file("multiline.html") << QStringList{"Title: Quarterly report", "  second line"};
    QTest::newRow("entities removed, not decoded") << file("entities.html") << QStringList{"Title: Tom  Jerry show"};
    QTest::newRow("attributes on the tag") << file("attributes.html") << QStringList{};
    QTest::newRow("Windows-1252 page") << file("cp1252.html") << QStringList{"Title: Café menu"};
    QTest::newRow("no title") << QByteArray("<html><body>Hello</body></html>") << QStringList{};
    QTest::newRow("blank title") << QByteArray("<title> \r\n </title>") << QStringList{};
    QTest::newRow("only an entity") << QByteArray("<title>&nbsp;</title>") << QStringList{};
    QTest::newRow("entity to the end") << QByteArray("<title>Fish &chips</title>") << QStringList{"Title: Fish "};
    QTest::newRow("adjacent entities") << QByteArray("<title>a&lt;&gt;b</title>") << QStringList{"Title: ab"};
    QTest::newRow("space in the tag") << QByteArray("<title >X</title>") << QStringList{};
    QTest::newRow("unclosed title") << QByteArray("<TITLE>Runs > to the end\n")
                                    << QStringList{"Title: Runs  to the end"};
    QTest::newRow("second title tag") << QByteArray("<p>title><title>Real</title>") << QStringList{"Title: Real"};
    // A line of only "-" would end the file's record.
    QTest::newRow("dash line") << QByteArray("<title>Top\n-\nBottom</title>")
                               << QStringList{"Title: Top", "?", "Bottom"};
}

void TestMediaImages::htmlTitles()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, expected);
    QCOMPARE(linesOf(MediaReaderKind::Html, page), expected);
}

void TestMediaImages::failures()
{
    // BMP, JPEG, PNG and HTML raise their read failures, and add nothing; GIF swallows its own.
    for (MediaReaderKind kind :
         {MediaReaderKind::Bmp, MediaReaderKind::Jpeg, MediaReaderKind::Png, MediaReaderKind::Html}) {
        QStringList lines{"kept"};
        FailingDevice device;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, ReadMediaLines(kind, device, lines));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, ReadMediaLines(kind, u"/nonexistent/x"_s, lines));
        QCOMPARE(lines, QStringList{"kept"});
    }
    QStringList lines;
    FailingDevice device;
    ReadMediaLines(MediaReaderKind::Gif, device, lines);
    ReadMediaLines(MediaReaderKind::Gif, u"/nonexistent/x.gif"_s, lines);
    for (MediaReaderKind kind : {MediaReaderKind::Mp3, MediaReaderKind::Wav, MediaReaderKind::Ogg})
        ReadMediaLines(kind, device, lines);
    QCOMPARE(lines, QStringList{});

    // The open failure names the file.
    try {
        ReadMediaLines(MediaReaderKind::Png, u"/nonexistent/x.png"_s, lines);
        QFAIL("no exception");
    } catch (const QuilloryError &e) {
        QVERIFY2(e.message().contains("/nonexistent/x.png"), qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestMediaImages)
#include "tst_mediaimages.moc"
