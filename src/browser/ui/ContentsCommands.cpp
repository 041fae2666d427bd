#include "ContentsCommands.h"

#include "ContentsIcons.h"
#include "ContentsModel.h"
#include "ContentsPanel.h"
#include "ContentsView.h"
#include "ObjectInfoPanel.h"
#include "TMainForm.h"
#include "browser/ExtensionIconCache.h"
#include "browser/FileTypes.h"
#include "browser/FindColumn.h"
#include "browser/FormatSize.h"
#include "browser/Navigator.h"
#include "gui/ActionRegistry.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/TreeNode.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QItemSelectionModel>
#include <QMenu>

using namespace Qt::Literals::StringLiterals;

ContentsCommands::ContentsCommands(Workspace &workspace, Navigator &navigator, TMainForm &window)
    : QObject(&window), m_workspace(workspace), m_navigator(navigator), m_actions(window.actions()),
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
    for (const QString &name : {u"byName1"_s, u"byType1"_s, u"byPath1"_s, u"bySize1"_s, u"byDate1"_s}) {
        QAction *act = a.claim(name);
        const int column = static_cast<int>(m_arrange.size());
        arrange->addAction(act);
        m_arrange.append(act);
        connect(act, &QAction::triggered, this, [this, column] { arrangeIcons(column); });
    }
    m_arrange.at(static_cast<int>(navigator.location().sortKey))->setChecked(true);
    connect(a.claim(u"BackButton"_s), &QAction::triggered, &navigator, &Navigator::BackButtonClick);
    connect(a.claim(u"ViewButton"_s), &QAction::triggered, this, &ContentsCommands::cycleViewStyle);
    connect(a.claim(u"Switch1"_s), &QAction::triggered, this, &ContentsCommands::Switch1Click);
    connect(a.claim(u"ToggleObjectInfo1"_s), &QAction::triggered, this, &ContentsCommands::ToggleInfoClick);

    connect(m_view, &ContentsView::rowActivated, this, &ContentsCommands::ExplorerActivate);
    connect(m_view, &ContentsView::backRequested, &navigator, &Navigator::BackButtonClick);
    connect(m_view, &ContentsView::headerClicked, this, &ContentsCommands::ExplorerColumnClick);
    connect(m_view, &ContentsView::contextMenuRequested, this, &ContentsCommands::ExplorerContextPopup);
    connect(m_view, &ContentsView::focusGained, this, &ContentsCommands::ExplorerChange);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ContentsCommands::ExplorerChange);
    connect(m_infoPanel, &ObjectInfoPanel::toggleRequested, this, &ContentsCommands::ToggleInfoClick);
    connect(&navigator, &Navigator::locationChanged, this, &ContentsCommands::updateCommandStates);
    connect(&navigator, &Navigator::currentNodeChanged, this, &ContentsCommands::updateCommandStates);

    // The view style and the object info's state come from the preferences and go back to them.
    Preferences &prefs = workspace.preferences();
    connect(&workspace, &Workspace::preferencesLoaded, this, [this, &prefs] {
        if (const std::optional<int> style = prefs.viewStyle(); style && *style >= 0 && *style < 4)
            setViewStyle(*style);
    });
    connect(&workspace, &Workspace::opened, this, [this, &prefs] {
        if (prefs.objectInfo() && !m_infoPanel->isExpanded())
            ToggleInfoClick();
    });
    connect(&workspace, &Workspace::aboutToClose, this, [this, &prefs] {
        prefs.setObjectInfo(m_infoPanel->isExpanded());
        prefs.setViewStyle(static_cast<int>(m_view->viewStyle()));
    });
}

void ContentsCommands::updateCommandStates()
{
    const TreeNode *current = m_navigator.currentNode();
    m_actions.action(u"BackButton"_s)
        ->setEnabled(!(m_navigator.location().isGroupListed() && current && current->kind() == KindRoot));
    m_arrange.at(static_cast<int>(m_navigator.location().sortKey))->setChecked(true);
}

