#pragma once

#include "ContentsEntry.h"

#include <QString>

// Type names of files, by extension, from the shared MIME database (no file needed).
namespace FileTypes
{

// "PNG image", "MP3 audio"...; a name the database does not know gives "File". Every name
// gets the same type every time, whatever was asked before it.
QString GetFileType(const QString &name);
// The Type column's text of an entry that is no plain file: "Folder", or an archive's mark line
// as it stands. A null string for any other kind: a file's type is its name's.
QString kindText(ContentsEntry::Kind kind);
// The same without the cache, whose key needs a table of every pattern of the database: for a
// program that asks about a handful of names once.
QString typeNameOf(const QString &name);

// What decides a name's type: for most names their extension, from the last "." and as
// written (the database tells "*.c" from "*.C"); but the whole name when one of the
// database's patterns looks at more than the extension ("Makefile", "README*", "*.tar.gz",
// "*~"). Names with the same key have the same type; whole-name keys begin with "/", which no
// file name holds, so they never meet an extension.
QString typeKey(const QString &name);
// The same for a name read straight from a contents list, and whether its extension decides.
QByteArray typeKey(QByteArrayView utf8Name);
bool extensionDecides(QByteArrayView utf8Name);
// The MIME type's icon names for a file name: the specific one, then the generic one.
QString iconName(const QString &name);
QString genericIconName(const QString &name);

// The "Music Files" test, shared by the search and the contents list's playlist command. The
// extension may come with or without its leading "." (".mp3", "MP3").
bool IsMusicFile(const QString &extension);

} // namespace FileTypes
