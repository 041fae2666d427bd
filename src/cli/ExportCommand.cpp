#include "ExportCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "backup/DatabaseBackup.h"
#include "store/Catalogue.h"

int ExportCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {});
    if (parsed.positional().size() != 1)
        throw CliUsageError(QStringLiteral("one archive file name is needed"));
    Catalogue &cat = ctx.catalogue();
    DatabaseBackup::exportDatabase(cat, parsed.positional().first(), {},
                                   [&ctx](const QString &msg) { ctx.io().error(msg); });
    return 0;
}
