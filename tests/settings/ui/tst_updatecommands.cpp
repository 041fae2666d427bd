#include "LocalHttpServer.h"
#include "TestWindow.h"
#include "core/Version.h"
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

    // What the window says for each answer; the releases are this build's own, one newer and
    // one older. Mode: the server's, -1 for an empty answer, -2 for no server there.
    void answers_data()
    {
        const QString own = QuilloryVersion();
        const QString newer = own.section(u'.', 0, -2) + u'.' + QString::number(own.section(u'.', -1).toInt() + 1);
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        const QString offer = u"New version %1 is available for download! Do you want to download it?"_s.arg(newer);
        const QString noNews = u"No newer version yet."_s;
        const QString noConnection =
            u"Could not connect to server. Please check your internet connection and try again."_s;
        const int ok = LocalHttpServer::Answer;
        QTest::newRow("newer") << ok << ("ver=" + newer).toLatin1() << offer << int(AppDialogs::Confirmation);
        QTest::newRow("same") << ok << ("ver=" + own).toLatin1() << noNews << int(AppDialogs::Information);
        QTest::newRow("older") << ok << QByteArray("ver=0.9") << noNews << int(AppDialogs::Information);
        QTest::newRow("empty answer") << -1 << QByteArray() << noConnection << int(AppDialogs::Warning);
        QTest::newRow("no file") << int(LocalHttpServer::NotFound) << QByteArray() << noConnection
                                 << int(AppDialogs::Warning);
        QTest::newRow("never answers") << int(LocalHttpServer::Silent) << QByteArray() << noConnection
                                       << int(AppDialogs::Warning);
        QTest::newRow("no server there") << -2 << QByteArray() << noConnection << int(AppDialogs::Warning);
    }
    void answers()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, file);
        QFETCH(QString, text);
        QFETCH(int, kind);
        LocalHttpServer server;
        server.setBody(file);
        if (mode >= 0)
            server.setMode(LocalHttpServer::Mode(mode));
        setServer(mode == -2 ? u"http://127.0.0.1:%1"_s.arg(LocalHttpServer::closedPort()) : server.address());
        TestWindow::Window w(data());
        w.form().findChild<UpdateCommands *>()->setTimeout(300);
        if (kind == AppDialogs::Confirmation)
            AppDialogs::pushAnswer(QMessageBox::No);
        w.action(u"CheckforUpdate1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts(), QStringList{text});
        QCOMPARE(int(AppDialogs::shown().first().kind), kind);
        QVERIFY(m_opened.isEmpty());
        QVERIFY(w.action(u"CheckforUpdate1"_s)->isEnabled()); // ready for the next time
        if (kind != AppDialogs::Confirmation)
            return;
        AppDialogs::pushAnswer(QMessageBox::Yes);
        w.action(u"CheckforUpdate1"_s)->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl(server.address() + u"/software/quillory_amd64.deb"_s)});
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
