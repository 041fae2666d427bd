#include "TreeFile.h"

#include "ContentsFile.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace
{

QString treeLineMessage(int lineNo, const QString &what)
{
    return QStringLiteral("\"groups.tree\", line %1: %2").arg(lineNo).arg(what);
}

// A hostile line can be megabytes long; the message names its start.
QString shown(const QString &text)
{
    constexpr qsizetype kShown = 200;
    return text.size() <= kShown ? text : text.left(kShown) + QStringLiteral("...");
}

// Builds the outline line by line, so no list of all lines is ever held: a node, its kind
// and its record are made as its line is read.
class OutlineBuilder
{
public:
    explicit OutlineBuilder(GroupTree &scratch) : m_tree(scratch) {}

    void add(const QString &line, int lineNo)
    {
        qsizetype level = 0;
        while (level < line.size() && (line.at(level) == u'\t' || line.at(level) == u' '))
            ++level;
        if (level == line.size())
            return; // a node without a name could not be written back as a line of its own
        const QString text = line.mid(level);
        TreeNode *parent = nullptr;
        if (!m_prev) {
            // The first line is the root; an indented one would make the collection a child.
            if (level != 0)
                throw invalidLevel(level, text);
            parent = m_tree.top();
        } else if (level == m_prevLevel) {
            parent = m_prev->parent();
        } else if (level == m_prevLevel + 1) {
            if (level > TreeLimits::MaxDepth)
                throw QuilloryError(treeLineMessage(
                    lineNo, QStringLiteral("groups are nested deeper than %1 levels").arg(TreeLimits::MaxDepth)));
            parent = m_prev;
        } else if (level < m_prevLevel) {
            TreeNode *n = m_prev->parent();
            for (qsizetype l = m_prevLevel - 1; l > level; --l)
                n = n->parent();
            parent = n->parent();
        } else {
            throw invalidLevel(level, text);
        }
        if (++m_nodes > TreeLimits::MaxNodes)
            throw QuilloryError(QStringLiteral("\"groups.tree\" holds more than %1 entries, far more than any "
                                               "catalogue; it is not read.")
                                    .arg(TreeLimits::MaxNodes));

        if (!m_prev) {
            m_prev = m_tree.addChild(parent, text, KindRoot);
        } else if (text.contains(u'|')) {
            TCD cd;
            try {
                cd = StrToCD(text);
            } catch (const QuilloryError &e) {
                throw QuilloryError(treeLineMessage(lineNo, e.message()));
            }
            m_prev = m_tree.addDisc(parent, cd);
        } else {
            m_prev = m_tree.addChild(parent, text, KindGroup);
        }
        m_prevLevel = level;
    }

private:
    static QuilloryError invalidLevel(qsizetype level, const QString &text)
    {
        return QuilloryError(QStringLiteral("Invalid level (%1) for item \"%2\"").arg(level).arg(shown(text)));
    }

    GroupTree &m_tree;
    TreeNode *m_prev = nullptr;
    qsizetype m_prevLevel = 0;
    int m_nodes = 0;
};

// The file's bytes, mapped where the file system allows it (so a large file costs no copy),
// refused beyond the size limit before anything is read.
class TreeBytes
{
public:
    explicit TreeBytes(const QString &path) : m_file(path)
    {
        const QString shownPath = QDir::toNativeSeparators(path);
        if (!m_file.open(QIODevice::ReadOnly))
            throw QuilloryError(QStringLiteral("Cannot open file \"%1\". %2").arg(shownPath, m_file.errorString()));
        const qint64 size = m_file.size();
        if (size > TreeLimits::MaxFileBytes)
            throw tooLarge(shownPath);
        if (size > 0) {
            if (const uchar *p = m_file.map(0, size)) {
                m_view = QByteArrayView(p, size);
                return;
            }
        }
        m_copy = m_file.read(TreeLimits::MaxFileBytes + 1);
        if (m_file.error() != QFileDevice::NoError)
            throw QuilloryError(QStringLiteral("Cannot read file \"%1\". %2").arg(shownPath, m_file.errorString()));
        if (m_copy.size() > TreeLimits::MaxFileBytes)
            throw tooLarge(shownPath);
        m_view = m_copy;
    }
    QByteArrayView bytes() const { return m_view; }

private:
    static QuilloryError tooLarge(const QString &path)
    {
        return QuilloryError(QStringLiteral("\"%1\" is larger than %2 MB, far more than any catalogue; it is not read.")
                                 .arg(path)
                                 .arg(TreeLimits::MaxFileBytes >> 20));
    }

    QFile m_file;
    QByteArray m_copy;
    QByteArrayView m_view;
};

// Whether the file is in the older format (some line has exactly eight separators), after
// checking every line's length.
bool olderFormat(QByteArrayView bytes)
{
    bool old = false;
    qsizetype pos = 0;
    QByteArrayView line;
    int lineNo = 0;
    while (TextCodec::nextLine(bytes, pos, line)) {
        ++lineNo;
        if (line.size() > TreeLimits::MaxLineBytes)
            throw QuilloryError(treeLineMessage(
                lineNo, QStringLiteral("a line longer than %1 MB is not read.").arg(TreeLimits::MaxLineBytes >> 20)));
        if (!old && std::count(line.begin(), line.end(), '|') == 8)
            old = true;
    }
    return old;
}

// A line as the tree reads it: the older format's disc lines gain the empty BorrowedTo.
QString treeLine(QByteArrayView bytes, bool utf8, bool upgrade)
{
    QString line = TextCodec::decodeLine(bytes, utf8);
    if (upgrade && line.contains(u'|'))
        line += u'|';
    return line;
}

} // namespace

