#include "TMainForm.h"
#include "core/Version.h"

#include "ContentsIcons.h"
#include "ContentsModel.h"
#include "ContentsView.h"
#include "GroupTreeModel.h"
#include "GroupTreeView.h"
#include "MainActions.h"
#include "ObjectInfoPanel.h"
#include "gui/AppDialogs.h"
#include "backup/DatabaseBackup.h"
#include "browser/ExtensionIconCache.h"
#include "browser/FindColumn.h"
#include "browser/FormatSize.h"
#include "browser/TreeMoves.h"
#include "browser/TreeNames.h"
#include "settings/Preferences.h"
#include "gui/TBusyForm.h"
#include "store/Catalogue.h"
#include "store/DataPaths.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace
{
QString quoted(const QString &s)
{
    return u'"' + s + u'"';
}

const QString kCabFilter = QStringLiteral("Cabinet Files (*.cab);;All Files (*)");
} // namespace

TMainForm::TMainForm(const QString &dataFolder, QWidget *parent)
    : QMainWindow(parent), m_catalogue(std::make_unique<Catalogue>(dataFolder)),
      m_iconCache(new ExtensionIconCache(this)), m_listing(m_iconCache)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quillory! ") + QuilloryVersion());
    setMinimumSize(640, 480);
    resize(640, 480);
    ContentsIcons::setUpIconTheme();
    setWindowIcon(ContentsIcons::themeIcon({QStringLiteral("media-optical"), QStringLiteral("drive-optical")}));

    m_prefs = new Preferences(this);
    m_icons = new ContentsIcons(m_iconCache, this);
    m_actions = new MainActions(this);
    buildLayout();
    connectActions();
    FormCreate(this);
}

TMainForm::~TMainForm() = default;

GroupTree &TMainForm::tree() const
{
    return m_catalogue->tree();
}

void TMainForm::buildLayout()
{
    auto *central = new QWidget(this);
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);

    // The search panel's place: its controls arrive with the search; the caption and the
    // history list are kept here from the start.
    m_searchPanel = new QWidget(central);
    m_searchPanel->setObjectName(QStringLiteral("SearchPanel"));
    auto *searchLayout = new QHBoxLayout(m_searchPanel);
    m_searchLabel = new QLabel(QStringLiteral("Search mask:"), m_searchPanel);
    m_searchLabel->setObjectName(QStringLiteral("SearchLabel"));
    m_searchEdit = new QComboBox(m_searchPanel);
    m_searchEdit->setObjectName(QStringLiteral("SearchEdit"));
    m_searchEdit->setEditable(true);
    m_searchEdit->setInsertPolicy(QComboBox::NoInsert);
    searchLayout->addWidget(m_searchLabel);
    searchLayout->addWidget(m_searchEdit, 1);
    m_searchPanel->hide();
    centralLayout->addWidget(m_searchPanel);

    m_splitter = new QSplitter(Qt::Horizontal, central);
    m_splitter->setObjectName(QStringLiteral("MainSplitter"));
    m_splitter->setHandleWidth(4);
    m_splitter->setChildrenCollapsible(false);
    centralLayout->addWidget(m_splitter, 1);

    auto *left = new QWidget(m_splitter);
    left->setObjectName(QStringLiteral("LeftPanel"));
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    m_treeModel = new GroupTreeModel(&m_catalogue->tree(), this);
    for (int kind : {KindRoot, KindGroup, KindDisc, KindLent})
        m_treeModel->setKindIcon(kind, m_icons->nodeIcon(kind));
    m_tree = new GroupTreeView(left);
    m_tree->setModel(m_treeModel);
    leftLayout->addWidget(m_tree, 1);
    m_infoPanel = new ObjectInfoPanel(left);
    leftLayout->addWidget(m_infoPanel);

    auto *middle = new QWidget(m_splitter);
    middle->setObjectName(QStringLiteral("MiddlePanel"));
    auto *middleLayout = new QVBoxLayout(middle);
    middleLayout->setContentsMargins(0, 0, 0, 0);
    middleLayout->setSpacing(0);
    auto *header = new QWidget(middle);
    header->setObjectName(QStringLiteral("HeaderPanel"));
    header->setAutoFillBackground(true);
    header->setBackgroundRole(QPalette::AlternateBase);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(8, 4, 8, 4);
    headerLayout->setSpacing(8);
    m_nameLabel = new QLabel(header);
    m_nameLabel->setObjectName(QStringLiteral("NameLabel"));
    QFont bold = m_nameLabel->font();
    bold.setBold(true);
    m_nameLabel->setFont(bold);
    m_pathLabel = new QLabel(header);
    m_pathLabel->setObjectName(QStringLiteral("PathLabel"));
    m_pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    headerLayout->addWidget(m_nameLabel);
    headerLayout->addWidget(m_pathLabel, 1);
    middleLayout->addWidget(header);
    m_explorer = new ContentsView(middle);
    m_contentsModel = new ContentsModel(&m_listing, m_icons, this);
    m_explorer->setModel(m_contentsModel);
    m_explorer->setSortIndicator(static_cast<int>(m_location.sortKey), m_location.ascending);
    middleLayout->addWidget(m_explorer, 1);

    m_compilationPanel = new QWidget(m_splitter);
    m_compilationPanel->setObjectName(QStringLiteral("CompilationPanel"));
    m_compilationPanel->hide();

    m_splitter->addWidget(left);
    m_splitter->addWidget(middle);
    m_splitter->addWidget(m_compilationPanel);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({210, 430, 0});
    setCentralWidget(central);

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    m_statusLabel = new QLabel(statusBar());
    m_statusLabel->setObjectName(QStringLiteral("StatusText"));
    statusBar()->addWidget(m_statusLabel, 1);
}

