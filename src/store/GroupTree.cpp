#include "GroupTree.h"
#include "core/AsciiCase.h"
#include "core/SizeSum.h"

#include <algorithm>

void GroupTree::renumber(TreeNode *parent, int from)
{
    auto &c = parent->m_children;
    for (size_t i = static_cast<size_t>(std::max(from, 0)); i < c.size(); ++i)
        c[i]->m_row = static_cast<int>(i);
}

GroupTree::GroupTree(QObject *parent) : QObject(parent), m_top(std::make_unique<TreeNode>()) {}

GroupTree::~GroupTree() = default;

void GroupTree::clear()
{
    Q_EMIT aboutToReset();
    m_top = std::make_unique<TreeNode>();
    Q_EMIT resetDone();
}

void GroupTree::adopt(std::unique_ptr<TreeNode> newTop)
{
    Q_EMIT aboutToReset();
    m_top = std::move(newTop);
    m_top->m_parent = nullptr;
    Q_EMIT resetDone();
}

std::unique_ptr<TreeNode> GroupTree::takeTop()
{
    Q_EMIT aboutToReset();
    std::unique_ptr<TreeNode> old = std::move(m_top);
    m_top = std::make_unique<TreeNode>();
    Q_EMIT resetDone();
    return old;
}

TreeNode *GroupTree::addChild(TreeNode *parent, const QString &text, int kind, std::optional<TCD> cd, int row)
{
    if (!parent)
        parent = m_top.get();
    const int count = parent->childCount();
    if (row < 0 || row > count)
        row = count;
    const bool isDisc = cd.has_value();
    TCD record = isDisc ? std::move(*cd) : TCD();
    record.Title = text;
    std::unique_ptr<TreeNode> node = makeNode(parent, kind, std::move(record), isDisc);
    TreeNode *raw = node.get();
    Q_EMIT aboutToInsert(parent, row, row);
    parent->m_children.insert(parent->m_children.begin() + row, std::move(node));
    renumber(parent, row);
    Q_EMIT inserted();
    return raw;
}

std::unique_ptr<TreeNode> GroupTree::makeNode(TreeNode *parent, int kind, TCD &&record, bool isDisc)
{
    // Made with the record moved in, not moved over a blank one: a large load makes one a disc.
    return std::unique_ptr<TreeNode>(new TreeNode(parent, kind, std::move(record), isDisc));
}

TreeNode *GroupTree::appendNode(TreeNode *parent, std::unique_ptr<TreeNode> node)
{
    node->m_row = parent->childCount();
    TreeNode *raw = node.get();
    parent->m_children.push_back(std::move(node));
    return raw;
}

TreeNode *GroupTree::appendUnannounced(TreeNode *parent, const QString &text, int kind)
{
    TCD name;
    name.Title = text;
    return appendNode(parent, makeNode(parent, kind, std::move(name), false));
}

TreeNode *GroupTree::appendDiscUnannounced(TreeNode *parent, TCD &&cd)
{
    // The record moves straight into the node: a catalogue of many discs loads through here,
    // and every copy of a TCD touches each of its strings.
    const int kind = cd.BorrowedTo.isEmpty() ? KindDisc : KindLent;
    return appendNode(parent, makeNode(parent, kind, std::move(cd), true));
}

TreeNode *GroupTree::addDisc(TreeNode *parent, const TCD &cd)
{
    return addDisc(parent, TCD(cd));
}

TreeNode *GroupTree::addDisc(TreeNode *parent, TCD &&cd)
{
    const int kind = cd.BorrowedTo.isEmpty() ? KindDisc : KindLent;
    QString title = cd.Title;
    return addChild(parent, std::move(title), kind, std::move(cd));
}

void GroupTree::removeNode(TreeNode *node)
{
    if (!node || !node->m_parent)
        return;
    TreeNode *parent = node->m_parent;
    const int row = node->row();
    Q_EMIT aboutToRemove(parent, row, row);
    parent->m_children.erase(parent->m_children.begin() + row);
    renumber(parent, row);
    Q_EMIT removed();
}

void GroupTree::removeDiscsIf(const std::function<bool(const TCD &)> &drop)
{
    Q_EMIT aboutToReset();
    // Each list of children is compacted once: removing the nodes one by one would move the
    // rest of a large group's list for each.
    std::function<void(TreeNode *)> walk = [&](TreeNode *n) {
        std::erase_if(n->m_children, [&](const std::unique_ptr<TreeNode> &c) {
            const bool dropped = c->cd() && drop(*c->cd());
            walk(c.get());
            return dropped;
        });
        renumber(n, 0);
    };
    walk(m_top.get());
    Q_EMIT resetDone();
}

