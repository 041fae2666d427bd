#include "EntryPlace.h"

#include "store/ContentsRecord.h"

EntryPlace::EntryPlace(const QString &title, const QString &serial, const QString &folder, const QString &archive)
    : m_title(title), m_serial(serial), m_folder(folder), m_archive(archive)
{
}

EntryPlace EntryPlace::inFolder(const QString &title, const QString &serial, const QString &folder)
{
    // The first folder named like an archive is the archive; anything below it lies inside.
    for (qsizetype end = folder.indexOf(u'\\', 1); end > 0; end = folder.indexOf(u'\\', end + 1)) {
        if (QStringView(folder).left(end).endsWith(QLatin1String(".ZIP"), Qt::CaseInsensitive))
            return EntryPlace(title, serial, folder, folder.left(end + 1));
    }
    return EntryPlace(title, serial, folder);
}

EntryPlace EntryPlace::parse(const QString &text, const QString &serial)
{
    // A title may hold a ":" ("Star Wars: Episode IV"); the folder always starts with "\".
    const qsizetype colon = text.indexOf(QString(QLatin1Char(TitleEnd)) + u'\\');
    if (colon < 0)
        return EntryPlace(text, serial, QString());
    return inFolder(text.left(colon), serial, text.mid(colon + 1));
}

QString EntryPlace::text() const
{
    return isEmpty() ? QString() : m_title + QLatin1Char(TitleEnd) + m_folder;
}

QString EntryPlace::onMedium(const QString &mediumRoot, const QString &placeOnDisc)
{
    if (!ContentsRecord::isMediumPath(placeOnDisc.toUtf8()))
        return QString();
    QString rest = placeOnDisc;
    rest.replace(u'\\', u'/');
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    QString root = mediumRoot;
    if (!root.endsWith(u'/'))
        root += u'/';
    return root + rest;
}
