#pragma once

#include <QString>
#include <QStringList>

// The readers of extra details the scanner calls, one per row of its dispatch table.
enum class MediaReaderKind { Mp3, Wav, Ogg, Gif, Png, Jpeg, Bmp, Html };

// Appends the reader's extra lines for the file at fullPath. The audio readers and GIF
// swallow their own read failures; the others throw QuilloryError, which ends the scan.
void ReadMediaLines(MediaReaderKind kind, const QString &fullPath, QStringList &lines);
