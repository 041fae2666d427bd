// "Find Duplicates" and "Files Only on This Disc" from the tree's menu of the real main window,
// on a real catalogue: the answer listed as search results, its counts in the status bar, and
// "Switch to Location" on a copy. What counts as a copy is the finder's own test.

#include "TestWindow.h"
#include "listing/ContentsListing.h"
#include "search/NameIndex.h"
#include "store/ContentsFile.h"

#include <QMenu>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

class TestDuplicateCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        m_fx.init();
        m_fx.open();
        // A backup of two files of "Rock Disc" (song.mp3, and A.mp3 under another date), in a group.
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
        QVERIFY(AppDialogs::shown().isEmpty());
    }
};

QTEST_MAIN(TestDuplicateCommands)
#include "tst_duplicatecommands.moc"
