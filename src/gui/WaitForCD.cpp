#include "WaitForCD.h"

#include "AppDialogs.h"
#include "acquire/DiscFinder.h"

using namespace Qt::StringLiterals;

QString WaitForCD(QWidget *parent, const QString &serial, const QString &title, VolumeBackend *backend)
{
    const QString prompt = u"Please insert disc labeled \""_s + title + u"\" into CD-Drive and press OK."_s;
    for (;;) {
        const QString root = findDiscBySerial(serial, backend);
        if (!root.isEmpty())
            return root;
        if (AppDialogs::message(parent, AppDialogs::Information, prompt, AppDialogs::OkCancel) != QMessageBox::Ok)
            return QString();
    }
}
