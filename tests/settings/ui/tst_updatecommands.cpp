#include "LocalHttpServer.h"
#include "TestWindow.h"
#include "settings/ui/UpdateCommands.h"

#include <QDesktopServices>
#include <QSettings>

using namespace Qt::Literals::StringLiterals;

// "Check for Update" and "Visit Tarnwick Site" on a real window against a web server on this
// machine: one row per kind of box, the failures of the network, and the address opened. Which
// answers count as newer is the update check's own test.
class TestUpdateCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    QList<QUrl> m_opened;

public Q_SLOTS:
    // Stands in for the browser.
    void openUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase()
    {
        TestWindow::setUp();
        QDesktopServices::setUrlHandler(u"http"_s, this, "openUrl");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"http"_s); }
    void init() { m_fx.init(false); m_opened.clear(); }
    void cleanup() { m_fx.cleanup(); }

    // Mode: the server's, -1 for no address set. Kind -1: no box.
    void commands_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text"); // how the box begins
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("opened"); // on the server, after a yes
        const QString check = u"CheckforUpdate1"_s, noConnection = u"Could not connect to server."_s;
        const int ok = LocalHttpServer::Answer, warning = AppDialogs::Warning;
        QTest::newRow("newer") << check << ok << u"New version 999.0 is available for download!"_s
                               << int(AppDialogs::Confirmation) << u"/software/quillory_amd64.deb"_s;
        QTest::newRow("never answers") << check << int(LocalHttpServer::Silent) << noConnection << warning << QString();
        QTest::newRow("none set") << check << -1 << u"No update server is configured. Set UpdateServer in "_s
                                  << int(AppDialogs::Information) << QString();
        QTest::newRow("visit site") << u"VisitTarnwickSite1"_s << ok << QString() << -1 << u"/"_s;
    }
    void commands()
    {
        QFETCH(QString, action);
        QFETCH(int, mode);
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, opened);
        LocalHttpServer server;
        server.setBody("ver=999.0");
        server.setMode(LocalHttpServer::Mode(qMax(mode, 0)));
        if (mode >= 0) // QSettings makes the folder
            QSettings(DataPaths::settingsFile(m_fx.data()), QSettings::IniFormat).setValue(u"UpdateServer"_s, server.address());
        TestWindow::Window w(m_fx.data());
        w.form().findChild<UpdateCommands *>()->setTimeout(300);
        if (kind == AppDialogs::Confirmation)
            AppDialogs::pushAnswer(QMessageBox::Yes);
        w.action(action)->trigger();
        const QList<AppDialogs::Shown> shown = AppDialogs::shown();
        QCOMPARE(shown.size(), kind < 0 ? 0 : 1);
        QVERIFY(kind < 0 || (shown.first().text.startsWith(text) && int(shown.first().kind) == kind));
        QCOMPARE(m_opened, opened.isNull() ? QList<QUrl>() : QList<QUrl>{QUrl(server.address() + opened)});
        QVERIFY(w.action(action)->isEnabled()); // ready for the next time
    }
};

QTEST_MAIN(TestUpdateCommands)
#include "tst_updatecommands.moc"
