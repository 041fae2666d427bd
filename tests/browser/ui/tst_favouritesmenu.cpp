// The favourites menu of the main window: adding and removing the current location, when
// both may be used, opening a favourite, and favourites of discs that left the catalogue.
#include "TestWindow.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/FavouritesMenu.h"
#include "browser/ui/GroupTreeView.h"
#include "browser/ui/TreePanel.h"
#include "store/Favourites.h"

#include <QMenu>
#include <QToolButton>

using namespace Qt::StringLiterals;

class TestFavouritesMenu : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;
    const QString &m_data = m_fx.dataFolder;

    QString favouritesFile() const { return Favourites::fileName(m_data); }
    QStringList itemCaptions() const
    {
        QStringList out;
        const QList<QAction *> all = (*m_f)->actions().menu(u"FavoritesMenu"_s)->actions();
        for (qsizetype i = 3; i < all.size(); ++i)
            out << all.at(i)->text();
        return out;
    }
    void open() { m_fx.open(); }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void addedTwiceThenRemovedOnce()
    {
        open();
        TestWindow::Window &f = *m_f;
        QAction *add = f.action(u"AddLocationtoFavorites1"_s);
        QAction *remove = f.action(u"RemoveFavoriteLocation1"_s);
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        QVERIFY(add->isEnabled() && !remove->isEnabled()); // not a favourite yet
        add->trigger();
        add->trigger();
        QCOMPARE(itemCaptions(), (QStringList{u"Rock Disc:\\ROCK\\"_s, u"Rock Disc:\\ROCK\\"_s}));
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
        TextCodec::writeLines(favouritesFile(),
                              {u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s, u"1A2B3C4D|Rock Disc:|\\pack.zip\\"_s});
        open();
        TestWindow::Window &f = *m_f;
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
        TextCodec::writeLines(favouritesFile(), {u"DEADBEEF|Lost Disc:|\\"_s, u"5E6F7081|Photos Disc:|\\"_s,
                                                 u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s});
        open();
        TestWindow::Window &f = *m_f;
        // A disc the catalogue does not know is dropped at the start, without a word.
        QCOMPARE(itemCaptions(), (QStringList{u"Photos Disc:\\"_s, u"Rock Disc:\\ROCK\\"_s}));
        QVERIFY(AppDialogs::shown().isEmpty());

        f.tree().removeNode(f.node(u"Photos Disc"_s));
        QCOMPARE(itemCaptions().size(), 2); // still there until the menu is rebuilt
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\"_s);
        f.action(u"AddLocationtoFavorites1"_s)->trigger();
        QCOMPARE(itemCaptions(), (QStringList{u"Rock Disc:\\ROCK\\"_s, u"Rock Disc:\\"_s}));
    }
};

QTEST_MAIN(TestFavouritesMenu)
#include "tst_favouritesmenu.moc"
