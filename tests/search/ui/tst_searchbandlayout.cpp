#include "TestWindow.h"
#include "search/ui/SearchPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QLayout>

using namespace Qt::Literals::StringLiterals;

// The search band at the window's minimum size, scoped to a group with a long name: every
// control lies inside the band at no less than its smallest usable width, and the mask box
// holds a mask of fifteen characters.
class TestSearchBandLayout : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void everyControlUsableAtTheMinimumSize()
    {
        TestWindow::Window &w = m_fx.open();
        TreeNode *group = w.tree().addChild(w.tree().root(), u"A group with a rather long name indeed"_s, KindGroup);
        QVERIFY(w.show());
        w.form().resize(w.form().minimumSize());
        w.action(u"Search1"_s)->trigger();
        w.nav().TreeChange(group);
        auto *band = w.form().findChild<SearchPanel *>();
        QVERIFY(band->isVisible());
        QTRY_COMPARE(w.form().size(), QSize(640, 480));
        band->layout()->activate();

        auto *edit = band->findChild<QComboBox *>(u"SearchEdit"_s);
        QVERIFY(edit->width() >= edit->fontMetrics().horizontalAdvance(u"x"_s.repeated(15)));
        for (QWidget *c : band->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!c->isVisible())
                continue;
            QVERIFY2(band->rect().contains(c->geometry()), qPrintable(c->objectName()));
            QVERIFY2(c->width() >= c->minimumSizeHint().width(), qPrintable(c->objectName()));
        }
        // The caption keeps its whole text, shown shortened where the band has no room for it.
        QCOMPARE(band->findChild<QLabel *>(u"SearchLabel"_s)->text(),
                 u"Search mask (look in group \"A group with a rather long name indeed\"):"_s);
    }
};

QTEST_MAIN(TestSearchBandLayout)
#include "tst_searchbandlayout.moc"
