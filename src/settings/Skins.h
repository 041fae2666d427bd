#pragma once

#include <QString>
#include <QStringList>

// Skins: folders named after the skin, each holding the bitmaps of the two icon lists (16 × 16
// for the menus, 24 × 24 for the main tool bar) and maybe an "info.txt" for the user.
namespace Skins
{

// The files every skin must hold, in loading order.
const QStringList &smallIconFiles();
const QStringList &largeIconFiles();

// The folders that hold skins: the data folder's "skins", then the shipped ones. Each ends in "/".
QStringList skinFolders(const QString &dataFolder);
// The names the "Theme" menu lists: every entry of the skins folders, folders and plain files
// alike, by name within a folder; a name the data folder already has is not listed twice.
QStringList LocateSkins(const QString &dataFolder);
// The path of the skin of that name, from the first skins folder that has it (ends in "/").
QString skinPath(const QString &dataFolder, const QString &name);
// The first required file the skin lacks, small files first, in table order; empty when complete.
QString firstMissingFile(const QString &skinPath);
// The skin's "info.txt", every line followed by a line feed; a null string when there is none.
QString infoText(const QString &skinPath);

} // namespace Skins
