// Every disc title the name rule accepts, ":" (even at its end), "\" and "<>&" among them, goes
// whole through the window: into a folder and back, Switch to Location, favourites, Object
// Properties, the disc prompt of Copy to Hard-Drive, the copy, the playlist and the burn.
#include "ScanFixture.h"
#include "TestWindow.h"
#include "acquire/FolderVolumeBackend.h"
#include "browser/ui/ContentsCommands.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/GroupTreeView.h"
#include "browser/ui/TPropertiesForm.h"
#include "browser/ui/TreePanel.h"
#include "compile/TCDBurner.h"
#include "compile/ui/CompilationPanel.h"
#include "compile/ui/CompileCommands.h"
#include "compile/ui/TBurnForm.h"
#include "compile/ui/TCopyForm.h"
#include "listing/SearchHits.h"
#include "store/TreeNames.h"

#include <QDirIterator>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextDocument>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

class TestDiscTitles : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup()
    {
        m_fx.cleanup();
        VolumeBackend::setDefaultBackend(nullptr);
    }

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
        // The prepared catalogue with its Rock Disc under that title, and a drive for the disc.
        const QString tree = m_fx.db() + u"groups.tree"_s;
        QByteArray text = readFile(tree);
        text.replace("Rock Disc|", title.toUtf8() + '|');
        QVERIFY(ScanFixture::writeFile(tree, text));
        const QString medium = m_fx.path(u"medium"_s);
        QVERIFY(ScanFixture::writeFile(medium + u"/ROCK/song.mp3"_s, "song"));
        FolderVolumeBackend drives;
        FolderVolume disc = ScanFixture::volume(medium, 0x1A2B3C4D);
        disc.present = false;
        const QString drive = drives.addVolume(disc);
        VolumeBackend::setDefaultBackend(&drives);

        TestWindow::Window &f = m_fx.open();
        ContentsView *view = f->contentsPanel()->view();
        auto selectOnly = [&](const QString &caption) {
            QVERIFY2(f.row(caption) >= 0, qPrintable(caption));
            view->selectRow(f.row(caption));
        };
        // Into a folder and back up, and from a search hit to its folder.
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
        // So does the tree's hint, read as a tooltip reads it.
        const QModelIndex node = f->treePanel()->view()->currentIndex();
        const QString hint = node.data(Qt::ToolTipRole).toString();
        QTextDocument tip;
        Qt::mightBeRichText(hint) ? tip.setHtml(hint) : tip.setPlainText(hint);
        QVERIFY2(tip.toPlainText().contains(title), qPrintable(tip.toPlainText()));
        auto hits = std::make_shared<SearchHits>();
        hits->add(hits->addDisc(title, u"1A2B3C4D"_s), ContentsEntry::File, "live.mp3", "\\ROCK\\LIVE\\", {}, 1, "");
        f.nav().showSearchResult(hits, u"1 found"_s);
        f.nav().Switch1Click(0);
        QCOMPARE(f.nav().location().discLabel + f.nav().location().pathLabel, title + u":\\ROCK\\LIVE\\"_s);

        // A favourite: its menu item reads as the place, and takes the user back there.
        f.nav().BackButtonClick();
        f.action(u"AddLocationtoFavorites1"_s)->trigger();
        QAction *favourite = f->actions().menu(u"FavoritesMenu"_s)->actions().constLast();
        QCOMPARE(favourite->iconText(), title + u":\\ROCK\\"_s); // "&&" shows as "&"
        f.nav().TreeChange(f.tree().root());
        favourite->trigger();
        QCOMPARE(f.nav().location().discLabel + f.nav().location().pathLabel, title + u":\\ROCK\\"_s);

        // Object Properties gives the folder on the disc.
        selectOnly(u"song.mp3"_s);
        f.action(u"ViewProperties1"_s)->trigger();
        TPropertiesForm *properties = f.controller<ContentsCommands>()->propertiesForm();
        QCOMPARE(properties->lineText(u"PathLabel"_s), u"Path: \\ROCK\\"_s);
        properties->close();

        // Copy to Hard-Drive asks for the disc by its whole title, then copies from it.
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

        // The playlist names the file where the drive has it.
        const QString playlist = m_fx.path(u"list.m3u"_s);
        AppDialogs::pushFileName(playlist);
        f.action(u"CreatePlaylist1"_s)->trigger();
        QCOMPARE(readFile(playlist), (drive + u"ROCK/song.mp3\r\n"_s).toUtf8());

        // The burn stages the file from the disc.
        if (QStandardPaths::findExecutable(u"xorriso"_s).isEmpty())
            QSKIP("xorriso is not installed");
        f.action(u"AddtoCompilation1"_s)->trigger();
        compile->panel()->findChild<QToolButton *>(u"BurnButton"_s)->click();
        TCDBurner *burner = compile->burner();
        QVERIFY(compile->burnForm()->isVisible());
        QCOMPARE(readFile(burner->BurnArea() + u"song.mp3"_s), QByteArray("song"));
        compile->burnForm()->close();
        burner->ClearFiles();
    }
};

QTEST_MAIN(TestDiscTitles)
#include "tst_disctitles.moc"
