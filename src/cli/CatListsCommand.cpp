#include "CatListsCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"

int CatListsCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {});
    if (parsed.positional().size() != 1)
        throw CliUsageError(QStringLiteral("one disc serial number is needed"));
    // Reading happens in memory, so the catalogue is neither locked nor changed.
    const Catalogue cat(ctx.dataFolder());
    const ContentsFile::Lists lists = ContentsFile::read(cat.dbFolder(), parsed.positional().first());
    ctx.io().writeRaw(lists.folderList);
    ctx.io().writeRaw(QByteArrayLiteral("\t\n"));
    ctx.io().writeRaw(lists.fileList);
    return 0;
}