void TMainForm::connectActions()
{
    MainActions *a = m_actions;
    connect(a->exit, &QAction::triggered, this, &QWidget::close);
    connect(a->exportDatabase, &QAction::triggered, this, &TMainForm::ExportAllData1Click);
    connect(a->importDatabase, &QAction::triggered, this, &TMainForm::ImportDatabase1Click);
    connect(a->addGroup, &QAction::triggered, this, &TMainForm::AddGroup1Click);
    connect(a->addSubGroup, &QAction::triggered, this, &TMainForm::AddGroup1Click);
    connect(a->deleteObject, &QAction::triggered, this, &TMainForm::Delete1Click);
    connect(a->deleteNode, &QAction::triggered, this, &TMainForm::Delete1Click);
    connect(a->borrow, &QAction::triggered, this, &TMainForm::BorrowCDClick);
    connect(a->expand, &QAction::triggered, this, [this] { expandNode(false); });
    connect(a->expandAll, &QAction::triggered, this, [this] { expandNode(true); });
    connect(a->collapse, &QAction::triggered, this, &TMainForm::collapseNode);
    connect(a->goUp, &QAction::triggered, this, &TMainForm::BackButtonClick);
    connect(a->changeView, &QAction::triggered, this, &TMainForm::cycleViewStyle);
    connect(a->switchToLocation, &QAction::triggered, this, &TMainForm::Switch1Click);
    connect(a->toggleObjectInfo, &QAction::triggered, this, &TMainForm::ToggleInfoClick);
    connect(a->contents, &QAction::triggered, this, &TMainForm::openHelp);
    connect(a->about, &QAction::triggered, this, &TMainForm::showAbout);
    const QList<QAction *> styles{a->largeIcons, a->smallIcons, a->list, a->details};
    for (int i = 0; i < styles.size(); ++i)
        connect(styles[i], &QAction::triggered, this, [this, i] { setViewStyle(i); });
    for (int i = 0; i < 5; ++i)
        connect(a->arrange[i], &QAction::triggered, this, [this, i] { arrangeIcons(i); });

    // Commands whose windows come with later work are shown but cannot be used yet.
    for (QAction *later :
         {a->report,         a->addDisc,        a->toggleSearch,   a->copyToHdd,        a->toggleCompilation,
          a->preferences,    a->addLocation,    a->removeLocation, a->checkForUpdate,   a->visitSite,
          a->createReport,   a->searchHere,     a->editDisc,       a->addDiscHere,      a->execute,
          a->openInExplorer, a->viewProperties, a->copyToHddEntry, a->addToCompilation, a->createPlaylist})
        later->setEnabled(false);

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (!m_inTreeChange && current.isValid())
            TreeChange(m_treeModel->node(current));
    });
    connect(m_tree, &GroupTreeView::focusGained, this, [this] {
        if (TreeNode *n = currentNode())
            TreeChange(n);
    });
    connect(m_tree, &GroupTreeView::deletePressed, this, &TMainForm::Delete1Click);
    connect(m_tree, &QWidget::customContextMenuRequested, this, &TMainForm::TreeContextPopup);
    connect(m_treeModel, &GroupTreeModel::renameRequested, this, &TMainForm::TreeEdited);
    connect(m_tree, &GroupTreeView::nodesDropped, this,
            [this](const QList<TreeNode *> &nodes, TreeNode *target, TreeMoves::Place place) {
                if (m_readOnly)
                    return;
                TreeNode *current = currentNode();
                TreeMoves::MoveNodes(tree(), nodes, target, place);
                if (current)
                    selectTreeNode(current);
            });

    connect(m_explorer, &ContentsView::rowActivated, this, &TMainForm::ExplorerActivate);
    connect(m_explorer, &ContentsView::backRequested, this, &TMainForm::BackButtonClick);
    connect(m_explorer, &ContentsView::headerClicked, this, &TMainForm::ExplorerColumnClick);
    connect(m_explorer, &ContentsView::contextMenuRequested, this, &TMainForm::ExplorerContextPopup);
    connect(m_explorer, &ContentsView::focusGained, this, &TMainForm::ExplorerChange);
    connect(m_explorer->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TMainForm::ExplorerChange);
    connect(m_infoPanel, &ObjectInfoPanel::toggleRequested, this, &TMainForm::ToggleInfoClick);
    connect(qApp, &QApplication::focusChanged, this, [this] { updateCommandStates(); });
}

void TMainForm::FormCreate(QObject *sender)
{
    if (sender == this) {
        LocateSkins();
        return;
    }
    initialise();
}

void TMainForm::createWindows()
{
    if (!m_busy)
        m_busy = new TBusyForm(this);
}

void TMainForm::LocateSkins()
{
    // Skins are folders of the data folder's "skins"; the menu stays hidden without any.
    const QDir skins(m_catalogue->dataFolder() + QLatin1String("skins"));
    const QStringList names = skins.exists() ? skins.entryList(QDir::Dirs | QDir::NoDotAndDotDot) : QStringList();
    m_actions->themeMenu->clear();
    for (const QString &n : names) {
        QAction *item = m_actions->themeMenu->addAction(n);
        item->setCheckable(true);
        item->setEnabled(false);
    }
    m_actions->themeMenu->menuAction()->setVisible(!names.isEmpty());
}

