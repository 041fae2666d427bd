#include "ExifReader.h"

#include <QBuffer>
#include <QFile>

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

// A file goes to Exiv2 by its descriptor, so that Exiv2 maps only the parts it reads; bytes in
// memory are handed over as they are.
Exiv2::Image::AutoPtr open(QIODevice &device, QByteArray &held)
{
    if (auto *file = qobject_cast<QFile *>(&device); file && file->handle() >= 0)
        return Exiv2::ImageFactory::open("/proc/self/fd/" + std::to_string(file->handle()));
    if (auto *buffer = qobject_cast<QBuffer *>(&device))
        held = buffer->data();
    else if (device.seek(0))
        held = device.readAll();
    return Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(held.constData()), long(held.size()));
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
        Exiv2::Image::AutoPtr image = open(device, held);
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
        d.taken = QDateTime::fromString(value(exif, "Exif.Photo.DateTimeOriginal"), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
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
