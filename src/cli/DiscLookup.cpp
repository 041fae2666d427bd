#include "DiscLookup.h"

#include "core/AsciiCase.h"
#include "core/QuilloryError.h"
#include "store/GroupTree.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace
{

// The discs a key names: the first with that serial, else every disc of that title, spelled
// as given or, when none is, in any case of a-z, as the catalogue compares names.
QList<const TreeNode *> named(const GroupTree &tree, const QString &key)
{
    QList<const TreeNode *> bySerial, byTitle, byFolded;
    tree.forEachPreOrder([&](TreeNode *n) {
        if (!n->isDisc() || !n->cd())
            return;
        if (n->cd()->Serial.compare(key, Qt::CaseInsensitive) == 0)
            bySerial << n;
        else if (n->cd()->Title == key)
            byTitle << n;
        else if (SameAZ(n->cd()->Title, key))
            byFolded << n;
    });
    if (!bySerial.isEmpty())
        return {bySerial.first()};
    return byTitle.isEmpty() ? byFolded : byTitle;
}

// The one disc of those the key names; none is told with `none`, several with their serials.
const TreeNode *theOne(const QList<const TreeNode *> &discs, const QString &key, const QString &none)
{
    if (discs.isEmpty())
        throw QuilloryError(none);
    if (discs.size() > 1) {
        QStringList serials;
        for (const TreeNode *n : discs)
            serials << n->cd()->Serial;
        throw QuilloryError(
            u"Several discs are titled \"%1\"; name one by its serial: %2."_s.arg(key, serials.join(u", "_s)));
    }
    return discs.first();
}

} // namespace

const TreeNode *DiscLookup::disc(const GroupTree &tree, const QString &key)
{
    return theOne(named(tree, key), key, u"There is no disc titled \"%1\" or with that serial."_s.arg(key));
}

const TreeNode *DiscLookup::group(const GroupTree &tree, const QString &name)
{
    // Spelled as given, else in any case of a-z: no two groups differ in case alone.
    const TreeNode *found = nullptr, *folded = nullptr;
    tree.forEachPreOrder([&](TreeNode *n) {
        if (!found && n->isGroup() && n->text() == name)
            found = n;
        else if (!folded && n->isGroup() && SameAZ(n->text(), name))
            folded = n;
    });
    if (!found)
        found = folded;
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
    return theOne(named(tree, name), name, u"There is no group or disc named \"%1\"."_s.arg(name));
}
