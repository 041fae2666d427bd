#pragma once

#include "acquire/VolumeBackend.h"

#include <QIcon>
#include <QStringList>

// Icons by freedesktop name from the installed theme.
namespace ThemeIcons
{

// Makes the theme usable offscreen too: the system icon folders and "breeze".
void setUp();
// The first name the theme has, else a plain file icon from the style.
QIcon icon(const QStringList &names);
// The icon of a drive of that kind: optical, removable or fixed.
QIcon driveIcon(DriveKind kind);

} // namespace ThemeIcons
