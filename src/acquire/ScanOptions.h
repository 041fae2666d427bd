#pragma once

#include <QString>
#include <QStringList>
#include <array>

class Preferences;

// What a scan is told to do, taken from the preferences when it starts: which files the
// readers open (by the filters), what it leaves out, and the exclusion masks.
struct ScanOptions {
    // The reader filters in list order; the preferences store a tick for each.
    static constexpr std::array<const char *, 10> FilterCaptions{
        "Zipped Archives (*.zip)",           "Windows Bitmap (*.bmp)",
        "JPEG Files (*.jpg; *.jpe; *.jpeg)", "CompuServe Graphics Interchange (*.gif)",
        "Portable Network Graphics (*.png)", "Windows Waveform (*.wav)",
        "MPEG Audio File (*.mp3)",           "Monkey Audio File (*.ape)",
        "OGG Vorbis File (*.ogg)",           "HTML Pages (*.htm; *.html; *.shtml; *.dhtml)",
    };
    std::array<bool, FilterCaptions.size()> filters{};
    bool skipEmptyFolders = false;
    bool skipEmptyFiles = false;
    bool skipHidden = false; // names beginning with a dot
    QStringList exclusions;

    // The tick of the first filter whose caption holds the extension (with its dot), in lower
    // case, as a plain substring; false when no caption holds it.
    bool reads(const QString &extension) const;

    // The options the preferences hold now.
    static ScanOptions from(const Preferences &prefs);
};
