#include "TestWindow.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "settings/Preferences.h"
#include "settings/ui/TOptionsForm.h"

#include <QCheckBox>
#include <QSettings>
#include <QSplitter>

using namespace Qt::Literals::StringLiterals;

// Cancel in the preferences window puts back the window's own choices and nothing else: the
// view style, the skin and the tree's width the user set meanwhile stay, on screen and at exit.
class TestPreferencesCancel : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void cancelKeepsWhatIsNotOnTheDialog()
    {
        TestWindow::Window &w = m_fx.open();
        QVERIFY(w.show());
        Preferences &prefs = w.ws().preferences();
        ContentsView *view = w.form().contentsPanel()->view();
        QSplitter *splitter = w.form().findChild<QSplitter *>();
        QVERIFY(prefs.grids());

        w.action(u"List1"_s)->trigger();
        prefs.setTheme(u"Picked"_s); // as choosing a skin from the "Theme" menu does
        splitter->setSizes({333, 400, 0});
        const int treeWidth = splitter->sizes().value(0);

        w.action(u"Preferences1"_s)->trigger();
        auto *form = w.form().findChild<TOptionsForm *>();
        QVERIFY(form && form->isVisible());
        form->findChild<QCheckBox *>(u"GridBox"_s)->setChecked(false);
        QVERIFY(!prefs.grids());
        QTest::keyClick(form, Qt::Key_Escape);

        QVERIFY(!form->isVisible());
        QVERIFY(prefs.grids()); // the dialog's own choice, back
        QVERIFY(view->gridLines());
        QCOMPARE(view->viewStyle(), ContentsView::List);
        QCOMPARE(prefs.theme(), u"Picked"_s);
        QCOMPARE(splitter->sizes().value(0), treeWidth);

        QVERIFY(w.form().close()); // the run ends
        QSettings stored(DataPaths::settingsFile(m_fx.data()), QSettings::IniFormat);
        QCOMPARE(stored.value(u"Theme"_s).toString(), u"Picked"_s);
        QCOMPARE(stored.value(u"ViewStyle"_s).toInt(), int(ContentsView::List));
    }
};

QTEST_MAIN(TestPreferencesCancel)
#include "tst_preferencescancel.moc"
