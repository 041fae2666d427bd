// A window reopens exactly where it was left: restored once it is on screen, as the program does,
// here and under a real window manager that decorates it (the frame it reports late once made
// the window creep up by its title bar at every start).
#include "gui/TPosSaver.h"

#include "RunProgram.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace
{

// The environment variable that makes this program one run of the window instead of the tests.
const char *const ChildSettings = "QUILLORY_WINDOWPLACE_SETTINGS";

// Starts, places and closes a window `runs` times, as that many runs of the program would;
// returns each start's inner and outer bounds.
QList<QRect> startAndClose(const QString &settingsFile, bool iniMode, int runs)
{
    QList<QRect> seen;
    for (int run = 0; run < runs; ++run) {
        QWidget form;
        form.setWindowTitle(u"Window place"_s);
        TPosSaver saver(&form, settingsFile);
        saver.setUseRegistry(!iniMode);
        saver.setIniName(settingsFile);
        form.resize(640, 480);
        form.show();
        if (run == 0)
            form.setGeometry(200, 150, 660, 490);
        else
            saver.RestorePosition();
        if (!QTest::qWaitForWindowExposed(&form))
            return {};
        // The frame arrives from the window manager some time after the window is mapped.
        (void)QTest::qWaitFor([&form] { return form.frameGeometry() != form.geometry(); }, 3000);
        QTest::qWait(100);
        seen << form.geometry() << form.frameGeometry();
        saver.SavePosition();
    }
    return seen;
}

} // namespace

class TestWindowPlace : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void reopensWhereItWasLeft_data()
    {
        QTest::addColumn<bool>("iniMode");
        QTest::newRow("settings file") << false;
        QTest::newRow("ini section") << true;
    }
    void reopensWhereItWasLeft()
    {
        QFETCH(bool, iniMode);
        const QString file = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".ini"_s);
        const QList<QRect> seen = startAndClose(file, iniMode, 3);
        QCOMPARE(seen.size(), 6);
        QCOMPARE(seen.at(0), QRect(200, 150, 660, 490));
        for (int i = 2; i < seen.size(); ++i)
            QCOMPARE(seen.at(i), seen.at(i % 2));
    }

    void reopensWhereItWasLeftUnderAWindowManager()
    {
        const QString xvfb = QStandardPaths::findExecutable(u"xvfb-run"_s);
        const QString openbox = QStandardPaths::findExecutable(u"openbox"_s);
        if (xvfb.isEmpty() || openbox.isEmpty())
            QSKIP("needs xvfb-run and openbox (scripts/install-deps)");
        // The window manager runs beside the window, on a display of its own.
        const QString script = u"openbox >/dev/null 2>&1 & wm=$!; \"$0\"; code=$?; kill $wm; exit $code"_s;
        const ProgramRun run = runProgram(
            xvfb,
            {u"-a"_s, u"-s"_s, u"-screen 0 1280x800x24"_s, u"sh"_s, u"-c"_s, script,
             QCoreApplication::applicationFilePath()},
            {}, {},
            {u"QT_QPA_PLATFORM=xcb"_s, QString::fromLatin1(ChildSettings) + u'=' + m_dir.filePath(u"wm.ini"_s)});
        QVERIFY2(run.code == 0, run.err.constData());
        const QList<QByteArray> seen = run.out.trimmed().split('\n');
        QCOMPARE(seen.size(), 6);
        QVERIFY2(seen.at(1) != seen.at(0), "the window manager drew no frame");
        for (int i = 2; i < seen.size(); ++i)
            QCOMPARE(seen.at(i), seen.at(i % 2));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(ChildSettings)) {
        // The window manager starts with this program: wait until it decorates a new window
        // (Qt asks for a window's frame once, when it is mapped).
        for (int tries = 0;; ++tries) {
            QWidget probe;
            probe.show();
            if (QTest::qWaitFor([&probe] { return probe.frameGeometry() != probe.geometry(); }, 500))
                break;
            if (tries == 40)
                return 1;
        }
        for (const QRect &r : startAndClose(qEnvironmentVariable(ChildSettings), false, 3))
            printf("%d %d %d %d\n", r.x(), r.y(), r.width(), r.height());
        return 0;
    }
    TestWindowPlace test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowplace.moc"
