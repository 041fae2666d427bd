#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>

// Catalogue text on disk: written as UTF-8 with CR LF line ends; read as UTF-8, or as
// Windows-1252 when the bytes are not valid UTF-8 (catalogues made on Windows).
namespace TextCodec
{

bool isValidUtf8(QByteArrayView bytes);
QString decode(const QByteArray &bytes);
// Bytes in UTF-8 whatever the source encoding; returns the input untouched when it already is.
QByteArray toUtf8(const QByteArray &bytes);
QString fromWindows1252(QByteArrayView bytes);
// One line of a file whose encoding was decided for the whole file, decoded into `line`, whose
// buffer is reused: a file of fifty thousand lines read line by line costs no allocation a line.
void decodeLine(QByteArrayView bytes, bool utf8, QString &line);

// A name as the file system gives it, in UTF-8: valid UTF-8 stays as it is, and every byte
// that is not part of a valid UTF-8 sequence is read as Windows-1252, so names that differ
// in such bytes stay different (U+FFFD would make them one).
QByteArray fileNameToUtf8(QByteArrayView name);

// Line ends: CR LF, LF and CR alone all end a line (files from Windows, Unix and old Mac
// editors); a trailing line end does not make an empty last line.
QStringList splitLines(const QString &text);
// The next line from pos, without its line end; false at the end.
bool nextLine(QByteArrayView bytes, qsizetype &pos, QByteArrayView &line);
bool nextLine(QStringView text, qsizetype &pos, QStringView &line);

// Joins lines, each followed by CR LF.
QByteArray joinLines(const QStringList &lines);

// CR and LF would break a line-based record; they become "?".
QString sanitizeLine(QString text);

// Reads a whole text file and splits it into lines; throws QuilloryError on failure.
QStringList readLines(const QString &path);

// Writes the whole file through SafeSaveFile: the older file stays until the new one is
// complete and durable. Throws QuilloryError with the system's reason on failure.
void writeLines(const QString &path, const QStringList &lines);
void writeBytes(const QString &path, const QByteArray &bytes);

// Called after the data is written and before the rename; lets tests stand in for a crash
// or a full disk at the worst moment. Null by default.
void setBeforeCommitHook(std::function<void(const QString &path)> hook);

} // namespace TextCodec
