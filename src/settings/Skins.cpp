#include "Skins.h"

#include "core/TextCodec.h"
#include "store/DataPaths.h"

#include <QDir>
#include <QFileInfo>

namespace Skins
{

const QStringList &smallIconFiles()
{
    static const QStringList files{QStringLiteral("about_small.bmp"),   QStringLiteral("add_disc_small.bmp"),
                                   QStringLiteral("add_group.bmp"),     QStringLiteral("collapse.bmp"),
                                   QStringLiteral("copy_to_small.bmp"), QStringLiteral("delete_small.bmp"),
                                   QStringLiteral("edit_disc.bmp"),     QStringLiteral("eject_disc.bmp"),
                                   QStringLiteral("exit.bmp"),          QStringLiteral("expand.bmp"),
                                   QStringLiteral("expand_all.bmp"),    QStringLiteral("explorer.bmp"),
                                   QStringLiteral("export.bmp"),        QStringLiteral("find_small.bmp"),
                                   QStringLiteral("globe.bmp"),         QStringLiteral("help_small.bmp"),
                                   QStringLiteral("info_small.bmp"),    QStringLiteral("options.bmp"),
                                   QStringLiteral("report_small.bmp"),  QStringLiteral("run.bmp"),
                                   QStringLiteral("skin.bmp"),          QStringLiteral("view_small.bmp"),
                                   QStringLiteral("winamp.bmp"),        QStringLiteral("folder.bmp"),
                                   QStringLiteral("arrange.bmp"),       QStringLiteral("import.bmp"),
                                   QStringLiteral("burn.bmp"),          QStringLiteral("compilation_small.bmp"),
                                   QStringLiteral("update.bmp"),        QStringLiteral("borrow.bmp")};
    return files;
}

const QStringList &largeIconFiles()
{
    static const QStringList files{
        QStringLiteral("about_big.bmp"),  QStringLiteral("add_disc_big.bmp"), QStringLiteral("copy_to_big.bmp"),
        QStringLiteral("delete_big.bmp"), QStringLiteral("find_big.bmp"),     QStringLiteral("go_up.bmp"),
        QStringLiteral("help_big.bmp"),   QStringLiteral("info_big.bmp"),     QStringLiteral("report_big.bmp"),
        QStringLiteral("view_big.bmp"),   QStringLiteral("favorites.bmp"),    QStringLiteral("compilation_big.bmp")};
    return files;
}

QStringList skinFolders(const QString &dataFolder)
{
    QStringList folders;
    for (const QString &f : DataPaths::resourceFolders(dataFolder))
        folders.append(f + QLatin1String("skins/"));
    return folders;
}

QStringList LocateSkins(const QString &dataFolder)
{
    QStringList names;
    for (const QString &folder : skinFolders(dataFolder)) {
        const QDir dir(folder);
        if (!dir.exists())
            continue;
        // Plain files are listed too: choosing one tells the user its files are missing.
        const QStringList entries =
            dir.entryList(QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &e : entries)
            if (!names.contains(e))
                names.append(e);
    }
    return names;
}

QString skinPath(const QString &dataFolder, const QString &name)
{
    for (const QString &folder : skinFolders(dataFolder))
        if (QFileInfo::exists(folder + name))
            return folder + name + u'/';
    return QString();
}

QString firstMissingFile(const QString &skinPath)
{
    for (const QStringList *files : {&smallIconFiles(), &largeIconFiles()})
        for (const QString &f : *files)
            if (!QFileInfo(skinPath + f).isFile())
                return f;
    return QString();
}

QString infoText(const QString &skinPath)
{
    const QString file = skinPath + QLatin1String("info.txt");
    if (!QFileInfo(file).isFile())
        return QString();
    QString text = QLatin1String("");
    for (const QString &line : TextCodec::readLines(file))
        text += line + u'\n';
    return text;
}

} // namespace Skins