void TMainForm::initialise()
{
    Catalogue &cat = *m_catalogue;
    // The preferences are read once per run: an import initialises the catalogue again, and
    // reading the file then would throw away the view style, the tree width and any setting
    // changed since start-up, which are written only at shutdown.
    if (!m_optionsLoaded) {
        m_optionsLoaded = true;
        try {
            m_prefs->load(DataPaths::settingsFile(cat.dataFolder()));
        } catch (const QuilloryError &e) {
            AppDialogs::showError(this, e.message());
        }
        if (const std::optional<int> style = m_prefs->viewStyle(); style && *style >= 0 && *style < 4)
            setViewStyle(*style);
        if (const std::optional<int> width = m_prefs->treeWidth(); width && *width > 50)
            m_splitter->setSizes({*width, std::max(200, this->width() - *width), 0});
    }
    if (m_prefs->objectInfo() && !m_infoPanel->isExpanded())
        ToggleInfoClick();

    bool created = false;
    try {
        created = cat.ensureDbFolder();
    } catch (const QuilloryError &e) {
        AppDialogs::showError(this, e.message());
    }
    if (!m_locked) {
        try {
            cat.lock();
            m_locked = true;
        } catch (const QuilloryError &e) {
            AppDialogs::message(this, AppDialogs::Warning,
                                e.message() + QStringLiteral("\r\nThe catalogue is shown read-only; nothing of it "
                                                             "will be changed or saved by this window."));
            m_readOnly = true;
        }
    }

    if (created && !m_readOnly) {
        const QString sample = DatabaseBackup::sampleArchive(cat.dataFolder());
        if (!sample.isEmpty() && AppDialogs::message(this, AppDialogs::Information, DatabaseBackup::sampleQuestion(),
                                                     AppDialogs::YesNo) == QMessageBox::Yes) {
            if (importArchive(sample)) {
                initialise();
                return;
            }
        }
    }

    m_searchEdit->clear();
    const QString searchFile = cat.dataFolder() + QLatin1String("search.dat");
    if (QFileInfo::exists(searchFile)) {
        try {
            m_searchEdit->addItems(TextCodec::readLines(searchFile));
        } catch (const QuilloryError &e) {
            AppDialogs::showError(this, e.message());
        }
    }

    m_discContents.clear();
    m_listing.clear();
    try {
        cat.load([this](const QString &msg) { AppDialogs::message(this, AppDialogs::Information, msg); });
    } catch (const QuilloryError &e) {
        AppDialogs::showError(this, e.message());
    }
    if (!cat.canSave() && !m_readOnly) {
        m_readOnly = true;
        AppDialogs::message(this, AppDialogs::Warning,
                            QStringLiteral("The group tree could not be read, so \"groups.tree\" is left as it is: "
                                           "changes made in this window will not be saved."));
    }
    m_treeModel->setEditable(!m_readOnly);

    if (TreeNode *root = tree().root()) {
        m_tree->expand(m_treeModel->indexOf(root));
        TreeChange(root);
    }
    m_tree->setFocus();
    updateCommandStates();
}

bool TMainForm::importArchive(const QString &file)
{
    try {
        DatabaseBackup::importDatabase(file, m_catalogue->dbFolder());
    } catch (const QuilloryError &e) {
        AppDialogs::showError(this, e.message());
        return false;
    }
    return true;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void TMainForm::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    m_stop = true;
    Catalogue &cat = *m_catalogue;

    m_prefs->setObjectInfo(m_infoPanel->isExpanded());
    m_prefs->setViewStyle(static_cast<int>(m_explorer->viewStyle()));
    m_prefs->setTreeWidth(m_splitter->sizes().value(0));
    try {
        m_prefs->save(DataPaths::settingsFile(cat.dataFolder()));
    } catch (const QuilloryError &e) {
        AppDialogs::showError(this, e.message());
    }
    if (m_readOnly)
        return;
    try {
        QStringList history;
        for (int i = 0; i < m_searchEdit->count(); ++i)
            history.append(m_searchEdit->itemText(i));
        TextCodec::writeLines(cat.dataFolder() + QLatin1String("search.dat"), history);
    } catch (const QuilloryError &e) {
        AppDialogs::showError(this, e.message());
    }
    try {
        cat.save();
    } catch (const QuilloryError &e) {
        AppDialogs::showError(this, e.message());
    }
}

QStringList TMainForm::searchHistory() const
{
    QStringList out;
    for (int i = 0; i < m_searchEdit->count(); ++i)
        out.append(m_searchEdit->itemText(i));
    return out;
}

QString TMainForm::statusText() const
{
    return m_statusLabel->text();
}

void TMainForm::setStatusText(const QString &text)
{
    m_statusLabel->setText(text);
}

TreeNode *TMainForm::currentNode() const
{
    return m_tree->currentNode();
}

TreeNode *TMainForm::groupOf(TreeNode *node) const
{
    if (!node)
        return nullptr;
    return node->isDisc() ? node->parent() : node;
}

void TMainForm::selectTreeNode(TreeNode *node)
{
    if (!node)
        return;
    const bool was = m_inTreeChange;
    m_inTreeChange = true;
    const QModelIndex i = m_treeModel->indexOf(node);
    m_tree->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    m_tree->scrollTo(i);
    m_inTreeChange = was;
}

