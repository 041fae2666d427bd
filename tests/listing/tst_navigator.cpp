#include "TestCatalogue.h"
#include "core/TextCodec.h"
#include "listing/DiscContents.h"
#include "listing/Navigator.h"
#include "listing/SearchHits.h"
#include "listing/TreeEditor.h"
#include "store/Catalogue.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// Moving through a real catalogue without a window: what is listed, what the status line
// says, where Back goes, and what a damaged catalogue does; and the tree's edits.
class TestNavigator : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Catalogue> m_cat;
    DiscContents m_contents;
    std::unique_ptr<Navigator> m_nav;
    std::unique_ptr<TreeEditor> m_editor;
    QString m_dataFolder;
    QStringList m_problems;

    QString db() const { return m_cat->dbFolder(); }
    TreeNode *node(const QString &name) const { return FindGroup(m_cat->tree().root(), name); }
    QStringList captions() const
    {
        QStringList out;
        for (int r = 0; r < m_nav->listing().count(); ++r)
            out.append(m_nav->listing().caption(r));
        return out;
    }
    int row(const QString &caption) const { return captions().indexOf(caption); }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_nav.reset();
        m_editor.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_dataFolder = m_dir->path() + u"/data/"_s;
        TestCatalogue::prepared(m_dataFolder);
        m_cat = std::make_unique<Catalogue>(m_dataFolder);
        m_cat->load({});
        m_contents.clear();
        m_nav = std::make_unique<Navigator>(m_cat->tree(), m_contents, db());
        m_editor = std::make_unique<TreeEditor>(m_cat->tree(), m_contents, db());
        m_problems.clear();
        connect(m_nav.get(), &Navigator::problem, this, [this](const QString &text) { m_problems << text; });
        m_nav->showRoot();
    }

    void listsGroupsFoldersAndArchives()
    {
        QCOMPARE(m_nav->statusText(), u"3 object(s), total size 9.52 KB"_s);
        m_nav->TreeChange(node(u"Rock Disc"_s));
        QCOMPARE(captions(), (QStringList{u".."_s, u"Docs"_s, u"ROCK"_s, u"pack.zip"_s, u"A.mp3"_s, u"b.txt"_s}));
        QCOMPARE(m_nav->statusText(), u" 2 sub-directories and 3 files in this directory, total size 5.52 KB"_s);
        const int unpacks = m_contents.unpackCount();

        QVERIFY(m_nav->ExplorerActivate(row(u"ROCK"_s)));
        QCOMPARE(captions(), (QStringList{u".."_s, u"LIVE"_s, u"song.mp3"_s}));
        QCOMPARE(m_contents.unpackCount(), unpacks);           // the same disc: from memory
        QVERIFY(!m_nav->ExplorerActivate(row(u"song.mp3"_s))); // a file's action is the caller's

        // Back climbs folder by folder, then out of the disc to its group, and stops at the root.
        m_nav->BackButtonClick();
        m_nav->ExplorerActivate(row(u"pack.zip"_s));
        QVERIFY(m_nav->location().archiveMode);
        QCOMPARE(captions(), (QStringList{u"inner.txt"_s, u"deep.png"_s}));
        QCOMPARE(m_nav->statusText(), u" 2 files in this directory, total size 110.00 Bytes"_s);
        m_nav->BackButtonClick();
        m_nav->BackButtonClick();
        QCOMPARE(m_nav->currentNode()->text(), u"Music"_s);
        m_nav->BackButtonClick();
        m_nav->BackButtonClick(); // nothing above the root
        QCOMPARE(m_nav->currentNode(), m_cat->tree().root());

        // Entries of a group listing select their node.
        m_nav->ExplorerActivate(row(u"Music"_s));
        m_nav->ExplorerActivate(row(u"Rock Disc"_s));
        QCOMPARE(m_nav->location().currentSerial, u"1A2B3C4D"_s);
        m_nav->TreeChange(node(u"Photos Disc"_s));
        QCOMPARE(m_contents.unpackCount(), unpacks + 1);
        QVERIFY(m_problems.isEmpty());
    }

    // A hit's place is carried as it is: a title holding ":" and an entry inside an archive reach
    // the listing of their own folder whole, not the text "Title:\path" taken apart again.
    void switchToAHitsLocation_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("inArchive");
        QTest::newRow("title with :") << u"Rock: Live"_s << QByteArray("\\ROCK\\") << QByteArray();
        QTest::newRow("inside an archive") << u"Rock Disc"_s << QByteArray("\\pack.zip\\") << QByteArray("img\\");
    }
    void switchToAHitsLocation()
    {
        QFETCH(QString, title);
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, inArchive);
        auto hits = std::make_shared<SearchHits>();
        hits->addDisc(title, u"1A2B3C4D"_s);
        hits->add(0, ContentsEntry::File, "x.txt", folder, inArchive.isNull() ? QByteArrayView() : inArchive, 1, "");
        m_nav->showSearchResult(hits, u"1 found"_s);
        m_nav->Switch1Click(0);
        QCOMPARE(m_nav->location().discLabel, title + u':');
        QCOMPARE(m_nav->location().pathLabel, QString::fromLatin1(folder));
        QCOMPARE(m_nav->location().archiveMode, !inArchive.isNull());
        QVERIFY(m_problems.isEmpty());
    }

    void sortsWithFoldersOnTop_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("ascending");
        QTest::newRow("Name") << 0 << QStringList{u"A.mp3"_s, u"b.txt"_s, u"pack.zip"_s};
        QTest::newRow("Size") << 3 << QStringList{u"b.txt"_s, u"pack.zip"_s, u"A.mp3"_s};
        QTest::newRow("Date") << 4 << QStringList{u"pack.zip"_s, u"A.mp3"_s, u"b.txt"_s}; // same day: by name
    }
    void sortsWithFoldersOnTop()
    {
        QFETCH(int, column);
        QFETCH(QStringList, ascending);
        m_nav->TreeChange(node(u"Rock Disc"_s));
        m_nav->ExplorerColumnClick(ExplorerColumn(column));
        QCOMPARE(captions(), QStringList({u".."_s, u"Docs"_s, u"ROCK"_s}) + ascending);
        m_nav->ExplorerColumnClick(ExplorerColumn(column));
        QCOMPARE(captions(),
                 QStringList({u".."_s, u"ROCK"_s, u"Docs"_s}) + QStringList(ascending.rbegin(), ascending.rend()));
        m_nav->arrange(ExplorerColumn(column));
        QCOMPARE(captions().mid(3), ascending);
    }

    void missingContentsFileRemovesTheDisc()
    {
        QVERIFY(QFile::remove(db() + u"1A2B3C4D.dat"_s));
        m_nav->TreeChange(node(u"Rock Disc"_s));
        QCOMPARE(m_problems, QStringList{u"Database is damaged! Some files nedeed for this operation are missing!\r\n"
                                         u"CD labeled 1A2B3C4D will be deleted from database!"_s});
        // It leaves the tree once the event that listed it is over.
        QTRY_VERIFY(!node(u"Rock Disc"_s));
        QCOMPARE(m_nav->currentNode()->text(), u"Music"_s);
        QVERIFY(captions().isEmpty());

        // A contents file that is not a cabinet is reported and kept, with its disc.
        m_problems.clear();
        TextCodec::writeBytes(db() + u"5E6F7081.dat"_s, "not a cabinet");
        m_nav->TreeChange(node(u"Photos Disc"_s));
        QVERIFY(m_problems.size() == 1 &&
                m_problems.first().contains(u"Cabinet file does not have the correct format"_s));
        QVERIFY(node(u"Photos Disc"_s) && QFileInfo::exists(db() + u"5E6F7081.dat"_s));
    }

    void groupNames()
    {
        // Taken anywhere in the tree, by a group or a disc, in any case.
        QCOMPARE(m_editor->groupNameProblem(u"music"_s),
                 u"Group named \"music\" already exists! Please enter different name."_s);
        QVERIFY(!m_editor->groupNameProblem(u"ROCK DISC"_s).isEmpty());
        QVERIFY(m_editor->groupNameProblem(u"Jazz"_s).isEmpty());
        QVERIFY(!m_editor->groupNameProblem(u"a|b"_s).isEmpty()); // would not survive "groups.tree"

        TreeNode *music = node(u"Music"_s);
        QVERIFY(m_editor->rename(music, u"MUSIC"_s).isEmpty()); // its own name in another case
        QCOMPARE(music->text(), u"MUSIC"_s);
        QVERIFY(!m_editor->rename(music, u"Empty Group"_s).isEmpty() && music->text() == u"MUSIC"_s);
        TreeNode *photos = node(u"Photos Disc"_s);
        QVERIFY(m_editor->rename(photos, u"Music"_s).isEmpty()); // a disc's title may repeat a group's
        QCOMPARE(photos->cd()->Title, u"Music"_s);
        // A disc title keeps the same rule as every name in the tree.
        QCOMPARE(m_editor->rename(photos, u"a|b"_s), u"Disc title cannot contain \"|\" character!"_s);
        QCOMPARE(photos->cd()->Title, u"Music"_s);
    }

    void deleteRemovesTheContentsFiles()
    {
        QCOMPARE(TreeEditor::deleteRefusal(m_cat->tree().root()), u"Cannot delete main goup!"_s);
        TreeNode *music = node(u"Music"_s);
        m_contents.load(db(), u"1A2B3C4D"_s);
        m_cat->tree().addDisc(m_cat->tree().addChild(music, u"Sub"_s, KindGroup), *node(u"Photos Disc"_s)->cd());
        QCOMPARE(TreeEditor::discSerials(music), (QStringList{u"1A2B3C4D"_s, u"5E6F7081"_s}));
        QVERIFY(m_editor->deleteNode(music).isEmpty());
        QVERIFY(!node(u"Music"_s));
        QCOMPARE(QDir(db()).entryList({u"*.dat"_s}), QStringList());
        QVERIFY(m_contents.serial().isEmpty()); // the unpacked lists went with their disc
    }

    // A record whose serial names a path (from an imported archive or a hand-edited tree): a
    // contents file where it points is never read, and the user is told which serial; deleting
    // it removes the node and touches no file outside DB.
    void serialThatNamesAPathIsNeverFollowed_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("parent") << u"../victim"_s;
        QTest::newRow("subfolder") << u"a/b"_s;
        QTest::newRow("dot-dot") << u".."_s;
    }
    void serialThatNamesAPathIsNeverFollowed()
    {
        QFETCH(QString, serial);
        const QStringList victims{m_dataFolder + u"victim.dat"_s, db() + u"a/b.dat"_s, m_dataFolder + u"..dat"_s};
        QVERIFY(QDir().mkpath(db() + u"a"_s));
        for (const QString &victim : victims)
            QVERIFY(QFile::copy(db() + u"1A2B3C4D.dat"_s, victim));
        TreeNode *group = m_cat->tree().addChild(m_cat->tree().root(), u"Imported"_s, KindGroup);
        TreeNode *stray = m_cat->tree().addDisc(group, TCD{.Title = u"Stray"_s, .Serial = serial});
        const QStringList told{u"\"%1\" is not a usable disc serial number."_s.arg(serial)};
        const int unpacks = m_contents.unpackCount();
        m_nav->TreeChange(stray);
        QCOMPARE(m_problems, told);
        QCOMPARE(m_contents.unpackCount(), unpacks);
        QVERIFY(node(u"Stray"_s) && !m_nav->location().isDiscListed());
        m_nav->showRoot();
        QCOMPARE(m_editor->deleteNode(group), told);
        QVERIFY(!node(u"Stray"_s));
        for (const QString &victim : victims)
            QVERIFY2(QFileInfo::exists(victim), qPrintable(victim));
    }

    void lendAndGiveBack()
    {
        TreeNode *rock = node(u"Rock Disc"_s);
        m_editor->lend(rock, QString());
        QCOMPARE(rock->kind(), int(KindLent)); // lent even to nobody, for this run
        QCOMPARE(rock->row(), 0);
        TreeNode *photos = node(u"Photos Disc"_s);
        m_editor->lend(photos, u"Alex"_s);
        QCOMPARE(photos->cd()->BorrowedTo, u"Alex"_s);
        QCOMPARE(photos->row(), 0); // above the groups
        m_editor->giveBack(photos);
        QVERIFY(photos->kind() == KindDisc && photos->cd()->BorrowedTo.isEmpty());
        QCOMPARE(photos->row(), m_cat->tree().root()->childCount() - 1);
    }
};

QTEST_MAIN(TestNavigator)
#include "tst_navigator.moc"
