#include "M3UPlaylist.h"

#include "core/SafeSaveFile.h"

#include <QDir>

namespace M3UPlaylist
{

QString mediumRoot(const QString &driveText, const QString &volumeLabel)
{
    if (!driveText.isEmpty() && !driveText.startsWith(QLatin1String("/dev/")))
        return driveText;
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QDir::home().dirName();
    return QStringLiteral("/media/") + user + u'/' + volumeLabel + u'/';
}

QList<CompilationEntry> playable(const QList<CompilationEntry> &entries)
{
    QList<CompilationEntry> out;
    for (const CompilationEntry &e : entries)
        if (!e.Place.insideZip())
            out.append(e);
    return out;
}

QByteArray lines(const QString &mediumRoot, const QList<CompilationEntry> &entries)
{
    QByteArray out;
    for (const CompilationEntry &e : playable(entries)) {
        const QString path = EntryPlace::onMedium(mediumRoot, e.Place.onDisc(e.Name));
        if (!path.isEmpty())
            out += path.toUtf8() + "\r\n";
    }
    return out;
}

bool CreateList(const QString &mediumRoot, const QString &fileName, const QList<CompilationEntry> &entries,
                QString *error)
{
    SafeSaveFile file(fileName);
    if (file.open()) {
        file.write(lines(mediumRoot, entries));
        if (file.commit())
            return true;
    }
    if (error)
        *error = QStringLiteral("The playlist could not be written to %1: %2")
                     .arg(QDir::toNativeSeparators(fileName), file.errorString());
    return false;
}

} // namespace M3UPlaylist
