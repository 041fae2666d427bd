// Add Disc, Edit Disc Entry and Verify Disc from the window, on folders standing in for drives; the rules
// themselves are the adder's, the verifier's and the drive list's, tested with them.
#include "CabTestUtil.h"
#include "RunProgram.h"
#include "ScanFixture.h"
#include "TestCatalogue.h"
#include "TestWindow.h"
#include "acquire/FolderVolumeBackend.h"
#include "acquire/ImageScanner.h"
#include "acquire/MediaWatcher.h"
#include "acquire/VolumeProbe.h"
#include "acquire/ui/DiscCommands.h"
#include "acquire/ui/DriveControls.h"
#include "acquire/ui/TCDForm.h"
#include "acquire/ui/TNewForm.h"
#include "acquire/ui/TVerifyForm.h"
#include "acquire/ui/VerifyCommands.h"
#include "browser/ui/GroupTreeModel.h"
#include "browser/ui/GroupTreeView.h"
#include "browser/ui/TreePanel.h"
#include "core/FormatSize.h"
#include "gui/TBusyForm.h"
#include "settings/Preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;
using ScanFixture::volume;
using TestWindow::child;
using TestWindow::click;

class TestDiscCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<FolderVolumeBackend> m_backend;
    QString m_cd, m_stick; // drive texts
    QList<QUrl> m_opened;  // what the desktop's file manager was asked to show, by "Explore"

    const QString &data() const { return m_fx.data(); }
    QString db() const { return m_fx.db(); }
    QStringList dbFiles() const { return QDir(db()).entryList(QDir::Files, QDir::Name); }

    static QString text(QWidget *form, const QString &name) { return child<QLineEdit>(form, name)->text(); }
    static TNewForm *openAdd(TestWindow::Window &f)
    {
        f.action(u"AddDisc1"_s)->trigger();
        TNewForm *form = f.controller<DiscCommands>()->newForm();
        if (!form->isVisible())
            qFatal("the Add Disc dialog did not open");
        return form;
    }
    // The fields the dialog proposes, as one line.
    static QString proposed(QWidget *form)
    {
        QStringList fields{QString::number(child<QSpinBox>(form, u"NumberEdit"_s)->value())};
        for (const char *name : {"LabelEdit", "SerialEdit", "FSEdit", "SpaceEdit", "TitleEdit"})
            fields << text(form, QLatin1String(name));
        return fields.join(u'|');
    }
    // What a failed or refused add must leave as it was.
    QStringList state(TestWindow::Window &f) const
    {
        return QStringList{CDToStr(*f.node(u"Rock Disc"_s)->cd()), QString::number(f.tree().nodeCount()),
                           QString::number(qHash(CabTestUtil::readFile(db() + u"1A2B3C4D.dat"_s)))} +
               dbFiles();
    }