void LoadTreeFile(GroupTree &tree, const QString &treeFile, const ContentsLookup &hasContents, const InfoCallback &info,
                  TreeWrite write)
{
    const TreeBytes file(treeFile);
    const QByteArrayView bytes = file.bytes();
    const bool utf8 = TextCodec::isValidUtf8(bytes);
    const bool upgrade = olderFormat(bytes);

    // Build privately and hand over only a complete tree, so a bad file never leaves a half tree.
    GroupTree scratch;
    {
        OutlineBuilder builder(scratch);
        qsizetype pos = 0;
        QByteArrayView line;
        int lineNo = 0;
        while (TextCodec::nextLine(bytes, pos, line))
            builder.add(treeLine(line, utf8, upgrade), ++lineNo);
    }
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
    for (auto it = discs.rbegin(); it != discs.rend(); ++it) {
        const QString &serial = (*it)->cd()->Serial;
        if (!ContentsFile::isUsableSerial(serial) || !hasContents(serial))
            scratch.removeNode(*it);
    }
    scratch.sort();

    // The older format is rewritten only now that the upgraded outline has loaded, so a file
    // that cannot be read is never replaced by something else.
    if (upgrade && write == TreeWrite::Allowed) {
        if (info)
            info(QStringLiteral("Your database appears to be in older format. It will be updated automatically."));
        QByteArray upgraded;
        upgraded.reserve(bytes.size() + bytes.size() / 16);
        qsizetype pos = 0;
        QByteArrayView line;
        while (TextCodec::nextLine(bytes, pos, line))
            upgraded += treeLine(line, utf8, true).toUtf8() + "\r\n";
        // The save file writes beside the target and renames over it, so the old file stays
        // whole until the new one is complete.
        TextCodec::writeBytes(treeFile, upgraded);
        QFile::remove(QFileInfo(treeFile).absolutePath() + QLatin1String("/groups.new"));
        if (info)
            info(QStringLiteral("Update completed!"));
    }

    // Hand the finished nodes over in one reset.
    tree.adopt(scratch.takeTop());
    if (!unusable.isEmpty() && info)
        info(unusable.join(u'\n'));
}

void LoadTree(GroupTree &tree, const QString &dbFolder, const InfoCallback &info, TreeWrite write)
{
    const QSet<QString> present = ContentsFile::serialsPresent(dbFolder);
    LoadTreeFile(
        tree, dbFolder + QLatin1String(TreeFileName),
        [&present](const QString &serial) { return present.contains(serial); }, info, write);
}

void ParseOutline(GroupTree &scratch, const QStringList &lines)
{
    OutlineBuilder builder(scratch);
    int lineNo = 0;
    for (const QString &line : lines)
        builder.add(line, ++lineNo);
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
    TextCodec::writeLines(dbFolder + QLatin1String(TreeFileName), TreeToLines(tree));
}
