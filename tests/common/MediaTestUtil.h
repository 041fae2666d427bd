#pragma once

#include "acquire/MediaReaders.h"

#include <QBuffer>
#include <QList>
#include <QString>
#include <QStringList>

// Shared by the reader tests and the add-disc test: the committed fixtures with the lines their readers give,
// and a reader's lines for given bytes.
inline QString fixture(const QString &name)
{
    return QStringLiteral(QUILLORY_TEST_DATA "/media/") + name;
}

struct MediaFixture {
    QString name;
    MediaReaderKind kind;
    QStringList lines;
};

// Sizes as ImageMagick's identify reports them, lengths as soxi does; halves round to the even second.
inline const QList<MediaFixture> &mediaFixtures()
{
    using K = MediaReaderKind;
    static const QList<MediaFixture> list{
        {"cbr128-id3v1.mp3",
         K::Mp3,
         {"Title: Blank Padded", "Artist: Lame Artist", "Album: Lame Album", "Duration: 00:00:01",
          "Bit rate: CBR 128kbps"}},
        {"vbr-xing-id3v23.mp3",
         K::Mp3,
         {"Title: Xing Title", "Artist: Xing Artist", "Album: Xing Album", "Duration: 00:00:01",
          "Bit rate: VBR 114kbps"}},
        // The version-2 tag wins over the version-1 tag even though it gives no texts.
        {"cbr64-id3v24-id3v1.mp3", K::Mp3, {"Duration: 00:00:01", "Bit rate: CBR 64kbps"}},
        {"cbr160-notag.mp3", K::Mp3, {"Duration: 00:00:01", "Bit rate: CBR 160kbps"}},
        {"mpeg2-mono-vbr.mp3", K::Mp3, {"Duration: 00:00:01", "Bit rate: VBR 34kbps"}},
        {"mpeg25-cbr16.mp3", K::Mp3, {"Duration: 00:00:01", "Bit rate: CBR 16kbps"}},
        {"random.mp3", K::Mp3, {}},
        {"stereo16.wav", K::Wav, {"Duration: 00:00:00", "Sample rate: 44100 hz", "Bit rate: 16 bit"}}, // 0.3 s
        {"mono16.wav", K::Wav, {"Duration: 00:00:00", "Sample rate: 44100 hz", "Bit rate: 16 bit"}},   // 0.5 s
        {"mono8.wav", K::Wav, {"Duration: 00:00:02", "Sample rate: 8000 hz", "Bit rate: 8 bit"}},      // 2.5 s
        {"stereo8.wav", K::Wav, {"Duration: 00:00:02", "Sample rate: 11025 hz", "Bit rate: 8 bit"}},   // 1.500045 s
        // 6873 bytes over 1.0 s / 125 = 54.98 kbit/s.
        {"tagged.ogg",
         K::Ogg,
         {"Title: Ogg Title", "Artist: Ogg Artist", "Album: Ogg Album", "Duration: 00:00:01", "Bit rate: 55 kbit"}},
        {"plain.ogg", K::Ogg, {"Duration: 00:00:01", "Bit rate: 36 kbit"}},
        {"notogg.ape", K::Ogg, {}}, // Monkey's Audio reaches the Ogg reader and gets nothing
        {"bottomup.bmp", K::Bmp, {"Width: 37", "Height:21"}},
        {"topdown.bmp", K::Bmp, {"Width: 37", "Height:-21"}}, // stored negated, and written so
        {"baseline.jpg", K::Jpeg, {"Width: 70", "Height:46"}},
        {"progressive.jpg", K::Jpeg, {"Width: 0", "Height:0"}},
        // The first image, not the 64x48 logical screen, behind a 256-entry colour table.
        {"gif89a.gif", K::Gif, {"Width: 40", "Height:30"}},
        // Comments holding commas, and a loop count, stand before the first image.
        {"comment-icon.gif", K::Gif, {"Width: 20", "Height:22"}},
        {"loop-anim.gif", K::Gif, {"Width: 12", "Height:9"}},
        {"rose.png", K::Png, {"Width: 70", "Height:46"}},
        {"truncated.png", K::Png, {}},
        {"multiline.html", K::Html, {"Title: Quarterly report", "  second line"}},
        {"entities.html", K::Html, {"Title: Tom  Jerry show"}}, // entities removed, not decoded
        {"attributes.html", K::Html, {}},
        {"cp1252.html", K::Html, {"Title: Café menu"}},
    };
    return list;
}

inline QStringList linesOf(MediaReaderKind kind, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QStringList lines;
    ReadMediaLines(kind, buffer, lines);
    return lines;
}