void TMainForm::setHeader(const QString &discLabel, const QString &pathLabel)
{
    m_nameLabel->setText(discLabel);
    m_nameLabel->setVisible(!discLabel.isEmpty());
    m_pathLabel->setText(pathLabel);
}

void TMainForm::TreeChange(TreeNode *node)
{
    if (!node)
        return;
    selectTreeNode(node);
    const bool was = m_inTreeChange;
    m_inTreeChange = true;

    TreeNode *g = groupOf(node);
    const QString gName = g ? g->text() : QString();
    m_actions->addGroup->setText(QStringLiteral("Add Group to ") + quoted(TreeNames::ShortName(gName)) +
                                 QStringLiteral("..."));
    m_actions->addDisc->setText(QStringLiteral("Add Disc to ") + quoted(TreeNames::ShortName(gName)) +
                                QStringLiteral("..."));
    m_addDiscCaption = QStringLiteral("Add Disc to ") + quoted(gName);
    if (node->isDisc()) {
        m_actions->report->setText(QStringLiteral("Create Report for disc ") +
                                   quoted(TreeNames::ShortName(node->text())));
        m_searchLabel->setText(QStringLiteral("Search mask (look in disc ") + quoted(node->text()) +
                               QStringLiteral("):"));
    } else {
        m_actions->report->setText(QStringLiteral("Create Report for group ") +
                                   quoted(TreeNames::ShortName(node->text())));
        m_searchLabel->setText(QStringLiteral("Search mask (look in group ") + quoted(node->text()) +
                               QStringLiteral("):"));
    }

    describeNode(node);

    if (node->isDisc() && node->cd()) {
        const TCD cd = *node->cd();
        LoadCD(cd.Title, cd.Serial, false, QStringLiteral("\\"));
    } else {
        if (node->kind() == KindRoot)
            setHeader(QString(), node->text());
        else
            setHeader(QString(), QStringLiteral("Group ") + quoted(node->text()));
        listGroup(node);
    }
    tree().sort();
    m_inTreeChange = was;
    updateCommandStates();
}

void TMainForm::describeNode(TreeNode *node)
{
    if (node->isDisc() && node->cd()) {
        m_infoPanel->FillCDInfo(*node->cd(), m_icons->nodeIcon(KindDisc));
        return;
    }
    const GroupTotals t = DoGroup(node);
    m_infoPanel->describe(m_icons->nodeIcon(node->kind()), node->text(),
                          node->kind() == KindRoot ? QStringLiteral("Collection") : QStringLiteral("Group"),
                          QStringLiteral("Size: ") + FormatSize(t.size), QStringLiteral("Contains: "),
                          QStringLiteral("Discs: %1").arg(t.discs), QStringLiteral("Sub-Groups: %1").arg(t.groups));
}

void TMainForm::listGroup(TreeNode *node)
{
    m_location.currentSerial.clear();
    m_location.discLabel.clear();
    m_location.pathLabel = node->kind() == KindRoot ? node->text() : QStringLiteral("Group ") + quoted(node->text());
    m_location.archiveMode = false;
    m_contentsModel->beginListing();
    m_listing.listGroup(node);
    m_listing.sort(m_location.sortKey, m_location.ascending);
    m_contentsModel->endListing();
    m_contentsModel->setDragEnabled(false);
    setStatusText(QStringLiteral("%1 object(s), total size ").arg(node->childCount()) + FormatSize(DoGroup(node).size));
    updateCommandStates();
}

void TMainForm::LoadCD(const QString &name, const QString &serial, bool archiveMode, const QString &path)
{
    m_location.currentSerial = serial;
    const QString file = m_catalogue->contentsFile(serial);
    if (!QFileInfo::exists(file)) {
        AppDialogs::message(this, AppDialogs::Error,
                            QStringLiteral("Database is damaged! Some files nedeed for this operation are missing!") +
                                QStringLiteral("\r\nCD labeled ") + serial +
                                QStringLiteral(" will be deleted from database!"));
        m_location.currentSerial.clear();
        TreeNode *disc = tree().root() ? FindCD(tree().root(), serial) : nullptr;
        if (disc) {
            TreeNode *parent = disc->parent();
            const bool wasCurrent = currentNode() && currentNode()->isInside(disc);
            if (m_discContents.serial() == serial)
                m_discContents.clear();
            tree().removeNode(disc);
            if (wasCurrent && parent)
                TreeChange(parent);
        }
        return;
    }
    if (!m_discContents.holds(serial, file)) {
        try {
            m_discContents.load(m_catalogue->dbFolder(), serial);
        } catch (const QuilloryError &e) {
            // A damaged contents file is reported and kept: the disc stays in the catalogue.
            AppDialogs::showError(this, e.message());
            m_location.currentSerial.clear();
            return;
        }
    }
    if (tree().root())
        selectTreeNode(FindCD(tree().root(), serial));

    m_location.discLabel = LocationState::labelFor(name);
    m_location.pathLabel = path;
    m_location.archiveMode = archiveMode;
    setHeader(m_location.discLabel, path);

    m_contentsModel->beginListing();
    m_listing.clear();
    m_listing.setDisc(serial, m_location.discLabel, m_discContents.files(), m_discContents.dirs());
    QString status;
    if (archiveMode) {
        const int count = m_listing.FindFiles(path);
        status =
            QStringLiteral(" %1 files in this directory, total size ").arg(count) + FormatSize(m_listing.totalSize());
    } else {
        const int d = m_listing.FindDir(path);
        const int f = m_listing.FindFiles(path);
        status = QStringLiteral(" %1 sub-directories and %2 files in this directory, total size ").arg(d).arg(f) +
                 FormatSize(m_listing.totalSize());
    }
    m_listing.sort(m_location.sortKey, m_location.ascending);
    m_contentsModel->endListing();
    m_contentsModel->setDragEnabled(true);
    setStatusText(status);
    updateCommandStates();
}

