// A window's position kept from one run to the next: normal and maximised, the first run,
// bounds that no screen shows any more, and the INI form.
#include "gui/TPosSaver.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

class TestPosSaver : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString settingsFile() const { return m_dir->filePath(u"settings.ini"_s); }

    // A run of the window: restored at the start, changed, saved at the end.
    struct Run {
        QWidget form;
        TPosSaver saver;
        explicit Run(const QString &file) : saver(&form, file) { form.resize(640, 480); }
    };

    static QPoint centredAt(const QWidget &form)
    {
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize outer = form.frameGeometry().size();
        return {desktop.x() + (desktop.width() - outer.width()) / 2,
                desktop.y() + (desktop.height() - outer.height()) / 2};
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void firstRunCentresAtTheDefaultSize()
    {
        Run run(settingsFile());
        run.form.move(3, 3);
        run.saver.RestorePosition();
        QCOMPARE(run.form.pos(), centredAt(run.form));
        QCOMPARE(run.form.size(), QSize(640, 480));
        QVERIFY(!run.form.isMaximized());
    }

    void normalBoundsComeBack()
    {
        {
            Run run(settingsFile());
            run.form.setGeometry(50, 60, 700, 500);
            run.saver.SavePosition();
        }
        const QSettings stored(settingsFile(), QSettings::IniFormat);
        QCOMPARE(stored.value(u"Maximized"_s).toInt(), 0);
        Run next(settingsFile());
        next.saver.RestorePosition();
        QCOMPARE(next.form.size(), QSize(700, 500));
        QCOMPARE(next.form.pos(), QPoint(50, 60));
    }

    void maximisedKeepsTheNormalBoundsUnderneath()
    {
        {
            Run run(settingsFile());
            run.form.move(20, 25);
            run.form.resize(660, 490);
            run.saver.SavePosition();
            run.form.setWindowState(Qt::WindowMaximized);
            run.saver.SavePosition();
        }
        {
            const QSettings stored(settingsFile(), QSettings::IniFormat);
            QCOMPARE(stored.value(u"Maximized"_s).toInt(), 1);
            QCOMPARE(stored.value(u"Left"_s).toInt(), 20); // the bounds of the last normal save
            QCOMPARE(stored.value(u"Width"_s).toInt(), 660);
        }
        Run next(settingsFile());
        next.saver.RestorePosition();
        QVERIFY(next.form.isMaximized());
        next.form.setWindowState(Qt::WindowNoState);
        QCOMPARE(next.form.pos(), QPoint(20, 25));
        QCOMPARE(next.form.size(), QSize(660, 490));

        // Saved normal again: not maximised at the next start.
        next.saver.SavePosition();
        Run third(settingsFile());
        third.saver.RestorePosition();
        QVERIFY(!third.form.isMaximized());
    }

    void onlyMaximizedStoredCentresWithoutMaximising()
    {
        {
            Run run(settingsFile());
            run.form.setWindowState(Qt::WindowMaximized);
            run.saver.SavePosition();
        }
        Run next(settingsFile());
        next.saver.RestorePosition();
        QVERIFY(!next.form.isMaximized());
        QCOMPARE(next.form.pos(), centredAt(next.form));
    }

    void boundsOffEveryScreenAreCentred()
    {
        {
            QSettings stored(settingsFile(), QSettings::IniFormat);
            const QRect all = QGuiApplication::primaryScreen()->virtualGeometry();
            stored.setValue(u"Left"_s, all.right() + 2000); // on a monitor unplugged since
            stored.setValue(u"Top"_s, 10);
            stored.setValue(u"Width"_s, 700);
            stored.setValue(u"Height"_s, 500);
        }
        Run run(settingsFile());
        run.saver.RestorePosition();
        QCOMPARE(run.form.size(), QSize(700, 500));
        QCOMPARE(run.form.pos(), centredAt(run.form));

        // A value that is not a number counts as missing.
        {
            QSettings stored(settingsFile(), QSettings::IniFormat);
            stored.setValue(u"Left"_s, u"left"_s);
        }
        Run again(settingsFile());
        again.form.resize(640, 480);
        again.saver.RestorePosition();
        QCOMPARE(again.form.size(), QSize(640, 480));
    }

    void iniFileSection()
    {
        const QString ini = m_dir->filePath(u"pos.ini"_s);
        {
            Run run(settingsFile());
            run.saver.setUseRegistry(false);
            run.saver.setIniName(ini);
            QCOMPARE(run.saver.IniSection(), u"TPosSaver"_s);
            run.form.setGeometry(30, 40, 650, 470);
            run.form.setWindowState(Qt::WindowMaximized);
            run.saver.SavePosition();
        }
        const QSettings stored(ini, QSettings::IniFormat);
        QVERIFY(stored.contains(u"TPosSaver/Width"_s));
        QVERIFY(!stored.contains(u"TPosSaver/Maximized"_s));
        QVERIFY(!QFile::exists(settingsFile()));
    }
};

QTEST_MAIN(TestPosSaver)
#include "tst_tpossaver.moc"
