#include "ExifReader.h"

#include "ImgSize.h"
#include "MediaBytes.h"

#include <QBuffer>
#include <QFile>
#include <QScopeGuard>

#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>

namespace
{

QString value(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? QString() : QString::fromStdString(it->toString()).trimmed();
}

void setUp()
{
    // A scan meets damaged files as a matter of course; Exiv2 would tell of each on standard error.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::enableBMFF(true);
}

// A JPEG holds all its metadata before its first scan, near the start, and Exiv2 looks for each
// next marker byte by byte: a JPEG cut off where space was reserved for the rest (zeros to its
// end) would be read whole. So a JPEG is handed over as its first ImageScanLimit bytes, mapped
// (only the pages Exiv2 touches are read). Other formats point to their metadata from anywhere
// in the file and go whole: a file by its descriptor, so that Exiv2 maps only the parts it
// reads; bytes in memory as they are.
Exiv2::Image::AutoPtr open(QIODevice &device, QByteArray &held, uchar *&mapped)
{
    const bool jpeg = !device.isSequential() && MediaBytes::readAt(device, 0, 2).bytes == QByteArrayView("\xFF\xD8", 2);
    const qint64 length = jpeg ? qMin(device.size(), ImageScanLimit) : device.size();
    auto fromMemory = [](const void *data, qint64 size) {
        return Exiv2::ImageFactory::open(static_cast<const Exiv2::byte *>(data), long(size));
    };
    if (auto *file = qobject_cast<QFile *>(&device); file && file->handle() >= 0) {
        if (jpeg && (mapped = file->map(0, length)))
            return fromMemory(mapped, length);
        return Exiv2::ImageFactory::open("/proc/self/fd/" + std::to_string(file->handle()));
    }
    if (auto *buffer = qobject_cast<QBuffer *>(&device))
        held = buffer->data();
    else if (device.seek(0))
        held = device.read(length);
    return fromMemory(held.constData(), qMin<qint64>(held.size(), length));
}

// The picture formats this reader is for. Exiv2 also takes video containers (AVI, Matroska,
// QuickTime, ASF) for images, and its readers of those can loop on a cut file for minutes; the
// others (PNG, GIF, PSD...) have readers of their own or are not what a camera writes.
bool isPicture(int type)
{
    namespace T = Exiv2::ImageType;
    for (const int picture : {T::jpeg, T::tiff, T::cr2, T::crw, T::mrw, T::orf, T::raf, T::rw2, T::webp, T::bmff})
        if (type == picture)
            return true;
    return false;
}

} // namespace

PictureDetails ReadExifPicture(QIODevice &device)
{
    static const bool ready = (setUp(), true);
    Q_UNUSED(ready);
    PictureDetails d;
    try {
        QByteArray held;
        uchar *mapped = nullptr;
        // Let go of the mapping only after the image that reads it.
        const auto unmap = qScopeGuard([&] {
            if (mapped)
                static_cast<QFile &>(device).unmap(mapped);
        });
        Exiv2::Image::AutoPtr image = open(device, held, mapped);
        if (!image.get() || !isPicture(image->imageType()))
            return d;
        image->readMetadata();
        d.valid = true;
        // The ISO media reader (HEIC, AVIF, CR3) gives the first size box it meets, which may
        // be a tile's or the coded size before cropping: better no size than a wrong one.
        if (image->imageType() != Exiv2::ImageType::bmff) {
            d.width = std::max(0, image->pixelWidth());
            d.height = std::max(0, image->pixelHeight());
        }
        const Exiv2::ExifData &exif = image->exifData();
        if (exif.empty())
            return d;
        d.taken =
            QDateTime::fromString(value(exif, "Exif.Photo.DateTimeOriginal"), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        const QString make = value(exif, "Exif.Image.Make");
        const QString model = value(exif, "Exif.Image.Model");
        d.camera = model.startsWith(make, Qt::CaseInsensitive) ? model : (make + u' ' + model).trimmed();
    } catch (const Exiv2::AnyError &) {
        return PictureDetails{};
    } catch (const std::exception &) {
        // Exiv2 0.27 lets a damaged file end in std::out_of_range, std::bad_alloc and the like.
        return PictureDetails{};
    }
    return d;
}
