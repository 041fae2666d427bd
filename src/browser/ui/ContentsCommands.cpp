#include "ContentsCommands.h"

#include "ContentsIcons.h"
#include "ContentsModel.h"
#include "ContentsPanel.h"
#include "ContentsView.h"
#include "ObjectInfoPanel.h"
#include "TMainForm.h"
#include "TPropertiesForm.h"
#include "core/FormatSize.h"
#include "core/SizeSum.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/WaitForCD.h"
#include "listing/ExtensionIconCache.h"
#include "listing/FileTypes.h"
#include "listing/FindColumn.h"
#include "listing/Navigator.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/TreeNode.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMenu>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

ContentsCommands::ContentsCommands(Workspace &workspace, Navigator &navigator, TMainForm &window)
    : QObject(&window), m_workspace(workspace), m_navigator(navigator), m_window(window), m_actions(window.actions()),
      m_view(window.contentsPanel()->view()), m_infoPanel(window.infoPanel()), m_icons(window.icons())
{
    ActionRegistry &a = m_actions;
    // One checked item for the three "View" menus, one for the two "Arrange Icons" menus.
    auto *styles = new QActionGroup(this);
    for (const QString &name : {u"LargeIcons1"_s, u"SmallIcons1"_s, u"List1"_s, u"Details1"_s}) {
        QAction *act = a.claim(name);
        const int style = static_cast<int>(m_styles.size());
        styles->addAction(act);
        m_styles.append(act);
        connect(act, &QAction::triggered, this, [this, style] { setViewStyle(style); });
    }
    m_styles.first()->setChecked(true);
    auto *arrange = new QActionGroup(this);
    // An answer listed in its own order is arranged by none of them.
    arrange->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const QString &name : {u"byName1"_s, u"byType1"_s, u"byPath1"_s, u"bySize1"_s, u"byDate1"_s}) {
        QAction *act = a.claim(name);
        const int column = static_cast<int>(m_arrange.size());
        arrange->addAction(act);
        m_arrange.append(act);
        connect(act, &QAction::triggered, this, [this, column] { arrangeIcons(column); });
    }
    m_arrange.at(static_cast<int>(navigator.location().sortKey))->setChecked(true);
    connect(a.claim(u"BackButton"_s), &QAction::triggered, this, &ContentsCommands::BackButtonClick);
    connect(a.claim(u"ViewButton"_s), &QAction::triggered, this, &ContentsCommands::cycleViewStyle);
    connect(a.claim(u"Switch1"_s), &QAction::triggered, this, &ContentsCommands::Switch1Click);
    connect(a.claim(u"ToggleObjectInfo1"_s), &QAction::triggered, this, &ContentsCommands::ToggleInfoClick);
    connect(a.claim(u"ViewProperties1"_s), &QAction::triggered, this, &ContentsCommands::ViewProperties1Click);
    connect(a.claim(u"Execute1"_s), &QAction::triggered, this, &ContentsCommands::Execute1Click);
    connect(a.claim(u"OpeninExplorer1"_s), &QAction::triggered, this, &ContentsCommands::OpeninExplorer1Click);

    m_view->setCommandKeys({QKeyCombination(Qt::CTRL, Qt::Key_A), QKeyCombination(Qt::CTRL, Qt::Key_F),
                            QKeyCombination(Qt::CTRL, Qt::Key_D), QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_D),
                            QKeyCombination(Qt::CTRL, Qt::Key_1)});
    connect(m_view, &ContentsView::keyAboutToBeHandled, this, &ContentsCommands::applyMenuRules);
    connect(m_view, &ContentsView::commandKey, this, &ContentsCommands::handleKey);

    connect(m_view, &ContentsView::rowActivated, this, &ContentsCommands::ExplorerActivate);
    connect(m_view, &ContentsView::backRequested, this, &ContentsCommands::BackButtonClick);
    connect(m_view, &ContentsView::headerClicked, this, &ContentsCommands::ExplorerColumnClick);
    connect(m_view, &ContentsView::contextMenuRequested, this, &ContentsCommands::ExplorerContextPopup);
    connect(m_view, &ContentsView::focusGained, this, &ContentsCommands::ExplorerChange);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ContentsCommands::ExplorerChange);
    connect(m_infoPanel, &ObjectInfoPanel::toggleRequested, this, &ContentsCommands::ToggleInfoClick);
    connect(&navigator, &Navigator::locationChanged, this, &ContentsCommands::updateCommandStates);
    connect(&navigator, &Navigator::currentNodeChanged, this, &ContentsCommands::updateCommandStates);

    // The view style and the object info's state come from the preferences and go back to them.
    Preferences &prefs = workspace.preferences();
    const auto applyStored = [this, &prefs] {
        if (const std::optional<int> style = prefs.viewStyle(); style && *style >= 0 && *style < 4)
            setViewStyle(*style);
        if (prefs.objectInfo() && !m_infoPanel->isExpanded())
            ToggleInfoClick();
        m_view->setGridLines(prefs.grids());
    };
    connect(&workspace, &Workspace::preferencesLoaded, this, applyStored);
    // Cancel in the preferences window puts back only its own choices, of which the list shows
    // the grid lines; the view style and the info panel stay as the user left them.
    connect(&workspace, &Workspace::preferencesReloaded, this, [this, &prefs] { m_view->setGridLines(prefs.grids()); });
    connect(&prefs, &Preferences::changed, this, [this, &prefs](const QString &name) {
        if (name == QLatin1String("Grids"))
            m_view->setGridLines(prefs.grids());
    });
    connect(&workspace, &Workspace::opened, this, [this, &prefs] {
        if (prefs.objectInfo() && !m_infoPanel->isExpanded())
            ToggleInfoClick();
    });
    connect(&workspace, &Workspace::preferencesAboutToSave, this, [this, &prefs] {
        prefs.setObjectInfo(m_infoPanel->isExpanded());
        prefs.setViewStyle(static_cast<int>(m_view->viewStyle()));
    });
    updateCommandStates();
}

