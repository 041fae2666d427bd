#include "MediaReaders.h"

void ReadMediaLines(MediaReaderKind kind, const QString &fullPath, QStringList &lines)
{
    // Filled in by the metadata readers.
    (void)kind;
    (void)fullPath;
    (void)lines;
}
