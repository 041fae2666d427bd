// The tree's open groups kept from one run to the next with "Restore expanded groups on startup".
#include "TestCatalogue.h"
#include "TestWindow.h"
#include "browser/ui/ExpandedGroups.h"
#include "browser/ui/GroupTreeModel.h"
#include "browser/ui/GroupTreeView.h"
#include "browser/ui/TreePanel.h"
#include "settings/Preferences.h"

#include <QSettings>

using namespace Qt::StringLiterals;

class TestExpandedGroups : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    const QString &m_data = m_fx.dataFolder;

    static bool isOpen(TestWindow::Window &f, TreeNode *node)
    {
        GroupTreeView *view = f->treePanel()->view();
        return view->isExpanded(view->treeModel()->indexOf(node));
    }
    static void setOpen(TestWindow::Window &f, TreeNode *node, bool open)
    {
        GroupTreeView *view = f->treePanel()->view();
        view->setExpanded(view->treeModel()->indexOf(node), open);
    }
    // The Live group straight under the root, beside Music.
    static TreeNode *topLive(TestWindow::Window &f)
    {
        TreeNode *root = f.tree().root();
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text() == u"Live"_s)
                return root->child(i);
        return nullptr;
    }
    QString stored() const
    {
        return QSettings(DataPaths::settingsFile(m_data), QSettings::IniFormat).value(u"AutoExpandGroups"_s).toString();
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        // My Collection / Music / Live / Rock Disc, My Collection / Live, My Collection / Photos Disc.
        m_fx.init();
        const QString d = TestCatalogue::date(2024, 6, 1);
        TextCodec::writeLines(DataPaths::dbFolder(m_data) + u"groups.tree"_s,
                              {u"My Collection"_s, u"\tMusic"_s, u"\t\tLive"_s,
                               u"\t\t\tRock Disc|ROCK|1A2B3C4D|CDFS|5648|Loud~!music|Rock|1|"_s + d + u"|"_s,
                               u"\tLive"_s, u"\t\tPhotos Disc|PHOTOS|5E6F7081|UDF|4096|||2|"_s + d + u"|"_s});
    }

    void openGroupsComeBackAtTheNextStart()
    {
        {
            TestWindow::Window f(m_data);
            TreeNode *music = f.node(u"Music"_s);
            setOpen(f, music, true);
            setOpen(f, music->child(0), true); // Music / Live
            f->close();
        }
        QCOMPARE(stored(), u"|My Collection|Music|Live|"_s);
        {
            TestWindow::Window f(m_data);
            TreeNode *music = f.node(u"Music"_s);
            QVERIFY(isOpen(f, music));
            // Both groups named Live open: the text names them, not their places.
            QVERIFY(isOpen(f, music->child(0)));
            QVERIFY(isOpen(f, topLive(f)));
            setOpen(f, music, false);
            f->close();
        }
        QCOMPARE(stored(), u"|My Collection|Live|Live|"_s); // tree order: the top Live sorts first
    }

    void namesMatchWithoutCaseAndOnlyWhenAsked()
    {
        {
            QSettings settings(DataPaths::settingsFile(m_data), QSettings::IniFormat);
            settings.setValue(u"AutoExpandGroups"_s, u"|my collection|MUSIC|"_s);
        }
        {
            TestWindow::Window f(m_data);
            QVERIFY(isOpen(f, f.node(u"Music"_s)));
            QVERIFY(!isOpen(f, topLive(f)));
        }
        {
            QSettings settings(DataPaths::settingsFile(m_data), QSettings::IniFormat);
            settings.setValue(u"AutoExpandGroups"_s, u"|My Collection|Music|"_s);
            settings.setValue(u"AutoExpand"_s, 0);
        }
        TestWindow::Window f(m_data);
        QVERIFY(!isOpen(f, f.node(u"Music"_s)));
    }
};

QTEST_MAIN(TestExpandedGroups)
#include "tst_expandedgroups.moc"
