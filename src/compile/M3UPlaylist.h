#pragma once

#include "CompilationEntry.h"

#include <QByteArray>
#include <QList>
#include <QString>

// An M3U playlist of catalogued files for the drive the disc will be played in: one line per
// file, the medium's mount point in place of the disc's title, CR LF after every line, no
// header. A disc titled Music mounted at /media/u/MUSIC/ makes "Music:\Rock\" song.mp3 the line
// /media/u/MUSIC/Rock/song.mp3.
namespace M3UPlaylist
{

// Where the medium of a drive is, or will be, mounted: the drive's text while it is mounted;
// for a drive without a mounted medium (its text is its device) the place the desktop mounts a
// medium of that label, /media/<user>/<label>/.
QString mediumRoot(const QString &driveText, const QString &volumeLabel);

// The entries a player can open from the medium: those inside ZIP archives are no files of
// their own there.
QList<CompilationEntry> playable(const QList<CompilationEntry> &entries);
// The lines of the playable entries.
QByteArray lines(const QString &mediumRoot, const QList<CompilationEntry> &entries);
// Creates or replaces fileName; false with error set when it cannot be written.
bool CreateList(const QString &mediumRoot, const QString &fileName, const QList<CompilationEntry> &entries,
                QString *error = nullptr);

} // namespace M3UPlaylist
