// The compilation panel and the commands that fetch files from their discs, on the real window;
// the burner: staging, the guards while it burns, real xorriso burns into images read back.

#include "CabTestUtil.h"
#include "ScanFixture.h"
#include "TestCatalogue.h"
#include "TestWindow.h"
#include "acquire/FolderVolumeBackend.h"
#include "browser/ui/TreePanel.h"
#include "compile/CompilationList.h"
#include "compile/TCDBurner.h"
#include "compile/ui/CompilationModel.h"
#include "compile/ui/CompilationPanel.h"
#include "compile/ui/CompilationView.h"
#include "compile/ui/CompileCommands.h"
#include "compile/ui/TBurnForm.h"
#include "compile/ui/TCopyForm.h"
#include "core/SafeSaveFile.h"
#include "listing/SearchHits.h"

#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using CabTestUtil::readFile;

namespace
{

const QString Road = u"1A2B3C4D"_s;
const QString Photo = u"5E6F7081"_s;

void catalogue(const QString &dataFolder)
{
    const QString db = DataPaths::dbFolder(dataFolder);
    const QString d = TestCatalogue::date(2024, 6, 1);
    TestCatalogue::packDisc(db, Road, [&d](ContentsListWriter &folders, ContentsListWriter &files) {
        folders.writeFolderRecord(u"Live"_s, u"\\"_s, 4, d);
        files.writeFileRecord(u"one.mp3"_s, u"\\"_s, 3, d);
        files.writeFileRecord(u"two.mp3"_s, u"\\"_s, 3, d);
        files.writeFileRecord(u"notes.txt"_s, u"\\"_s, 5, d);
        files.writeFileRecord(u"live.mp3"_s, u"\\Live\\"_s, 4, d);
    });
    TestCatalogue::packDisc(db, Photo, [&d](ContentsListWriter &folders, ContentsListWriter &files) {
        folders.writeFolderRecord(u"2025"_s, u"\\"_s, 3, d);
        files.writeFileRecord(u"beach.jpg"_s, u"\\"_s, 5, d);
        files.writeFileRecord(u"sun.jpg"_s, u"\\2025\\"_s, 3, d);
    });
    TextCodec::writeLines(db + u"groups.tree"_s,
                          {u"My Collection"_s, u"\tRoad Music|ROAD|1A2B3C4D|CDFS|24|||1|"_s + d + u"|"_s,
                           u"\tPhoto Disc|PHOTOS|5E6F7081|UDF|8|||2|"_s + d + u"|"_s});
}

} // namespace

