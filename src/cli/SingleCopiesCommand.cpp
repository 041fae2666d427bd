#include "SingleCopiesCommand.h"

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

QString SingleCopiesCommand::details() const
{
    return u"  --disc NAME       the disc, by its title or serial\n"
           "  --in NODE         every disc below the group (or the disc) NODE; a copy on another disc below it\n"
           "                    is a copy too\n"
           "  --min-size N      files smaller than N bytes (or KB, MB, GB) are left out; default 1\n"
           "  A copy on the same disc is no copy: it dies with the disc. A copy inside a ZIP archive on\n"
           "  another disc is one.\n"_s;
}

int SingleCopiesCommand::run(CliContext &ctx, const QStringList &args)
{
    const CliArgs a(args, {u"disc"_s, u"in"_s, u"min-size"_s}, {});
    if (!a.positional().isEmpty())
        throw CliUsageError(u"single-copies takes no arguments, only options"_s);
    if (a.has(u"disc"_s) == a.has(u"in"_s))
        throw CliUsageError(a.has(u"disc"_s) ? u"single-copies takes --disc NAME or --in NODE, not both"_s
                                             : u"single-copies needs either --disc NAME or --in NODE"_s);
    const qint64 minSize = a.has(u"min-size"_s) ? CliArgs::bytes(u"--min-size"_s, a.value(u"min-size"_s)) : 1;
    const Catalogue &cat = ctx.readCatalogue();
    const TreeNode *scope = a.has(u"disc"_s) ? DiscLookup::disc(cat.tree(), a.value(u"disc"_s))
                                             : DiscLookup::node(cat.tree(), a.value(u"in"_s));
    NameIndex index(cat.dbFolder());
    DuplicateFinder finder(cat.dbFolder(), minSize, &index);
    const DuplicateFinder::SingleCopies found = finder.singleCopies(scope, cat.tree().root());

    const SearchHits &hits = *found.hits;
    QByteArray out;
    for (int i = 0; i < hits.count(); ++i) {
        const qsizetype place = out.size();
        hits.appendLocation(i, out);
        out += hits.name(i);
        CliField::cleanFrom(out, place);
        out += '\t';
        out += QByteArray::number(hits.size(i));
        out += '\t';
        CliField::append(out, hits.date(i));
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
