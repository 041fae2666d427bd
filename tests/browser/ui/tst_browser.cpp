// The browser on the window the program builds: the tree's commands, the favourites, the list's
// commands, menus and keys, the object-info panel and "Object Properties".
#include "ScanFixture.h"
#include "TestWindow.h"
#include "acquire/FolderVolumeBackend.h"
#include "browser/ui/ContentsCommands.h"
#include "browser/ui/ContentsModel.h"
#include "browser/ui/FavouritesMenu.h"
#include "browser/ui/GroupTreeModel.h"
#include "browser/ui/GroupTreeView.h"
#include "browser/ui/ObjectInfoPanel.h"
#include "browser/ui/TPropertiesForm.h"
#include "browser/ui/TreeCommands.h"
#include "browser/ui/TreePanel.h"
#include "listing/FileTypes.h"
#include "listing/SearchHits.h"
#include "settings/Preferences.h"
#include "store/ContentsFile.h"
#include "store/DataPaths.h"
#include "store/Favourites.h"
#include "store/TreeNames.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace
{
const QByteArray TwoBinChecksum = "0123456789abcdef0123456789abcdef";
const QByteArray TuneChecksum = "fedcba9876543210fedcba9876543210";

// The menu a right-click shows for the selection: its name, the items it showed and its default.
struct MenuSeen {
    QString menu;
    QStringList visible;
    QString defaultItem;
};
} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    QList<QUrl> m_opened; // what the desktop was asked to open
    QString db() const { return m_fx.db(); }
    QStringList treeLines() const { return TextCodec::readLines(db() + u"groups.tree"_s); }
    ObjectInfoPanel *info() const { return (*m_fx.window)->infoPanel(); }

    TestWindow::Window &onRockDisc()
    {
        TestWindow::Window &f = m_fx.open();
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        return f;
    }
    // The favourites menu's places, below its two commands and separator.
    QStringList favouriteCaptions() const
    {
        QStringList out;
        for (const QAction *a : (*m_fx.window)->actions().menu(u"FavoritesMenu"_s)->actions().mid(3))
            out << a->text();
        return out;
    }
    // whileOpen: what the user picks from the menu.
    MenuSeen rightClick(const QStringList &captions, const std::function<void()> &whileOpen = {})
    {
        m_fx.window->select(captions);
        return menuSeen([this] { Q_EMIT m_fx.window->view()->contextMenuRequested(QPoint(10, 10)); }, whileOpen);
    }
    // The menu open() brings up, as the user saw it.
    MenuSeen menuSeen(const std::function<void()> &open, const std::function<void()> &whileOpen = {})
    {
        MenuSeen seen;
        QTimer::singleShot(0, this, [&seen, whileOpen] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            seen.menu = menu->objectName();
            for (QAction *a : menu->actions())
                if (a->isVisible() && !a->isSeparator() && !a->objectName().isEmpty())
                    seen.visible << a->objectName();
            if (menu->defaultAction())
                seen.defaultItem = menu->defaultAction()->objectName();
            if (whileOpen)
                whileOpen();
            menu->close();
        });
        open();
        return seen;
    }
    // Rock Disc's hits as the search shows them: a file of \ROCK\ and an entry of the archive.
    void showSearchResult()
    {
        auto hits = std::make_shared<SearchHits>();
        const int disc = hits->addDisc(u"Rock Disc"_s, u"1A2B3C4D"_s);
        hits->add(disc, ContentsEntry::File, "song.mp3", "\\ROCK\\", {}, 2000, "");
        hits->add(disc, ContentsEntry::File, "inner.txt", "\\pack.zip\\", "", 50, "");
        m_fx.window->nav().showSearchResult(hits, u"3 found"_s);
    }
    // "Sizes" (NTFS, no genre) added: one.bin, two.bin and Sub\tune.mp3 (with checksums), Sub\pic.png.
    TestWindow::Window &withSizesDisc()
    {
        const QString d = TestCatalogue::date(2024, 4, 1);
        TestCatalogue::packDisc(db(), u"00000010"_s, [&d](ContentsListWriter &folders, ContentsListWriter &files) {
            folders.writeFolderRecord(u"Sub"_s, u"\\"_s, 0, d);
            files.writeFileRecord(u"one.bin"_s, u"\\"_s, 1024, d);
            files.writeFileRecord(u"two.bin"_s, u"\\"_s, 1024, d);
            files.writeFileRecord(u"tune.mp3"_s, u"\\Sub\\"_s, 4000000, d,
                                  {u"Title: Tune"_s, u"Artist: Band"_s, u"Album: First"_s, u"Duration: 00:04:10"_s,
                                   u"Bit rate: CBR 128kbps"_s});
            files.writeFileRecord(u"pic.png"_s, u"\\Sub\\"_s, 5000, d, {u"Width: 640"_s, u"Height: 480"_s});
        });
        ContentsFile::Lists lists = ContentsFile::read(db(), u"00000010"_s);
        lists.checksumList = "\r\n" + TwoBinChecksum + "\r\n" + TuneChecksum + "\r\n\r\n";
        ContentsFile::packBytes(db(), u"00000010"_s, lists);
        TextCodec::writeLines(db() + u"groups.tree"_s,
                              treeLines() << u"\tSizes|SIZES|00000010|NTFS|2048|||3|12/24/2023 10:00:00|"_s);
        return m_fx.open();
    }
    TPropertiesForm *properties(const QString &caption)
    {
        m_fx.window->view()->selectRow(m_fx.window->row(caption));
        m_fx.window->action(u"ViewProperties1"_s)->trigger();
        return m_fx.window->controller<ContentsCommands>()->propertiesForm();
    }

