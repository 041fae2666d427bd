#include "ReportCommands.h"

#include "TReportForm.h"
#include "listing/Navigator.h"
#include "gui/ActionRegistry.h"
#include "store/GroupTree.h"
#include "store/TreeNames.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

ReportCommands::ReportCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QWidget *window)
    : QObject(window), m_workspace(workspace), m_navigator(navigator), m_actions(actions), m_window(window)
{
    connect(actions.claim(u"Report1"_s), &QAction::triggered, this, &ReportCommands::Report1Click);
    connect(actions.claim(u"CreateReport2"_s), &QAction::triggered, this, &ReportCommands::CreateReport1Click);
    connect(&navigator, &Navigator::currentNodeChanged, this, &ReportCommands::setCaption);

    // The tree's menu also opens for a group or disc entry of the list; the report is then of
    // that entry's node. The menu runs the chosen command before it is done, so the node is
    // taken when the menu opens and forgotten once the command has run.
    connect(&navigator, &Navigator::nodeMenuRequested, this, [this](TreeNode *node) { m_pendingEntry = node; });
    if (QMenu *menu = actions.menu(u"TreeMenu"_s)) {
        connect(menu, &QMenu::aboutToShow, this, [this] {
            m_entry = m_pendingEntry;
            m_pendingEntry = nullptr;
        });
        connect(menu, &QMenu::aboutToHide, this,
                [this] { QTimer::singleShot(0, this, [this] { m_entry = nullptr; }); });
    }
    connect(&navigator.tree(), &GroupTree::aboutToRemove, this, [this] { m_entry = m_pendingEntry = nullptr; });
    connect(&navigator.tree(), &GroupTree::aboutToReset, this, [this] { m_entry = m_pendingEntry = nullptr; });
}

TReportForm *ReportCommands::form() const
{
    return m_form;
}

void ReportCommands::setCaption(TreeNode *node)
{
    if (!node)
        return;
    m_actions.setCaption(u"Report1"_s, TReportForm::caption(node, TreeNames::ShortName(node->text())));
}

void ReportCommands::Report1Click()
{
    if (!m_navigator.currentNode())
        return;
    if (!m_form)
        m_form = new TReportForm(m_workspace, m_navigator, m_window);
    m_form->start();
}

void ReportCommands::CreateReport1Click()
{
    if (TreeNode *entry = m_entry) {
        m_entry = nullptr;
        m_navigator.TreeChange(entry);
    }
    Report1Click();
}
