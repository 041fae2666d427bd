// The tree's commands on the window the program builds (add, rename, delete, lend, the list's menu for a
// disc entry, a disc whose contents file is gone, drag and drop) and the favourites menu.
#include "TestWindow.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/FavouritesMenu.h"
#include "browser/ui/GroupTreeModel.h"
#include "browser/ui/GroupTreeView.h"
#include "browser/ui/ObjectInfoPanel.h"
#include "browser/ui/TreeCommands.h"
#include "browser/ui/TreePanel.h"
#include "core/TextCodec.h"
#include "settings/Preferences.h"
#include "store/Favourites.h"

#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

class TestTreeCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    QString data() const { return m_fx.data(); }
    QString db() const { return m_fx.db(); }
    QStringList treeLines() const { return TextCodec::readLines(db() + u"groups.tree"_s); }

    // The favourites menu's places, below its two commands and separator.
    QStringList favouriteCaptions() const
    {
        QStringList out;
        const QList<QAction *> all = (*m_fx.window)->actions().menu(u"FavoritesMenu"_s)->actions();
        for (qsizetype i = 3; i < all.size(); ++i)
            out << all.at(i)->text();
        return out;
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void addRenameDeleteLendReachTheFile()
    {
        {
            TestWindow::Window f(data());
            auto *c = f.controller<TreeCommands>();
            f.nav().TreeChange(f.node(u"Rock Disc"_s));
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
            c->TreeEdited(f.node(u"Photos Disc"_s), u"Photos 2024"_s);
            f.nav().TreeChange(f.node(u"Photos 2024"_s));
            AppDialogs::pushInput(u"Alex | Smith"_s);
            f.action(u"BorrowCD1"_s)->trigger();

            f.nav().TreeChange(f.node(u"Music"_s));
            AppDialogs::pushAnswer(QMessageBox::Yes);
            f.action(u"Delete2"_s)->trigger();
            QVERIFY(!QFileInfo::exists(db() + u"1A2B3C4D.dat"_s));
            QVERIFY(!f.captions().contains(u"Music"_s));
            f->close();
        }
        // The lent disc stands above the groups.
        const QStringList lines = treeLines();
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(1).startsWith(u"\tPhotos 2024|PHOTOS|5E6F7081|UDF|4096|"_s));
        QVERIFY(lines.at(1).endsWith(u"|Alex | Smith"_s));
    }

    // The list's menu for a disc entry is the tree's; its command first selects that disc.
    void listEntryMenuActsOnItsNode()
    {
        TestWindow::Window f(data());
        f.nav().TreeChange(f.tree().root());
        QMenu *menu = f->actions().menu(u"TreeMenu"_s);
        QAction *defaultItem = nullptr;
        QTimer::singleShot(0, menu, [&] {
            defaultItem = menu->defaultAction();
            AppDialogs::pushAnswer(QMessageBox::Yes);
            f.action(u"Delete2"_s)->trigger();
            menu->close();
        });
        f.nav().requestNodeMenu(f.node(u"Photos Disc"_s), QPoint(10, 10));
        QCOMPARE(defaultItem, f.action(u"EditDiscEntry1"_s));
        QCOMPARE(AppDialogs::shownTexts().last(), u"Delete disc \"Photos Disc\"?"_s);
        QVERIFY(!f.node(u"Photos Disc"_s));
        QVERIFY(QFileInfo::exists(db() + u"1A2B3C4D.dat"_s));

        // Edit Disc is the bold item only while a double-click on a disc opens it.
        f.ws().preferences().setDiscEditDblClick(false);
        QTimer::singleShot(0, menu, [&] {
            defaultItem = menu->defaultAction();
            menu->close();
        });
        f.nav().requestNodeMenu(f.node(u"Rock Disc"_s), QPoint(10, 10));
        QCOMPARE(defaultItem, nullptr);
        QCOMPARE(f.nav().currentNode(), f.tree().root());
    }

    // A click on a disc whose contents file is gone: once it has left the tree, the highlight,
    // the list, the info panel and the commands are all on its group.
    void clickOnAMissingDiscKeepsEverythingOnOneNode()
    {
        TestWindow::Window f(data());
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
        QCOMPARE(f->infoPanel()->nameText(), u"Music"_s);
        // Del asks about the node that is highlighted; Enter (the scripted default) says No.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(AppDialogs::shownTexts().last(), u"Delete group \"Music\"?"_s);
        QCOMPARE(AppDialogs::shown().last().answer, u"No"_s);
        QVERIFY(f.node(u"Music"_s));
        f->close();
    }

    void dragAndDropMovesSeveralNodes()
    {
        {
            TestWindow::Window f(data());
            QVERIFY(f.show());
            GroupTreeView *view = f->treePanel()->view();
            GroupTreeModel *model = f->treePanel()->model();
            view->expandAll();
            TreeNode *music = f.node(u"Music"_s);
            TreeNode *empty = f.node(u"Empty Group"_s);
            TreeNode *photos = f.node(u"Photos Disc"_s);
            const auto iconPoint = [&](TreeNode *n) {
                const QRect r = view->visualRect(model->indexOf(n));
                return QPoint(r.left() + 8, r.center().y());
            };
            TreeNode *target = nullptr;
            QCOMPARE(view->hitTest(iconPoint(music), &target), TreeMoves::AsLastChild);
            QCOMPARE(view->hitTest(QPoint(view->visualRect(model->indexOf(music)).left() - 4, iconPoint(music).y()),
                                   &target),
                     TreeMoves::BeforeTarget);
            QCOMPARE(view->hitTest(QPoint(view->viewport()->width() - 2, iconPoint(music).y()), &target),
                     TreeMoves::Nowhere);

            // A present disc takes no drop; a group does.
            QVERIFY(!(model->flags(model->indexOf(photos)) & Qt::ItemIsDropEnabled));
            view->dropNodes({music, photos}, iconPoint(empty));
            QCOMPARE(music->parent(), empty);
            QCOMPARE(photos->parent(), empty);
            QCOMPARE(f.nav().currentNode(), f.tree().root());
            f->close();
        }
        QStringList names;
        for (const QString &line : treeLines())
            names << line.section(u'|', 0, 0);
        QCOMPARE(names, (QStringList{u"My Collection"_s, u"\tEmpty Group"_s, u"\t\tMusic"_s, u"\t\t\tRock Disc"_s,
                                     u"\t\tPhotos Disc"_s}));
    }

    // --- The favourites menu: adding and removing the current location, when both may be used,
    // opening a favourite, and favourites of discs that left the catalogue.
    void addedTwiceThenRemovedOnce()
    {
        TestWindow::Window &f = m_fx.open();
        QAction *add = f.action(u"AddLocationtoFavorites1"_s);
        QAction *remove = f.action(u"RemoveFavoriteLocation1"_s);
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        QVERIFY(add->isEnabled() && !remove->isEnabled()); // not a favourite yet
        add->trigger();
        add->trigger();
        QCOMPARE(favouriteCaptions(), (QStringList{u"Rock Disc:\\ROCK\\"_s, u"Rock Disc:\\ROCK\\"_s}));
        // Ctrl+Shift+D in the tree, as in the list.
        QWidget *tree = f->treePanel()->view();
        f->show();
        QVERIFY(QTest::qWaitForWindowActive(&f.form()));
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.ws().favourites().lines(), QStringList{u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s});

        // While a group is listed, neither command and not the tool button.
        f.nav().TreeChange(f.tree().root());
        QVERIFY(!add->isEnabled() && !remove->isEnabled());
        f->findChild<QToolButton *>(u"FavoritesButton"_s)->click();
        QCOMPARE(f.ws().favourites().count(), 1);
    }

    void openingAFavourite()
    {
        TextCodec::writeLines(Favourites::fileName(data()),
                              {u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s, u"1A2B3C4D|Rock Disc:|\\pack.zip\\"_s});
        TestWindow::Window &f = m_fx.open();
        auto *menus = f.controller<FavouritesMenu>();
        menus->items().at(0)->trigger();
        QCOMPARE(f.nav().location().pathLabel, u"\\ROCK\\"_s);
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
        QCOMPARE(f->contentsPanel()->view()->selectedRows(), QList<int>{0});
        // Inside an archive only its entries are listed.
        menus->items().at(1)->trigger();
        QVERIFY(f.nav().location().archiveMode);
        QCOMPARE(f.captions().size(), 2);
    }

    // Which favourites go is the list's own rule; the menu drops them silently at the start and
    // at its next rebuild.
    void favouritesOfADeletedDiscGoAtTheNextRebuild()
    {
        TextCodec::writeLines(Favourites::fileName(data()), {u"DEADBEEF|Lost Disc:|\\"_s, u"5E6F7081|Photos Disc:|\\"_s,
                                                 u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s});
        TestWindow::Window &f = m_fx.open();
        // A disc the catalogue does not know is dropped at the start, without a word.
        QCOMPARE(favouriteCaptions(), (QStringList{u"Photos Disc:\\"_s, u"Rock Disc:\\ROCK\\"_s}));
        QVERIFY(AppDialogs::shown().isEmpty());

        f.tree().removeNode(f.node(u"Photos Disc"_s));
        QCOMPARE(favouriteCaptions().size(), 2); // still there until the menu is rebuilt
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\"_s);
        f.action(u"AddLocationtoFavorites1"_s)->trigger();
        QCOMPARE(favouriteCaptions(), (QStringList{u"Rock Disc:\\ROCK\\"_s, u"Rock Disc:\\"_s}));
    }
};

QTEST_MAIN(TestTreeCommands)
#include "tst_treecommands.moc"
