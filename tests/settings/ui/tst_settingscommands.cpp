// The preferences window (its controls over the preferences' table, OK, Cancel, the exclusions)
// and the "Theme" menu (what a skin changes, now and at the next start; a skin refused) on a real window.
#include "CabTestUtil.h"
#include "TestWindow.h"
#include "gui/ThemeIcons.h"
#include "settings/Preferences.h"
#include "settings/ui/SettingsCommands.h"
#include "settings/ui/SkinCommands.h"
#include "settings/ui/TOptionsForm.h"
#include "store/DataPaths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QToolButton>

using namespace Qt::StringLiterals;
using TestWindow::click;

class TestSettingsCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;
    const QString &data() const { return m_fx.data(); }

    TOptionsForm *form() const { return m_f->controller<SettingsCommands>()->form(); }
    template <typename T> T *control(const QString &name) const { return TestWindow::child<T>(form(), name); }
    Preferences &prefs() const { return m_f->ws().preferences(); }
    QString settingsFile() const { return DataPaths::settingsFile(data()); }
    void store(const QVariantMap &values) const
    {
        QSettings stored(settingsFile(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            stored.setValue(it.key(), it.value());
    }

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
        const QList<QAction *> items = themeMenu(w)->actions();
        auto found = std::find_if(items.cbegin(), items.cend(), [&](QAction *a) { return a->text() == caption; });
        return found == items.cend() ? nullptr : *found;
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
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    // Every control the table names shows its preference and changes it at once; Cancel puts back the first run.
    void controlsFollowThePreferences()
    {
        TestWindow::Window &f = m_fx.open();
        f.action(u"Preferences1"_s)->trigger();
        QVERIFY(form()->isVisible() && !f->isEnabled());

        const Preferences first;
        QStringList named;
        for (const Preferences::Item &item : Preferences::items()) {
            if (item.control.isEmpty())
                continue;
            named << item.control;
            const int v = first.get(item.id).toInt();
            QWidget *c = control<QWidget>(item.control);
            if (auto *box = qobject_cast<QCheckBox *>(c)) {
                QCOMPARE(box->isChecked(), v == 1);
                box->click();
            } else if (auto *combo = qobject_cast<QComboBox *>(c)) {
                QCOMPARE(combo->currentIndex(), v);
                combo->setCurrentIndex(0);
            } else if (auto *spin = qobject_cast<QSpinBox *>(c)) {
                QCOMPARE(spin->value(), v);
                spin->setValue(item.min - 1); // held to the range the command line holds it to
                QCOMPARE(prefs().get(item.id).toInt(), item.min);
                spin->setValue(50);
            } else {
                QListWidgetItem *row = qobject_cast<QListWidget *>(c)->item(item.id - Preferences::Filter0);
                QCOMPARE(row->checkState() == Qt::Checked, v == 1);
                row->setCheckState(v == 1 ? Qt::Unchecked : Qt::Checked);
            }
            QVERIFY2(prefs().get(item.id) != first.get(item.id), qPrintable(item.name));
        }
        // No control is left out of the table.
        for (const QWidget *c : form()->findChildren<QWidget *>())
            if (qobject_cast<const QCheckBox *>(c) || qobject_cast<const QComboBox *>(c) ||
                qobject_cast<const QSpinBox *>(c))
                QVERIFY2(named.contains(c->objectName()), qPrintable(c->objectName()));
        // The number counts only while the search is limited.
        QVERIFY(control<QSpinBox>(u"MaxSearch"_s)->isEnabled());

        click(form(), u"CancelButton"_s);
        QVERIFY(!form()->isVisible() && f->isEnabled());
        for (const Preferences::Item &item : Preferences::items())
            QCOMPARE(prefs().value(item.name), first.value(item.name));
        QVERIFY(!control<QSpinBox>(u"MaxSearch"_s)->isEnabled());
    }

    // OK stores the choices; Cancel puts back the dialog's own only, not the view style, skin or tree width.
    void okStoresThemAndCancelPutsBackWhatIsStored()
    {
        store({{u"Grids"_s, 0}, {u"Action"_s, 9}, {u"MaxResults"_s, -7}});
        m_fx.open();
        // A stored action outside the four chooses none; a stored limit shows as it stands.
        QCOMPARE(control<QComboBox>(u"ActionCombo"_s)->currentIndex(), -1);
        QCOMPARE(control<QSpinBox>(u"MaxSearch"_s)->value(), -7);
        ContentsView *view = (*m_f)->contentsPanel()->view();
        m_f->action(u"Details1"_s)->trigger();
        m_f->action(u"Preferences1"_s)->trigger();
        control<QCheckBox>(u"UnlimitedBox"_s)->click();
        control<QSpinBox>(u"MaxSearch"_s)->setValue(50);
        click(form(), u"OkButton"_s);
        Preferences saved;
        saved.load(settingsFile());
        QVERIFY(!form()->isVisible() && !saved.unlimited() && saved.maxResults() == 50);
        QCOMPARE(saved.viewStyle(), int(ContentsView::Details));

        m_f->action(u"LargeIcons1"_s)->trigger();
        prefs().setTheme(u"Picked"_s); // as choosing a skin from the "Theme" menu does
        QVERIFY(m_f->show());
        QSplitter *splitter = (*m_f)->findChild<QSplitter *>();
        splitter->setSizes({333, 400, 0});
        const int treeWidth = splitter->sizes().value(0);
        m_f->action(u"Preferences1"_s)->trigger();
        control<QCheckBox>(u"UnlimitedBox"_s)->click();
        control<QCheckBox>(u"GridBox"_s)->click();
        QVERIFY(view->gridLines()); // at once
        click(form(), u"CancelButton"_s);
        QVERIFY(!prefs().unlimited() && prefs().maxResults() == 50);
        QCOMPARE(view->viewStyle(), ContentsView::LargeIcons);
        QVERIFY(m_f->action(u"LargeIcons1"_s)->isChecked() && !view->gridLines());
        QCOMPARE(prefs().theme(), u"Picked"_s);
        QCOMPARE(splitter->sizes().value(0), treeWidth);
        QVERIFY((*m_f)->close());
        // Read as text: QSettings' cache of the file could answer for it.
        const QByteArray stored = CabTestUtil::readFile(settingsFile());
        QVERIFY2(stored.contains("\nTheme=Picked\n"), stored.constData());
        QVERIFY2(stored.contains("\nViewStyle=" + QByteArray::number(int(ContentsView::LargeIcons)) + '\n'),
                 stored.constData());
    }

    // Added at once for the next scan, the file written only on OK; removing asks first.
    void exclusions()
    {
        const QString file = DataPaths::exclusionsFile(data());
        TextCodec::writeLines(file, {u"*.tmp"_s});
        m_fx.open();
        m_f->action(u"Preferences1"_s)->trigger();
        auto *list = control<QListWidget>(u"ExcList"_s);
        for (const QString &typed : {u"*.dll"_s, QString(), u"*.tmp"_s}) { // an empty mask and one listed add nothing
            AppDialogs::pushInput(typed);
            click(form(), u"AddButton"_s);
        }
        QCOMPARE(prefs().exclusions(), (QStringList{u"*.tmp"_s, u"*.dll"_s}));
        // A mask that would fail every later scan is refused where it is typed.
        AppDialogs::clearShown();
        AppDialogs::pushInput(u"[a-]"_s);
        click(form(), u"AddButton"_s);
        QCOMPARE(AppDialogs::shownTexts().last(), u"'[a-]' is an invalid mask at (5)"_s);
        QCOMPARE(prefs().exclusions(), (QStringList{u"*.tmp"_s, u"*.dll"_s}));
        click(form(), u"CancelButton"_s);
        QCOMPARE(TextCodec::readLines(file), QStringList{u"*.tmp"_s});
        QCOMPARE(list->count(), 1);

        m_f->action(u"Preferences1"_s)->trigger();
        AppDialogs::clearShown();
        click(form(), u"RemoveButton"_s); // nothing selected: nothing asked
        QVERIFY(AppDialogs::shown().isEmpty());
        list->setCurrentRow(0);
        AppDialogs::pushAnswer(QMessageBox::Yes);
        click(form(), u"RemoveButton"_s);
        click(form(), u"OkButton"_s);
        QCOMPARE(AppDialogs::shown().size(), 1);
        QCOMPARE(TextCodec::readLines(file), QStringList());

        // With no file, a mask added and cancelled is gone too, and OK with nothing changed
        // writes no file; a mask added and kept is written.
        QVERIFY(QFile::remove(file));
        m_f->action(u"Preferences1"_s)->trigger();
        AppDialogs::pushInput(u"*.bak"_s);
        click(form(), u"AddButton"_s);
        click(form(), u"CancelButton"_s);
        QVERIFY(prefs().exclusions().isEmpty());
        m_f->action(u"Preferences1"_s)->trigger();
        click(form(), u"OkButton"_s);
        QVERIFY(!QFileInfo::exists(file));
        m_f->action(u"Preferences1"_s)->trigger();
        AppDialogs::pushInput(u"*.bak"_s);
        click(form(), u"AddButton"_s);
        click(form(), u"OkButton"_s);
        QCOMPARE(TextCodec::readLines(file), QStringList{u"*.bak"_s});
    }

    // The window opens on what the files hold now, and OK writes the exclusion list only when it was
    // changed there; a read-only window never changes it.
    void opensOnTheFilesAndKeepsAnotherProgramsExclusions_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("owner") << false;
        QTest::newRow("read-only") << true;
    }
    void opensOnTheFilesAndKeepsAnotherProgramsExclusions()
    {
        QFETCH(bool, readOnly);
        const QString file = DataPaths::exclusionsFile(data());
        m_fx.open();
        std::unique_ptr<TestWindow::Window> second;
        if (readOnly)
            second = std::make_unique<TestWindow::Window>(data());
        TestWindow::Window &w = readOnly ? *second : *m_f;
        TOptionsForm *options = w.controller<SettingsCommands>()->form();
        store({{u"MaxResults"_s, 777}, {u"Unlimited"_s, 0}});
        TextCodec::writeLines(file, {u"*.tmp"_s});
        w.action(u"Preferences1"_s)->trigger();
        QCOMPARE(TestWindow::child<QSpinBox>(options, u"MaxSearch"_s)->value(), 777);
        QCOMPARE(TestWindow::child<QListWidget>(options, u"ExcList"_s)->count(), 1);
        QCOMPARE(TestWindow::child<QWidget>(options, u"AddButton"_s)->isEnabled(), !readOnly);
        QCOMPARE(!TestWindow::child<QWidget>(options, u"ExcReadOnlyNote"_s)->isHidden(), readOnly);
        TextCodec::writeLines(file, {u"*.iso"_s}); // another program, while the window shows
        click(options, u"OkButton"_s);
        QCOMPARE(TextCodec::readLines(file), QStringList{u"*.iso"_s});
    }

    // "Save main window size and position" off: the middle, whatever is stored. No skins folder: no
    // "Theme" menu, the built-in drawings at every size.
    void theWindowStartsInTheMiddleWithoutSkins()
    {
        store({{u"SavePos"_s, 0}, {u"Left"_s, 40}});
        TestWindow::Window &w = m_fx.open();
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(w->frameGeometry().center().x(), desktop.center().x());
        QVERIFY(!themeMenu(w)->menuAction()->isVisible() && AppDialogs::shown().isEmpty());
        QVERIFY(!ThemeIcons::skinInUse() && !shown(w.action(u"AddDisc1"_s)->icon(), 24).isNull());
    }

    // Chosen, a skin shows its text and changes every command icon; at the next start, without its text.
    void choosingASkinChangesEveryCommandIcon()
    {
        copySkin(u"Light"_s, u"Light"_s);
        QDir().mkpath(skins() + u"R&B"_s);
        TestWindow::Window &w = m_fx.open();
        QCOMPARE(themeMenu(w)->actions().size(), 4); // the built-in icons, a separator, the two skins
        QVERIFY(item(w, u"R&&B"_s)->isCheckable());  // shown as "R&B", not as an access key
        item(w, u"Light"_s)->trigger();

        QCOMPARE(AppDialogs::shownTexts(),
                 QStringList{u"Light\nCrisp dark lines and clear colours for light desktop themes.\n"_s});
        QCOMPARE(checked(w), QStringList{u"Light"_s});
        // Actions, menus, the tool bar's and the compilation panel's buttons.
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
        } icons[] = {{"AddDisc1", 16, "add_disc_small"},   {"AddDisc1", 24, "add_disc_big"},
                     {"BackButton", 24, "go_up"},          {"Theme1", 16, "skin"},
                     {"FavoritesButton", 24, "favorites"}, {"BurnButton", 16, "burn"}};
        for (const auto &i : icons)
            QVERIFY2(shown(icon(QLatin1String(i.control)), i.size) ==
                         bitmap(skins() + u"Light/"_s + QLatin1String(i.file) + u".bmp"_s),
                     i.control);
        w.action(u"Exit1"_s)->trigger();
        AppDialogs::clearShown();
        TestWindow::Window &next = m_fx.open();
        QVERIFY(AppDialogs::shown().isEmpty());
        QCOMPARE(checked(next), QStringList{u"Light"_s});
        QCOMPARE(shown(next.action(u"Search1"_s)->icon(), 24), bitmap(skins() + u"Light/find_big.bmp"_s));

        // "Built-in Icons" leads back from the skin, and is stored as no theme for the next start.
        item(next, u"&Built-in Icons"_s)->trigger();
        QVERIFY(!ThemeIcons::skinInUse() && next.ws().preferences().theme().isEmpty());
        QCOMPARE(checked(next), QStringList{u"&Built-in Icons"_s});
        next.action(u"Exit1"_s)->trigger();
        TestWindow::Window &third = m_fx.open();
        // Built-in Icons is kept over the skin stored at this run's start.
        QVERIFY(!ThemeIcons::skinInUse());
        QCOMPARE(checked(third), QStringList{u"&Built-in Icons"_s});
    }

    // A skin that cannot be loaded whole changes nothing: the refusal, then its own text if any.
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

QTEST_MAIN(TestSettingsCommands)
#include "tst_settingscommands.moc"
