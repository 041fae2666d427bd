#include "ScanOptions.h"

#include "MediaFamilies.h"
#include "settings/Preferences.h"

static_assert(ScanOptions::FilterCaptions.size() == Preferences::FilterCount);

bool ScanOptions::reads(QLatin1StringView probe) const
{
    for (size_t i = 0; i < FilterCaptions.size(); ++i)
        if (QLatin1StringView(FilterCaptions[i]).contains(probe))
            return filters[i];
    return false;
}

std::optional<MediaReaderKind> ScanOptions::libraryReader(QByteArrayView name) const
{
    const std::optional<MediaReaderKind> reader = MediaFamilies::libraryReader(name);
    if (reader && reads(QLatin1StringView(MediaFamilies::filterProbe(*reader))))
        return reader;
    return std::nullopt;
}

ScanOptions ScanOptions::from(const Preferences &prefs)
{
    ScanOptions o;
    for (size_t i = 0; i < o.filters.size(); ++i)
        o.filters[i] = prefs.filter(int(i));
    o.skipEmptyFolders = prefs.emptyDirs();
    o.skipEmptyFiles = prefs.emptyFiles();
    o.skipHidden = prefs.hiddenFiles();
    o.checksums = prefs.checksums();
    o.exclusions = prefs.exclusions();
    return o;
}
