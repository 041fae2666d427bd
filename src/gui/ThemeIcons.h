#pragma once

#include "acquire/VolumeBackend.h"

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QStringList>

class QObject;

// The program's icons. Commands of the main window have their own drawings (SVG, crisp at any
// scale) that a skin replaces with its bitmaps: a command shows the 16 × 16 bitmap of its row
// in menus and the 24 × 24 one on the main tool bar. Everything else (file types, drives, view
// styles) comes by freedesktop name from the installed theme.
namespace ThemeIcons
{

// Makes the theme usable offscreen too: the system icon folders and "breeze".
void setUp();
// The first name the theme has, else a plain file icon from the style.
QIcon icon(const QStringList &names);
// The icon of a drive of that kind: optical, removable or fixed.
QIcon driveIcon(DriveKind kind);

// A command's icon from its skin file names ("add_disc_small.bmp", "add_disc_big.bmp"; either
// may be empty): the bitmaps of the skin in use, else the built-in drawing.
QIcon commandIcon(const QString &smallFile, const QString &largeFile = QString());
// Ties an action, a menu or a button to its skin files, so it follows skin changes; the
// controls named in the command table need not be bound, refresh() finds them by name.
void bind(QObject *target, const QString &smallFile, const QString &largeFile = QString());

// The bitmaps of the skin in use, by file name; empty for the built-in icons.
void useSkin(const QHash<QString, QImage> &bitmaps);
bool skinInUse();
// Gives every control of the window (actions, menus, buttons) its command icon again.
void refresh(QWidget *window);

} // namespace ThemeIcons
