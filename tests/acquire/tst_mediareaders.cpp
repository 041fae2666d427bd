// The metadata readers: MP3 (with ID3 tags), WAV, Ogg Vorbis, picture sizes and HTML titles, on the files made by
// lame, mid3v2, sox, oggenc and ImageMagick (tests/data/media/make-fixtures.sh), on hand-built edge cases (one row
// each, by the lines the scan writes), and the division of failures: which readers end the scan.
#include "MediaTestUtil.h"
#include "acquire/MediaReaders.h"
#include "acquire/TMPEGaudio.h"
#include "core/QuilloryError.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{

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
    void edgeCases_data();
    void edgeCases();
    void mpegFrameSearch_data();
    void mpegFrameSearch();
    void largeFileDuration();
    void failures();
};

void TestMediaReaders::edgeCases_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char *name, MediaReaderKind kind, const QByteArray &bytes, const QStringList &expected) {
        QTest::newRow(name) << int(kind) << bytes << expected;
    };
    using K = MediaReaderKind;
    // The files the real tools made.
    for (const MediaFixture &f : mediaFixtures()) {
        QFile file(fixture(f.name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(f.name)) << int(f.kind) << file.readAll() << f.lines;
    }
    const QStringList cbr128{"Duration: 00:00:01", "Bit rate: CBR 128kbps"};
    const QByteArray audio = frames(40);

    // ID3 version 1: blanks, NULs and control characters go from the end, stale bytes after a NUL too; a
    // 30-character field is whole; Windows-1252 bytes, as Windows taggers wrote them.
    row("ID3v1 trimmed", K::Mp3,
        audio + id3v1("Thirty characters and blanks  ", "Artist\t\r\n  ", QByteArray("Album\0stale", 11)),
        QStringList{"Title: Thirty characters and blanks", "Artist: Artist", "Album: Album"} + cbr128);
    row("ID3v1 Windows-1252, full field", K::Mp3, audio + id3v1("Caf\xE9", "123456789012345678901234567890", ""),
        QStringList{"Title: Café", "Artist: 123456789012345678901234567890"} + cbr128);

    // ID3 version 2.3: blanks trimmed, UTF-16 with a byte-order mark, frame data read into 250 bytes (the
    // encoding byte takes one), and the version-1 tag behind it not used.
    row("ID3v2 frames", K::Mp3,
        id3v2(3, id3Frame("TSSE", QByteArray("\0LAME", 5)) + id3Frame("TIT2", QByteArray("\0  Spaced title \0\0", 18)) +
                     id3Frame("TPE1", QByteArray("\x01\xFF\xFEU\0n\0i\0\0\0", 12)) +
                     id3Frame("TALB", QByteArray(1, '\0') + QByteArray(300, 'L'))) +
            audio + id3v1("V1", "V1", "V1"),
        QStringList{"Title: Spaced title", "Artist: Uni", "Album: " + QString(249, 'L')} + cbr128);
    row("ID3v2 big-endian UTF-16", K::Mp3, id3v2(3, id3Frame("TIT2", QByteArray("\x01\xFE\xFF\0B\0E", 7))) + audio,
        QStringList{"Title: BE"} + cbr128);
    // Frames stop at an identifier that does not start with A to Z, and at a size that runs past the tag.
    row("ID3v2 lower-case frame", K::Mp3,
        id3v2(3, id3Frame("TIT2", text("First")) + id3Frame("tpe1", text("Lower")) + id3Frame("TPE1", text("Never"))) +
            audio,
        QStringList{"Title: First"} + cbr128);
    row("ID3v2 frame past the tag", K::Mp3,
        id3v2(3, id3Frame("TIT2", text("T")) + "TSSE" + be(0xFFFFFFF0u) + QByteArray(2, '\0') +
                     id3Frame("TPE1", text("A"))) +
            audio,
        QStringList{"Title: T"} + cbr128);
    // A tag claiming more bytes than the file holds counts as size 0: the audio is searched from the start,
    // and the tag, still there, gives no texts.
    QByteArray liar = id3v2(3, id3Frame("TIT2", text("Liar")));
    liar[6] = 0x7F;
    row("ID3v2 longer than the file", K::Mp3, liar + audio, cbr128);
    // Version 2 tags are passed over, yet still hide the version-1 tag (version 4: a fixture).
    row("ID3v2.2", K::Mp3, id3v2(2, id3Frame("TIT2", text("T"))) + audio + id3v1("V", "V", "V"), cbr128);

    // WAV: a zero rate or sample size gives no length and no division by zero; the sample size is the byte at
    // 34 (a stray high byte after it changes nothing); rates above 65535 Hz are kept whole; the length comes
    // from the RIFF size even when the file is cut short.
    const QByteArray samples(8000, '\x80');
    row("WAV zero rate", K::Wav, wavHeader(1, 1, 0, 8, 8000) + samples, {"Sample rate: 0 hz", "Bit rate: 8 bit"});
    row("WAV zero sample size", K::Wav, wavHeader(1, 2, 8000, 0, 8000) + samples,
        {"Sample rate: 8000 hz", "Bit rate: 0 bit"});
    row("WAV stray high byte", K::Wav, wavHeader(1, 2, 8000, 0x0110, 32000),
        {"Duration: 00:00:01", "Sample rate: 8000 hz", "Bit rate: 16 bit"});
    row("WAV 96 kHz", K::Wav, wavHeader(1, 2, 96000, 16, 384000),
        {"Duration: 00:00:01", "Sample rate: 96000 hz", "Bit rate: 16 bit"});
    row("WAV cut short", K::Wav, wavHeader(1, 1, 8000, 8, 80000),
        {"Duration: 00:00:10", "Sample rate: 8000 hz", "Bit rate: 8 bit"});
    // Not PCM, three channels, an extended format block, a header cut short: not valid.
    row("WAV not PCM", K::Wav, wavHeader(3, 2, 8000, 32, 8000) + samples, {});
    row("WAV three channels", K::Wav, wavHeader(1, 3, 8000, 8, 8000) + samples, {});
    row("WAV extended format", K::Wav, wavHeader(1, 2, 8000, 8, 8000).replace(16, 4, le(18u)) + samples, {});
    row("WAV short header", K::Wav, wavHeader(1, 1, 8000, 8, 8000).left(43), {});

    // Ogg Vorbis: a long comment is cut at 250 bytes and later ones are still read; lengths and counts far
    // beyond the file stop the comments, not the reader; a comment header beyond the first 250 bytes is not
    // looked for. Without a last page the nominal rate (128 kbit/s here) gives the length.
    const QByteArray ogg = oggStart(2, 44100, 128000);
    const QByteArray comments = ogg + "\x03vorbis";
    const auto comment = [](const QByteArray &text) { return le(quint32(text.size())) + text; };
    const QByteArray tail(2000, '\0');
    const QStringList nominal{"Duration: 00:00:00", "Bit rate: 128 kbit"};
    row("Ogg long comment", K::Ogg,
        comments + comment("vendor") + le(3u) + comment("TITLE=" + QByteArray(1000, 'T')) + comment("artist=A=B") +
            comment("x") + tail,
        QStringList{"Title: " + QString(244, 'T'), "Artist: A=B"} + nominal);
    row("Ogg vendor past the end", K::Ogg, comments + le(0xFFFFFFF0u) + "vendor" + tail, nominal);
    row("Ogg comment past the end", K::Ogg,
        comments + comment("v") + le(0xFFFFFFFFu) + comment("TITLE=x") + le(0x7FFFFFFFu) + tail,
        QStringList{"Title: x"} + nominal);
    row("Ogg late comment header", K::Ogg,
        ogg + QByteArray(250, ' ') + "\x03vorbis" + comment("v") + le(1u) + comment("TITLE=Late") + tail, nominal);
    // Without a page near the end, nor a nominal rate, no length.
    row("Ogg no page, no nominal rate", K::Ogg, oggStart(1, 8000, 0) + QByteArray(20000, '\0'),
        {"Duration: 00:00:00", "Bit rate: 0 kbit"});
    row("Ogg short packet", K::Ogg, oggStart(1, 8000, 0).left(50), {});

    // JPEG (progressive frames, which give no size, are a fixture): fill bytes, restart markers and the 01 marker
    // are stepped over; a byte other than FF after a segment ends the walk; lengths of 0 and 1 would walk back onto
    // the same marker for ever; a length past the end stops there; a file ending inside the frame header is no
    // picture at all.
    const QByteArray soi("\xFF\xD8", 2);
    const QByteArray app0 = QByteArray("\xFF\xE0", 2) + be(quint16(16)) + QByteArray(14, 'J');
    const QByteArray sof1 =
        QByteArray("\xFF\xC1", 2) + be(quint16(11)) + char(8) + be(quint16(480)) + be(quint16(640)) + QByteArray(6, 0);
    row("JPEG", K::Jpeg, soi + app0 + sof1, size(640, 480));
    row("JPEG fill and restart", K::Jpeg, soi + app0 + QByteArray("\xFF\xFF\xD3\xFF\x01", 5) + sof1.mid(1),
        size(640, 480));
    row("JPEG stray byte", K::Jpeg, soi + app0 + "x" + sof1, size(0, 0));
    for (quint16 bad : {0, 1})
        row(bad ? "JPEG length 1" : "JPEG length 0", K::Jpeg,
            soi + "\xFF\xE1" + be(bad) + QByteArray(64, '\xFF') + sof1, size(0, 0));
    row("JPEG length past the end", K::Jpeg, soi + "\xFF\xE1" + be(quint16(0xFFFF)) + sof1, size(0, 0));
    row("JPEG cut in the frame header", K::Jpeg, soi + app0 + sof1.left(6), {});

    // GIF: the colour table is stepped over, commas in it included; extensions by their sub-block lengths (a
    // comment holding commas, a sub-block 44 (",") bytes long, a loop count, a graphic control block); stray
    // bytes that start no block one by one.
    const QByteArray screen("GIF89a\x40\x00\x30\x00", 10);
    const QByteArray start = screen + QByteArray(3, '\0');
    const QByteArray descriptor(",\x01\x00\x02\x00\x0A\x00\x0B\x00\x00", 10);
    const QByteArray table("\x87\x00\x00", 3); // a global table of 2^(7+1) entries
    const QByteArray gifComment = "!\xFE\x0B" + QByteArray("a, b, c, d,") + "\x03,,," + QByteArray(1, '\0');
    const QByteArray app44 = "!\xFF\x0BNETSCAPE2.0\x2C" + QByteArray(44, ',') + QByteArray("\x03\x01\x00\x00\x00", 5);
    const QByteArray control("!\xF9\x04\x00\x0A\x00\xFF\x00", 8);
    row("GIF", K::Gif, start + descriptor, size(10, 11));
    row("GIF colour table", K::Gif, screen + table + QByteArray(768, ',') + descriptor, size(10, 11));
    row("GIF extensions", K::Gif, start + gifComment + app44 + control + descriptor, size(10, 11));
    row("GIF stray bytes", K::Gif, start + QByteArray("\x00\x01", 2) + gifComment + QByteArray(1, '\0') + descriptor,
        size(10, 11));
    // A descriptor cut short keeps what is there; a table past the end, no image, the trailer, or the end of
    // the data inside an extension: recognised, size 0.
    row("GIF descriptor cut short", K::Gif, start + descriptor.left(7), size(10, 0));
    row("GIF table past the end", K::Gif, screen + table + QByteArray(20, ','), size(0, 0));
    row("GIF no image", K::Gif, screen + QByteArray("\x00\x00\x00;", 4), size(0, 0));
    row("GIF trailer", K::Gif, start + gifComment + ";" + descriptor, size(0, 0));
    row("GIF cut in an extension", K::Gif, start + gifComment.left(9), size(0, 0));
    row("GIF endless extension", K::Gif, start + "!\xFE" + QByteArray("\x01,").repeated(200000), size(0, 0));
    row("GIF short header", K::Gif, QByteArray("GIF89a\x01\x00", 8), {});

    // BMP and PNG: a zero width or height writes nothing, nor does a short header; PNG gives the low halves of
    // its 32-bit width and height.
    QByteArray bmp = "BM" + QByteArray(24, '\0');
    bmp[18] = 5;
    row("BMP zero height", K::Bmp, bmp, {});
    bmp[22] = 7;
    row("BMP", K::Bmp, bmp, size(5, 7));
    row("BMP short header", K::Bmp, bmp.left(25), {});
    row("PNG", K::Png, QByteArray("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\x00\x01\x01\x02\x00\x00\x03\x04", 24),
        size(0x0102, 0x0304));
    // Not what the name says: text or nothing at all.
    const QByteArray plain = "This is a plain text file, not a picture of any kind at all.\n";
    const QList<std::pair<const char *, K>> pictures{
        {"BMP", K::Bmp}, {"JPEG", K::Jpeg}, {"GIF", K::Gif}, {"PNG", K::Png}};
    for (const auto &[name, kind] : pictures) {
        QTest::addRow("%s of text", name) << int(kind) << plain << QStringList{};
        QTest::addRow("%s empty", name) << int(kind) << QByteArray() << QStringList{};
    }

    // HTML titles.
    row("HTML no title", K::Html, "<html><body>Hello</body></html>", {});
    row("HTML blank title", K::Html, "<title> \r\n </title>", {});
    row("HTML entity to the end", K::Html, "<title>Fish &chips</title>", {"Title: Fish "});
    row("HTML adjacent entities", K::Html, "<title>a&lt;&gt;b</title>", {"Title: ab"});
    row("HTML space in the tag", K::Html, "<title >X</title>", {});
    row("HTML unclosed title", K::Html, "<TITLE>Runs > to the end\n", {"Title: Runs  to the end"});
    row("HTML second title tag", K::Html, "<p>title><title>Real</title>", {"Title: Real"});
    // A line of only "-" would end the file's record.
    row("HTML dash line", K::Html, "<title>Top\n-\nBottom</title>", {"Title: Top", "?", "Bottom"});
}

