#include "TestWindow.h"
#include "app/TAboutForm.h"

#include <QDesktopServices>
#include <QDir>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

// The Help menu's own commands: the manual (F1) and the about box.
class TestHelpCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    QList<QUrl> m_opened;

public Q_SLOTS:
    void openUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase()
    {
        TestWindow::setUp();
        QDesktopServices::setUrlHandler(u"file"_s, this, "openUrl");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"file"_s); }
    void init() { m_fx.init(false); m_opened.clear(); }

    void manualOpensInTheBrowser()
    {
        const QString page = m_fx.data() + u"help/index.html"_s;
        QVERIFY(QDir().mkpath(m_fx.data() + u"help"_s) && QFile(page).open(QIODevice::WriteOnly));
        TestWindow::Window w(m_fx.data());
        w.action(u"Contents1"_s)->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(page)});
        QVERIFY(AppDialogs::shown().isEmpty());
    }

    void aboutBoxRollsItsCredits()
    {
        TestWindow::Window w(m_fx.data());
        w.action(u"About1"_s)->trigger();
        auto *about = w->findChild<TAboutForm *>(u"AboutForm"_s);
        QVERIFY(about && about->isVisible() && about->isScrolling());
        // The roll starts again once every line has left the picture.
        int steps = 0;
        for (about->step(); about->scrollOffset() != 0 && steps < 10000; ++steps)
            about->step();
        QVERIFY(steps > 100 && steps < 10000);
        QTest::mouseClick(about->findChild<QPushButton *>(u"OKButton"_s), Qt::LeftButton);
        QVERIFY(!about->isVisible() && !about->isScrolling());
    }
};

QTEST_MAIN(TestHelpCommands)
#include "tst_helpcommands.moc"
