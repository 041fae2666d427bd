#pragma once

#include "acquire/MediaReaders.h"

#include <QBuffer>
#include <QString>
#include <QStringList>

// Shared by the reader tests: the committed fixtures, and a reader's lines for given bytes.
inline QString fixture(const QString &name)
{
    return QStringLiteral(QUILLORY_TEST_DATA "/media/") + name;
}

inline QStringList linesOf(MediaReaderKind kind, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QStringList lines;
    ReadMediaLines(kind, buffer, lines);
    return lines;
}
