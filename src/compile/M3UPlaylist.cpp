#include "M3UPlaylist.h"

#include "EntryLocation.h"

#include <QSaveFile>

namespace M3UPlaylist
{

QByteArray lines(const QString &mediumRoot, const QList<CompilationEntry> &entries)
{
    QByteArray out;
    for (const CompilationEntry &e : entries) {
        out += EntryLocation::onMedium(mediumRoot, EntryLocation::onDisc(e.Path, e.Name)).toUtf8();
        out += "\r\n";
    }
    return out;
}

bool CreateList(const QString &mediumRoot, const QString &fileName, const QList<CompilationEntry> &entries,
                QString *error)
{
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(lines(mediumRoot, entries));
        if (file.commit())
            return true;
    }
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace M3UPlaylist
