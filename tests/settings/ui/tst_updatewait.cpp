#include "LocalHttpServer.h"
#include "TestWindow.h"
#include "settings/ui/UpdateCommands.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QSettings>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

// Check for Update against a server that accepts and never answers: the wait shows (busy
// cursor, a wait that blocks other commands), and Escape on it stops the check at once,
// without a box, the command ready for the next time.
class TestUpdateWait : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(false); }
    void cleanup() { m_fx.cleanup(); }

    void escapeStopsTheWait()
    {
        LocalHttpServer server;
        server.setMode(LocalHttpServer::Silent);
        QSettings(DataPaths::settingsFile(m_fx.data()), QSettings::IniFormat)
            .setValue(u"UpdateServer"_s, server.address());
        TestWindow::Window &w = m_fx.open();
        QVERIFY(w.show());
        w.controller<UpdateCommands>()->setTimeout(20000);

        bool waitShown = false, busy = false, windowBlocked = false;
        QTimer::singleShot(200, this, [&] {
            auto *wait = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            waitShown = wait && wait->isVisible() && wait->objectName() == "UpdateWait"_L1;
            busy = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
            windowBlocked = !w.action(u"CheckforUpdate1"_s)->isEnabled();
            if (wait)
                QTest::keyClick(wait, Qt::Key_Escape);
        });
        QElapsedTimer clock;
        clock.start();
        w.action(u"CheckforUpdate1"_s)->trigger();
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(waitShown);
        QVERIFY(busy);
        QVERIFY(windowBlocked);
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(AppDialogs::shown().isEmpty());
        QVERIFY(w.action(u"CheckforUpdate1"_s)->isEnabled());
    }
};

QTEST_MAIN(TestUpdateWait)
#include "tst_updatewait.moc"
