#pragma once

#include "DiscAdder.h"

#include <QString>

class Scanner;

// Catalogues a disc image file (ISO 9660 with Joliet or Rock Ridge names, the ISO 9660 side
// of a UDF bridge disc, or a volume that is UDF alone) as if it were the disc itself, without
// mounting it: libarchive reads the folders and files of an ISO 9660 volume, libudfread those
// of a UDF-only one, and the volume probe its label, serial number and file system.
//
// libarchive hands the entries over in the order their data lies on the image, so the image
// is read whole first (the bytes a reader wants are read as they pass, one file at a time);
// libudfread's folders are read into the same tree. The tree is then written through the
// scanner's record rules in the order a scan of the mounted disc gives: a folder's files,
// then each subfolder, a folder's own record after those of its subfolders. A folder's
// entries come in the order of its directory on the disc, by name in UCS-2 code order as
// Joliet sorts them.
class ImageScanner
{
public:
    // A file larger than this keeps its plain record inside an image: a reader's bytes are
    // held in memory, since an ISO 9660 image can only be read front to back.
    static constexpr qint64 MaxReadBytes = qint64(256) << 20;
    // Links followed one after another before one is taken for a loop, as the system does.
    static constexpr int MaxLinkHops = 40;

    // The file dialogs' filter for choosing an image.
    static QString dialogFilter() { return QStringLiteral("Disc Images (*.iso);;All Files (*)"); }

    explicit ImageScanner(Scanner &scanner) : m_scanner(scanner) {}

    // Reads the image and writes both lists through the scanner, then flushes them; returns
    // the total size of the files catalogued. The scanner's gauge follows the bytes of the
    // image read (of a UDF-only image, the bytes of the files passed). A damaged or truncated
    // image throws QuilloryError naming it, before or while the lists are written (the caller
    // throws them away). What a reader could not use is listed in the scanner's problems, and
    // the file keeps its plain record.
    quint64 Scan(const QString &image);

    // The image as the Add Disc dialog shows a drive's volume: label, serial number (the one
    // Windows shows for the burned disc) and file system from the probe; the scan's total is
    // the image's size. Throws QuilloryError when the image holds no volume the probe knows.
    static DiscVolume volumeOf(const QString &image);

private:
    class Tree;
    Scanner &m_scanner;
};
