#include "Navigator.h"

#include "DiscContents.h"
#include "ExtensionIconCache.h"
#include "TreeEditor.h"
#include "core/FormatSize.h"
#include "core/QuilloryError.h"
#include "store/ContentsFile.h"
#include "store/ContentsRecord.h"
#include "store/GroupTree.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace
{
QString quoted(const QString &s)
{
    return u'"' + s + u'"';
}
} // namespace

Navigator::Navigator(GroupTree &tree, DiscContents &contents, const QString &dbFolder, QObject *parent)
    : QObject(parent), m_tree(tree), m_contents(contents), m_db(dbFolder), m_iconCache(new ExtensionIconCache(this)),
      m_listing(m_iconCache)
{
    // While the tree removes or replaces nodes, the selected node must not dangle, and the
    // view's own moves of its current row are not the user's.
    connect(&tree, &GroupTree::aboutToRemove, this, [this](TreeNode *parent, int first, int last) {
        ++m_treeChanging;
        for (int r = first; r <= last && m_current; ++r)
            if (m_current->isInside(parent->child(r)))
                m_current = parent == m_tree.top() ? nullptr : parent;
        for (int r = first; r <= last && m_menuNode; ++r)
            if (m_menuNode->isInside(parent->child(r)))
                m_menuNode = nullptr;
    });
    connect(&tree, &GroupTree::removed, this, [this] { --m_treeChanging; });
    connect(&tree, &GroupTree::aboutToReset, this, [this] {
        ++m_treeChanging;
        m_current = nullptr;
        m_menuNode = nullptr;
    });
    connect(&tree, &GroupTree::resetDone, this, [this] { --m_treeChanging; });
    connect(&tree, &GroupTree::aboutToMove, this, [this] { ++m_treeChanging; });
    connect(&tree, &GroupTree::moved, this, [this] { --m_treeChanging; });
}

Navigator::~Navigator() = default;

TreeNode *Navigator::groupOf(TreeNode *node)
{
    if (!node)
        return nullptr;
    return node->isDisc() ? node->parent() : node;
}

void Navigator::setCurrent(TreeNode *node)
{
    if (!node)
        return;
    m_current = node;
    Q_EMIT currentNodeChanged(node);
}

void Navigator::showRoot()
{
    Q_EMIT listingAboutToReset();
    m_listing.clear();
    Q_EMIT listingReset();
    if (TreeNode *root = m_tree.root())
        TreeChange(root);
}

void Navigator::selectFromTree(TreeNode *node)
{
    if (node && !m_inTreeChange && !m_treeChanging)
        TreeChange(node);
}

void Navigator::TreeChange(TreeNode *node)
{
    if (!node)
        return;
    ++m_inTreeChange;
    setCurrent(node);
    Q_EMIT nodeSelected(node);
    if (node->isDisc() && node->cd()) {
        const TCD cd = *node->cd();
        // Listing may drop a disc whose contents file is gone: node is not used after this.
        LoadCD(cd.Title, cd.Serial, false, QStringLiteral("\\"));
    } else {
        listGroup(node);
    }
    m_tree.sort();
    --m_inTreeChange;
}

void Navigator::listGroup(TreeNode *node)
{
    m_location.currentSerial.clear();
    m_location.discLabel.clear();
    m_location.pathLabel = node->kind() == KindRoot ? node->text() : QStringLiteral("Group ") + quoted(node->text());
    m_location.archiveMode = false;
    m_location.answerOrder = false;
    Q_EMIT listingAboutToReset();
    m_listing.listGroup(node);
    m_listing.sort(m_location.sortKey, m_location.ascending);
    Q_EMIT listingReset();
    m_status = QStringLiteral("%1 object(s), total size ").arg(node->childCount()) + FormatSize(DoGroup(node).size);
    Q_EMIT locationChanged();
}

