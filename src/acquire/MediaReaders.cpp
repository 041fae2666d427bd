#include "MediaReaders.h"

#include "HtmlTitle.h"
#include "ImgSize.h"
#include "TMPEGaudio.h"
#include "TOggVorbis.h"
#include "TWAVFile.h"
#include "core/FileInput.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/CatalogueLocale.h"

#include <QFile>

// Tag texts come from the file; a CR or LF in them would break the record into lines.
static void addTag(QStringList &lines, const char *label, const QString &value)
{
    if (!value.isEmpty())
        lines << QLatin1String(label) + TextCodec::sanitizeLine(value);
}

static void readMp3(QIODevice &device, QStringList &lines)
{
    TMPEGaudio mpeg;
    mpeg.ReadFromDevice(device);
    if (!mpeg.Valid())
        return;
    if (mpeg.ID3v2().Exists()) {
        addTag(lines, "Title: ", mpeg.ID3v2().Title());
        addTag(lines, "Artist: ", mpeg.ID3v2().Artist());
        addTag(lines, "Album: ", mpeg.ID3v2().Album());
    } else if (mpeg.ID3v1().Exists()) {
        addTag(lines, "Title: ", mpeg.ID3v1().Title());
        addTag(lines, "Artist: ", mpeg.ID3v1().Artist());
        addTag(lines, "Album: ", mpeg.ID3v1().Album());
    }
    lines << QStringLiteral("Duration: ") + FormatDuration(mpeg.Duration());
    lines << (mpeg.VBR().found ? QStringLiteral("Bit rate: VBR ") : QStringLiteral("Bit rate: CBR ")) +
                 QString::number(mpeg.BitRate()) + QStringLiteral("kbps");
}

static void readOgg(QIODevice &device, QStringList &lines)
{
    TOggVorbis ogg;
    ogg.ReadFromDevice(device);
    if (!ogg.Valid())
        return;
    addTag(lines, "Title: ", ogg.Title());
    addTag(lines, "Artist: ", ogg.Artist());
    addTag(lines, "Album: ", ogg.Album());
    lines << QStringLiteral("Duration: ") + FormatDuration(ogg.Duration());
    lines << QStringLiteral("Bit rate: ") + QString::number(ogg.BitRate()) + QStringLiteral(" kbit");
}

static void readWav(QIODevice &device, QStringList &lines)
{
    TWAVFile wav;
    wav.ReadFromDevice(device);
    if (!wav.Valid())
        return;
    // A header with a zero rate or sample size gives no length; the rest is still known.
    if (wav.HasDuration())
        lines << QStringLiteral("Duration: ") + FormatDuration(wav.Duration());
    lines << QStringLiteral("Sample rate: ") + QString::number(wav.SampleRate()) + QStringLiteral(" hz");
    lines << QStringLiteral("Bit rate: ") + QString::number(wav.BitsPerSample()) + QStringLiteral(" bit");
}

static void addSize(QStringList &lines, const ImageSize &size)
{
    lines << QStringLiteral("Width: ") + QString::number(size.width);
    lines << QStringLiteral("Height:") + QString::number(size.height);
}

void ReadMediaLines(MediaReaderKind kind, QIODevice &device, QStringList &lines)
{
    QStringList extra;
    switch (kind) {
    case MediaReaderKind::Mp3:
        readMp3(device, extra);
        break;
    case MediaReaderKind::Wav:
        readWav(device, extra);
        break;
    case MediaReaderKind::Ogg:
        readOgg(device, extra);
        break;
    case MediaReaderKind::Bmp: {
        const ImageSize size = GetBMPSize(device);
        if (size.recognised && size.width != 0 && size.height != 0)
            addSize(extra, size);
        break;
    }
    case MediaReaderKind::Jpeg: {
        const ImageSize size = GetJPEGSize(device);
        if (size.recognised)
            addSize(extra, size);
        break;
    }
    case MediaReaderKind::Gif: {
        const ImageSize size = GetGIFSize(device);
        if (size.recognised)
            addSize(extra, size);
        break;
    }
    case MediaReaderKind::Png: {
        const ImageSize size = GetPNGSize(device);
        if (size.recognised)
            addSize(extra, size);
        break;
    }
    case MediaReaderKind::Html: {
        const QStringList title = ReadHtmlTitle(device);
        if (!title.isEmpty()) {
            extra << QStringLiteral("Title: ") + title.first();
            extra << title.mid(1);
        }
        break;
    }
    }
    lines << extra;
}

static bool swallowsFailures(MediaReaderKind kind)
{
    return kind == MediaReaderKind::Mp3 || kind == MediaReaderKind::Wav || kind == MediaReaderKind::Ogg ||
           kind == MediaReaderKind::Gif;
}

void ReadMediaLines(MediaReaderKind kind, const QString &fullPath, QStringList &lines)
{
    QFile file(fullPath);
    const QString failure = FileInput::openForReading(file);
    if (!failure.isEmpty()) {
        if (swallowsFailures(kind))
            return;
        throw QuilloryError(failure);
    }
    ReadMediaLines(kind, file, lines);
}
