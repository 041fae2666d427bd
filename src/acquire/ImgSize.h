#pragma once

#include <QIODevice>
#include <QtGlobal>

// Picture dimensions read from the first bytes of BMP, JPEG, GIF and PNG files.
//
// `recognised` is false when the bytes are not a picture of the kind at all (wrong
// signature, or the file ends before its fixed header): the caller then writes nothing.
// When recognised, width and height are 0 if the dimensions were not found (a JPEG
// without a frame header, a GIF without an image).
//
// The BMP, JPEG and PNG routines throw QuilloryError on a read failure of the device; the
// GIF routine swallows it and reports the file as not recognised.
struct ImageSize {
    bool recognised = false;
    qint64 width = 0; // a PNG's are unsigned 32-bit
    qint64 height = 0;
};

ImageSize GetBMPSize(QIODevice &device);
ImageSize GetJPEGSize(QIODevice &device);
ImageSize GetGIFSize(QIODevice &device);
ImageSize GetPNGSize(QIODevice &device);

// The JPEG and GIF walks (and Exiv2's of a JPEG) stop after this many bytes of a file: real pictures state their
// size near the start, and a hostile file must not make the scan read a whole disc.
inline constexpr qint64 ImageScanLimit = 16 * 1024 * 1024;
