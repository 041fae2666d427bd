#include "gui/AppDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QQueue>
#include <QRegularExpression>
#include <QStyle>
#include <algorithm>

namespace
{
bool g_scripted = false;
QQueue<QMessageBox::StandardButton> g_answers;
QQueue<std::optional<QString>> g_inputs;
QQueue<QString> g_fileNames;
QList<AppDialogs::Shown> g_shown;

QString buttonName(QMessageBox::StandardButton b)
{
    switch (b) {
    case QMessageBox::Yes:
        return QStringLiteral("Yes");
    case QMessageBox::No:
        return QStringLiteral("No");
    case QMessageBox::Cancel:
        return QStringLiteral("Cancel");
    case QMessageBox::Open:
        return QStringLiteral("Choose Folder");
    case QMessageBox::Apply:
        return QStringLiteral("Choose Image");
    default:
        return QStringLiteral("OK");
    }
}

QString kindCaption(AppDialogs::Kind kind)
{
    switch (kind) {
    case AppDialogs::Warning:
        return QStringLiteral("Warning");
    case AppDialogs::Error:
        return QStringLiteral("Error");
    case AppDialogs::Confirmation:
        return QStringLiteral("Confirm");
    default:
        return QStringLiteral("Information");
    }
}

// Wide enough for the caption beside the title bar's buttons, the prompt, and a name of some
// thirty characters; never below 300 pixels.
int inputBoxWidth(const QFontMetrics &fm, const QString &caption, const QString &prompt)
{
    const int titleButtons = 4 * fm.height() + 24;
    const int margins = 2 * fm.height();
    return std::max({300, fm.horizontalAdvance(caption) + titleButtons, fm.horizontalAdvance(prompt) + margins,
                     30 * fm.averageCharWidth() + margins});
}

QString withSuffix(const QString &name, const QString &suffix)
{
    // An extension is a short word after the last ".": "Vol. 2 Report" has none.
    static const QRegularExpression extension(QStringLiteral("^(?=.*[A-Za-z])[A-Za-z0-9]{1,5}$"));
    if (name.isEmpty() || suffix.isEmpty() || extension.match(QFileInfo(name).suffix()).hasMatch())
        return name;
    return name + u'.' + suffix;
}

// The extension a filter's one pattern names: "Text File (*.txt)" gives "txt".
QString filterSuffix(const QString &filter)
{
    static const QRegularExpression one(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
    return one.match(filter).captured(1);
}

QString scriptedFileName()
{
    return g_fileNames.isEmpty() ? QString() : g_fileNames.dequeue();
}

QString fileDialog(QWidget *parent, bool save, const QString &caption, const QString &filter,
                   const QString &defaultSuffix, const QString &proposed)
{
    QString chosen;
    if (g_scripted) {
        chosen = scriptedFileName();
    } else {
        QFileDialog dlg(parent, caption, QFileInfo(proposed).path(), filter);
        dlg.setObjectName(save ? QStringLiteral("SaveDialog") : QStringLiteral("OpenDialog"));
        dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dlg.setDefaultSuffix(defaultSuffix);
        // The type chosen gives the extension: "Text File" must not give a ".html" name.
        QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg, &defaultSuffix](const QString &f) {
            const QString suffix = filterSuffix(f);
            dlg.setDefaultSuffix(suffix.isEmpty() ? defaultSuffix : suffix);
        });
        // A proposal that ends in "/" is a folder to start in, with no name given.
        if (!proposed.endsWith(u'/'))
            dlg.selectFile(proposed);
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            chosen = save ? withSuffix(dlg.selectedFiles().constFirst(), dlg.defaultSuffix())
                          : dlg.selectedFiles().constFirst();
    }
    // A file chosen to be opened is taken as it is named.
    if (save || !QFileInfo::exists(chosen))
        chosen = withSuffix(chosen, defaultSuffix);
    g_shown.append({save ? QStringLiteral("save") : QStringLiteral("open"), AppDialogs::Information, caption, proposed,
                    chosen.isEmpty() ? QStringLiteral("Cancel") : chosen});
    return chosen;
}
} // namespace

