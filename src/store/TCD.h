#pragma once

#include "core/QuilloryError.h"

#include <QString>
#include <QStringView>
#include <QtGlobal>

// One catalogued disc, as stored on a disc line of "groups.tree".
struct TCD {
    QString Title;
    QString VolumeLabel;
    QString Serial;
    QString FileSystem;
    qint64 Size = 0;
    QString Description; // single-line encoded
    QString Genre;
    qint32 Number = 0;
    QString Date;
    QString BorrowedTo;

    bool operator==(const TCD &) const = default;
};

// The ten fields joined by "|", no quoting.
QString CDToStr(const TCD &cd);

// Reads a record line. Short lines shift their fields: a missing separator leaves the
// field empty and the text passes on to the next one. Size and Number must be plain
// integers; anything else throws QuilloryError naming the value.
// Fields equal to those of previous (a neighbouring disc's record) share its strings: discs
// catalogued together repeat their file system, genre, date and description.
TCD StrToCD(QStringView line, const TCD *previous = nullptr);
inline TCD StrToCD(const QString &line)
{
    return StrToCD(QStringView(line));
}

// The error of a field that is no integer, in the words the catalogue's readers use.
QuilloryError notAnInteger(QStringView text);
// Strict decimal conversion (optional sign, digits only, in range); throws QuilloryError.
qint64 StrToInt64(QStringView text);
qint32 StrToInt32(QStringView text);
inline qint64 StrToInt64(const QString &text)
{
    return StrToInt64(QStringView(text));
}
inline qint32 StrToInt32(const QString &text)
{
    return StrToInt32(QStringView(text));
}
