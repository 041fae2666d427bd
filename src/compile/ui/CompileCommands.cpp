#include "CompileCommands.h"

#include "CompilationPanel.h"
#include "CompilationView.h"
#include "TBurnForm.h"
#include "TCopyForm.h"
#include "acquire/DiscDrive.h"
#include "compile/CompilationList.h"
#include "compile/CompileSelection.h"
#include "compile/DiscBatches.h"
#include "compile/FileCopier.h"
#include "compile/M3UPlaylist.h"
#include "compile/TCDBurner.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/ItemSelection.h"
#include "gui/WaitForCD.h"
#include "listing/Navigator.h"
#include "session/Workspace.h"
#include "store/GroupTree.h"
#include "store/TCD.h"
#include "store/TreeNode.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QMenu>
#include <QProgressDialog>
#include <filesystem>

using namespace Qt::Literals::StringLiterals;

CompileCommands::CompileCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions,
                                 QWidget *contentsList, QItemSelectionModel *selection, DiscDrive &drive,
                                 QWidget *window)
    : QObject(window), m_workspace(workspace), m_navigator(navigator), m_actions(actions), m_contentsList(contentsList),
      m_selection(selection), m_drive(drive), m_window(window), m_list(new CompilationList(this)),
      m_panel(new CompilationPanel(*m_list))
{
    m_panel->hide();
    // Closed while copying, the window would go and the copy go on unseen, the catalogue held.
    connect(&workspace, &Workspace::aboutToClose, this, [this] {
        m_closing = true;
        if (m_burner && m_burner->IsBurning())
            m_burner->cancelBurn();
    });
    QAction *toggle = actions.claim(u"ToggleCompilation1"_s);
    toggle->setCheckable(true);
    connect(toggle, &QAction::triggered, this, &CompileCommands::ToggleCompilationButtonClick);
    connect(actions.claim(u"AddtoCompilation1"_s), &QAction::triggered, this, &CompileCommands::AddtoCompilation1Click);
    connect(actions.claim(u"CopytoHDD1"_s), &QAction::triggered, this, &CompileCommands::CopytoHDD1Click);
    connect(actions.claim(u"CopytoHDD2"_s), &QAction::triggered, this, &CompileCommands::CopytoHDD1Click);
    connect(actions.claim(u"CreatePlaylist1"_s), &QAction::triggered, this, [this] { M3UClick(m_drive.driveText()); });

    connect(m_panel, &CompilationPanel::closeClicked, this, &CompileCommands::ToggleCompilationButtonClick);
    connect(m_panel, &CompilationPanel::clearClicked, this, &CompileCommands::ClearButtonClick);
    connect(m_panel, &CompilationPanel::deleteClicked, this, &CompileCommands::CompilationDeleteButtonClick);
    connect(m_panel, &CompilationPanel::burnClicked, this, &CompileCommands::BurnButtonClick);
    m_panel->view()->setDropRule([this](QObject *source) { return CompilationListDragOver(source); });
    connect(m_panel->view(), &CompilationView::dropped, this, &CompileCommands::CompilationListDragDrop);

    // The copy's button is on while what is selected can be copied: not for ".." alone, a disc
    // of a group listing or an entry inside an archive, for which the command does nothing.
    connect(m_selection, &QItemSelectionModel::selectionChanged, this, &CompileCommands::updateCopyState);
    connect(m_selection->model(), &QAbstractItemModel::modelReset, this, &CompileCommands::updateCopyState);
    connect(&navigator, &Navigator::locationChanged, this, &CompileCommands::updateCopyState);
    updateCopyState();

    // A burn under way is not ended by closing the main window without a word.
    window->installEventFilter(this);

    // The drives' submenu is made again whenever the drives change.
    connect(&drive, &DiscDrive::drivesChanged, this, &CompileCommands::hookPlaylistMenu);
    hookPlaylistMenu();
}

CompileCommands::~CompileCommands()
{
    // Placed in the window, the panel goes with it; otherwise with us.
    if (m_panel && !m_panel->parent())
        delete m_panel;
}

QList<int> CompileCommands::selectedRows() const
{
    return ItemSelection::rows(m_selection);
}

void CompileCommands::updateCopyState()
{
    // Told by the first two selected rows (".." and the entry after it): Ctrl+A over millions of
    // hits is not walked at every change. The command itself looks at the whole selection.
    m_actions.action(u"CopytoHDD1"_s)
        ->setEnabled(CompileSelection::canCopy(m_navigator.listing(), m_navigator.location(),
                                               ItemSelection::rows(m_selection, 2)));
}

void CompileCommands::hookPlaylistMenu()
{
    QMenu *menu = m_actions.action(u"CreatePlaylist1"_s)->menu<QMenu *>();
    if (!menu)
        return;
    for (QAction *item : menu->actions()) {
        if (item->property("quilloryHooked").toBool())
            continue;
        item->setProperty("quilloryHooked", true);
        // Queued: a drive change while the save dialog is open refills the menu, deleting this item.
        connect(
            item, &QAction::triggered, this, [this, drive = item->data().toString()] { M3UClick(drive); },
            Qt::QueuedConnection);
    }
}

