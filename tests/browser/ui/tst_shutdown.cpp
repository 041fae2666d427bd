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
#include <QSettings>

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
        const QSettings stored(settingsFile(), QSettings::IniFormat);
        QCOMPARE(stored.value(u"Left"_s).toInt(), 70);
        QCOMPARE(stored.value(u"Top"_s).toInt(), 80);
        QCOMPARE(stored.value(u"Width"_s).toInt(), 720);
        QCOMPARE(stored.value(u"ObjectInfo"_s).toInt(), 1);
        QCOMPARE(TextCodec::readLines(Favourites::fileName(m_data)), QStringList{u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s});
        QVERIFY(TextCodec::readLines(treeFile()).contains(u"\tRenamed"_s));

        // The next run starts where this one ended.
        TestWindow::Window next(m_data);
        QCOMPARE(next->pos(), QPoint(70, 80));
        QVERIFY(next->infoPanel()->isExpanded());
        QVERIFY(next.action(u"ToggleObjectInfo1"_s)->isChecked());
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
        QCOMPARE(texts.size(), 4);
        QVERIFY2(texts.at(0).contains(u"preferences"_s), qPrintable(texts.at(0)));
        QVERIFY2(texts.at(1).contains(u"search.dat"_s), qPrintable(texts.at(1)));
        QVERIFY2(texts.at(2).contains(u"favorites.dat"_s), qPrintable(texts.at(2)));
        QVERIFY2(texts.at(3).contains(u"groups.tree"_s), qPrintable(texts.at(3)));
    }
};

QTEST_MAIN(TestShutdown)
#include "tst_shutdown.moc"
