#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <functional>

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
TCD StrToCD(QStringView line);
inline TCD StrToCD(const QString &line)
{
    return StrToCD(QStringView(line));
}

// The same reading of a line of ASCII bytes, the form of nearly every line of a tree file, so
// a load need not decode a line before cutting it up. text makes the strings of the fields that
// repeat from disc to disc (a load shares them); Title, VolumeLabel and Serial are each disc's
// own. With extraSeparator the line is read as if it ended with one more "|", as a line of the
// older format is. serial, when given, receives the Serial field's bytes.
TCD AsciiToCD(QByteArrayView line, bool extraSeparator, const std::function<QString(QByteArrayView)> &text,
              QByteArrayView *serial = nullptr);

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
