#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QtGlobal>
#include "core/Rounding.h"
#include <cmath>

// Small helpers shared by the metadata readers: bounded integer reads out of a byte block
// (a field that lies outside the block reads as 0, as if the block were zero-padded),
// bounded reads from a device, rounding and tag-text decoding.
namespace MediaBytes
{

inline quint8 u8(const QByteArray &b, qint64 at)
{
    return (at >= 0 && at < b.size()) ? static_cast<quint8>(b[static_cast<qsizetype>(at)]) : 0;
}

inline quint16 le16(const QByteArray &b, qint64 at)
{
    return quint16(u8(b, at) | (u8(b, at + 1) << 8));
}
inline quint16 be16(const QByteArray &b, qint64 at)
{
    return quint16((u8(b, at) << 8) | u8(b, at + 1));
}

inline quint32 le32(const QByteArray &b, qint64 at)
{
    return quint32(u8(b, at)) | (quint32(u8(b, at + 1)) << 8) | (quint32(u8(b, at + 2)) << 16) |
           (quint32(u8(b, at + 3)) << 24);
}

inline quint32 be32(const QByteArray &b, qint64 at)
{
    return (quint32(u8(b, at)) << 24) | (quint32(u8(b, at + 1)) << 16) | (quint32(u8(b, at + 2)) << 8) |
           quint32(u8(b, at + 3));
}

// True when the block holds `text` (ASCII) at `at`.
inline bool hasAt(const QByteArray &b, qint64 at, const char *text)
{
    for (qint64 i = 0; text[i]; ++i) {
        if (at + i < 0 || at + i >= b.size() || b[static_cast<qsizetype>(at + i)] != text[i])
            return false;
    }
    return true;
}

// Result of a bounded read: the bytes actually there, or an I/O failure.
struct ReadResult {
    QByteArray bytes;
    bool failed = false;
};

// Reads up to `count` bytes at `pos`. Never asks for more than `count`; a position outside
// the device or a short file gives fewer bytes, not a failure.
ReadResult readAt(QIODevice &device, qint64 pos, qint64 count);

// Blanks and control characters (NUL included) at the end / at both ends.
QByteArray trimTrailing(const QByteArray &bytes);
QByteArray trimBoth(const QByteArray &bytes);

// Tag bytes as text: UTF-8 when they are valid UTF-8, else Windows-1252, the code page of
// the tags written on the systems these discs come from.
QString decodeText(const QByteArray &bytes);

} // namespace MediaBytes
