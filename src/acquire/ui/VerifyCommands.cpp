#include "VerifyCommands.h"

#include "DiscCommands.h"
#include "ScanGauge.h"
#include "TVerifyForm.h"
#include "acquire/DiscAdder.h"
#include "acquire/DiscFinder.h"
#include "acquire/DiscVerifier.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"
#include "core/TextCodec.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/TBusyForm.h"
#include "gui/WaitForCD.h"
#include "listing/Navigator.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/ContentsFile.h"
#include "store/GroupTree.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>

using namespace Qt::Literals::StringLiterals;

namespace
{

// What the gauge counts: the bytes of an image as it is read, of a disc's files as they are.
quint64 bytesToRead(const QString &root, const TCD &cd)
{
    return quint64(std::max<qint64>(DiscVerifier::isImage(root) ? QFileInfo(root).size() : cd.Size, 0));
}

} // namespace

VerifyCommands::VerifyCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions,
                               QMainWindow *window)
    : QObject(window), m_workspace(workspace), m_navigator(navigator), m_actions(actions), m_window(window)
{
    for (const QString &name : {u"VerifyDisc1"_s, u"VerifyDisc2"_s})
        connect(actions.claim(name), &QAction::triggered, this, &VerifyCommands::VerifyDisc1Click);
    connect(&navigator, &Navigator::currentNodeChanged, this, &VerifyCommands::updateCommandStates);
    connect(&workspace, &Workspace::opened, this, &VerifyCommands::updateCommandStates);
    // Closed while it reads, the window would go and the reading go on unseen, the catalogue held.
    connect(&workspace, &Workspace::aboutToClose, this, [this] { m_stop = true; });
    // The tree's menu serves groups too: the command is there for a disc only.
    if (QMenu *menu = actions.menu(u"TreeMenu"_s))
        connect(menu, &QMenu::aboutToShow, this, [this] {
            const TreeNode *node = m_navigator.menuNode() ? m_navigator.menuNode() : m_navigator.currentNode();
            m_actions.action(u"VerifyDisc2"_s)->setVisible(node && node->isDisc());
        });
    updateCommandStates();
}

TVerifyForm *VerifyCommands::form() const
{
    return m_form;
}

const TreeNode *VerifyCommands::commandDisc() const
{
    const TreeNode *node = m_navigator.menuNode() ? m_navigator.menuNode() : m_navigator.currentNode();
    return node && node->isDisc() && node->cd() ? node : nullptr;
}

void VerifyCommands::updateCommandStates()
{
    const TreeNode *node = m_navigator.currentNode();
    m_actions.action(u"VerifyDisc1"_s)->setEnabled(node && node->isDisc());
}

void VerifyCommands::VerifyDisc1Click()
{
    const TreeNode *disc = commandDisc();
    if (!disc || m_working)
        return;
    const QString serial = disc->cd()->Serial;
    const QString root = WaitForCD(m_window, serial, disc->cd()->Title, nullptr, DiscSource::DriveFolderOrImage);
    // The disc may have left the tree while the question waited.
    disc = m_workspace.tree().root() ? FindCD(m_workspace.tree().root(), serial) : nullptr;
    if (!root.isEmpty() && disc)
        verify(disc, root);
}

TBusyForm *VerifyCommands::busy()
{
    if (!m_busy) {
        m_busy = new TBusyForm(m_window);
        m_busy->setStopButton([this] { m_stop = true; });
    }
    m_stop = false;
    return m_busy;
}

TVerifyForm *VerifyCommands::resultsForm()
{
    if (!m_form) {
        m_form = new TVerifyForm(m_window);
        connect(m_form, &TVerifyForm::switchRequested, this, [this](const VerifyDifference &d) {
            m_navigator.LoadCD(m_form->title(), m_form->serial(), d.inArchive, d.location);
        });
        connect(m_form, &TVerifyForm::saveRequested, this, &VerifyCommands::saveReport);
        connect(m_form, &TVerifyForm::updateRequested, this, &VerifyCommands::updateFromScan);
    }
    return m_form;
}

bool VerifyCommands::verify(const TreeNode *disc, const QString &root)
{
    if (m_working)
        return false;
    const TCD cd = *disc->cd();
    m_working = true;
    if (m_form)
        m_form->hide();
    VerifyReport report;
    QString failure;
    ContentsFile::Parsed catalogued;
    try {
        catalogued =
            ContentsFile::readingDisc(cd.Title, [&] { return ContentsFile::load(m_workspace.dbFolder(), cd.Serial); });
    } catch (const QuilloryError &e) {
        m_working = false;
        AppDialogs::message(m_window, AppDialogs::Error, e.message());
        return false;
    }
    const quint64 total = bytesToRead(root, cd);
    TBusyForm *form = busy();
    ScanGauge gauge(form, u"Disc is being verified. Please wait..."_s, total, !catalogued.checksums.isEmpty());
    DiscVerifier verifier(ScanOptions::from(m_workspace.preferences()));
    verifier.setTotalSize(total);
    verifier.setProcessEvents([this] {
        QApplication::processEvents();
        if (m_stop)
            throw QuilloryError(u"The verification was stopped."_s);
    });
    verifier.setGauge(gauge.callback());
    try {
        report = verifier.verify(root, catalogued, cd.Serial);
    } catch (const QuilloryError &e) {
        failure = e.message();
    }
    form->finish();
    m_working = false;
    if (!failure.isNull()) {
        if (!m_stop)
            AppDialogs::message(m_window, AppDialogs::Error, failure);
        return false;
    }
    m_readVolume = DiscVerifier::isImage(root) ? QString() : volumeSerialAt(root);
    TVerifyForm *results = resultsForm();
    results->setUpdateAllowed(!m_workspace.isReadOnly());
    results->showReport(cd.Title, cd.Serial, root, std::move(report));
    return true;
}

