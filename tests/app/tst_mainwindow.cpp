// The main window as the program composes it: its start and end, and one row for each fault a user
// once met in it. What a command does with the catalogue is tested where its rule lives.
#include "CabTestUtil.h"
#include "LocalHttpServer.h"
#include "ScanFixture.h"
#include "TestWindow.h"
#include "acquire/FolderVolumeBackend.h"
#include "app/TSplashForm.h"
#include "backup/DatabaseBackup.h"
#include "backup/ui/BackupCommands.h"
#include "browser/ui/ContentsCommands.h"
#include "browser/ui/GroupTreeModel.h"
#include "browser/ui/GroupTreeView.h"
#include "browser/ui/ObjectInfoPanel.h"
#include "browser/ui/TPropertiesForm.h"
#include "browser/ui/TreePanel.h"
#include "compile/ui/CompilationPanel.h"
#include "compile/ui/CompileCommands.h"
#include "compile/ui/TCopyForm.h"
#include "core/FormatSize.h"
#include "core/TextCodec.h"
#include "core/Version.h"
#include "gui/TBusyForm.h"
#include "search/ui/SearchPanel.h"
#include "settings/ui/UpdateCommands.h"
#include "store/Catalogue.h"
#include "store/DataPaths.h"
#include "store/Favourites.h"
#include "store/TreeNames.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>

#include <csignal>

using namespace Qt::Literals::StringLiterals;
using CabTestUtil::readFile;

namespace
{

// The keys of a menu's submenus and commands ("none: " and the text for one without).
QStringList keysOf(const QMenu *menu, const ActionRegistry &registry)
{
    QStringList keys;
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator() || (!a->menu() && !registry.action(a->objectName())))
            continue;
        const QKeySequence key = QKeySequence::mnemonic(a->text());
        keys << (key.isEmpty() ? u"none: "_s + a->text() : key.toString());
    }
    return keys;
}

