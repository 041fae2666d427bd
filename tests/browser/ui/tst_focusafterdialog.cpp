// A dialog that disables the main window gives the focus back to the control that had it when it
// closes: once it went to the group tree, and the next Down changed the listing.
#include "TestWindow.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"

#include <QAbstractItemView>
#include <QApplication>

using namespace Qt::Literals::StringLiterals;

class TestFocusAfterDialog : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void backOnTheList_data()
    {
        QTest::addColumn<QString>("opens");
        QTest::addColumn<int>("closeKey");
        QTest::newRow("Properties, Enter") << u"ViewProperties1"_s << int(Qt::Key_Return);
        QTest::newRow("Preferences (F11), Escape") << u"Preferences1"_s << int(Qt::Key_Escape);
        QTest::newRow("Create Report (F7), Escape") << u"Report1"_s << int(Qt::Key_Escape);
    }
    void backOnTheList()
    {
        QFETCH(QString, opens);
        QFETCH(int, closeKey);
        TestWindow::Window &f = m_fx.open();
        QVERIFY(f.show());
        QApplication::setActiveWindow(&f.form());
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        ContentsView *view = f->contentsPanel()->view();
        view->selectRow(f.row(u"A.mp3"_s));
        view->currentView()->setFocus();
        QTRY_VERIFY(view->currentView()->hasFocus());

        f.action(opens)->trigger();
        QWidget *dialog = nullptr;
        QTRY_VERIFY((dialog = QApplication::activeWindow()) && dialog != &f.form());
        QTest::keyClick(dialog, Qt::Key(closeKey));
        QTRY_VERIFY(!dialog->isVisible());
        // Back in the main window (the window manager's part, done by hand offscreen).
        f->activateWindow();
        QTRY_COMPARE(QApplication::focusWidget(), view->currentView());
        // The arrow moves in the list; the tree and the listing stay.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
    }
};

QTEST_MAIN(TestFocusAfterDialog)
#include "tst_focusafterdialog.moc"
