#include "TreeFile.h"

#include "QuilloryError.h"
#include "TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <unordered_map>

static const char kTreeFile[] = "groups.tree";

bool CheckTreeFormat(const QString &dbFolder, const InfoCallback &info)
{
    const QString path = dbFolder + QLatin1String(kTreeFile);
    const QStringList lines = TextCodec::readLines(path);
    const bool old = std::any_of(lines.begin(), lines.end(), [](const QString &l) { return l.count(u'|') == 8; });
    if (!old)
        return false;
    if (info)
        info(QStringLiteral("Your database appears to be in older format. It will be updated automatically."));
    QStringList upgraded;
    upgraded.reserve(lines.size());
    for (const QString &l : lines)
        upgraded.append(l.contains(u'|') ? l + u'|' : l);
    // The save file writes beside the target and renames over it, so the old file stays
    // whole until the new one is complete.
    TextCodec::writeLines(path, upgraded);
    QFile::remove(dbFolder + QLatin1String("groups.new"));
    if (info)
        info(QStringLiteral("Update completed!"));
    return true;
}

void LoadTree(GroupTree &tree, const QString &dbFolder, const InfoCallback &info)
{
    CheckTreeFormat(dbFolder, info);
    const QStringList lines = TextCodec::readLines(dbFolder + QLatin1String(kTreeFile));

    // Build privately and hand over only a complete tree, so a bad file never leaves a half tree.
    GroupTree scratch;
    TreeNode *prev = nullptr;
    std::unordered_map<TreeNode *, int> lineOf;
    int lineNo = 0;
    for (const QString &line : lines) {
        ++lineNo;
        if (line.isEmpty())
            continue;
        qsizetype level = 0;
        while (level < line.size() && (line.at(level) == u'\t' || line.at(level) == u' '))
            ++level;
        const QString text = line.mid(level);
        TreeNode *parent = nullptr;
        if (!prev) {
            parent = scratch.top();
        } else if (prev->level() == level) {
            parent = prev->parent();
        } else if (prev->level() == level - 1) {
            parent = prev;
        } else if (prev->level() > level) {
            TreeNode *n = prev->parent();
            while (n->level() > level)
                n = n->parent();
            parent = n->parent();
        } else {
            throw QuilloryError(QStringLiteral("Invalid level (%1) for item \"%2\"").arg(level).arg(text));
        }
        prev = scratch.addChild(parent, text, KindGroup);
        lineOf[prev] = lineNo;
    }

    // Kinds and records, pre-order.
    bool first = true;
    std::vector<TreeNode *> discs;
    std::vector<std::pair<TreeNode *, TCD>> records;
    scratch.forEachPreOrder([&](TreeNode *n) {
        if (first && n->parent() == scratch.top()) {
            scratch.setKind(n, KindRoot);
            first = false;
            return;
        }
        if (!n->text().contains(u'|'))
            return;
        TCD cd;
        try {
            cd = StrToCD(n->text());
        } catch (const QuilloryError &e) {
            throw QuilloryError(QStringLiteral("\"groups.tree\", line %1: %2").arg(lineOf[n]).arg(e.message()));
        }
        scratch.setCD(n, cd);
        discs.push_back(n);
    });

    // Backwards, so a node is never visited after an ancestor of it was removed.
    for (auto it = discs.rbegin(); it != discs.rend(); ++it)
        if (!QFileInfo::exists(dbFolder + (*it)->cd()->Serial + QLatin1String(".dat")))
            scratch.removeNode(*it);
    scratch.sort();

    // Hand the finished nodes over in one reset.
    tree.adopt(scratch.takeTop());
}

QStringList TreeToLines(const GroupTree &tree)
{
    QStringList lines;
    tree.forEachPreOrder([&lines](TreeNode *n) {
        const QString text = n->isDisc() && n->cd() ? CDToStr(*n->cd()) : n->text();
        lines.append(QString(n->level(), u'\t') + text);
    });
    return lines;
}

void SaveTree(const GroupTree &tree, const QString &dbFolder)
{
    TextCodec::writeLines(dbFolder + QLatin1String(kTreeFile), TreeToLines(tree));
}
