#pragma once

#include "TreeFile.h"

#include <QLockFile>
#include <QString>
#include <memory>

// The lock file in DB that makes one program at a time the catalogue's owner. A program that
// holds it keeps the file locked (flock) and names itself in it: its process id, its name and
// its computer.
namespace CatalogueLock
{

// Takes the lock for this process. A lock left behind is taken over, and info says so: one
// whose owner cannot be read (a kill between making the file and writing it leaves it
// empty), or one whose owner no longer runs on this computer. Throws QuilloryError naming
// the lock file while a live program on this computer, or any program on another computer,
// holds it, or when the file cannot be made. However many programs try at once, exactly
// one ends up the owner.
std::unique_ptr<QLockFile> take(const QString &lockFile, const InfoCallback &info);

// Removes a lock file of another kind (the settings file's, which QSettings takes) whose owner
// cannot be read and which no program holds: QLockFile would wait 30 s for such a file to age.
void clearUnreadable(const QString &lockFile);

} // namespace CatalogueLock
