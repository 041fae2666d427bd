#include "DataPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace DataPaths
{

QString withSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

static QString appFolder()
{
    if (!QCoreApplication::instance())
        return QString();
    return withSlash(QCoreApplication::applicationDirPath());
}

bool isPortable(const QString &dataFolder)
{
    const QString app = appFolder();
    return !app.isEmpty() && QDir(dataFolder) == QDir(app) &&
           (QFileInfo(app + QLatin1String("DB")).isDir() || QFileInfo::exists(app + QLatin1String("portable")));
}

QString defaultDataFolder()
{
    const QString app = appFolder();
    if (!app.isEmpty() &&
        (QFileInfo(app + QLatin1String("DB")).isDir() || QFileInfo::exists(app + QLatin1String("portable"))))
        return app;
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return withSlash(home) + QLatin1String("Quillory!/");
}

QString dbFolder(const QString &dataFolder)
{
    return withSlash(dataFolder) + QLatin1String("DB/");
}

QStringList resourceFolders(const QString &dataFolder)
{
    QStringList folders{withSlash(dataFolder)};
    const QString app = appFolder();
    if (!app.isEmpty()) {
        folders.append(app);
        // Running from a build tree: resources sit in the build's share folder.
        folders.append(app + QLatin1String("share/"));
        // An installed program finds its share folder beside its own, wherever the package put it.
        folders.append(QDir::cleanPath(app + QLatin1String("../share/quillory")) + u'/');
    }
    folders.append(withSlash(QStringLiteral(QUILLORY_SHARE_DIR)));
    folders.removeDuplicates();
    return folders;
}

QString findResource(const QString &dataFolder, const QString &name)
{
    for (const QString &folder : resourceFolders(dataFolder))
        if (QFileInfo::exists(folder + name))
            return folder + name;
    return QString();
}

QString settingsFile(const QString &dataFolder)
{
    if (isPortable(dataFolder))
        return withSlash(dataFolder) + QLatin1String("Quillory!.ini");
    return withSlash(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)) +
           QLatin1String("Tarnwick/Quillory!.conf");
}

QString exclusionsFile(const QString &dataFolder)
{
    return withSlash(dataFolder) + QLatin1String("exclusions.dat");
}

QString favouritesFile(const QString &dataFolder)
{
    return withSlash(dataFolder) + QLatin1String("favorites.dat");
}

QString searchHistoryFile(const QString &dataFolder)
{
    return withSlash(dataFolder) + QLatin1String("search.dat");
}

QStringList ownFiles(const QString &dataFolder)
{
    QStringList files{exclusionsFile(dataFolder), favouritesFile(dataFolder), searchHistoryFile(dataFolder)};
    if (isPortable(dataFolder))
        files.append(settingsFile(dataFolder));
    return files;
}

} // namespace DataPaths
