#include "TestCatalogue.h"
#include "TestWindow.h"
#include "browser/ui/ContentsCommands.h"
#include "browser/ui/ContentsModel.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/ObjectInfoPanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

class TestContentsCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestWindow::Window> m_f;
    ContentsView *view() const { return (*m_f)->contentsPanel()->view(); }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        const QString data = m_dir->path() + u"/data/"_s;
        TestWindow::reset(data);
        TestCatalogue::prepared(data);
        m_f = std::make_unique<TestWindow::Window>(data);
        m_f->nav().TreeChange(m_f->node(u"Rock Disc"_s));
    }
    void cleanup()
    {
        m_f.reset();
        QCOMPARE(AppDialogs::pendingAnswers(), 0);
    }

    void headerTipsAndInfoFollowTheList()
    {
        TestWindow::Window &f = *m_f;
        QCOMPARE(f->findChild<QLabel *>(u"NameLabel"_s)->text(), u"Rock Disc:"_s);
        QCOMPARE(f->findChild<QLabel *>(u"PathLabel"_s)->text(), u"\\"_s);
        QCOMPARE(f->statusText(), u" 2 sub-directories and 3 files in this directory, total size 5.52 KB"_s);
        const int mp3 = f.row(u"A.mp3"_s);
        ContentsModel *model = f->contentsPanel()->model();
        const QString type = f.nav().listing().text(mp3, 1);
        QCOMPARE(model->data(model->index(mp3, 0), Qt::ToolTipRole).toString(),
                 u"Type: "_s + type + u"\nSize: 2.00 KB\nDate: "_s + f.nav().listing().text(mp3, 4));
        QVERIFY(!model->data(model->index(mp3, 0), Qt::DecorationRole).value<QIcon>().isNull());

        view()->selectRow(mp3);
        ObjectInfoPanel *info = f->infoPanel();
        QCOMPARE(info->nameText(), u"A.mp3"_s);
        QCOMPARE(info->lineText(3), u"Title: Song"_s);
        view()->selectionModel()->select(model->index(f.row(u"b.txt"_s), 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(info->nameText(), u"Multiple items selected"_s);
        QCOMPARE(info->lineText(0), u"Count: 2"_s);
        QCOMPARE(info->lineText(1), u"Size: 2.10 KB"_s);

        // Into a folder with Enter: the first entry is selected, the info stays.
        view()->selectRow(f.row(u"ROCK"_s));
        QTest::keyClick(view()->currentView(), Qt::Key_Return);
        QCOMPARE(f.captions(), (QStringList{u".."_s, u"LIVE"_s, u"song.mp3"_s}));
        QCOMPARE(view()->selectedRows(), QList<int>{0});
        QCOMPARE(info->nameText(), u"ROCK"_s);
        QCOMPARE(f->findChild<QLabel *>(u"PathLabel"_s)->text(), u"\\ROCK\\"_s);
        QTest::keyClick(view()->currentView(), Qt::Key_Backspace);
        f.action(u"BackButton"_s)->trigger();
        QVERIFY(f.nav().location().isGroupListed());
        QCOMPARE(f.captions(), QStringList{u"Rock Disc"_s});
        QVERIFY(f.action(u"BackButton"_s)->isEnabled());
        f.action(u"BackButton"_s)->trigger();
        QVERIFY(!f.action(u"BackButton"_s)->isEnabled()); // the root has nothing above it
    }

    void entryMenuRules()
    {
        TestWindow::Window &f = *m_f;
        QMenu *menu = f->actions().menu(u"EntryMenu"_s);
        // Opens the list's menu on the entry and reports what "Execute File" and
        // "Switch to Location" showed.
        const auto menuFor = [&](const QString &caption) {
            view()->selectRow(f.row(caption));
            std::pair<bool, bool> seen{false, false};
            QTimer::singleShot(0, menu, [&] {
                seen = {f.action(u"Execute1"_s)->isVisible(), f.action(u"Switch1"_s)->isVisible()};
                menu->close();
            });
            Q_EMIT view()->contextMenuRequested(QPoint(10, 10));
            return seen;
        };
        QCOMPARE(menuFor(u"b.txt"_s), std::make_pair(true, false));
        QCOMPARE(menuFor(u"pack.zip"_s), std::make_pair(true, true)); // an archive is still a file
        QCOMPARE(menuFor(u"Docs"_s), std::make_pair(false, true));
        f.controller<ContentsCommands>()->ExplorerActivate(f.row(u"pack.zip"_s));
        QCOMPARE(menuFor(u"inner.txt"_s), std::make_pair(false, false)); // inside the archive
    }

    void sortByHeaderAndArrange()
    {
        TestWindow::Window &f = *m_f;
        f.action(u"Details1"_s)->trigger();
        QHeaderView *header = view()->detailsView()->header();
        QCOMPARE(header->sortIndicatorSection(), 1); // by Type at start
        QVERIFY(f.action(u"byType1"_s)->isChecked());
        view()->selectRow(f.row(u"b.txt"_s));
        Q_EMIT header->sectionClicked(3);
        QCOMPARE(f.captions().mid(3), (QStringList{u"b.txt"_s, u"pack.zip"_s, u"A.mp3"_s}));
        QVERIFY(f.action(u"bySize1"_s)->isChecked());
        Q_EMIT header->sectionClicked(3);
        QCOMPARE(f.captions().mid(0, 3), (QStringList{u".."_s, u"ROCK"_s, u"Docs"_s}));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        // The selection stays with its entry.
        QCOMPARE(view()->selectedRows(), QList<int>{f.row(u"b.txt"_s)});
        QCOMPARE(view()->currentRow(), f.row(u"b.txt"_s));
        f.action(u"byName1"_s)->trigger(); // "Arrange Icons" is always ascending
        QCOMPARE(f.captions().mid(3), (QStringList{u"A.mp3"_s, u"b.txt"_s, u"pack.zip"_s}));
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void viewStylesShareOneModelAndSelection()
    {
        TestWindow::Window &f = *m_f;
        ContentsView *v = view();
        QCOMPARE(v->listView()->model(), v->detailsView()->model());
        QCOMPARE(v->listView()->selectionModel(), v->detailsView()->selectionModel());
        QVERIFY(f.action(u"LargeIcons1"_s)->isChecked());
        v->selectRow(2);
        for (int i = 0; i < 4; ++i)
            f.action(u"ViewButton"_s)->trigger();
        QCOMPARE(v->viewStyle(), ContentsView::LargeIcons);
        f.action(u"ViewButton"_s)->trigger();
        QVERIFY(f.action(u"SmallIcons1"_s)->isChecked());
        QCOMPARE(v->viewStyle(), ContentsView::SmallIcons);
        f.action(u"Details1"_s)->trigger();
        QCOMPARE(v->currentView(), v->detailsView());
        QCOMPARE(v->selectedRows(), QList<int>{2});
    }

    void toggleObjectInfo()
    {
        TestWindow::Window &f = *m_f;
        QAction *toggle = f.action(u"ToggleObjectInfo1"_s);
        toggle->trigger();
        Q_EMIT f->infoPanel()->toggleRequested();
        toggle->trigger();
        QVERIFY(f->infoPanel()->isExpanded());
        QVERIFY(toggle->isChecked());
    }
};

QTEST_MAIN(TestContentsCommands)
#include "tst_contentscommands.moc"