void Navigator::LoadCD(const QString &title, const QString &serial, bool archiveMode, const QString &path)
{
    m_location.currentSerial = serial;
    if (!ContentsFile::isUsableSerial(serial)) {
        // A record that would name a file outside DB: told, kept, never looked up on disk.
        listUnreadable(title, serial, ContentsFile::unusableSerialMessage(serial));
        return;
    }
    if (!ContentsFile::exists(m_db, serial) && !QFileInfo(m_db).isDir()) {
        // The whole folder gone (moved, its disk away) damages no disc: nothing is dropped.
        listUnreadable(title, serial,
                       QStringLiteral("The catalogue's folder \"%1\" is no longer there: it was moved or deleted, or "
                                      "its disk went away. Put it back to see this disc; nothing was changed.")
                           .arg(QDir::toNativeSeparators(QDir::cleanPath(m_db))));
        return;
    }
    if (!ContentsFile::exists(m_db, serial)) {
        Q_EMIT problem(TreeEditor::damagedMessage(serial));
        m_location.currentSerial.clear();
        // The disc leaves the tree once the event that listed it is over: a view that is still
        // handling a click would otherwise select whatever row moves up under the mouse, while
        // the list and the commands follow the disc's group.
        QTimer::singleShot(0, this, [this, serial] { dropMissingDisc(serial); });
        return;
    }
    if (!m_contents.holds(serial, ContentsFile::contentsFileName(m_db, serial))) {
        try {
            ContentsFile::readingDisc(title, [&] { m_contents.load(m_db, serial); });
        } catch (const QuilloryError &e) {
            // A damaged contents file is reported and kept: the disc stays in the catalogue.
            listUnreadable(title, serial, e.message());
            return;
        }
        // Checksums that do not line up are left out, and said so once the disc is listed
        // without them (a box in the middle of the listing would run events against half of it).
        if (const QString why = m_contents.checksumProblem(); !why.isEmpty())
            QTimer::singleShot(0, this, [this, why] { Q_EMIT problem(why); });
    }
    followTree(serial);

    m_location.discLabel = LocationState::labelFor(title);
    m_location.pathLabel = path;
    m_location.archiveMode = archiveMode;
    m_location.answerOrder = false;

    Q_EMIT listingAboutToReset();
    m_listing.clear();
    m_listing.setDisc(serial, title, m_contents.files(), m_contents.dirs(), m_contents.checksums());
    if (archiveMode) {
        const int count = m_listing.FindFiles(path);
        m_status =
            QStringLiteral(" %1 files in this directory, total size ").arg(count) + FormatSize(m_listing.totalSize());
    } else {
        const int d = m_listing.FindDir(path);
        const int f = m_listing.FindFiles(path);
        m_status = QStringLiteral(" %1 sub-directories and %2 files in this directory, total size ").arg(d).arg(f) +
                   FormatSize(m_listing.totalSize());
    }
    m_listing.sort(m_location.sortKey, m_location.ascending);
    Q_EMIT listingReset();
    Q_EMIT locationChanged();
}

void Navigator::followTree(const QString &serial)
{
    if (!m_tree.root())
        return;
    // A search hit or a favourite moves the tree to another disc: the object info then
    // describes the disc the tree shows, as a click on it would.
    TreeNode *disc = FindCD(m_tree.root(), serial);
    const bool moved = disc && disc != m_current && !m_inTreeChange;
    setCurrent(disc);
    if (moved)
        Q_EMIT nodeSelected(disc);
}

void Navigator::listUnreadable(const QString &title, const QString &serial, const QString &why)
{
    Q_EMIT problem(why);
    // The disc is shown, with nothing listed, rather than the list left on what was there before
    // under the disc's name in the tree; it stays current, so it can be deleted or edited. No
    // disc is listed for the commands: none of them finds anything to work on.
    followTree(serial);
    m_location.currentSerial.clear();
    m_location.discLabel = LocationState::labelFor(title);
    m_location.pathLabel = QString::fromLatin1(ContentsRecord::RootFolder);
    m_location.archiveMode = false;
    m_location.answerOrder = false;
    Q_EMIT listingAboutToReset();
    m_listing.clear();
    Q_EMIT listingReset();
    m_status = why;
    Q_EMIT locationChanged();
}

void Navigator::dropMissingDisc(const QString &serial)
{
    TreeNode *disc = m_tree.root() ? FindCD(m_tree.root(), serial) : nullptr;
    // A file back while the message waited (a folder moved back, a share that answers again)
    // keeps its disc: the entry would be lost for a moment's absence.
    if (!disc || ContentsFile::exists(m_db, serial) || !QFileInfo(m_db).isDir())
        return;
    TreeNode *parent = disc->parent();
    const bool wasCurrent = m_current && m_current->isInside(disc);
    TreeEditor(m_tree, m_contents, m_db).dropMissingDisc(serial);
    if (wasCurrent && parent)
        TreeChange(parent);
}

void Navigator::BackButtonClick()
{
    if (m_location.isDiscListed()) {
        if (m_location.pathLabel.trimmed() != QLatin1String("\\")) {
            LoadCD(LocationState::titleOf(m_location.discLabel), m_location.currentSerial, false,
                   LocationState::parentPath(m_location.pathLabel));
            return;
        }
        m_location.currentSerial.clear();
        if (m_current)
            TreeChange(m_current->isGroup() ? m_current : m_current->parent());
        return;
    }
    if (m_location.isSearchResult()) {
        TreeChange(m_current);
        return;
    }
    if (m_current && m_current->kind() != KindRoot && m_current->parent() && m_current->parent() != m_tree.top())
        TreeChange(m_current->parent());
}

