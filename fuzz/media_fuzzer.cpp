// libFuzzer target for one metadata reader, chosen at compile time with -DMEDIA_READER=<kind>.
// The bytes are handed to the reader as an in-memory device, exactly as the scanner hands it
// a file.
#include "acquire/MediaReaders.h"
#include "core/QuilloryError.h"

#include <QBuffer>
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QStringList lines;
    try {
        ReadMediaLines(MediaReaderKind::MEDIA_READER, buffer, lines);
    } catch (const QuilloryError &) {
        // An in-memory device never fails to read.
        abort();
    }
    for (const QString &line : lines) {
        // Every line must stay one line of its record, and never end the record.
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')) || line == QLatin1String("-"))
            abort();
    }
    return 0;
}
