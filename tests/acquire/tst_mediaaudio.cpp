// MP3 (with ID3 tags), WAV and Ogg Vorbis readers, on files made by lame, mid3v2, sox and
// oggenc (tests/data/media/make-fixtures.sh) and on hand-built headers for the edge cases.
#include "MediaTestUtil.h"
#include "acquire/MediaReaders.h"
#include "acquire/TMPEGaudio.h"
#include "acquire/TOggVorbis.h"
#include "acquire/TWAVFile.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace Qt::StringLiterals;

static TMPEGaudio mpegOf(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    TMPEGaudio mpeg;
    mpeg.ReadFromDevice(buffer);
    return mpeg;
}

static TMPEGaudio mpegOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot open %s", qPrintable(path));
    TMPEGaudio mpeg;
    mpeg.ReadFromDevice(file);
    return mpeg;
}

// One MPEG audio frame: the four header bytes followed by zeros up to the frame's length.
static QByteArray frame(quint8 b1, quint8 b2, quint8 b3 = 0x40)
{
    QByteArray header("\xFF", 1);
    header += char(b1);
    header += char(b2);
    header += char(b3);
    TMPEGaudio::FrameHeader h = TMPEGaudio::DecodeHeader(header, 0);
    QByteArray f = header;
    f.resize(TMPEGaudio::FrameLength(h), '\0');
    return f;
}

// MPEG-1 layer III, 128 kbit/s, 44100 Hz, joint stereo: 417 bytes.
static QByteArray cbr128Frame()
{
    return frame(0xFB, 0x90, 0x40);
}

static QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

static QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

static QByteArray le16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

static QByteArray id3v2(int major, const QByteArray &frames)
{
    QByteArray tag("ID3");
    tag += char(major);
    tag += '\0';
    tag += '\0';
    const quint32 size = quint32(frames.size());
    tag += char((size >> 21) & 0x7F);
    tag += char((size >> 14) & 0x7F);
    tag += char((size >> 7) & 0x7F);
    tag += char(size & 0x7F);
    return tag + frames;
}

static QByteArray id3Frame(const QByteArray &id, const QByteArray &data)
{
    return id + be32(quint32(data.size())) + QByteArray(2, '\0') + data;
}

// An ID3v2 text frame's data: the encoding byte 0 (ISO-8859-1) and the text.
static QByteArray text(const char *s)
{
    return QByteArray(1, '\0') + s;
}

static QByteArray id3v1(const QByteArray &title, const QByteArray &artist, const QByteArray &album)
{
    auto field = [](QByteArray f) {
        f.resize(30, '\0');
        return f;
    };
    QByteArray tag = "TAG" + field(title) + field(artist) + field(album);
    tag.resize(128, '\0');
    return tag;
}

static QByteArray wavHeader(quint16 format, quint16 channels, quint32 rate, quint16 bits, quint32 dataBytes)
{
    QByteArray h = "RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + le16(format) + le16(channels) + le32(rate) +
                   le32(rate * channels * bits / 8) + le16(quint16(channels * bits / 8)) + le16(bits) + "data" +
                   le32(dataBytes);
    return h;
}

// The first 58 bytes of an Ogg Vorbis file: a page header of 28 bytes and the
// identification packet.
static QByteArray oggStart(quint8 channels, quint32 rate, qint32 nominal)
{
    QByteArray page = "OggS" + QByteArray(24, '\0');
    QByteArray packet = "\x01vorbis" + le32(0) + QByteArray(1, char(channels)) + le32(rate) + le32(0) +
                        le32(quint32(nominal)) + le32(0) + QByteArray(2, '\0');
    return page + packet.left(30);
}

class TestMediaAudio : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mp3Lines_data();
    void mp3Lines();
    void headerAcceptance();
    void frameNeedsSuccessor();
    void secondBlockSearch();
    void vbriHeader();
    void validityLimits();
    void largeFileDuration();
    void id3v1Trimming();
    void id3v2Frames();
    void wavLines_data();
    void wavLines();
    void wavHostileHeaders();
    void oggFixtures();
    void oggBoundedComments();
    void oggLastPage();
    void unreadableFiles();
};

