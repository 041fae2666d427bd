#include "TreeFile.h"

#include "ContentsFile.h"
#include "core/FileInput.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <future>
#include <optional>

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

// Builds the outline line by line: a node, its kind and its record are made as its line is
// read. The nodes hang under a container of their own, which nobody watches, until the
// finished outline is handed to a tree in one reset.
class OutlineBuilder
{
public:
    OutlineBuilder() : m_top(std::make_unique<TreeNode>()) {}

    // A line decoded (and upgraded).
    void add(QStringView line, int lineNo)
    {
        qsizetype level = 0;
        while (level < line.size() && (line.at(level) == u'\t' || line.at(level) == u' '))
            ++level;
        if (level == line.size())
            return; // a node without a name could not be written back as a line of its own
        const QStringView text = line.sliced(level);
        TreeNode *parent = nullptr;
        if (!m_prev) {
            // The first line is the root; an indented one would make the collection a child.
            if (level != 0)
                throw invalidLevel(level, text);
            parent = m_top.get();
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
            m_prev = GroupTree::appendUnannounced(parent, text.toString(), KindRoot);
        } else if (text.contains(u'|')) {
            try {
                m_prev = GroupTree::appendDiscUnannounced(parent, StrToCD(text, m_lastDisc));
            } catch (const QuilloryError &e) {
                throw QuilloryError(treeLineMessage(lineNo, e.message()));
            }
            m_lastDisc = m_prev->cd();
        } else {
            m_prev = GroupTree::appendUnannounced(parent, text.toString(), KindGroup);
        }
        m_prevLevel = level;
        // The roots themselves keep the file's order; only what lies below them is sorted.
        if (m_inOrder && parent != m_top.get() && parent->childCount() > 1 &&
            GroupTree::treeLess(m_prev, parent->child(parent->childCount() - 2)))
            m_inOrder = false;
    }

    // Whether every node came after its elder sibling in the tree's order, so a tree read in
    // order needs no sorting.
    bool inOrder() const { return m_inOrder; }
    std::unique_ptr<TreeNode> takeTop() { return std::move(m_top); }

private:
    static QuilloryError invalidLevel(qsizetype level, QStringView text)
    {
        return QuilloryError(
            QStringLiteral("Invalid level (%1) for item \"%2\"").arg(level).arg(shown(text.toString())));
    }

    std::unique_ptr<TreeNode> m_top;
    TreeNode *m_prev = nullptr;
    qsizetype m_prevLevel = 0;
    int m_nodes = 0;
    const TCD *m_lastDisc = nullptr; // its strings are shared by the next disc's equal fields
    bool m_inOrder = true;
};

// The file's bytes, mapped (a large file costs no copy), refused beyond the size limit before
// anything is read.
class TreeBytes
{
public:
    explicit TreeBytes(const QString &path) : m_file(path)
    {
        const QString shownPath = QDir::toNativeSeparators(path);
        FileInput::mustOpenForReading(m_file);
        const auto tooLarge = [&] {
            return QuilloryError(
                QStringLiteral("\"%1\" is larger than %2 MB, far more than any catalogue; it is not read.")
                    .arg(shownPath)
                    .arg(TreeLimits::MaxFileBytes >> 20));
        };
        const qint64 size = m_file.size();
        if (size > TreeLimits::MaxFileBytes)
            throw tooLarge();
        if (const uchar *p = size > 0 ? m_file.map(0, size) : nullptr) {
            m_view = QByteArrayView(p, size);
            return;
        }
        // A file system that cannot map it, or a file still growing: read, up to the limit.
        m_copy = m_file.read(TreeLimits::MaxFileBytes + 1);
        if (m_file.error() != QFileDevice::NoError)
            throw QuilloryError(FileInput::readFailure(m_file));
        if (m_copy.size() > TreeLimits::MaxFileBytes)
            throw tooLarge();
        m_view = m_copy;
    }

    QByteArrayView bytes() const { return m_view; }

private:
    QFile m_file; // unmaps as it closes
    QByteArray m_copy;
    QByteArrayView m_view;
};

// A disc line of the older format has one separator fewer: nine fields.
constexpr qsizetype kOlderFormatSeparators = 8;

// Whether a line holds exactly `count` separators; memchr skips the text between them.
bool hasSeparators(QByteArrayView line, qsizetype count)
{
    const char *p = line.data();
    const char *end = p + line.size();
    for (qsizetype found = 0; found <= count; ++found) {
        p = static_cast<const char *>(std::memchr(p, '|', size_t(end - p)));
        if (!p)
            return found == count;
        ++p;
    }
    return false;
}