void ContentsCommands::updateCommandStates()
{
    const TreeNode *current = m_navigator.currentNode();
    const LocationState &loc = m_navigator.location();
    // Nothing above the root group, nor before anything is listed (behind the first run's question).
    m_actions.action(u"BackButton"_s)->setEnabled(!(loc.isGroupListed() && (!current || current->kind() == KindRoot)));
    if (!loc.answerOrder)
        m_arrange.at(static_cast<int>(loc.sortKey))->setChecked(true);
    else if (QAction *checked = m_arrange.first()->actionGroup()->checkedAction())
        checked->setChecked(false);
    // Entries go to the compilation and the copy only from a disc or a search result.
    m_view->setDragAllowed(!loc.isGroupListed());
}

int ContentsCommands::selectedRow() const
{
    const QList<int> rows = m_view->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int current = m_view->currentRow();
    return rows.contains(current) ? current : rows.first();
}

QAction *ContentsCommands::doubleClickAction() const
{
    static const char *const names[] = {"Execute1", "CopytoHDD2", "OpeninExplorer1", "ViewProperties1"};
    const int action = m_workspace.preferences().action();
    return action >= 0 && action < 4 ? m_actions.action(QLatin1String(names[action])) : nullptr;
}

void ContentsCommands::runDoubleClickAction()
{
    QAction *act = m_navigator.location().archiveMode ? m_actions.action(u"ViewProperties1"_s) : doubleClickAction();
    if (act)
        act->trigger();
}

void ContentsCommands::BackButtonClick()
{
    // Going up selects the place left, so that the keyboard goes on from there.
    const LocationState &loc = m_navigator.location();
    QString left;
    if (loc.isDiscListed())
        left = loc.pathLabel.trimmed() == QLatin1String("\\")
                   ? LocationState::titleOf(loc.discLabel)
                   : loc.pathLabel.mid(LocationState::parentPath(loc.pathLabel).size()).chopped(1);
    else if (loc.isGroupListed() && m_navigator.currentNode())
        left = m_navigator.currentNode()->text();
    m_navigator.BackButtonClick();
    if (!left.isEmpty() && !m_navigator.location().isSearchResult())
        selectListed(left, false);
}

void ContentsCommands::selectListed(const QString &caption, bool file)
{
    const ContentsListing &listing = m_navigator.listing();
    for (int r = 0; r < listing.count(); ++r) {
        const ContentsEntry::Kind kind = listing.kind(r);
        if (kind != ContentsEntry::Up && (kind == ContentsEntry::File) == file && listing.caption(r) == caption) {
            m_view->selectRow(r);
            return;
        }
    }
}

void ContentsCommands::ExplorerActivate(int row)
{
    if (row >= 0 && row < m_navigator.listing().count() && !m_navigator.location().isSearchResult() &&
        m_navigator.listing().kind(row) == ContentsEntry::Up) {
        BackButtonClick();
        return;
    }
    const bool folder = row >= 0 && row < m_navigator.listing().count() && !m_navigator.location().isSearchResult() &&
                        (m_navigator.listing().kind(row) == ContentsEntry::Folder ||
                         m_navigator.listing().kind(row) == ContentsEntry::Archive);
    if (!m_navigator.ExplorerActivate(row)) {
        // A file: the action of the preferences runs on it, from the selection.
        if (!m_view->selectedRows().contains(row))
            m_view->selectRow(row);
        runDoubleClickAction();
        return;
    }
    if (folder && m_navigator.listing().count() > 0)
        m_view->selectRow(0);
}

