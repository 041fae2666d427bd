#include "DiscLookup.h"

#include "core/QuilloryError.h"
#include "store/GroupTree.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

const TreeNode *DiscLookup::disc(const GroupTree &tree, const QString &key)
{
    QList<const TreeNode *> bySerial, byTitle;
    tree.forEachPreOrder([&](TreeNode *n) {
        if (!n->isDisc() || !n->cd())
            return;
        if (n->cd()->Serial.compare(key, Qt::CaseInsensitive) == 0)
            bySerial << n;
        else if (n->cd()->Title == key)
            byTitle << n;
    });
    if (!bySerial.isEmpty())
        return bySerial.first();
    if (byTitle.size() > 1) {
        QStringList serials;
        for (const TreeNode *n : byTitle)
            serials << n->cd()->Serial;
        throw QuilloryError(
            u"Several discs are titled \"%1\"; name one by its serial: %2."_s.arg(key, serials.join(u", "_s)));
    }
    if (byTitle.isEmpty())
        throw QuilloryError(u"There is no disc titled \"%1\" or with that serial."_s.arg(key));
    return byTitle.first();
}

const TreeNode *DiscLookup::group(const GroupTree &tree, const QString &name)
{
    const TreeNode *found = nullptr;
    tree.forEachPreOrder([&](TreeNode *n) {
        if (!found && n->isGroup() && n->text() == name)
            found = n;
    });
    if (!found)
        throw QuilloryError(u"There is no group named \"%1\"."_s.arg(name));
    return found;
}

const TreeNode *DiscLookup::node(const GroupTree &tree, const QString &name)
{
    try {
        return group(tree, name);
    } catch (const QuilloryError &) {
    }
    try {
        return disc(tree, name);
    } catch (const QuilloryError &) {
    }
    throw QuilloryError(u"There is no group or disc named \"%1\"."_s.arg(name));
}
