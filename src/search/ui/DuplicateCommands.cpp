#include "DuplicateCommands.h"

#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/TBusyForm.h"
#include "listing/Navigator.h"
#include "listing/SearchHits.h"
#include "search/DuplicateFinder.h"
#include "search/NameIndex.h"
#include "session/Workspace.h"
#include "store/GroupTree.h"
#include "core/QuilloryError.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

using namespace Qt::Literals::StringLiterals;

namespace
{
int discsUnder(const TreeNode *node)
{
    if (node->isDisc())
        return 1;
    int n = 0;
    for (int i = 0; i < node->childCount(); ++i)
        n += discsUnder(node->child(i));
    return n;
}
} // namespace

DuplicateCommands::DuplicateCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions,
                                     QWidget *window)
    : QObject(window), m_workspace(workspace), m_navigator(navigator), m_actions(actions), m_window(window)
{
    connect(actions.claim(u"FindDuplicates1"_s), &QAction::triggered, this, &DuplicateCommands::FindDuplicates1Click);
    connect(actions.claim(u"FilesOnlyonThisDisc1"_s), &QAction::triggered, this,
            &DuplicateCommands::FilesOnlyonThisDisc1Click);
}

TreeNode *DuplicateCommands::target()
{
    // From a group or disc entry of the list: that node becomes the tree's selection.
    if (TreeNode *node = m_navigator.menuNode())
        m_navigator.TreeChange(node);
    return m_navigator.currentNode();
}

template <typename Work>
void DuplicateCommands::run(const QString &caption, const QString &heading, bool wholeCatalogue, Work work)
{
    const TreeNode *node = target();
    if (m_running || !node)
        return;
    m_running = true;
    // The heading names what was compared, for a list that stays up while the tree moves on.
    const QString scope = heading + u" in \""_s + node->text() + u"\"..."_s;
    const std::shared_ptr<NameIndex> index = m_workspace.nameIndex();
    DuplicateFinder finder(m_workspace.dbFolder(), 1, index.get());
    TBusyForm busy(m_window);
    // Every disc compared, then at most the discs in scope read again for the answer.
    busy.start(caption, discsUnder(wholeCatalogue ? m_navigator.tree().root() : node) + discsUnder(node));
    busy.setStopButton([&finder] { finder.stop(); });
    m_navigator.beginSearch(scope);
    finder.setDiscStarted([&](const TCD &cd) {
        busy.step();
        m_navigator.setStatus(caption + u" : "_s + cd.Title);
    });
    // Once it is known how many discs that is, the gauge goes on over just those.
    finder.setReadingBack([&](int discs) {
        const int done = busy.position();
        busy.start(caption, done + discs);
        busy.setPosition(done);
    });
    finder.setProgress([&] {
        QCoreApplication::processEvents();
        if (m_workspace.stopRequested())
            finder.stop();
    });
    std::shared_ptr<SearchHits> hits;
    QString status, failure;
    try {
        status = work(finder, node, hits);
    } catch (const QuilloryError &e) {
        failure = e.message();
    }
    busy.finish();
    // A comparison cut short has no answer: what was read so far says nothing of the rest.
    if (finder.isStopped()) {
        hits.reset();
        status = u" Stopped before the answer was complete."_s;
    }
    if (!hits)
        hits = std::make_shared<SearchHits>();
    // Group after group (single copies disc by disc), as the finder answers.
    m_navigator.showSearchResult(hits, status, true);
    if (!failure.isEmpty())
        AppDialogs::showError(m_window, failure);
    if (!finder.problems().isEmpty())
        AppDialogs::message(m_window, AppDialogs::Error, finder.problems().join(u'\n'));
    if (hits->count() > 0) {
        if (QAction *details = m_actions.action(u"Details1"_s); details && !details->isChecked())
            details->trigger();
    }
    m_running = false;
}

void DuplicateCommands::FindDuplicates1Click()
{
    run(u"Finding duplicates"_s, u"Duplicates"_s, false,
        [](DuplicateFinder &finder, const TreeNode *node, std::shared_ptr<SearchHits> &hits) {
            const DuplicateFinder::Duplicates found = finder.duplicates(node);
            hits = found.hits;
            return u" "_s + found.summary();
        });
}

void DuplicateCommands::FilesOnlyonThisDisc1Click()
{
    const GroupTree &tree = m_navigator.tree();
    run(u"Finding files on no other disc"_s, u"Files on no other disc"_s, true,
        [&tree](DuplicateFinder &finder, const TreeNode *node, std::shared_ptr<SearchHits> &hits) {
            const DuplicateFinder::SingleCopies found = finder.singleCopies(node, tree.root());
            hits = found.hits;
            return u" "_s + found.summary();
        });
}