bool CompileCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close && m_burner && m_burner->IsBurning()) {
        // A session that ends cannot wait for the answer: the burn is cancelled as the window goes.
        if (m_workspace.asksBeforeLoss() &&
            AppDialogs::message(m_window, AppDialogs::Confirmation,
                                u"A disc is being burnt. Cancel the burn and close the program?"_s,
                                AppDialogs::YesNo) != QMessageBox::Yes) {
            event->ignore();
            return true;
        }
        // Cancelled once the window really goes (aboutToClose): a later question may keep it.
    }
    return QObject::eventFilter(watched, event);
}

void CompileCommands::ToggleCompilationButtonClick()
{
    showPanel(m_panel->isHidden());
}

void CompileCommands::showPanel(bool shown)
{
    m_panel->setVisible(shown);
    // Its tool button stays pressed while it shows, as those of the search band and the object info do.
    m_actions.action(u"ToggleCompilation1"_s)->setChecked(shown);
}

bool CompileCommands::CompilationListDragOver(QObject *source) const
{
    auto *widget = qobject_cast<QWidget *>(source);
    if (!widget || !(widget == m_contentsList || m_contentsList->isAncestorOf(widget)))
        return false;
    return CompileSelection::canCopy(m_navigator.listing(), m_navigator.location(), selectedRows());
}

bool CompileCommands::selectionTakable()
{
    const QList<int> rows = selectedRows();
    if (CompileSelection::canCopy(m_navigator.listing(), m_navigator.location(), rows))
        return true;
    // The command was offered by the first selected rows: say why it does nothing.
    if (const QString why = CompileSelection::refusal(m_navigator.listing(), m_navigator.location(), rows);
        !why.isEmpty())
        AppDialogs::message(m_window, AppDialogs::Error, why);
    return false;
}

void CompileCommands::AddtoCompilation1Click()
{
    if (!selectionTakable())
        return;
    CompilationListDragDrop();
    if (m_panel->isHidden())
        showPanel(true);
}

void CompileCommands::CompilationListDragDrop()
{
    m_list->add(CompileSelection::entriesOf(m_navigator.listing(), selectedRows()));
}

void CompileCommands::ClearButtonClick()
{
    m_list->clear();
}

void CompileCommands::CompilationDeleteButtonClick()
{
    m_list->remove(m_panel->view()->selectedRows());
}

void CompileCommands::M3UClick(const QString &driveText)
{
    const QList<CompilationEntry> entries =
        M3UPlaylist::playable(CompileSelection::entriesOf(m_navigator.listing(), selectedRows()));
    if (entries.isEmpty()) {
        AppDialogs::message(m_window, AppDialogs::Error,
                            u"The selected files lie inside ZIP archives, which a player cannot open from the disc; "
                            u"no playlist is written."_s);
        return;
    }
    const QString file =
        AppDialogs::saveFileName(m_window, u"Save M3U Playlist"_s, u"M3U Playlists (*.m3u)"_s, u"m3u"_s, QString());
    if (file.isEmpty())
        return;
    if (const QString problem = m_workspace.writeProblem(file, u"playlist"_s); !problem.isEmpty()) {
        AppDialogs::showError(m_window, problem);
        return;
    }
    // A drive without a mounted medium: the disc will be mounted under its volume label.
    QString label;
    if (const TreeNode *disc = FindCD(m_workspace.tree().root(), entries.first().Place.serial()); disc && disc->cd())
        label = disc->cd()->VolumeLabel;
    QString error;
    if (!M3UPlaylist::CreateList(M3UPlaylist::mediumRoot(driveText, label), file, entries, &error))
        AppDialogs::showError(m_window, error);
}

TCopyForm *CompileCommands::copyForm()
{
    if (!m_copyForm) {
        m_copyForm = new TCopyForm(m_window);
        connect(m_copyForm, &TCopyForm::copyRequested, this, &CompileCommands::copyFromDiscs);
    }
    return m_copyForm;
}

void CompileCommands::CopytoHDD1Click()
{
    if (!selectionTakable())
        return;
    // A search's or a compilation's entries come from many folders, and all go into one.
    const QStringList shared =
        CompilationList::sharedNames(CompileSelection::entriesOf(m_navigator.listing(), selectedRows()));
    if (!shared.isEmpty()) {
        AppDialogs::message(
            m_window, AppDialogs::Error,
            u"The selected entries are copied into one folder, and more than one is named \"%1\". "
            u"Select only one of each, or one of them replaces the other."_s.arg(shared.join(u"\", \""_s)));
        return;
    }
    copyForm()->show();
}

void CompileCommands::copyFromDiscs(const QString &destination)
{
    if (const QString problem = m_workspace.writeProblem(destination, u"copy's destination"_s); !problem.isEmpty()) {
        AppDialogs::showError(m_window, problem);
        return;
    }
    const DiscBatches batches(CompileSelection::entriesOf(m_navigator.listing(), selectedRows()));
    bool allCopied = true;
    // After the list of what could not be copied, or a copy cancelled, "completed" would be untrue.
    if (!fetch(batches, destination, copyForm()->windowTitle(), &allCopied) || !allCopied)
        return;
    AppDialogs::message(m_window, AppDialogs::Information, u"Copy to Hard-Drive completed!"_s);
}

