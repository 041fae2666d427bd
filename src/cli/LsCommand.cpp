#include "LsCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "browser/FileTypes.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "core/QuilloryError.h"

namespace
{

const TCD *findDisc(const GroupTree &tree, const QString &key)
{
    QList<const TCD *> bySerial, byTitle;
    tree.forEachPreOrder([&](TreeNode *n) {
        if (!n->isDisc() || !n->cd())
            return;
        if (n->cd()->Serial.compare(key, Qt::CaseInsensitive) == 0)
            bySerial << n->cd();
        else if (n->cd()->Title == key)
            byTitle << n->cd();
    });
    if (!bySerial.isEmpty())
        return bySerial.first();
    if (byTitle.size() > 1) {
        QStringList serials;
        for (const TCD *cd : byTitle)
            serials << cd->Serial;
        throw QuilloryError(QStringLiteral("Several discs are titled \"%1\"; name one by its serial: %2.")
                                .arg(key, serials.join(QLatin1String(", "))));
    }
    if (byTitle.isEmpty())
        throw QuilloryError(QStringLiteral("There is no disc titled \"%1\" or with that serial.").arg(key));
    return byTitle.first();
}

// "\MUSIC\ROCK\" from what the user typed: "/" read as "\", the outer "\" added when missing.
QString catalogPath(QString path)
{
    path.replace(u'/', u'\\');
    if (!path.startsWith(u'\\'))
        path.prepend(u'\\');
    if (!path.endsWith(u'\\'))
        path.append(u'\\');
    return path;
}

bool isArchive(const ContentsList &files, int record)
{
    for (int i = 4; i < files.lineCount(record); ++i)
        if (files.lineBytes(record, i) == "Compressed Folder")
            return true;
    return false;
}

// Whether the path names a folder (or a listed archive) of the disc.
bool folderExists(const ContentsFile::Parsed &lists, const QString &path)
{
    if (path == QLatin1String("\\"))
        return true;
    const QString inner = path.chopped(1);
    const qsizetype cut = inner.lastIndexOf(u'\\');
    const QString parent = inner.left(cut + 1);
    const QString name = inner.mid(cut + 1);
    for (int r : lists.folders.recordsIn(parent))
        if (lists.folders.line(r, 0).compare(name + u'\\', Qt::CaseInsensitive) == 0)
            return true;
    for (int r : lists.files.recordsIn(parent))
        if (lists.files.line(r, 0).compare(name, Qt::CaseInsensitive) == 0 && isArchive(lists.files, r))
            return true;
    return false;
}

} // namespace

int LsCommand::run(CliContext &ctx, const QStringList &args)
{
    const CliArgs a(args, {}, {});
    if (a.positional().isEmpty() || a.positional().size() > 2)
        throw CliUsageError(QStringLiteral("a DISC and at most one FOLDER are needed"));
    Catalogue &cat = ctx.catalogue();
    const TCD *cd = findDisc(cat.tree(), a.positional().first());
    const QString path = catalogPath(a.positional().size() > 1 ? a.positional().at(1) : QStringLiteral("\\"));
    const ContentsFile::Parsed lists = ContentsFile::load(cat.dbFolder(), cd->Serial);
    if (!folderExists(lists, path))
        throw QuilloryError(QStringLiteral("There is no folder %1 on the disc \"%2\".").arg(path, cd->Title));

    QString out;
    for (int r : lists.folders.recordsIn(path)) {
        QString name = lists.folders.line(r, 0);
        if (name.endsWith(u'\\'))
            name.chop(1);
        out +=
            name + QStringLiteral("\tFolder\t") + lists.folders.line(r, 2) + u'\t' + lists.folders.line(r, 3) + u'\n';
    }
    for (int r : lists.files.recordsIn(path)) {
        const QString name = lists.files.line(r, 0);
        const QString type =
            isArchive(lists.files, r) ? QStringLiteral("Compressed Folder") : FileTypes::GetFileType(name);
        out += name + u'\t' + type + u'\t' + lists.files.line(r, 2) + u'\t' + lists.files.line(r, 3) + u'\n';
    }
    ctx.io().print(out);
    return 0;
}
