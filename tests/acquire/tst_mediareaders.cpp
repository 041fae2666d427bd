// The metadata readers: MP3 (with ID3 tags), WAV, Ogg Vorbis, picture sizes and HTML titles, on the files made by
// lame, mid3v2, sox, oggenc and ImageMagick (tests/data/media/make-fixtures.sh), on hand-built edge cases, and the
// division of failures: which readers end the scan.
#include "MediaTestUtil.h"
#include "acquire/MediaReaders.h"
#include "acquire/TMPEGaudio.h"
#include "acquire/TOggVorbis.h"
#include "core/QuilloryError.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{

template <typename Reader> Reader readerOf(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    Reader reader;
    reader.ReadFromDevice(buffer);
    return reader;
}
const auto mpegOf = readerOf<TMPEGaudio>;

template <typename T> QByteArray le(T v)
{
    QByteArray b(sizeof v, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

template <typename T> QByteArray be(T v)
{
    QByteArray b(sizeof v, '\0');
    qToBigEndian(v, b.data());
    return b;
}

// MPEG-1 layer III, 128 kbit/s, 44100 Hz, joint stereo: a frame of 417 bytes.
QByteArray cbr128Frame()
{
    QByteArray f("\xFF\xFB\x90\x40", 4);
    f.resize(417, '\0');
    return f;
}

QByteArray frames(int count)
{
    return cbr128Frame().repeated(count);
}

QByteArray id3v2(int major, const QByteArray &frames)
{
    const quint32 size = quint32(frames.size());
    QByteArray tag("ID3");
    tag += char(major) + QByteArray(2, '\0');
    for (int shift : {21, 14, 7, 0})
        tag += char((size >> shift) & 0x7F);
    return tag + frames;
}

QByteArray id3Frame(const QByteArray &id, const QByteArray &data)
{
    return id + be(quint32(data.size())) + QByteArray(2, '\0') + data;
}

// An ID3v2 text frame's data: the encoding byte 0 (ISO-8859-1) and the text.
QByteArray text(const char *s)
{
    return QByteArray(1, '\0') + s;
}

QByteArray id3v1(QByteArray title, QByteArray artist, QByteArray album)
{
    for (QByteArray *f : {&title, &artist, &album})
        f->resize(30, '\0');
    QByteArray tag = "TAG" + title + artist + album;
    tag.resize(128, '\0');
    return tag;
}

QByteArray wavHeader(quint16 format, quint16 channels, quint32 rate, quint16 bits, quint32 dataBytes)
{
    return "RIFF" + le(36 + dataBytes) + "WAVEfmt " + le(16u) + le(format) + le(channels) + le(rate) +
           le(rate * channels * bits / 8) + le(quint16(channels * bits / 8)) + le(bits) + "data" + le(dataBytes);
}

// The first 58 bytes of an Ogg Vorbis file: a page header of 28 bytes and the identification packet.
QByteArray oggStart(quint8 channels, quint32 rate, qint32 nominal)
{
    const QByteArray packet = "\x01vorbis" + le(0u) + QByteArray(1, char(channels)) + le(rate) + le(0u) + le(nominal) +
                              le(0u) + QByteArray(2, '\0');
    return "OggS" + QByteArray(24, '\0') + packet.left(30);
}

QStringList size(int width, int height)
{
    return {u"Width: %1"_s.arg(width), u"Height:%1"_s.arg(height)};
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

} // namespace

class TestMediaReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixtures_data();
    void fixtures();
    void mp3FrameSearch();
    void vbrHeaders();
    void largeFileDuration();
    void id3v1Trimming();
    void id3v2Frames();
    void wavHostileHeaders();
    void oggBoundedComments();
    void oggLastPage();
    void jpegMarkers();
    void gifWalk();
    void notWhatTheNameSays();
    void htmlTitles_data();
    void htmlTitles();
    void failures();
};

void TestMediaReaders::fixtures_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    for (const MediaFixture &f : mediaFixtures())
        QTest::newRow(qPrintable(f.name)) << int(f.kind) << f.name << f.lines;
}