bool CompileCommands::fetch(const DiscBatches &batches, const QString &destination, const QString &title,
                            bool *allCopied)
{
    // A copy cancelled ends the whole fetch: no further disc is asked for.
    bool cancelled = false;
    const bool fetched = batches.copyEach(
        // A copy of the disc in a folder serves as well as the disc.
        [this, &cancelled](const QString &serial, const QString &discTitle) {
            return m_closing || cancelled ? QString()
                                          : WaitForCD(m_window, serial, discTitle, nullptr, DiscSource::DriveOrFolder);
        },
        [&](const QStringList &sources, const QStringList &refused) {
            if (cancelled)
                return;
            const Copied copied = copyWithProgress(sources, refused, destination, title);
            cancelled = copied == Copied::Cancelled;
            if (copied != Copied::Whole && allCopied)
                *allCopied = false;
        });
    return fetched && !cancelled;
}

CompileCommands::Copied CompileCommands::copyWithProgress(const QStringList &sources, const QStringList &refused,
                                                          const QString &destination, const QString &title)
{
    QProgressDialog progress(u"Copying..."_s, u"Cancel"_s, 0, 1000, m_window);
    progress.setObjectName(u"CopyProgress"_s);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    FileCopier copier;
    copier.setProgress([this, &progress](qint64 done, qint64 total, const QString &file) {
        // Cut to a fixed width: a window that grew with each path pushed Cancel off the screen.
        if (!file.isEmpty())
            progress.setLabelText(
                progress.fontMetrics().elidedText(QDir::toNativeSeparators(file), Qt::ElideMiddle, 420));
        progress.setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
        QApplication::processEvents();
        return !progress.wasCanceled() && !m_closing;
    });
    const bool copied = copier.copy(sources, destination);
    const bool cancelled = progress.wasCanceled() || m_closing;
    progress.reset();
    // A cancel is the user's word, not a failure to list.
    if (cancelled)
        return Copied::Cancelled;
    if (copier.failures().isEmpty() && refused.isEmpty())
        return copied ? Copied::Whole : Copied::NotWhole;
    QStringList lines;
    for (const QString &place : refused)
        lines.append(place + u": its name in the catalogue leads out of the disc (a damaged or hand-made list)."_s);
    for (const FileCopier::Failure &f : copier.failures())
        lines.append(f.path + u": "_s + f.reason);
    AppDialogs::message(m_window, AppDialogs::Error, u"These files could not be copied:\n"_s + lines.join(u'\n'));
    return Copied::NotWhole;
}

TCDBurner *CompileCommands::burner()
{
    if (!m_burner)
        m_burner = new TCDBurner(m_window);
    return m_burner;
}

TBurnForm *CompileCommands::burnForm()
{
    if (!m_burnForm)
        m_burnForm = new TBurnForm(*burner(), m_window);
    return m_burnForm;
}

void CompileCommands::BurnButtonClick()
{
    TCDBurner *b = burner();
    // Without a recorder a disc image can still be written; without xorriso nothing.
    if (!b->Equipped() && !b->canWriteImage()) {
        AppDialogs::message(m_window, AppDialogs::Error,
                            u"This feature requires Windows XP (or newer) and CD-Burning device!"_s);
        return;
    }
    if (b->IsBurning()) {
        burnForm()->show();
        return;
    }
    // An empty disc is a blank one spent for nothing.
    if (m_list->count() == 0) {
        AppDialogs::message(m_window, AppDialogs::Information,
                            u"The compilation is empty: add files to it (Add to Compilation) before burning."_s);
        return;
    }
    if (const QStringList shared = m_list->sharedNames(); !shared.isEmpty()) {
        AppDialogs::message(m_window, AppDialogs::Error,
                            u"The new disc holds the entries of the compilation in its root folder, and more than one "
                            u"entry is named \"%1\". Remove all but one of each before burning, or only one of them "
                            u"is burnt."_s.arg(shared.join(u"\", \""_s)));
        return;
    }
    b->ClearFiles();
    // Without its folder nothing can be staged; the copier would only say it is missing.
    std::error_code made;
    std::filesystem::create_directories(QFile::encodeName(b->BurnArea()).toStdString(), made);
    if (made) {
        AppDialogs::showError(
            m_window, u"The staging folder %1 could not be created: %2"_s.arg(QDir::toNativeSeparators(b->BurnArea()),
                                                                              QString::fromLocal8Bit(made.message())));
        return;
    }
    bool allCopied = true;
    // A disc short of files the user was just told about is burnt only when they say so.
    if (!fetch(DiscBatches(m_list->entries()), b->BurnArea(), burnForm()->windowTitle(), &allCopied) ||
        (!allCopied && AppDialogs::message(m_window, AppDialogs::Confirmation,
                                           u"Not every entry of the compilation could be copied. Burn the others "
                                           u"anyway?"_s,
                                           AppDialogs::YesNo) != QMessageBox::Yes)) {
        b->ClearFiles();
        return;
    }
    burnForm()->start();
}