void VerifyCommands::saveReport()
{
    const QString file =
        AppDialogs::saveFileName(m_form, u"Save Report"_s, u"Text File (*.txt);;All Files (*)"_s, u"txt"_s,
                                 QDir::home().filePath(AppDialogs::fileNameOf(m_form->title() + u" - verified.txt"_s)));
    if (file.isEmpty())
        return;
    if (const QString problem = m_workspace.writeProblem(file, u"report"_s); !problem.isEmpty()) {
        AppDialogs::showError(m_form, problem);
        return;
    }
    SafeSaveFile out(file);
    // A text file of the catalogue's kind: CR LF line ends.
    if (!out.open() || out.write(TextCodec::joinLines(TextCodec::splitLines(m_form->savedText()))) < 0 || !out.commit())
        AppDialogs::message(m_form, AppDialogs::Error,
                            u"Cannot write the report \"%1\": %2"_s.arg(file, out.errorString()));
}

void VerifyCommands::updateFromScan()
{
    if (m_working || m_workspace.isReadOnly() || !m_form)
        return;
    const QString serial = m_form->serial(), root = m_form->root();
    TreeNode *old = m_workspace.tree().root() ? FindCD(m_workspace.tree().root(), serial) : nullptr;
    if (!old) {
        AppDialogs::message(m_form, AppDialogs::Error, u"The disc is no longer in the catalogue."_s);
        return;
    }
    // A disc taken out since leaves its empty mount point, which would scan as a disc of nothing.
    const auto volumeGone = [this, &root] {
        return !QFileInfo::exists(root) || (!m_readVolume.isEmpty() && volumeSerialAt(root) != m_readVolume);
    };
    if (volumeGone()) {
        AppDialogs::message(
            m_form, AppDialogs::Error,
            u"The medium that was verified is no longer in %1. Insert it and verify it again."_s.arg(root));
        return;
    }
    // Nothing of the disc where it was read (a mount point without its medium, an empty folder):
    // the entry would become a disc of nothing.
    const VerifyReport &read = m_form->report();
    if (read.matched == 0 && read.count(VerifyDifference::New) == 0 && read.count(VerifyDifference::Changed) == 0 &&
        read.count(VerifyDifference::Corrupt) == 0 && read.count(VerifyDifference::Missing) > 0) {
        AppDialogs::message(m_form, AppDialogs::Error,
                            u"Nothing of the disc was found in %1 (an empty folder, or a mount point without its "
                            u"medium), so its entry is not replaced by an empty disc."_s.arg(root));
        return;
    }
    QString question = u"Replace the catalogue entry of disc \"%1\" with a new scan of the medium in %2? "
                       u"What the catalogue holds of it now is lost."_s.arg(old->cd()->Title, root);
    // An image chosen by mistake would put another disc's files under this disc's entry; the
    // verification read it already and said so.
    if (const QString &other = m_form->report().otherVolume; !other.isEmpty())
        question += u"\n\n"_s + other;
    if (AppDialogs::message(m_form, AppDialogs::Confirmation, question, AppDialogs::YesNo) != QMessageBox::Yes)
        return;
    const TCD cd = *old->cd();
    DiscAdder adder(m_workspace.catalogue(), ScanOptions::from(m_workspace.preferences()));
    DiscVolume volume;
    (DiscVerifier::isImage(root) ? volume.image : volume.root) = root;
    volume.label = cd.VolumeLabel;
    volume.serial = cd.Serial;
    volume.fileSystem = cd.FileSystem;
    volume.totalSize = bytesToRead(root, cd);
    m_working = true;
    m_form->hide();
    TBusyForm *form = busy();
    ScanGauge gauge(form, u"Disc is being processed. Please wait..."_s, volume.totalSize, adder.readsEveryByte(old));
    adder.setGauge(gauge.callback());
    adder.setProcessEvents([this] {
        QApplication::processEvents();
        if (m_stop)
            throw QuilloryError(u"The scan was stopped."_s);
    });
    adder.setScanCheck([&] {
        if (volumeGone())
            throw QuilloryError(u"The medium was taken out of %1 before the scan was complete."_s.arg(root));
    });
    TreeNode *added = nullptr;
    QString failure;
    try {
        added = adder.add(volume, DiscAdder::keptDetails(*old), old->parent(), old);
    } catch (const QuilloryError &e) {
        failure = e.message();
    }
    form->finish();
    m_working = false;
    if (!added) {
        if (!m_stop)
            AppDialogs::message(m_window, AppDialogs::Error, failure);
        m_form->show();
        return;
    }
    if (!adder.unfinished().isEmpty())
        AppDialogs::message(m_window, AppDialogs::Warning, adder.unfinished());
    // As Add Disc does: the files left without a checksum are named.
    if (!adder.unreadable().isEmpty())
        AppDialogs::message(m_window, AppDialogs::Warning, DiscCommands::unreadableMessage(adder.unreadable()));
    m_navigator.TreeChange(added);
    m_form->close();
}
