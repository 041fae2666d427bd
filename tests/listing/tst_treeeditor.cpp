#include "TestCatalogue.h"
#include "listing/DiscContents.h"
#include "listing/TreeEditor.h"
#include "store/Catalogue.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestTreeEditor : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Catalogue> m_cat;
    DiscContents m_contents;
    std::unique_ptr<TreeEditor> m_editor;

    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString db() const { return m_cat->dbFolder(); }
    GroupTree &tree() const { return m_cat->tree(); }
    TreeNode *node(const QString &name) const { return FindGroup(tree().root(), name); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        TestCatalogue::prepared(data());
        m_cat = std::make_unique<Catalogue>(data());
        m_cat->load({});
        m_contents.clear();
        m_editor = std::make_unique<TreeEditor>(tree(), m_contents, db());
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
        QCOMPARE(TreeEditor::deleteRefusal(tree().root()), u"Cannot delete main goup!"_s);
        TreeNode *music = node(u"Music"_s);
        m_contents.load(db(), u"1A2B3C4D"_s);
        tree().addDisc(tree().addChild(music, u"Sub"_s, KindGroup), *node(u"Photos Disc"_s)->cd());
        QCOMPARE(TreeEditor::discSerials(music), (QStringList{u"1A2B3C4D"_s, u"5E6F7081"_s}));
        QVERIFY(m_editor->deleteNode(music).isEmpty());
        QVERIFY(!node(u"Music"_s));
        QCOMPARE(QDir(db()).entryList({u"*.dat"_s}), QStringList());
        QVERIFY(m_contents.serial().isEmpty()); // the unpacked lists went with their disc
    }

    // A record whose serial names a path (from an imported archive or a hand-edited tree):
    // deleting it removes the node and touches no file outside DB; the message names it.
    void deleteNeverLeavesTheDatabaseFolder_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("parent") << u"../victim"_s;
        QTest::newRow("subfolder") << u"a/b"_s;
        QTest::newRow("dot-dot") << u".."_s;
    }
    void deleteNeverLeavesTheDatabaseFolder()
    {
        QFETCH(QString, serial);
        const QString victim = data() + u"victim.dat"_s;
        QVERIFY(QFile::copy(db() + u"1A2B3C4D.dat"_s, victim));
        QVERIFY(QDir().mkpath(db() + u"a"_s));
        QVERIFY(QFile::copy(db() + u"1A2B3C4D.dat"_s, db() + u"a/b.dat"_s));
        QVERIFY(QFile::copy(db() + u"1A2B3C4D.dat"_s, data() + u"..dat"_s));
        TCD cd;
        cd.Title = u"Stray"_s;
        cd.Serial = serial;
        TreeNode *group = tree().addChild(tree().root(), u"Imported"_s, KindGroup);
        tree().addDisc(group, cd);
        const QStringList failures = m_editor->deleteNode(group);
        QCOMPARE(failures, QStringList{u"\"%1\" is not a usable disc serial number."_s.arg(serial)});
        QVERIFY(!node(u"Stray"_s));
        QVERIFY(QFileInfo::exists(victim));
        QVERIFY(QFileInfo::exists(db() + u"a/b.dat"_s));
        QVERIFY(QFileInfo::exists(data() + u"..dat"_s));
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
        QCOMPARE(photos->row(), tree().root()->childCount() - 1);
    }
};

QTEST_MAIN(TestTreeEditor)
#include "tst_treeeditor.moc"
