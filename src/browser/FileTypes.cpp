#include "FileTypes.h"

#include "ExtensionIconCache.h"
#include "core/AsciiCase.h"

#include <QHash>
#include <QMimeDatabase>

namespace FileTypes
{

static QMimeType mimeFor(const QString &name)
{
    static QMimeDatabase db;
    return db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
}

QString GetFileType(const QString &name)
{
    // The MIME database is slow enough to matter for a folder of a hundred thousand files.
    static QHash<QString, QString> cache;
    const QString ext = ExtensionIconCache::extensionOf(name);
    auto it = cache.constFind(ext);
    if (it != cache.constEnd())
        return it.value();
    const QMimeType mime = mimeFor(name);
    QString type = mime.isDefault() ? QString() : mime.comment();
    if (type.isEmpty())
        type = ext.size() > 1 ? ext.mid(1) + QLatin1String(" File") : QStringLiteral("File");
    else if (!type.isEmpty())
        type[0] = type.at(0).toUpper();
    cache.insert(ext, type);
    return type;
}

QString iconName(const QString &name)
{
    const QMimeType mime = mimeFor(name);
    return mime.isDefault() ? QString() : mime.iconName();
}

QString genericIconName(const QString &name)
{
    const QMimeType mime = mimeFor(name);
    return mime.isDefault() ? QStringLiteral("unknown") : mime.genericIconName();
}

bool IsMusicFile(const QString &extension)
{
    static const QStringList music{QStringLiteral("MP3"),  QStringLiteral("WMA"), QStringLiteral("AAC"),
                                   QStringLiteral("OGG"),  QStringLiteral("WAV"), QStringLiteral("MID"),
                                   QStringLiteral("MIDI"), QStringLiteral("APE"), QStringLiteral("RA"),
                                   QStringLiteral("CDA")};
    QString ext = extension;
    for (QChar &c : ext)
        c = UpcaseAZ(c);
    // Only the first "." goes, wherever it stands; the rest must match a name exactly.
    const qsizetype dot = ext.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        ext.remove(dot, 1);
    return music.contains(ext);
}

} // namespace FileTypes
