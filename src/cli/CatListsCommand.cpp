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
    // Reading happens in memory, so the catalogue is neither locked nor changed (but for a
    // switch a kill left half done, which is finished first when the lock is free).
    Catalogue cat(ctx.dataFolder());
    cat.settleForReading([&ctx](const QString &message) { ctx.io().error(message); });
    const ContentsFile::Lists lists = ContentsFile::read(cat.dbFolder(), parsed.positional().first());
    ctx.io().writeRaw(lists.folderList);
    ctx.io().writeRaw(QByteArrayLiteral("\t\n"));
    ctx.io().writeRaw(lists.fileList);
    return 0;
}
