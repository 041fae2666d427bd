#include "WaitForCD.h"

#include "AppDialogs.h"
#include "acquire/DiscFinder.h"

#include <QDir>

using namespace Qt::StringLiterals;

QString WaitForCD(QWidget *parent, const QString &serial, const QString &title, VolumeBackend *backend,
                  DiscSource source)
{
    const QString prompt = u"Please insert disc labeled \""_s + title + u"\" into CD-Drive and press OK."_s;
    const bool folderAllowed = source == DiscSource::DriveOrFolder;
    for (;;) {
        const QString root = findDiscBySerial(serial, backend);
        if (!root.isEmpty())
            return root;
        const QMessageBox::StandardButton answer = AppDialogs::message(
            parent, AppDialogs::Information, prompt, folderAllowed ? AppDialogs::OkFolderCancel : AppDialogs::OkCancel);
        if (answer == QMessageBox::Open) {
            // Cancel in the folder dialog goes back to the question.
            const QString folder =
                AppDialogs::folderName(parent, u"Choose the Folder of \"%1\""_s.arg(title), QDir::homePath());
            if (!folder.isEmpty())
                return folder;
        } else if (answer != QMessageBox::Ok) {
            return QString();
        }
    }
}
