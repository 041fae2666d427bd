#include "ScanOptions.h"

#include "settings/Preferences.h"

static_assert(ScanOptions::FilterCaptions.size() == Preferences::FilterCount);

bool ScanOptions::reads(const QString &extension) const
{
    const QString probe = extension.toLower();
    for (size_t i = 0; i < FilterCaptions.size(); ++i)
        if (QLatin1StringView(FilterCaptions[i]).contains(probe))
            return filters[i];
    return false;
}

ScanOptions ScanOptions::from(const Preferences &prefs)
{
    ScanOptions o;
    for (size_t i = 0; i < o.filters.size(); ++i)
        o.filters[i] = prefs.filter(int(i));
    o.skipEmptyFolders = prefs.emptyDirs();
    o.skipEmptyFiles = prefs.emptyFiles();
    o.skipHidden = prefs.hiddenFiles();
    o.exclusions = prefs.exclusions();
    return o;
}