void TMainForm::sortContents()
{
    const QList<int> selected = m_explorer->selectedRows();
    const int current = m_explorer->currentRow();
    // Remember the selection by entry, not by row, across the sort.
    std::vector<int> mark(static_cast<size_t>(m_listing.count()), 0);
    for (int r : selected)
        mark[static_cast<size_t>(r)] = 1;
    if (current >= 0)
        mark[static_cast<size_t>(current)] |= 2;

    m_contentsModel->beginListing();
    const std::vector<int> order = m_listing.sort(m_location.sortKey, m_location.ascending);
    m_contentsModel->endListing();

    QItemSelection sel;
    int newCurrent = -1;
    for (int i = 0; i < static_cast<int>(order.size()); ++i) {
        const int m = mark[static_cast<size_t>(order[static_cast<size_t>(i)])];
        if (m & 1)
            sel.select(m_contentsModel->index(i, 0), m_contentsModel->index(i, ExplorerColumnCount - 1));
        if (m & 2)
            newCurrent = i;
    }
    if (newCurrent >= 0)
        m_explorer->selectionModel()->setCurrentIndex(m_contentsModel->index(newCurrent, 0),
                                                      QItemSelectionModel::NoUpdate);
    m_explorer->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    m_actions->arrange[static_cast<int>(m_location.sortKey)]->setChecked(true);
    m_explorer->setSortIndicator(static_cast<int>(m_location.sortKey), m_location.ascending);
}

void TMainForm::ExplorerColumnClick(int column)
{
    m_location.columnClicked(static_cast<ExplorerColumn>(column));
    sortContents();
}

void TMainForm::arrangeIcons(int column)
{
    m_location.arrange(static_cast<ExplorerColumn>(column));
    sortContents();
}

void TMainForm::setViewStyle(int style)
{
    m_explorer->setViewStyle(static_cast<ContentsView::ViewStyle>(style));
    const QList<QAction *> styles{m_actions->largeIcons, m_actions->smallIcons, m_actions->list, m_actions->details};
    styles.value(style)->setChecked(true);
}

void TMainForm::cycleViewStyle()
{
    const QList<QAction *> styles{m_actions->largeIcons, m_actions->smallIcons, m_actions->list, m_actions->details};
    int checked = 0;
    for (int i = 0; i < styles.size(); ++i)
        if (styles[i]->isChecked())
            checked = i;
    setViewStyle((checked + 1) % 4);
}

TreeNode *TMainForm::FindInTree(int row) const
{
    TreeNode *sel = currentNode();
    if (!sel || row < 0 || row >= m_listing.count())
        return nullptr;
    const int image = m_listing.image(row);
    const QString caption = m_listing.caption(row);
    for (int i = 0; i < sel->childCount(); ++i) {
        TreeNode *c = sel->child(i);
        if (c->text() != caption)
            continue;
        if ((image == ExtensionIconCache::ImageGroup && c->kind() == KindGroup) ||
            (image == ExtensionIconCache::ImageDisc && c->isDisc()))
            return c;
    }
    return nullptr;
}

void TMainForm::ExplorerActivate(int row)
{
    if (row < 0 || row >= m_listing.count())
        return;
    const ContentsEntry::Kind kind = m_listing.kind(row);
    if (m_location.isSearchResult()) {
        if (kind == ContentsEntry::Folder || kind == ContentsEntry::Archive)
            Switch1Click();
        return;
    }
    switch (kind) {
    case ContentsEntry::Up:
        BackButtonClick();
        break;
    case ContentsEntry::Folder:
    case ContentsEntry::Archive:
        LoadCD(m_location.discLabel, m_location.currentSerial, kind == ContentsEntry::Archive,
               m_location.pathLabel + m_listing.caption(row) + u'\\');
        if (m_listing.count() > 0)
            m_explorer->selectRow(0);
        break;
    case ContentsEntry::Group:
    case ContentsEntry::Disc:
        if (TreeNode *n = FindInTree(row))
            TreeChange(n);
        break;
    case ContentsEntry::File:
        // Files open through the double-click action of the preferences, which comes with
        // the execute, copy and properties commands.
        break;
    }
}

void TMainForm::Switch1Click()
{
    const int row = m_explorer->currentRow();
    if (row < 0)
        return;
    const ContentsEntry e = m_listing.entry(row);
    if (!m_location.isSearchResult()) {
        if (e.kind == ContentsEntry::Folder || e.kind == ContentsEntry::Archive)
            ExplorerActivate(row);
        return;
    }
    const QString path = e.column(1);
    const qsizetype colon = path.indexOf(u':');
    if (colon < 0)
        return;
    const QString title = path.left(colon);
    const QString folder = path.mid(colon + 1);
    const QString serial = FindColumn(QStringLiteral("SN"), e.info);
    if (e.kind == ContentsEntry::Folder || e.kind == ContentsEntry::Archive)
        LoadCD(title, serial, e.kind == ContentsEntry::Archive, folder + e.caption + u'\\');
    else
        LoadCD(title, serial, false, folder);
}