bool GroupTree::moveNode(TreeNode *node, TreeNode *newParent, int row)
{
    if (!node || !node->m_parent)
        return false;
    if (!newParent)
        newParent = m_top.get();
    if (newParent->isInside(node))
        return false;
    TreeNode *oldParent = node->m_parent;
    const int oldRow = node->row();
    const int count = newParent->childCount();
    if (row < 0 || row > count)
        row = count;
    if (oldParent == newParent && (row == oldRow || row == oldRow + 1))
        return true; // already there
    Q_EMIT aboutToMove(oldParent, oldRow, newParent, row);
    std::unique_ptr<TreeNode> owned = std::move(oldParent->m_children[static_cast<size_t>(oldRow)]);
    oldParent->m_children.erase(oldParent->m_children.begin() + oldRow);
    if (oldParent == newParent && row > oldRow)
        --row;
    owned->m_parent = newParent;
    newParent->m_children.insert(newParent->m_children.begin() + row, std::move(owned));
    renumber(oldParent, 0);
    if (newParent != oldParent)
        renumber(newParent, 0);
    Q_EMIT moved();
    return true;
}

void GroupTree::setText(TreeNode *node, const QString &text)
{
    if (!node)
        return;
    node->m_record.Title = text;
    Q_EMIT nodeChanged(node);
}

void GroupTree::setCD(TreeNode *node, const TCD &cd)
{
    if (!node)
        return;
    node->m_record = cd;
    node->m_hasRecord = true;
    node->m_kind = cd.BorrowedTo.isEmpty() ? KindDisc : KindLent;
    Q_EMIT nodeChanged(node);
}

void GroupTree::setKind(TreeNode *node, int kind)
{
    if (!node)
        return;
    node->m_kind = static_cast<qint8>(kind);
    Q_EMIT nodeChanged(node);
}

bool GroupTree::treeLess(const TreeNode *a, const TreeNode *b)
{
    if (a->kind() != b->kind())
        return a->kind() > b->kind();
    // Code-unit order: upper-case letters before lower-case, as a byte comparison gives.
    return QString::compare(a->text(), b->text(), Qt::CaseSensitive) < 0;
}

static bool sortChildren(TreeNode *node, std::vector<std::unique_ptr<TreeNode>> &children)
{
    bool changed = !std::is_sorted(children.begin(), children.end(),
                                   [](const auto &a, const auto &b) { return GroupTree::treeLess(a.get(), b.get()); });
    if (changed)
        std::stable_sort(children.begin(), children.end(),
                         [](const auto &a, const auto &b) { return GroupTree::treeLess(a.get(), b.get()); });
    (void)node;
    return changed;
}

void GroupTree::sort()
{
    // Check first, so an already sorted tree costs views nothing.
    bool needed = false;
    std::function<void(TreeNode *)> check = [&](TreeNode *n) {
        if (needed)
            return;
        if (!std::is_sorted(n->m_children.begin(), n->m_children.end(),
                            [](const auto &a, const auto &b) { return treeLess(a.get(), b.get()); })) {
            needed = true;
            return;
        }
        for (auto &c : n->m_children)
            check(c.get());
    };
    for (auto &c : m_top->m_children)
        check(c.get());
    if (!needed)
        return;
    Q_EMIT aboutToRelayout();
    std::function<void(TreeNode *)> walk = [&](TreeNode *n) {
        if (sortChildren(n, n->m_children))
            renumber(n, 0);
        for (auto &c : n->m_children)
            walk(c.get());
    };
    for (auto &c : m_top->m_children)
        walk(c.get());
    Q_EMIT relayoutDone();
}

void GroupTree::forEachPreOrder(const std::function<void(TreeNode *)> &fn) const
{
    std::function<void(TreeNode *)> walk = [&](TreeNode *n) {
        fn(n);
        for (size_t i = 0; i < n->m_children.size(); ++i)
            walk(n->m_children[i].get());
    };
    for (size_t i = 0; i < m_top->m_children.size(); ++i)
        walk(m_top->m_children[i].get());
}

int GroupTree::nodeCount() const
{
    int n = 0;
    forEachPreOrder([&n](TreeNode *) { ++n; });
    return n;
}

TreeNode *FindGroup(TreeNode *start, const QString &name)
{
    if (!start)
        return nullptr;
    if (SameAZ(start->text(), name))
        return start;
    TreeNode *result = nullptr;
    for (int i = 0; i < start->childCount(); ++i) {
        TreeNode *c = start->child(i);
        if (c->kind() != KindDisc && SameAZ(c->text(), name))
            result = c;
        else if (!result)
            result = FindGroup(c, name);
    }
    return result;
}

TreeNode *FindCD(TreeNode *start, const QString &serial)
{
    if (!start)
        return nullptr;
    for (int i = 0; i < start->childCount(); ++i) {
        TreeNode *c = start->child(i);
        if (c->isDisc()) {
            if (c->cd() && c->cd()->Serial == serial)
                return c;
        } else if (TreeNode *found = FindCD(c, serial)) {
            return found;
        }
    }
    return nullptr;
}

GroupTotals DoGroup(const TreeNode *group)
{
    GroupTotals t;
    if (!group)
        return t;
    for (int i = 0; i < group->childCount(); ++i) {
        const TreeNode *c = group->child(i);
        if (c->isDisc()) {
            addCapped(t.size, c->cd() ? c->cd()->Size : 0);
            t.discs += 1;
        } else {
            const GroupTotals sub = DoGroup(c);
            t.groups += 1 + sub.groups;
            t.discs += sub.discs;
            addCapped(t.size, sub.size);
        }
    }
    return t;
}