public Q_SLOTS:
    void openUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        m_fx.init();
        const QDateTime when(QDate(2004, 3, 1), QTime(10, 20, 30));
        const QString cd = m_fx.path(u"cd"_s), stick = m_fx.path(u"R&B stick"_s);
        QVERIFY(ScanFixture::writeFile(cd + u"/a.txt"_s, "12345", when));
        QVERIFY(ScanFixture::writeFile(cd + u"/MUSIC/b.txt"_s, "b", when));
        QVERIFY(ScanFixture::writeFile(cd + u"/MUSIC/LIVE/c.txt"_s, "c", when));
        QVERIFY(ScanFixture::writeFile(stick + u"/photo.txt"_s, "p", when));
        m_backend = std::make_unique<FolderVolumeBackend>();
        m_cd = m_backend->addVolume(volume(cd, 0x0A1B2C3D));
        m_stick = m_backend->addVolume(volume(stick, 0x22223333, DriveKind::Removable));
        VolumeBackend::setDefaultBackend(m_backend.get());
    }
    void cleanup()
    {
        m_fx.cleanup();
        VolumeBackend::setDefaultBackend(nullptr);
        m_backend.reset();
    }

    void addsUnderTheGroupOrBesideTheDisc()
    {
        TestWindow::Window f(data());
        f.nav().TreeChange(f.node(u"Empty Group"_s));
        TNewForm *form = openAdd(f);
        QCOMPARE(form->windowTitle(), u"Add Disc to \"Empty Group\""_s);
        QVERIFY(!f->isEnabled());
        QCOMPARE(proposed(form), u"3|AUDIO_CD_1|0A1B2C3D|CDFS|"_s + FormatSize(2048 * 100) + u"|Audio Cd 1"_s);

        QDesktopServices::setUrlHandler(u"file"_s, this, "openUrl");
        click(form, u"ExploreButton"_s);
        QDesktopServices::unsetUrlHandler(u"file"_s);
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(m_cd)});

        child<QLineEdit>(form, u"GenreEdit"_s)->setText(u"Pop"_s);
        child<QPlainTextEdit>(form, u"DescEdit"_s)->setPlainText(u"one\ntwo"_s);
        click(form, u"AddButton"_s);
        QVERIFY(!form->isVisible() && !form->busyForm()->isVisible() && f->isEnabled());
        TreeNode *added = FindCD(f.tree().root(), u"0A1B2C3D"_s);
        QCOMPARE(added->parent(), f.node(u"Empty Group"_s));
        QCOMPARE(CDToStr(*added->cd()),
                 u"Audio Cd 1|AUDIO_CD_1|0A1B2C3D|CDFS|7|one~!two|Pop|3|"_s + added->cd()->Date + u'|');
        QCOMPARE(f.nav().currentNode(), f.node(u"Empty Group"_s));
        QVERIFY(f.captions().contains(u"Audio Cd 1"_s));
        QCOMPARE(m_backend->ejected(), QStringList{m_cd}); // "Eject disc on complete scan"

        // With a disc selected, the new one goes beside it; the drive is picked in the list.
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        form = openAdd(f);
        QCOMPARE(form->windowTitle(), u"Add Disc to \"Music\""_s);
        child<QComboBox>(form, u"DrivesBox"_s)->setCurrentIndex(1);
        Q_EMIT child<QComboBox>(form, u"DrivesBox"_s)->activated(1);
        QCOMPARE(text(form, u"SerialEdit"_s), u"22223333"_s);
        child<QCheckBox>(form, u"EjectBox"_s)->setChecked(false);
        click(form, u"AddButton"_s);
        QCOMPARE(FindCD(f.tree().root(), u"22223333"_s)->parent(), f.node(u"Music"_s));
        QVERIFY(!f.ws().preferences().eject()); // the box's state is kept
        QCOMPARE(m_backend->ejected().size(), 1);

        // A disc the catalogue has shows its entry's details, and an update keeps them, and whom
        // the disc is lent to.
        TreeNode *stick = FindCD(f.tree().root(), u"22223333"_s);
        TCD lent = *stick->cd();
        lent.Title = u"Stick"_s;
        lent.Description = u"one~!two"_s;
        lent.BorrowedTo = u"Kim"_s;
        f.tree().setCD(stick, lent);
        f.tree().setKind(stick, KindLent);
        form = openAdd(f); // on the stick's drive, chosen last
        QCOMPARE(text(form, u"TitleEdit"_s) + u'|' + child<QPlainTextEdit>(form, u"DescEdit"_s)->toPlainText(),
                 u"Stick|one\ntwo"_s);
        AppDialogs::pushAnswer(QMessageBox::Yes); // "Disc is already in database. Do you want to update entry?"
        click(form, u"AddButton"_s);
        stick = FindCD(f.tree().root(), u"22223333"_s);
        QCOMPARE(stick->cd()->Title + u'|' + stick->cd()->Description + u'|' + stick->cd()->BorrowedTo,
                 u"Stick|one~!two|Kim"_s);

        // Another is titled from its label, corrected or not as the preference says.
        f.tree().removeNode(stick);
        f.ws().preferences().setCorrectLabel(false);
        QCOMPARE(text(openAdd(f), u"TitleEdit"_s), u"AUDIO_CD_1"_s);
        click(form, u"CancelButton"_s);

        // Eject items for the drives, before the separator above "Exit"; an "&" in a path is shown.
        QStringList items;
        for (const QAction *a : f->menuBar()->findChild<QMenu *>(u"File1"_s)->actions())
            items.append(a->isSeparator() ? u"-"_s : a->text());
        QCOMPARE(items.mid(items.size() - 4),
                 (QStringList{u"Eject Drive "_s + m_cd, u"Eject Drive "_s + QString(m_stick).replace(u"&"_s, u"&&"_s),
                              u"-"_s, u"E&xit"_s}));
        f.controller<DriveControls>()->ejectItems().at(1)->trigger();
        QTRY_COMPARE(m_backend->ejected(), (QStringList{m_cd, m_stick}));
    }

    // An image file in place of a drive: the dialog filled from the probe; a file that is no image opens nothing.
    void addsADiscFromAnImage()
    {
        const QString image = m_fx.path(u"disc.iso"_s);
        if (!ScanFixture::run(m_fx.path(u"cd"_s), u"xorriso"_s,
                              {u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-J"_s, u"-V"_s, u"HOLIDAY_26"_s, u"-o"_s, image,
                               m_fx.path(u"cd"_s)}))
            QSKIP("xorriso is missing or failed");
        const QString serial = VolumeProbe::serialText(VolumeProbe::probeFile(image).serial);
        TestWindow::Window f(data());
        AppDialogs::pushFileName(image);
        f.action(u"AddDiscFromImage1"_s)->trigger();
        TNewForm *form = f.controller<DiscCommands>()->newForm();
        QVERIFY(form->isVisible());
        QCOMPARE(proposed(form),
                 u"3|HOLIDAY_26|"_s + serial + u"|CDFS|"_s + FormatSize(QFileInfo(image).size()) + u"|Holiday 26"_s);
        QVERIFY(!child<QComboBox>(form, u"DrivesBox"_s)->isEnabled());
        click(form, u"AddButton"_s);
        QVERIFY(!form->isVisible());
        const TreeNode *added = FindCD(f.tree().root(), serial);
        QVERIFY(added);
        QCOMPARE(added->cd()->Size, 7); // a.txt, b.txt, c.txt
        QVERIFY(m_backend->ejected().isEmpty());
        // The image is done with: an unknown disc arriving opens the dialog on its own drive.
        f->show();
        m_backend->setPresent(m_stick, false);
        QTRY_COMPARE(f->statusBar()->findChild<QLabel *>(u"DrivePanel2"_s)->toolTip(), m_stick + u" empty"_s);
        m_backend->setPresent(m_stick, true);
        QTRY_VERIFY(form->isVisible());
        QCOMPARE(text(form, u"SerialEdit"_s), u"22223333"_s);
        click(form, u"CancelButton"_s);
        QCOMPARE(text(openAdd(f), u"SerialEdit"_s), u"22223333"_s); // the drive last chosen
        QVERIFY(child<QComboBox>(form, u"DrivesBox"_s)->isEnabled());
        click(form, u"CancelButton"_s);

        AppDialogs::clearShown();
        AppDialogs::pushFileName(m_fx.path(u"cd/a.txt"_s));
        f.action(u"AddDiscFromImage1"_s)->trigger();
        QVERIFY(!form->isVisible());
        QVERIFY2(AppDialogs::shownTexts().last().startsWith(u"Cannot read the disc image"_s),
                 qPrintable(AppDialogs::shownTexts().join(u" / "_s)));
    }

    // One refused title in each dialog (the rules are the tree's and the adder's), and one change.
    void titleRulesInBothDialogs()
    {
        TestWindow::Window f(data());
        const QStringList before = dbFiles();
        TNewForm *form = openAdd(f);
        auto *title = child<QLineEdit>(form, u"TitleEdit"_s);
        // A title of blanks only is refused too: "groups.tree" would read it as indentation.
        title->setText(u"   "_s);
        child<QLineEdit>(form, u"GenreEdit"_s)->setFocus();
        click(form, u"AddButton"_s);
        QCOMPARE(AppDialogs::shown().size(), 1);
        QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Error);
        QVERIFY(form->isVisible());
        QCOMPARE(form->focusWidget(), title);
        QVERIFY(!FindCD(f.tree().root(), u"0A1B2C3D"_s));
        QCOMPARE(dbFiles(), before);
        click(form, u"CancelButton"_s);
        QVERIFY(f->isEnabled());

        // A double-click on a disc in the tree opens the Edit Disc Entry dialog.
        QVERIFY(f.show());
        GroupTreeView *tree = f->treePanel()->view();
        const QRect photos = tree->visualRect(f->treePanel()->model()->indexOf(f.node(u"Photos Disc"_s)));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, photos.center());
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, photos.center());
        TCDForm *edit = f.controller<DiscCommands>()->cdForm();
        QVERIFY(edit->isVisible());
        QCOMPARE(child<QLabel>(edit, u"BorrowLabel"_s)->text(), u"Disc is present."_s);
        AppDialogs::clearShown();
        child<QLineEdit>(edit, u"TitleEdit"_s)->setText(u"x|y"_s);
        click(edit, u"ChangeButton"_s);
        QCOMPARE(AppDialogs::shownTexts(), QStringList{u"Disc title cannot contain \"|\" character!"_s});
        QVERIFY(edit->isVisible());
        QCOMPARE(f.node(u"Photos Disc"_s)->cd()->Title, u"Photos Disc"_s);
        // A title that will do, and a description of two lines, go into the record.
        child<QLineEdit>(edit, u"TitleEdit"_s)->setText(u"Photos Live"_s);
        child<QPlainTextEdit>(edit, u"DescEdit"_s)->setPlainText(u"a\nb"_s);
        click(edit, u"ChangeButton"_s);
        QVERIFY(!edit->isVisible() && f->isEnabled());
        QCOMPARE(f.node(u"Photos Live"_s)->cd()->Description, u"a~!b"_s);
    }

    void mediaComingAndGoing()
    {
        m_backend->setPresent(m_stick, false);
        TestWindow::Window f(data());
        f->show();
        m_backend->setPresent(m_stick, true);
        // The watcher's notice of the stick comes once its burst has settled.
        QTRY_VERIFY(f->findChild<TNewForm *>() && f->findChild<TNewForm *>()->isVisible());
        TNewForm *form = f->findChild<TNewForm *>();
        // The arrival picked the drive that got the disc, not the one selected before.
        QCOMPARE(child<QComboBox>(form, u"DrivesBox"_s)->currentText(), m_stick);
        QCOMPARE(text(form, u"SerialEdit"_s), u"22223333"_s);
        auto *stickPanel = f->statusBar()->findChild<QLabel *>(u"DrivePanel2"_s);
        QCOMPARE(stickPanel->toolTip(), m_stick + u" present"_s);
        // More drives than the bar has room for: those that fit show side by side, the first at
        // least, and none covers the status text or another.
        auto *firstPanel = f->statusBar()->findChild<QLabel *>(u"DrivePanel1"_s);
        const QSize size = f->size();
        f->resize(320, size.height());
        QTRY_VERIFY(!stickPanel->isVisible());
        QVERIFY(firstPanel->isVisible());
        f->resize(2000, size.height());
        QTRY_VERIFY(stickPanel->isVisible());
        QVERIFY(stickPanel->geometry().left() > firstPanel->geometry().right());
        f->resize(size);
        // Squeezed by many drives, the panel shortens its text to its room and keeps the state.
        stickPanel->resize(80, stickPanel->height());
        QVERIFY(stickPanel->text().contains(u'…') && stickPanel->text().endsWith(u" present"_s));

        // Unmounted and mounted again while the dialog is open: fields, title and panel follow.
        child<QLineEdit>(form, u"GenreEdit"_s)->setText(u"Kept"_s);
        m_backend->setPresent(m_stick, false);
        QTRY_COMPARE(stickPanel->toolTip(), m_stick + u" empty"_s);
        QCOMPARE(text(form, u"SerialEdit"_s) + text(form, u"TitleEdit"_s), QString());
        m_backend->setPresent(m_stick, true);
        QTRY_COMPARE(text(form, u"SerialEdit"_s), u"22223333"_s);
        QCOMPARE(text(form, u"TitleEdit"_s) + text(form, u"GenreEdit"_s), u"Audio Cd 1Kept"_s);
        QCOMPARE(stickPanel->toolTip(), m_stick + u" present"_s);
        click(form, u"CancelButton"_s);


        // A disc the catalogue knows updates the fields but does not open the dialog.
        FolderVolume known = volume(m_fx.path(u"stick"_s), 0x1A2B3C4D, DriveKind::Removable);
        known.present = false;
        m_backend->setVolume(m_stick, known);
        m_backend->setPresent(m_stick, false);
        QTRY_COMPARE(stickPanel->toolTip(), m_stick + u" empty"_s);
        m_backend->setPresent(m_stick, true);
        QTRY_COMPARE(text(form, u"SerialEdit"_s), u"1A2B3C4D"_s);
        QVERIFY(!form->isVisible() && f->isEnabled());

        // The drive itself goes (a loop device detached) while the dialog shows it: no other drive is
        // offered in its place, until the user opens the dialog again.
        QVERIFY(ScanFixture::writeFile(m_fx.path(u"loop/x.txt"_s), "x", QDateTime::currentDateTime()));
        const QString loop = m_backend->addVolume(volume(m_fx.path(u"loop"_s), 0x44445555, DriveKind::Removable));
        m_backend->setPresent(loop, true);
        QTRY_COMPARE(text(form, u"SerialEdit"_s), u"44445555"_s);
        QVERIFY(form->isVisible());
        m_backend->removeVolume(loop);
        QTRY_COMPARE(text(form, u"SerialEdit"_s), QString());
        QCOMPARE(child<QComboBox>(form, u"DrivesBox"_s)->currentIndex(), -1);
        child<QLineEdit>(form, u"TitleEdit"_s)->setText(u"Loop"_s);
        AppDialogs::clearShown();
        for (const char *button : {"EjectButton", "ExploreButton", "AddButton"})
            click(form, QString::fromLatin1(button));
        QCOMPARE(AppDialogs::shownTexts(), QStringList(3, DiscAdder::noDriveChosenMessage()));
        click(form, u"RefreshButton"_s);
        QCOMPARE(child<QComboBox>(form, u"DrivesBox"_s)->currentText(), m_cd);
        click(form, u"CancelButton"_s);
        f.action(u"AddDisc1"_s)->trigger();
        QCOMPARE(child<QComboBox>(form, u"DrivesBox"_s)->currentText(), m_cd);
        click(form, u"CancelButton"_s);
    }

    // A notice of no new medium opens nothing; nor does a disc while a question waits (the fault: the dialog came
    // up over the offer of the sample catalogue), before the start-up window has gone, or while the window is hidden.
    void noticesThatOpenNothing_data()
    {
        QTest::addColumn<QString>("during");
        QTest::newRow("notice about another device") << u"another device"_s;
        QTest::newRow("disc while a question waits") << u"question"_s;
        QTest::newRow("disc while the start-up window shows") << u"start-up"_s;
        QTest::newRow("disc while the window is hidden") << u"hidden"_s;
        QTest::newRow("disc while another window has the keys") << u"typing"_s;
    }
    void noticesThatOpenNothing()
    {
        QFETCH(QString, during);
        m_backend->setPresent(m_stick, false);
        TestWindow::Window f(data());
        f->setVisible(during != u"hidden");
        MediaWatcher *watcher = f.controller<DiscCommands>()->watcher();
        watcher->setSettleTime(10);
        QDialog question(&f.form());
        question.setWindowModality(Qt::ApplicationModal);
        question.setVisible(during == u"question");
        QWidget splash;
        splash.setObjectName(u"SplashForm"_s);
        splash.setVisible(during == u"start-up");
        QWidget properties(&f.form(), Qt::Window);
        properties.setVisible(during == u"typing");
        if (during == u"typing")
            QApplication::setActiveWindow(&properties);
        if (during == u"another device")
            watcher->report(MediaWatcher::Event::Arrival);
        else
            m_backend->setPresent(m_stick, true);
        QTest::qWait(200); // the notice, after the watcher's settle time
        QVERIFY(!f->findChild<TNewForm *>());
    }

    void aDiscScannedAgain()
    {
        m_backend->setVolume(m_cd, volume(m_fx.path(u"cd"_s), 0x1A2B3C4D));
        TestWindow::Window f(data());
        f.ws().preferences().setEject(false);
        const QStringList before = state(f);
        f.nav().TreeChange(f.node(u"Empty Group"_s));

        // No: nothing changes and the dialog closes.
        TNewForm *form = openAdd(f);
        click(form, u"AddButton"_s);
        QCOMPARE(AppDialogs::shownTexts().last(), u"Disc is already in database. Do you want to update entry?"_s);
        QVERIFY(!form->isVisible() && f->isEnabled());
        QCOMPARE(state(f), before);

        // Yes, but the disc is taken out, or another put in, while it is scanned: one message, and nothing changes.
        const QList<std::pair<std::function<void()>, QString>> swaps{
            {[this] { m_backend->setPresent(m_cd, false); }, u"removed"_s},
            {[this] { m_backend->setVolume(m_cd, volume(m_fx.path(u"cd"_s), 0x77777777)); }, u"77777777"_s}};
        for (const auto &[swap, said] : swaps) {
            m_backend->setVolume(m_cd, volume(m_fx.path(u"cd"_s), 0x1A2B3C4D));
            form = openAdd(f);
            AppDialogs::pushAnswer(QMessageBox::Yes);
            QTimer::singleShot(0, m_backend.get(), swap);
            AppDialogs::clearShown();
            click(form, u"AddButton"_s);
            QCOMPARE(AppDialogs::shown().size(), 2); // the update question, then one message
            QCOMPARE(AppDialogs::shown().last().kind, AppDialogs::Error);
            QVERIFY2(AppDialogs::shown().last().text.contains(said), qPrintable(AppDialogs::shown().last().text));
            QVERIFY(!form->isVisible() && !form->busyForm()->isVisible() && f->isEnabled());
            QCOMPARE(state(f), before);
        }

        // Yes: the old entry gives way to a fresh one under the group selected now.
        m_backend->setVolume(m_cd, volume(m_fx.path(u"cd"_s), 0x1A2B3C4D));
        form = openAdd(f);
        child<QLineEdit>(form, u"TitleEdit"_s)->setText(u"Rock Again"_s);
        AppDialogs::pushAnswer(QMessageBox::Yes);
        click(form, u"AddButton"_s);
        QVERIFY(!f.node(u"Rock Disc"_s));
        QCOMPARE(f.node(u"Rock Again"_s)->parent(), f.node(u"Empty Group"_s));
        QCOMPARE(f.node(u"Rock Again"_s)->cd()->Serial, u"1A2B3C4D"_s);
    }

    void closingTheWindowMidScanAsks_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addRow("no: the scan goes on, the disc is added") << false;
        QTest::addRow("yes: the scan stops, no disc, no failure told, the window closes") << true;
    }
    void closingTheWindowMidScanAsks()
    {
        QFETCH(bool, yes);
        TestWindow::Window f(data());
        f.ws().preferences().setEject(false);
        f->show();
        TNewForm *form = openAdd(f);
        if (yes)
            AppDialogs::pushAnswer(QMessageBox::Yes);
        QTimer::singleShot(0, &f.form(), [&f] { f->close(); });
        click(form, u"AddButton"_s);
        QCOMPARE(AppDialogs::shownTexts(), QStringList{u"A disc is being added to the database. Stop the scan and "
                                                       u"close the program? The disc will not be added."_s});
        QTRY_COMPARE(f->isVisible(), !yes);
        QCOMPARE(!FindCD(f.tree().root(), u"0A1B2C3D"_s), yes);
        QCOMPARE(dbFiles().filter(u"0A1B2C3D"_s).isEmpty(), yes);
    }

    void partsNotReadAreNamedOnceTheDiscIsAdded()
    {
        TestWindow::Window f(data());
        f.ws().preferences().setEject(false);
        TNewForm *form = openAdd(f);
        // The busy window handles its events as it opens; the next pass is the scan's first, once
        // the root's names are read: the folder is gone when it is looked at.
        const QString music = QDir(m_fx.path(u"cd"_s)).filePath(u"MUSIC"_s);
        QTimer::singleShot(0, this, [music] { QTimer::singleShot(0, [music] { QDir(music).removeRecursively(); }); });
        AppDialogs::clearShown();
        click(form, u"AddButton"_s);
        QVERIFY(FindCD(f.tree().root(), u"0A1B2C3D"_s));
        QVERIFY(AppDialogs::shown().isEmpty());
        QTRY_COMPARE(AppDialogs::shown().size(), 1);
        QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Warning);
        QCOMPARE(AppDialogs::shown().first().text,
                 DiscCommands::unreadableMessage({{music, u"removed while the disc was being read"_s}}));

        // A long list is cut short, and a path too long for the box keeps its start and its reason.
        const QString deep = u"/media/cd/"_s + u"d/"_s.repeated(2500) + u"bottom"_s;
        ScanProblems problems{{deep, u"Permission denied"_s}};
        for (int i = 1; i < 25; ++i)
            problems.append({u"/media/cd/f%1"_s.arg(i), u"Permission denied"_s});
        const QStringList lines = DiscCommands::unreadableMessage(problems).split(u'\n');
        QCOMPARE(lines.first(),
                 u"The disc was added, but 25 entries could not be read; the catalogue holds what was read of them:"_s);
        QCOMPARE(lines.size(), 1 + 1 + 10 + 1);
        QVERIFY(lines.at(2).size() <= 120);
        QVERIFY(lines.at(2).startsWith(u"Cannot read \"/media/cd/d/d/"_s));
        QVERIFY(lines.at(2).endsWith(u"bottom\": Permission denied"_s));
        QCOMPARE(lines.last(), u"\u2026 and 15 more."_s);
    }

    // Rock Disc in the drive as catalogued but for its song, gone, and a new file: the differences, Switch to
    // Location, the report saved, the entry replaced only when the user says so, Stop, and a folder chosen
    // when the disc is in no drive.
    void verifyDisc()
    {
        const QString rock = m_fx.path(u"rock"_s);
        QVERIFY(ScanFixture::writeFile(rock + u"/b.txt"_s, QByteArray(100, 'b'),
                                       QDateTime(QDate(2024, 2, 1), QTime(9, 0))));
        QVERIFY(ScanFixture::writeFile(rock + u"/ROCK/LIVE/live.mp3"_s, QByteArray(1000, 'l'),
                                       QDateTime(QDate(2024, 3, 1), QTime(12, 0))));
        QVERIFY(ScanFixture::writeFile(rock + u"/ROCK/new.txt"_s, "new", QDateTime(QDate(2024, 3, 2), QTime(12, 0))));
        const QString rockDrive = m_backend->addVolume(volume(rock, 0x1A2B3C4D));
        TestWindow::Window &f = m_fx.open();
        QVERIFY(!f.action(u"VerifyDisc1"_s)->isEnabled());
        // In the tree's menu of a disc, not of a group.
        QMenu *menu = f->actions().menu(u"TreeMenu"_s);
        QStringList offered;
        for (const QString &node : {u"Music"_s, u"Rock Disc"_s}) {
            QTimer::singleShot(0, menu, [&] {
                offered << node + u": "_s + (f.action(u"VerifyDisc2"_s)->isVisible() ? u"yes"_s : u"no"_s);
                menu->close();
            });
            f.nav().requestNodeMenu(f.node(node), QPoint(10, 10));
        }
        QCOMPARE(offered, (QStringList{u"Music: no"_s, u"Rock Disc: yes"_s}));
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        const QByteArray contentsBefore = CabTestUtil::readFile(db() + u"1A2B3C4D.dat"_s);

        f.action(u"VerifyDisc1"_s)->trigger();
        TVerifyForm *form = f.controller<VerifyCommands>()->form();
        QVERIFY(form && form->isVisible());
        QCOMPARE(form->windowTitle(), u"Verify Disc \"Rock Disc\""_s);
        auto *list = child<QTreeView>(form, u"DifferencesList"_s);
        QStringList rows;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            rows << list->model()->index(r, 1).data().toString() + u' ' + list->model()->index(r, 0).data().toString() +
                        u' ' + list->model()->index(r, 2).data().toString();
        QCOMPARE(rows, (QStringList{u"missing A.mp3 Rock Disc:\\"_s, u"missing Docs Rock Disc:\\"_s,
                                    u"missing pack.zip Rock Disc:\\"_s, u"new new.txt Rock Disc:\\ROCK\\"_s,
                                    u"missing song.mp3 Rock Disc:\\ROCK\\"_s}));
        QCOMPARE(child<QLabel>(form, u"SummaryLabel"_s)->text(),
                 u"2 files matched; 4 missing, 1 new, 0 changed, 0 corrupt, 0 unreadable."_s);
        QVERIFY(child<QLabel>(form, u"VerifyHeader"_s)->text().contains(u"Contents could not be checked"_s));

        // Switch to Location: the disc and the folder become current in the main window.
        f.nav().TreeChange(f.node(u"Empty Group"_s));
        list->setCurrentIndex(list->model()->index(4, 0));
        click(form, u"SwitchButton"_s);
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
        QCOMPARE(f.nav().location().pathLabel, u"\\ROCK\\"_s);

        // The report as the command line prints it, under which disc was verified and when, with CR LF.
        const QString saved = m_fx.path(u"report.txt"_s);
        AppDialogs::pushFileName(saved);
        click(form, u"SaveButton"_s);
        const QString text = QString::fromUtf8(CabTestUtil::readFile(saved));
        QVERIFY2(text.startsWith(u"Disc \"Rock Disc\" ("_s) && text.contains(u"\r\nVerified "_s) &&
                     text.endsWith(u"\r\n\r\n"_s + QString(form->report().text()).replace(u"\n"_s, u"\r\n"_s)),
                 qPrintable(text));

        // Verifying wrote nothing; "Update from this scan" does, once the user agrees, and a lent
        // disc stays lent.
        QCOMPARE(CabTestUtil::readFile(db() + u"1A2B3C4D.dat"_s), contentsBefore);
        TCD lent = *f.node(u"Rock Disc"_s)->cd();
        lent.BorrowedTo = u"Zoe|Ann"_s; // a "|" is the borrower's own
        f.tree().setCD(f.node(u"Rock Disc"_s), lent);
        f.tree().setKind(f.node(u"Rock Disc"_s), KindLent);
        // The medium taken out since: its empty place is not read as the disc.
        m_backend->setPresent(rockDrive, false);
        click(form, u"UpdateButton"_s);
        QVERIFY2(AppDialogs::shownTexts().last().startsWith(u"The medium that was verified is no longer in "_s),
                 qPrintable(AppDialogs::shownTexts().last()));
        QCOMPARE(CabTestUtil::readFile(db() + u"1A2B3C4D.dat"_s), contentsBefore);
        m_backend->setPresent(rockDrive, true);
        AppDialogs::pushAnswer(QMessageBox::No);
        click(form, u"UpdateButton"_s);
        QVERIFY(form->isVisible());
        AppDialogs::pushAnswer(QMessageBox::Yes);
        click(form, u"UpdateButton"_s);
        QVERIFY(!form->isVisible());
        QCOMPARE(f.node(u"Rock Disc"_s)->parent(), f.node(u"Music"_s));
        QCOMPARE(f.node(u"Rock Disc"_s)->kind(), int(KindLent));
        QCOMPARE(f.node(u"Rock Disc"_s)->cd()->BorrowedTo, u"Zoe|Ann"_s);
        f.action(u"VerifyDisc1"_s)->trigger();
        QVERIFY(form->report().allMatched());

        // Stop: no results and no error box.
        form->close();
        AppDialogs::clearShown();
        QTimer::singleShot(0, child<QPushButton>(f->findChild<TBusyForm *>(), u"StopButton"_s), &QPushButton::click);
        f.action(u"VerifyDisc1"_s)->trigger();
        QVERIFY(!form->isVisible());
        QCOMPARE(AppDialogs::shownTexts(), QStringList());

        // In no drive, it is read from the folder the user chooses instead (a copy; here the disc's own).
        m_backend->setPresent(rockDrive, false);
        AppDialogs::pushAnswer(QMessageBox::Open);
        AppDialogs::pushFileName(rock);
        f.action(u"VerifyDisc1"_s)->trigger();
        QVERIFY(form->isVisible());
        QCOMPARE(form->root(), rock);
        QVERIFY(form->report().allMatched());
        // An empty folder holds nothing of the disc: its entry is not updated to a disc of nothing.
        const QString empty = m_fx.path(u"empty"_s);
        QVERIFY(QDir().mkpath(empty));
        AppDialogs::pushAnswer(QMessageBox::Open);
        AppDialogs::pushFileName(empty);
        f.action(u"VerifyDisc1"_s)->trigger();
        QVERIFY(form->report().count(VerifyDifference::Missing) > 0);
        const QByteArray held = CabTestUtil::readFile(db() + u"1A2B3C4D.dat"_s);
        click(form, u"UpdateButton"_s);
        QVERIFY(AppDialogs::shownTexts().last().startsWith(u"Nothing of the disc was found"_s));
        QCOMPARE(CabTestUtil::readFile(db() + u"1A2B3C4D.dat"_s), held);

        // Or from an image of it (Choose Image...), read as Add Disc from Image reads one.
        const QString image = m_fx.path(u"rock.iso"_s);
        QVERIFY(
            ::runProgram(u"xorriso"_s, {u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-J"_s, u"-R"_s, u"-o"_s, image, rock})
                .code == 0);
        AppDialogs::pushAnswer(QMessageBox::Apply);
        AppDialogs::pushFileName(image);
        f.action(u"VerifyDisc1"_s)->trigger();
        QVERIFY(form->isVisible());
        QCOMPARE(form->root(), image);
        // Its files are the disc's, but it is another volume, and the report says so.
        QVERIFY2(form->report().differences.empty(), qPrintable(form->report().text()));
        QVERIFY(!form->report().allMatched());
        QVERIFY(form->report().otherVolume.startsWith(u"The image holds another volume"_s));
        AppDialogs::pushAnswer(QMessageBox::Yes); // and the entry made again from the image
        click(form, u"UpdateButton"_s);
        // The question says when the image holds another volume than the one catalogued, as
        // this one, made from a copy of the disc's files, does.
        QVERIFY(AppDialogs::shownTexts().last().endsWith(
            u"The image holds another volume (serial %1), not the one catalogued (serial 1A2B3C4D)."_s.arg(
                ImageScanner::volumeOf(image).serial)));
        QVERIFY(!form->isVisible());
        QCOMPARE(f.nav().listing().count(), 3); // "..", b.txt and ROCK
        QCOMPARE(f.node(u"Rock Disc"_s)->cd()->Serial, u"1A2B3C4D"_s);

        // The program closed while it reads: the reading stops with it, unseen and unasked.
        m_backend->setPresent(rockDrive, true);
        AppDialogs::clearShown();
        QTimer::singleShot(0, f.operator->(), [&f] { f.ws().close(); });
        f.action(u"VerifyDisc1"_s)->trigger();
        QVERIFY(!form->isVisible());
        QVERIFY2(AppDialogs::shownTexts().isEmpty(), qPrintable(AppDialogs::shownTexts().join(u'|')));
    }
};

QTEST_MAIN(TestDiscCommands)
#include "tst_disccommands.moc"