void TestMediaAudio::mp3Lines_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("CBR, ID3v1 padded with blanks")
        << "cbr128-id3v1.mp3"
        << QStringList{"Title: Blank Padded", "Artist: Lame Artist", "Album: Lame Album", "Duration: 00:00:01",
                       "Bit rate: CBR 128kbps"};
    QTest::newRow("Xing VBR, ID3v2.3") << "vbr-xing-id3v23.mp3"
                                       << QStringList{"Title: Xing Title", "Artist: Xing Artist", "Album: Xing Album",
                                                      "Duration: 00:00:01", "Bit rate: VBR 114kbps"};
    // The version-2 tag wins over the version-1 tag even though it gives no texts.
    QTest::newRow("ID3v2.4 and ID3v1") << "cbr64-id3v24-id3v1.mp3"
                                       << QStringList{"Duration: 00:00:01", "Bit rate: CBR 64kbps"};
    QTest::newRow("no tag") << "cbr160-notag.mp3" << QStringList{"Duration: 00:00:01", "Bit rate: CBR 160kbps"};
    QTest::newRow("MPEG-2 mono VBR") << "mpeg2-mono-vbr.mp3"
                                     << QStringList{"Duration: 00:00:01", "Bit rate: VBR 34kbps"};
    QTest::newRow("MPEG-2.5") << "mpeg25-cbr16.mp3" << QStringList{"Duration: 00:00:01", "Bit rate: CBR 16kbps"};
    QTest::newRow("random bytes") << "random.mp3" << QStringList{};
}

void TestMediaAudio::mp3Lines()
{
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    QStringList lines{"kept"};
    ReadMediaLines(MediaReaderKind::Mp3, fixture(file), lines);
    QCOMPARE(lines, QStringList{"kept"} + expected);
}

void TestMediaAudio::headerAcceptance()
{
    auto accepted = [](quint8 b1, quint8 b2, quint8 b3) {
        return TMPEGaudio::IsFrameHeader(QByteArray("\xFF") + char(b1) + char(b2) + char(b3), 0);
    };
    QVERIFY(accepted(0xFB, 0x90, 0x40));
    QVERIFY(!accepted(0xEB, 0x90, 0x40));                               // reserved version 01
    QVERIFY(!accepted(0xF9, 0x90, 0x40));                               // layer 00
    QVERIFY(!accepted(0xFB, 0x00, 0x40));                               // free-format bit rate
    QVERIFY(!accepted(0xFB, 0xF0, 0x40));                               // bit-rate index 15
    QVERIFY(!accepted(0xFB, 0x9C, 0x40));                               // sample-rate index 3
    QVERIFY(!accepted(0xFB, 0x90, 0x42));                               // emphasis 2
    QVERIFY(!accepted(0x7B, 0x90, 0x40));                               // sync bits
    QVERIFY(!TMPEGaudio::IsFrameHeader(QByteArray("\xFF\xFB\x90"), 0)); // cut short
}

void TestMediaAudio::frameNeedsSuccessor()
{
    // A lone header-like pattern in front of the audio is passed over; the frame found is
    // the one whose successor is a header too.
    QByteArray bytes = QByteArray("\xFF\xFB\x90\x40", 4) + QByteArray(96, '\x11');
    for (int i = 0; i < 30; ++i)
        bytes += cbr128Frame();
    TMPEGaudio mpeg = mpegOf(bytes);
    QVERIFY(mpeg.Frame().found);
    QCOMPARE(mpeg.Frame().position, 100);
    QCOMPARE(mpeg.Duration(), (bytes.size() - 100) * 8 / 128.0 / 1000);
    QCOMPARE(linesOf(MediaReaderKind::Mp3, bytes), (QStringList{"Duration: 00:00:01", "Bit rate: CBR 128kbps"}));
}

void TestMediaAudio::secondBlockSearch()
{
    // No frame in the first block: the search looks again at the middle of the file, and the
    // position found there is a position within that second block.
    QByteArray bytes(20000, '\x22');
    QByteArray frames;
    for (int i = 0; i < 10; ++i)
        frames += cbr128Frame();
    const int middle = bytes.size() / 2;
    bytes.replace(middle + 50, frames.size(), frames);
    TMPEGaudio mpeg = mpegOf(bytes);
    QVERIFY(mpeg.Frame().found);
    QCOMPARE(mpeg.Frame().position, 50);
    QCOMPARE(mpeg.Duration(), (20000 - 50) * 8 / 128.0 / 1000);

    // A short file (less than a whole block) is not searched twice, and its frames beyond
    // the first 1730 positions are not seen.
    QVERIFY(!mpegOf(QByteArray(2000, '\x22') + frames.left(1000)).Frame().found);
}

