#include "AddDiscCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "acquire/DiscAdder.h"
#include "acquire/DiscFinder.h"
#include "acquire/DiscIn.h"
#include "acquire/ImageScanner.h"
#include "acquire/TDiskInfo.h"
#include "acquire/VolumeBackend.h"
#include "core/QuilloryError.h"
#include "settings/Preferences.h"
#include "store/Catalogue.h"
#include "store/DataPaths.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

namespace
{

const QString kGiveSerial = QStringLiteral("give --serial (and --label and --fs if wanted).");

} // namespace

QString AddDiscCommand::details() const
{
    return QStringLiteral(
        "ROOT is the root of a mounted volume (its label, serial number, file system and size are read from it),\n"
        "or, with --serial (and --label and --fs if wanted), any folder standing in for one.\n"
        "  --image FILE        catalogue a disc image (ISO 9660, Joliet, UDF bridge) in place of ROOT, as the\n"
        "                      disc burned from it: its label, serial number and file system are read from it\n"
        "  --group NAME        the group to add the disc to (default: the root of the catalogue)\n"
        "  --number N          the disc number (default: the number of discs plus one)\n"
        "  --description TEXT  may hold line breaks\n"
        "  --replace           update the entry when the disc is already in the catalogue; what is not\n"
        "                      given (group, genre, number, description) is kept from it, and a lent\n"
        "                      disc stays lent\n"
        "  --checksums         read every file whole and keep its checksum, for this scan\n"
        "The scan follows the preferences (see config): filters, exclusions, empty and hidden entries,\n"
        "checksums. A file that cannot be read is catalogued without its checksum and named at the end.");
}

