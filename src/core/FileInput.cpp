#include "FileInput.h"

#include "QuilloryError.h"

#include <QDir>
#include <QFile>

namespace FileInput
{

QString openForReading(QFile &file)
{
    if (file.open(QIODevice::ReadOnly))
        return QString();
    return QStringLiteral("Cannot open file \"%1\". %2")
        .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
}

void mustOpenForReading(QFile &file)
{
    const QString failure = openForReading(file);
    if (!failure.isEmpty())
        throw QuilloryError(failure);
}

QString readFailure(const QIODevice &device)
{
    const auto *file = qobject_cast<const QFileDevice *>(&device);
    return QStringLiteral("Cannot read file \"%1\". %2")
        .arg(file ? QDir::toNativeSeparators(file->fileName()) : QString(), device.errorString());
}

} // namespace FileInput
