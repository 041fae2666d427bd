#include "LsCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "CliField.h"
#include "DiscLookup.h"
#include "core/QuilloryError.h"
#include "listing/FileTypes.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/ContentsRecord.h"

namespace
{

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

} // namespace

int LsCommand::run(CliContext &ctx, const QStringList &args)
{
    const CliArgs a(args, {}, {});
    if (a.positional().isEmpty() || a.positional().size() > 2)
        throw CliUsageError(QStringLiteral("a DISC and at most one FOLDER are needed"));
    const Catalogue &cat = ctx.readCatalogue();
    const TCD *cd = DiscLookup::disc(cat.tree(), a.positional().first())->cd();
    const QString path = catalogPath(a.positional().size() > 1 ? a.positional().at(1) : QStringLiteral("\\"));
    const ContentsFile::OneFolder lists = ContentsFile::readingDisc(
        cd->Title, [&] { return ContentsFile::loadFolder(cat.dbFolder(), cd->Serial, path); });
    const ContentsList::Folder &folder = lists.folder;
    if (!folder.exists)
        throw QuilloryError(QStringLiteral("There is no folder %1 on the disc \"%2\".").arg(path, cd->Title));

    // Printed in pieces: a folder of millions of entries is never held whole as text.
    QString out;
    const auto printed = [&](qsizetype atLeast) {
        if (out.size() >= atLeast) {
            ctx.io().print(out);
            out.resize(0);
        }
    };
    constexpr qsizetype kPiece = 1 << 16;
    const ContentsList &folders = lists.folders;
    for (int r : folder.subfolders) {
        out += CliField::clean(QString::fromUtf8(folders.folderName(r))) + u'\t' +
               FileTypes::kindText(ContentsEntry::Folder) + u'\t' +
               CliField::clean(folders.line(r, ContentsRecord::SizeLine)) + u'\t' +
               CliField::clean(folders.line(r, ContentsRecord::DateLine)) + u'\n';
        printed(kPiece);
    }
    const ContentsList &files = lists.files;
    for (int r : folder.files) {
        const QString name = files.line(r, ContentsRecord::NameLine);
        const QString type =
            files.isArchive(r) ? FileTypes::kindText(ContentsEntry::Archive) : FileTypes::GetFileType(name);
        out += CliField::clean(name) + u'\t' + type + u'\t' + CliField::clean(files.line(r, ContentsRecord::SizeLine)) +
               u'\t' + CliField::clean(files.line(r, ContentsRecord::DateLine)) + u'\n';
        printed(kPiece);
    }
    printed(1);
    return 0;
}