void TestMediaAudio::vbriHeader()
{
    // VBRI lives 36 bytes into an MPEG-1 stereo frame: bytes at +10, frames at +14.
    QByteArray first = cbr128Frame();
    first.replace(36, 18, "VBRI" + QByteArray(6, '\0') + be32(50 * 400) + be32(50));
    QByteArray bytes = first;
    for (int i = 0; i < 49; ++i)
        bytes += cbr128Frame();
    TMPEGaudio mpeg = mpegOf(bytes);
    QCOMPARE(mpeg.VBR().id, QByteArray("VBRI"));
    QCOMPARE(mpeg.VBR().frames, 50u);
    QCOMPARE(mpeg.VBR().bytes, 20000u);
    // 400 bytes a frame * 44100 / 144 / 1000 = 122.5, a half that rounds to the even 122.
    QCOMPARE(mpeg.BitRate(), 122);
    QCOMPARE(mpeg.Duration(), 50 * 1152 / 44100.0);
    QCOMPARE(linesOf(MediaReaderKind::Mp3, bytes).last(), u"Bit rate: VBR 122kbps"_s);

    // A VBR header with no frames falls back to the table rate, still labelled VBR.
    first.replace(36 + 14, 4, be32(0));
    QCOMPARE(mpegOf(first + bytes.mid(first.size())).BitRate(), 128);
}

void TestMediaAudio::validityLimits()
{
    // Two frames of audio last 0.0067 s: below a tenth of a second, so no lines.
    QByteArray twoFrames = cbr128Frame() + cbr128Frame();
    QVERIFY(mpegOf(twoFrames).Frame().found);
    QVERIFY(!mpegOf(twoFrames).Valid());
    QCOMPARE(linesOf(MediaReaderKind::Mp3, twoFrames), QStringList{});

    // A Xing header whose byte count gives an average above 448 kbit/s is not believed.
    QByteArray first = cbr128Frame();
    first.replace(36, 16, "Xing" + be32(3) + be32(10) + be32(0xFFFFFF00));
    QByteArray bytes = first;
    for (int i = 0; i < 9; ++i)
        bytes += cbr128Frame();
    QVERIFY(mpegOf(bytes).VBR().found);
    QVERIFY(!mpegOf(bytes).Valid());
}

void TestMediaAudio::largeFileDuration()
{
    // A 700 MB file (sparse on disk): its byte count times 8 overflows 32 bits.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("big.mp3");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 4; ++i)
        file.write(cbr128Frame());
    const qint64 size = 700'000'000;
    QVERIFY(file.resize(size));
    file.close();
    const TMPEGaudio mpeg = mpegOfFile(path);
    QVERIFY(mpeg.Valid());
    QCOMPARE(mpeg.Duration(), size * 8 / 128.0 / 1000);
    QStringList lines;
    ReadMediaLines(MediaReaderKind::Mp3, path, lines);
    QCOMPARE(lines, (QStringList{"Duration: 12:09:10", "Bit rate: CBR 128kbps"})); // 43750 s
}