// Checks each line's length and tells whether the file is in the older format: some line
// below the collection's has exactly eight separators. The first line that names a node is
// the collection, never a disc: separators in a damaged one (which the upgrade extends like
// any line's) do not make the file the older format, so a tree upgraded and saved reads back
// the same. The lines are not kept: a second pass over the mapped bytes costs less than a
// table of tens of thousands of them.
bool checkLines(QByteArrayView bytes)
{
    bool olderFormat = false;
    bool rootSeen = false;
    int lineNo = 0;
    qsizetype pos = 0;
    QByteArrayView line;
    while (TextCodec::nextLine(bytes, pos, line)) {
        ++lineNo;
        if (line.size() > TreeLimits::MaxLineBytes)
            throw QuilloryError(treeLineMessage(
                lineNo, QStringLiteral("a line longer than %1 MB is not read.").arg(TreeLimits::MaxLineBytes >> 20)));
        if (rootSeen && !olderFormat && hasSeparators(line, kOlderFormatSeparators))
            olderFormat = true;
        rootSeen = rootSeen || std::any_of(line.begin(), line.end(), [](char c) { return c != '\t' && c != ' '; });
    }
    return olderFormat;
}

// A line as the tree reads it: the older format's disc lines gain the empty BorrowedTo.
void treeLine(QByteArrayView bytes, bool utf8, bool upgrade, QString &line)
{
    TextCodec::decodeLine(bytes, utf8, line);
    if (upgrade && line.contains(u'|'))
        line += u'|';
}

} // namespace

void LoadTreeFile(GroupTree &tree, const QString &treeFile, const ContentsLookup &hasContents, const InfoCallback &info,
                  TreeWrite write)
{
    const TreeBytes file(treeFile);
    const bool upgrade = checkLines(file.bytes());
    const bool utf8 = TextCodec::isValidUtf8(file.bytes());
    // Each line of the file as the tree reads it, in order.
    const auto forEachLine = [&](bool upgraded, const auto &fn) {
        QString line;
        qsizetype pos = 0;
        QByteArrayView bytes;
        for (int lineNo = 1; TextCodec::nextLine(file.bytes(), pos, bytes); ++lineNo) {
            treeLine(bytes, utf8, upgraded, line);
            fn(line, lineNo);
        }
    };

    // Build privately and hand over only a complete tree, so a bad file never leaves a half tree.
    OutlineBuilder builder;
    forEachLine(upgrade, [&](const QString &line, int lineNo) { builder.add(line, lineNo); });
    GroupTree scratch;
    scratch.adopt(builder.takeTop());
    // Not even the root: an empty file, cut short by something else (no save writes less).
    // Taken for an empty catalogue, it would be saved over, with the favourites of its discs.
    if (!scratch.root())
        throw QuilloryError(QStringLiteral("\"%1\" holds no group tree, not even the root of the catalogue: the file "
                                           "was damaged. Nothing is written over it. Restore the catalogue with "
                                           "Import Database, or remove the file to start an empty one.")
                                .arg(QDir::toNativeSeparators(treeFile)));

    // A disc without its contents file goes silently. One whose serial cannot name a file in
    // DB (a damaged or imported "groups.tree") goes too, and the user is told which it was.
    QStringList unusable;
    scratch.removeDiscsIf([&](const TCD &cd) {
        if (ContentsFile::isUsableSerial(cd.Serial))
            return !hasContents(cd.Serial);
        unusable.append(ContentsFile::unusableDiscMessage(cd.Title, cd.Serial));
        return true;
    });
    // Leaving nodes out keeps the rest in order, so a tree read in order needs no sorting.
    if (!builder.inOrder())
        scratch.sort();

    // The older format is rewritten only now that the upgraded outline has loaded, so a file
    // that cannot be read is never replaced by something else.
    if (upgrade && write == TreeWrite::Allowed) {
        if (info)
            info(QStringLiteral("Your database appears to be in older format. It will be updated automatically."));
        QStringList upgraded;
        forEachLine(true, [&](const QString &line, int) { upgraded.append(line); });
        // The save file writes beside the target and renames over it, so the old file stays
        // whole until the new one is complete.
        TextCodec::writeLines(treeFile, upgraded);
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
    // Listing a large DB folder costs about as much as reading the tree, so it runs on a
    // second thread while the outline is parsed; the first lookup waits for it.
    std::future<ContentsFile::Present> listing = std::async(std::launch::async, &ContentsFile::serialsPresent, dbFolder);
    std::optional<ContentsFile::Present> present;
    // Discs whose contents file is spelt in another case (a catalogue carried over from a system
    // that ignores case): a program that may write gives the files their discs' spelling, then
    // reads the tree once more; without the rename the disc goes, as any without its file.
    QHash<QString, QString> otherCase;
    LoadTreeFile(
        tree, dbFolder + QLatin1String(TreeFileName),
        [&](const QString &serial) {
            if (!present)
                present = listing.get();
            if (present->contains(serial))
                return true;
            if (write == TreeWrite::Allowed)
                if (const QString other = present->otherCase(serial); !other.isEmpty())
                    otherCase.insert(serial, other);
            return false;
        },
        info, write);
    if (otherCase.isEmpty())
        return;
    QSet<QString> kept;
    tree.forEachPreOrder([&kept](TreeNode *n) {
        if (n->isDisc() && n->cd())
            kept.insert(n->cd()->Serial);
    });
    if (ContentsFile::adoptOtherCase(
            dbFolder, otherCase, [&kept](const QString &serial) { return kept.contains(serial); }, info))
        LoadTree(tree, dbFolder, info, write);
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