void TestMediaReaders::fixtures()
{
    QFETCH(int, kind);
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    QStringList lines{"kept"};
    ReadMediaLines(MediaReaderKind(kind), fixture(file), lines);
    QCOMPARE(lines, QStringList{"kept"} + expected);
}

void TestMediaReaders::mp3FrameSearch()
{
    // A lone header-like pattern in front of the audio is passed over; the frame found is the one whose
    // successor is a header too.
    const QByteArray lone = QByteArray("\xFF\xFB\x90\x40", 4) + QByteArray(96, '\x11') + frames(30);
    TMPEGaudio mpeg = mpegOf(lone);
    QVERIFY(mpeg.Frame().found);
    QCOMPARE(mpeg.Frame().position, 100);
    QCOMPARE(mpeg.Duration(), (lone.size() - 100) * 8 / 128.0 / 1000);
    QCOMPARE(linesOf(MediaReaderKind::Mp3, lone), (QStringList{"Duration: 00:00:01", "Bit rate: CBR 128kbps"}));

    // No frame in the first block: the search looks again at the middle of the file, and the position found
    // there is a position within that second block.
    QByteArray bytes(20000, '\x22');
    bytes.replace(bytes.size() / 2 + 50, 10 * 417, frames(10));
    mpeg = mpegOf(bytes);
    QVERIFY(mpeg.Frame().found);
    QCOMPARE(mpeg.Frame().position, 50);
    QCOMPARE(mpeg.Duration(), (20000 - 50) * 8 / 128.0 / 1000);
    // A short file (less than a whole block) is not searched twice, and its frames beyond the first 1730
    // positions are not seen.
    QVERIFY(!mpegOf(QByteArray(2000, '\x22') + frames(10).left(1000)).Frame().found);

    // Two frames of audio last 0.0067 s: below a tenth of a second, so no lines.
    QVERIFY(mpegOf(frames(2)).Frame().found);
    QVERIFY(!mpegOf(frames(2)).Valid());
    QCOMPARE(linesOf(MediaReaderKind::Mp3, frames(2)), QStringList{});
}

void TestMediaReaders::vbrHeaders()
{
    // VBRI lives 36 bytes into an MPEG-1 stereo frame: bytes at +10, frames at +14.
    QByteArray first = cbr128Frame();
    first.replace(36, 18, "VBRI" + QByteArray(6, '\0') + be(50u * 400) + be(50u));
    const TMPEGaudio mpeg = mpegOf(first + frames(49));
    QCOMPARE(mpeg.VBR().id, QByteArray("VBRI"));
    QCOMPARE(mpeg.VBR().frames, 50u);
    QCOMPARE(mpeg.VBR().bytes, 20000u);
    // 400 bytes a frame * 44100 / 144 / 1000 = 122.5, a half that rounds to the even 122.
    QCOMPARE(mpeg.BitRate(), 122);
    QCOMPARE(mpeg.Duration(), 50 * 1152 / 44100.0);
    QCOMPARE(linesOf(MediaReaderKind::Mp3, first + frames(49)).last(), u"Bit rate: VBR 122kbps"_s);

    // A VBR header with no frames falls back to the table rate, still labelled VBR.
    first.replace(36 + 14, 4, be(0u));
    QCOMPARE(mpegOf(first + frames(49)).BitRate(), 128);

    // A Xing header whose byte count gives an average above 448 kbit/s is not believed.
    QByteArray xing = cbr128Frame();
    xing.replace(36, 16, "Xing" + be(3u) + be(10u) + be(0xFFFFFF00u));
    QVERIFY(mpegOf(xing + frames(9)).VBR().found);
    QVERIFY(!mpegOf(xing + frames(9)).Valid());
}

