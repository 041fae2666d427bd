#pragma once

#include <QString>

class QFile;
class QIODevice;

// Opening catalogue input for reading, and what is said when it cannot be opened or read:
// one message shape, the file's name and the system's reason, wherever the input is read.
namespace FileInput
{

// Opens the file read-only. Empty when it is open; otherwise why not:
// Cannot open file "<name>". <reason>
QString openForReading(QFile &file);
// The same, throwing QuilloryError with that message.
void mustOpenForReading(QFile &file);

// A read of an open device that failed: Cannot read file "<name>". <reason>
// A device that is not a file has no name to give.
QString readFailure(const QIODevice &device);

} // namespace FileInput
