#include "DiscCommands.h"

#include "DriveControls.h"
#include "TCDForm.h"
#include "TNewForm.h"
#include "acquire/DiscDrive.h"
#include "acquire/ImageScanner.h"
#include "acquire/MediaWatcher.h"
#include "core/QuilloryError.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/TBusyForm.h"
#include "listing/Navigator.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/GroupTree.h"
#include "store/TreeNames.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMainWindow>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

DiscCommands::DiscCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QMainWindow *window,
                           VolumeBackend *backend)
    : QObject(window), m_workspace(workspace), m_navigator(navigator), m_actions(actions), m_window(window),
      m_drive(new DiscDrive(backend, this)), m_controls(new DriveControls(*m_drive, actions, window)),
      m_watcher((backend ? backend : VolumeBackend::defaultBackend())->createWatcher(this))
{
    connect(actions.claim(u"AddDisc1"_s), &QAction::triggered, this, &DiscCommands::AddDisc1Click);
    connect(actions.claim(u"AddDisc2"_s), &QAction::triggered, this, &DiscCommands::AddDisc1Click);
    connect(actions.claim(u"AddDiscFromImage1"_s), &QAction::triggered, this, &DiscCommands::AddDiscFromImage1Click);
    connect(actions.claim(u"EditDiscEntry1"_s), &QAction::triggered, this, &DiscCommands::EditDiscEntry1Click);
    connect(m_watcher, &MediaWatcher::mediaArrived, this, &DiscCommands::mediaArrived);
    connect(m_watcher, &MediaWatcher::mediaRemoved, this, &DiscCommands::mediaRemoved);
    connect(&navigator, &Navigator::currentNodeChanged, this, &DiscCommands::setCaptions);
    connect(&workspace, &Workspace::opened, this, &DiscCommands::updateCommandStates);

    if (auto *tree = window->findChild<QAbstractItemView *>(u"Tree"_s))
        connect(tree, &QAbstractItemView::doubleClicked, this, [this] {
            const TreeNode *node = m_navigator.currentNode();
            if (node && node->isDisc() && m_workspace.preferences().discEditDblClick())
                EditDiscEntry1Click();
        });
    // Closing the window in the middle of a scan would save a catalogue that is half-way
    // through a change.
    window->installEventFilter(this);
}

QString DiscCommands::addDiscCaption(const QString &group)
{
    return u"Add Disc to \""_s + group + u'"';
}

QString DiscCommands::unreadableMessage(const ScanProblems &problems)
{
    // A box taller than the screen would hide its button, one wider would hide the reasons.
    constexpr qsizetype Listed = 10;
    constexpr qsizetype LineWidth = 120;
    // A file read for its checksum keeps its size and date, a folder what was listed of it:
    // "not in the catalogue" would be wrong for those.
    QString text =
        problems.size() == 1
            ? u"The disc was added, but one entry could not be read; the catalogue holds what was read of it:\n"_s
            : u"The disc was added, but %1 entries could not be read; the catalogue holds what was read of them:\n"_s
                  .arg(problems.size());
    for (qsizetype i = 0; i < std::min(problems.size(), Listed); ++i) {
        QString line = problems[i].text();
        if (line.size() > LineWidth)
            line = line.left(LineWidth / 2 - 1) + u'\u2026' + line.right(LineWidth / 2);
        text += u'\n' + line;
    }
    if (problems.size() > Listed)
        text += u"\n\u2026 and %1 more."_s.arg(problems.size() - Listed);
    return text;
}

TNewForm *DiscCommands::newForm()
{
    if (!m_newForm) {
        m_newForm = new TNewForm(m_workspace, m_navigator, *m_drive, m_window);
        connect(m_newForm, &TNewForm::scanFinished, this, &DiscCommands::scanFinished);
        setCaptions(m_navigator.currentNode());
    }
    return m_newForm;
}

TCDForm *DiscCommands::cdForm()
{
    if (!m_cdForm)
        m_cdForm = new TCDForm(m_workspace, m_navigator, m_window);
    return m_cdForm;
}

void DiscCommands::setCaptions(TreeNode *node)
{
    const TreeNode *group = Navigator::groupOf(node);
    const QString name = group ? group->text() : QString();
    m_actions.setCaption(u"AddDisc1"_s, addDiscCaption(TreeNames::ShortName(name)) + u"..."_s);
    if (m_newForm && group)
        m_newForm->setWindowTitle(addDiscCaption(name));
}

void DiscCommands::updateCommandStates()
{
    const bool writable = !m_workspace.isReadOnly();
    for (const QString &name : {u"AddDisc1"_s, u"AddDisc2"_s, u"AddDiscFromImage1"_s, u"EditDiscEntry1"_s})
        m_actions.action(name)->setEnabled(writable);
}