QMessageBox::StandardButton AppDialogs::message(QWidget *parent, Kind kind, const QString &fullText, Buttons buttons)
{
    // A list of every file a removed disc could not give would make a box taller than any
    // screen, its buttons out of reach.
    constexpr int MostLines = 25;
    QString text = fullText;
    if (const qsizetype lines = text.count(u'\n') + 1; lines > MostLines) {
        qsizetype cut = -1;
        for (int i = 0; i < MostLines - 1; ++i)
            cut = text.indexOf(u'\n', cut + 1);
        text = text.left(cut) + QStringLiteral("\n... and %1 more lines.").arg(lines - (MostLines - 1));
    }
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    if (buttons == YesNo)
        set = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == OkCancel)
        set = QMessageBox::Ok | QMessageBox::Cancel;
    else if (buttons == OkFolderImageCancel)
        set = QMessageBox::Ok | QMessageBox::Open | QMessageBox::Apply | QMessageBox::Cancel;
    else if (buttons == OkFolderCancel)
        set = QMessageBox::Ok | QMessageBox::Open | QMessageBox::Cancel;

    QMessageBox::StandardButton answer;
    if (g_scripted) {
        if (!g_answers.isEmpty() && (set & g_answers.head()))
            answer = g_answers.dequeue();
        else
            answer = buttons == YesNo ? QMessageBox::No : (buttons == Ok ? QMessageBox::Ok : QMessageBox::Cancel);
    } else {
        const QMessageBox::Icon icon = kind == Warning        ? QMessageBox::Warning
                                       : kind == Error        ? QMessageBox::Critical
                                       : kind == Confirmation ? QMessageBox::Question
                                                              : QMessageBox::Information;
        // "Choose Image..." is a button of the box's own, placed beside "Choose Folder...".
        QMessageBox box(icon, kindCaption(kind), text, set & ~QMessageBox::StandardButtons(QMessageBox::Apply), parent);
        box.setObjectName(QStringLiteral("MessageBox"));
        // The texts name discs, files and folders, which may hold "<" and "&": never markup.
        box.setTextFormat(Qt::PlainText);
        // Questions of these kinds delete or replace something on Yes: Enter must not answer them.
        if (buttons == YesNo)
            box.setDefaultButton(kind == Confirmation || kind == Warning ? QMessageBox::No : QMessageBox::Yes);
        QPushButton *image = nullptr;
        if (buttons == OkFolderImageCancel || buttons == OkFolderCancel) {
            box.button(QMessageBox::Open)->setText(QStringLiteral("Choose &Folder..."));
            box.setDefaultButton(QMessageBox::Ok);
        }
        if (buttons == OkFolderImageCancel) {
            image = box.addButton(QStringLiteral("Choose &Image..."), QMessageBox::AcceptRole);
            image->setIcon(box.style()->standardIcon(QStyle::SP_DriveCDIcon));
        }
        const int pressed = box.exec();
        answer = image && box.clickedButton() == image ? QMessageBox::Apply
                                                       : static_cast<QMessageBox::StandardButton>(pressed);
    }
    g_shown.append({QStringLiteral("message"), kind, kindCaption(kind), text, buttonName(answer)});
    return answer;
}

void AppDialogs::showError(QWidget *parent, const QString &text)
{
    message(parent, Error, text, Ok);
}

bool AppDialogs::inputBox(QWidget *parent, const QString &caption, const QString &prompt, QString &value)
{
    bool ok = false;
    if (g_scripted) {
        if (!g_inputs.isEmpty()) {
            const std::optional<QString> next = g_inputs.dequeue();
            ok = next.has_value();
            if (ok)
                value = *next;
        }
    } else {
        QInputDialog dlg(parent);
        dlg.setObjectName(QStringLiteral("InputBox"));
        dlg.setWindowTitle(caption);
        dlg.setLabelText(prompt);
        dlg.setTextValue(value);
        // The dialog's layout sizes it by its children, so the edit box carries the width.
        if (auto *edit = dlg.findChild<QLineEdit *>()) {
            const QMargins m = dlg.layout() ? dlg.layout()->contentsMargins() : QMargins();
            edit->setMinimumWidth(inputBoxWidth(dlg.fontMetrics(), caption, prompt) - m.left() - m.right());
        }
        ok = dlg.exec() == QDialog::Accepted;
        if (ok)
            value = dlg.textValue();
    }
    g_shown.append({QStringLiteral("input"), Information, caption, prompt, ok ? value : QStringLiteral("Cancel")});
    return ok;
}

QString AppDialogs::fileNameOf(QString title)
{
    return title.replace(u'/', u'_').replace(u'"', u'_');
}

QString AppDialogs::saveFileName(QWidget *parent, const QString &caption, const QString &filter,
                                 const QString &defaultSuffix, const QString &proposed)
{
    return fileDialog(parent, true, caption, filter, defaultSuffix, proposed);
}

QString AppDialogs::openFileName(QWidget *parent, const QString &caption, const QString &filter,
                                 const QString &defaultSuffix, const QString &proposed)
{
    return fileDialog(parent, false, caption, filter, defaultSuffix, proposed);
}

QString AppDialogs::folderName(QWidget *parent, const QString &caption, const QString &proposed)
{
    QString chosen;
    if (g_scripted) {
        chosen = scriptedFileName();
    } else {
        QFileDialog dlg(parent, caption, proposed);
        dlg.setObjectName(QStringLiteral("FolderDialog"));
        dlg.setFileMode(QFileDialog::Directory);
        dlg.setOption(QFileDialog::ShowDirsOnly);
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            chosen = dlg.selectedFiles().constFirst();
    }
    g_shown.append({QStringLiteral("folder"), Information, caption, proposed,
                    chosen.isEmpty() ? QStringLiteral("Cancel") : chosen});
    return chosen;
}

void AppDialogs::setScripted(bool on)
{
    g_scripted = on;
}

void AppDialogs::pushAnswer(QMessageBox::StandardButton answer)
{
    g_answers.enqueue(answer);
}

void AppDialogs::pushInput(const std::optional<QString> &text)
{
    g_inputs.enqueue(text);
}

void AppDialogs::pushFileName(const QString &name)
{
    g_fileNames.enqueue(name);
}

const QList<AppDialogs::Shown> &AppDialogs::shown()
{
    return g_shown;
}

QStringList AppDialogs::shownTexts()
{
    QStringList out;
    for (const Shown &s : g_shown)
        out.append(s.text);
    return out;
}

void AppDialogs::clearShown()
{
    g_shown.clear();
}

int AppDialogs::pendingAnswers()
{
    return static_cast<int>(g_answers.size() + g_inputs.size() + g_fileNames.size());
}

void AppDialogs::clearAnswers()
{
    g_answers.clear();
    g_inputs.clear();
    g_fileNames.clear();
}