// Whether icon's fully opaque pixels appear unchanged somewhere in area of shot.
bool findsOpaquePixels(const QImage &shot, const QImage &icon, const QRect &area)
{
    for (int top = area.top(); top + icon.height() <= area.bottom() + 1; ++top)
        for (int left = area.left(); left + icon.width() <= area.right() + 1; ++left) {
            bool same = true;
            for (int y = 0; same && y < icon.height(); ++y)
                for (int x = 0; same && x < icon.width(); ++x)
                    if (qAlpha(icon.pixel(x, y)) == 255 && shot.pixel(left + x, top + y) != icon.pixel(x, y))
                        same = false;
            if (same)
                return true;
        }
    return false;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    QList<QUrl> m_opened;

    const QString &data() const { return m_fx.data(); }
    QString db() const { return m_fx.db(); }
    QStringList treeLines() const { return TextCodec::readLines(db() + u"groups.tree"_s); }
    QString program() const { return QStringLiteral(QUILLORY_BINARY_DIR "/quillory"); }

    QVariant stored(const QString &key, const QVariant &value = {}) const
    {
        QSettings settings(DataPaths::settingsFile(data()), QSettings::IniFormat);
        if (value.isValid())
            settings.setValue(key, value);
        return settings.value(key);
    }

public Q_SLOTS:
    void openUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase()
    {
        TestWindow::setUp();
        for (const QString &scheme : {u"file"_s, u"http"_s})
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
    }
    void cleanupTestCase()
    {
        for (const QString &scheme : {u"file"_s, u"http"_s})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    void init()
    {
        m_fx.init();
        m_opened.clear();
    }
    void cleanup()
    {
        m_fx.cleanup();
        VolumeBackend::setDefaultBackend(nullptr);
    }

    // --- Start and end. An empty folder: a new catalogue, nothing asked, and Exit writes it.
    void startsOnEmptyFolder()
    {
        QVERIFY(QDir(db()).removeRecursively());
        TestWindow::Window f(data());
        QVERIFY(AppDialogs::shown().isEmpty()); // no sample, no question
        QCOMPARE(f.form().size(), QSize(640, 480)); // the first run's size
        f.action(u"Exit1"_s)->trigger();
        QCOMPARE(treeLines(), QStringList{u"My Collection"_s});
    }

    void splashRunsTheInitialisation()
    {
        Composition app(data());
        TMainForm &f = app.window();
        QVERIFY(!app.workspace().catalogue().isLocked()); // the window alone touches nothing
        // Nothing listed yet (the first run's question waits here): nowhere to go up to, nothing to copy.
        for (const QString &name : {u"BackButton"_s, u"CopytoHDD1"_s})
            QVERIFY2(!f.actions().action(name)->isEnabled(), qPrintable(name));
        f.show();
        new TSplashForm(&f);
        QVERIFY(!f.isEnabled());
        QCOMPARE(f.statusText(), u"3 object(s), total size 9.52 KB"_s);
        QTRY_VERIFY(f.isEnabled()); // the splash closes itself after half a second
        f.close();
    }

    void secondWindowOnTheSameCatalogueIsReadOnly()
    {
        TestWindow::Window first(data());
        TestWindow::Window second(data());
        QVERIFY(second.ws().isReadOnly());
        QVERIFY(AppDialogs::shownTexts().last().contains(u"in use by another Quillory! program"_s));
        QVERIFY(!second.action(u"AddGroup1"_s)->isEnabled());
        // It is backed up as it stands in DB, the first window's saved change with it.
        first.tree().addChild(first.tree().root(), u"Saved By The First"_s, KindGroup);
        first.ws().catalogue().save();
        const QString archive = m_fx.path(u"read-only.cab"_s);
        AppDialogs::pushFileName(archive);
        second.action(u"ExportAllData1"_s)->trigger();
        QCOMPARE(AppDialogs::shownTexts().last(), u"Export Database complete."_s);
        const QString restored = m_fx.path(u"restored/"_s);
        QVERIFY(QDir().mkpath(restored));
        QCOMPARE(DatabaseBackup::importDatabase(archive, restored, {}), QString());
        QVERIFY(CabTestUtil::readFile(restored + u"groups.tree"_s).contains("Saved By The First"));
    }

    // Ended by a logout, a lost terminal or Ctrl+C, the program leaves as after File > Exit.
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
        QVERIFY2(QFileInfo(program()).isExecutable(), "build the quillory target first");
        const auto sorted = [](QStringList lines) {
            lines.sort();
            return lines;
        };
        const QStringList tree = sorted(treeLines());
        const QString home = m_fx.path(u"home"_s);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"HOME"_s, home);
        for (const QString &name :
             {u"XDG_CONFIG_HOME"_s, u"XDG_CACHE_HOME"_s, u"XDG_DATA_HOME"_s, u"XDG_STATE_HOME"_s, u"XDG_RUNTIME_DIR"_s})
            env.insert(name, home + u'/' + name);
        QVERIFY(QDir().mkpath(home + u"/XDG_RUNTIME_DIR"_s)); // private, as the runtime folder must be
        QFile::setPermissions(home + u"/XDG_RUNTIME_DIR"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString settings = home + u"/XDG_CONFIG_HOME/Tarnwick/Quillory!.conf"_s;
        const QString lock = db() + Catalogue::lockName();

        QProcess run;
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(program(), {u"--data"_s, data()});
        QVERIFY(run.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(lock), 60000); // the catalogue is open
        QVERIFY(!QFileInfo::exists(settings));
        QCOMPARE(::kill(static_cast<pid_t>(run.processId()), signal), 0);
        QVERIFY(run.waitForFinished(60000));
        QVERIFY(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0);
        QVERIFY(QFileInfo::exists(settings) && QFileInfo::exists(data() + u"search.dat"_s) && !QFileInfo::exists(lock));
        QCOMPARE(sorted(treeLines()), tree); // every node, perhaps in another order
    }

    void everySaveHappensAtClose()
    {
        {
            TestWindow::Window f(data());
            f->move(70, 80);
            f->resize(720, 520);
            f.action(u"ToggleObjectInfo1"_s)->trigger();
            f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
            f.action(u"AddLocationtoFavorites1"_s)->trigger();
            f.tree().setText(f.node(u"Empty Group"_s), u"Renamed"_s);
            f->close();
            QVERIFY2(AppDialogs::shown().isEmpty(), qPrintable(AppDialogs::shownTexts().join(u"|"_s)));
        }
        QCOMPARE(TextCodec::readLines(DataPaths::favouritesFile(data())),
                 QStringList{u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s});
        QVERIFY(treeLines().contains(u"\tRenamed"_s));

        TestWindow::Window next(data());
        QCOMPARE(next->pos(), QPoint(70, 80));
        QCOMPARE(next->width(), 720);
        QVERIFY(next->infoPanel()->isExpanded() && next.ws().favourites().count() == 1);
    }

    void theSavesComeInOrderAndEachOneGoesOn()
    {
        TestWindow::Window f(data());
        f.tree().setText(f.node(u"Empty Group"_s), u"Renamed"_s);
        // Every file the end of the run writes is in the way: each save fails in turn, in order.
        const QString tree = db() + u"groups.tree"_s, settings = DataPaths::settingsFile(data());
        QFile::remove(tree);
        QVERIFY(settings.startsWith(QDir::homePath() + u'/'));                              // this test's own home
        const auto clear = qScopeGuard([settings] { QDir(settings).removeRecursively(); }); // for the next tests
        for (const QString &path : {settings, data() + u"search.dat"_s, DataPaths::favouritesFile(data()), tree})
            QVERIFY(QDir().mkpath(path + u"/in the way"_s));
        // The renamed group cannot be saved: the window asks first, and stays on No.
        AppDialogs::pushAnswer(QMessageBox::No);
        QVERIFY(!f->close());
        QCOMPARE(AppDialogs::shownTexts().size(), 1);
        QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Warning); // Yes loses work: No is the default
        AppDialogs::clearShown();
        AppDialogs::pushAnswer(QMessageBox::Yes);
        QVERIFY(f->close());
        // The search history and the favourites, unchanged since their last save, lose nothing: not told.
        const QStringList texts = AppDialogs::shownTexts();
        const QStringList names{u"groups.tree"_s, u"preferences"_s};
        QCOMPARE(texts.size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QVERIFY2(texts.at(i).contains(names.at(i)), qPrintable(texts.at(i)));
        QVERIFY(texts.first().endsWith(u"Close anyway? What changed since the last save is lost."_s));
    }

    // Open groups kept by their text from one run to the next: both groups named Live come back.
    void openGroupsComeBackAtTheNextStart()
    {
        const auto isOpen = [](TestWindow::Window &f, TreeNode *n) {
            return f->treePanel()->view()->isExpanded(f->treePanel()->model()->indexOf(n));
        };
        const QString d = TestCatalogue::date(2024, 6, 1);
        TextCodec::writeLines(db() + u"groups.tree"_s,
                              {u"My Collection"_s, u"\tMusic"_s, u"\t\tLive"_s,
                               u"\t\t\tRock Disc|ROCK|1A2B3C4D|CDFS|5648|Loud~!music|Rock|1|"_s + d + u"|"_s,
                               u"\tLive"_s, u"\t\tPhotos Disc|PHOTOS|5E6F7081|UDF|4096|||2|"_s + d + u"|"_s});
        {
            TestWindow::Window f(data());
            f->treePanel()->view()->expandRecursively(f->treePanel()->model()->indexOf(f.node(u"Music"_s)), 1);
            f->close();
        }
        QCOMPARE(stored(u"AutoExpandGroups"_s), u"|My Collection|Music|Live|"_s);
        {
            TestWindow::Window f(data());
            TreeNode *music = f.node(u"Music"_s);
            QVERIFY(isOpen(f, music) && isOpen(f, music->child(0)) && isOpen(f, f.tree().root()->child(0)));
            // An export reads the tree back whole: what was open stays open.
            DatabaseBackup::exportDatabase(f.ws().catalogue(), m_fx.path(u"backup.cab"_s));
            QTRY_VERIFY(isOpen(f, f.node(u"Music"_s)) && isOpen(f, f.node(u"Music"_s)->child(0)));
            music = f.node(u"Music"_s);
            f->treePanel()->view()->collapse(f->treePanel()->model()->indexOf(music));
            f->close();
        }
        QCOMPARE(stored(u"AutoExpandGroups"_s), u"|My Collection|Live|Live|"_s); // the top Live sorts first
        // Matched without case, and only when asked.
        stored(u"AutoExpandGroups"_s, u"|my collection|MUSIC|"_s);
        {
            TestWindow::Window f(data());
            QVERIFY(isOpen(f, f.node(u"Music"_s)) && !isOpen(f, f.tree().root()->child(0)));
        }
        stored(u"AutoExpand"_s, 0);
        TestWindow::Window f(data());
        QVERIFY(!isOpen(f, f.node(u"Music"_s)));
    }

    // The program answers --version as quillory-cli does, without a display or a catalogue.
    void theProgramPrintsItsVersion()
    {
        QVERIFY2(QFileInfo(program()).isExecutable(), "build the quillory target first");
        const ProgramRun run = runProgram(program(), {u"--version"_s}, {}, {}, {u"QT_QPA_PLATFORM="_s, u"DISPLAY="_s});
        QCOMPARE(run.code, 0);
        QCOMPARE(QString::fromUtf8(run.out), u"Quillory! "_s + QuilloryVersion() + u'\n');
    }

    // --- Help: with no manual anywhere, F1 names every place it looked; the manual opens in the browser.
    void theManual()
    {
        TestWindow::Window &w = m_fx.open();
        const QString page = data() + u"help/index.html"_s;
        if (DataPaths::findResource(data(), u"help/index.html"_s).isEmpty()) {
            w.action(u"Contents1"_s)->trigger();
            QCOMPARE(AppDialogs::shown().size(), 1);
            const QString said = AppDialogs::shown().first().text;
            QVERIFY2(said.startsWith(u"The manual was not found."_s), qPrintable(said));
            const QStringList folders = DataPaths::resourceFolders(data()) << data();
            for (const QString &folder : folders)
                QVERIFY2(said.contains(folder + u"help/index.html"_s), qPrintable(said));
            AppDialogs::clearShown();
        }
        QVERIFY(QDir().mkpath(data() + u"help"_s) && QFile(page).open(QIODevice::WriteOnly));
        w.action(u"Contents1"_s)->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(page)});
        QVERIFY(AppDialogs::shown().isEmpty());
    }

    // --- Every title the name rule accepts goes whole through the window's commands.
    void titleGoesWhole_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow(":") << u"Holiday: 2003"_s;
        QTest::newRow(": at the end") << u"Tape 2:"_s;
        QTest::newRow("\\") << u"C:\\Backup\\2003"_s;
        QTest::newRow("<>&") << u"<Tom & Jerry>"_s;
        QTest::newRow("markup") << u"a<b>bold</b>"_s;
    }
    void titleGoesWhole()
    {
        QFETCH(QString, title);
        QVERIFY(TreeNames::TitleProblem(title).isNull());
        const QString tree = db() + u"groups.tree"_s;
        QByteArray text = readFile(tree);
        text.replace("Rock Disc|", title.toUtf8() + '|');
        QVERIFY(ScanFixture::writeFile(tree, text));
        const QString medium = m_fx.path(u"medium"_s);
        QVERIFY(ScanFixture::writeFile(medium + u"/ROCK/song.mp3"_s, "song"));
        FolderVolumeBackend drives;
        const QString drive = drives.addVolume(ScanFixture::volume(medium, 0x1A2B3C4D));
        drives.setPresent(drive, false);
        VolumeBackend::setDefaultBackend(&drives);

        TestWindow::Window &f = m_fx.open();
        f.nav().TreeChange(f.node(title));
        f.nav().ExplorerActivate(f.row(u"ROCK"_s));
        f.nav().ExplorerActivate(f.row(u"LIVE"_s));
        f.nav().BackButtonClick();
        QCOMPARE(f.nav().location().discLabel + f.nav().location().pathLabel, title + u":\\ROCK\\"_s);
        QCOMPARE(f.nav().listing().place(f.row(u"song.mp3"_s)).title(), title);
        // The header shows the title's characters, never markup made of them.
        auto *name = f->contentsPanel()->findChild<QLabel *>(u"NameLabel"_s);
        QCOMPARE(name->text(), title + u':');
        QVERIFY(name->sizeHint().width() >= name->fontMetrics().horizontalAdvance(name->text()));
        // So does the tree's hint.
        const QString hint = f->treePanel()->view()->currentIndex().data(Qt::ToolTipRole).toString();
        QTextDocument tip;
        Qt::mightBeRichText(hint) ? tip.setHtml(hint) : tip.setPlainText(hint);
        QVERIFY2(tip.toPlainText().contains(title), qPrintable(tip.toPlainText()));

        f.action(u"AddLocationtoFavorites1"_s)->trigger();
        QAction *favourite = f->actions().menu(u"FavoritesMenu"_s)->actions().constLast();
        QCOMPARE(favourite->iconText(), title + u":\\ROCK\\"_s); // "&&" shows as "&"
        f.nav().TreeChange(f.tree().root());
        favourite->trigger();
        QCOMPARE(f.nav().location().discLabel + f.nav().location().pathLabel, title + u":\\ROCK\\"_s);

        f.select({u"song.mp3"_s});
        f.action(u"ViewProperties1"_s)->trigger();
        TPropertiesForm *properties = f.controller<ContentsCommands>()->propertiesForm();
        QCOMPARE(properties->lineText(u"PathLabel"_s), u"Path: \\ROCK\\"_s);
        properties->close();

        auto *compile = f.controller<CompileCommands>();
        const QString dest = m_fx.path(u"dest"_s);
        QDir().mkpath(dest);
        auto copy = [&] {
            f.action(u"CopytoHDD1"_s)->trigger();
            compile->copyForm()->selectFolder(dest);
            compile->copyForm()->okButton()->click();
        };
        copy(); // the prompt's scripted answer is Cancel
        QCOMPARE(AppDialogs::shownTexts().constLast(),
                 u"Please insert disc labeled \""_s + title + u"\" into CD-Drive and press OK."_s);
        drives.setPresent(drive, true);
        copy();
        QCOMPARE(readFile(dest + u"/song.mp3"_s), QByteArray("song"));
        QCOMPARE(AppDialogs::shownTexts().constLast(), u"Copy to Hard-Drive completed!"_s);

        const QString playlist = m_fx.path(u"list.m3u"_s);
        AppDialogs::pushFileName(playlist);
        f.action(u"CreatePlaylist1"_s)->trigger();
        QCOMPARE(readFile(playlist), (drive + u"ROCK/song.mp3\r\n"_s).toUtf8());
    }

    // --- Keys: an access key of its own for each menu and command (once Alt+F, X did not exit).
    void everyMenuItemHasAKeyOfItsOwn()
    {
        TestWindow::Window &f = m_fx.open();
        const ActionRegistry &registry = f.form().actions();
        QList<const QMenu *> menus;
        for (const QAction *top : f->menuBar()->actions()) {
            QVERIFY2(!QKeySequence::mnemonic(top->text()).isEmpty(), qPrintable(top->text()));
            menus << top->menu();
        }
        for (const char *name : {"TreeMenu", "EntryMenu", "BackgroundMenu", "FavoritesMenu", "ViewButtonMenu"})
            menus << registry.menu(QString::fromLatin1(name));
        for (qsizetype i = 0; i < menus.size(); ++i) {
            const QStringList keys = keysOf(menus.at(i), registry);
            QVERIFY2(!keys.join(u' ').contains(u"none"_s), qPrintable(menus.at(i)->objectName() + keys.join(u',')));
            QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()).size(), keys.size());
            for (const QAction *a : menus.at(i)->actions())
                if (a->menu())
                    menus << a->menu();
        }
        QVERIFY(f.show());
        QTest::keyClick(&f.form(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_X);
        QTRY_VERIFY(!f->isVisible());
    }

    // A caption made at run time keeps its key and shows "&" as it is; a hint names the command's
    // own key (once "About (F2)" named rename's). Made: the caption set first, if any.
    void captionsAndHints_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("shown"); // the item's text after a caption is made, else its hint
        QTest::newRow("an ampersand in a name")
            << u"Report1"_s << u"Create Report for group \"R&B\""_s << u"&Create Report for group \"R&&B\""_s;
        QTest::newRow("the letter in either case")
            << u"BorrowCD1"_s << u"Ann has returned disc"_s << u"Ann has re&turned disc"_s;
        QTest::newRow("F10, not Preferences' F11")
            << u"ToggleObjectInfo1"_s << QString() << u"Toggle Object Info (F10)"_s;
        QTest::newRow("no key, not rename's F2") << u"About1"_s << QString() << u"About"_s;
        QTest::newRow("modifier") << u"Delete1"_s << QString() << u"Delete Object (Shift + Del)"_s;
        QTest::newRow("the list's key") << u"BackButton"_s << QString() << u"Go Up (Backspace)"_s;
    }
    void captionsAndHints()
    {
        QFETCH(QString, action);
        QFETCH(QString, made);
        QFETCH(QString, shown);
        TestWindow::Window &f = m_fx.open();
        if (!made.isNull())
            f.form().actions().setCaption(action, made);
        QCOMPARE(made.isNull() ? f.action(action)->toolTip() : f.action(action)->text(), shown);
    }

    // A closed dialog gives the focus back to the list (once the tree, and Down changed the listing).
    void focusBackOnTheListAfterADialog_data()
    {
        QTest::addColumn<QString>("opens");
        QTest::addColumn<int>("closeKey");
        QTest::newRow("Properties, Enter") << u"ViewProperties1"_s << int(Qt::Key_Return);
        QTest::newRow("Preferences (F11), Escape") << u"Preferences1"_s << int(Qt::Key_Escape);
        QTest::newRow("Create Report (F7), Escape") << u"Report1"_s << int(Qt::Key_Escape);
    }
    void focusBackOnTheListAfterADialog()
    {
        QFETCH(QString, opens);
        QFETCH(int, closeKey);
        TestWindow::Window &f = m_fx.open();
        QVERIFY(f.show());
        QApplication::setActiveWindow(&f.form());
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        ContentsView *view = f->contentsPanel()->view();
        view->selectRow(f.row(u"A.mp3"_s));
        view->currentView()->setFocus();
        QTRY_VERIFY(view->currentView()->hasFocus());

        f.action(opens)->trigger();
        QWidget *dialog = nullptr;
        QTRY_VERIFY((dialog = QApplication::activeWindow()) && dialog != &f.form());
        QTest::keyClick(dialog, Qt::Key(closeKey));
        QTRY_VERIFY(!dialog->isVisible());
        // Back in the main window (the window manager's part, done by hand offscreen).
        f->activateWindow();
        QTRY_COMPARE(QApplication::focusWidget(), view->currentView());
        // The arrow moves in the list; the tree and the listing stay.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
    }

    // --- Captions name the node their command acts on: after "Switch to Location" from a group's
    // search, the hit's disc (and its group), and the next search looks in that disc only. At the
    // minimum size, for a long group name, every control of the search band is usable, inside it.
    void captionsFollowTheCurrentNodeAndTheSearchBandFits()
    {
        TestWindow::Window &w = m_fx.open();
        auto *edit = w.form().findChild<QComboBox *>(u"SearchEdit"_s);
        auto *label = w.form().findChild<QLabel *>(u"SearchLabel"_s);
        auto *go = w.form().findChild<QPushButton *>(u"DoSearchButton"_s);
        const auto caption = [&w](const QString &action) { return w.action(action)->text().remove(u'&'); };

        w.nav().TreeChange(w.tree().root());
        QCOMPARE(label->text(), u"Search mask (look in group \"My Collection\"):"_s);
        edit->setEditText(u"song"_s);
        go->click();
        QCOMPARE(w.captions(), QStringList{u"song.mp3"_s});
        w.nav().Switch1Click(0);
        QCOMPARE(w.nav().currentNode(), w.node(u"Rock Disc"_s));

        QCOMPARE(label->text(), u"Search mask (look in disc \"Rock Disc\"):"_s);
        QCOMPARE(caption(u"Report1"_s), u"Create Report for disc \"Rock Disc\""_s);
        QCOMPARE(caption(u"AddDisc1"_s), u"Add Disc to \"Music\"..."_s);
        QCOMPARE(caption(u"AddGroup1"_s), u"Add Group to \"Music\"..."_s);
        edit->setEditText(u"pic"_s); // on the other disc only
        go->click();
        QVERIFY(w.captions().isEmpty());

        TreeNode *group = w.tree().addChild(w.tree().root(), u"A group with a rather long name indeed"_s, KindGroup);
        QVERIFY(w.show());
        w.form().resize(w.form().minimumSize());
        w.action(u"Search1"_s)->trigger();
        w.nav().TreeChange(group);
        auto *band = w.form().findChild<SearchPanel *>();
        QVERIFY(band->isVisible());
        QTRY_COMPARE(w.form().size(), QSize(640, 480));
        band->layout()->activate();
        QVERIFY(edit->width() >= edit->fontMetrics().horizontalAdvance(u"x"_s.repeated(15)));
        for (QWidget *c : band->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!c->isVisible())
                continue;
            QVERIFY2(band->rect().contains(c->geometry()), qPrintable(c->objectName()));
            const int least = c->minimumWidth() > 0 ? c->minimumWidth() : c->minimumSizeHint().width();
            QVERIFY2(c->width() >= least, qPrintable(c->objectName()));
        }
        // The caption keeps its whole text, shown shortened where the band has no room for it.
        QCOMPARE(label->text(), u"Search mask (look in group \"A group with a rather long name indeed\"):"_s);
        // Where the band has room, the caption has it too (the mask box is not all that grows).
        w.nav().TreeChange(w.tree().root());
        w.form().resize(960, 600);
        QTRY_COMPARE(w.form().width(), 960);
        band->layout()->activate();
        QVERIFY(label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(label->text()));
        // So has the category's longest caption, "All Files and Folders", beside its icon.
        auto *type = w.form().findChild<QComboBox *>(u"TypeBox"_s);
        QStyleOptionComboBox opt;
        opt.initFrom(type);
        const QRect field =
            type->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, type);
        QVERIFY2(field.width() >= type->iconSize().width() + type->fontMetrics().horizontalAdvance(type->currentText()),
                 qPrintable(QString::number(field.width())));

        // A disc's long title in the list's header leaves the tree its width.
        const int treeWidth = w.form().treePanel()->width();
        const TCD longTitle{.Title = u"Very long title word "_s.repeated(20).trimmed(), .Serial = u"0EB00002"_s};
        w.tree().addDisc(w.tree().root(), longTitle);
        TestCatalogue::packDisc(db(), longTitle.Serial, [](ContentsListWriter &, ContentsListWriter &) {});
        w.nav().TreeChange(w.node(longTitle.Title));
        QCOMPARE(w.form().findChild<QLabel *>(u"NameLabel"_s)->text(), longTitle.Title + u':');
        QTest::qWait(100); // the layouts settle in posted events
        QCOMPARE(w.form().width(), 960);
        QCOMPARE(w.form().treePanel()->width(), treeWidth);
    }

    // A size fits its column; a selected row keeps its icon (once blue vanished into the selection).
    void selectedRowKeepsItsIconAndSizeFits()
    {
        TestWindow::Window &w = m_fx.open();
        const TCD cd{.Title = u"Web"_s, .Serial = u"0EB00001"_s};
        w.tree().addDisc(w.tree().root(), cd);
        TestCatalogue::packDisc(db(), cd.Serial, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"index.html"_s, u"\\"_s, 1005, TestCatalogue::date(2024, 1, 1));
        });
        QVERIFY(w.show());
        w.action(u"Details1"_s)->trigger();
        w.nav().TreeChange(w.node(u"Web"_s));
        auto *details = w.form().contentsPanel()->view()->findChild<QTreeView *>(u"ExplorerDetails"_s);
        QVERIFY(details && details->isVisible());

        const int html = w.row(u"index.html"_s);
        const QModelIndex size = details->model()->index(html, 3);
        QCOMPARE(size.data().toString(), FormatSize(1005));
        QVERIFY(details->header()->sectionSize(3) >= details->sizeHintForIndex(size).width());

        const QModelIndex name = details->model()->index(html, 0);
        details->selectionModel()->select(name, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        details->setFocus();
        const QSize iconSize = details->iconSize().isValid() ? details->iconSize() : QSize(16, 16);
        const auto argb = [](const QPixmap &p) { return p.toImage().convertToFormat(QImage::Format_ARGB32); };
        QVERIFY(findsOpaquePixels(argb(details->viewport()->grab()),
                                  argb(name.data(Qt::DecorationRole).value<QIcon>().pixmap(iconSize)),
                                  details->visualRect(name)));
    }

    // --- Backup. An import keeps the run's favourites (pruned, also while their save fails) and history.
    void exportThenImportRoundTrip_data()
    {
        QTest::addColumn<bool>("saveFails");
        QTest::newRow("favourites saved") << false;
        QTest::newRow("their save failing") << true;
    }
    void exportThenImportRoundTrip()
    {
        QFETCH(bool, saveFails);
        const QString archive = m_fx.path(u"backup"_s);
        {
            TestWindow::Window f(data());
            f.tree().addChild(f.tree().root(), u"Added Before Export"_s, KindGroup);
            f.nav().TreeChange(f.node(u"Rock Disc"_s));
            AppDialogs::pushFileName(archive);
            f.action(u"ExportAllData1"_s)->trigger();
            QVERIFY(AppDialogs::shown().at(0).text.endsWith(u"Database Backup "_s +
                                                            QDate::currentDate().toString(u"dd-MM-yyyy"_s)));
            QCOMPARE(AppDialogs::shownTexts().last(), u"Export Database complete."_s);
            QVERIFY(!f.controller<BackupCommands>()->busyForm()->isVisible() && f->isEnabled());
            QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));

            AppDialogs::pushAnswer(QMessageBox::Yes);
            f.action(u"Delete2"_s)->trigger();
            f->close();
        }
        const QString favourites = DataPaths::favouritesFile(data());
        if (saveFails) {
            QFile::remove(favourites);
            QVERIFY(QDir().mkdir(favourites));
        }
        TestWindow::Window f(data());
        QVERIFY(!f.node(u"Rock Disc"_s));
        f.nav().LoadCD(u"Photos Disc"_s, u"5E6F7081"_s, false, u"\\"_s);
        f.action(u"AddLocationtoFavorites1"_s)->trigger();
        const QStringList kept = f.ws().favourites().lines();
        QCOMPARE(kept.size(), 1);
        f.ws().addFavourite({u"0BADF00D"_s, u"Not In The Archive:"_s, u"\\"_s});
        f.ws().setSearchHistory({u"*.mp3"_s, u"song"_s});
        f.nav().TreeChange(f.tree().root());
        AppDialogs::clearShown();

        AppDialogs::pushAnswer(QMessageBox::No);
        AppDialogs::pushFileName(archive + u".cab"_s);
        f.action(u"ImportDatabase1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().at(0).text, u"Quillory.cab"_s);
        QCOMPARE(AppDialogs::shown().at(1).kind, AppDialogs::Warning);
        QVERIFY(!f.node(u"Rock Disc"_s));
        f.action(u"Details1"_s)->trigger();
        AppDialogs::pushFileName(archive + u".cab"_s);
        AppDialogs::pushAnswer(QMessageBox::Yes);
        f.action(u"ImportDatabase1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().at(2).text, archive + u".cab"_s); // the last file is proposed again
        // The import reloads the catalogue, not the preferences: the style chosen this run stays.
        QVERIFY(f.action(u"Details1"_s)->isChecked());
        QCOMPARE(AppDialogs::shownTexts().last(), u"Import Database complete."_s);
        // Shown while the archive is unpacked and checked: a large one takes seconds.
        QCOMPARE(f->findChild<QLabel *>(u"BusyLabel"_s)->text(), u"Restoring archive. Please wait..."_s);
        QVERIFY(f.node(u"Added Before Export"_s));
        QCOMPARE(f.nav().currentNode(), f.tree().root());
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        QCOMPARE(f.nav().listing().count(), 6);
        QCOMPARE(f.ws().favourites().lines(), kept);
        QCOMPARE(f.ws().searchHistory(), (QStringList{u"*.mp3"_s, u"song"_s}));
        QVERIFY(f->actions().menu(u"FavoritesMenu"_s)->actions().constLast()->text().startsWith(u"Photos"_s));

        // The core's refusals reach the user.
        AppDialogs::pushFileName(db() + u"groups.tree"_s);
        f.action(u"ExportAllData1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().last().kind, AppDialogs::Error);
        QVERIFY(AppDialogs::shownTexts().last().contains(u"inside the database folder"_s) && f->isEnabled());

        QVERIFY(!saveFails || QDir().rmdir(favourites));
        QVERIFY(f->close()); // and the next run finds them
        Favourites stored;
        stored.load(favourites);
        QCOMPARE(stored.lines(), kept);
    }

    // "Check for Update" and "Visit Tarnwick Site" against a local server. Mode: the server's, -1 for
    // no address set. Kind -1: no box. Escape on the wait (busy, commands blocked) stops it at once.
    void updateCommands_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text"); // how the box begins
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("opened"); // on the server, after a yes
        QTest::addColumn<bool>("escape");
        const QString check = u"CheckforUpdate1"_s, noConnection = u"Could not connect to server."_s;
        const int ok = LocalHttpServer::Answer, silent = LocalHttpServer::Silent, warning = AppDialogs::Warning;
        QTest::newRow("newer") << check << ok << u"New version 999.0 is available for download!"_s
                               << int(AppDialogs::Confirmation) << u"/software/quillory_amd64.deb"_s << false;
        QTest::newRow("never answers") << check << silent << noConnection << warning << QString() << false;
        QTest::newRow("none set") << check << -1 << u"No update server is configured. Set UpdateServer in "_s
                                  << int(AppDialogs::Information) << QString() << false;
        QTest::newRow("visit site") << u"VisitTarnwickSite1"_s << ok << QString() << -1 << u"/"_s << false;
        QTest::newRow("escape on the wait") << check << silent << QString() << -1 << QString() << true;
    }
    void updateCommands()
    {
        QFETCH(QString, action);
        QFETCH(int, mode);
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, opened);
        QFETCH(bool, escape);
        LocalHttpServer server;
        server.setBody("ver=999.0");
        server.setMode(LocalHttpServer::Mode(qMax(mode, 0)));
        if (mode >= 0)
            stored(u"UpdateServer"_s, server.address());
        TestWindow::Window &w = m_fx.open();
        w.controller<UpdateCommands>()->setTimeout(escape ? 20000 : 300);
        if (kind == AppDialogs::Confirmation)
            AppDialogs::pushAnswer(QMessageBox::Yes);
        bool waitShown = false, busy = false, windowBlocked = false;
        QObject looking; // ends the look with the test, should the wait never come
        if (escape) {
            QVERIFY(w.show());
            QTimer::singleShot(200, &looking, [&] {
                auto *wait = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
                waitShown = wait && wait->isVisible() && wait->objectName() == "UpdateWait"_L1;
                busy = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
                windowBlocked = !w.action(action)->isEnabled();
                if (wait)
                    QTest::keyClick(wait, Qt::Key_Escape);
            });
        }
        QElapsedTimer clock;
        clock.start();
        w.action(action)->trigger();
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!escape || (waitShown && busy && windowBlocked));
        QVERIFY(!QApplication::overrideCursor());
        const QList<AppDialogs::Shown> shown = AppDialogs::shown();
        QCOMPARE(shown.size(), kind < 0 ? 0 : 1);
        QVERIFY(kind < 0 || (shown.first().text.startsWith(text) && int(shown.first().kind) == kind));
        QCOMPARE(m_opened, opened.isNull() ? QList<QUrl>() : QList<QUrl>{QUrl(server.address() + opened)});
        QVERIFY(w.action(action)->isEnabled()); // ready for the next time
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
