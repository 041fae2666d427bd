#include "TestCatalogue.h"
#include "gui/AppDialogs.h"
#include "app/TSplashForm.h"
#include "browser/ui/ContentsModel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/GroupTreeModel.h"
#include "browser/ui/GroupTreeView.h"
#include "browser/ui/MainActions.h"
#include "browser/ui/TMainForm.h"
#include "gui/TBusyForm.h"
#include "store/Catalogue.h"
#include "store/GroupTree.h"
#include "core/TextCodec.h"

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <memory>

class TestMainForm : public QObject
{
    Q_OBJECT

    QTemporaryDir *m_dir = nullptr;
    QString data() const { return m_dir->path() + QStringLiteral("/data/"); }
    QString db() const { return data() + QStringLiteral("DB/"); }

    std::unique_ptr<TMainForm> start()
    {
        auto form = std::make_unique<TMainForm>(data());
        form->FormCreate(nullptr);
        return form;
    }
    static QStringList treeLines(const QString &db) { return TextCodec::readLines(db + QStringLiteral("groups.tree")); }
    static QStringList captions(TMainForm &f)
    {
        QStringList out;
        for (int r = 0; r < f.listing().count(); ++r)
            out.append(f.listing().caption(r));
        return out;
    }
    static TreeNode *node(TMainForm &f, const QString &name) { return FindGroup(f.tree().root(), name); }
    static int row(TMainForm &f, const QString &caption) { return captions(f).indexOf(caption); }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        AppDialogs::setScripted(true);
    }
    void init()
    {
        m_dir = new QTemporaryDir;
        QFile::remove(DataPaths::settingsFile(data()));
        AppDialogs::clearShown();
        AppDialogs::clearAnswers();
    }
    void cleanup()
    {
        QCOMPARE(AppDialogs::pendingAnswers(), 0);
        delete m_dir;
    }

    void startsOnEmptyFolder()
    {
        auto f = start();
        QCOMPARE(f->windowTitle(), QStringLiteral("Quillory! 1.5"));
        QCOMPARE(f->minimumSize(), QSize(640, 480));
        QCOMPARE(f->size(), QSize(640, 480));
        QVERIFY(QFileInfo(db()).isDir());
        QVERIFY(AppDialogs::shown().isEmpty()); // no sample, no question
        QCOMPARE(f->tree().root()->text(), QStringLiteral("My Collection"));
        QCOMPARE(f->tree().root()->childCount(), 0);
        QCOMPARE(f->treeView()->currentNode(), f->tree().root());
        QCOMPARE(f->statusText(), QStringLiteral("0 object(s), total size 0.00 Bytes"));
        QVERIFY(!f->findChild<QWidget *>(QStringLiteral("CompilationPanel"))->isVisible());
        QVERIFY(f->findChild<QWidget *>(QStringLiteral("Explorer")));
        f->close();
        QCOMPARE(treeLines(db()), QStringList{QStringLiteral("My Collection")});
        QVERIFY(QFileInfo::exists(data() + QStringLiteral("search.dat")));
    }

    void firstRunSample_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }
    void firstRunSample()
    {
        QFETCH(bool, yes);
        QDir().mkpath(data());
        QVERIFY(QFile::copy(QStringLiteral(QUILLORY_SOURCE_DIR "/share/sample.cab"),
                            data() + QStringLiteral("sample.cab")));
        AppDialogs::pushAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
        {
            auto f = start();
            QCOMPARE(AppDialogs::shownTexts(),
                     QStringList{QStringLiteral("Welcome to Quillory! Do you want to import sample database?")});
            QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Information);
            if (yes) {
                QVERIFY(node(*f, QStringLiteral("Music")));
                QVERIFY(node(*f, QStringLiteral("Music Collection")));
                QVERIFY(QFileInfo::exists(db() + QStringLiteral("1A2B3C4D.dat")));
                QVERIFY(QFileInfo::exists(db() + QStringLiteral("groups.tree")));
            } else {
                QCOMPARE(f->tree().root()->childCount(), 0);
                QVERIFY(
                    QDir(db()).entryList({QStringLiteral("*.dat"), QStringLiteral("*.tree")}, QDir::Files).isEmpty());
            }
            f->close();
        }
        AppDialogs::clearShown();
        auto again = start();
        QVERIFY(AppDialogs::shown().isEmpty()); // asked only when the folder was new
        QCOMPARE(again->tree().root()->childCount() > 0, yes);
    }

    void startsOnPreparedCatalogueWithSplash()
    {
        TestCatalogue::prepared(data());
        TMainForm f(data());
        f.show();
        auto *splash = new TSplashForm(&f);
        QCOMPARE(splash->size(), QSize(300, 220));
        QVERIFY(splash->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!f.isEnabled());
        QVERIFY(f.busyForm());
        QCOMPARE(f.busyForm()->findChild<QLabel *>(QStringLiteral("BusyLabel"))->objectName(),
                 QStringLiteral("BusyLabel"));
        QCOMPARE(f.tree().root()->childCount(), 3);
        QCOMPARE(f.treeView()->currentNode(), f.tree().root());
        QCOMPARE(f.statusText(), QStringLiteral("3 object(s), total size 9.52 KB"));
        QTRY_VERIFY(f.isEnabled()); // the splash closes itself after half a second
        f.close();
    }

    void objectInfoSettingOpensPanel()
    {
        QDir().mkpath(data());
        {
            QSettings s(DataPaths::settingsFile(data()), QSettings::IniFormat);
            s.setValue(QStringLiteral("ObjectInfo"), 1);
        }
        auto f = start();
        QVERIFY(f->actions()->toggleObjectInfo->isChecked());
        f->ToggleInfoClick();
        QVERIFY(!f->actions()->toggleObjectInfo->isChecked());
        f->close();
        QSettings s(DataPaths::settingsFile(data()), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("ObjectInfo")).toInt(), 0);
    }

    void searchHistoryIsKept()
    {
        QDir().mkpath(data());
        TextCodec::writeLines(data() + QStringLiteral("search.dat"), {QStringLiteral("*.mp3"), QStringLiteral("a?c")});
        auto f = start();
        QCOMPARE(f->searchHistory(), (QStringList{QStringLiteral("*.mp3"), QStringLiteral("a?c")}));
        f->close();
        QCOMPARE(TextCodec::readLines(data() + QStringLiteral("search.dat")), f->searchHistory());
    }

    void treeChangeCaptions()
    {
        TestCatalogue::prepared(data());
        auto f = start();
        TreeNode *music = node(*f, QStringLiteral("Music"));
        f->tree().setText(music, QStringLiteral("Twenty chars exactly")); // 20
        TreeNode *rock = node(*f, QStringLiteral("Rock Disc"));
        f->TreeChange(rock);
        MainActions *a = f->actions();
        QCOMPARE(a->addGroup->text(), QStringLiteral("Add Group to \"Twenty chars exactly\"..."));
        QCOMPARE(a->addDisc->text(), QStringLiteral("Add Disc to \"Twenty chars exactly\"..."));
        QCOMPARE(f->addDiscCaption(), QStringLiteral("Add Disc to \"Twenty chars exactly\""));
        QCOMPARE(a->report->text(), QStringLiteral("Create Report for disc \"Rock Disc\""));
        QCOMPARE(f->findChild<QLabel *>(QStringLiteral("SearchLabel"))->text(),
                 QStringLiteral("Search mask (look in disc \"Rock Disc\"):"));

        f->tree().setText(music, QStringLiteral("Twenty-one characters"));
        f->TreeChange(music);
        QCOMPARE(a->addGroup->text(), QStringLiteral("Add Group to \"Twenty-one character...\"..."));
        QCOMPARE(f->addDiscCaption(), QStringLiteral("Add Disc to \"Twenty-one characters\""));
        QCOMPARE(a->report->text(), QStringLiteral("Create Report for group \"Twenty-one character...\""));
        QCOMPARE(f->findChild<QLabel *>(QStringLiteral("PathLabel"))->text(),
                 QStringLiteral("Group \"Twenty-one characters\""));
        QCOMPARE(f->findChild<QLabel *>(QStringLiteral("SearchLabel"))->text(),
                 QStringLiteral("Search mask (look in group \"Twenty-one characters\"):"));
        f->TreeChange(f->tree().root());
        QCOMPARE(f->findChild<QLabel *>(QStringLiteral("PathLabel"))->text(), QStringLiteral("My Collection"));
        QCOMPARE(f->treeModel()->data(f->treeModel()->indexOf(rock), Qt::ToolTipRole).toString(),
                 QStringLiteral("Titile: Rock Disc\nDisc Number: 1\nDescription: \nLoud\nmusic\nGenre: Rock"));
    }

    void addRenameDeleteLendReachTheFile()
    {
        TestCatalogue::prepared(data());
        {
            auto f = start();
            f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
            // Add to the disc's group: a taken name (a disc title, any case), a bad name, then a good one.
            AppDialogs::pushInput(QStringLiteral("rock disc"));
            AppDialogs::pushInput(QStringLiteral(" Leading"));
            AppDialogs::pushInput(QStringLiteral("a|b"));
            AppDialogs::pushInput(QStringLiteral("Jazz"));
            f->AddGroup1Click();
            QCOMPARE(AppDialogs::shown().at(0).caption, QStringLiteral("Add Group to \"Music\""));
            QCOMPARE(AppDialogs::shown().at(0).text, QStringLiteral("Group Name:"));
            QCOMPARE(AppDialogs::shown().at(1).text,
                     QStringLiteral("Group named \"rock disc\" already exists! Please enter different name."));
            QCOMPARE(AppDialogs::shown().at(1).kind, AppDialogs::Error);
            QCOMPARE(AppDialogs::shown().size(), 7);
            TreeNode *jazz = node(*f, QStringLiteral("Jazz"));
            QVERIFY(jazz);
            QCOMPARE(jazz->parent()->text(), QStringLiteral("Music"));
            QCOMPARE(f->treeView()->currentNode()->text(), QStringLiteral("Music"));
            QVERIFY(captions(*f).contains(QStringLiteral("Jazz")));

            // Rename: a case change of its own name is fine, another's name is not.
            AppDialogs::clearShown();
            f->TreeEdited(node(*f, QStringLiteral("Music")), QStringLiteral("MUSIC"));
            QVERIFY(AppDialogs::shown().isEmpty());
            f->TreeEdited(jazz, QStringLiteral("Photos Disc"));
            QCOMPARE(jazz->text(), QStringLiteral("Jazz"));
            f->TreeEdited(jazz, QStringLiteral("two\nlines"));
            QCOMPARE(jazz->text(), QStringLiteral("Jazz"));
            QCOMPARE(AppDialogs::shown().size(), 2);
            f->TreeEdited(node(*f, QStringLiteral("Photos Disc")), QStringLiteral("Photos 2024"));
            QCOMPARE(node(*f, QStringLiteral("Photos 2024"))->cd()->Title, QStringLiteral("Photos 2024"));

            // Lend, and the lent disc moves above the groups.
            TreeNode *photos = node(*f, QStringLiteral("Photos 2024"));
            f->TreeChange(photos);
            AppDialogs::pushInput(QStringLiteral("Alex | Smith"));
            f->BorrowCDClick();
            QCOMPARE(photos->kind(), int(KindLent));
            QCOMPARE(photos->row(), 0);

            // Delete: the root never, a group after Yes with its discs' contents files.
            AppDialogs::clearShown();
            f->TreeChange(f->tree().root());
            f->Delete1Click();
            QCOMPARE(AppDialogs::shownTexts(), QStringList{QStringLiteral("Cannot delete main goup!")});
            f->TreeChange(node(*f, QStringLiteral("MUSIC")));
            AppDialogs::pushAnswer(QMessageBox::No);
            f->Delete1Click();
            QVERIFY(node(*f, QStringLiteral("MUSIC")));
            AppDialogs::pushAnswer(QMessageBox::Yes);
            f->Delete1Click();
            QCOMPARE(AppDialogs::shownTexts().last(), QStringLiteral("Delete group \"MUSIC\"?"));
            QVERIFY(!node(*f, QStringLiteral("MUSIC")));
            QVERIFY(!node(*f, QStringLiteral("Rock Disc")));
            QVERIFY(!QFileInfo::exists(db() + QStringLiteral("1A2B3C4D.dat")));
            QCOMPARE(f->treeView()->currentNode(), f->tree().root());
            QVERIFY(!captions(*f).contains(QStringLiteral("MUSIC")));
            f->close();
        }
        const QStringList lines = treeLines(db());
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), QStringLiteral("My Collection"));
        QVERIFY(lines.at(1).startsWith(QStringLiteral("\tPhotos 2024|PHOTOS|5E6F7081|UDF|4096|")));
        QVERIFY(lines.at(1).endsWith(QStringLiteral("|Alex | Smith")));
        QCOMPARE(lines.at(2), QStringLiteral("\tEmpty Group"));
    }

    void returnDiscAndDeleteDisc()
    {
        TestCatalogue::prepared(data());
        auto f = start();
        TreeNode *rock = node(*f, QStringLiteral("Rock Disc"));
        f->TreeChange(rock);
        AppDialogs::pushInput(QString());
        f->BorrowCDClick();
        QCOMPARE(rock->kind(), int(KindLent)); // lent even to nobody, for this run
        f->BorrowCDClick();
        QCOMPARE(rock->kind(), int(KindDisc));
        AppDialogs::pushAnswer(QMessageBox::Yes);
        f->Delete1Click();
        QCOMPARE(AppDialogs::shownTexts().last(), QStringLiteral("Delete disc \"Rock Disc\"?"));
        QVERIFY(!QFileInfo::exists(db() + QStringLiteral("1A2B3C4D.dat")));
        QVERIFY(QFileInfo::exists(db() + QStringLiteral("5E6F7081.dat")));
        QCOMPARE(f->treeView()->currentNode()->text(), QStringLiteral("Music"));
        QCOMPARE(f->statusText(), QStringLiteral("0 object(s), total size 0.00 Bytes"));
    }

    void dragAndDropMovesSeveralNodes()
    {
        TestCatalogue::prepared(data());
        {
            auto f = start();
            f->resize(800, 600);
            f->show();
            QVERIFY(QTest::qWaitForWindowExposed(f.get()));
            GroupTreeView *view = f->treeView();
            view->expandAll();
            TreeNode *music = node(*f, QStringLiteral("Music"));
            TreeNode *empty = node(*f, QStringLiteral("Empty Group"));
            TreeNode *photos = node(*f, QStringLiteral("Photos Disc"));
            const auto iconPoint = [&](TreeNode *n) {
                const QRect r = view->visualRect(f->treeModel()->indexOf(n));
                return QPoint(r.left() + 8, r.center().y());
            };
            TreeNode *target = nullptr;
            QCOMPARE(view->hitTest(iconPoint(music), &target), TreeMoves::AsLastChild);
            QCOMPARE(target, music);
            QCOMPARE(
                view->hitTest(QPoint(view->visualRect(f->treeModel()->indexOf(music)).left() - 4, iconPoint(music).y()),
                              &target),
                TreeMoves::BeforeTarget);
            QCOMPARE(view->hitTest(QPoint(view->viewport()->width() - 2, iconPoint(music).y()), &target),
                     TreeMoves::Nowhere);

            // A present disc takes no drop; a group does.
            QVERIFY(!(f->treeModel()->flags(f->treeModel()->indexOf(photos)) & Qt::ItemIsDropEnabled));
            view->dropNodes({music, photos}, iconPoint(empty));
            QCOMPARE(music->parent(), empty);
            QCOMPARE(photos->parent(), empty);
            // Into its own subtree: refused.
            view->expandAll();
            view->dropNodes({empty}, iconPoint(music));
            QCOMPARE(empty->parent(), f->tree().root());
            // Nothing may stand beside the root.
            view->dropNodes({music}, QPoint(view->visualRect(f->treeModel()->indexOf(f->tree().root())).left() - 2,
                                            iconPoint(f->tree().root()).y()));
            QCOMPARE(music->parent(), empty);
            f->close();
        }
        const QStringList lines = treeLines(db());
        QCOMPARE(lines.at(1), QStringLiteral("\tEmpty Group"));
        QCOMPARE(lines.at(2), QStringLiteral("\t\tMusic"));
        QVERIFY(lines.at(3).startsWith(QStringLiteral("\t\t\tRock Disc|")));
        QVERIFY(lines.at(4).startsWith(QStringLiteral("\t\tPhotos Disc|")));
    }

    void listsRootSubfolderAndArchive()
    {
        TestCatalogue::prepared(data());
        auto f = start();
        f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
        QCOMPARE(captions(*f),
                 (QStringList{QStringLiteral(".."), QStringLiteral("Docs"), QStringLiteral("ROCK"),
                              QStringLiteral("pack.zip"), QStringLiteral("A.mp3"), QStringLiteral("b.txt")}));
        QCOMPARE(f->statusText(),
                 QStringLiteral(" 2 sub-directories and 3 files in this directory, total size 5.52 KB"));
        QCOMPARE(f->findChild<QLabel *>(QStringLiteral("NameLabel"))->text(), QStringLiteral("Rock Disc:"));
        QCOMPARE(f->findChild<QLabel *>(QStringLiteral("PathLabel"))->text(), QStringLiteral("\\"));
        const int mp3 = row(*f, QStringLiteral("A.mp3"));
        QCOMPARE(f->listing().text(mp3, 2), QStringLiteral("Rock Disc:\\"));
        QCOMPARE(f->listing().text(mp3, 3), QStringLiteral("2.00 KB"));
        QCOMPARE(f->listing().text(mp3, 5), QStringLiteral("Title: Song"));
        QCOMPARE(
            f->listing().info(mp3).mid(0, 6),
            (QStringList{QStringLiteral("Type: ") + f->listing().text(mp3, 1), QStringLiteral("Path: Rock Disc:\\"),
                         QStringLiteral("IntSize: 2048"), QStringLiteral("Size: 2.00 KB"),
                         QStringLiteral("Date: ") + f->listing().text(mp3, 4), QStringLiteral("SN: 1A2B3C4D")}));
        QCOMPARE(f->contentsModel()->data(f->contentsModel()->index(mp3, 0), Qt::ToolTipRole).toString(),
                 QStringLiteral("Type: ") + f->listing().text(mp3, 1) + QStringLiteral("\nSize: 2.00 KB\nDate: ") +
                     f->listing().text(mp3, 4));
        QVERIFY(
            !f->contentsModel()->data(f->contentsModel()->index(mp3, 0), Qt::DecorationRole).value<QIcon>().isNull());
        const int unpacks = f->discContents().unpackCount();

        f->ExplorerActivate(row(*f, QStringLiteral("ROCK")));
        QCOMPARE(f->location().pathLabel, QStringLiteral("\\ROCK\\"));
        QCOMPARE(captions(*f), (QStringList{QStringLiteral(".."), QStringLiteral("LIVE"), QStringLiteral("song.mp3")}));
        QCOMPARE(f->discContents().unpackCount(), unpacks); // same disc: from memory

        f->ExplorerActivate(0); // ".."
        f->ExplorerActivate(row(*f, QStringLiteral("pack.zip")));
        QVERIFY(f->location().archiveMode);
        QCOMPARE(captions(*f), (QStringList{QStringLiteral("inner.txt"), QStringLiteral("deep.png")})); // by type
        QCOMPARE(f->statusText(), QStringLiteral(" 2 files in this directory, total size 110.00 Bytes"));
        QCOMPARE(f->listing().text(row(*f, QStringLiteral("deep.png")), 2),
                 QStringLiteral("Rock Disc:\\pack.zip\\img\\"));
        QTest::keyClick(f->explorer()->currentView(), Qt::Key_Backspace);
        QCOMPARE(f->location().pathLabel, QStringLiteral("\\"));
        QVERIFY(!f->location().archiveMode);

        f->TreeChange(node(*f, QStringLiteral("Photos Disc")));
        QCOMPARE(f->discContents().unpackCount(), unpacks + 1);
    }

    void entryMenuRules()
    {
        TestCatalogue::prepared(data());
        auto f = start();
        f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
        MainActions *a = f->actions();
        // Opens the list's menu on the given entry and reports what "Execute File" and
        // "Switch to Location" showed.
        const auto menuFor = [&](const QString &caption) {
            f->explorer()->selectRow(row(*f, caption));
            std::pair<bool, bool> seen{false, false};
            QTimer::singleShot(0, a->entryMenu, [&] {
                seen = {a->execute->isVisible(), a->switchToLocation->isVisible()};
                a->entryMenu->close();
            });
            Q_EMIT f->explorer()->contextMenuRequested(QPoint(10, 10));
            return seen;
        };
        QCOMPARE(menuFor(QStringLiteral("b.txt")), std::make_pair(true, false));
        QCOMPARE(menuFor(QStringLiteral("pack.zip")), std::make_pair(true, true)); // an archive is still a file
        QCOMPARE(menuFor(QStringLiteral("Docs")), std::make_pair(false, true));
        f->ExplorerActivate(row(*f, QStringLiteral("pack.zip")));
        QCOMPARE(menuFor(QStringLiteral("inner.txt")), std::make_pair(false, false)); // inside the archive
    }

    void sortsByEveryKeyWithFoldersOnTop_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("ascending");
        QTest::newRow("Name") << 0 << QStringList{"A.mp3", "b.txt", "pack.zip"};
        QTest::newRow("Size") << 3 << QStringList{"b.txt", "pack.zip", "A.mp3"};
        QTest::newRow("Date") << 4 << QStringList{"pack.zip", "A.mp3", "b.txt"}; // same day: by name
        QTest::newRow("Path") << 2 << QStringList{"A.mp3", "b.txt", "pack.zip"};
    }
    void sortsByEveryKeyWithFoldersOnTop()
    {
        QFETCH(int, column);
        QFETCH(QStringList, ascending);
        TestCatalogue::prepared(data());
        auto f = start();
        f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
        f->setViewStyle(ContentsView::Details);
        f->ExplorerColumnClick(column);
        QCOMPARE(captions(*f).mid(0, 3), (QStringList{"..", "Docs", "ROCK"}));
        QCOMPARE(captions(*f).mid(3), ascending);
        QVERIFY(f->actions()->arrange[column]->isChecked());
        QCOMPARE(f->explorer()->detailsView()->header()->sortIndicatorSection(), column);
        QCOMPARE(f->explorer()->detailsView()->header()->sortIndicatorOrder(), Qt::AscendingOrder);

        f->ExplorerColumnClick(column);
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(captions(*f).mid(0, 3), (QStringList{"..", "ROCK", "Docs"}));
        QCOMPARE(captions(*f).mid(3), descending);
        QCOMPARE(f->explorer()->detailsView()->header()->sortIndicatorOrder(), Qt::DescendingOrder);

        f->arrangeIcons(column); // "Arrange Icons" is always ascending
        QCOMPARE(captions(*f).mid(3), ascending);
    }

    void sortKeepsTheSelection()
    {
        TestCatalogue::prepared(data());
        auto f = start();
        f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
        f->explorer()->selectRow(row(*f, QStringLiteral("b.txt")));
        f->ExplorerColumnClick(3);
        f->ExplorerColumnClick(3);
        QCOMPARE(f->explorer()->selectedRows(), QList<int>{row(*f, QStringLiteral("b.txt"))});
        QCOMPARE(f->explorer()->currentRow(), row(*f, QStringLiteral("b.txt")));
    }

    void viewStylesShareOneModelAndSelection()
    {
        TestCatalogue::prepared(data());
        auto f = start();
        ContentsView *v = f->explorer();
        QCOMPARE(v->listView()->model(), v->detailsView()->model());
        QCOMPARE(v->listView()->selectionModel(), v->detailsView()->selectionModel());
        QVERIFY(f->actions()->largeIcons->isChecked());
        f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
        v->selectRow(2);
        for (int i = 0; i < 4; ++i)
            f->cycleViewStyle();
        QCOMPARE(v->viewStyle(), ContentsView::LargeIcons);
        f->cycleViewStyle();
        QVERIFY(f->actions()->smallIcons->isChecked());
        QCOMPARE(v->viewStyle(), ContentsView::SmallIcons);
        f->actions()->details->trigger();
        QCOMPARE(v->currentView(), v->detailsView());
        QCOMPARE(v->selectedRows(), QList<int>{2});
        f->close();
        f.reset();
        auto again = start(); // the style is kept with the preferences
        QCOMPARE(again->explorer()->viewStyle(), ContentsView::Details);
        QVERIFY(again->actions()->details->isChecked());
    }

    void backspaceGoesUpToTheGroup()
    {
        TestCatalogue::prepared(data());
        auto f = start();
        f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
        f->ExplorerActivate(row(*f, QStringLiteral("ROCK")));
        f->ExplorerActivate(row(*f, QStringLiteral("LIVE")));
        QCOMPARE(f->location().pathLabel, QStringLiteral("\\ROCK\\LIVE\\"));
        f->BackButtonClick();
        QCOMPARE(f->location().pathLabel, QStringLiteral("\\ROCK\\"));
        QTest::keyClick(f->explorer()->currentView(), Qt::Key_Backspace);
        QCOMPARE(f->location().pathLabel, QStringLiteral("\\"));
        f->actions()->goUp->trigger();
        QVERIFY(f->location().isGroupListed());
        QCOMPARE(f->treeView()->currentNode()->text(), QStringLiteral("Music"));
        QCOMPARE(captions(*f), QStringList{QStringLiteral("Rock Disc")});
        f->BackButtonClick();
        QCOMPARE(f->treeView()->currentNode(), f->tree().root());
        // Entries of a group listing select their node.
        f->ExplorerActivate(row(*f, QStringLiteral("Music")));
        QCOMPARE(f->treeView()->currentNode()->text(), QStringLiteral("Music"));
        f->ExplorerActivate(row(*f, QStringLiteral("Rock Disc")));
        QCOMPARE(f->treeView()->currentNode()->text(), QStringLiteral("Rock Disc"));
        QCOMPARE(f->location().currentSerial, QStringLiteral("1A2B3C4D"));
    }

    void damagedDatabaseRemovesTheDisc()
    {
        TestCatalogue::prepared(data());
        {
            auto f = start();
            QVERIFY(QFile::remove(db() + QStringLiteral("1A2B3C4D.dat")));
            f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
            QCOMPARE(
                AppDialogs::shownTexts(),
                QStringList{QStringLiteral("Database is damaged! Some files nedeed for this operation are missing!\r\n"
                                           "CD labeled 1A2B3C4D will be deleted from database!")});
            QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Error);
            QVERIFY(!node(*f, QStringLiteral("Rock Disc")));
            QCOMPARE(f->treeView()->currentNode()->text(), QStringLiteral("Music"));
            QVERIFY(f->location().isGroupListed());

            // A contents file that is not a cabinet is reported and kept, with its disc.
            AppDialogs::clearShown();
            TextCodec::writeBytes(db() + QStringLiteral("5E6F7081.dat"), "not a cabinet");
            f->TreeChange(node(*f, QStringLiteral("Photos Disc")));
            QCOMPARE(AppDialogs::shown().size(), 1);
            QVERIFY(AppDialogs::shown().first().text.contains(
                QStringLiteral("Cabinet file does not have the correct format")));
            QVERIFY(node(*f, QStringLiteral("Photos Disc")));
            QVERIFY(QFileInfo::exists(db() + QStringLiteral("5E6F7081.dat")));
            f->close();
        }
        const QStringList lines = treeLines(db());
        QCOMPARE(lines.size(), 4);
        QVERIFY(!lines.join(u'\n').contains(QStringLiteral("Rock Disc")));
    }

    void exportThenImportRoundTrip()
    {
        TestCatalogue::prepared(data());
        const QString archive = m_dir->path() + QStringLiteral("/backup");
        {
            auto f = start();
            f->createWindows();
            f->tree().addChild(f->tree().root(), QStringLiteral("Added Before Export"), KindGroup);
            AppDialogs::pushFileName(archive);
            f->actions()->exportDatabase->trigger();
            QCOMPARE(AppDialogs::shown().at(0).what, QStringLiteral("save"));
            QCOMPARE(AppDialogs::shown().at(0).caption, QStringLiteral("Export Database"));
            QVERIFY(AppDialogs::shown().at(0).text.endsWith(
                QStringLiteral("Database Backup ") + QDate::currentDate().toString(QStringLiteral("dd-MM-yyyy"))));
            QCOMPARE(AppDialogs::shownTexts().last(), QStringLiteral("Export Database complete."));
            QVERIFY(QFileInfo::exists(archive + QStringLiteral(".cab")));
            QVERIFY(!f->busyForm()->isVisible());
            QVERIFY(f->isEnabled());

            // Change the catalogue, then bring the archive back.
            AppDialogs::pushAnswer(QMessageBox::Yes);
            f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
            f->Delete1Click();
            QVERIFY(!QFileInfo::exists(db() + QStringLiteral("1A2B3C4D.dat")));
            f->close();
        }
        AppDialogs::clearShown();
        auto f = start();
        QVERIFY(!node(*f, QStringLiteral("Rock Disc")));
        AppDialogs::pushAnswer(QMessageBox::No);
        AppDialogs::pushFileName(archive + QStringLiteral(".cab"));
        f->actions()->importDatabase->trigger();
        QCOMPARE(AppDialogs::shown().at(0).text, QStringLiteral("Quillory.cab"));
        AppDialogs::pushFileName(archive + QStringLiteral(".cab"));
        QCOMPARE(AppDialogs::shown().at(1).kind, AppDialogs::Warning);
        QVERIFY(!node(*f, QStringLiteral("Rock Disc")));
        f->actions()->details->trigger();
        AppDialogs::pushAnswer(QMessageBox::Yes);
        f->actions()->importDatabase->trigger();
        // The import reloads the catalogue, not the preferences: the style chosen this run stays.
        QCOMPARE(f->explorer()->viewStyle(), ContentsView::Details);
        QCOMPARE(AppDialogs::shownTexts().last(), QStringLiteral("Import Database complete."));
        QVERIFY(node(*f, QStringLiteral("Rock Disc")));
        QVERIFY(node(*f, QStringLiteral("Added Before Export")));
        f->TreeChange(node(*f, QStringLiteral("Rock Disc")));
        QCOMPARE(f->listing().count(), 6);

        // Not a cabinet: the error, and nothing changes.
        AppDialogs::clearShown();
        TextCodec::writeBytes(m_dir->path() + QStringLiteral("/bad.cab"), "garbage");
        AppDialogs::pushFileName(m_dir->path() + QStringLiteral("/bad.cab"));
        AppDialogs::pushAnswer(QMessageBox::Yes);
        f->actions()->importDatabase->trigger();
        QVERIFY(AppDialogs::shownTexts().last().startsWith(
            QStringLiteral("Cabinet file does not have the correct format")));
        QVERIFY(node(*f, QStringLiteral("Rock Disc")));
    }

    void secondWindowOnTheSameCatalogueWritesNothing()
    {
        TestCatalogue::prepared(data());
        auto first = start();
        auto second = start();
        QVERIFY(second->isReadOnly());
        QVERIFY(AppDialogs::shownTexts().last().contains(QStringLiteral("in use by another Quillory! program")));
        QVERIFY(!second->actions()->addGroup->isEnabled());
        second->tree().addChild(second->tree().root(), QStringLiteral("Stray"), KindGroup);
        second->close();
        QVERIFY(!treeLines(db()).join(u'\n').contains(QStringLiteral("Stray")));
        first->close();
    }

    void unreadableTreeIsNeverOverwritten()
    {
        TestCatalogue::prepared(data());
        QStringList lines = treeLines(db());
        lines.append(QStringLiteral("\t\t\t\tToo deep"));
        TextCodec::writeLines(db() + QStringLiteral("groups.tree"), lines);
        const QByteArray before = [&] {
            QFile f(db() + QStringLiteral("groups.tree"));
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        auto f = start();
        QVERIFY(f->isReadOnly());
        QVERIFY(AppDialogs::shownTexts().first().contains(QStringLiteral("Invalid level")));
        f->close();
        QFile file(db() + QStringLiteral("groups.tree"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
