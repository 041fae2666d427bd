// F1 with no manual anywhere says where it was looked for, instead of doing nothing.
#include "TestWindow.h"
#include "store/DataPaths.h"

#include <QDesktopServices>

using namespace Qt::Literals::StringLiterals;

class TestManualLookup : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(false); }
    void cleanup() { m_fx.cleanup(); }

    void namesEveryPlaceLookedIn()
    {
        if (!DataPaths::findResource(m_fx.data(), u"help/index.html"_s).isEmpty())
            QSKIP("a manual is installed on this machine");
        TestWindow::Window w(m_fx.data());
        w.action(u"Contents1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().size(), 1);
        const QString said = AppDialogs::shown().first().text;
        QVERIFY2(said.startsWith(u"The manual was not found."_s), qPrintable(said));
        for (const QString &folder : DataPaths::resourceFolders(m_fx.data()))
            QVERIFY2(said.contains(folder + u"help/index.html"_s), qPrintable(said));
        QVERIFY(said.contains(m_fx.data() + u"help/index.html"_s));
    }
};

QTEST_MAIN(TestManualLookup)
#include "tst_manuallookup.moc"
