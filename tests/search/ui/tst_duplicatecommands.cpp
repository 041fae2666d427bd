// "Find Duplicates" and "Files Only on This Disc" from the tree's menu of the real main window,
// on a real catalogue: the answer listed as search results, its counts in the status bar, and
// "Switch to Location" on a copy. What counts as a copy is the finder's own test.

#include "TestWindow.h"
#include "listing/ContentsListing.h"
#include "search/NameIndex.h"
#include "store/ContentsFile.h"

#include <QHeaderView>
#include <QMenu>
#include <QTreeView>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

class TestDuplicateCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;

    void addCopies()
    {
        // Three more copies of live.mp3 (the group wasting the most), one of b.txt (the least).
        TestCatalogue::packDisc(m_fx.db(), u"0BAC0001"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"SONG.MP3"_s, u"\\OLD\\"_s, 2000, TestCatalogue::date(2024, 3, 2));
            for (const QString &folder : {u"\\X\\"_s, u"\\Y\\"_s, u"\\Z\\"_s})
                files.writeFileRecord(u"Live.mp3"_s, folder, 1000, TestCatalogue::date(2024, 3, 1));
            files.writeFileRecord(u"B.TXT"_s, u"\\"_s, 100, TestCatalogue::date(2024, 2, 1, 9));
        });
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        m_fx.init();
        m_fx.open();
        // A backup of files of "Rock Disc" (song.mp3, and A.mp3 under another date), in a group.
        TreeNode *group = m_f->tree().addChild(m_f->tree().root(), u"Backups"_s, KindGroup);
        m_f->tree().addDisc(group, {.Title = u"Backup"_s, .Serial = u"0BAC0001"_s});
        TestCatalogue::packDisc(m_fx.db(), u"0BAC0001"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"SONG.MP3"_s, u"\\OLD\\"_s, 2000, TestCatalogue::date(2024, 3, 2));
            files.writeFileRecord(u"A.mp3"_s, u"\\"_s, 2048, TestCatalogue::date(2020, 1, 1));
        });
    }
    void cleanup() { m_fx.cleanup(); }

    void answersListedAsSearchResults()
    {
        // From the list's entry of a group, as from the tree: the menu names a group's discs.
        m_f->nav().TreeChange(m_f->tree().root());
        QMenu *menu = m_f->form().actions().menu(u"TreeMenu"_s);
        QTimer::singleShot(0, menu, &QMenu::close);
        m_f->nav().requestNodeMenu(m_f->node(u"Backups"_s), {});
        // The caption stays as the menu names it, for a group's discs too.
        QCOMPARE(m_f->action(u"FilesOnlyonThisDisc1"_s)->text(), u"Files O&nly on This Disc"_s);

        m_f->nav().TreeChange(m_f->tree().root());
        m_f->action(u"FindDuplicates1"_s)->trigger();
        QCOMPARE(m_f->captions(), (QStringList{u"SONG.MP3"_s, u"song.mp3"_s}));
        QCOMPARE(m_f->form().statusText(), u" 1 group of duplicates, 2 files, 1.95 KB in copies beyond the first"_s);
        QCOMPARE(m_f->nav().location().discLabel, u"Duplicates in \"My Collection\"..."_s);
        // The comparison made the discs' names into the window's index: the next search reads them.
        const QString contents = ContentsFile::contentsFileName(m_fx.db(), u"0BAC0001"_s);
        QVERIFY(m_f->ws().nameIndex()->find(u"0BAC0001"_s, DiscNames::Stamp::of(contents)));
        m_f->nav().Switch1Click(m_f->row(u"SONG.MP3"_s));
        QCOMPARE(m_f->nav().location().discLabel, u"Backup:"_s);
        QCOMPARE(m_f->nav().location().pathLabel, u"\\OLD\\"_s);

        m_f->nav().TreeChange(m_f->node(u"Backup"_s));
        m_f->action(u"FilesOnlyonThisDisc1"_s)->trigger();
        QCOMPARE(m_f->captions(), QStringList{u"A.mp3"_s});
        QCOMPARE(m_f->form().statusText(), u" 1 file on no other disc, total size 2.00 KB"_s);
        QCOMPARE(m_f->nav().location().discLabel, u"Files on no other disc in \"Backup\"..."_s);
        QVERIFY(AppDialogs::shown().isEmpty());
    }

    void copiesListedGroupByGroup()
    {
        addCopies();
        m_f->nav().TreeChange(m_f->tree().root());
        m_f->action(u"FindDuplicates1"_s)->trigger();
        // As the finder answers, not by the list's sort (Type), which would mix the groups.
        QCOMPARE(m_f->captions(), (QStringList{u"Live.mp3"_s, u"Live.mp3"_s, u"Live.mp3"_s, u"live.mp3"_s,
                                               u"SONG.MP3"_s, u"song.mp3"_s, u"B.TXT"_s, u"b.txt"_s}));
        const QHeaderView *header = m_f->form().findChild<QTreeView *>()->header();
        QCOMPARE(header->sortIndicatorSection(), -1);
        QVERIFY(!m_f->action(u"byType1"_s)->isChecked());
        // Every other group shaded, on every column.
        const QAbstractItemModel *model = header->model();
        const auto shaded = [model] {
            QString rows;
            for (int r = 0; r < model->rowCount(); ++r)
                rows += model->index(r, 4).data(Qt::BackgroundRole).isValid() ? u'#' : u'.';
            return rows;
        };
        QCOMPARE(shaded(), u"....##.."_s);
        QCOMPARE(m_f->nav().location().sortKey, ExplorerColumn::Type);

        // A column chosen sorts by it, ascending, even the column sorted by before.
        m_f->nav().ExplorerColumnClick(ExplorerColumn::Type);
        QVERIFY(!m_f->nav().location().answerOrder);
        QVERIFY(m_f->nav().location().ascending);
        QCOMPARE(header->sortIndicatorSection(), static_cast<int>(ExplorerColumn::Type));
        QVERIFY(m_f->action(u"byType1"_s)->isChecked());
        QCOMPARE(shaded(), u"........"_s);
        m_f->nav().ExplorerColumnClick(ExplorerColumn::Name);
        QCOMPARE(m_f->captions(), (QStringList{u"B.TXT"_s, u"b.txt"_s, u"Live.mp3"_s, u"Live.mp3"_s, u"Live.mp3"_s,
                                               u"live.mp3"_s, u"SONG.MP3"_s, u"song.mp3"_s}));

        // A disc listed afterwards follows the sort state again.
        m_f->nav().TreeChange(m_f->node(u"Backup"_s));
        QCOMPARE(header->sortIndicatorSection(), static_cast<int>(ExplorerColumn::Name));
    }
};

QTEST_MAIN(TestDuplicateCommands)
#include "tst_duplicatecommands.moc"
