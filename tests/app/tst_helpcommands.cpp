#include "TestWindow.h"

#include <QDesktopServices>
#include <QDir>

using namespace Qt::Literals::StringLiterals;

// The Help menu's manual (F1), opened in the browser.
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
};

QTEST_MAIN(TestHelpCommands)
#include "tst_helpcommands.moc"