void ContentsCommands::Switch1Click()
{
    const int row = m_view->currentRow();
    const ContentsListing &listing = m_navigator.listing();
    // From a search result, a file's folder is listed with the file selected in it.
    const QString file = m_navigator.location().isSearchResult() && row >= 0 && row < listing.count() &&
                                 listing.kind(row) == ContentsEntry::File
                             ? listing.caption(row)
                             : QString();
    m_navigator.Switch1Click(row);
    if (!file.isEmpty() && !m_navigator.location().isSearchResult())
        selectListed(file, true);
}

void ContentsCommands::ExplorerColumnClick(int column)
{
    m_navigator.ExplorerColumnClick(static_cast<ExplorerColumn>(column));
}

void ContentsCommands::arrangeIcons(int column)
{
    m_navigator.arrange(static_cast<ExplorerColumn>(column));
}

void ContentsCommands::setViewStyle(int style)
{
    m_view->setViewStyle(static_cast<ContentsView::ViewStyle>(style));
    m_styles.value(style)->setChecked(true);
}

void ContentsCommands::cycleViewStyle()
{
    int checked = 0;
    for (int i = 0; i < m_styles.size(); ++i)
        if (m_styles[i]->isChecked())
            checked = i;
    setViewStyle((checked + 1) % 4);
}

void ContentsCommands::ToggleInfoClick()
{
    m_infoPanel->setExpanded(!m_infoPanel->isExpanded());
    m_actions.action(u"ToggleObjectInfo1"_s)->setChecked(m_infoPanel->isExpanded());
}

ContentsCommands::MenuKind ContentsCommands::applyMenuRules()
{
    const ContentsListing &listing = m_navigator.listing();
    QList<int> rows = m_view->selectedRows();
    if (rows.isEmpty())
        return MenuKind::Background;
    if (rows.size() >= 2 && listing.kind(rows.first()) == ContentsEntry::Up) {
        m_view->selectionModel()->select(m_view->selectionModel()->model()->index(rows.first(), 0),
                                         QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        rows.removeFirst();
    }
    const int row = rows.contains(m_view->currentRow()) ? m_view->currentRow() : rows.first();
    const ContentsEntry::Kind kind = listing.kind(row);
    if (kind == ContentsEntry::Up)
        return MenuKind::None;
    if (kind == ContentsEntry::Group || kind == ContentsEntry::Disc)
        return MenuKind::Node;
    // An entry inside a ZIP archive cannot be run, copied, compiled or explored.
    bool anyInZip = false;
    bool allMusic = rows.size() >= 2;
    // Asked of every selected row, which may be millions: nothing is made that is not needed.
    for (int r : rows) {
        if (listing.insideZip(r))
            anyInZip = true;
        if (allMusic && !FileTypes::IsMusicFile(listing.extension(r)))
            allMusic = false;
        if (anyInZip && !allMusic)
            break;
    }
    const bool folderOrArchive = kind == ContentsEntry::Folder || kind == ContentsEntry::Archive;
    const LocationState &loc = m_navigator.location();
    const auto show = [this](const QString &name, bool visible) { m_actions.action(name)->setVisible(visible); };
    // A ZIP archive is a file on the disc like any other: it can be run.
    show(u"Execute1"_s, kind != ContentsEntry::Folder && !listing.insideZip(row));
    show(u"CopytoHDD2"_s, !anyInZip);
    show(u"AddtoCompilation1"_s, !anyInZip);
    show(u"OpeninExplorer1"_s, !anyInZip);
    show(u"Switch1"_s, loc.isSearchResult() || folderOrArchive);
    show(u"CreatePlaylist1"_s, allMusic && !loc.isGroupListed());
    m_actions.menu(u"EntryMenu"_s)
        ->setDefaultAction(loc.archiveMode   ? m_actions.action(u"ViewProperties1"_s)
                           : folderOrArchive ? m_actions.action(u"Switch1"_s)
                                             : doubleClickAction());
    return MenuKind::Entry;
}

void ContentsCommands::ExplorerContextPopup(const QPoint &globalPos)
{
    switch (applyMenuRules()) {
    case MenuKind::None:
        return;
    case MenuKind::Background:
        m_actions.menu(u"BackgroundMenu"_s)->exec(globalPos);
        return;
    case MenuKind::Node:
        m_navigator.requestNodeMenu(m_navigator.FindInTree(selectedRow()), globalPos);
        return;
    case MenuKind::Entry:
        m_actions.menu(u"EntryMenu"_s)->exec(globalPos);
        return;
    }
}

void ContentsCommands::handleKey(QKeyCombination key)
{
    // Each runs only while its item could be chosen.
    const auto runIf = [this](const QString &name, bool allowed) {
        if (QAction *act = m_actions.action(name); act && allowed && act->isEnabled())
            act->trigger();
    };
    if (key == QKeyCombination(Qt::CTRL, Qt::Key_A)) {
        m_view->currentView()->selectAll();
    } else if (key == QKeyCombination(Qt::CTRL, Qt::Key_F)) {
        runIf(u"Search1"_s, true);
    } else if (key == QKeyCombination(Qt::CTRL, Qt::Key_D)) {
        runIf(u"AddLocationtoFavorites1"_s, true);
    } else if (key == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_D)) {
        runIf(u"RemoveFavoriteLocation1"_s, true);
    } else if (key == QKeyCombination(Qt::CTRL, Qt::Key_1)) {
        runIf(u"AddtoCompilation1"_s, m_actions.action(u"AddtoCompilation1"_s)->isVisible());
    }
}

