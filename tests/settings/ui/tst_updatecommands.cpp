#include "LocalHttpServer.h"
#include "TestWindow.h"
#include "settings/ui/UpdateCommands.h"

#include <QDesktopServices>
#include <QSettings>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;

// "Check for Update" and "Visit Tarnwick Site" on a real window against a web server on this
// machine: the boxes they show and the address they open.
class TestUpdateCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    QList<QUrl> m_opened;
    const QString &data() const { return m_fx.data(); }

    void setServer(const QString &address)
    {
        QDir().mkpath(QFileInfo(DataPaths::settingsFile(data())).path());
        QSettings(DataPaths::settingsFile(data()), QSettings::IniFormat).setValue(u"UpdateServer"_s, address);
    }

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
    void init()
    {
        m_fx.init(false);
        m_opened.clear();
    }
    void cleanup() { m_fx.cleanup(); }

    void noServerConfigured()
    {
        TestWindow::Window w(data());
        QVERIFY(w.action(u"CheckforUpdate1"_s)->isEnabled());
        w.action(u"CheckforUpdate1"_s)->trigger();
        w.action(u"VisitTarnwickSite1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().size(), 2);
        for (const AppDialogs::Shown &s : AppDialogs::shown()) {
            QVERIFY(s.text.startsWith(u"No update server is configured. Set UpdateServer in "_s));
            QVERIFY(s.text.contains(DataPaths::settingsFile(data())));
            QCOMPARE(s.kind, AppDialogs::Information);
        }
        QVERIFY(m_opened.isEmpty());
    }

    void newerReleaseIsOffered()
    {
        LocalHttpServer server;
        server.setBody("ver=1.5.116");
        setServer(server.address());
        TestWindow::Window w(data());
        AppDialogs::pushAnswer(QMessageBox::No);
        w.action(u"CheckforUpdate1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts(),
                 QStringList{u"New version 1.5.116 is available for download! Do you want to download it?"_s});
        QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Confirmation);
        QVERIFY(m_opened.isEmpty());

        AppDialogs::pushAnswer(QMessageBox::Yes);
        w.action(u"CheckforUpdate1"_s)->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl(server.address() + u"/software/quillory_amd64.deb"_s)});
        QVERIFY(w.action(u"CheckforUpdate1"_s)->isEnabled()); // ready for the next time
    }

    void sameOrOlderRelease_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("same") << QByteArray("ver=1.5.115");
        QTest::newRow("same with a line end") << QByteArray("ver=1.5.115\n");
        QTest::newRow("older") << QByteArray("ver=1.4.200");
    }
    void sameOrOlderRelease()
    {
        QFETCH(QByteArray, file);
        LocalHttpServer server;
        server.setBody(file);
        setServer(server.address());
        TestWindow::Window w(data());
        w.action(u"CheckforUpdate1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts(), QStringList{u"No newer version yet."_s});
        QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Information);
    }

    void noAnswer_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("empty answer") << -1;
        QTest::newRow("no file") << int(LocalHttpServer::NotFound);
        QTest::newRow("never answers") << int(LocalHttpServer::Silent);
        QTest::newRow("no server there") << -2;
    }
    void noAnswer()
    {
        QFETCH(int, mode);
        LocalHttpServer server;
        if (mode == -1)
            server.setBody(QByteArray());
        else if (mode >= 0)
            server.setMode(LocalHttpServer::Mode(mode));
        setServer(mode == -2 ? u"http://127.0.0.1:%1"_s.arg(LocalHttpServer::closedPort()) : server.address());
        TestWindow::Window w(data());
        w.form().findChild<UpdateCommands *>()->setTimeout(300);
        w.action(u"CheckforUpdate1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts(),
                 QStringList{u"Could not connect to server. Please check your internet connection and try again."_s});
        QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Warning);
        QVERIFY(w.action(u"CheckforUpdate1"_s)->isEnabled());
    }

    void visitSite()
    {
        setServer(u"http://tarnwick.test/"_s);
        TestWindow::Window w(data());
        w.action(u"VisitTarnwickSite1"_s)->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl(u"http://tarnwick.test/"_s)});
        QVERIFY(AppDialogs::shown().isEmpty());
    }
};

QTEST_MAIN(TestUpdateCommands)
#include "tst_updatecommands.moc"
