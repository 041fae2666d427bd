#pragma once

// What each fuzz target (fuzz/*_fuzzer.cpp) asks of an input, and the corpus test
// (tests/fuzz/tst_corpus.cpp) of every input the fuzzers kept. Each check gives an empty string
// when the input passed, else what went wrong: bad bytes may end only in QuilloryError, never
// in a crash, a hang, a read outside the input or a write outside the folder given.
#include "CatalogueInputCheck.h"
#include "SequentialDevice.h"
#include "acquire/MediaReaders.h"
#include "acquire/TZipFile.h"
#include "cabinet/TSTCabReader.h"
#include "core/QuilloryError.h"
#include "store/CatalogueLocale.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>

namespace FuzzChecks
{

// The bytes as a cabinet in folder (which ends in "/"; libmspack reads cabinets by name):
// listed alone and as a set (the next cabinet it names may be itself, the folder beside it, or
// nothing), extracted into memory and into a folder, where only bare names may land.
inline QString cabinet(QByteArrayView bytes, const QString &folder)
{
    const QString cab = folder + QLatin1String("in.cab");
    const QString outer = folder + QLatin1String("out");
    const QString out = outer + QLatin1String("/inner");
    if (!CatalogueInputCheck::writeFile(cab, bytes))
        return QStringLiteral("cannot write %1").arg(cab);
    QDir(outer).removeRecursively();
    QDir().mkpath(out);
    TSTCabReader reader;
    const auto quietly = [](const auto &step) {
        try {
            step();
        } catch (const QuilloryError &) {
        }
    };
    quietly([&] { reader.List(cab, true); });
    quietly([&] { reader.List(cab, false); });
    quietly([&] { reader.ExtractToMemory(cab, {}, 64 << 20, true); });
    quietly([&] { reader.Extract(cab, out, true); });
    if (!QDir(outer).entryList(QDir::Files | QDir::Hidden).isEmpty())
        return QStringLiteral("a member was written beside the folder");
    for (const QFileInfo &fi : QDir(out).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        if (!fi.isFile())
            return QStringLiteral("\"%1\" was extracted as something other than a file").arg(fi.fileName());
    return QString();
}

// The entries the ZIP walk reports, each turned into the texts of its record; the count must
// be the walk's own.
inline QString zipWalk(QIODevice &dev, QStringList &names)
{
    TZipFile zip;
    zip.OnReadFile = [&names](const ZipFile &e) {
        QString name = e.EntryName;
        name.replace(u'/', u'\\');
        const QDateTime when = ZipDateTime(e.ModDate, e.ModTime);
        if (when.isValid())
            (void)CatalogueLocale().formatListDate(when);
        names << name;
    };
    try {
        zip.read(dev);
    } catch (const QuilloryError &) {
    }
    return names.size() == zip.FileCount() ? QString() : QStringLiteral("the walk reported a count of its own");
}

// The bytes walked as a ZIP archive from a buffer and from a device that cannot seek: reading
// forward must find what seeking finds.
inline QString zip(QByteArrayView input)
{
    QByteArray bytes = input.toByteArray();
    QBuffer plain(&bytes);
    plain.open(QIODevice::ReadOnly);
    SequentialDevice stream(bytes);
    stream.open(QIODevice::ReadOnly);
    QStringList seeking, forward;
    QString problem = zipWalk(plain, seeking);
    if (problem.isEmpty())
        problem = zipWalk(stream, forward);
    if (problem.isEmpty() && seeking != forward)
        return QStringLiteral("reading forward finds other entries than seeking");
    return problem;
}

// Every metadata reader, the way the fuzz targets name them (fuzz/build-media.sh).
inline const QList<QPair<MediaReaderKind, const char *>> &mediaReaders()
{
    static const QList<QPair<MediaReaderKind, const char *>> list{
        {MediaReaderKind::Mp3, "mp3"}, {MediaReaderKind::Wav, "wav"},   {MediaReaderKind::Ogg, "ogg"},
        {MediaReaderKind::Gif, "gif"}, {MediaReaderKind::Png, "png"},   {MediaReaderKind::Jpeg, "jpeg"},
        {MediaReaderKind::Bmp, "bmp"}, {MediaReaderKind::Html, "html"}, {MediaReaderKind::Audio, "audio"},
        {MediaReaderKind::Exif, "exif"}, {MediaReaderKind::Video, "video"}, {MediaReaderKind::DiscImage, "discimage"},
    };
    return list;
}

// The bytes handed to one metadata reader as an in-memory device, as the scanner hands it a
// file: an in-memory device never fails to read, and every line must stay one line of its
// record, never end it, and be one of a few.
inline QString media(MediaReaderKind kind, QByteArrayView input)
{
    QBuffer buffer;
    buffer.setData(input.toByteArray());
    buffer.open(QIODevice::ReadOnly);
    QStringList lines;
    try {
        ReadMediaLines(kind, buffer, lines);
    } catch (const QuilloryError &e) {
        return QStringLiteral("threw on bytes in memory: %1").arg(e.message());
    }
    for (const QString &line : lines)
        if (line.contains(u'\r') || line.contains(u'\n') || line == QLatin1String("-"))
            return QStringLiteral("the line \"%1\" breaks its record").arg(line);
    if (lines.size() > 6)
        return QStringLiteral("%1 lines").arg(lines.size());
    return QString();
}

} // namespace FuzzChecks
