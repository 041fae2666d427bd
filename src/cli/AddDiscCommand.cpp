#include "AddDiscCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "acquire/DiscAdder.h"
#include "acquire/DiscIn.h"
#include "acquire/TDiskInfo.h"
#include "acquire/VolumeBackend.h"
#include "settings/Preferences.h"
#include "store/Catalogue.h"
#include "store/DataPaths.h"
#include "core/QuilloryError.h"

#include <QFileInfo>

QString AddDiscCommand::details() const
{
    return QStringLiteral(
        "ROOT is a mounted volume (its label, serial number, file system and size are read from it), or, with\n"
        "--label, --serial and --fs given together, any folder standing in for one.\n"
        "  --group NAME        the group to add the disc to (default: the root of the catalogue)\n"
        "  --number N          the disc number (default: the number of discs plus one)\n"
        "  --description TEXT  may hold line breaks\n"
        "  --replace           update the entry when the disc is already in the catalogue\n"
        "The scan follows the preferences (see config): filters, exclusions, empty and hidden entries.");
}

int AddDiscCommand::run(CliContext &ctx, const QStringList &args)
{
    const CliArgs a(args,
                    {QStringLiteral("title"), QStringLiteral("group"), QStringLiteral("genre"),
                     QStringLiteral("number"), QStringLiteral("description"), QStringLiteral("label"),
                     QStringLiteral("serial"), QStringLiteral("fs")},
                    {QStringLiteral("replace")});
    if (a.positional().size() != 1)
        throw CliUsageError(QStringLiteral("one ROOT is needed"));
    if (!a.has(QStringLiteral("title")))
        throw CliUsageError(QStringLiteral("--title is needed"));
    const int overrides =
        int(a.has(QStringLiteral("label"))) + int(a.has(QStringLiteral("serial"))) + int(a.has(QStringLiteral("fs")));
    if (overrides != 0 && overrides != 3)
        throw CliUsageError(QStringLiteral("--label, --serial and --fs go together"));

    DiscDetails details;
    details.title = a.value(QStringLiteral("title"));
    details.genre = a.value(QStringLiteral("genre"));
    details.description = a.value(QStringLiteral("description"));
    const QString checked = DiscAdder::CheckDetails(details);
    if (!checked.isNull())
        throw QuilloryError(checked);

    DiscVolume volume;
    QString root = a.positional().first();
    if (overrides == 3) {
        if (!QFileInfo(root).isDir())
            throw QuilloryError(QStringLiteral("Disc not present in drive %1").arg(root));
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
        TDiskInfo info(nullptr, backend);
        info.setDrive(root);
        volume.label = info.VolumeName();
        volume.serial = info.SerialNumber();
        volume.fileSystem = info.FileSystemType();
        volume.totalSize = info.TotalDiskSpace();
        if (!DiscAdder::isValidSerial(volume.serial))
            throw QuilloryError(
                QStringLiteral("Cannot read the serial number of the volume at %1; give --label, --serial and --fs.")
                    .arg(root));
    }
    volume.root = root;

    Catalogue &cat = ctx.catalogue();
    if (!cat.canSave())
        throw QuilloryError(QStringLiteral("The catalogue could not be read, so nothing is added to it."));
    Preferences prefs;
    prefs.load(DataPaths::settingsFile(ctx.dataFolder()));
    prefs.loadExclusions(ctx.dataFolder());
    DiscAdder adder(cat, prefs);

    TreeNode *parent = cat.tree().root();
    if (a.has(QStringLiteral("group"))) {
        parent = FindGroup(cat.tree().root(), a.value(QStringLiteral("group")));
        if (!parent)
            throw QuilloryError(
                QStringLiteral("There is no group \"%1\" in the catalogue.").arg(a.value(QStringLiteral("group"))));
    }
    details.number =
        a.has(QStringLiteral("number")) ? StrToInt32(a.value(QStringLiteral("number"))) : adder.nextNumber();

    TreeNode *old = adder.existing(volume.serial);
    if (old && !a.flag(QStringLiteral("replace")))
        throw QuilloryError(
            QStringLiteral("Disc is already in database (\"%1\"). Give --replace to update entry.").arg(old->text()));

    TreeNode *node = adder.add(volume, details, parent, old);
    cat.save();
    ctx.io().printLine(CDToStr(*node->cd()));
    return 0;
}