void TestMediaAudio::id3v1Trimming()
{
    QByteArray audio;
    for (int i = 0; i < 40; ++i)
        audio += cbr128Frame();
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

void TestMediaAudio::id3v2Frames()
{
    QByteArray audio;
    for (int i = 0; i < 40; ++i)
        audio += cbr128Frame();
    QByteArray longTitle(300, 'L');
    const QByteArray frames = id3Frame("TSSE", QByteArray("\0LAME", 5)) +
                              id3Frame("TIT2", QByteArray("\0  Spaced title \0\0", 18)) +
                              id3Frame("TPE1", QByteArray("\x01\xFF\xFEU\0n\0i\0\0\0", 12)) +
                              id3Frame("TALB", QByteArray(1, '\0') + longTitle);
    const QByteArray tagged = id3v2(3, frames) + audio + id3v1("V1", "V1", "V1");
    const TMPEGaudio mpeg = mpegOf(tagged);
    QCOMPARE(mpeg.ID3v2().Size(), frames.size() + 10);
    QCOMPARE(mpeg.ID3v2().Title(), u"Spaced title"_s);
    QCOMPARE(mpeg.ID3v2().Artist(), u"Uni"_s); // UTF-16 with a byte-order mark
    // Frame data is read into 250 bytes; the encoding byte takes one of them.
    QCOMPARE(mpeg.ID3v2().Album(), QString(249, 'L'));
    QCOMPARE(mpeg.Frame().position, 0); // counted from the end of the tag

    // Frames stop at an identifier that does not start with A to Z, and at a frame size that
    // runs past the tag.
    const QByteArray stops =
        id3Frame("TIT2", text("First")) + id3Frame("tpe1", text("Lower")) + id3Frame("TPE1", text("Never"));
    QCOMPARE(mpegOf(id3v2(3, stops) + audio).ID3v2().Artist(), QString());
    QByteArray huge =
        id3v2(3, id3Frame("TIT2", text("T")) + "TPE1" + be32(0xFFFFFFF0) + QByteArray(2, '\0') + text("A"));
    QCOMPARE(mpegOf(huge + audio).ID3v2().Title(), u"T"_s);

    // A tag that claims more bytes than the file holds counts as size 0: the audio is
    // searched from the start of the file, and the tag still exists.
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

void TestMediaAudio::wavLines_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("soxiSeconds");
    QTest::addColumn<QStringList>("expected");
    // soxi -D reports the same lengths; halves round to the even second.
    QTest::newRow("stereo 16 bit") << "stereo16.wav" << 0.3
                                   << QStringList{"Duration: 00:00:00", "Sample rate: 44100 hz", "Bit rate: 16 bit"};
    QTest::newRow("mono 16 bit, half a second")
        << "mono16.wav" << 0.5 << QStringList{"Duration: 00:00:00", "Sample rate: 44100 hz", "Bit rate: 16 bit"};
    QTest::newRow("mono 8 bit, 2.5 s") << "mono8.wav" << 2.5
                                       << QStringList{"Duration: 00:00:02", "Sample rate: 8000 hz", "Bit rate: 8 bit"};
    QTest::newRow("stereo 8 bit, 1.5 s") << "stereo8.wav" << 1.500045
                                         << QStringList{"Duration: 00:00:02", "Sample rate: 11025 hz",
                                                        "Bit rate: 8 bit"};
}

void TestMediaAudio::wavLines()
{
    QFETCH(QString, file);
    QFETCH(double, soxiSeconds);
    QFETCH(QStringList, expected);
    QStringList lines;
    ReadMediaLines(MediaReaderKind::Wav, fixture(file), lines);
    QCOMPARE(lines, expected);
    QFile f(fixture(file));
    QVERIFY(f.open(QIODevice::ReadOnly));
    TWAVFile wav;
    wav.ReadFromDevice(f);
    QVERIFY(wav.Valid());
    QCOMPARE(wav.FileSize(), f.size());
    QVERIFY(qAbs(wav.Duration() - soxiSeconds) < 1e-4);
}

void TestMediaAudio::wavHostileHeaders()
{
    const QByteArray samples(8000, '\x80');
    // A zero sample rate or sample size gives no length, and no division by zero.
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(1, 1, 0, 8, 8000) + samples),
             (QStringList{"Sample rate: 0 hz", "Bit rate: 8 bit"}));
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(1, 2, 8000, 0, 8000) + samples),
             (QStringList{"Sample rate: 8000 hz", "Bit rate: 0 bit"}));
    // The sample size is the byte at 34: a stray high byte after it changes nothing.
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(1, 2, 8000, 0x0110, 32000)),
             (QStringList{"Duration: 00:00:01", "Sample rate: 8000 hz", "Bit rate: 16 bit"}));
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(1, 2, 8000, 0x0100, 32000)),
             (QStringList{"Sample rate: 8000 hz", "Bit rate: 0 bit"}));
    // Rates above 65535 Hz are kept whole.
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(1, 2, 96000, 16, 384000)),
             (QStringList{"Duration: 00:00:01", "Sample rate: 96000 hz", "Bit rate: 16 bit"}));
    // Not PCM, three channels, an extended format block, a short file: not valid.
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(3, 2, 8000, 32, 8000) + samples), QStringList{});
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(1, 3, 8000, 8, 8000) + samples), QStringList{});
    QByteArray extended = wavHeader(1, 2, 8000, 8, 8000);
    extended.replace(16, 4, le32(18));
    QCOMPARE(linesOf(MediaReaderKind::Wav, extended + samples), QStringList{});
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(1, 1, 8000, 8, 8000).left(43)), QStringList{});
    // The length comes from the RIFF size, even when the file is cut short.
    QCOMPARE(linesOf(MediaReaderKind::Wav, wavHeader(1, 1, 8000, 8, 80000)).first(), u"Duration: 00:00:10"_s);
}

