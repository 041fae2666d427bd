#include "ThemeIcons.h"

#include <QApplication>
#include <QDir>
#include <QStyle>

namespace ThemeIcons
{

void setUp()
{
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString &p : {QStringLiteral("/usr/share/icons"), QStringLiteral("/usr/local/share/icons"),
                             QDir::homePath() + QStringLiteral("/.local/share/icons")})
        if (!paths.contains(p) && QDir(p).exists())
            paths.append(p);
    QIcon::setThemeSearchPaths(paths);
    const QString current = QIcon::themeName();
    if (current.isEmpty() || current == QLatin1String("hicolor") ||
        !QDir(QStringLiteral("/usr/share/icons/") + current).exists())
        QIcon::setThemeName(QStringLiteral("breeze"));
    QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QIcon icon(const QStringList &names)
{
    for (const QString &n : names)
        if (!n.isEmpty() && QIcon::hasThemeIcon(n))
            return QIcon::fromTheme(n);
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

QIcon driveIcon(DriveKind kind)
{
    switch (kind) {
    case DriveKind::CDROM:
        return icon({QStringLiteral("drive-optical"), QStringLiteral("media-optical")});
    case DriveKind::Removable:
        return icon({QStringLiteral("drive-removable-media-usb"), QStringLiteral("drive-removable-media")});
    default:
        return icon({QStringLiteral("drive-harddisk")});
    }
}

} // namespace ThemeIcons
