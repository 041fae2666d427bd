#include "TestWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

// Captions that name a node name the one their command acts on, however it became current:
// after "Switch to Location" from a group's search, the search band, the report and the Add
// commands name the hit's disc (and its group), and the next search looks in that disc only.
class TestScopeCaption : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void captionsFollowTheCurrentNode()
    {
        TestWindow::Window &w = m_fx.open();
        auto *edit = w.form().findChild<QComboBox *>(u"SearchEdit"_s);
        auto *label = w.form().findChild<QLabel *>(u"SearchLabel"_s);
        auto *go = w.form().findChild<QPushButton *>(u"DoSearchButton"_s);
        const auto caption = [&w](const QString &action) { return w.action(action)->text().remove(u'&'); };

        w.nav().TreeChange(w.tree().root());
        QCOMPARE(label->text(), u"Search mask (look in group \"My Collection\"):"_s);
        edit->setEditText(u"song"_s);
        go->click();
        QCOMPARE(w.captions(), QStringList{u"song.mp3"_s});
        w.nav().Switch1Click(0);
        QCOMPARE(w.nav().currentNode(), w.node(u"Rock Disc"_s));

        QCOMPARE(label->text(), u"Search mask (look in disc \"Rock Disc\"):"_s);
        QCOMPARE(caption(u"Report1"_s), u"Create Report for disc \"Rock Disc\""_s);
        QCOMPARE(caption(u"AddDisc1"_s), u"Add Disc to \"Music\"..."_s);
        QCOMPARE(caption(u"AddGroup1"_s), u"Add Group to \"Music\"..."_s);
        edit->setEditText(u"pic"_s); // on the other disc only
        go->click();
        QVERIFY(w.captions().isEmpty());
    }
};

QTEST_MAIN(TestScopeCaption)
#include "tst_scopecaption.moc"
