#pragma once

#include <QString>
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
TCD StrToCD(const QString &line);

// Strict decimal conversion (optional sign, digits only, in range); throws QuilloryError.
qint64 StrToInt64(const QString &text);
qint32 StrToInt32(const QString &text);
