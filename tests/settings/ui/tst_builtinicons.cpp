// The "Theme" menu leads back to the built-in icons once a skin is chosen, and the choice holds at
// the next start.
#include "TestWindow.h"
#include "gui/ThemeIcons.h"
#include "settings/Preferences.h"

#include <QDir>
#include <QMenu>

using namespace Qt::Literals::StringLiterals;

class TestBuiltInIcons : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

    static QAction *item(const TestWindow::Window &w, const QString &caption)
    {
        for (QAction *a : w->findChild<QMenu *>(u"Theme1"_s)->actions())
            if (a->text().remove(u'&') == caption)
                return a;
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(false); }
    void cleanup() { m_fx.cleanup(); }

    void backFromASkin()
    {
        const QString shipped = QStringLiteral(QUILLORY_SOURCE_DIR "/share/skins/Light/");
        const QString skin = m_fx.data() + u"skins/Light/"_s;
        QVERIFY(QDir().mkpath(skin));
        for (const QString &f : QDir(shipped).entryList(QDir::Files))
            QVERIFY(QFile::copy(shipped + f, skin + f));
        {
            TestWindow::Window w(m_fx.data());
            QVERIFY(item(w, u"Built-in Icons"_s)->isChecked());
            item(w, u"Light"_s)->trigger();
            QVERIFY(ThemeIcons::skinInUse());
            item(w, u"Built-in Icons"_s)->trigger();
            QVERIFY(!ThemeIcons::skinInUse());
            QVERIFY(item(w, u"Built-in Icons"_s)->isChecked() && !item(w, u"Light"_s)->isChecked());
            QCOMPARE(w.ws().preferences().theme(), QString());
        }
        TestWindow::Window next(m_fx.data());
        QVERIFY(!ThemeIcons::skinInUse());
        QVERIFY(item(next, u"Built-in Icons"_s)->isChecked());
    }
};

QTEST_MAIN(TestBuiltInIcons)
#include "tst_builtinicons.moc"