void TMainForm::BackButtonClick()
{
    if (m_location.isDiscListed()) {
        if (m_location.pathLabel.trimmed() != QLatin1String("\\")) {
            LoadCD(m_location.discLabel, m_location.currentSerial, false,
                   LocationState::parentPath(m_location.pathLabel));
            return;
        }
        TreeNode *sel = currentNode();
        m_location.currentSerial.clear();
        if (!sel)
            return;
        TreeChange(sel->isGroup() ? sel : sel->parent());
        return;
    }
    if (m_location.isSearchResult()) {
        if (TreeNode *sel = currentNode())
            TreeChange(sel);
        return;
    }
    TreeNode *sel = currentNode();
    if (sel && sel->kind() != KindRoot && sel->parent() && sel->parent() != tree().top())
        TreeChange(sel->parent());
}

TreeNode *TMainForm::commandNode()
{
    if (m_listMenuNode) {
        TreeNode *n = m_listMenuNode;
        m_listMenuNode = nullptr;
        TreeChange(n);
    }
    return currentNode();
}

void TMainForm::AddGroup1Click()
{
    if (m_readOnly)
        return;
    TreeNode *parent = groupOf(commandNode());
    if (!parent)
        parent = tree().root();
    if (!parent)
        return;
    for (;;) {
        QString name;
        if (!AppDialogs::inputBox(this, QStringLiteral("Add Group to ") + quoted(parent->text()),
                                  QStringLiteral("Group Name:"), name))
            return;
        const QString problem = TreeNames::Problem(name);
        if (!problem.isEmpty()) {
            AppDialogs::message(this, AppDialogs::Error, problem);
            continue;
        }
        if (FindGroup(tree().root(), name)) {
            AppDialogs::message(this, AppDialogs::Error,
                                QStringLiteral("Group named ") + quoted(name) +
                                    QStringLiteral(" already exists! Please enter different name."));
            continue;
        }
        tree().addChild(parent, name, KindGroup);
        TreeChange(parent);
        m_tree->expand(m_treeModel->indexOf(parent));
        return;
    }
}

void TMainForm::TreeEdited(TreeNode *node, const QString &text)
{
    if (!node || m_readOnly)
        return;
    const QString problem = TreeNames::Problem(text);
    if (!problem.isEmpty()) {
        AppDialogs::message(this, AppDialogs::Error, problem);
    } else if (node->isGroup()) {
        TreeNode *found = FindGroup(tree().root(), text);
        if (found && found != node)
            AppDialogs::message(this, AppDialogs::Error,
                                QStringLiteral("Group named ") + quoted(text) +
                                    QStringLiteral(" already exists! Please enter different name."));
        else
            tree().setText(node, text);
    } else {
        tree().setText(node, text);
    }
    TreeChange(node);
}

void TMainForm::Delete1Click()
{
    if (m_readOnly)
        return;
    TreeNode *node = commandNode();
    if (!node)
        return;
    QStringList files;
    if (node->kind() == KindRoot) {
        AppDialogs::message(this, AppDialogs::Error, QStringLiteral("Cannot delete main goup!"));
        return;
    }
    if (node->isDisc()) {
        if (AppDialogs::message(this, AppDialogs::Confirmation,
                                QStringLiteral("Delete disc ") + quoted(node->text()) + u'?',
                                AppDialogs::YesNo) != QMessageBox::Yes)
            return;
        if (node->cd())
            files.append(node->cd()->Serial);
    } else {
        if (AppDialogs::message(this, AppDialogs::Confirmation,
                                QStringLiteral("Delete group ") + quoted(node->text()) + u'?',
                                AppDialogs::YesNo) != QMessageBox::Yes)
            return;
        std::function<void(TreeNode *)> collect = [&](TreeNode *n) {
            for (int i = 0; i < n->childCount(); ++i) {
                TreeNode *c = n->child(i);
                if (c->isDisc() && c->cd())
                    files.append(c->cd()->Serial);
                else
                    collect(c);
            }
        };
        collect(node);
    }
    QStringList failed;
    for (const QString &serial : files) {
        const QString file = m_catalogue->contentsFile(serial);
        if (QFileInfo::exists(file) && !QFile::remove(file))
            failed.append(QDir::toNativeSeparators(file));
        if (m_discContents.serial() == serial)
            m_discContents.clear();
    }
    TreeNode *parent = node->parent();
    // The node goes first, so the parent's listing no longer shows it.
    tree().removeNode(node);
    TreeChange(parent);
    if (!failed.isEmpty())
        AppDialogs::showError(this, QStringLiteral("Cannot delete the contents file(s):\r\n") +
                                        failed.join(QStringLiteral("\r\n")));
}

void TMainForm::BorrowCDClick()
{
    if (m_readOnly)
        return;
    TreeNode *node = currentNode();
    if (!node || !node->isDisc() || !node->cd())
        return;
    TCD cd = *node->cd();
    if (node->kind() == KindLent) {
        cd.BorrowedTo.clear();
        tree().setCD(node, cd);
    } else {
        QString name;
        if (!AppDialogs::inputBox(this, QStringLiteral("Borrow Disc to..."), QStringLiteral("Name: "), name))
            return;
        cd.BorrowedTo = name;
        tree().setCD(node, cd);
        // Lent even with an empty name, for the rest of the run.
        tree().setKind(node, KindLent);
    }
    tree().sort();
    describeNode(node);
}

