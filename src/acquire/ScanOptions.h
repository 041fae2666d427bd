#pragma once

#include "MediaReaders.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

class Preferences;

// What a scan is told to do, taken from the preferences when it starts: which files the
// readers open (by the filters), what it leaves out, and the exclusion masks.
struct ScanOptions {
    // The reader filters in list order; the preferences store a tick for each.
    // The ten built-in ones, then the library readers' (MediaFamilies), whose captions list
    // the extensions of that table; a built-in reader of the same file runs first.
    static constexpr std::array<const char *, 14> FilterCaptions{
        "Zipped Archives (*.zip)",
        "Windows Bitmap (*.bmp)",
        "JPEG Files (*.jpg; *.jpe; *.jpeg)",
        "CompuServe Graphics Interchange (*.gif)",
        "Portable Network Graphics (*.png)",
        "Windows Waveform (*.wav)",
        "MPEG Audio File (*.mp3)",
        "Monkey Audio File (*.ape)",
        "OGG Vorbis File (*.ogg)",
        "HTML Pages (*.htm; *.html; *.shtml; *.dhtml)",
        "Lossless and other audio (*.flac; *.opus; *.oga; *.spx; *.m4a; *.m4b; *.wma; *.aif; *.aiff; *.aifc; "
        "*.wv; *.ape; *.ogg; *.wav)",
        "Camera pictures (EXIF)",
        "Video files (*.mp4; *.m4v; *.mkv; *.webm; *.mov; *.avi; *.ts; *.m2ts; *.mts; *.mpg; *.mpeg; *.vob; "
        "*.wmv)",
        "Disc images (*.iso)",
    };
    std::array<bool, FilterCaptions.size()> filters{};
    bool skipEmptyFolders = false;
    bool skipEmptyFiles = false;
    bool skipHidden = false; // names beginning with a dot
    bool checksums = false;  // every file read whole and its XXH3-128 kept (ContentsChecksums)
    QStringList exclusions;

    // The tick of the first filter whose caption holds probe as a plain substring: a built-in
    // reader's extension with its dot, in lower case (".jpg"), or a library reader's
    // MediaFamilies::filterProbe; false when no caption holds it.
    bool reads(QLatin1StringView probe) const;
    // The library reader of a file name when its filter is ticked.
    std::optional<MediaReaderKind> libraryReader(QByteArrayView name) const;

    // The options the preferences hold now.
    static ScanOptions from(const Preferences &prefs);
};
