#include "ImportCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "backup/DatabaseBackup.h"
#include "store/Catalogue.h"

int ImportCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {QStringLiteral("yes")});
    if (parsed.positional().size() != 1)
        throw CliUsageError(QStringLiteral("one archive file name is needed"));
    const QString archive = parsed.positional().first();
    Catalogue &cat = ctx.lockedCatalogue();
    if (!parsed.flag(QStringLiteral("yes"))) {
        ctx.io().print(DatabaseBackup::importQuestion() + u' ');
        const QString answer = ctx.io().readLine().trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes")) {
            if (answer.isNull())
                ctx.io().print(QStringLiteral("\n"));
            ctx.io().error(QStringLiteral("Import cancelled; nothing was imported."));
            return 1;
        }
    }
    DatabaseBackup::importDatabase(archive, cat.dbFolder());
    // The catalogue is loaded again from what was imported; its messages go to standard error.
    cat.load([&ctx](const QString &msg) { ctx.io().error(msg); });
    ctx.io().printLine(DatabaseBackup::importCompleteMessage());
    return 0;
}
