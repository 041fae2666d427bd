// Closing the main window: everything the run changed is written (position, preferences,
// search history, favourites, tree), each save goes on when one before it fails, and they come
// in that order.
#include "TestWindow.h"
#include "browser/ui/ObjectInfoPanel.h"
#include "settings/Preferences.h"
#include "store/Favourites.h"
#include "store/TreeFile.h"

#include <QApplication>
#include <QDir>

using namespace Qt::StringLiterals;

class TestShutdown : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    const QString &m_data = m_fx.dataFolder;

    QString settingsFile() const { return DataPaths::settingsFile(m_data); }
    QString treeFile() const { return DataPaths::dbFolder(m_data) + u"groups.tree"_s; }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void everySaveHappensAtClose()
    {
        {
            TestWindow::Window f(m_data);
            f->move(70, 80);
            f->resize(720, 520);
            f.action(u"ToggleObjectInfo1"_s)->trigger();
            f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
            f.action(u"AddLocationtoFavorites1"_s)->trigger();
            f.tree().setText(f.node(u"Empty Group"_s), u"Renamed"_s);
            f->close();
            QVERIFY2(AppDialogs::shown().isEmpty(), qPrintable(AppDialogs::shownTexts().join(u"|"_s)));
        }
        QCOMPARE(TextCodec::readLines(Favourites::fileName(m_data)), QStringList{u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s});
        QVERIFY(TextCodec::readLines(treeFile()).contains(u"\tRenamed"_s));

        // The next run starts where this one ended.
        TestWindow::Window next(m_data);
        QCOMPARE(next->pos(), QPoint(70, 80));
        QCOMPARE(next->width(), 720);
        QVERIFY(next->infoPanel()->isExpanded());
        QCOMPARE(next.ws().favourites().count(), 1);
    }

    void theSavesComeInOrderAndEachOneGoesOn()
    {
        TestWindow::Window f(m_data);
        f.tree().setText(f.node(u"Empty Group"_s), u"Renamed"_s);
        // Every file the end of the run writes is in the way: each save reports its own failure, in
        // the order the saves run, and the next one is still tried.
        QFile::remove(treeFile());
        QVERIFY(settingsFile().startsWith(QDir::homePath() + u'/')); // this test's own home
        for (const QString &path : {settingsFile(), m_data + u"search.dat"_s, Favourites::fileName(m_data), treeFile()})
            QVERIFY(QDir().mkpath(path + u"/in the way"_s));
        f->close();
        const QStringList texts = AppDialogs::shownTexts();
        const QStringList names{u"preferences"_s, u"search.dat"_s, u"favorites.dat"_s, u"groups.tree"_s};
        QCOMPARE(texts.size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QVERIFY2(texts.at(i).contains(names.at(i)), qPrintable(texts.at(i)));
    }
};

QTEST_MAIN(TestShutdown)
#include "tst_shutdown.moc"
