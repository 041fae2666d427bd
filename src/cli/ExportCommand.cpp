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
    if (parsed.positional().first().isEmpty())
        throw CliUsageError(QStringLiteral("the archive file name is empty"));
    Catalogue &cat = ctx.catalogue();
    const int leftOut = DatabaseBackup::exportDatabase(cat, parsed.positional().first(), {},
                                                       [&ctx](const QString &msg) { ctx.io().error(msg); });
    // An archive without some discs is no whole backup: a script must not take it for one.
    return leftOut > 0 ? 1 : 0;
}
