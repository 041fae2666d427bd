#include "ImportCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "backup/DatabaseBackup.h"
#include "core/QuilloryError.h"
#include "store/Catalogue.h"

#include <QDir>
#include <QFileInfo>

int ImportCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {QStringLiteral("yes")});
    if (parsed.positional().size() != 1)
        throw CliUsageError(QStringLiteral("one archive file name is needed"));
    const QString archive = parsed.positional().first();
    // Asked and checked before the catalogue is locked, which makes it when there is none: a
    // refused import leaves no empty catalogue behind. The question goes where messages go, so
    // that an answer sent to a file never holds it.
    if (const QFileInfo file(archive); !file.isFile())
        throw QuilloryError((file.exists() ? QStringLiteral("\"%1\" is no archive file but a folder or a device; "
                                                            "nothing was imported.")
                                           : QStringLiteral("There is no archive \"%1\"; nothing was imported."))
                                .arg(QDir::toNativeSeparators(archive)));
    if (!parsed.flag(QStringLiteral("yes"))) {
        ctx.io().ask(DatabaseBackup::importQuestion() + u' ');
        const QString answer = ctx.io().readLine().trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes")) {
            if (answer.isNull())
                ctx.io().ask(QStringLiteral("\n"));
            ctx.io().error(QStringLiteral("Import cancelled; nothing was imported."));
            return 1;
        }
    }
    Catalogue &cat = ctx.lockedCatalogue();
    const QString unfinished = DatabaseBackup::importDatabase(archive, cat.dbFolder());
    // The catalogue is loaded again from what was imported; its messages go to standard error.
    cat.load([&ctx](const QString &msg) { ctx.io().error(msg); });
    ctx.io().printLine(DatabaseBackup::importCompleteMessage());
    // The import stands; what waits is done at the next start.
    if (!unfinished.isEmpty())
        ctx.io().error(unfinished);
    return 0;
}