void TestMediaReaders::edgeCases()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QCOMPARE(linesOf(MediaReaderKind(kind), bytes).join(u'|'), expected.join(u'|'));
}

// Where the frame search lands, and the rate that follows from the frame and its VBR header.
void TestMediaReaders::mpegFrameSearch_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("position"); // -1: no frame
    QTest::addColumn<qint64>("bitRate");
    QTest::addColumn<QByteArray>("vbr");
    QTest::addColumn<bool>("valid");
    // A lone header-like pattern in front of the audio is passed over: the frame is one whose successor is a
    // header too.
    QTest::newRow("lone header") << QByteArray("\xFF\xFB\x90\x40", 4) + QByteArray(96, '\x11') + frames(30)
                                 << qint64(100) << qint64(128) << QByteArray() << true;
    // No frame in the first block: the middle of the file is searched, and the position is within that block.
    QByteArray middle(20000, '\x22');
    middle.replace(middle.size() / 2 + 50, 10 * 417, frames(10));
    QTest::newRow("second block") << middle << qint64(50) << qint64(128) << QByteArray() << true;
    // A short file (less than a block) is searched once, its frames beyond the first 1730 positions unseen.
    QTest::newRow("short file") << QByteArray(2000, '\x22') + frames(10).left(1000) << qint64(-1) << qint64(0)
                                << QByteArray() << false;
    // Two frames last 0.0067 s, below a tenth of a second.
    QTest::newRow("two frames") << frames(2) << qint64(0) << qint64(128) << QByteArray() << false;
    // VBRI 36 bytes into an MPEG-1 stereo frame, bytes at +10, frames at +14: 400 bytes a frame * 44100 / 144 /
    // 1000 = 122.5, a half that rounds to the even 122. With no frames the table rate stands.
    QByteArray vbri = cbr128Frame();
    vbri.replace(36, 18, "VBRI" + QByteArray(6, '\0') + be(50u * 400) + be(50u));
    QTest::newRow("VBRI") << vbri + frames(49) << qint64(0) << qint64(122) << QByteArray("VBRI") << true;
    vbri.replace(36 + 14, 4, be(0u));
    QTest::newRow("VBRI without frames") << vbri + frames(49) << qint64(0) << qint64(128) << QByteArray("VBRI") << true;
    // A Xing header whose byte count gives an average above 448 kbit/s is not believed.
    QByteArray xing = cbr128Frame();
    xing.replace(36, 16, "Xing" + be(3u) + be(10u) + be(0xFFFFFF00u));
    QTest::newRow("Xing above 448 kbit/s") << xing + frames(9) << qint64(0) << qint64(0) << QByteArray("Xing") << false;
}

