#include "ExportCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "backup/DatabaseBackup.h"
#include "session/Workspace.h"
#include "store/Catalogue.h"
#include "store/DataPaths.h"

#include <QFile>
#include <cerrno>
#include <unistd.h>

int ExportCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {});
    if (parsed.positional().size() != 1)
        throw CliUsageError(QStringLiteral("one archive file name is needed"));
    if (parsed.positional().first().isEmpty())
        throw CliUsageError(QStringLiteral("the archive file name is empty"));
    // A catalogue on a read-only medium, or one this user may only read, takes no lock: it is
    // exported as it stands, as a reading command would read it.
    const QString db = DataPaths::dbFolder(ctx.dataFolder());
    const bool readOnly = ::access(QFile::encodeName(db).constData(), W_OK) != 0 && (errno == EROFS || errno == EACCES);
    Catalogue &cat = readOnly ? ctx.workspace().catalogue() : ctx.catalogue();
    const int leftOut = DatabaseBackup::exportDatabase(cat, parsed.positional().first(), {},
                                                       [&ctx](const QString &msg) { ctx.io().error(msg); });
    // An archive without some discs is no whole backup: a script must not take it for one.
    return leftOut > 0 ? 1 : 0;
}
