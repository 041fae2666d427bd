#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

// The readers of extra details the scanner calls, one per row of its dispatch table.
enum class MediaReaderKind { Mp3, Wav, Ogg, Gif, Png, Jpeg, Bmp, Html };

// Appends the reader's extra lines for the file at fullPath. The audio readers and GIF
// swallow their own read failures; the others throw QuilloryError, which ends the scan.
// Nothing is appended when a reader throws.
void ReadMediaLines(MediaReaderKind kind, const QString &fullPath, QStringList &lines);

// The same on an open device (a file, or bytes in a QBuffer).
void ReadMediaLines(MediaReaderKind kind, QIODevice &device, QStringList &lines);
