#include "MediaReaders.h"

#include "ExifReader.h"
#include "HtmlTitle.h"
#include "ImgSize.h"
#include "TMPEGaudio.h"
#include "TOggVorbis.h"
#include "TWAVFile.h"
#include "TagLibReader.h"
#include "VideoReader.h"
#include "VolumeProbe.h"
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
    lines << (mpeg.Variable() ? QStringLiteral("Bit rate: VBR ") : QStringLiteral("Bit rate: CBR ")) +
                 QString::number(mpeg.BitRate()) + QStringLiteral("kbps");
}

// The lines of the Ogg reader, which every tagged audio format but MP3 shares: the tags, then
// the length and the rate.
static void addTags(QStringList &lines, const QString &title, const QString &artist, const QString &album)
{
    addTag(lines, "Title: ", title);
    addTag(lines, "Artist: ", artist);
    addTag(lines, "Album: ", album);
}

static void addLength(QStringList &lines, double seconds, qint64 kbit)
{
    lines << QStringLiteral("Duration: ") + FormatDuration(seconds);
    lines << QStringLiteral("Bit rate: ") + QString::number(kbit) + QStringLiteral(" kbit");
}

static void addSampleRate(QStringList &lines, qint64 hz)
{
    lines << QStringLiteral("Sample rate: ") + QString::number(hz) + QStringLiteral(" hz");
}

static void readOgg(QIODevice &device, QStringList &lines)
{
    TOggVorbis ogg;
    ogg.ReadFromDevice(device);
    if (!ogg.Valid())
        return;
    addTags(lines, ogg.Title(), ogg.Artist(), ogg.Album());
    addLength(lines, ogg.Duration(), ogg.BitRate());
}

static void readLibraryAudio(QIODevice &device, QStringList &lines, bool vorbisToo)
{
    const AudioDetails audio = ReadTagLibAudio(device);
    if (!audio.valid || (audio.vorbis && !vorbisToo))
        return;
    addTags(lines, audio.title, audio.artist, audio.album);
    // A stream whose length TagLib cannot tell gets no length and rate rather than zeros.
    if (audio.milliseconds > 0)
        addLength(lines, audio.milliseconds / 1000.0, audio.kbit);
    if (audio.sampleRate > 0)
        addSampleRate(lines, audio.sampleRate);
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
    addSampleRate(lines, wav.SampleRate());
    lines << QStringLiteral("Bit rate: ") + QString::number(wav.BitsPerSample()) + QStringLiteral(" bit");
}

static const QLatin1StringView WidthLabel("Width: ");

static void addSize(QStringList &lines, qint64 width, qint64 height)
{
    lines << WidthLabel + QString::number(width);
    lines << QStringLiteral("Height:") + QString::number(height);
}

static void addSize(QStringList &lines, const ImageSize &size)
{
    addSize(lines, size.width, size.height);
}

// known: the lines a built-in reader of the same file wrote, whose size stands.
static void readExif(QIODevice &device, const QStringList &known, QStringList &lines)
{
    const PictureDetails picture = ReadExifPicture(device);
    if (!picture.valid)
        return;
    const bool sized = std::any_of(known.begin(), known.end(), [](const QString &l) { return l.startsWith(WidthLabel); });
    if (!sized && picture.width > 0 && picture.height > 0)
        addSize(lines, picture.width, picture.height);
    if (picture.taken.isValid())
        lines << QStringLiteral("Taken: ") + CatalogueLocale().formatListDate(picture.taken);
    addTag(lines, "Camera: ", picture.camera);
}

static void readVideo(QIODevice &device, QStringList &lines)
{
    const VideoDetails video = ReadVideo(device);
    if (!video.valid)
        return;
    if (video.milliseconds >= 0)
        lines << QStringLiteral("Duration: ") + FormatDuration(video.milliseconds / 1000.0);
    if (video.width > 0 && video.height > 0)
        addSize(lines, video.width, video.height);
    addTag(lines, "Video: ", video.videoCodec);
    if (!video.audioCodec.isEmpty()) {
        const QString channels = video.audioChannels == 1 ? QStringLiteral(", 1 channel")
                                 : video.audioChannels > 1 ? QStringLiteral(", %1 channels").arg(video.audioChannels)
                                                           : QString();
        addTag(lines, "Audio: ", video.audioCodec + channels);
    }
}

static void readDiscImage(QIODevice &device, QStringList &lines)
{
    const VolumeProbeResult volume = VolumeProbe::probe([&device](qint64 offset, char *data, qint64 size) {
        return offset >= 0 && offset + size <= device.size() && device.seek(offset) && device.read(data, size) == size;
    });
    if (!volume.valid)
        return;
    const QString label = TextCodec::sanitizeLine(volume.label).trimmed();
    lines << QStringLiteral("Volume: ") + (label.isEmpty() ? QString() : label + u' ') + u'(' + volume.fileSystem + u')';
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
    case MediaReaderKind::Audio:
        // An Ogg stream of another codec, Monkey's Audio, or a WAV file the WAV reader does not
        // take, after its own reader found nothing.
        if (lines.isEmpty())
            readLibraryAudio(device, extra, true);
        break;
    case MediaReaderKind::OggOtherCodec:
        readLibraryAudio(device, extra, false);
        break;
    case MediaReaderKind::Exif:
        readExif(device, lines, extra);
        break;
    case MediaReaderKind::Video:
        readVideo(device, extra);
        break;
    case MediaReaderKind::DiscImage:
        readDiscImage(device, extra);
        break;
    case MediaReaderKind::Html: {
        const QString title = ReadHtmlTitle(device);
        if (!title.isEmpty())
            extra << QStringLiteral("Title: ") + title;
        break;
    }
    }
    lines << extra;
}

static bool swallowsFailures(MediaReaderKind kind)
{
    return kind == MediaReaderKind::Mp3 || kind == MediaReaderKind::Wav || kind == MediaReaderKind::Ogg ||
           kind == MediaReaderKind::Gif || kind >= MediaReaderKind::Audio;
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
