#pragma once

#include <QString>
#include <QStringList>

// Where the catalogue lives. The data folder is the executable's folder in a portable
// install (it holds "DB" or a file named "portable"), otherwise the XDG data home.
// Every path returned ends in "/".
namespace DataPaths
{

QString defaultDataFolder();
QString dbFolder(const QString &dataFolder);
// A shipped resource ("sample.cab", skins, help): the data folder first, then the installed share folder.
QString findResource(const QString &dataFolder, const QString &name);
// The folders findResource looks in, in its order: the data folder, the program's folder, the
// build tree's share folder, the share folder beside an installed program, the configured one.
QStringList resourceFolders(const QString &dataFolder);
// The settings file: "Quillory!.ini" in the data folder when portable, else ~/.config/Tarnwick/Quillory!.conf.
QString settingsFile(const QString &dataFolder);
bool isPortable(const QString &dataFolder);
// The catalogue's files beside "DB": the exclusion list, the favourites, the search history.
QString exclusionsFile(const QString &dataFolder);
QString favouritesFile(const QString &dataFolder);
QString searchHistoryFile(const QString &dataFolder);
// Every file of the catalogue in the data folder outside "DB": the three above and, when
// portable, the settings file. A file the user names to be written must never be one of them.
QStringList ownFiles(const QString &dataFolder);
QString withSlash(const QString &folder);

} // namespace DataPaths
