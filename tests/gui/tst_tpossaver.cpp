// A window's position kept from one run to the next: what a start makes of the stored values,
// maximised over the normal bounds, and the INI form.
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

    QTemporaryDir m_dir;
    QString settingsFile() const { return m_dir.filePath(u"settings.ini"_s); }

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
    void init() { QFile::remove(settingsFile()); }

    // What a start makes of the stored values. A position of (-1, -1) stands for the middle.
    void restore_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<QSize>("size");
        const QVariantMap bounds{{u"Left"_s, 50}, {u"Top"_s, 60}, {u"Width"_s, 700}, {u"Height"_s, 500}};
        const QPoint middle(-1, -1);
        QTest::newRow("first run") << QVariantMap() << middle << QSize(640, 480);
        QTest::newRow("normal bounds") << bounds << QPoint(50, 60) << QSize(700, 500);
        QTest::newRow("only maximised") << QVariantMap{{u"Maximized"_s, 1}} << middle << QSize(640, 480);
        // On a monitor unplugged since.
        QVariantMap off = bounds;
        off[u"Left"_s] = QGuiApplication::primaryScreen()->virtualGeometry().right() + 2000;
        QTest::newRow("off every screen") << off << middle << QSize(700, 500);
        // A value that is not a number counts as missing.
        QVariantMap word = bounds;
        word[u"Left"_s] = u"left"_s;
        QTest::newRow("not a number") << word << middle << QSize(640, 480);
    }
    void restore()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QPoint, pos);
        QFETCH(QSize, size);
        {
            QSettings file(settingsFile(), QSettings::IniFormat);
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                file.setValue(it.key(), it.value());
        }
        Run run(settingsFile());
        run.form.move(3, 3);
        run.saver.RestorePosition();
        QVERIFY(!run.form.isMaximized());
        QCOMPARE(run.form.size(), size);
        QCOMPARE(run.form.pos(), pos == QPoint(-1, -1) ? centredAt(run.form) : pos);
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
        Run next(settingsFile());
        next.saver.RestorePosition();
        QVERIFY(next.form.isMaximized());
        next.form.setWindowState(Qt::WindowNoState);
        QCOMPARE(next.form.geometry().topLeft(), QPoint(20, 25));
        QCOMPARE(next.form.size(), QSize(660, 490));
        // Saved normal again: not maximised at the next start.
        next.saver.SavePosition();
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value(u"Maximized"_s).toInt(), 0);
    }

    void iniFileSection()
    {
        const QString ini = m_dir.filePath(u"pos.ini"_s);
        {
            Run run(settingsFile());
            run.saver.setUseRegistry(false);
            run.saver.setIniName(ini);
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
