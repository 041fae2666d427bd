#pragma once

#include <QString>

// Type names of files, by extension, from the shared MIME database (no file needed).
namespace FileTypes
{

// "PNG image", "MP3 audio"...; a name the database does not know gives "File".
QString GetFileType(const QString &name);
// The MIME type's icon names for a file name: the specific one, then the generic one.
QString iconName(const QString &name);
QString genericIconName(const QString &name);

// The "Music Files" test, shared by the search and the contents list's playlist command. The
// extension may come with or without its leading "." (".mp3", "MP3").
bool IsMusicFile(const QString &extension);

} // namespace FileTypes
