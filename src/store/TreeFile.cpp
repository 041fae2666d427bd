#include "TreeFile.h"

#include "ContentsFile.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QFile>
#include <unordered_map>

static const char kTreeFile[] = "groups.tree";
// Deeper outlines are not something a person makes; refusing them keeps the recursive walks safe.
static const int kMaxTreeDepth = 1000;

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

void ParseOutline(GroupTree &scratch, const QStringList &lines)
{
    TreeNode *prev = nullptr;
    qsizetype prevLevel = 0;
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
        if (text.isEmpty())
            continue; // a node without a name could not be written back as a line of its own
        TreeNode *parent = nullptr;
        if (!prev) {
            parent = scratch.top();
            level = 0; // the first line is the root, however it is indented
        } else if (prevLevel == level) {
            parent = prev->parent();
        } else if (prevLevel == level - 1) {
            if (level > kMaxTreeDepth)
                throw QuilloryError(QStringLiteral("\"groups.tree\", line %1: groups are nested deeper than %2 levels")
                                        .arg(lineNo)
                                        .arg(kMaxTreeDepth));
            parent = prev;
        } else if (prevLevel > level) {
            TreeNode *n = prev->parent();
            for (qsizetype l = prevLevel - 1; l > level; --l)
                n = n->parent();
            parent = n->parent();
        } else {
            throw QuilloryError(QStringLiteral("Invalid level (%1) for item \"%2\"").arg(level).arg(text));
        }
        prev = scratch.addChild(parent, text, KindGroup);
        prevLevel = level;
        lineOf[prev] = lineNo;
    }

    // Kinds and records, pre-order.
    bool first = true;
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
    });
}

void LoadTree(GroupTree &tree, const QString &dbFolder, const InfoCallback &info)
{
    CheckTreeFormat(dbFolder, info);
    const QStringList lines = TextCodec::readLines(dbFolder + QLatin1String(kTreeFile));

    // Build privately and hand over only a complete tree, so a bad file never leaves a half tree.
    GroupTree scratch;
    ParseOutline(scratch, lines);
    std::vector<TreeNode *> discs;
    scratch.forEachPreOrder([&discs](TreeNode *n) {
        if (n->isDisc() && n->cd())
            discs.push_back(n);
    });

    // A disc without its contents file goes silently. One whose serial cannot name a file in
    // DB (a damaged or imported "groups.tree") goes too, and the user is told which it was.
    QStringList unusable;
    for (TreeNode *disc : discs) {
        const TCD &cd = *disc->cd();
        if (!ContentsFile::isUsableSerial(cd.Serial))
            unusable.append(ContentsFile::unusableDiscMessage(cd.Title, cd.Serial));
    }
    // Backwards, so a node is never visited after an ancestor of it was removed.
    for (auto it = discs.rbegin(); it != discs.rend(); ++it)
        if (!ContentsFile::exists(dbFolder, (*it)->cd()->Serial))
            scratch.removeNode(*it);
    scratch.sort();

    // Hand the finished nodes over in one reset.
    tree.adopt(scratch.takeTop());
    if (!unusable.isEmpty() && info)
        info(unusable.join(u'\n'));
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