TPropertiesForm *ContentsCommands::propertiesForm()
{
    if (!m_properties)
        m_properties = new TPropertiesForm(&m_window);
    return m_properties;
}

void ContentsCommands::ViewProperties1Click()
{
    const int row = selectedRow();
    if (row < 0 || m_navigator.listing().kind(row) == ContentsEntry::Up)
        return;
    const ContentsEntry e = m_navigator.listing().entry(row);
    propertiesForm()->ViewProperties(m_icons->icon(e.image), e);
}

void ContentsCommands::Execute1Click()
{
    runOnDisc(false);
}

void ContentsCommands::OpeninExplorer1Click()
{
    runOnDisc(true);
}

void ContentsCommands::runOnDisc(bool explore)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const ContentsEntry e = m_navigator.listing().entry(row);
    if (e.kind == ContentsEntry::Up || e.kind == ContentsEntry::Group || e.kind == ContentsEntry::Disc)
        return;
    // Exploring a file opens the folder that holds it.
    const QString name = !explore ? e.caption : e.kind == ContentsEntry::Folder ? e.caption + u'\\' : QString();
    const QString root = WaitForCD(&m_window, e.place.serial(), e.place.title(), m_backend);
    if (root.isEmpty())
        return;
    const QString target = EntryPlace::onMedium(root, e.place.onDisc(name));
    // The desktop opens a path that is not there without a word; the catalogue may be older
    // than the disc, so a missing file is this program's failure to report.
    if (!QFileInfo::exists(target) || !QDesktopServices::openUrl(QUrl::fromLocalFile(target)))
        AppDialogs::showError(&m_window, u"Error executing file!"_s);
}

void ContentsCommands::ExplorerChange()
{
    updateCommandStates();
    const QList<int> rows = m_view->selectedRows();
    if (rows.isEmpty())
        return;
    const ContentsListing &listing = m_navigator.listing();
    ContentsIcons *icons = m_icons;
    if (rows.size() == 1) {
        const int row = rows.first();
        const ContentsEntry::Kind kind = listing.kind(row);
        if (kind == ContentsEntry::Up)
            return;
        const QStringList info = listing.info(row);
        if (kind == ContentsEntry::Group) {
            m_infoPanel->describe(icons->icon(ExtensionIconCache::ImageGroup), listing.caption(row),
                                  FindColumn(u"Type"_s, info), u"Size: "_s + FindColumn(u"Size"_s, info),
                                  u"Contains:"_s, u"Discs: "_s + FindColumn(u"Discs"_s, info),
                                  u"Sub-Groups: "_s + FindColumn(u"Sub-Groups"_s, info));
        } else if (kind == ContentsEntry::Disc) {
            if (TreeNode *n = m_navigator.FindInTree(row); n && n->cd())
                m_infoPanel->FillCDInfo(*n->cd());
        } else {
            // Two lines are left for details; a checksum takes the second (or the first, when alone).
            QStringList details{listing.text(row, 5), listing.text(row, 6)};
            details.removeAll(QString());
            if (const QString checksum = listing.entry(row).checksumLine(); !checksum.isEmpty())
                details.insert(std::min<qsizetype>(details.size(), 1), checksum);
            m_infoPanel->describe(icons->icon(listing.image(row)), listing.caption(row), FindColumn(u"Type"_s, info),
                                  u"Size: "_s + FindColumn(u"Size"_s, info), u"Date: "_s + FindColumn(u"Date"_s, info),
                                  details.value(0), details.value(1));
        }
        return;
    }
    qint64 total = 0;
    for (int r : rows)
        addCapped(total, listing.intSize(r));
    m_infoPanel->describe(icons->icon(ExtensionIconCache::ImageMultiple), u"Multiple items selected"_s,
                          u"Count: %1"_s.arg(rows.size()), u"Size: "_s + FormatSize(total), QString(), QString(),
                          QString());
}
