#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

// The readers of extra details the scanner calls: the built-in ones, one per row of its
// dispatch table, then the library ones (MediaFamilies' table), which add to what a built-in
// reader of the same file wrote.
enum class MediaReaderKind {
    Mp3,
    Wav,
    Ogg,
    Gif,
    Png,
    Jpeg,
    Bmp,
    Html,
    Audio,         // TagLib: only when the file's own reader wrote nothing (an APE, an Ogg Opus...)
    OggOtherCodec, // TagLib on an .ogg file whose own filter is off: a stream of another codec than Vorbis
    Exif,          // Exiv2: the size unless a line gives it already, the date taken, the camera
    Video,         // libmediainfo
    DiscImage      // the volume probe, on an image file
};

// Appends the reader's extra lines for the file at fullPath, after what lines holds already
// (a library reader looks at it). The audio readers, GIF and the library readers swallow their
// own read failures; the others throw QuilloryError, which ends the scan. Nothing is appended
// when a reader throws.
void ReadMediaLines(MediaReaderKind kind, const QString &fullPath, QStringList &lines);

// The same on an open device (a file, or bytes in a QBuffer).
void ReadMediaLines(MediaReaderKind kind, QIODevice &device, QStringList &lines);