void ContentsCommands::ExplorerActivate(int row)
{
    const bool folder = row >= 0 && row < m_navigator.listing().count() && !m_navigator.location().isSearchResult() &&
                        (m_navigator.listing().kind(row) == ContentsEntry::Folder ||
                         m_navigator.listing().kind(row) == ContentsEntry::Archive);
    // A file's double-click action comes with the execute, copy and properties commands.
    m_navigator.ExplorerActivate(row);
    if (folder && m_navigator.listing().count() > 0)
        m_view->selectRow(0);
}

void ContentsCommands::Switch1Click()
{
    m_navigator.Switch1Click(m_view->currentRow());
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

void ContentsCommands::ExplorerContextPopup(const QPoint &globalPos)
{
    const ContentsListing &listing = m_navigator.listing();
    QList<int> rows = m_view->selectedRows();
    if (rows.isEmpty()) {
        m_actions.menu(u"BackgroundMenu"_s)->exec(globalPos);
        return;
    }
    if (rows.size() >= 2 && listing.kind(rows.first()) == ContentsEntry::Up) {
        m_view->selectionModel()->select(m_view->selectionModel()->model()->index(rows.first(), 0),
                                         QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        rows.removeFirst();
    }
    const int row = rows.first();
    const ContentsEntry::Kind kind = listing.kind(row);
    if (kind == ContentsEntry::Up)
        return;
    if (kind == ContentsEntry::Group || kind == ContentsEntry::Disc) {
        m_navigator.requestNodeMenu(m_navigator.FindInTree(row), globalPos);
        return;
    }
    // The entry menu; an entry inside a ZIP archive cannot be copied, compiled or explored.
    bool inZip = false;
    bool allMusic = rows.size() >= 2;
    for (int r : rows) {
        if (FindColumn(u"Path"_s, listing.info(r)).toUpper().contains(QLatin1String(".ZIP")))
            inZip = true;
        if (!FileTypes::IsMusicFile(ExtensionIconCache::extensionOf(listing.caption(r))))
            allMusic = false;
    }
    const bool folderOrArchive = kind == ContentsEntry::Folder || kind == ContentsEntry::Archive;
    const LocationState &loc = m_navigator.location();
    const auto show = [this](const QString &name, bool visible) { m_actions.action(name)->setVisible(visible); };
    // A ZIP archive is a file on the disc like any other: it can be opened.
    show(u"Execute1"_s, kind != ContentsEntry::Folder && !inZip);
    show(u"CopytoHDD2"_s, !inZip);
    show(u"AddtoCompilation1"_s, !inZip);
    show(u"OpeninExplorer1"_s, !inZip);
    show(u"Switch1"_s, loc.isSearchResult() || folderOrArchive);
    show(u"CreatePlaylist1"_s, allMusic && !loc.isGroupListed());
    QMenu *menu = m_actions.menu(u"EntryMenu"_s);
    menu->setDefaultAction(loc.archiveMode   ? m_actions.action(u"ViewProperties1"_s)
                           : folderOrArchive ? m_actions.action(u"Switch1"_s)
                                             : nullptr);
    menu->exec(globalPos);
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
            m_infoPanel->describe(icons->icon(listing.image(row)), listing.caption(row), FindColumn(u"Type"_s, info),
                                  u"Size: "_s + FindColumn(u"Size"_s, info), u"Date: "_s + FindColumn(u"Date"_s, info),
                                  listing.text(row, 5), listing.text(row, 6));
        }
        return;
    }
    qint64 total = 0;
    for (int r : rows)
        total += FindColumn(u"IntSize"_s, listing.info(r)).toLongLong();
    m_infoPanel->describe(icons->icon(ExtensionIconCache::ImageMultiple), u"Multiple items selected"_s,
                          u"Count: %1"_s.arg(rows.size()), u"Size: "_s + FormatSize(total), QString(), QString(),
                          QString());
}
