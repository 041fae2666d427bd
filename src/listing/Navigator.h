#pragma once

#include "ContentsListing.h"
#include "LocationState.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <vector>

class DiscContents;
class ExtensionIconCache;
class GroupTree;
class SearchHits;
class TreeNode;

// Where the user is: the tree's selected node and what the contents list shows (a group, a
// folder of a disc, the inside of an archive, a search result), with the listing's rows and
// their order. Moving around happens here; the panels follow the signals.
class Navigator : public QObject
{
    Q_OBJECT
public:
    Navigator(GroupTree &tree, DiscContents &contents, const QString &dbFolder, QObject *parent = nullptr);
    ~Navigator() override;

    GroupTree &tree() const { return m_tree; }
    ContentsListing &listing() { return m_listing; }
    const ContentsListing &listing() const { return m_listing; }
    ExtensionIconCache *iconCache() const { return m_iconCache; }
    const LocationState &location() const { return m_location; }
    QString statusText() const { return m_status; }

    // The tree's selected node.
    TreeNode *currentNode() const { return m_current; }
    // The node itself for a group or the root, its group for a disc.
    static TreeNode *groupOf(TreeNode *node);

    // After the catalogue was (re)loaded: nothing of the old one is listed, the root is.
    void showRoot();
    // The user moved the tree's selection (ignored while the tree itself is changing).
    void selectFromTree(TreeNode *node);

    // The tree's selection handler: selects node, lists it, and sorts the tree again.
    void TreeChange(TreeNode *node);
    // Lists folder `path` of the disc with that title (or the inside of an archive). A disc whose contents file
    // is gone is reported and leaves the tree as soon as the event loop runs again (its group
    // is then selected when the disc was); a damaged one is reported and kept.
    void LoadCD(const QString &title, const QString &serial, bool archiveMode, const QString &path);
    // Up one folder, from a disc's root to its group, from a group to its parent.
    void BackButtonClick();
    // Double-click or Enter on a row. False for a file, whose action the caller chooses.
    bool ExplorerActivate(int row);
    // From a search result to the folder of the entry; elsewhere opens a folder or archive.
    void Switch1Click(int row);
    // The node a group or disc entry of a group listing stands for.
    TreeNode *FindInTree(int row) const;

    // A search: the list empties and the header counts the hits while it runs ("Search
    // results...", "N found"); then the hits are listed as the "SEARCH RESULT" location. A
    // comparison listed the same way names itself in the heading instead.
    void beginSearch(const QString &heading = QStringLiteral("Search results..."));
    void searchCounted(int found);
    // The count label beside a search result's heading, which is otherwise empty.
    void noteOnResult(const QString &note);
    // answerOrder: listed as the hits stand (a comparison's copies group by group) until a
    // column is chosen, instead of by the sort state.
    void showSearchResult(std::shared_ptr<const SearchHits> hits, const QString &status, bool answerOrder = false);
    // The status bar's first panel, for long work that says where it is.
    void setStatus(const QString &text);

    // A click on a column header, and "Arrange Icons".
    void ExplorerColumnClick(ExplorerColumn column);
    void arrange(ExplorerColumn column);

    // A group or disc entry of the list asks for the tree's menu of its node.
    void requestNodeMenu(TreeNode *node, const QPoint &globalPos);
    // While that menu is open: the node it is for (commands that act on the tree's selection
    // select it first); null otherwise.
    TreeNode *menuNode() const { return m_menuNode; }

Q_SIGNALS:
    // The tree's selected node moved (the tree view follows).
    void currentNodeChanged(TreeNode *node);
    // The tree's selection handler ran for node: captions and the object info follow.
    void nodeSelected(TreeNode *node);
    // The listing, the header, the status text or the sort changed.
    void locationChanged();
    void listingAboutToReset();
    void listingReset();
    // order[new row] = old row.
    void listingAboutToSort();
    void listingSorted(const std::vector<int> &order);
    // An error box for the user.
    void problem(const QString &text);
    void nodeMenuRequested(TreeNode *node, const QPoint &globalPos);

private:
    void setCurrent(TreeNode *node);
    void dropMissingDisc(const QString &serial);
    // The tree's current node becomes the disc with this serial.
    void followTree(const QString &serial);
    // A disc whose contents cannot be read: the problem told, the disc current and nothing listed.
    void listUnreadable(const QString &title, const QString &serial, const QString &why);
    void listGroup(TreeNode *node);
    void sort();

    GroupTree &m_tree;
    DiscContents &m_contents;
    QString m_db;
    ExtensionIconCache *m_iconCache;
    ContentsListing m_listing;
    LocationState m_location;
    QString m_status;
    TreeNode *m_current = nullptr;
    TreeNode *m_menuNode = nullptr;
    int m_inTreeChange = 0;
    int m_treeChanging = 0;
};
