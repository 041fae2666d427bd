#include "TestCatalogue.h"
#include "TestWindow.h"
#include "app/TSplashForm.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"

#include <QDir>
#include <QProcess>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

// The window's start and end: what is read, asked and written, in which order, and that a
// catalogue the window may not write is left exactly as it was.
class TestStartup : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    const QString &data() const { return m_fx.data(); }
    QString db() const { return m_fx.db(); }
    QStringList treeLines() const { return TextCodec::readLines(db() + u"groups.tree"_s); }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(false); }
    void cleanup() { m_fx.cleanup(); }

    // An empty folder: a new catalogue, nothing asked, and Exit writes it.
    void startsOnEmptyFolder()
    {
        TestWindow::Window f(data());
        QVERIFY(AppDialogs::shown().isEmpty()); // no sample, no question
        f.action(u"Exit1"_s)->trigger();
        QCOMPARE(treeLines(), QStringList{u"My Collection"_s});
    }

    void splashRunsTheInitialisation()
    {
        TestCatalogue::prepared(data());
        Composition app(data());
        TMainForm &f = app.window();
        QVERIFY(!app.workspace().catalogue().isLocked()); // the window alone touches nothing
        f.show();
        new TSplashForm(&f);
        QVERIFY(!f.isEnabled());
        QCOMPARE(f.statusText(), u"3 object(s), total size 9.52 KB"_s);
        QTRY_VERIFY(f.isEnabled()); // the splash closes itself after half a second
        f.close();
    }

    void secondWindowOnTheSameCatalogueWritesNothing()
    {
        TestCatalogue::prepared(data());
        TestWindow::Window first(data());
        TestWindow::Window second(data());
        QVERIFY(second.ws().isReadOnly());
        QVERIFY(AppDialogs::shownTexts().last().contains(u"in use by another Quillory! program"_s));
        QVERIFY(!second.action(u"AddGroup1"_s)->isEnabled());
        second.tree().addChild(second.tree().root(), u"Stray"_s, KindGroup);
        second->close();
        QVERIFY(!treeLines().join(u'\n').contains(u"Stray"_s));
        first->close();
    }

    // The program itself, ended by a logout, a lost terminal or Ctrl+C: it leaves as after
    // File > Exit, its settings written and its lock given back.
    void theProgramSavesItsWorkWhenEnded_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void theProgramSavesItsWorkWhenEnded()
    {
        QFETCH(int, signal);
        const QString program = QStringLiteral(QUILLORY_BINARY_DIR "/quillory");
        QVERIFY2(QFileInfo(program).isExecutable(), "build the quillory target first");
        TestCatalogue::prepared(data());
        QStringList tree = treeLines();
        const QString home = m_fx.path(u"home"_s);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"HOME"_s, home);
        for (const QString &name : {u"XDG_CONFIG_HOME"_s, u"XDG_CACHE_HOME"_s, u"XDG_DATA_HOME"_s, u"XDG_STATE_HOME"_s,
                                    u"XDG_RUNTIME_DIR"_s}) {
            const QString folder = home + u'/' + name;
            QVERIFY(QDir().mkpath(folder));
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            env.insert(name, folder);
        }
        const QString settings = home + u"/XDG_CONFIG_HOME/Tarnwick/Quillory!.conf"_s;
        const QString lock = db() + Catalogue::lockName();

        QProcess run;
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(program, {u"--data"_s, data()});
        QVERIFY(run.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(lock), 60000); // the catalogue is open
        QVERIFY(!QFileInfo::exists(settings));
        QCOMPARE(::kill(static_cast<pid_t>(run.processId()), signal), 0);
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(QFileInfo::exists(settings));
        QVERIFY(QFileInfo::exists(data() + u"search.dat"_s));
        QVERIFY(!QFileInfo::exists(lock));
        // Every node is still there (the window keeps its tree in order, so the order may change).
        QStringList after = treeLines();
        after.sort();
        tree.sort();
        QCOMPARE(after, tree);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
