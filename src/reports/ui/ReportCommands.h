#pragma once

#include <QObject>
#include <QPointer>

class ActionRegistry;
class Navigator;
class TReportForm;
class TreeNode;
class Workspace;

// "Create Report..." (F7, the tool bar's report button) and the tree menu's "Create Report",
// also shown for group and disc entries of the list, whose node is selected first. Names the
// selected disc or group in the File menu's caption. The dialog is made on first use.
//
// Built before the tree's commands: the node of an entry's menu is heard of before that menu
// opens.
class ReportCommands : public QObject
{
    Q_OBJECT
public:
    ReportCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QWidget *window);

    // Null until the first report.
    TReportForm *form() const;

public Q_SLOTS:
    void Report1Click();
    void CreateReport1Click();

private:
    void setCaption(TreeNode *node);

    Workspace &m_workspace;
    Navigator &m_navigator;
    ActionRegistry &m_actions;
    QWidget *m_window;
    QPointer<TReportForm> m_form;
    // The entry whose menu is about to open, and the one whose menu is open.
    TreeNode *m_pendingEntry = nullptr;
    TreeNode *m_entry = nullptr;
};
