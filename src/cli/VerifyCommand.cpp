#include "VerifyCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "DiscLookup.h"
#include "acquire/DiscFinder.h"
#include "acquire/DiscVerifier.h"
#include "core/QuilloryError.h"
#include "settings/Preferences.h"
#include "store/Catalogue.h"
#include "store/DataPaths.h"
#include "store/GroupTree.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

QString VerifyCommand::details() const
{
    return u"DISC is a title or a serial. ROOT is the folder the disc is mounted at, or a disc image of it (as\n"
           "add-disc --image reads one); without it the drive that holds the disc (by its serial) is found, and\n"
           "mounted when it is not.\n"
           "Each difference is a line: kind, TAB, path inside the disc, TAB, detail. The kinds:\n"
           "  missing     catalogued, not on the medium (a file or a folder)\n"
           "  new         on the medium, not catalogued\n"
           "  changed     another size or date (the detail says which, and both values)\n"
           "  corrupt     same size and date, other contents (the checksums differ)\n"
           "  unreadable  could not be read (the system's reason)\n"
           "Contents are compared only for a disc catalogued with checksums; otherwise names, sizes and dates\n"
           "are, and the summary says so. The scan follows the preferences, as add-disc does.\n"
           "Exit status: 0 when everything matched, 3 when differences were found, 1 on an error."_s;
}

int VerifyCommand::run(CliContext &ctx, const QStringList &args)
{
    const CliArgs a(args, {}, {});
    if (a.positional().isEmpty() || a.positional().size() > 2)
        throw CliUsageError(u"a DISC and at most one ROOT are needed"_s);
    const Catalogue &cat = ctx.readCatalogue();
    const TCD &cd = *DiscLookup::disc(cat.tree(), a.positional().first())->cd();
    QString root, twins;
    if (a.positional().size() > 1) {
        root = a.positional().at(1);
        CliArgs::refuseUnreachable(root);
        if (!QFileInfo(root).isDir() && !DiscVerifier::isImage(root))
            throw QuilloryError(u"There is no folder or disc image \"%1\" to read the disc from."_s.arg(root));
    } else {
        // A copy made block for block has the same serial: which one was read is said, and
        // that there are others.
        const QStringList holding = drivesHoldingSerial(cd.Serial);
        root = holding.isEmpty() ? findDiscBySerial(cd.Serial) : holding.first();
        if (holding.size() > 1)
            twins = u" %1 hold a volume of the same serial too; give ROOT to read another."_s.arg(
                QStringList(holding.mid(1)).join(u", "_s));
        if (root.isEmpty())
            throw QuilloryError(
                u"Disc \"%1\" (%2) is in no drive; insert it, or give ROOT, the folder it is mounted at or its image."_s
                    .arg(cd.Title, cd.Serial));
    }
    const ContentsFile::Parsed catalogued =
        ContentsFile::readingDisc(cd.Title, [&] { return ContentsFile::load(cat.dbFolder(), cd.Serial); });

    Preferences prefs;
    prefs.load(DataPaths::settingsFile(ctx.dataFolder()));
    prefs.loadExclusions(ctx.dataFolder());
    DiscVerifier verifier(ScanOptions::from(prefs));
    const VerifyReport report = verifier.verify(root, catalogued, cd.Serial);
    for (const VerifyDifference &d : report.differences)
        ctx.io().printLine(d.line());
    ctx.io().error(report.summary());
    if (a.positional().size() == 1)
        ctx.io().error(u"Read from %1.%2"_s.arg(root, twins));
    return report.allMatched() ? 0 : DifferencesFound;
}