void TestMediaReaders::largeFileDuration()
{
    // A 700 MB file (sparse on disk): its byte count times 8 overflows 32 bits.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("big.mp3");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(frames(4));
    QVERIFY(file.resize(700'000'000));
    file.close();
    QStringList lines;
    ReadMediaLines(MediaReaderKind::Mp3, path, lines);
    QCOMPARE(lines, (QStringList{"Duration: 12:09:10", "Bit rate: CBR 128kbps"})); // 43750 s
}

void TestMediaReaders::id3v1Trimming()
{
    const QByteArray audio = frames(40);
    // Blanks, NULs and control characters go from the end; stale bytes after a NUL go too.
    const QByteArray tag = id3v1("Thirty characters and blanks  ", "Artist\t\r\n  ", QByteArray("Album\0stale", 11));
    QCOMPARE(linesOf(MediaReaderKind::Mp3, audio + tag),
             (QStringList{"Title: Thirty characters and blanks", "Artist: Artist", "Album: Album", "Duration: 00:00:01",
                          "Bit rate: CBR 128kbps"}));
    // A 30-character title uses its whole field.
    const QByteArray full = id3v1("123456789012345678901234567890", "", "");
    QCOMPARE(linesOf(MediaReaderKind::Mp3, audio + full).first(), u"Title: 123456789012345678901234567890"_s);
    // Windows-1252 bytes, as Windows taggers wrote them.
    QCOMPARE(linesOf(MediaReaderKind::Mp3, audio + id3v1("Caf\xE9", "", "")).first(), u"Title: Café"_s);
}

void TestMediaReaders::id3v2Frames()
{
    const QByteArray audio = frames(40);
    const QByteArray tagFrames = id3Frame("TSSE", QByteArray("\0LAME", 5)) +
                                 id3Frame("TIT2", QByteArray("\0  Spaced title \0\0", 18)) +
                                 id3Frame("TPE1", QByteArray("\x01\xFF\xFEU\0n\0i\0\0\0", 12)) +
                                 id3Frame("TALB", QByteArray(1, '\0') + QByteArray(300, 'L'));
    const TMPEGaudio mpeg = mpegOf(id3v2(3, tagFrames) + audio + id3v1("V1", "V1", "V1"));
    QCOMPARE(mpeg.ID3v2().Size(), tagFrames.size() + 10);
    QCOMPARE(mpeg.ID3v2().Title(), u"Spaced title"_s);
    QCOMPARE(mpeg.ID3v2().Artist(), u"Uni"_s); // UTF-16 with a byte-order mark
    // Frame data is read into 250 bytes; the encoding byte takes one of them.
    QCOMPARE(mpeg.ID3v2().Album(), QString(249, 'L'));
    QCOMPARE(mpeg.Frame().position, 0); // counted from the end of the tag

    // Frames stop at an identifier that does not start with A to Z, and at a frame size that runs past the tag.
    const QByteArray stops =
        id3Frame("TIT2", text("First")) + id3Frame("tpe1", text("Lower")) + id3Frame("TPE1", text("Never"));
    QCOMPARE(mpegOf(id3v2(3, stops) + audio).ID3v2().Artist(), QString());
    const QByteArray huge =
        id3v2(3, id3Frame("TIT2", text("T")) + "TPE1" + be(0xFFFFFFF0u) + QByteArray(2, '\0') + text("A"));
    QCOMPARE(mpegOf(huge + audio).ID3v2().Title(), u"T"_s);

    // A tag that claims more bytes than the file holds counts as size 0: the audio is searched from the start
    // of the file, and the tag still exists.
    QByteArray liar = id3v2(3, id3Frame("TIT2", text("Liar")));
    liar[6] = 0x7F;
    const TMPEGaudio lied = mpegOf(liar + audio);
    QVERIFY(lied.ID3v2().Exists());
    QCOMPARE(lied.ID3v2().Size(), 0);
    QCOMPARE(lied.ID3v2().Title(), QString());
    QVERIFY(lied.Valid());

    // Version 2 and 4 tags are passed over, yet still hide the version-1 tag.
    for (int major : {2, 4})
        QCOMPARE(
            linesOf(MediaReaderKind::Mp3, id3v2(major, id3Frame("TIT2", text("T"))) + audio + id3v1("V", "V", "V")),
            (QStringList{"Duration: 00:00:01", "Bit rate: CBR 128kbps"}));
}