bool DiscCommands::scanning() const
{
    return m_newForm && m_newForm->isScanning();
}

void DiscCommands::AddDisc1Click()
{
    if (m_workspace.isReadOnly() || scanning())
        return;
    TNewForm *form = newForm();
    if (form->isVisible()) {
        form->raise();
        form->activateWindow();
        return;
    }
    form->FormShow();
}

void DiscCommands::AddDiscFromImage1Click()
{
    if (m_workspace.isReadOnly() || scanning())
        return;
    const QString image = AppDialogs::openFileName(m_window, u"Add Disc from Image"_s, ImageScanner::dialogFilter(),
                                                   u"iso"_s, m_lastImage);
    if (image.isEmpty())
        return;
    m_lastImage = image;
    DiscVolume volume;
    try {
        volume = ImageScanner::volumeOf(image);
    } catch (const QuilloryError &e) {
        AppDialogs::message(m_window, AppDialogs::Error, e.message());
        return;
    }
    newForm()->FormShowImage(volume);
}

void DiscCommands::EditDiscEntry1Click()
{
    if (m_workspace.isReadOnly() || scanning())
        return;
    TreeNode *node = m_navigator.currentNode();
    if (node && node->isDisc())
        cdForm()->FormShow(node);
}

bool DiscCommands::noticesWelcome() const
{
    if (!m_window->isVisible())
        return false;
    // Until the start-up window has gone the catalogue is still being opened.
    for (const QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("SplashForm") && w->isVisible())
            return false;
    return true;
}

void DiscCommands::mediaArrived()
{
    if (!noticesWelcome())
        return;
    if (scanning()) {
        m_arrivedDuringScan = true;
        return;
    }
    const bool arrived = m_drive->mediaArrived();
    if (m_newForm)
        m_newForm->mediaChanged();
    else
        m_drive->readVolume(false);
    // An unknown disc opens the dialog, unless it is open already or another window has the
    // main window (the Edit Disc dialog, an export, a question still waiting for its answer,
    // such as the first run's offer of the sample), or the user types in another of its windows
    // (the keys would go into the dialog). Only a disc that came into a removable or optical
    // drive counts: any other mount (a system volume, an unrelated device) is no disc to add.
    const bool showing = m_newForm && m_newForm->isVisible();
    const QWidget *typing = QApplication::activeWindow();
    if (!arrived || showing || !m_workspace.preferences().autoInsert() || !m_drive->discIn() ||
        !m_window->isEnabled() || QApplication::activeModalWidget() || (typing && typing != m_window))
        return;
    const QString serial = m_drive->volume().SerialNumber();
    if (!serial.isEmpty() && !FindCD(m_workspace.tree().root(), serial))
        AddDisc1Click();
}

void DiscCommands::mediaRemoved()
{
    if (!noticesWelcome())
        return;
    if (scanning()) {
        m_removedDuringScan = true;
        return;
    }
    m_drive->mediaRemoved();
    if (m_newForm)
        m_newForm->mediaChanged();
}

void DiscCommands::scanFinished()
{
    if (m_closeAfterScan) {
        m_closeAfterScan = false;
        m_arrivedDuringScan = m_removedDuringScan = false;
        QTimer::singleShot(0, m_window, &QWidget::close);
        return;
    }
    // Once the Add command has finished (it may eject): what the scan could not read, then what
    // happened to the drives meanwhile.
    if (m_newForm && !m_newForm->unreadable().isEmpty())
        QTimer::singleShot(0, this, [this, text = unreadableMessage(m_newForm->unreadable())] {
            AppDialogs::message(m_window, AppDialogs::Warning, text);
        });
    const bool removed = std::exchange(m_removedDuringScan, false);
    const bool arrived = std::exchange(m_arrivedDuringScan, false);
    if (removed)
        QTimer::singleShot(0, this, &DiscCommands::mediaRemoved);
    if (arrived)
        QTimer::singleShot(0, this, &DiscCommands::mediaArrived);
}

bool DiscCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close && scanning()) {
        // The main window is disabled; the busy window is what the user sees.
        QWidget *parent = m_newForm->busyForm() ? static_cast<QWidget *>(m_newForm->busyForm()) : m_window;
        // A session that ends cannot wait for the answer: the scan stops, and the window closes.
        if (!m_workspace.asksBeforeLoss() ||
            AppDialogs::message(parent, AppDialogs::Confirmation,
                                u"A disc is being added to the database. Stop the scan and close the program? "
                                u"The disc will not be added."_s,
                                AppDialogs::YesNo) == QMessageBox::Yes) {
            m_closeAfterScan = true;
            m_newForm->requestStop();
        }
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
