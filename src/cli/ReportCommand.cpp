#include "ReportCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "DiscLookup.h"
#include "core/QuilloryError.h"
#include "reports/ReportBuilder.h"
#include "reports/ReportOutput.h"
#include "reports/ReportStream.h"
#include "store/Catalogue.h"

using namespace Qt::Literals::StringLiterals;

namespace
{

QStringList listOption(const QString &value)
{
    QStringList items = value.split(u',');
    for (QString &item : items)
        item = item.trimmed();
    return items;
}

// The chosen columns shown in the order given, with their widths; the others left out.
QList<ReportSettings::Column> chooseColumns(ReportSettings::Kind kind, const CliArgs &a)
{
    const QStringList &known = ReportSettings::columnNames(kind);
    QList<ReportSettings::Column> shown;
    if (a.has(u"columns"_s)) {
        for (const QString &asked : listOption(a.value(u"columns"_s))) {
            const auto it = std::find_if(known.begin(), known.end(),
                                         [&](const QString &k) { return k.compare(asked, Qt::CaseInsensitive) == 0; });
            if (it == known.end())
                throw CliUsageError(u"unknown column \"%1\"; the columns are: %2"_s.arg(asked, known.join(u", "_s)));
            shown.append({*it, true, ReportSettings::DefaultWidth});
        }
    } else {
        for (const ReportSettings::Column &c : ReportSettings::defaultColumns(kind))
            if (c.shown)
                shown.append(c);
    }
    if (a.has(u"widths"_s)) {
        const QStringList widths = listOption(a.value(u"widths"_s));
        if (widths.size() != shown.size())
            throw CliUsageError(u"--widths needs one width for each of the %1 columns"_s.arg(shown.size()));
        for (qsizetype i = 0; i < widths.size(); ++i) {
            bool ok = false;
            const int w = widths.at(i).toInt(&ok);
            if (!ok || w != ReportSettings::clampWidth(w))
                throw CliUsageError(u"a width is a number of pixels from %1 to %2, not \"%3\""_s.arg(
                    QString::number(ReportSettings::MinWidth), QString::number(ReportSettings::MaxWidth),
                    widths.at(i)));
            shown[i].width = w;
        }
    }
    return shown;
}

} // namespace

QString ReportCommand::details() const
{
    auto names = [](ReportSettings::Kind kind) { return ReportSettings::columnNames(kind).join(u", "_s); };
    return u"  --disc NAME       a disc, by title or serial: one row per file\n"
           u"  --group NAME      a group (or the root) by name: one row per disc\n"
           u"  --html            an HTML page instead of fixed-width text, as a FILE ending in .html is\n"
           u"  --columns A,B,C   the columns, in this order (default: the first three)\n"
           u"  --widths N,N,N    their widths in pixels, %1 to %2 (default %3; text takes one character per 8)\n"
           u"  --recurse         a group's sub-groups too, at any depth\n"
           u"  --no-time         without the line that says when the report was made\n"
           u"  -o, --output FILE the report file, replaced when it exists\n\n"
           u"Disc columns: %4\nGroup columns: %5"_s.arg(
               QString::number(ReportSettings::MinWidth), QString::number(ReportSettings::MaxWidth),
               QString::number(ReportSettings::DefaultWidth), names(ReportSettings::DiscReport),
               names(ReportSettings::GroupReport));
}

int ReportCommand::run(CliContext &ctx, const QStringList &args)
{
    QStringList spelled = args;
    for (QString &a : spelled)
        if (a == u"-o"_s)
            a = u"--output"_s;
    const CliArgs a(spelled, {u"disc"_s, u"group"_s, u"columns"_s, u"widths"_s, u"output"_s},
                    {u"html"_s, u"recurse"_s, u"no-time"_s});
    if (!a.positional().isEmpty())
        throw CliUsageError(u"unexpected \"%1\""_s.arg(a.positional().first()));
    if (a.has(u"disc"_s) == a.has(u"group"_s))
        throw CliUsageError(a.has(u"disc"_s) ? u"report takes --disc NAME or --group NAME, not both"_s
                                             : u"one of --disc and --group is needed"_s);
    if (a.flag(u"recurse"_s) && a.has(u"disc"_s))
        throw CliUsageError(u"--recurse goes with --group"_s);
    const QString file = a.value(u"output"_s);
    if (file.isEmpty())
        throw CliUsageError(u"-o FILE is needed"_s);

    const ReportSettings::Kind kind = a.has(u"disc"_s) ? ReportSettings::DiscReport : ReportSettings::GroupReport;
    ReportSettings settings;
    settings.columns = chooseColumns(kind, a);
    settings.recurse = a.flag(u"recurse"_s);

    const Catalogue &cat = ctx.readCatalogue();
    const TreeNode *node = kind == ReportSettings::DiscReport ? DiscLookup::disc(cat.tree(), a.value(u"disc"_s))
                                                              : DiscLookup::group(cat.tree(), a.value(u"group"_s));

    ReportOutput output(file, cat.dbFolder());
    if (!output.open())
        throw QuilloryError(output.openFailure());
    try {
        ReportStream stream(output.device());
        ReportBuilder builder(cat.dbFolder(), settings, stream);
        // The dialog's rule for the form, with --html for a name that does not say it.
        builder.writeDocument(node, a.flag(u"html"_s) ? ReportBuilder::Html : ReportBuilder::formForFileName(file),
                              a.flag(u"no-time"_s) ? QDateTime() : QDateTime::currentDateTime());
        output.commit();
    } catch (const QuilloryError &) {
        output.discard();
        throw;
    }
    return 0;
}
