#pragma once

#include <QString>

// Where a catalogued entry lies: its Path is the disc's title, ":" and the folder inside the
// disc ("Holiday:\Photos\"). The disc's title may be anything but the first ":" ends it; the
// rest is the same on every drive the disc is ever put in.
namespace EntryLocation
{

// "Holiday" of "Holiday:\Photos\".
QString discTitle(const QString &path);
// The entry's place inside its disc: "\Photos\" of "Holiday:\Photos\" followed by name.
QString onDisc(const QString &path, const QString &name);
// Whether the entry lies inside a ZIP archive of its disc; such entries are no files of their own.
bool insideZip(const QString &path);
// The place on a mounted medium of a place inside the disc: mediumRoot "/media/u/HOLIDAY/" and
// "\Photos\beach.jpg" give "/media/u/HOLIDAY/Photos/beach.jpg".
QString onMedium(const QString &mediumRoot, const QString &placeOnDisc);

} // namespace EntryLocation
