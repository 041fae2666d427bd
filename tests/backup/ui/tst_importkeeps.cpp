#include "TestWindow.h"
#include "store/Favourites.h"

#include <QDir>
#include <QMenu>

using namespace Qt::Literals::StringLiterals;

// Favourites and the search history live beside DB, not in it: an import keeps this run's,
// pruned of discs the imported catalogue does not hold, as at start-up.
class TestImportKeeps : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void importKeepsFavouritesAndHistory_data()
    {
        QTest::addColumn<bool>("saveFails");
        QTest::newRow("saved before the import") << false;
        QTest::newRow("their save failing") << true;
    }
    void importKeepsFavouritesAndHistory()
    {
        QFETCH(bool, saveFails);
        TestWindow::Window &w = m_fx.open();
        // A folder where the file goes: every save of the favourites fails until it is gone.
        const QString favourites = Favourites::fileName(m_fx.data());
        QVERIFY(!saveFails || QDir().mkdir(favourites));
        const QString archive = m_fx.path(u"backup"_s);
        AppDialogs::pushFileName(archive);
        w.action(u"ExportAllData1"_s)->trigger();

        w.nav().TreeChange(w.node(u"Rock Disc"_s));
        w.action(u"AddLocationtoFavorites1"_s)->trigger();
        const QStringList kept = w.ws().favourites().lines();
        QCOMPARE(kept.size(), 1);
        w.ws().addFavourite({u"0BADF00D"_s, u"Not In The Archive:"_s, u"\\"_s});
        w.ws().setSearchHistory({u"*.mp3"_s, u"song"_s});

        AppDialogs::pushFileName(archive + u".cab"_s);
        AppDialogs::pushAnswer(QMessageBox::Yes);
        w.action(u"ImportDatabase1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts().last(), u"Import Database complete."_s);

        QCOMPARE(w.ws().favourites().lines(), kept);
        QCOMPARE(w.ws().searchHistory(), (QStringList{u"*.mp3"_s, u"song"_s}));
        QMenu *menu = w.form().actions().menu(u"FavoritesMenu"_s);
        QVERIFY(std::any_of(menu->actions().cbegin(), menu->actions().cend(),
                            [](const QAction *a) { return a->text().startsWith(u"Rock Disc"_s); }));

        QVERIFY(!saveFails || QDir().rmdir(favourites));
        QVERIFY(w.form().close()); // and the next run finds them
        Favourites stored;
        stored.load(favourites);
        QCOMPARE(stored.lines(), kept);
    }
};

QTEST_MAIN(TestImportKeeps)
#include "tst_importkeeps.moc"
