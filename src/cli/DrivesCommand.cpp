#include "DrivesCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "acquire/DiscIn.h"
#include "acquire/TDiskInfo.h"
#include "acquire/VolumeBackend.h"

int DrivesCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {});
    if (!parsed.positional().isEmpty())
        throw CliUsageError(QStringLiteral("unexpected argument \"%1\"").arg(parsed.positional().first()));
    VolumeBackend *backend = VolumeBackend::defaultBackend();
    TDiskInfo info(nullptr, backend);
    QString out;
    for (const DriveEntry &e : backend->drives()) {
        QStringList fields = {e.text, DriveTypeText(e.kind)};
        // The volume fields only for a drive with a disc, as the Add Disc dialog shows them.
        if (DiscIn(e.text, backend)) {
            info.setDrive(e.text);
            fields << QStringLiteral("present") << info.VolumeName() << info.SerialNumber() << info.FileSystemType()
                   << QString::number(info.TotalDiskSpace());
        } else {
            fields << QStringLiteral("empty") << QString() << QString() << QString() << QString();
        }
        // A label could hold a TAB or a line break; keep one drive per line.
        for (QString &f : fields)
            f.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
        out += fields.join(u'\t') + u'\n';
    }
    ctx.io().print(out);
    return 0;
}
