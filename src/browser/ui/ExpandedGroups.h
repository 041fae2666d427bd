#pragma once

#include <QObject>
#include <QString>

class GroupTreeView;
class Workspace;

// The groups open in the tree, kept with the preferences from one run to the next (when "Restore
// expanded groups on startup" is ticked) as one text: "|" and then each open node's name and "|",
// in tree order, such as |My Collection|Music|. Names match with the letters a-z in either case,
// so two groups of one name open together.
class ExpandedGroups : public QObject
{
    Q_OBJECT
public:
    ExpandedGroups(Workspace &workspace, GroupTreeView *view);

    // The text for the nodes open now.
    QString text() const;
    // Opens (one level) every node the stored text names, when the preference asks for it.
    void restore();

private:
    // Opens every node text() names.
    void open(const QString &text);

    Workspace &m_workspace;
    GroupTreeView *m_view;
    QString m_beforeReset;
};