void TMainForm::expandNode(bool all)
{
    const QModelIndex i = m_tree->currentIndex();
    if (!i.isValid())
        return;
    if (all)
        m_tree->expandRecursively(i);
    else
        m_tree->expand(i);
}

void TMainForm::collapseNode()
{
    const QModelIndex i = m_tree->currentIndex();
    if (!i.isValid())
        return;
    std::function<void(const QModelIndex &)> fold = [&](const QModelIndex &p) {
        for (int r = 0; r < m_treeModel->rowCount(p); ++r)
            fold(m_treeModel->index(r, 0, p));
        m_tree->collapse(p);
    };
    fold(i);
}

void TMainForm::TreeContextPopup(const QPoint &pos)
{
    TreeNode *node = m_tree->nodeAt(pos);
    if (!node)
        return;
    TreeChange(node);
    MainActions *a = m_actions;
    const bool disc = node->isDisc();
    for (QAction *g : {a->addDiscHere, a->addSubGroup, a->treeSeparator, a->expandAll, a->expand, a->collapse})
        g->setVisible(!disc);
    a->editDisc->setVisible(disc);
    a->borrow->setVisible(disc);
    if (disc && node->cd())
        a->borrow->setText(node->kind() == KindLent ? node->cd()->BorrowedTo + QStringLiteral(" has returned disc")
                                                    : QStringLiteral("Borrow Disc to..."));
    a->treeMenu->setDefaultAction(disc ? a->editDisc : nullptr);
    a->treeMenu->exec(m_tree->viewport()->mapToGlobal(pos));
}

