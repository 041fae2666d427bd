#include "WaitForCD.h"

#include "AppDialogs.h"
#include "acquire/DiscFinder.h"
#include "acquire/ImageScanner.h"

#include <QDir>

using namespace Qt::StringLiterals;

QString WaitForCD(QWidget *parent, const QString &serial, const QString &title, VolumeBackend *backend,
                  DiscSource source)
{
    const QString prompt = u"Please insert disc labeled \""_s + title + u"\" into CD-Drive and press OK."_s;
    const AppDialogs::Buttons buttons = source == DiscSource::DriveFolderOrImage ? AppDialogs::OkFolderImageCancel
                                        : source == DiscSource::DriveOrFolder    ? AppDialogs::OkFolderCancel
                                                                                 : AppDialogs::OkCancel;
    for (;;) {
        const QString root = findDiscBySerial(serial, backend);
        if (!root.isEmpty())
            return root;
        const QMessageBox::StandardButton answer =
            AppDialogs::message(parent, AppDialogs::Information, prompt, buttons);
        // Cancel in the folder or file dialog goes back to the question.
        if (answer == QMessageBox::Open) {
            const QString folder =
                AppDialogs::folderName(parent, u"Choose the Folder of \"%1\""_s.arg(title), QDir::homePath());
            // Files taken from another disc's root would pass for this disc's: the serial decides,
            // as it does for a drive. A plain folder is the user's copy of the disc. Verify reads
            // any folder and says when it is another volume.
            const QString found =
                source == DiscSource::DriveOrFolder && !folder.isEmpty() ? volumeSerialAt(folder, backend) : QString();
            if (!found.isEmpty() && found != serial)
                AppDialogs::message(parent, AppDialogs::Error,
                                    u"\"%1\" is the root of another disc (serial %2), not of \"%3\"."_s.arg(
                                        QDir::toNativeSeparators(folder), found, title));
            else if (!folder.isEmpty())
                return folder;
        } else if (answer == QMessageBox::Apply) {
            const QString image =
                AppDialogs::openFileName(parent, u"Choose the Image of \"%1\""_s.arg(title),
                                         ImageScanner::dialogFilter(), QString(), QDir::homePath() + u'/');
            if (!image.isEmpty())
                return image;
        } else if (answer != QMessageBox::Ok) {
            return QString();
        }
    }
}