public Q_SLOTS:
    void openUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    // --- The tree.
    void addRenameDeleteLendReachTheFile()
    {
        TestWindow::Window &f = onRockDisc();
        // Added to the disc's group: a taken name (a disc title, any case), then a good one.
        AppDialogs::pushInput(u"rock disc"_s);
        AppDialogs::pushInput(u"Jazz"_s);
        f.action(u"AddGroup1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().at(1).kind, AppDialogs::Error);
        TreeNode *jazz = f.node(u"Jazz"_s);
        QVERIFY(f.captions().contains(u"Jazz"_s));
        // An in-place rename goes through the same rules.
        f->treePanel()->model()->setData(f->treePanel()->model()->indexOf(jazz), u"Photos Disc"_s);
        QCOMPARE(jazz->text(), u"Jazz"_s);
        f.controller<TreeCommands>()->TreeEdited(f.node(u"Photos Disc"_s), u"Photos 2024"_s);
        f.nav().TreeChange(f.node(u"Photos 2024"_s));
        // A blank borrower is refused and the name asked for again.
        AppDialogs::pushInput(u"  "_s);
        AppDialogs::pushInput(u"Alex | Smith"_s);
        f.action(u"BorrowCD1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts().mid(AppDialogs::shownTexts().size() - 3),
                 (QStringList{u"Name: "_s, TreeNames::BorrowerProblem(u"  "_s), u"Name: "_s}));

        f.nav().TreeChange(f.node(u"Music"_s));
        // Nothing selected in the tree (a click on its blank space): the Delete key asks nothing and does nothing.
        f->treePanel()->view()->selectionModel()->clearSelection();
        AppDialogs::clearShown();
        Q_EMIT f->treePanel()->view()->deletePressed();
        QVERIFY(AppDialogs::shown().isEmpty() && f.node(u"Music"_s));
        AppDialogs::pushAnswer(QMessageBox::Yes);
        f.action(u"Delete2"_s)->trigger();
        QVERIFY(!QFileInfo::exists(db() + u"1A2B3C4D.dat"_s) && !f.captions().contains(u"Music"_s));
        f->close();
        // The lent disc stands above the groups.
        const QStringList lines = treeLines();
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(1).startsWith(u"\tPhotos 2024|PHOTOS|5E6F7081|UDF|4096|"_s) &&
                lines.at(1).endsWith(u"|Alex | Smith"_s));
    }

    // A click on a disc whose contents file is gone: everything moves on to its group.
    void clickOnAMissingDiscKeepsEverythingOnOneNode()
    {
        TestWindow::Window &f = m_fx.open();
        QVERIFY(f.show());
        GroupTreeView *view = f->treePanel()->view();
        view->expandAll();
        QVERIFY(QFile::remove(db() + u"1A2B3C4D.dat"_s));
        const QRect disc = view->visualRect(f->treePanel()->model()->indexOf(f.node(u"Rock Disc"_s)));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, disc.center());
        QTRY_VERIFY(!f.node(u"Rock Disc"_s));
        QVERIFY(AppDialogs::shownTexts().first().startsWith(u"Database is damaged!"_s));

        TreeNode *music = f.node(u"Music"_s);
        QCOMPARE(f.nav().currentNode(), music);
        QCOMPARE(view->selectedNodes(), QList<TreeNode *>{music});
        QCOMPARE(info()->nameText(), u"Music"_s);
        // Del asks about the node that is highlighted; Enter (the scripted default) says No.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(AppDialogs::shownTexts().last(), u"Delete group \"Music\"?"_s);
        QCOMPARE(AppDialogs::shown().last().answer, u"No"_s);
        QVERIFY(f.node(u"Music"_s));
    }

    void dragAndDropMovesSeveralNodes()
    {
        TestWindow::Window &f = m_fx.open();
        QVERIFY(f.show());
        GroupTreeView *view = f->treePanel()->view();
        GroupTreeModel *model = f->treePanel()->model();
        view->expandAll();
        TreeNode *music = f.node(u"Music"_s), *empty = f.node(u"Empty Group"_s), *photos = f.node(u"Photos Disc"_s);
        const QRect musicRect = view->visualRect(model->indexOf(music));
        const auto iconPoint = [&](TreeNode *n) {
            const QRect r = view->visualRect(model->indexOf(n));
            return QPoint(r.left() + 8, r.center().y());
        };
        TreeNode *target = nullptr;
        QCOMPARE(view->hitTest(iconPoint(music), &target), TreeMoves::AsLastChild);
        QCOMPARE(view->hitTest(QPoint(musicRect.left() - 4, musicRect.center().y()), &target), TreeMoves::BeforeTarget);
        QCOMPARE(view->hitTest(QPoint(view->viewport()->width() - 2, musicRect.center().y()), &target),
                 TreeMoves::Nowhere);

        // A present disc takes no drop; a group does.
        QVERIFY(!(model->flags(model->indexOf(photos)) & Qt::ItemIsDropEnabled));
        view->dropNodes({music, photos}, iconPoint(empty));
        QCOMPARE(f.nav().currentNode(), f.tree().root());
        // The current disc dropped into a closed group: the group opens, so the selection shows.
        f.nav().TreeChange(photos);
        view->collapse(model->indexOf(music));
        view->dropNodes({photos}, iconPoint(music));
        QVERIFY(view->isExpanded(model->indexOf(music)));
        QCOMPARE(view->currentNode(), photos);
        f->close();
        QStringList names;
        for (const QString &line : treeLines())
            names << line.section(u'|', 0, 0);
        QCOMPARE(names, (QStringList{u"My Collection"_s, u"\tEmpty Group"_s, u"\t\tMusic"_s, u"\t\t\tPhotos Disc"_s,
                                     u"\t\t\tRock Disc"_s}));
    }

    // --- The favourites: added and removed by the menu and the keys; neither while a group is listed.
    void favouritesAddedAndRemoved()
    {
        TestWindow::Window &f = m_fx.open();
        QAction *add = f.action(u"AddLocationtoFavorites1"_s), *remove = f.action(u"RemoveFavoriteLocation1"_s);
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        QVERIFY(add->isEnabled() && !remove->isEnabled()); // not a favourite yet
        add->trigger();
        f->show();
        QVERIFY(QTest::qWaitForWindowActive(&f.form()));
        QWidget *list = f.view()->currentView(), *tree = f->treePanel()->view();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(favouriteCaptions(), (QStringList{u"Rock Disc:\\ROCK\\"_s, u"Rock Disc:\\ROCK\\"_s}));
        QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.ws().favourites().lines(), QStringList{u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s});
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.ws().favourites().count(), 0);

        f.nav().TreeChange(f.tree().root());
        QVERIFY(!add->isEnabled() && !remove->isEnabled());
        f->findChild<QToolButton *>(u"FavoritesButton"_s)->click();
        QCOMPARE(f.ws().favourites().count(), 0);

        // A second window has the catalogue read-only: a favourite changed there would never be saved.
        TextCodec::writeLines(DataPaths::favouritesFile(m_fx.data()), {u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s});
        TestWindow::Window second(m_fx.data());
        second.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        QVERIFY(second.ws().isReadOnly() && second.ws().favourites().count() == 1);
        QVERIFY(!second.action(u"AddLocationtoFavorites1"_s)->isEnabled());
        QVERIFY(!second.action(u"RemoveFavoriteLocation1"_s)->isEnabled());
    }

    // Opening a favourite; the menu drops those of discs gone, silently, at the start and when rebuilt;
    // one chosen after its disc went is dropped then, without a false alarm; a disc's new title shows.
    void openingAndDroppingFavourites()
    {
        TextCodec::writeLines(DataPaths::favouritesFile(m_fx.data()),
                              {u"DEADBEEF|Lost Disc:|\\"_s, u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s,
                               u"1A2B3C4D|Rock Disc:|\\pack.zip\\"_s, u"5E6F7081|Photos Disc:|\\"_s});
        TestWindow::Window &f = m_fx.open();
        QVERIFY(favouriteCaptions().size() == 3 && AppDialogs::shown().isEmpty());
        auto *menus = f.controller<FavouritesMenu>();
        menus->items().at(0)->trigger();
        QCOMPARE(f.nav().location().pathLabel, u"\\ROCK\\"_s);
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
        QCOMPARE(info()->nameText(), u"Rock Disc"_s); // the object info follows the tree
        QCOMPARE(f.view()->selectedRows(), QList<int>{0});
        menus->items().at(1)->trigger(); // inside an archive only its entries are listed
        QVERIFY(f.nav().location().archiveMode);
        QCOMPARE(f.captions().size(), 2);

        // Deleted as the tree's Delete does: the node and its contents file.
        f.tree().removeNode(f.node(u"Photos Disc"_s));
        ContentsFile::remove(DataPaths::dbFolder(m_fx.data()), u"5E6F7081"_s);
        QCOMPARE(favouriteCaptions().size(), 3); // still there until the menu is rebuilt
        menus->items().at(2)->trigger();
        QVERIFY(AppDialogs::shown().isEmpty());
        QCOMPARE(f->statusText(), u"The disc of that favourite is no longer in the catalogue."_s);
        QTRY_COMPARE(favouriteCaptions(), (QStringList{u"Rock Disc:\\ROCK\\"_s, u"Rock Disc:\\pack.zip\\"_s}));
        f.tree().setText(f.node(u"Rock Disc"_s), u"Live Disc"_s); // as a rename in the tree does
        QCOMPARE(favouriteCaptions(), (QStringList{u"Live Disc:\\ROCK\\"_s, u"Live Disc:\\pack.zip\\"_s}));
        menus->items().at(0)->trigger();
        QCOMPARE(f.nav().location().discLabel, u"Live Disc:"_s);
        QVERIFY(f.action(u"RemoveFavoriteLocation1"_s)->isEnabled());
    }

    // Shift+F10 opens the menu the Menu key opens: the list's for its current entry, the tree's for its node.
    void shiftF10OpensTheMenus()
    {
        TestWindow::Window &f = onRockDisc();
        QVERIFY(f.show());
        f.view()->selectRow(f.row(u"A.mp3"_s));
        QStringList opened;
        for (QWidget *w : std::initializer_list<QWidget *>{f.view()->currentView(), f->treePanel()->view()}) {
            QApplication::setActiveWindow(&f.form()); // a closed menu leaves itself active here
            w->setFocus();
            QTimer::singleShot(0, this, [&opened] {
                if (QWidget *popup = QApplication::activePopupWidget()) {
                    opened << popup->objectName();
                    popup->close();
                }
            });
            QTest::keyClick(w, Qt::Key_F10, Qt::ShiftModifier);
        }
        QCOMPARE(opened.join(u","_s), u"EntryMenu,TreeMenu"_s);
    }

    // --- The list.
    void tipsKeysAndSorting()
    {
        TestWindow::Window &f = onRockDisc();
        const int mp3 = f.row(u"A.mp3"_s);
        ContentsModel *model = f->contentsPanel()->model();
        QCOMPARE(model->data(model->index(mp3, 0), Qt::ToolTipRole).toString(),
                 u"Type: "_s + f.nav().listing().text(mp3, 1) + u"\nSize: 2.00 KB\nDate: "_s +
                     f.nav().listing().text(mp3, 4));
        // Into a folder with Enter: the first entry is selected, the info stays; Backspace goes back.
        f.view()->selectRow(f.row(u"ROCK"_s));
        QTest::keyClick(f.view()->currentView(), Qt::Key_Return);
        QCOMPARE(f.view()->selectedRows(), QList<int>{0});
        QCOMPARE(info()->nameText(), u"ROCK"_s);
        // Going up selects the place left: the folder, then the disc in its group.
        QTest::keyClick(f.view()->currentView(), Qt::Key_Backspace);
        QCOMPARE(f->findChild<QLabel *>(u"PathLabel"_s)->text(), u"\\"_s);
        QCOMPARE(f.view()->selectedRows(), QList<int>{f.row(u"ROCK"_s)});
        QTest::keyClick(f.view()->currentView(), Qt::Key_Backspace);
        QCOMPARE(f.nav().currentNode(), f.node(u"Music"_s));
        QCOMPARE(f.view()->selectedRows(), QList<int>{f.row(u"Rock Disc"_s)});
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\"_s);

        // A header's click sorts, with the wait cursor while it does; the selection stays with its entry.
        f.action(u"Details1"_s)->trigger();
        QHeaderView *header = f.view()->detailsView()->header();
        f.view()->selectRow(f.row(u"b.txt"_s));
        QList<Qt::CursorShape> cursors;
        const auto seeCursor = [&cursors] {
            cursors << (QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor);
        };
        const QMetaObject::Connection watch = connect(model, &QAbstractItemModel::modelAboutToBeReset, this, seeCursor);
        Q_EMIT header->sectionClicked(3);
        disconnect(watch);
        seeCursor();
        QCOMPARE(cursors, (QList<Qt::CursorShape>{Qt::WaitCursor, Qt::ArrowCursor}));
        QVERIFY(f.action(u"bySize1"_s)->isChecked());
        Q_EMIT header->sectionClicked(3);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(f.view()->selectedRows(), QList<int>{f.row(u"b.txt"_s)});
        f.action(u"byName1"_s)->trigger(); // "Arrange Icons" is always ascending
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        f.action(u"byName1"_s)->trigger(); // chosen again, it stays chosen
        QVERIFY(f.action(u"byName1"_s)->isChecked());
    }

    void contextMenus()
    {
        TestWindow::Window &f = onRockDisc();
        f.ws().preferences().setAction(0); // "Execute File" on double-click
        MenuSeen m = rightClick({u"Docs"_s});
        QCOMPARE(m.visible, (QStringList{u"OpeninExplorer1"_s, u"Switch1"_s, u"ViewProperties1"_s, u"CopytoHDD2"_s,
                                         u"AddtoCompilation1"_s}));
        QCOMPARE(m.defaultItem, u"Switch1"_s);
        QCOMPARE(rightClick({u"b.txt"_s}).defaultItem, u"Execute1"_s); // the double-click action
        // ".." is never part of what a menu acts on.
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        rightClick({u"song.mp3"_s, u".."_s, u"LIVE"_s});
        QCOMPARE(f.view()->selectedRows().size(), 2);
        QCOMPARE(rightClick({u".."_s}).menu, QString());
        // A right-click on empty space lets go of the selection, and the list's own menu opens.
        QVERIFY(f.show());
        f.select({u"song.mp3"_s});
        QWidget *space = f.view()->currentView()->viewport();
        const QPoint corner = space->rect().bottomRight() - QPoint(2, 2);
        QVERIFY(!f.view()->currentView()->indexAt(corner).isValid());
        const auto pressForMenu = [&] {
            QTest::mousePress(space, Qt::RightButton, {}, corner);
            QContextMenuEvent menu(QContextMenuEvent::Mouse, corner, space->mapToGlobal(corner));
            QApplication::sendEvent(space, &menu);
            QTest::mouseRelease(space, Qt::RightButton, {}, corner);
        };
        QCOMPARE(menuSeen(pressForMenu).menu, u"BackgroundMenu"_s);
        QVERIFY(f.view()->selectedRows().isEmpty());

        // Inside an archive: nothing can be run, copied, compiled or explored, nor added by Ctrl+1.
        QSignalSpy compiled(f.action(u"AddtoCompilation1"_s), &QAction::triggered);
        QWidget *list = f.view()->currentView();
        list->setFocus();
        f.select({u"song.mp3"_s});
        QTest::keyClick(list, Qt::Key_1, Qt::ControlModifier);
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, true, u"\\pack.zip\\"_s);
        QCOMPARE(rightClick({u"inner.txt"_s}).visible, QStringList{u"ViewProperties1"_s});
        QTest::keyClick(list, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(compiled.count(), 1);

        // A search result: Switch to Location for every entry, to the folder on its own disc.
        f.nav().TreeChange(f.node(u"Photos Disc"_s));
        showSearchResult();
        QCOMPARE(rightClick({u"inner.txt"_s}).visible, (QStringList{u"Switch1"_s, u"ViewProperties1"_s}));
        QCOMPARE(rightClick({u"song.mp3"_s}).visible,
                 (QStringList{u"Execute1"_s, u"OpeninExplorer1"_s, u"Switch1"_s, u"ViewProperties1"_s, u"CopytoHDD2"_s,
                              u"AddtoCompilation1"_s}));
        f.view()->selectRow(f.row(u"song.mp3"_s));
        f.action(u"Switch1"_s)->trigger();
        QCOMPARE(f.nav().location().pathLabel, u"\\ROCK\\"_s);
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
        QCOMPARE(f.view()->selectedRows(), QList<int>{f.row(u"song.mp3"_s)}); // the file, in its folder

        // A group entry gets the tree's menu for groups, a disc entry the one for that disc, with Edit Disc
        // bold only while a double-click edits; what it does acts on the entry's node, not the listed group.
        f.nav().TreeChange(f.tree().root());
        m = rightClick({u"Music"_s});
        QVERIFY(m.menu == u"TreeMenu"_s && m.visible.contains(u"AddSubGroup1"_s) &&
                !m.visible.contains(u"EditDiscEntry1"_s) && m.defaultItem.isEmpty());
        f.ws().preferences().setDiscEditDblClick(false);
        QCOMPARE(rightClick({u"Photos Disc"_s}).defaultItem, QString());
        f.ws().preferences().setDiscEditDblClick(true);
        m = rightClick({u"Photos Disc"_s}, [&f] {
            AppDialogs::pushAnswer(QMessageBox::Yes);
            f.action(u"Delete2"_s)->trigger();
        });
        QVERIFY(m.visible.contains(u"EditDiscEntry1"_s) && m.defaultItem == u"EditDiscEntry1"_s);
        QCOMPARE(AppDialogs::shownTexts().last(), u"Delete disc \"Photos Disc\"?"_s);
        QVERIFY(!f.node(u"Photos Disc"_s) && QFileInfo::exists(db() + u"1A2B3C4D.dat"_s));
        QCOMPARE(f.nav().currentNode(), f.tree().root());
        // Lending and Expand act on the entry too, and leave the listing where it is.
        const QModelIndex music = f->treePanel()->model()->indexOf(f.node(u"Music"_s));
        f->treePanel()->view()->collapse(music);
        m = rightClick({u"Music"_s}, [&f] { f.action(u"Expand1"_s)->trigger(); });
        QVERIFY(m.visible.contains(u"Expand1"_s) && f->treePanel()->view()->isExpanded(music));
        TreeNode *rockGroup = Navigator::groupOf(f.node(u"Rock Disc"_s));
        f.nav().TreeChange(rockGroup);
        m = rightClick({u"Rock Disc"_s}, [&f] {
            AppDialogs::pushInput(u"Ann"_s);
            f.action(u"BorrowCD1"_s)->trigger();
        });
        QVERIFY(m.visible.contains(u"BorrowCD1"_s));
        QCOMPARE(f.node(u"Rock Disc"_s)->cd()->BorrowedTo, u"Ann"_s);
        QCOMPARE(f.nav().currentNode(), rockGroup);
    }

    void executeAndExploreOnTheDisc()
    {
        TestWindow::Window &f = onRockDisc();
        QTemporaryDir disc;
        QVERIFY(ScanFixture::writeFile(disc.path() + u"/ROCK/song.mp3"_s, "ID3"));
        QDir().mkpath(disc.path() + u"/ROCK/LIVE"_s);
        FolderVolumeBackend backend;
        const QString root = backend.addVolume(ScanFixture::volume(disc.path(), 0x1A2B3C4D));
        f.controller<ContentsCommands>()->setVolumeBackend(&backend);
        QDesktopServices::setUrlHandler(u"file"_s, this, "openUrl");
        const auto cleanupHandler = qScopeGuard([&f] {
            QDesktopServices::unsetUrlHandler(u"file"_s);
            f.controller<ContentsCommands>()->setVolumeBackend(nullptr);
        });

        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        f.view()->selectRow(f.row(u"song.mp3"_s));
        f.action(u"Execute1"_s)->trigger();
        f.action(u"OpeninExplorer1"_s)->trigger(); // a file: the folder that holds it
        f.view()->selectRow(f.row(u"LIVE"_s));
        f.action(u"OpeninExplorer1"_s)->trigger(); // a folder: the folder itself
        QCOMPARE(m_opened,
                 (QList<QUrl>{QUrl::fromLocalFile(root + u"ROCK/song.mp3"_s), QUrl::fromLocalFile(root + u"ROCK/"_s),
                              QUrl::fromLocalFile(root + u"ROCK/LIVE/"_s)}));
        QVERIFY(AppDialogs::shown().isEmpty());

        // The catalogue knows a file the disc no longer has.
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\"_s);
        f.view()->selectRow(f.row(u"b.txt"_s));
        f.action(u"Execute1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts(), QStringList{u"Error executing file!"_s});
        QCOMPARE(m_opened.size(), 3);
    }

    // --- The object-info panel's name and five lines (an NTFS disc is "Removable Media" here; ".."
    // leaves the panel as the selection before it showed it).
    void whatThePanelShows_data()
    {
        QTest::addColumn<QString>("disc");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QList<QStringList>>("selections");
        QTest::addColumn<QString>("lines");
        const QString d = TestCatalogue::date(2024, 4, 1);
        QTest::newRow("group") << QString() << QString() << QList<QStringList>{{u"Music"_s}}
                               << u"Music|Group|Size: 5.52 KB|Contains:|Discs: 1|Sub-Groups: 0"_s;
        QTest::newRow("disc without genre")
            << QString() << QString() << QList<QStringList>{{u"Sizes"_s}}
            << u"Sizes|Removable Media|Size: 2.00 KB|Serial: 00000010|Disc number: 3|Entry date: 12/24/2023 10:00:00"_s;
        QTest::newRow("disc with genre")
            << u"Music"_s << QString() << QList<QStringList>{{u"Rock Disc"_s}}
            << u"Rock Disc|Compact Disc|Size: 5.52 KB|Serial: 1A2B3C4D|Disc number: 1|Genre: Rock"_s;
        QTest::newRow("..") << u"Sizes"_s << u"\\"_s << QList<QStringList>{{u"one.bin"_s, u"two.bin"_s}, {u".."_s}}
                            << u"Multiple items selected|Count: 2|Size: 2.00 KB|||"_s;
        QTest::newRow("a checksum") << u"Sizes"_s << u"\\"_s << QList<QStringList>{{u"two.bin"_s}}
                                    << u"two.bin|%1|Size: 1.00 KB|Date: %2|Checksum: %3|"_s.arg(
                                           FileTypes::GetFileType(u"two.bin"_s), d, QLatin1String(TwoBinChecksum));
        QTest::newRow("the first detail line and the checksum")
            << u"Sizes"_s << u"\\Sub\\"_s << QList<QStringList>{{u"tune.mp3"_s}}
            << u"tune.mp3|%1|Size: 3.81 MB|Date: %2|Title: Tune|Checksum: %3"_s.arg(
                   FileTypes::GetFileType(u"tune.mp3"_s), d, QLatin1String(TuneChecksum));
    }
    void whatThePanelShows()
    {
        QFETCH(QString, disc);
        QFETCH(QString, folder);
        QFETCH(QList<QStringList>, selections);
        QFETCH(QString, lines);
        TestWindow::Window &f = withSizesDisc();
        if (!folder.isEmpty())
            f.nav().LoadCD(disc, f.node(disc)->cd()->Serial, false, folder);
        else if (!disc.isEmpty())
            f.nav().TreeChange(f.node(disc));
        for (const QStringList &s : selections)
            f.select(s);
        QStringList shown{info()->nameText()};
        for (int i = 0; i < 5; ++i)
            shown << info()->lineText(i);
        QCOMPARE(shown.join(u'|'), lines);
    }

    // --- What the user clicks is selected, in every view style: the panel shows it and Copy to
    // Hard-Drive offers it (the icon views show one column of rows that have several).
    void aClickSelectsTheEntry_data()
    {
        QTest::addColumn<int>("style");
        QTest::newRow("large icons") << int(ContentsView::LargeIcons);
        QTest::newRow("small icons") << int(ContentsView::SmallIcons);
        QTest::newRow("list") << int(ContentsView::List);
        QTest::newRow("details") << int(ContentsView::Details);
    }
    void aClickSelectsTheEntry()
    {
        QFETCH(int, style);
        TestWindow::Window &f = withSizesDisc();
        QVERIFY(f.show());
        f.nav().LoadCD(u"Sizes"_s, u"00000010"_s, false, u"\\"_s);
        f.view()->setViewStyle(static_cast<ContentsView::ViewStyle>(style));
        QAbstractItemView *view = f.view()->currentView();
        const auto click = [&](const QString &caption, Qt::KeyboardModifiers keys) {
            const QModelIndex i = view->model()->index(f.row(caption), 0);
            QTRY_VERIFY(view->visualRect(i).isValid()); // the icons are laid out in batches
            QTest::mouseClick(view->viewport(), Qt::LeftButton, keys, view->visualRect(i).center());
        };
        click(u"two.bin"_s, {});
        // The small-icon and list styles give each caption its whole cell, not the width of "..".
        if (auto *list = qobject_cast<QListView *>(view); list && list->viewMode() == QListView::ListMode)
            QCOMPARE(view->visualRect(view->currentIndex()).width(), list->gridSize().width());
        QCOMPARE(f.view()->selectedRows(), QList<int>{f.row(u"two.bin"_s)});
        QCOMPARE(info()->nameText(), u"two.bin"_s);
        QVERIFY(f.action(u"CopytoHDD1"_s)->isEnabled());
        click(u"one.bin"_s, Qt::ControlModifier);
        QCOMPARE(info()->nameText(), u"Multiple items selected"_s);
        QCOMPARE(info()->lineText(0), u"Count: 2"_s);
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(f.view()->selectedRows().size(), view->model()->rowCount());
        QVERIFY(f.action(u"CopytoHDD1"_s)->isEnabled()); // ".." among them is passed over
        // ".." alone is nothing to copy: the button says so rather than doing nothing.
        click(u".."_s, {});
        QCOMPARE(f.view()->selectedRows(), QList<int>{0});
        QVERIFY(!f.action(u"CopytoHDD1"_s)->isEnabled());
    }

    // The picture's button, the menu item and the panel's height stay in step.
    void theToggle()
    {
        TestWindow::Window &f = m_fx.open();
        info()->findChild<QToolButton *>(u"ToggleInfo"_s)->click();
        QVERIFY(info()->isExpanded() && f.action(u"ToggleObjectInfo1"_s)->isChecked());
        QCOMPARE(info()->toggleLook(), ObjectInfoPanel::Look::Down);
        const int expanded = info()->height();
        f.action(u"ToggleObjectInfo1"_s)->trigger();
        QVERIFY(!info()->isExpanded() && info()->height() < expanded);
    }

    // "Object Properties": its height follows the detail lines, its width a checksum's line (only); a double-click
    // opens an archive's entry.
    void propertiesWindow()
    {
        TestWindow::Window &f = withSizesDisc();
        f.nav().TreeChange(f.node(u"Sizes"_s));
        TPropertiesForm *form = properties(u"Sub"_s);
        QVERIFY(form->isVisible() && !f->isEnabled()); // the main window waits
        QCOMPARE(form->lineText(u"PathLabel"_s), u"Path: \\"_s);
        const int folderHeight = form->height(), folderFrame = form->frameHeight();
        TestWindow::click(form, u"OkButton"_s);
        QVERIFY(!form->isVisible() && f->isEnabled());

        f.nav().LoadCD(u"Sizes"_s, u"00000010"_s, false, u"\\Sub\\"_s);
        properties(u"tune.mp3"_s);
        // Five details and the checksum below them.
        QCOMPARE(form->height() - folderHeight, 80 + 16);
        QCOMPARE(form->frameHeight() - folderFrame, 80 + 16);
        QCOMPARE(form->lineText(u"ExtraLabel5"_s), u"Bit rate: CBR 128kbps"_s);
        QCOMPARE(form->lineText(u"ChecksumLabel"_s), u"Checksum: "_s + QLatin1String(TuneChecksum));
        form->close();
        properties(u"pic.png"_s);
        QCOMPARE(form->height(), folderHeight + 80 - 3 * 16);
        QCOMPARE(form->lineText(u"ExtraLabel3"_s), QString());
        const int plainWidth = form->width();
        form->close();
        f.nav().LoadCD(u"Sizes"_s, u"00000010"_s, false, u"\\"_s);
        properties(u"two.bin"_s);
        const auto *sum = form->findChild<QLabel *>(u"ChecksumLabel"_s);
        QCOMPARE(sum->text(), u"Checksum: "_s + QLatin1String(TwoBinChecksum));
        QCOMPARE(form->height(), folderHeight + 16);
        QCOMPARE(sum->y(), form->findChild<QLabel *>(u"ExtraLabel1"_s)->y());
        QVERIFY(sum->width() >= sum->fontMetrics().horizontalAdvance(sum->text()));
        QVERIFY(sum->geometry().right() < form->findChild<QWidget *>(u"DetailsFrame"_s)->width());
        form->close();
        properties(u"Sub"_s);
        QCOMPARE(form->width(), plainWidth);
        form->close();

        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        f.controller<ContentsCommands>()->ExplorerActivate(f.row(u"pack.zip"_s));
        f.controller<ContentsCommands>()->ExplorerActivate(f.row(u"inner.txt"_s));
        QVERIFY(form->isVisible() && form->nameText() == u"inner.txt"_s);
        form->close();
    }
};

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
