#include "EntryLocation.h"

namespace EntryLocation
{

QString discTitle(const QString &path)
{
    const qsizetype colon = path.indexOf(u':');
    return colon < 0 ? path : path.left(colon);
}

QString onDisc(const QString &path, const QString &name)
{
    const qsizetype colon = path.indexOf(u':');
    return (colon < 0 ? QString() : path.mid(colon + 1)) + name;
}

bool insideZip(const QString &path)
{
    return path.contains(QLatin1String(".ZIP"), Qt::CaseInsensitive);
}

QString onMedium(const QString &mediumRoot, const QString &placeOnDisc)
{
    QString rest = placeOnDisc;
    rest.replace(u'\\', u'/');
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    QString root = mediumRoot;
    if (!root.endsWith(u'/'))
        root += u'/';
    return root + rest;
}

} // namespace EntryLocation
