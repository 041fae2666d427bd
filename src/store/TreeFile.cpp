#include "TreeFile.h"

#include "ContentsFile.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <sys/mman.h>
#include <algorithm>
#include <array>
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

bool hasSeparator(QStringView text)
{
    return text.contains(u'|');
}

bool hasSeparator(QByteArrayView text)
{
    return text.contains('|');
}

// The strings of a load's ASCII fields, by their bytes: genres, file systems, dates and
// descriptions repeat from disc to disc, and a repeated field then shares one string instead
// of allocating its own. A small table where a newer text replaces an older one in its slot.
class FieldTexts
{
public:
    QString operator()(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return QString();
        Slot &slot = m_slots[slotOf(bytes)];
        if (slot.bytes != bytes) {
            slot.bytes = bytes;
            slot.text = QLatin1StringView(bytes);
        }
        return slot.text;
    }

private:
    static constexpr quint32 kSlots = 61;

    // From the length and the first and last eight bytes: enough to tell apart the texts of
    // neighbouring discs without reading a long description through.
    static quint32 slotOf(QByteArrayView bytes)
    {
        const auto n = static_cast<size_t>(bytes.size());
        quint64 head = 0, tail = 0;
        std::memcpy(&head, bytes.data(), std::min<size_t>(n, 8));
        if (n > 8)
            std::memcpy(&tail, bytes.data() + n - 8, 8);
        const quint64 h = (head * 0x9E3779B97F4A7C15ULL) ^ (tail * 0xC2B2AE3D27D4EB4FULL) ^ n;
        return static_cast<quint32>((h ^ (h >> 29)) % kSlots);
    }
    struct Slot {
        QByteArrayView bytes;
        QString text;
    };
    std::array<Slot, kSlots> m_slots;
};

// Builds the outline line by line, so no list of all lines is ever held: a node, its kind
// and its record are made as its line is read. The nodes hang under a container of their
// own, which nobody watches, until the finished outline is handed to a tree in one reset.
class OutlineBuilder
{
public:
    OutlineBuilder() : m_top(std::make_unique<TreeNode>()) {}

    // A line already decoded (and upgraded).
    void add(QStringView line, int lineNo)
    {
        addLine(
            line, lineNo, [](QStringView text) { return text.toString(); },
            [](QStringView text) { return StrToCD(text); });
    }

    // A line of ASCII bytes straight from the file, read as if upgraded when upgrade is set.
    void addAscii(QByteArrayView line, int lineNo, bool upgrade)
    {
        addLine(
            line, lineNo,
            [upgrade](QByteArrayView text) {
                QString s = QLatin1StringView(text);
                if (upgrade && hasSeparator(text))
                    s += u'|';
                return s;
            },
            [this, upgrade](QByteArrayView text) {
                return AsciiToCD(
                    text, upgrade, [this](QByteArrayView field) { return m_fields(field); }, &m_serial);
            });
    }

    // The discs in the order of their lines, which is the outline's pre-order.
    const std::vector<TreeNode *> &discs() const { return m_discs; }
    // Each disc's serial: for a line of ASCII the bytes in the line, which are still at hand
    // when the discs are looked up, where the record's own string lies scattered on the heap.
    const std::vector<QAnyStringView> &serials() const { return m_serials; }
    // Whether every node came after its elder sibling in the tree's order. Compared as each
    // node is made, while both texts are still in the cache; a walk over the finished tree
    // would fetch every text again.
    bool inOrder() const { return m_inOrder; }
    std::unique_ptr<TreeNode> takeTop() { return std::move(m_top); }

private:
    template <typename View, typename Text, typename Record>
    void addLine(View line, int lineNo, const Text &textOf, const Record &recordOf)
    {
        qsizetype level = 0;
        while (level < line.size() && (line.at(level) == u'\t' || line.at(level) == u' '))
            ++level;
        if (level == line.size())
            return; // a node without a name could not be written back as a line of its own
        const View text = line.sliced(level);
        TreeNode *parent = nullptr;
        if (!m_prev) {
            // The first line is the root; an indented one would make the collection a child.
            if (level != 0)
                throw invalidLevel(level, textOf(text));
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
            throw invalidLevel(level, textOf(text));
        }
        if (++m_nodes > TreeLimits::MaxNodes)
            throw QuilloryError(QStringLiteral("\"groups.tree\" holds more than %1 entries, far more than any "
                                               "catalogue; it is not read.")
                                    .arg(TreeLimits::MaxNodes));

        if (!m_prev) {
            m_prev = GroupTree::appendUnannounced(parent, textOf(text), KindRoot);
        } else if (hasSeparator(text)) {
            TCD cd;
            m_serial = QByteArrayView();
            try {
                cd = recordOf(text);
            } catch (const QuilloryError &e) {
                throw QuilloryError(treeLineMessage(lineNo, e.message()));
            }
            m_prev = GroupTree::appendDiscUnannounced(parent, std::move(cd));
            m_discs.push_back(m_prev);
            // The line's bytes are ASCII, and so UTF-8 too; a decoded line's serial is in its node.
            if (m_serial.data())
                m_serials.emplace_back(QUtf8StringView(m_serial.data(), m_serial.size()));
            else
                m_serials.emplace_back(QStringView(m_prev->cd()->Serial));
        } else {
            m_prev = GroupTree::appendUnannounced(parent, textOf(text), KindGroup);
        }
        m_prevLevel = level;
        // The roots themselves keep the file's order; only what lies below them is sorted.
        if (m_inOrder && parent != m_top.get() && parent->childCount() > 1 &&
            GroupTree::treeLess(m_prev, parent->child(parent->childCount() - 2)))
            m_inOrder = false;
    }