int AddDiscCommand::run(CliContext &ctx, const QStringList &args)
{
    const CliArgs a(args,
                    {QStringLiteral("title"), QStringLiteral("group"), QStringLiteral("genre"),
                     QStringLiteral("number"), QStringLiteral("description"), QStringLiteral("label"),
                     QStringLiteral("serial"), QStringLiteral("fs"), QStringLiteral("image")},
                    {QStringLiteral("replace"), QStringLiteral("checksums")});
    const bool image = a.has(QStringLiteral("image"));
    if (image && (!a.positional().isEmpty() || a.has(QStringLiteral("serial"))))
        throw CliUsageError(QStringLiteral("--image takes the place of ROOT and --serial"));
    if (!image && a.positional().size() != 1)
        throw CliUsageError(QStringLiteral("one ROOT is needed"));
    if (!a.has(QStringLiteral("title")))
        throw CliUsageError(QStringLiteral("--title is needed"));
    const bool standIn = a.has(QStringLiteral("serial"));
    if (!standIn && (a.has(QStringLiteral("label")) || a.has(QStringLiteral("fs"))))
        throw CliUsageError(QStringLiteral("--label and --fs go with --serial"));

    DiscDetails details;
    details.title = a.value(QStringLiteral("title"));
    details.genre = a.value(QStringLiteral("genre"));
    details.description = a.value(QStringLiteral("description"));
    const QString checked = DiscAdder::CheckDetails(details);
    if (!checked.isNull())
        throw QuilloryError(checked);

    DiscVolume volume;
    QString root = image ? QString() : a.positional().first();
    // A folder is taken where the command runs, as any path on the command line; the mount table
    // knows volumes by their absolute paths only. A device is mounted below, when it is not yet.
    if (!image && !root.startsWith(QLatin1String("/dev/"))) {
        const QFileInfo folder(root);
        CliArgs::refuseUnreachable(root);
        if (!folder.isDir())
            throw QuilloryError(folder.exists() ? QStringLiteral("\"%1\" is a file, not a folder; a disc image is "
                                                                 "added with --image.")
                                                      .arg(root)
                                                : QStringLiteral("There is no folder \"%1\".").arg(root));
        root = QDir::cleanPath(folder.absoluteFilePath());
    }
    if (image) {
        volume = ImageScanner::volumeOf(a.value(QStringLiteral("image")));
    } else if (standIn) {
        volume.label = a.value(QStringLiteral("label"));
        volume.serial = a.value(QStringLiteral("serial")).toUpper();
        volume.fileSystem = a.value(QStringLiteral("fs"));
        if (!DiscAdder::isValidSerial(volume.serial))
            throw CliUsageError(QStringLiteral("--serial takes eight hexadecimal digits, not \"%1\"")
                                    .arg(a.value(QStringLiteral("serial"))));
    } else {
        VolumeBackend *backend = VolumeBackend::defaultBackend();
        if (!DiscIn(root, backend) && root.startsWith(QLatin1String("/dev/"))) {
            // A medium that is in the drive but not mounted is mounted the way the desktop would.
            QString error;
            const QString mounted = backend->mount(root, &error);
            if (mounted.isEmpty())
                throw QuilloryError(QStringLiteral("Disc not present in drive %1 (%2)").arg(root, error));
            root = mounted;
        }
        if (!DiscIn(root, backend) || !QFileInfo(root).isDir())
            throw QuilloryError(QStringLiteral("Disc not present in drive %1").arg(root));
        if (!isVolumeRoot(root, backend))
            throw QuilloryError(
                QStringLiteral("%1 is not the root of a volume, so it has no serial number of its own; ").arg(root) +
                kGiveSerial);
        TDiskInfo info(nullptr, backend);
        info.setDrive(root);
        volume.label = info.VolumeName();
        volume.serial = info.SerialNumber();
        volume.fileSystem = info.FileSystemType();
        volume.totalSize = info.TotalDiskSpace();
        if (!DiscAdder::isValidSerial(volume.serial))
            throw QuilloryError(QStringLiteral("Cannot read the serial number of the volume at %1; ").arg(root) +
                                kGiveSerial);
    }
    if (!image)
        volume.root = root;

    // Checked before the catalogue is locked, which makes it when there is none.
    const std::optional<int> number =
        a.has(QStringLiteral("number"))
            ? std::optional<int>(CliArgs::wholeNumber(QStringLiteral("--number"), a.value(QStringLiteral("number"))))
            : std::nullopt;
    Catalogue &cat = ctx.catalogue();
    if (!cat.canSave())
        throw QuilloryError(QStringLiteral("The catalogue could not be read, so nothing is added to it."));
    Preferences prefs;
    prefs.load(DataPaths::settingsFile(ctx.dataFolder()));
    prefs.loadExclusions(ctx.dataFolder());
    ScanOptions options = ScanOptions::from(prefs);
    options.checksums = options.checksums || a.flag(QStringLiteral("checksums"));
    DiscAdder adder(cat, options);

    TreeNode *old = adder.existing(volume.serial);
    if (old && !a.flag(QStringLiteral("replace")))
        throw QuilloryError(
            QStringLiteral("Disc is already in database (\"%1\"). Give --replace to update entry.").arg(old->text()));

    // An entry updated keeps what the command line does not give: its place, its details, its
    // borrower. Only the window's Add Disc shows them to be typed again.
    TreeNode *parent = old ? old->parent() : cat.tree().root();
    if (a.has(QStringLiteral("group"))) {
        parent = FindGroup(cat.tree().root(), a.value(QStringLiteral("group")));
        if (!parent)
            throw QuilloryError(
                QStringLiteral("There is no group \"%1\" in the catalogue.").arg(a.value(QStringLiteral("group"))));
    }
    if (old) {
        const DiscDetails kept = DiscAdder::keptDetails(*old);
        // A folder standing in for a volume has only the label and file system it was given.
        if (standIn && !a.has(QStringLiteral("label")))
            volume.label = old->cd()->VolumeLabel;
        if (standIn && !a.has(QStringLiteral("fs")))
            volume.fileSystem = old->cd()->FileSystem;
        if (!a.has(QStringLiteral("genre")))
            details.genre = kept.genre;
        if (!a.has(QStringLiteral("description")))
            details.description = kept.description;
        details.number = kept.number;
        details.lentTo = kept.lentTo;
    } else {
        details.number = adder.nextNumber();
    }
    if (number)
        details.number = *number;

    // The add writes the tree with the disc in one switch: a save after it could only turn a
    // disc added into a failure.
    TreeNode *node = adder.add(volume, details, parent, old);
    ctx.io().printLine(CDToStr(*node->cd()));
    // The disc is added all the same; what the scan could not read is named, one line each.
    for (const ScanProblem &problem : adder.unreadable())
        ctx.io().error(problem.text());
    if (!adder.unfinished().isEmpty())
        ctx.io().error(adder.unfinished());
    return 0;
}