void TMainForm::ExplorerContextPopup(const QPoint &globalPos)
{
    MainActions *a = m_actions;
    QList<int> rows = m_explorer->selectedRows();
    if (rows.isEmpty()) {
        a->backgroundMenu->exec(globalPos);
        return;
    }
    if (rows.size() >= 2 && m_listing.kind(rows.first()) == ContentsEntry::Up) {
        m_explorer->selectionModel()->select(m_contentsModel->index(rows.first(), 0),
                                             QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        rows.removeFirst();
    }
    const int row = rows.first();
    const ContentsEntry::Kind kind = m_listing.kind(row);
    if (kind == ContentsEntry::Up)
        return;
    if (kind == ContentsEntry::Group || kind == ContentsEntry::Disc) {
        TreeNode *node = FindInTree(row);
        if (!node)
            return;
        const bool disc = kind == ContentsEntry::Disc;
        for (QAction *g : {a->addDiscHere, a->addSubGroup})
            g->setVisible(!disc);
        for (QAction *g : {a->treeSeparator, a->expandAll, a->expand, a->collapse, a->borrow})
            g->setVisible(false);
        a->editDisc->setVisible(disc);
        m_listMenuNode = node;
        a->treeMenu->exec(globalPos);
        m_listMenuNode = nullptr;
        return;
    }
    // The entry menu; an entry inside a ZIP archive cannot be copied, compiled or explored.
    bool inZip = false;
    bool allMusic = rows.size() >= 2;
    static const QStringList music{QStringLiteral(".MP3"),  QStringLiteral(".WMA"), QStringLiteral(".AAC"),
                                   QStringLiteral(".OGG"),  QStringLiteral(".WAV"), QStringLiteral(".MID"),
                                   QStringLiteral(".MIDI"), QStringLiteral(".APE"), QStringLiteral(".RA"),
                                   QStringLiteral(".CDA")};
    for (int r : rows) {
        if (FindColumn(QStringLiteral("Path"), m_listing.info(r)).toUpper().contains(QLatin1String(".ZIP")))
            inZip = true;
        if (!music.contains(ExtensionIconCache::extensionOf(m_listing.caption(r))))
            allMusic = false;
    }
    const bool folderOrArchive = kind == ContentsEntry::Folder || kind == ContentsEntry::Archive;
    // A ZIP archive is a file on the disc like any other: it can be opened.
    a->execute->setVisible(kind != ContentsEntry::Folder && !inZip);
    a->copyToHddEntry->setVisible(!inZip);
    a->addToCompilation->setVisible(!inZip);
    a->openInExplorer->setVisible(!inZip);
    a->switchToLocation->setVisible(m_location.isSearchResult() || folderOrArchive);
    a->createPlaylist->setVisible(allMusic && !m_location.isGroupListed());
    a->entryMenu->setDefaultAction(m_location.archiveMode ? a->viewProperties
                                   : folderOrArchive      ? a->switchToLocation
                                                          : nullptr);
    a->entryMenu->exec(globalPos);
}

void TMainForm::ExplorerChange()
{
    updateCommandStates();
    const QList<int> rows = m_explorer->selectedRows();
    if (rows.isEmpty())
        return;
    if (rows.size() == 1) {
        const int row = rows.first();
        const ContentsEntry::Kind kind = m_listing.kind(row);
        if (kind == ContentsEntry::Up)
            return;
        const QStringList info = m_listing.info(row);
        if (kind == ContentsEntry::Group) {
            m_infoPanel->describe(m_icons->icon(ExtensionIconCache::ImageGroup), m_listing.caption(row),
                                  FindColumn(QStringLiteral("Type"), info),
                                  QStringLiteral("Size: ") + FindColumn(QStringLiteral("Size"), info),
                                  QStringLiteral("Contains:"),
                                  QStringLiteral("Discs: ") + FindColumn(QStringLiteral("Discs"), info),
                                  QStringLiteral("Sub-Groups: ") + FindColumn(QStringLiteral("Sub-Groups"), info));
        } else if (kind == ContentsEntry::Disc) {
            if (TreeNode *n = FindInTree(row); n && n->cd())
                m_infoPanel->FillCDInfo(*n->cd(), m_icons->nodeIcon(KindDisc));
        } else {
            m_infoPanel->describe(m_icons->icon(m_listing.image(row)), m_listing.caption(row),
                                  FindColumn(QStringLiteral("Type"), info),
                                  QStringLiteral("Size: ") + FindColumn(QStringLiteral("Size"), info),
                                  QStringLiteral("Date: ") + FindColumn(QStringLiteral("Date"), info),
                                  m_listing.text(row, 5), m_listing.text(row, 6));
        }
        return;
    }
    qint64 total = 0;
    for (int r : rows)
        total += FindColumn(QStringLiteral("IntSize"), m_listing.info(r)).toLongLong();
    m_infoPanel->describe(m_icons->icon(ExtensionIconCache::ImageMultiple), QStringLiteral("Multiple items selected"),
                          QStringLiteral("Count: %1").arg(rows.size()), QStringLiteral("Size: ") + FormatSize(total),
                          QString(), QString(), QString());
}

void TMainForm::updateCommandStates()
{
    const bool writable = !m_readOnly;
    const bool treeFocus =
        m_tree->hasFocus() || (QApplication::focusWidget() && m_tree->isAncestorOf(QApplication::focusWidget()));
    m_actions->deleteObject->setEnabled(writable && treeFocus);
    m_actions->addGroup->setEnabled(writable);
    m_actions->addSubGroup->setEnabled(writable);
    m_actions->deleteNode->setEnabled(writable);
    m_actions->borrow->setEnabled(writable);
    m_actions->exportDatabase->setEnabled(writable);
    m_actions->importDatabase->setEnabled(writable);
    m_actions->goUp->setEnabled(!(m_location.isGroupListed() && currentNode() && currentNode()->kind() == KindRoot));
}

void TMainForm::ToggleInfoClick()
{
    m_infoPanel->setExpanded(!m_infoPanel->isExpanded());
    m_actions->toggleObjectInfo->setChecked(m_infoPanel->isExpanded());
}

void TMainForm::openHelp()
{
    const QString help = DataPaths::findResource(m_catalogue->dataFolder(), QStringLiteral("help/index.html"));
    if (!help.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(help));
}

void TMainForm::showAbout()
{
    AppDialogs::message(this, AppDialogs::Information,
                        QStringLiteral("Quillory! ") + QuilloryVersion() + QStringLiteral("\r\nA catalogue of removable discs.\r\n\r\nTarnwick"));
}

void TMainForm::ExportAllData1Click()
{
    if (m_readOnly)
        return;
    const QString file =
        AppDialogs::saveFileName(this, QStringLiteral("Export Database"), kCabFilter, QStringLiteral("cab"),
                                 QDir::homePath() + u'/' + DatabaseBackup::proposedExportName(QDate::currentDate()));
    if (file.isEmpty())
        return;
    Catalogue &cat = *m_catalogue;
    // The export writes the tree and reads it back; the selection is found again by serial.
    TreeNode *selected = currentNode();
    const QString selectedSerial = selected && selected->cd() ? selected->cd()->Serial : QString();
    createWindows();
    bool started = false;
    try {
        DatabaseBackup::exportDatabase(
            cat, file,
            [&](int position, int maximum) {
                if (!started) {
                    m_busy->start(DatabaseBackup::exportBusyCaption(), maximum);
                    started = true;
                }
                m_busy->setPosition(position);
            },
            [this](const QString &msg) { AppDialogs::message(this, AppDialogs::Information, msg); });
    } catch (const QuilloryError &e) {
        m_busy->finish();
        reselect(selectedSerial);
        AppDialogs::showError(this, e.message());
        return;
    }
    m_busy->finish();
    reselect(selectedSerial);
    AppDialogs::message(this, AppDialogs::Information, DatabaseBackup::exportCompleteMessage());
}

void TMainForm::reselect(const QString &serial)
{
    TreeNode *root = tree().root();
    if (!root)
        return;
    m_tree->expand(m_treeModel->indexOf(root));
    TreeNode *again = serial.isEmpty() ? nullptr : FindCD(root, serial);
    TreeChange(again ? again : root);
}

void TMainForm::ImportDatabase1Click()
{
    if (m_readOnly)
        return;
    const QString file = AppDialogs::openFileName(this, QStringLiteral("Import Database"), kCabFilter,
                                                  QStringLiteral("cab"), m_lastImport);
    if (file.isEmpty())
        return;
    m_lastImport = file;
    if (AppDialogs::message(this, AppDialogs::Warning, DatabaseBackup::importQuestion(), AppDialogs::YesNo) !=
        QMessageBox::Yes)
        return;
    if (!importArchive(file))
        return;
    initialise();
    AppDialogs::message(this, AppDialogs::Information, DatabaseBackup::importCompleteMessage());
}