void TestMediaReaders::mpegFrameSearch()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, position);
    QFETCH(qint64, bitRate);
    QFETCH(QByteArray, vbr);
    QFETCH(bool, valid);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    TMPEGaudio mpeg;
    mpeg.ReadFromDevice(buffer);
    QCOMPARE(mpeg.Frame().found ? mpeg.Frame().position : -1, position);
    QCOMPARE(mpeg.VBR().id, vbr);
    QCOMPARE(mpeg.Valid(), valid);
    if (valid)
        QCOMPARE(mpeg.BitRate(), bitRate);
    if (valid && vbr.isEmpty()) // the audio runs from the frame found to the end of the file
        QCOMPARE(mpeg.Duration(), (bytes.size() - position) * 8 / 128.0 / 1000);
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

void TestMediaReaders::failures()
{
    // BMP, JPEG, PNG and HTML raise their read failures, an open failure naming the file, and add nothing; GIF
    // and the audio readers swallow their own.
    using K = MediaReaderKind;
    for (const K kind : {K::Bmp, K::Jpeg, K::Png, K::Html, K::Gif, K::Mp3, K::Wav, K::Ogg}) {
        QStringList lines{"kept"};
        FailingDevice device;
        int raised = 0;
        try {
            ReadMediaLines(kind, device, lines);
        } catch (const QuilloryError &) {
            ++raised;
        }
        try {
            ReadMediaLines(kind, u"/nonexistent/x"_s, lines);
        } catch (const QuilloryError &e) {
            raised += e.message().contains("/nonexistent/x") ? 1 : 100;
        }
        QCOMPARE(raised, QList<K>({K::Bmp, K::Jpeg, K::Png, K::Html}).contains(kind) ? 2 : 0);
        QCOMPARE(lines, QStringList{"kept"});
    }
}

QTEST_GUILESS_MAIN(TestMediaReaders)
#include "tst_mediareaders.moc"