void TestMediaReaders::wavHostileHeaders()
{
    const auto wav = [](const QByteArray &bytes) { return linesOf(MediaReaderKind::Wav, bytes); };
    const QByteArray samples(8000, '\x80');
    // A zero sample rate or sample size gives no length, and no division by zero.
    QCOMPARE(wav(wavHeader(1, 1, 0, 8, 8000) + samples), (QStringList{"Sample rate: 0 hz", "Bit rate: 8 bit"}));
    QCOMPARE(wav(wavHeader(1, 2, 8000, 0, 8000) + samples), (QStringList{"Sample rate: 8000 hz", "Bit rate: 0 bit"}));
    // The sample size is the byte at 34: a stray high byte after it changes nothing.
    QCOMPARE(wav(wavHeader(1, 2, 8000, 0x0110, 32000)),
             (QStringList{"Duration: 00:00:01", "Sample rate: 8000 hz", "Bit rate: 16 bit"}));
    QCOMPARE(wav(wavHeader(1, 2, 8000, 0x0100, 32000)), (QStringList{"Sample rate: 8000 hz", "Bit rate: 0 bit"}));
    // Rates above 65535 Hz are kept whole.
    QCOMPARE(wav(wavHeader(1, 2, 96000, 16, 384000)),
             (QStringList{"Duration: 00:00:01", "Sample rate: 96000 hz", "Bit rate: 16 bit"}));
    // Not PCM, three channels, an extended format block, a short file: not valid.
    QCOMPARE(wav(wavHeader(3, 2, 8000, 32, 8000) + samples), QStringList{});
    QCOMPARE(wav(wavHeader(1, 3, 8000, 8, 8000) + samples), QStringList{});
    QByteArray extended = wavHeader(1, 2, 8000, 8, 8000);
    extended.replace(16, 4, le(18u));
    QCOMPARE(wav(extended + samples), QStringList{});
    QCOMPARE(wav(wavHeader(1, 1, 8000, 8, 8000).left(43)), QStringList{});
    // The length comes from the RIFF size, even when the file is cut short.
    QCOMPARE(wav(wavHeader(1, 1, 8000, 8, 80000)).first(), u"Duration: 00:00:10"_s);
}

void TestMediaReaders::oggBoundedComments()
{
    const QByteArray start = oggStart(2, 44100, 128000) + "\x03vorbis";
    auto comment = [](const QByteArray &text) { return le(quint32(text.size())) + text; };
    const QByteArray tail(2000, '\0');

    // A long comment is cut at 250 bytes; later comments are still read.
    const QByteArray longTitle = "TITLE=" + QByteArray(1000, 'T');
    const TOggVorbis ogg = readerOf<TOggVorbis>(start + comment("vendor") + le(3u) + comment(longTitle) +
                                                comment("artist=A=B") + comment("x") + tail);
    QVERIFY(ogg.Valid());
    QCOMPARE(ogg.Title(), QString(244, 'T'));
    QCOMPARE(ogg.Artist(), u"A=B"_s);

    // Lengths and counts far beyond the file stop the comments, not the reader.
    for (const QByteArray &hostile :
         {QByteArray(start + le(0xFFFFFFF0u) + "vendor"),
          QByteArray(start + comment("v") + le(0xFFFFFFFFu) + comment("TITLE=x") + le(0x7FFFFFFFu)),
          QByteArray(start + comment("v"))}) {
        const QStringList lines = linesOf(MediaReaderKind::Ogg, hostile + tail);
        QVERIFY2(lines.size() >= 2 && lines.at(lines.size() - 2).startsWith("Duration: "), qPrintable(lines.join('|')));
    }
    // A comment header beyond the first 250 bytes is not looked for.
    const QByteArray late = oggStart(2, 44100, 128000) + QByteArray(250, ' ') + "\x03vorbis" + comment("v") + le(1u) +
                            comment("TITLE=Late") + tail;
    QCOMPARE(linesOf(MediaReaderKind::Ogg, late).first(), u"Duration: 00:00:00"_s);
}

