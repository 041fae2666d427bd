#include "TreeEditor.h"

#include "DiscContents.h"
#include "core/QuilloryError.h"
#include "store/ContentsFile.h"
#include "store/GroupTree.h"
#include "store/TreeFile.h"
#include "store/TreeNames.h"

#include <QSet>

namespace
{
QString quoted(const QString &s)
{
    return u'"' + s + u'"';
}
} // namespace

TreeEditor::TreeEditor(GroupTree &tree, DiscContents &contents, const QString &dbFolder)
    : m_tree(tree), m_contents(contents), m_db(dbFolder)
{
}

QString TreeEditor::alreadyExistsMessage(const QString &name)
{
    return QStringLiteral("Group named ") + quoted(name) +
           QStringLiteral(" already exists! Please enter different name.");
}

QString TreeEditor::groupNameProblem(const QString &name, const TreeNode *renamed) const
{
    if (const QString problem = TreeNames::Problem(name); !problem.isEmpty())
        return problem;
    const TreeNode *found = FindGroup(m_tree.root(), name);
    if (found && found != renamed)
        return alreadyExistsMessage(name);
    return QString();
}

QString TreeEditor::depthProblem(const TreeNode *parent)
{
    return !TreeLimits::fitsUnder(parent->level(), 1)
               ? QStringLiteral("Groups can be nested at most %1 levels deep.").arg(TreeLimits::MaxDepth - 1)
               : QString();
}

TreeNode *TreeEditor::addGroup(TreeNode *parent, const QString &name)
{
    return m_tree.addChild(parent, name, KindGroup);
}

QString TreeEditor::rename(TreeNode *node, const QString &text)
{
    const QString problem = node->isGroup() ? groupNameProblem(text, node) : TreeNames::TitleProblem(text);
    if (problem.isEmpty())
        m_tree.setText(node, text);
    return problem;
}

QString TreeEditor::deleteRefusal(const TreeNode *node)
{
    return node->kind() == KindRoot ? QStringLiteral("Cannot delete main goup!") : QString();
}

QString TreeEditor::deleteQuestion(const TreeNode *node)
{
    return (node->isDisc() ? QStringLiteral("Delete disc ") : QStringLiteral("Delete group ")) + quoted(node->text()) +
           u'?';
}

QStringList TreeEditor::discSerials(const TreeNode *node)
{
    QStringList serials;
    if (node->isDisc()) {
        if (node->cd())
            serials.append(node->cd()->Serial);
        return serials;
    }
    for (int i = 0; i < node->childCount(); ++i)
        serials += discSerials(node->child(i));
    return serials;
}

QStringList TreeEditor::deleteNode(TreeNode *node)
{
    // A serial that another entry lists too (a tree edited by hand) shares its contents file
    // with it: the file stays for that entry.
    QSet<QString> kept;
    m_tree.forEachPreOrder([&](TreeNode *n) {
        if (n->isDisc() && n->cd() && !n->isInside(node))
            kept.insert(n->cd()->Serial);
    });
    QStringList failures;
    for (const QString &serial : discSerials(node)) {
        if (kept.contains(serial))
            continue;
        try {
            ContentsFile::remove(m_db, serial);
        } catch (const QuilloryError &e) {
            failures.append(e.message());
        }
        if (m_contents.serial() == serial)
            m_contents.clear();
    }
    m_tree.removeNode(node);
    return failures;
}

QString TreeEditor::lend(TreeNode *disc, const QString &borrower)
{
    if (QString problem = TreeNames::BorrowerProblem(borrower); !problem.isEmpty())
        return problem;
    TCD cd = *disc->cd();
    cd.BorrowedTo = borrower;
    m_tree.setCD(disc, cd);
    m_tree.setKind(disc, KindLent);
    m_tree.sort();
    return QString();
}

void TreeEditor::giveBack(TreeNode *disc)
{
    TCD cd = *disc->cd();
    cd.BorrowedTo.clear();
    m_tree.setCD(disc, cd);
    m_tree.sort();
}

QString TreeEditor::damagedMessage(const QString &serial)
{
    return QStringLiteral("Database is damaged! Some files nedeed for this operation are missing!") +
           QStringLiteral("\r\nCD labeled ") + serial + QStringLiteral(" will be deleted from database!");
}

bool TreeEditor::dropMissingDisc(const QString &serial)
{
    TreeNode *disc = m_tree.root() ? FindCD(m_tree.root(), serial) : nullptr;
    if (!disc)
        return false;
    if (m_contents.serial() == serial)
        m_contents.clear();
    m_tree.removeNode(disc);
    return true;
}
