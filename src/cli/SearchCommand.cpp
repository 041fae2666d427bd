#include "SearchCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "CliField.h"
#include "DiscLookup.h"
#include "core/FormatSize.h"
#include "core/QuilloryError.h"
#include "listing/FileTypes.h"
#include "listing/SearchHits.h"
#include "search/NameIndex.h"
#include "search/SearchEngine.h"
#include "store/Catalogue.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsRecord.h"
#include "store/GroupTree.h"

#include <QHash>

using namespace Qt::Literals::StringLiterals;

namespace
{

QDateTime dateOption(const QString &option, const QString &text)
{
    // The bound is a reading of the local clock, as the catalogue's dates are: one with a zone
    // is read on it, and one in the hour summer time skips is a reading all the same.
    QDateTime dt = QDateTime::fromString(text, Qt::ISODate).toLocalTime();
    if (!dt.isValid())
        dt = QDateTime::fromString(text + u'Z', Qt::ISODate);
    if (!dt.isValid())
        throw CliUsageError(u"%1 wants a date such as 2020-01-01, or a date and time such as 2020-01-01T12:00:00, not \"%2\""_s.arg(option, text));
    return dt;
}

} // namespace

QString SearchCommand::details() const
{
    QString text = u"  MASK              empty or *.* finds everything; else a part of the name, any case, or a "
                   "wildcard mask (*, ?, [set]) for the whole name\n"
                   "  --category N      what is searched:\n"_s;
    const QStringList captions = SearchTests::categoryCaptions();
    for (int i = 0; i < captions.size(); ++i)
        text += u"                      %1 %2\n"_s.arg(i).arg(captions.at(i));
    text += u"  --larger, --smaller   size bounds in bytes (or KB, MB, GB), bounds included\n"
            "  --newer, --older  date bounds in ISO 8601, a date (2020-01-01, its first moment) or a date and\n"
            "                    time (2020-01-01T12:00:00), bounds included\n"
            "  --limit N         stop after N hits (0: no limit)\n"_s;
    return text;
}

int SearchCommand::run(CliContext &ctx, const QStringList &args)
{
    const CliArgs a(args, {u"in"_s, u"category"_s, u"larger"_s, u"smaller"_s, u"newer"_s, u"older"_s, u"limit"_s}, {});
    if (a.positional().size() > 1)
        throw CliUsageError(u"at most one MASK is needed"_s);
    SearchCriteria c;
    c.mask = a.positional().value(0);
    if (a.has(u"category"_s)) {
        c.category = CliArgs::wholeNumber(u"--category"_s, a.value(u"category"_s));
        if (c.category < 0 || c.category >= SearchCriteria::CategoryCount)
            throw CliUsageError(u"--category wants 0 to %1"_s.arg(SearchCriteria::CategoryCount - 1));
    }
    if ((c.largerOn = a.has(u"larger"_s)))
        c.minSize = CliArgs::bytes(u"--larger"_s, a.value(u"larger"_s));
    if ((c.smallerOn = a.has(u"smaller"_s)))
        c.maxSize = CliArgs::bytes(u"--smaller"_s, a.value(u"smaller"_s));
    if ((c.newerOn = a.has(u"newer"_s)))
        c.newerThan = dateOption(u"--newer"_s, a.value(u"newer"_s));
    if ((c.olderOn = a.has(u"older"_s)))
        c.olderThan = dateOption(u"--older"_s, a.value(u"older"_s));
    if (a.has(u"limit"_s)) {
        c.limit = CliArgs::wholeNumber(u"--limit"_s, a.value(u"limit"_s));
        if (c.limit < 0)
            throw CliUsageError(u"--limit wants 0 (no limit) or more, not %1"_s.arg(c.limit));
    }

    const Catalogue &cat = ctx.readCatalogue();
    const TreeNode *scope = a.has(u"in"_s) ? DiscLookup::node(cat.tree(), a.value(u"in"_s)) : cat.tree().root();
    NameIndex index(cat.dbFolder());
    SearchEngine engine(cat.dbFolder(), c, &index);
    engine.search(scope);

    const SearchHits &hits = *engine.hits();
    // A few hits are typed one by one: the cached way first reads every pattern of the MIME
    // database, which costs more than the rest of a search answered from the index.
    const bool few = hits.count() <= 64;
    QByteArray out;
    for (int i = 0; i < hits.count(); ++i) {
        const QByteArrayView name = hits.name(i);
        QString type = FileTypes::kindText(hits.kind(i));
        if (type.isNull())
            type =
                few ? FileTypes::typeNameOf(QString::fromUtf8(name)) : FileTypes::GetFileType(QString::fromUtf8(name));
        CliField::append(out, name);
        out += '\t';
        out += type.toUtf8();
        out += '\t';
        const qsizetype location = out.size();
        hits.appendLocation(i, out);
        CliField::cleanFrom(out, location);
        out += '\t';
        out += QByteArray::number(hits.size(i));
        out += '\t';
        CliField::append(out, hits.date(i));
        out += '\n';
        ctx.io().writeWhenFull(out);
    }
    ctx.io().writeRaw(out);
    for (const QString &p : engine.problems())
        ctx.io().error(p);
    ctx.io().error(u"%1 found, total size %2"_s.arg(hits.count()).arg(FormatSize(engine.foundSize())));
    // A list cut at the limit must not pass for every match.
    if (engine.limitReached())
        ctx.io().error(u"The search stopped at its limit, %1 found; more may match."_s.arg(hits.count()));
    // A disc that could not be read is missing from the answer: a script must not take it whole.
    return engine.problems().isEmpty() ? 0 : 1;
}