void TestMediaReaders::oggLastPage()
{
    // The granule position of a page near the end gives the sample count.
    const QByteArray bytes = oggStart(1, 8000, 0) + QByteArray(5000, '\0') + "OggS" + QByteArray(2, '\0') + le(20000u) +
                             le(0u) + QByteArray(300, '\0');
    const TOggVorbis ogg = readerOf<TOggVorbis>(bytes);
    QCOMPARE(ogg.Samples(), 20000u);
    QCOMPARE(ogg.Duration(), 2.5);
    QCOMPARE(ogg.BitRate(), 17); // 5372 bytes / 2.5 s / 125

    // No page in reach and no nominal rate: the length is unknown, and so is the rate.
    QCOMPARE(linesOf(MediaReaderKind::Ogg, oggStart(1, 8000, 0) + QByteArray(20000, '\0')),
             (QStringList{"Duration: 00:00:00", "Bit rate: 0 kbit"}));
    // A file too short for the identification packet is not valid.
    QCOMPARE(linesOf(MediaReaderKind::Ogg, oggStart(1, 8000, 0).left(50)), QStringList{});
}

void TestMediaReaders::jpegMarkers()
{
    const auto jpeg = [](const QByteArray &bytes) { return linesOf(MediaReaderKind::Jpeg, bytes); };
    const QByteArray soi("\xFF\xD8", 2);
    const QByteArray app0 = QByteArray("\xFF\xE0", 2) + be(quint16(16)) + QByteArray(14, 'J');
    const QByteArray sof1 =
        QByteArray("\xFF\xC1", 2) + be(quint16(11)) + char(8) + be(quint16(480)) + be(quint16(640)) + QByteArray(6, 0);
    // Fill bytes, a restart marker and the 01 marker are stepped over.
    QCOMPARE(jpeg(soi + app0 + QByteArray("\xFF\xFF\xD3\xFF\x01", 5) + sof1.mid(1)), size(640, 480));
    QCOMPARE(jpeg(soi + app0 + sof1), size(640, 480));
    // Progressive (C2) frames give no size.
    QByteArray sof2 = sof1;
    sof2[1] = '\xC2';
    QCOMPARE(jpeg(soi + app0 + sof2), size(0, 0));
    // A byte other than FF after a segment ends the walk.
    QCOMPARE(jpeg(soi + app0 + "x" + sof1), size(0, 0));
    // Lengths of 0 and 1 would walk back onto the same marker for ever.
    for (quint16 bad : {0, 1})
        QCOMPARE(jpeg(soi + "\xFF\xE1" + be(bad) + QByteArray(64, '\xFF') + sof1), size(0, 0));
    // A length past the end of the file stops at the end.
    QCOMPARE(jpeg(soi + "\xFF\xE1" + be(quint16(0xFFFF)) + sof1), size(0, 0));
    // A file that ends inside the frame header is not a picture at all.
    QCOMPARE(jpeg(soi + app0 + sof1.left(6)), QStringList{});
}

