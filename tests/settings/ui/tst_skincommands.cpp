#include "TestWindow.h"
#include "gui/ThemeIcons.h"
#include "settings/Preferences.h"
#include "settings/ui/SkinCommands.h"

#include <QDir>
#include <QMenu>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

// The "Theme" menu on a real window: which skins it offers, what a choice changes on screen and
// at the next start, and what a skin that cannot be loaded leaves alone.
class TestSkinCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    const QString &data() const { return m_fx.data(); }
    QString skins() const { return data() + u"skins/"_s; }
    static QString shipped(const QString &skin) { return QStringLiteral(QUILLORY_SOURCE_DIR "/share/skins/") + skin; }

    // A copy of a shipped skin under another name.
    void copySkin(const QString &from, const QString &to)
    {
        QDir().mkpath(skins() + to);
        for (const QString &f : QDir(shipped(from)).entryList(QDir::Files))
            QVERIFY(QFile::copy(shipped(from) + u'/' + f, skins() + to + u'/' + f));
    }
    static QMenu *themeMenu(const TestWindow::Window &w) { return w->findChild<QMenu *>(u"Theme1"_s); }
    static QAction *item(const TestWindow::Window &w, const QString &caption)
    {
        for (QAction *a : themeMenu(w)->actions())
            if (a->text() == caption)
                return a;
        return nullptr;
    }
    static QStringList checked(const TestWindow::Window &w)
    {
        QStringList out;
        for (QAction *a : themeMenu(w)->actions())
            if (a->isChecked())
                out.append(a->text());
        return out;
    }
    // What an icon shows at a size, as the menus and the tool bar ask for it.
    static QImage shown(const QIcon &icon, int size)
    {
        return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
    }
    // A skin's bitmap as a pixmap holds it (premultiplied alpha rounds the faint pixels).
    static QImage bitmap(const QString &file)
    {
        return QPixmap::fromImage(QImage(file)).toImage().convertToFormat(QImage::Format_ARGB32);
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(false); }
    void cleanup() { m_fx.cleanup(); }

    // Without a skins folder: no menu, and the built-in drawings in use, every size drawn, not
    // scaled from a bitmap. (A stored name matches only exactly: tst_settings has the rule.)
    void noSkinInUse()
    {
        TestWindow::Window w(data());
        QVERIFY(!themeMenu(w)->menuAction()->isVisible());
        QVERIFY(AppDialogs::shown().isEmpty());
        QVERIFY(!ThemeIcons::skinInUse());
        QVERIFY(!shown(w.action(u"AddDisc1"_s)->icon(), 24).isNull());
    }

    // Chosen, a skin shows its text and changes every command icon; stored, it is applied at the
    // next start without its text.
    void choosingASkinChangesEveryCommandIcon()
    {
        copySkin(u"Light"_s, u"Light"_s);
        QDir().mkpath(skins() + u"R&B"_s);
        std::optional<TestWindow::Window> first(std::in_place, data());
        TestWindow::Window &w = *first;
        // The menu offers what the skins folder holds (tst_settings has the rule).
        QCOMPARE(themeMenu(w)->actions().size(), 4); // the built-in icons, a separator, the two skins
        QVERIFY(item(w, u"R&&B"_s)->isCheckable());  // shown as "R&B", not as an access key
        item(w, u"Light"_s)->trigger();

        // Its "info.txt", two lines, each followed by a line feed.
        QCOMPARE(AppDialogs::shownTexts(),
                 QStringList{u"Light\nCrisp dark lines and clear colours for light desktop themes.\n"_s});
        QCOMPARE(checked(w), QStringList{u"Light"_s});
        // Actions, menus, the tool bar's buttons (the menus show its icon too) and the compilation
        // panel's buttons, which share the small icons.
        const auto icon = [&w](const QString &name) {
            if (QAction *a = w.action(name))
                return a->icon();
            if (auto *menu = w->findChild<QMenu *>(name))
                return menu->menuAction()->icon();
            return w->findChild<QToolButton *>(name)->icon();
        };
        const struct {
            const char *control;
            int size;
            const char *file;
        } icons[] = {{"AddDisc1", 16, "add_disc_small"},
                     {"AddDisc1", 24, "add_disc_big"},
                     {"BackButton", 24, "go_up"},
                     {"Theme1", 16, "skin"},
                     {"FavoritesButton", 24, "favorites"},
                     {"BurnButton", 16, "burn"}};
        for (const auto &i : icons)
            QVERIFY2(shown(icon(QLatin1String(i.control)), i.size) ==
                         bitmap(skins() + u"Light/"_s + QLatin1String(i.file) + u".bmp"_s),
                     i.control);
        w.action(u"Exit1"_s)->trigger();
        first.reset();
        AppDialogs::clearShown();
        std::optional<TestWindow::Window> second(std::in_place, data());
        TestWindow::Window &next = *second;
        QVERIFY(AppDialogs::shown().isEmpty());
        QCOMPARE(checked(next), QStringList{u"Light"_s});
        QCOMPARE(shown(next.action(u"Search1"_s)->icon(), 24), bitmap(skins() + u"Light/find_big.bmp"_s));

        // "Built-in Icons" leads back from the skin, and is stored as no theme for the next start.
        item(next, u"&Built-in Icons"_s)->trigger();
        QVERIFY(!ThemeIcons::skinInUse());
        QCOMPARE(checked(next), QStringList{u"&Built-in Icons"_s});
        QCOMPARE(next.ws().preferences().theme(), QString());
        next.action(u"Exit1"_s)->trigger();
        second.reset();
        TestWindow::Window third(data());
        // Built-in Icons is kept over the skin stored at this run's start.
        QVERIFY(!ThemeIcons::skinInUse());
        QCOMPARE(checked(third), QStringList{u"&Built-in Icons"_s});
    }

    // A skin that cannot be loaded whole changes nothing: the refusal, then (when it has one)
    // the skin's own text, as the user chose it; the skin in use keeps its icons and its check.
    void refused_data()
    {
        QTest::addColumn<QString>("damage"); // the file spoilt in a copy of "Dark"
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("info");
        const QString missing = u"Some files needed to load this skin are missing!"_s;
        QTest::newRow("one file missing")
            << u"borrow.bmp"_s << missing << u"Dark\nPale lines and soft colours for dark desktop themes.\n"_s;
        QTest::newRow("unreadable bitmap") << u"update.bmp"_s << u"{skin}update.bmp: "_s << QString();
    }
    void refused()
    {
        QFETCH(QString, damage);
        QFETCH(QString, refusal);
        QFETCH(QString, info);
        copySkin(u"Light"_s, u"Light"_s);
        const QString broken = skins() + u"Broken"_s;
        copySkin(u"Dark"_s, u"Broken"_s);
        QFile bad(broken + u'/' + damage);
        QVERIFY(damage == u"borrow.bmp"_s
                    ? bad.remove()
                    : bad.open(QIODevice::WriteOnly | QIODevice::Truncate) && bad.write("BM this is not a bitmap") > 0);
        refusal.replace(u"{skin}"_s, broken + u'/');
        TestWindow::Window w(data());
        const QImage builtIn = shown(w.action(u"Exit1"_s)->icon(), 16);
        for (const QString &inUse : {QString(), u"Light"_s}) {
            if (!inUse.isNull())
                item(w, inUse)->trigger();
            AppDialogs::clearShown();
            item(w, u"Broken"_s)->trigger();
            QVERIFY2(AppDialogs::shownTexts().value(0).startsWith(refusal),
                     qPrintable(AppDialogs::shownTexts().value(0)));
            QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Error);
            QCOMPARE(AppDialogs::shownTexts().value(1), info);
            QCOMPARE(checked(w), QStringList{inUse.isNull() ? u"&Built-in Icons"_s : inUse});
            QCOMPARE(shown(w.action(u"Exit1"_s)->icon(), 16),
                     inUse.isNull() ? builtIn : bitmap(skins() + u"Light/exit.bmp"_s));
            QCOMPARE(w.ws().preferences().theme(), inUse);
        }
    }
};

QTEST_MAIN(TestSkinCommands)
#include "tst_skincommands.moc"
