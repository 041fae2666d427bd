#include "CheckMaskCommand.h"

#include "CliError.h"
#include "core/TMask.h"

int CheckMaskCommand::run(CliContext &ctx, const QStringList &args)
{
    // Names may begin with "--"; no options here, so take everything as it stands.
    if (args.size() < 2)
        throw CliUsageError(QStringLiteral("a mask and at least one name are needed"));
    const TMask mask(args.first());
    QString out;
    for (int i = 1; i < args.size(); ++i)
        out += mask.Matches(args.at(i)) ? QStringLiteral("yes\n") : QStringLiteral("no\n");
    ctx.io().print(out);
    return 0;
}
