#include "CheckMaskCommand.h"

#include "CliError.h"
#include "core/TMask.h"

int CheckMaskCommand::run(CliContext &ctx, const QStringList &args)
{
    // Names may begin with "--"; no options here, so take everything as it stands, but for a
    // first "--", which ends the options everywhere else.
    const qsizetype first = !args.isEmpty() && args.first() == QLatin1String("--") ? 1 : 0;
    if (args.size() - first < 2)
        throw CliUsageError(QStringLiteral("a mask and at least one name are needed"));
    const TMask mask(args.at(first));
    QString out;
    for (qsizetype i = first + 1; i < args.size(); ++i)
        out += mask.Matches(args.at(i)) ? QStringLiteral("yes\n") : QStringLiteral("no\n");
    ctx.io().print(out);
    return 0;
}
