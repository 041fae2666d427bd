#pragma once

#include "MediaReaders.h"

#include <QByteArrayView>
#include <optional>
#include <span>
#include <string_view>

// The one table of media extensions: which family a name belongs to (the search's music,
// picture and video categories, the playlists' music rule) and which of the library readers
// reads it. The built-in readers keep their own dispatch in the scanner.
namespace MediaFamilies
{

enum class Family { Music, Picture, Video, DiscImage };

struct Extension {
    std::string_view upper; // without its dot
    Family family;
    std::optional<MediaReaderKind> reader; // a library reader; none for a name only searched for
};

std::span<const Extension> table();

// upperExtension as SearchTests::extensionOf gives it: a-z in upper case, no dot.
bool inFamily(Family family, QByteArrayView upperExtension);
// The library reader of a file name (any case), or none.
std::optional<MediaReaderKind> libraryReader(QByteArrayView name);
// The text a filter's caption holds for the filter that turns a library reader on
// (ScanOptions::reads).
const char *filterProbe(MediaReaderKind reader);

} // namespace MediaFamilies
