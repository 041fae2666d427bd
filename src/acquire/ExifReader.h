#pragma once

#include <QDateTime>
#include <QIODevice>
#include <QString>

// Pictures read through Exiv2: JPEG, TIFF, WebP, HEIC/HEIF/AVIF (Exiv2's ISO media reader)
// and the camera raw formats built on TIFF or on ISO media (CR2, CR3, NEF, ARW, DNG...).
struct PictureDetails {
    bool valid = false; // Exiv2 recognised the file and read its metadata
    int width = 0;      // 0 when the file does not say, and for ISO media files (HEIC, AVIF, CR3)
    int height = 0;
    QDateTime taken;    // the EXIF original date, as the camera wrote it (no time zone)
    QString camera;     // make and model, the make left out when the model repeats it
};

// Never throws; a file Exiv2 cannot make sense of is not valid.
PictureDetails ReadExifPicture(QIODevice &device);
