#include "MediaFamilies.h"

#include "core/AsciiCase.h"

#include <algorithm>
#include <array>

namespace MediaFamilies
{

namespace
{

using F = Family;
using K = MediaReaderKind;
constexpr std::optional<MediaReaderKind> None;

// Names the built-in readers take (MP3, WAV, Ogg, APE, JPEG...) are listed for their family;
// where a library reader is named as well, it runs after the built-in one (see MediaReaders.h).
constexpr Extension Table[] = {
    // Music
    {"MP3", F::Music, None},
    {"WMA", F::Music, K::Audio},
    {"AAC", F::Music, None}, // bare ADTS streams carry no tags TagLib reads
    {"OGG", F::Music, K::Audio},
    {"WAV", F::Music, K::Audio}, // what the WAV reader leaves: a LIST chunk first, 24 bits, surround
    {"MID", F::Music, None},
    {"MIDI", F::Music, None},
    {"APE", F::Music, K::Audio},
    {"RA", F::Music, None},
    {"CDA", F::Music, None},
    {"FLAC", F::Music, K::Audio},
    {"OPUS", F::Music, K::Audio},
    {"OGA", F::Music, K::Audio},
    {"SPX", F::Music, K::Audio},
    {"M4A", F::Music, K::Audio},
    {"M4B", F::Music, K::Audio},
    {"AIF", F::Music, K::Audio},
    {"AIFF", F::Music, K::Audio},
    {"AIFC", F::Music, K::Audio},
    {"WV", F::Music, K::Audio},
    // Pictures
    {"BMP", F::Picture, None},
    {"JPG", F::Picture, K::Exif},
    {"JPEG", F::Picture, K::Exif},
    {"JPE", F::Picture, K::Exif},
    {"GIF", F::Picture, None},
    {"PNG", F::Picture, None},
    {"EMF", F::Picture, None},
    {"WMF", F::Picture, None},
    {"TIF", F::Picture, K::Exif},
    {"TIFF", F::Picture, K::Exif},
    {"PSD", F::Picture, None},
    {"CDR", F::Picture, None},
    {"HEIC", F::Picture, K::Exif},
    {"HEIF", F::Picture, K::Exif},
    {"AVIF", F::Picture, K::Exif},
    {"WEBP", F::Picture, K::Exif},
    {"CR2", F::Picture, K::Exif},
    {"CR3", F::Picture, K::Exif},
    {"NEF", F::Picture, K::Exif},
    {"NRW", F::Picture, K::Exif},
    {"ARW", F::Picture, K::Exif},
    {"SR2", F::Picture, K::Exif},
    {"DNG", F::Picture, K::Exif},
    {"ORF", F::Picture, K::Exif},
    {"RW2", F::Picture, K::Exif},
    {"PEF", F::Picture, K::Exif},
    {"SRW", F::Picture, K::Exif},
    {"RAF", F::Picture, K::Exif},
    {"MRW", F::Picture, K::Exif},
    // Video
    {"AVI", F::Video, K::Video},
    {"MOV", F::Video, K::Video},
    {"VOB", F::Video, K::Video},
    {"WMV", F::Video, K::Video},
    {"DIVX", F::Video, None},
    {"RM", F::Video, None},
    {"MP4", F::Video, K::Video},
    {"M4V", F::Video, K::Video},
    {"MKV", F::Video, K::Video},
    {"WEBM", F::Video, K::Video},
    {"TS", F::Video, K::Video},
    {"M2TS", F::Video, K::Video},
    {"MTS", F::Video, K::Video},
    {"MPG", F::Video, K::Video},
    {"MPEG", F::Video, K::Video},
    // Disc images
    {"ISO", F::DiscImage, K::DiscImage},
};

// Asked once for every file a scan meets, so a row is one compare of its name packed in a word.
constexpr quint32 packed(std::string_view upper)
{
    quint32 key = 0;
    for (const char c : upper)
        key = key << 8 | static_cast<unsigned char>(c);
    return key;
}
constexpr size_t LongestExtension = 4;
static_assert(std::ranges::all_of(Table, [](const Extension &e) { return e.upper.size() <= LongestExtension; }),
              "every extension of the table fits a key");
constexpr auto Keys = [] {
    std::array<quint32, std::size(Table)> keys{};
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i] = packed(Table[i].upper);
    return keys;
}();

const Extension *find(QByteArrayView upper)
{
    if (upper.isEmpty() || upper.size() > qsizetype(LongestExtension))
        return nullptr;
    const quint32 key = packed(std::string_view(upper.data(), size_t(upper.size())));
    for (size_t i = 0; i < Keys.size(); ++i)
        if (Keys[i] == key)
            return &Table[i];
    return nullptr;
}

} // namespace

std::span<const Extension> table()
{
    return Table;
}

bool inFamily(Family family, QByteArrayView upperExtension)
{
    const Extension *e = find(upperExtension);
    return e && e->family == family;
}

std::optional<MediaReaderKind> libraryReader(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0 || name.size() - dot > 6)
        return std::nullopt;
    const Extension *e = find(QByteArrayView(FoldedAZ(name.sliced(dot + 1))));
    return e ? e->reader : std::nullopt;
}

const char *filterProbe(MediaReaderKind reader)
{
    switch (reader) {
    case K::Audio:
    case K::OggOtherCodec:
        return "Lossless and other audio";
    case K::Exif:
        return "(EXIF)";
    case K::Video:
        return "Video files";
    case K::DiscImage:
        return "Disc images";
    default:
        return "";
    }
}

} // namespace MediaFamilies