void TestMediaAudio::oggFixtures()
{
    // tagged.ogg: 6873 bytes over 1.0 s (soxi -D: 1.000000) / 125 = 54.98 kbit/s.
    QStringList lines;
    ReadMediaLines(MediaReaderKind::Ogg, fixture("tagged.ogg"), lines);
    QCOMPARE(lines, (QStringList{"Title: Ogg Title", "Artist: Ogg Artist", "Album: Ogg Album", "Duration: 00:00:01",
                                 "Bit rate: 55 kbit"}));
    lines.clear();
    ReadMediaLines(MediaReaderKind::Ogg, fixture("plain.ogg"), lines); // soxi -s: 22050 samples at 22050 Hz
    QCOMPARE(lines, (QStringList{"Duration: 00:00:01", "Bit rate: 36 kbit"}));
    // Monkey's Audio reaches the same reader and gets nothing.
    lines.clear();
    ReadMediaLines(MediaReaderKind::Ogg, fixture("notogg.ape"), lines);
    QCOMPARE(lines, QStringList{});
}

void TestMediaAudio::oggBoundedComments()
{
    const QByteArray start = oggStart(2, 44100, 128000);
    auto comment = [](const QByteArray &text) { return le32(quint32(text.size())) + text; };
    QByteArray tail(2000, '\0');

    // A long comment is cut at 250 bytes; later comments are still read.
    const QByteArray longTitle = "TITLE=" + QByteArray(1000, 'T');
    QByteArray bytes =
        start + "\x03vorbis" + comment("vendor") + le32(3) + comment(longTitle) + comment("artist=A=B") + comment("x");
    TOggVorbis ogg;
    QBuffer buffer;
    buffer.setData(bytes + tail);
    buffer.open(QIODevice::ReadOnly);
    ogg.ReadFromDevice(buffer);
    QVERIFY(ogg.Valid());
    QCOMPARE(ogg.Title(), QString(244, 'T'));
    QCOMPARE(ogg.Artist(), u"A=B"_s);

    // Lengths and counts far beyond the file stop the comments, not the reader.
    for (const QByteArray &hostile :
         {QByteArray(start + "\x03vorbis" + le32(0xFFFFFFF0) + "vendor"),
          QByteArray(start + "\x03vorbis" + comment("v") + le32(0xFFFFFFFF) + comment("TITLE=x") + le32(0x7FFFFFFF)),
          QByteArray(start + "\x03vorbis" + comment("v"))}) {
        const QStringList lines = linesOf(MediaReaderKind::Ogg, hostile + tail);
        // By the nominal rate: 2000+ bytes / 128 / 2 channels / 125 * 2.
        QVERIFY2(lines.size() >= 2 && lines.at(lines.size() - 2).startsWith("Duration: "), qPrintable(lines.join('|')));
    }
    // A comment header beyond the first 250 bytes is not looked for.
    QCOMPARE(linesOf(MediaReaderKind::Ogg, start + QByteArray(250, ' ') + "\x03vorbis" + comment("v") + le32(1) +
                                               comment("TITLE=Late") + tail)
                 .first(),
             u"Duration: 00:00:00"_s);
}

void TestMediaAudio::oggLastPage()
{
    // The granule position of a page near the end gives the sample count.
    QByteArray bytes = oggStart(1, 8000, 0) + QByteArray(5000, '\0');
    bytes += "OggS" + QByteArray(2, '\0') + le32(20000) + le32(0) + QByteArray(300, '\0');
    TOggVorbis ogg;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ogg.ReadFromDevice(buffer);
    QCOMPARE(ogg.Samples(), 20000u);
    QCOMPARE(ogg.Duration(), 2.5);
    QCOMPARE(ogg.BitRate(), 17); // 5372 bytes / 2.5 s / 125

    // No page in reach and no nominal rate: the length is unknown, and so is the rate.
    const QStringList lines = linesOf(MediaReaderKind::Ogg, oggStart(1, 8000, 0) + QByteArray(20000, '\0'));
    QCOMPARE(lines, (QStringList{"Duration: 00:00:00", "Bit rate: 0 kbit"}));
    // A file too short for the identification packet is not valid.
    QCOMPARE(linesOf(MediaReaderKind::Ogg, oggStart(1, 8000, 0).left(50)), QStringList{});
}

void TestMediaAudio::unreadableFiles()
{
    // The audio readers swallow their own failures: no lines, no exception.
    for (MediaReaderKind kind : {MediaReaderKind::Mp3, MediaReaderKind::Wav, MediaReaderKind::Ogg}) {
        QStringList lines;
        ReadMediaLines(kind, u"/nonexistent/file"_s, lines);
        QCOMPARE(lines, QStringList{});
    }
}

QTEST_GUILESS_MAIN(TestMediaAudio)
#include "tst_mediaaudio.moc"
