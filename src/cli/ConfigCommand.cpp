#include "ConfigCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "acquire/ScanOptions.h"
#include "core/QuilloryError.h"
#include "settings/Preferences.h"
#include "store/DataPaths.h"

#include <QDir>
#include <QFileInfo>

namespace
{

// A window on this catalogue writes the preferences and the exclusions when it closes: a change
// made beside it would be undone then. It is refused while another program has the catalogue,
// as every other change is.
void refuseWhileInUse(CliContext &ctx)
{
    if (QFileInfo(DataPaths::dbFolder(ctx.dataFolder())).isDir())
        ctx.lockedCatalogue();
}

} // namespace

QString ConfigCommand::details() const
{
    QString text = QStringLiteral(
        "config get NAME prints one value, config get all of them (NAME, TAB, VALUE). Check boxes read 1 when\n"
        "ticked and 0 when not. config exclusions MASK... replaces the list; --clear empties it.\nNames:");
    int i = 0;
    for (const Preferences::Item &item : Preferences::items())
        text += (i++ % 6 == 0 ? QStringLiteral("\n  ") : QStringLiteral(", ")) + u'"' + item.name + u'"';
    text += QStringLiteral("\nFilters:");
    for (size_t f = 0; f < ScanOptions::FilterCaptions.size(); ++f)
        text += QStringLiteral("\n  %1  %2")
                    .arg(Preferences::items()[Preferences::Filter0 + f].name,
                         QLatin1StringView(ScanOptions::FilterCaptions[f]));
    return text;
}

int ConfigCommand::run(CliContext &ctx, const QStringList &args)
{
    if (args.isEmpty())
        throw CliUsageError(QStringLiteral("get, set or exclusions is needed"));
    const QString settingsFile = DataPaths::settingsFile(ctx.dataFolder());
    Preferences prefs;
    const QString verb = args.first();
    const auto known = [&args] {
        if (!Preferences::item(args.at(1)))
            throw CliUsageError(QStringLiteral("unknown preference \"%1\"").arg(args.at(1)));
    };

    if (verb == QLatin1String("get")) {
        if (args.size() > 2)
            throw CliUsageError(QStringLiteral("get takes one NAME (quote names with blanks: \"Filter 6\")"));
        prefs.load(settingsFile);
        if (args.size() == 2) {
            known();
            ctx.io().printLine(prefs.value(args.at(1)));
            return 0;
        }
        QString out;
        for (const Preferences::Item &item : Preferences::items()) {
            const QString v = prefs.value(item.name);
            if (!v.isNull())
                out += item.name + u'\t' + v + u'\n';
        }
        ctx.io().print(out);
        return 0;
    }

    if (verb == QLatin1String("set")) {
        if (args.size() != 3)
            throw CliUsageError(QStringLiteral("set takes NAME and VALUE"));
        known();
        prefs.load(settingsFile);
        QString error;
        if (!prefs.setValue(args.at(1), args.at(2), &error))
            throw QuilloryError(error);
        refuseWhileInUse(ctx);
        prefs.save(settingsFile);
        return 0;
    }

    if (verb == QLatin1String("exclusions")) {
        prefs.loadExclusions(ctx.dataFolder());
        // Parsed as options are: a mistyped "--clr" would otherwise become the whole list.
        const CliArgs parsed(args.mid(1), {}, {QStringLiteral("clear")});
        const QStringList masks = parsed.positional();
        if (parsed.flag(QStringLiteral("clear"))) {
            if (!masks.isEmpty())
                throw CliUsageError(QStringLiteral("--clear takes no masks"));
        } else if (masks.isEmpty()) {
            QString out;
            for (const QString &m : prefs.exclusions())
                out += m + u'\n';
            ctx.io().print(out);
            return 0;
        }
        // A bad mask is refused now rather than ending a scan later; an empty one (an unset
        // shell variable) would empty the list without a word.
        for (const QString &m : masks) {
            if (m.isEmpty())
                throw CliUsageError(QStringLiteral("an empty mask is no mask; --clear empties the list"));
            if (const QString why = Preferences::exclusionProblem(m); !why.isEmpty())
                throw QuilloryError(why);
        }
        prefs.setExclusions(masks);
        refuseWhileInUse(ctx);
        const bool isNew = !QFileInfo::exists(ctx.dataFolder());
        prefs.saveExclusions(ctx.dataFolder());
        if (isNew)
            ctx.io().error(QStringLiteral("The data folder \"%1\" was made for the exclusion list.")
                               .arg(QDir::toNativeSeparators(QDir::cleanPath(ctx.dataFolder()))));
        return 0;
    }
    throw CliUsageError(QStringLiteral("unknown action \"%1\"").arg(verb));
}
