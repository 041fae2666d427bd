// The tree's open groups kept from one run to the next with "Restore expanded groups on startup".
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
        return f->treePanel()->view()->isExpanded(f->treePanel()->model()->indexOf(node));
    }
    static void setOpen(TestWindow::Window &f, TreeNode *node, bool open)
    {
        f->treePanel()->view()->setExpanded(f->treePanel()->model()->indexOf(node), open);
    }
    QVariant stored(const QString &key = u"AutoExpandGroups"_s, const QVariant &value = {}) const
    {
        QSettings settings(DataPaths::settingsFile(m_data), QSettings::IniFormat);
        if (value.isValid())
            settings.setValue(key, value);
        return settings.value(key);
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
            setOpen(f, f.node(u"Music"_s), true);
            setOpen(f, f.node(u"Music"_s)->child(0), true); // Music / Live
            f->close();
        }
        QCOMPARE(stored(), u"|My Collection|Music|Live|"_s);
        {
            TestWindow::Window f(m_data);
            TreeNode *music = f.node(u"Music"_s);
            // Both groups named Live open: the text names them, not their places.
            QVERIFY(isOpen(f, music) && isOpen(f, music->child(0)) && isOpen(f, f.tree().root()->child(0)));
            setOpen(f, music, false);
            f->close();
        }
        QCOMPARE(stored(), u"|My Collection|Live|Live|"_s); // tree order: the top Live sorts first
    }

    void namesMatchWithoutCaseAndOnlyWhenAsked()
    {
        stored(u"AutoExpandGroups"_s, u"|my collection|MUSIC|"_s);
        {
            TestWindow::Window f(m_data);
            QVERIFY(isOpen(f, f.node(u"Music"_s)) && !isOpen(f, f.tree().root()->child(0)));
        }
        stored(u"AutoExpand"_s, 0);
        TestWindow::Window f(m_data);
        QVERIFY(!isOpen(f, f.node(u"Music"_s)));
    }
};

QTEST_MAIN(TestExpandedGroups)
#include "tst_expandedgroups.moc"