class TestCompilationPanel : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<FolderVolumeBackend> m_backend;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;
    QString m_roadDrive, m_photoDrive;

    const QString &data() const { return m_fx.data(); }
    CompileCommands *commands() const { return m_f->controller<CompileCommands>(); }
    CompilationList &compilation() const { return commands()->compilation(); }
    CompilationPanel *panel() const { return commands()->panel(); }

    QStringList names() const
    {
        QStringList out;
        for (const CompilationEntry &e : compilation().entries())
            out << e.Name;
        return out;
    }

    void open(const QString &title, const QString &serial) { m_f->nav().LoadCD(title, serial, false, u"\\"_s); }
    void add(const QString &title, const QString &serial, const QStringList &captions)
    {
        open(title, serial);
        m_f->select(captions);
        m_f->action(u"AddtoCompilation1"_s)->trigger();
    }

    void button(const char *name) const { panel()->findChild<QToolButton *>(QLatin1String(name))->click(); }

    QString area() const { return m_fx.path(u"burn/"_s); }
    QString source() const { return m_fx.path(u"source/"_s); }
    static bool haveXorriso() { return !QStandardPaths::findExecutable(u"xorriso"_s).isEmpty(); }
    QString noXorriso() const { return m_fx.path(u"no/such/xorriso"_s); }
    static QStringList filesOf(const QString &image, QByteArray *info = nullptr)
    {
        QByteArray out;
        if (!ScanFixture::run(
                QDir::tempPath(), u"xorriso"_s,
                {u"-indev"_s, u"stdio:"_s + image, u"-pvd_info"_s, u"-find"_s, u"/"_s, u"-type"_s, u"f"_s},
                QByteArray(), &out))
            return {u"<unreadable>"_s};
        if (info)
            *info = out;
        QStringList files;
        for (const QByteArray &l : out.split('\n'))
            if (l.startsWith('\''))
                files << QString::fromUtf8(l).remove(u'\'');
        files.sort();
        return files;
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }

    void init()
    {
        m_fx.init(false);
        catalogue(data());
        // Each file holds its own base name.
        for (const char *file :
             {"road/one.mp3", "road/two.mp3", "road/notes.txt", "road/Live/live.mp3", "photo/beach.jpg",
              "photo/2025/sun.jpg", "source/a.txt", "source/sub/b.txt", "source/sub/deeper/c.txt"})
            QVERIFY(ScanFixture::writeFile(m_fx.path(QString::fromLatin1(file)), QFileInfo(file).baseName().toUtf8()));
        m_backend = std::make_unique<FolderVolumeBackend>();
        m_roadDrive = m_backend->addVolume(ScanFixture::volume(m_fx.path(u"road"_s), 0x1A2B3C4D));
        m_photoDrive = m_backend->addVolume(ScanFixture::volume(m_fx.path(u"photo"_s), 0x5E6F7081));
        VolumeBackend::setDefaultBackend(m_backend.get());
        m_fx.open();
    }

    void cleanup()
    {
        m_f.reset();
        VolumeBackend::setDefaultBackend(nullptr);
        m_backend.reset();
        m_fx.cleanup();
    }

    void addingTogglingAndTheButtons()
    {
        // The toggle's button is pressed while the panel shows, however it was shown or hidden.
        QAction *toggle = m_f->action(u"ToggleCompilation1"_s);
        toggle->trigger();
        QVERIFY(!panel()->isHidden() && toggle->isChecked());
        button("CompilationCloseButton");
        QVERIFY(panel()->isHidden() && !toggle->isChecked());

        // Adding shows the panel.
        add(u"Road Music"_s, Road, {u"two.mp3"_s, u"Live"_s, u"one.mp3"_s});
        QVERIFY(!panel()->isHidden() && toggle->isChecked());
        QCOMPARE(names(), (QStringList{u"Live"_s, u"one.mp3"_s, u"two.mp3"_s}));
        QLabel *size = panel()->sizeLabel();
        QCOMPARE(size->text(), u"Total size: 10.00 Bytes"_s);

        panel()->view()->selectionModel()->select(panel()->model()->index(0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
        button("CompilationDeleteButton");
        QCOMPARE(names(), (QStringList{u"one.mp3"_s, u"two.mp3"_s}));
        // Past a full CD the total turns red.
        const QColor normal = size->palette().color(QPalette::WindowText);
        auto hits = std::make_shared<SearchHits>();
        hits->add(hits->addDisc(u"Road Music"_s, Road), ContentsEntry::File, "full.iso", "\\", {},
                  CompilationList::CdCapacity, "");
        m_f->nav().showSearchResult(hits, u"1 found"_s);
        m_f->select({u"full.iso"_s});
        m_f->action(u"AddtoCompilation1"_s)->trigger();
        QCOMPARE(size->palette().color(QPalette::WindowText), QColor(Qt::red));
        button("ClearButton");
        QCOMPARE(compilation().count(), 0);
        QCOMPARE(size->text(), u"Total size: 0 Bytes"_s);
        QCOMPARE(size->palette().color(QPalette::WindowText), normal);
    }

    void dropsOnlyFromTheContentsListAndOnlyWhatMayBeCopied()
    {
        CompilationView *list = panel()->view();
        open(u"Road Music"_s, Road);
        m_f->select({u"one.mp3"_s});
        QVERIFY(list->accepts(m_f->view()->detailsView()) && !list->accepts((*m_f)->treePanel()));

        open(u"Photo Disc"_s, Photo);
        m_f->select({u"beach.jpg"_s, u"2025"_s});
        QVERIFY(list->accepts(m_f->view()->listView()));
        Q_EMIT list->dropped();
        QCOMPARE(names(), (QStringList{u"2025"_s, u"beach.jpg"_s}));
    }

    void playlistForTheChosenDrive()
    {
        open(u"Road Music"_s, Road);
        m_f->select({u"two.mp3"_s, u"one.mp3"_s});
        // One item per drive; the playlist names the files where that drive has them.
        QMenu *drives = m_f->action(u"CreatePlaylist1"_s)->menu<QMenu *>();
        QCOMPARE(drives->actions().size(), 2);
        QCOMPARE(drives->actions().at(0)->text(), u"For Drive "_s + m_roadDrive);
        const QString file = m_fx.dir->filePath(u"road.m3u"_s);
        AppDialogs::pushFileName(file);
        drives->actions().at(0)->trigger();
        QTRY_COMPARE(readFile(file), (m_roadDrive + u"one.mp3\r\n"_s + m_roadDrive + u"two.mp3\r\n"_s).toUtf8());

        // A drive that goes while the window is disabled (a dialog of its own open) leaves the
        // command usable once the window is back; one drive needs no submenu.
        QVERIFY(m_f->show());
        (*m_f)->setEnabled(false);
        m_backend->removeVolume(m_photoDrive);
        QTRY_VERIFY(!m_f->action(u"CreatePlaylist1"_s)->menu<QMenu *>());
        (*m_f)->setEnabled(true);
        QVERIFY(m_f->action(u"CreatePlaylist1"_s)->isEnabled());
    }

    void copyToHddFromTwoDiscs()
    {
        const QString dest = m_fx.dir->filePath(u"dest"_s);
        QVERIFY(ScanFixture::writeFile(dest + u"/one.mp3"_s, "an older one"));

        auto hits = std::make_shared<SearchHits>();
        const int road = hits->addDisc(u"Road Music"_s, Road);
        const int photo = hits->addDisc(u"Photo Disc"_s, Photo);
        const QByteArray d = TestCatalogue::date(2024, 6, 1).toUtf8();
        hits->add(road, ContentsEntry::File, "notes.txt", "\\", {}, 5, d);
        hits->add(photo, ContentsEntry::File, "beach.jpg", "\\", {}, 5, d);
        hits->add(road, ContentsEntry::File, "one.mp3", "\\", {}, 3, d);
        m_f->nav().showSearchResult(hits, u"3 found"_s);
        m_f->select({u"one.mp3"_s, u"beach.jpg"_s, u"notes.txt"_s});

        // A file gone from the medium is named, the rest copied over what was there; the copy is
        // then not said to be complete.
        QFile::remove(m_fx.path(u"road/notes.txt"_s));
        m_f->action(u"CopytoHDD1"_s)->trigger();
        QCOMPARE(commands()->copyForm()->minimumSize(), commands()->copyForm()->maximumSize()); // a fixed border
        QCOMPARE(commands()->copyForm()->focusWidget()->objectName(), u"ShellTree"_s);
        commands()->copyForm()->selectFolder(dest);
        commands()->copyForm()->okButton()->click();
        QCOMPARE(readFile(dest + u"/one.mp3"_s) + readFile(dest + u"/beach.jpg"_s), QByteArray("onebeach"));
        const QStringList texts = AppDialogs::shownTexts();
        QVERIFY2(texts.size() == 1 && texts[0].startsWith(u"These files could not be copied:\n"_s) &&
                     texts[0].contains(u"notes.txt"_s),
                 qPrintable(texts.join(u'|')));
        AppDialogs::clearShown();
        m_f->select({u"one.mp3"_s, u"beach.jpg"_s});
        m_f->action(u"CopytoHDD1"_s)->trigger();
        commands()->copyForm()->selectFolder(dest);
        commands()->copyForm()->okButton()->click();
        QCOMPARE(AppDialogs::shownTexts(), QStringList{u"Copy to Hard-Drive completed!"_s});

        // A disc no drive holds is taken from a copy of it in a folder the user chooses.
        QVERIFY(ScanFixture::writeFile(m_fx.path(u"copy of lost/a.txt"_s), "lost"));
        auto lost = std::make_shared<SearchHits>();
        lost->add(lost->addDisc(u"Lost Disc"_s, u"0BADF00D"_s), ContentsEntry::File, "a.txt", "\\", {}, 4, d);
        m_f->nav().showSearchResult(lost, u"1 found"_s);
        m_f->select({u"a.txt"_s});
        AppDialogs::clearShown();
        AppDialogs::pushAnswer(QMessageBox::Open);
        AppDialogs::pushFileName(m_fx.path(u"copy of lost"_s));
        m_f->action(u"CopytoHDD1"_s)->trigger();
        commands()->copyForm()->selectFolder(dest);
        commands()->copyForm()->okButton()->click();
        QCOMPARE(readFile(dest + u"/a.txt"_s), QByteArray("lost"));
        QCOMPARE(AppDialogs::shownTexts().last(), u"Copy to Hard-Drive completed!"_s);
    }

    void burnStagesTwoDiscs()
    {
        if (!haveXorriso())
            QSKIP("xorriso is not installed");
        add(u"Road Music"_s, Road, {u"one.mp3"_s, u"Live"_s});
        add(u"Photo Disc"_s, Photo, {u"2025"_s, u"beach.jpg"_s});
        add(u"Road Music"_s, Road, {u"two.mp3"_s});
        TCDBurner *burner = commands()->burner();
        QVERIFY(burner->canWriteImage());
        // What an earlier burn left is not burnt again.
        QVERIFY(ScanFixture::writeFile(burner->BurnArea() + u"left over.txt"_s, "from an earlier burn"));
        button("BurnButton");
        QVERIFY(commands()->burnForm()->isVisible());
        QCOMPARE(burner->BurnSize(), qint64(3 + 3 + 4 + 5 + 3));
        QCOMPARE(commands()->burnForm()->findChild<QLabel *>(u"BurnStatusLabel"_s)->text(), burner->whyNotEquipped());
        // The label takes as many letters as the volume label's 32 bytes hold.
        auto *label = commands()->burnForm()->findChild<QLineEdit *>(u"VolumeLabelEdit"_s);
        label->clear();
        for (int i = 0; i < 20; ++i)
            label->insert(QString(QChar(0xE9))); // as typed
        QCOMPARE(label->text(), QString(16, QChar(0xE9)));
        QStringList staged;
        for (QDirIterator it(burner->BurnArea(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            staged << it.next().mid(burner->BurnArea().size());
        staged.sort();
        QCOMPARE(staged,
                 (QStringList{u"2025/sun.jpg"_s, u"Live/live.mp3"_s, u"beach.jpg"_s, u"one.mp3"_s, u"two.mp3"_s}));
        // An image that cannot be written is refused with the system's reason, before the burn.
        TBurnForm *form = commands()->burnForm();
        form->recorderBox()->setCurrentIndex(form->recorderBox()->count() - 1);
        AppDialogs::pushFileName(m_fx.path(u"no such folder/disc.iso"_s));
        form->burnButton()->click();
        QVERIFY2(form->statusLabel()->text().startsWith(u"Cannot write the disc image"_s),
                 qPrintable(form->statusLabel()->text()));
        // A pipe is refused before a probe could block on it (the window froze for good).
        const QString pipe = m_fx.path(u"pipe.iso"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        AppDialogs::pushFileName(pipe);
        form->burnButton()->click();
        QVERIFY2(form->statusLabel()->text().endsWith(u"not a file"_s), qPrintable(form->statusLabel()->text()));
        // Nor is one inside the folder the burn gathers its files in, which the window empties on closing.
        AppDialogs::pushFileName(burner->BurnArea() + u"inside.iso"_s);
        form->burnButton()->click();
        QVERIFY(form->statusLabel()->text().startsWith(u"The disc image cannot be written into the folder"_s));
        QVERIFY(!burner->IsBurning());
        commands()->burnForm()->close();
        // The copies go with the window: the next Burn stages anew.
        QVERIFY(QDir(burner->BurnArea()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

        // One name from two places would leave one of them off the disc: refused before anything
        // is asked for or staged.
        compilation().add({CompilationEntry{u"one.mp3"_s, 9, EntryPlace::parse(u"Photo Disc:\\"_s, Photo), 3}});
        AppDialogs::clearShown();
        button("BurnButton");
        QVERIFY(!commands()->burnForm()->isVisible());
        QCOMPARE(AppDialogs::shown().size(), 1);
        QVERIFY(AppDialogs::shownTexts().first().contains(u"more than one entry is named \"one.mp3\""_s));
    }

    // A file gone from its disc since it was catalogued: named, then a disc short of it is burnt
    // only when the user says so.
    void burnShortOfAFileAsksFirst()
    {
        if (!haveXorriso())
            QSKIP("xorriso is not installed");
        // Nothing gathered: nothing to burn.
        AppDialogs::clearShown();
        button("BurnButton");
        QVERIFY(!commands()->burnForm()->isVisible());
        QVERIFY(AppDialogs::shownTexts().last().startsWith(u"The compilation is empty"_s));

        add(u"Road Music"_s, Road, {u"one.mp3"_s});
        compilation().add({CompilationEntry{u"gone.mp3"_s, 9, EntryPlace::parse(u"Road Music:\\"_s, Road), 3}});
        AppDialogs::clearShown();
        AppDialogs::pushAnswer(QMessageBox::No);
        button("BurnButton");
        QVERIFY(!commands()->burnForm()->isVisible());
        QCOMPARE(AppDialogs::shownTexts().size(), 2);
        QVERIFY(AppDialogs::shownTexts().first().startsWith(u"These files could not be copied:"_s));
        QVERIFY(AppDialogs::shownTexts().last().startsWith(u"Not every entry of the compilation could be copied."_s));
        QVERIFY(QDir(commands()->burner()->BurnArea()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
    }

    // Cancelled while the first disc's files are staged: no question, no further disc, no burn.
    void burnCancelledWhileStaging()
    {
        if (!haveXorriso())
            QSKIP("xorriso is not installed");
        add(u"Road Music"_s, Road, {u"one.mp3"_s});
        add(u"Photo Disc"_s, Photo, {u"beach.jpg"_s});
        AppDialogs::clearShown();
        QTimer::singleShot(0, &m_f->form(), [this] {
            if (auto *progress = m_f->form().findChild<QProgressDialog *>(u"CopyProgress"_s))
                progress->cancel();
        });
        button("BurnButton");
        QVERIFY(!commands()->burnForm()->isVisible());
        QVERIFY2(AppDialogs::shown().isEmpty(), qPrintable(AppDialogs::shownTexts().join(u'\n')));
        QVERIFY(QDir(commands()->burner()->BurnArea()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
    }

    // --- The burner.
    void stagingAndEmptyingTheArea()
    {
        TCDBurner burner(&m_f->form(), noXorriso(), area());
        // A staging folder that is not there yet empties as nothing.
        QVERIFY(burner.ClearFiles() && burner.BurnSize() == 0);
        QVERIFY(!burner.AddFile(source() + u"sub"_s) && !burner.AddFolder(source() + u"missing"_s));
        QVERIFY(burner.AddFolder(source()));
        QCOMPARE(burner.BurnSize(), qint64(3)); // each file holds its base name
        QVERIFY(ScanFixture::writeFile(area() + u"x/y/z.bin"_s, QByteArray(100, 'z')));
        QVERIFY(ScanFixture::writeFile(area() + u".hidden"_s, "h"));
        QCOMPARE(burner.BurnSize(), qint64(3 + 100 + 1));
        // Without xorriso a burn ends at once (-1) with the reason.
        QVERIFY(!burner.canWriteImage());
        QSignalSpy done(&burner, &TCDBurner::OnBurnDone);
        burner.StartBurn(TCDBurner::imageTarget(m_fx.dir->filePath(u"x.iso"_s)), u"X"_s);
        QVERIFY(done.size() == 1 && done.first().first().toInt() == -1 && !burner.lastBurnSucceeded());
        QCOMPARE(burner.LastError(), u"xorriso was not found: install the xorriso package to burn discs."_s);
        QVERIFY(burner.ClearFiles() && QDir(area()).exists());
        QVERIFY(QDir(area()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    // Each program stages in a folder of its own; one left by a program gone from this computer
    // is removed, one of a program still running, or of another computer, is not.
    void eachProgramStagesApart()
    {
        const QString all =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u"/Quillory!/burn/"_s;
        const QString host = QSysInfo::machineHostName() + u'-';
        const QString gone = all + host + u"999999999/"_s, running = all + host + u"1/"_s,
                      elsewhere = all + u"another computer-999999999/"_s;
        for (const QString &folder : {gone, running, elsewhere})
            QVERIFY(ScanFixture::writeFile(folder + u"staged.bin"_s, "x"));
        TCDBurner burner(&m_f->form(), noXorriso());
        QCOMPARE(burner.BurnArea(), all + host + QString::number(QCoreApplication::applicationPid()) + u'/');
        QVERIFY(!QFileInfo::exists(gone));
        QVERIFY(QFileInfo::exists(running + u"staged.bin"_s) && QFileInfo::exists(elsewhere + u"staged.bin"_s));
        QDir(running).removeRecursively();
        QDir(elsewhere).removeRecursively();
    }

    void burnsTheAreaAndTheStagedFilesIntoAnImage()
    {
        if (!haveXorriso())
            QSKIP("xorriso is not installed");
        TCDBurner burner(&m_f->form(), QString(), area());
        QVERIFY(burner.canWriteImage());
        QVERIFY(ScanFixture::writeFile(area() + u"Disc One/song.mp3"_s, QByteArray(70000, 's')));
        QVERIFY(ScanFixture::writeFile(area() + u"readme.txt"_s, "from the area"));
        QVERIFY(burner.AddFolder(source() + u"sub"_s));
        QVERIFY(burner.AddFile(source() + u"a.txt"_s));
        // A staged file whose name is in the area already leaves the area's file alone.
        QVERIFY(ScanFixture::writeFile(m_fx.path(u"other/readme.txt"_s), "staged"));
        QVERIFY(burner.AddFile(m_fx.path(u"other/readme.txt"_s)));

        const QString image = m_fx.dir->filePath(u"out.iso"_s);
        QSignalSpy done(&burner, &TCDBurner::OnBurnDone);
        burner.StartBurn(u"/dev/no-such-recorder"_s, u"X"_s); // not in the list: refused at once
        QVERIFY(done.size() == 1 && done.first().first().toInt() == -1 && !burner.IsBurning());
        burner.StartBurn(TCDBurner::imageTarget(image), u"TWO DISCS"_s);
        // While it burns: no second burn, and the staging folder stays as it is.
        burner.StartBurn(TCDBurner::imageTarget(m_fx.dir->filePath(u"second.iso"_s)), u"SECOND"_s);
        QCOMPARE(done.last().first().toInt(), -1);
        QVERIFY(!burner.ClearFiles());
        QCOMPARE(burner.LastError(), u"Cannot delete staging files while burning!"_s);
        QVERIFY(QFileInfo::exists(area() + u"Disc One/song.mp3"_s));

        QVERIFY(done.wait(120000));
        QCOMPARE(done.last().first().toInt(), 0);
        QVERIFY2(burner.lastBurnSucceeded(), qPrintable(burner.LastError()));
        QVERIFY(!QFileInfo::exists(m_fx.dir->filePath(u"second.iso"_s)));
        QByteArray info;
        QCOMPARE(filesOf(image, &info),
                 (QStringList{u"/Disc One/song.mp3"_s, u"/a.txt"_s, u"/b.txt"_s, u"/c.txt"_s, u"/readme.txt"_s}));
        QVERIFY2(info.contains("Volume Id    : TWO DISCS"), info.constData());

        // A second burn into the same file replaces the image instead of adding a session.
        QVERIFY(burner.ClearFiles());
        QVERIFY(ScanFixture::writeFile(area() + u"only.txt"_s, "only"));
        burner.StartBurn(TCDBurner::imageTarget(image), QString());
        QVERIFY(done.wait(120000));
        QVERIFY2(burner.lastBurnSucceeded(), qPrintable(burner.LastError()));
        QCOMPARE(filesOf(image), QStringList{u"/only.txt"_s});

        // A burn cancelled leaves the image that was there, and nothing of the new one.
        QVERIFY(burner.ClearFiles());
        QVERIFY(ScanFixture::writeFile(area() + u"other.txt"_s, "other"));
        burner.StartBurn(TCDBurner::imageTarget(image), QString());
        burner.cancelBurn();
        QVERIFY(done.wait(120000));
        QCOMPARE(burner.LastError(), u"The burn was cancelled."_s);
        QCOMPARE(filesOf(image), QStringList{u"/only.txt"_s});
        QVERIFY(!QFileInfo::exists(SafeSaveFile::partialName(image)));
    }

    void readingXorrisosLines()
    {
        const QByteArray devices = "I:1: Beginning to scan for devices ...\n"
                                   "R:1: 0  -dev '/dev/sr0' rwrw-- :  'ASUS    ' 'DRW-24D5MT      '\n"
                                   "R:1: 1  -dev '/dev/sr1' r-r--- :  'HL-DT-ST' 'DVD-ROM DH16NS  '\n";
        const QList<TCDBurner::Device> found = TCDBurner::parseDevices(devices);
        QVERIFY(found.size() == 2 && found[0].path == u"/dev/sr0"_s && found[0].writable && !found[1].writable);
        QVERIFY(TCDBurner::parseDevices("I:1: xorriso : SORRY : No drives found\n").isEmpty());

        QCOMPARE(TCDBurner::parseProgress(u"I:1: xorriso : UPDATE : Writing:      32768s   22.3%   fifo 100%"_s),
                 std::optional<double>(22.3));
        QCOMPARE(TCDBurner::parseProgress(u"I:1: xorriso : UPDATE :       4 files added in 1 seconds"_s), std::nullopt);

        QCOMPARE(TCDBurner::failureText({u"I:1: Drive current: -outdev '/dev/sr0'"_s, u"I:1: Media current: CD-ROM"_s,
                                         u"I:1: Media status : is written , is closed"_s,
                                         u"I:1: xorriso : FAILURE : Media is not writeable or not blank"_s},
                                        5),
                 u"No writable disc is in the recorder."_s);
        QCOMPARE(TCDBurner::failureText({u"I:1: xorriso : FAILURE : Cannot open file"_s,
                                         u"I:1: xorriso : NOTE : -return_with SORRY 32 triggered by problem"_s},
                                        32),
                 u"Cannot open file"_s);
        QCOMPARE(
            TCDBurner::failureText({u"I:1: libburn : SORRY : Image size 1024s exceeds free space on media 512s"_s}, 32),
            u"The compilation does not fit: it takes 2.0 MB, and where it is written 1.0 MB are free."_s);
        QCOMPARE(TCDBurner::failureText({u"I:1: xorriso : UPDATE : Writing: 32768s 22.3%"_s}, -1),
                 u"xorriso did not finish: it was stopped, or it crashed."_s);
        // A burn that succeeded but left names out of the Joliet tree says so.
        QCOMPARE(TCDBurner::jolietNote({u"I:1: xorriso : UPDATE : 4 files added"_s}), QString());
        QVERIFY(TCDBurner::jolietNote({u"I:1: libisofs: WARNING : File \"/a/b\" can't be added to Joliet tree, "
                                       u"because its path length is larger than 240"_s})
                    .startsWith(u"1 name(s) could not be kept whole"_s));
    }
};

QTEST_MAIN(TestCompilationPanel)
#include "tst_compilationpanel.moc"
