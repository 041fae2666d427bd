#pragma once

#include "core/ByteReader.h"
#include "core/Rounding.h"
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QtGlobal>
#include <cmath>

// Small helpers shared by the metadata readers (their integers come through core/ByteReader):
// bounded reads from a device, rounding and tag-text decoding.
namespace MediaBytes
{

// Result of a bounded read: the bytes actually there, or an I/O failure.
struct ReadResult {
    QByteArray bytes;
    bool failed = false;
};

// Reads up to `count` bytes at `pos`. Never asks for more than `count`; a position outside
// the device or a short file gives fewer bytes, not a failure.
ReadResult readAt(QIODevice &device, qint64 pos, qint64 count);
// The same for the readers whose read failure ends the scan: throws QuilloryError naming the file.
QByteArray mustReadAt(QIODevice &device, qint64 pos, qint64 count);

// Blanks and control characters (NUL included): bytes up to 0x20.
bool isBlankOrControl(char c);

// Blanks and control characters (NUL included) at the end / at both ends.
QByteArray trimTrailing(const QByteArray &bytes);
QByteArray trimBoth(const QByteArray &bytes);

// Tag bytes as text: UTF-8 when they are valid UTF-8, else Windows-1252, the code page of
// the tags written on the systems these discs come from.
QString decodeText(const QByteArray &bytes);

} // namespace MediaBytes