    static QuilloryError invalidLevel(qsizetype level, const QString &text)
    {
        return QuilloryError(QStringLiteral("Invalid level (%1) for item \"%2\"").arg(level).arg(shown(text)));
    }

    std::unique_ptr<TreeNode> m_top;
    TreeNode *m_prev = nullptr;
    qsizetype m_prevLevel = 0;
    int m_nodes = 0;
    std::vector<TreeNode *> m_discs;
    std::vector<QAnyStringView> m_serials;
    QByteArrayView m_serial; // of the ASCII line being read
    bool m_inOrder = true;
    FieldTexts m_fields;
};

// The file's bytes, mapped where the file system allows it (so a large file costs no copy),
// refused beyond the size limit before anything is read. The mapping is filled in at once:
// the whole file is read through anyway, and a fault per few pages costs more than one call.
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
            void *p = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, m_file.handle(), 0);
            if (p != MAP_FAILED) {
                m_mapped = p;
                m_view = QByteArrayView(static_cast<const char *>(p), size);
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
    ~TreeBytes()
    {
        if (m_mapped)
            ::munmap(m_mapped, size_t(m_view.size()));
    }
    TreeBytes(const TreeBytes &) = delete;
    TreeBytes &operator=(const TreeBytes &) = delete;

    QByteArrayView bytes() const { return m_view; }
    // Whether the whole file is valid UTF-8, and so how a line that is not ASCII reads; asked
    // only when such a line turns up, so a file of ASCII is never walked for it.
    bool utf8() const
    {
        if (!m_utf8)
            m_utf8 = TextCodec::isValidUtf8(m_view);
        return *m_utf8;
    }

private:
    static QuilloryError tooLarge(const QString &path)
    {
        return QuilloryError(QStringLiteral("\"%1\" is larger than %2 MB, far more than any catalogue; it is not read.")
                                 .arg(path)
                                 .arg(TreeLimits::MaxFileBytes >> 20));
    }

    QFile m_file;
    QByteArray m_copy;
    void *m_mapped = nullptr;
    QByteArrayView m_view;
    mutable std::optional<bool> m_utf8;
};

// A disc line of the older format has one separator fewer: nine fields.
constexpr qsizetype kOlderFormatSeparators = 8;

void checkLineLength(QByteArrayView line, int lineNo)
{
    if (line.size() > TreeLimits::MaxLineBytes)
        throw QuilloryError(treeLineMessage(
            lineNo, QStringLiteral("a line longer than %1 MB is not read.").arg(TreeLimits::MaxLineBytes >> 20)));
}

// Walks the file's lines, each checked for length first, with what its one look at the bytes
// found (its separators, whether it is ASCII); stops early when visit returns false.
template <typename Visit> bool forEachLine(QByteArrayView bytes, const Visit &visit)
{
    qsizetype pos = 0;
    QByteArrayView line;
    TextCodec::LineFacts facts;
    int lineNo = 0;
    while (TextCodec::nextLine(bytes, pos, line, '|', facts)) {
        checkLineLength(line, ++lineNo);
        if (!visit(line, lineNo, facts))
            return false;
    }
    return true;
}

// Whether a line names a node: a line of tabs and spaces only is passed over.
bool holdsText(QByteArrayView line)
{
    return std::any_of(line.begin(), line.end(), [](char c) { return c != '\t' && c != ' '; });
}

