#include "CatListsCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "core/QuilloryError.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"

#include <QFileInfo>

int CatListsCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {});
    if (parsed.positional().size() != 1)
        throw CliUsageError(QStringLiteral("one disc serial number is needed"));
    // Reading happens in memory, so the catalogue is neither locked nor changed (but for a
    // switch a kill left half done, which is finished first when the lock is free).
    Catalogue cat(ctx.dataFolder());
    cat.settleForReading([&ctx](const QString &message) { ctx.io().error(message); });
    // Serials are stored in capitals, as ls and the other commands take them in any case.
    const QString serial = parsed.positional().first().toUpper();
    if (ContentsFile::isUsableSerial(serial) &&
        !QFileInfo::exists(ContentsFile::contentsFileName(cat.dbFolder(), serial)))
        throw QuilloryError(QStringLiteral("There is no disc with the serial %1 in the catalogue.").arg(serial));
    const ContentsFile::Lists lists = ContentsFile::read(cat.dbFolder(), serial);
    ctx.io().writeRaw(lists.folderList);
    ctx.io().writeRaw(QByteArrayLiteral("\t\n"));
    ctx.io().writeRaw(lists.fileList);
    return 0;
}