void TestMediaReaders::gifWalk()
{
    const auto gif = [](const QByteArray &bytes) { return linesOf(MediaReaderKind::Gif, bytes); };
    const QByteArray screen("GIF89a\x40\x00\x30\x00", 10);
    const QByteArray descriptor(",\x01\x00\x02\x00\x0A\x00\x0B\x00\x00", 10);
    const QByteArray table("\x87\x00\x00", 3); // a global table of 2^(7+1) entries
    // No colour table: the first "," starts the descriptor.
    QCOMPARE(gif(screen + QByteArray(3, '\0') + descriptor), size(10, 11));
    // The table is stepped over, commas in it included.
    QCOMPARE(gif(screen + table + QByteArray(768, ',') + descriptor), size(10, 11));
    // A table running past the end, or no image at all: recognised, size 0.
    QCOMPARE(gif(screen + table + QByteArray(20, ',')), size(0, 0));
    QCOMPARE(gif(screen + QByteArray("\x00\x00\x00;", 4)), size(0, 0));
    // A descriptor cut short keeps what is there.
    QCOMPARE(gif(screen + QByteArray(3, '\0') + descriptor.left(7)), size(10, 0));

    // Extensions are stepped over by their sub-block lengths: commas in a comment, a sub-block
    // 44 (",") bytes long, a loop count, a graphic control block, one after the other.
    const QByteArray start = screen + QByteArray(3, '\0');
    // A comment of two sub-blocks, 11 and 3 bytes long, and its terminator.
    const QByteArray comment = "!\xFE\x0B" + QByteArray("a, b, c, d,") + "\x03,,," + QByteArray(1, '\0');
    const QByteArray app44 = "!\xFF\x0BNETSCAPE2.0\x2C" + QByteArray(44, ',') + QByteArray("\x03\x01\x00\x00\x00", 5);
    const QByteArray control("!\xF9\x04\x00\x0A\x00\xFF\x00", 8);
    QCOMPARE(gif(start + comment + app44 + control + descriptor), size(10, 11));
    // Stray bytes that start no block are passed over, as before.
    QCOMPARE(gif(start + QByteArray("\x00\x01", 2) + comment + QByteArray(1, '\0') + descriptor), size(10, 11));
    // The trailer, or the end of the data inside an extension, ends the walk without a size.
    QCOMPARE(gif(start + comment + ";" + descriptor), size(0, 0));
    QCOMPARE(gif(start + comment.left(9)), size(0, 0));
    QCOMPARE(gif(start + "!"), size(0, 0));
    // An extension whose sub-blocks run on to the end never finds a terminator: it ends there.
    QCOMPARE(gif(start + "!\xFE" + QByteArray("\x01,").repeated(200000)), size(0, 0));
}

void TestMediaReaders::notWhatTheNameSays()
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
    const QByteArray png("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\x00\x01\x01\x02\x00\x00\x03\x04", 24);
    QCOMPARE(linesOf(MediaReaderKind::Png, png), size(0x0102, 0x0304));
}

void TestMediaReaders::htmlTitles_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("expected");
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

void TestMediaReaders::htmlTitles()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, expected);
    QCOMPARE(linesOf(MediaReaderKind::Html, page), expected);
}

void TestMediaReaders::failures()
{
    // BMP, JPEG, PNG and HTML raise their read failures, and add nothing.
    for (MediaReaderKind kind :
         {MediaReaderKind::Bmp, MediaReaderKind::Jpeg, MediaReaderKind::Png, MediaReaderKind::Html}) {
        QStringList lines{"kept"};
        FailingDevice device;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, ReadMediaLines(kind, device, lines));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, ReadMediaLines(kind, u"/nonexistent/x"_s, lines));
        QCOMPARE(lines, QStringList{"kept"});
    }
    // GIF and the audio readers swallow their own: no lines, no exception.
    QStringList lines;
    for (MediaReaderKind kind :
         {MediaReaderKind::Gif, MediaReaderKind::Mp3, MediaReaderKind::Wav, MediaReaderKind::Ogg}) {
        FailingDevice device;
        ReadMediaLines(kind, device, lines);
        ReadMediaLines(kind, u"/nonexistent/x"_s, lines);
    }
    QCOMPARE(lines, QStringList{});

    // The open failure names the file.
    try {
        ReadMediaLines(MediaReaderKind::Png, u"/nonexistent/x.png"_s, lines);
        QFAIL("no exception");
    } catch (const QuilloryError &e) {
        QVERIFY2(e.message().contains("/nonexistent/x.png"), qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestMediaReaders)
#include "tst_mediareaders.moc"