// The first line that names a node is the collection, never a disc: separators in a damaged
// one (which the upgrade extends like any line's) do not make the file the older format, so
// a tree upgraded and saved reads back the same. Tells each line whether it comes after the
// collection's.
class AfterRoot
{
public:
    bool operator()(QByteArrayView line)
    {
        const bool after = m_seen;
        m_seen = m_seen || holdsText(line);
        return after;
    }

private:
    bool m_seen = false;
};

// Whether the file is in the older format (some disc line has exactly eight separators),
// after checking every line's length.
bool olderFormat(QByteArrayView bytes)
{
    bool old = false;
    AfterRoot afterRoot;
    forEachLine(bytes, [&](QByteArrayView line, int, const TextCodec::LineFacts &facts) {
        old = (afterRoot(line) && facts.counted == kOlderFormatSeparators) || old;
        return true;
    });
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

// Reads the lines into the builder, each as it is found. Read as the newer format (upgrade
// false), it stops at the first line that shows the file is in the older one and says so.
bool readOutline(OutlineBuilder &builder, const TreeBytes &file, bool upgrade)
{
    AfterRoot afterRoot;
    return forEachLine(file.bytes(), [&](QByteArrayView line, int lineNo, const TextCodec::LineFacts &facts) {
        const bool belowRoot = afterRoot(line);
        if (!upgrade && belowRoot && facts.counted == kOlderFormatSeparators)
            return false;
        // An ASCII line reads the same in either encoding, and is cut up without decoding.
        if (facts.ascii)
            builder.addAscii(line, lineNo, upgrade);
        else
            builder.add(treeLine(line, file.utf8(), upgrade), lineNo);
        return true;
    });
}

} // namespace

void LoadTreeFile(GroupTree &tree, const QString &treeFile, const ContentsLookup &hasContents, const InfoCallback &info,
                  TreeWrite write)
{
    const TreeBytes file(treeFile);
    const QByteArrayView bytes = file.bytes();

    // Build privately and hand over only a complete tree, so a bad file never leaves a half tree.
    // One pass reads a file of the newer format, the usual case. The older format is known
    // for certain only once every line was looked at: when a line shows it, or when the newer
    // reading fails somewhere, the file is looked through (every line's length first, as an
    // error of its own) and read again as the older format if it is one.
    auto builder = std::make_unique<OutlineBuilder>();
    bool upgrade = false;
    try {
        upgrade = !readOutline(*builder, file, false);
    } catch (const QuilloryError &) {
        if (!olderFormat(bytes))
            throw;
        upgrade = true;
    }
    if (upgrade) {
        olderFormat(bytes);
        builder = std::make_unique<OutlineBuilder>();
        readOutline(*builder, file, true);
    }
    GroupTree scratch;
    scratch.adopt(builder->takeTop());
    const std::vector<TreeNode *> &discs = builder->discs();

    // A disc without its contents file goes silently. One whose serial cannot name a file in
    // DB (a damaged or imported "groups.tree") goes too, and the user is told which it was.
    QStringList unusable;
    const std::vector<QAnyStringView> &serials = builder->serials();
    std::vector<bool> keep = hasContents(serials);
    for (size_t i = 0; i < discs.size(); ++i) {
        if (!ContentsFile::isUsableSerial(serials[i])) {
            const TCD &cd = *discs[i]->cd();
            unusable.append(ContentsFile::unusableDiscMessage(cd.Title, cd.Serial));
            keep[i] = false;
        }
    }
    // Backwards, so a node is never visited after an ancestor of it was removed.
    for (size_t i = discs.size(); i-- > 0;)
        if (!keep[i])
            scratch.removeNode(discs[i]);
    // Leaving nodes out keeps the rest in order, so a tree read in order needs no sorting.
    if (!builder->inOrder())
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
            upgraded += treeLine(line, file.utf8(), true).toUtf8() + "\r\n";
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
    // Listing a large DB folder costs about as much as reading the tree, so it runs on a
    // second thread while the outline is parsed; the lookups wait for it.
    std::future<ContentsSerials> listing = std::async(std::launch::async, &ContentsFile::serialsPresent, dbFolder);
    LoadTreeFile(
        tree, dbFolder + QLatin1String(TreeFileName),
        [&](const std::vector<QAnyStringView> &serials) { return listing.get().containsEach(serials); },
        info, write);
}

void ParseOutline(GroupTree &scratch, const QStringList &lines)
{
    OutlineBuilder builder;
    int lineNo = 0;
    for (const QString &line : lines)
        builder.add(line, ++lineNo);
    scratch.adopt(builder.takeTop());
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
