#include "DuplicatesCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "CliField.h"
#include "DiscLookup.h"
#include "listing/SearchHits.h"
#include "search/DuplicateFinder.h"
#include "search/NameIndex.h"
#include "store/Catalogue.h"
#include "store/GroupTree.h"

using namespace Qt::Literals::StringLiterals;

QString DuplicatesCommand::details() const
{
    return u"  --in NODE         the group or disc whose discs are compared\n"
           "  --min-size N      files smaller than N bytes (or KB, MB, GB) are left out; default 1, so empty files "
           "are\n"
           "                    never listed\n"
           "  A file inside a ZIP archive is a copy too, compared by name, size and date.\n"_s;
}

int DuplicatesCommand::run(CliContext &ctx, const QStringList &args)
{
    const CliArgs a(args, {u"in"_s, u"min-size"_s}, {});
    if (!a.positional().isEmpty())
        throw CliUsageError(u"duplicates takes no arguments, only options"_s);
    const qint64 minSize = a.has(u"min-size"_s) ? CliArgs::bytes(u"--min-size"_s, a.value(u"min-size"_s)) : 1;
    const Catalogue &cat = ctx.readCatalogue();
    const TreeNode *scope = a.has(u"in"_s) ? DiscLookup::node(cat.tree(), a.value(u"in"_s)) : cat.tree().root();
    NameIndex index(cat.dbFolder());
    DuplicateFinder finder(cat.dbFolder(), minSize, &index);
    const DuplicateFinder::Duplicates found = finder.duplicates(scope);

    const SearchHits &hits = *found.hits;
    QByteArray out;
    // Millions of groups may follow: each line is put together from bytes, not formatted.
    for (const DuplicateFinder::Group &g : found.groups) {
        out += QByteArray::number(g.size);
        out += " bytes, ";
        out += QByteArray::number(g.count);
        out += " copies, ";
        out += DuplicateFinder::ruleText(g.rule).toUtf8();
        out += '\n';
        for (int i = g.first; i < g.first + g.count; ++i) {
            hits.prefetchAfter(i);
            out += '\t';
            const qsizetype place = out.size();
            hits.appendLocation(i, out);
            out += hits.name(i);
            CliField::cleanFrom(out, place);
            out += '\n';
        }
        out += '\n';
        ctx.io().writeWhenFull(out);
    }
    ctx.io().writeRaw(out);
    for (const QString &p : finder.problems())
        ctx.io().error(p);
    ctx.io().error(found.summary());
    // A disc that could not be read is missing from the answer: a script must not take it whole.
    return finder.missedDiscs() ? 1 : 0;
}
