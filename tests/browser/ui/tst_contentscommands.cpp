#include "ScanFixture.h"
#include "TestWindow.h"
#include "acquire/FolderVolumeBackend.h"
#include "browser/ui/ContentsCommands.h"
#include "browser/ui/ContentsModel.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/ObjectInfoPanel.h"
#include "listing/SearchHits.h"
#include "settings/Preferences.h"

#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

// Stands in for the desktop: records what it was asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

namespace
{

// The menu a right-click shows for the selection, with the items it showed and its default.
struct MenuSeen {
    QString menu;
    QStringList visible;
    QString defaultItem;
};

} // namespace

class TestContentsCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;
    ContentsView *view() const { return (*m_f)->contentsPanel()->view(); }

    MenuSeen rightClick(const QStringList &captions)
    {
        view()->selectionModel()->clearSelection();
        for (const QString &c : captions)
            view()->selectionModel()->select(view()->selectionModel()->model()->index(m_f->row(c), 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        MenuSeen seen;
        QTimer::singleShot(0, this, [&seen] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            seen.menu = menu->objectName();
            for (QAction *a : menu->actions())
                if (a->isVisible() && !a->isSeparator() && !a->objectName().isEmpty())
                    seen.visible << a->objectName();
            if (menu->defaultAction())
                seen.defaultItem = menu->defaultAction()->objectName();
            menu->close();
        });
        Q_EMIT view()->contextMenuRequested(QPoint(10, 10));
        return seen;
    }

    // Rock Disc's hits as the search shows them: a file of \ROCK\ and an entry of the archive.
    void showSearchResult()
    {
        auto hits = std::make_shared<SearchHits>();
        const int disc = hits->addDisc(u"Rock Disc"_s, u"1A2B3C4D"_s);
        hits->add(disc, ContentsEntry::File, "song.mp3", "\\ROCK\\", {}, 2000, "");
        hits->add(disc, ContentsEntry::File, "inner.txt", "\\pack.zip\\", "", 50, "");
        m_f->nav().showSearchResult(hits, u"3 found"_s);
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        m_fx.init();
        m_fx.open();
        m_f->nav().TreeChange(m_f->node(u"Rock Disc"_s));
    }
    void cleanup() { m_fx.cleanup(); }

    void tipsAndInfoFollowTheList()
    {
        TestWindow::Window &f = *m_f;
        const int mp3 = f.row(u"A.mp3"_s);
        ContentsModel *model = f->contentsPanel()->model();
        QCOMPARE(model->data(model->index(mp3, 0), Qt::ToolTipRole).toString(),
                 u"Type: "_s + f.nav().listing().text(mp3, 1) + u"\nSize: 2.00 KB\nDate: "_s +
                     f.nav().listing().text(mp3, 4));
        // Into a folder with Enter: the first entry is selected, the info stays; Backspace goes back.
        view()->selectRow(f.row(u"ROCK"_s));
        QTest::keyClick(view()->currentView(), Qt::Key_Return);
        QCOMPARE(view()->selectedRows(), QList<int>{0});
        QCOMPARE(f->infoPanel()->nameText(), u"ROCK"_s);
        QTest::keyClick(view()->currentView(), Qt::Key_Backspace);
        QCOMPARE(f->findChild<QLabel *>(u"PathLabel"_s)->text(), u"\\"_s);
    }

    void sortByHeader()
    {
        TestWindow::Window &f = *m_f;
        ContentsView *v = view();
        f.action(u"Details1"_s)->trigger();
        QHeaderView *header = v->detailsView()->header();
        v->selectRow(f.row(u"b.txt"_s));
        Q_EMIT header->sectionClicked(3);
        QVERIFY(f.action(u"bySize1"_s)->isChecked());
        Q_EMIT header->sectionClicked(3);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        // The selection stays with its entry.
        QCOMPARE(v->selectedRows(), QList<int>{f.row(u"b.txt"_s)});
        f.action(u"byName1"_s)->trigger(); // "Arrange Icons" is always ascending
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void contextMenus()
    {
        TestWindow::Window &f = *m_f;
        f.ws().preferences().setAction(0); // "Execute File" on double-click
        MenuSeen m = rightClick({u"Docs"_s});
        QCOMPARE(m.visible, (QStringList{u"OpeninExplorer1"_s, u"Switch1"_s, u"ViewProperties1"_s, u"CopytoHDD2"_s,
                                         u"AddtoCompilation1"_s}));
        QCOMPARE(m.defaultItem, u"Switch1"_s);
        QCOMPARE(rightClick({u"b.txt"_s}).defaultItem, u"Execute1"_s); // the double-click action
        // ".." is never part of what a menu acts on.
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        rightClick({u"song.mp3"_s, u".."_s, u"LIVE"_s});
        QCOMPARE(view()->selectedRows().size(), 2);
        QCOMPARE(rightClick({u".."_s}).menu, QString());

        // Inside an archive: nothing can be run, copied, compiled or explored.
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, true, u"\\pack.zip\\"_s);
        QCOMPARE(rightClick({u"inner.txt"_s}).visible, QStringList{u"ViewProperties1"_s});

        // A search result: Switch to Location for every entry.
        showSearchResult();
        QCOMPARE(rightClick({u"song.mp3"_s}).visible,
                 (QStringList{u"Execute1"_s, u"OpeninExplorer1"_s, u"Switch1"_s, u"ViewProperties1"_s, u"CopytoHDD2"_s,
                              u"AddtoCompilation1"_s}));
        QCOMPARE(rightClick({u"inner.txt"_s}).visible, (QStringList{u"Switch1"_s, u"ViewProperties1"_s}));

        // A group entry gets the tree's menu for groups, a disc entry the one for discs.
        f.nav().TreeChange(f.tree().root());
        m = rightClick({u"Music"_s});
        QVERIFY(m.menu == u"TreeMenu"_s && m.visible.contains(u"AddSubGroup1"_s) &&
                !m.visible.contains(u"EditDiscEntry1"_s));
        QVERIFY(rightClick({u"Photos Disc"_s}).visible.contains(u"EditDiscEntry1"_s));
    }

    void switchToLocationFromASearchResult()
    {
        TestWindow::Window &f = *m_f;
        f.nav().TreeChange(f.node(u"Photos Disc"_s));
        showSearchResult();
        view()->selectRow(f.row(u"song.mp3"_s));
        f.action(u"Switch1"_s)->trigger();
        // The folder that holds the file, on its own disc, which the tree selects.
        QCOMPARE(f.nav().location().pathLabel, u"\\ROCK\\"_s);
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
    }

    void executeAndExploreOnTheDisc()
    {
        TestWindow::Window &f = *m_f;
        QTemporaryDir disc;
        QVERIFY(ScanFixture::writeFile(disc.path() + u"/ROCK/song.mp3"_s, "ID3"));
        QDir().mkpath(disc.path() + u"/ROCK/LIVE"_s);
        FolderVolumeBackend backend;
        const QString root = backend.addVolume(ScanFixture::volume(disc.path(), 0x1A2B3C4D));
        f.controller<ContentsCommands>()->setVolumeBackend(&backend);
        UrlRecorder desktop;
        QDesktopServices::setUrlHandler(u"file"_s, &desktop, "open");
        const auto cleanupHandler = qScopeGuard([] { QDesktopServices::unsetUrlHandler(u"file"_s); });

        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        view()->selectRow(f.row(u"song.mp3"_s));
        f.action(u"Execute1"_s)->trigger();
        f.action(u"OpeninExplorer1"_s)->trigger(); // a file: the folder that holds it
        view()->selectRow(f.row(u"LIVE"_s));
        f.action(u"OpeninExplorer1"_s)->trigger(); // a folder: the folder itself
        QCOMPARE(desktop.opened,
                 (QList<QUrl>{QUrl::fromLocalFile(root + u"ROCK/song.mp3"_s), QUrl::fromLocalFile(root + u"ROCK/"_s),
                              QUrl::fromLocalFile(root + u"ROCK/LIVE/"_s)}));
        QVERIFY(AppDialogs::shown().isEmpty());

        // The catalogue knows a file the disc no longer has.
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\"_s);
        view()->selectRow(f.row(u"b.txt"_s));
        f.action(u"Execute1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts(), QStringList{u"Error executing file!"_s});
        QCOMPARE(desktop.opened.size(), 3);
        f.controller<ContentsCommands>()->setVolumeBackend(nullptr);
    }

    void listKeys()
    {
        TestWindow::Window &f = *m_f;
        QWidget *list = view()->currentView();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(f.ws().favourites().count(), 1);
        QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.ws().favourites().count(), 0);

        // Ctrl+1 adds to the compilation only what could be added from the menu: nothing from
        // inside an archive.
        QSignalSpy compiled(f.action(u"AddtoCompilation1"_s), &QAction::triggered);
        view()->selectRow(f.row(u"b.txt"_s));
        QTest::keyClick(list, Qt::Key_1, Qt::ControlModifier);
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, true, u"\\pack.zip\\"_s);
        view()->selectRow(0);
        QTest::keyClick(list, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(compiled.count(), 1);
    }
};

QTEST_MAIN(TestContentsCommands)
#include "tst_contentscommands.moc"