bool Navigator::ExplorerActivate(int row)
{
    if (row < 0 || row >= m_listing.count())
        return true;
    const ContentsEntry::Kind kind = m_listing.kind(row);
    if (m_location.isSearchResult()) {
        if (kind != ContentsEntry::Folder && kind != ContentsEntry::Archive)
            return false;
        Switch1Click(row);
        return true;
    }
    switch (kind) {
    case ContentsEntry::Up:
        BackButtonClick();
        break;
    case ContentsEntry::Folder:
    case ContentsEntry::Archive:
        LoadCD(LocationState::titleOf(m_location.discLabel), m_location.currentSerial, kind == ContentsEntry::Archive,
               m_location.pathLabel + m_listing.caption(row) + u'\\');
        break;
    case ContentsEntry::Group:
    case ContentsEntry::Disc:
        TreeChange(FindInTree(row));
        break;
    case ContentsEntry::File:
        return false;
    }
    return true;
}

void Navigator::Switch1Click(int row)
{
    if (row < 0 || row >= m_listing.count())
        return;
    const ContentsEntry e = m_listing.entry(row);
    const bool folderOrArchive = e.kind == ContentsEntry::Folder || e.kind == ContentsEntry::Archive;
    if (!m_location.isSearchResult()) {
        if (folderOrArchive)
            ExplorerActivate(row);
        return;
    }
    // A file's folder is listed; a file inside an archive is listed with the rest of the archive.
    const EntryPlace &p = e.place;
    if (folderOrArchive)
        LoadCD(p.title(), p.serial(), e.kind == ContentsEntry::Archive, p.folder() + e.caption + u'\\');
    else
        LoadCD(p.title(), p.serial(), p.insideZip(), p.insideZip() ? p.archive() : p.folder());
}

TreeNode *Navigator::FindInTree(int row) const
{
    if (!m_current || row < 0 || row >= m_listing.count())
        return nullptr;
    const ContentsEntry::Kind kind = m_listing.kind(row);
    const QString caption = m_listing.caption(row);
    for (int i = 0; i < m_current->childCount(); ++i) {
        TreeNode *c = m_current->child(i);
        if (c->text() != caption)
            continue;
        if ((kind == ContentsEntry::Group && c->kind() == KindGroup) || (kind == ContentsEntry::Disc && c->isDisc()))
            return c;
    }
    return nullptr;
}

void Navigator::beginSearch(const QString &heading)
{
    m_location.discLabel = heading;
    m_location.pathLabel = QStringLiteral("0 found");
    m_location.archiveMode = false;
    m_status = QStringLiteral("Searching...");
    Q_EMIT listingAboutToReset();
    m_listing.clear();
    Q_EMIT listingReset();
    Q_EMIT locationChanged();
}

void Navigator::searchCounted(int found)
{
    m_location.pathLabel = QStringLiteral("%1 found").arg(found);
    Q_EMIT locationChanged();
}

void Navigator::showSearchResult(std::shared_ptr<const SearchHits> hits, const QString &status, bool answerOrder)
{
    m_location.currentSerial = LocationState::searchResult();
    m_location.pathLabel.clear();
    m_location.archiveMode = false;
    m_location.answerOrder = answerOrder;
    m_status = status;
    Q_EMIT listingAboutToReset();
    m_listing.setHits(std::move(hits));
    if (!answerOrder)
        m_listing.sort(m_location.sortKey, m_location.ascending);
    Q_EMIT listingReset();
    Q_EMIT locationChanged();
}

void Navigator::noteOnResult(const QString &note)
{
    m_location.pathLabel = note;
    Q_EMIT locationChanged();
}

void Navigator::setStatus(const QString &text)
{
    m_status = text;
    Q_EMIT locationChanged();
}

void Navigator::ExplorerColumnClick(ExplorerColumn column)
{
    m_location.columnClicked(column);
    sort();
}

void Navigator::arrange(ExplorerColumn column)
{
    m_location.arrange(column);
    sort();
}

void Navigator::sort()
{
    Q_EMIT listingAboutToSort();
    const std::vector<int> order = m_listing.sort(m_location.sortKey, m_location.ascending);
    Q_EMIT listingSorted(order);
    Q_EMIT locationChanged();
}

void Navigator::requestNodeMenu(TreeNode *node, const QPoint &globalPos)
{
    if (!node)
        return;
    m_menuNode = node;
    Q_EMIT nodeMenuRequested(node, globalPos);
    m_menuNode = nullptr;
}
