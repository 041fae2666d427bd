// What the object-info panel shows for each kind of selection, its toggle, and the "Object
// Properties" window with its height that follows the number of detail lines.
#include "TestWindow.h"
#include "browser/ui/ContentsCommands.h"
#include "browser/ui/ContentsModel.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/ObjectInfoPanel.h"
#include "browser/ui/TPropertiesForm.h"
#include "listing/FileTypes.h"
#include "store/ContentsFile.h"

#include <QItemSelectionModel>
#include <QPushButton>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace
{

const QByteArray TwoBinChecksum = "0123456789abcdef0123456789abcdef";

// "Sizes" (00000010, NTFS, no genre): two files of 1,024 bytes, a folder, an MP3 with five
// detail lines and a picture with two; and "Rock Disc" of the shared catalogue, with a genre.
void writeCatalogue(const QString &data)
{
    const QString db = DataPaths::dbFolder(data);
    TestCatalogue::rockDisc(db);
    TestCatalogue::packDisc(db, u"00000010"_s, [](ContentsListWriter &folders, ContentsListWriter &files) {
        const QString d = TestCatalogue::date(2024, 4, 1);
        folders.writeFolderRecord(u"Sub"_s, u"\\"_s, 0, d);
        files.writeFileRecord(u"one.bin"_s, u"\\"_s, 1024, d);
        files.writeFileRecord(u"two.bin"_s, u"\\"_s, 1024, d);
        files.writeFileRecord(u"tune.mp3"_s, u"\\Sub\\"_s, 4000000, d,
                              {u"Title: Tune"_s, u"Artist: Band"_s, u"Album: First"_s, u"Duration: 00:04:10"_s,
                               u"Bit rate: CBR 128kbps"_s});
        files.writeFileRecord(u"pic.png"_s, u"\\Sub\\"_s, 5000, d, {u"Width: 640"_s, u"Height: 480"_s});
    });
    // Scanned with checksums, of which two.bin has one.
    ContentsFile::Lists lists = ContentsFile::read(db, u"00000010"_s);
    lists.checksumList = "\r\n" + TwoBinChecksum + "\r\n\r\n\r\n";
    ContentsFile::packBytes(db, u"00000010"_s, lists);
    TextCodec::writeLines(db + u"groups.tree"_s, {u"My Collection"_s, u"\tMusic"_s,
                                                  u"\t\tRock Disc|ROCK|1A2B3C4D|CDFS|5648|Loud~!music|Rock|1|"_s +
                                                      TestCatalogue::date(2024, 6, 1) + u"|"_s,
                                                  u"\tSizes|SIZES|00000010|NTFS|2048|||3|12/24/2023 10:00:00|"_s});
}

} // namespace

class TestObjectInfo : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;

    ContentsView *view() const { return (*m_f)->contentsPanel()->view(); }
    ObjectInfoPanel *info() const { return (*m_f)->infoPanel(); }
    // The panel's name and its five lines, joined by "|".
    QString panelLines() const
    {
        QStringList out{info()->nameText()};
        for (int i = 0; i < 5; ++i)
            out << info()->lineText(i);
        return out.join(u'|');
    }
    void select(const QStringList &captions)
    {
        view()->selectionModel()->clearSelection();
        for (const QString &c : captions)
            view()->selectionModel()->select(view()->selectionModel()->model()->index(m_f->row(c), 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    TPropertiesForm *properties(const QString &caption)
    {
        view()->selectRow(m_f->row(caption));
        m_f->action(u"ViewProperties1"_s)->trigger();
        return m_f->controller<ContentsCommands>()->propertiesForm();
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        m_fx.init(false);
        writeCatalogue(m_fx.data());
        m_fx.open();
    }
    void cleanup() { m_fx.cleanup(); }

    // The panel's name and five lines after a selection in a listing. A disc as the tree shows
    // it: an NTFS disc is "Removable Media" here (the list says "Hard Disk"), and without a genre
    // its entry date takes the last line. A folder counts what its record holds; ".." is no entry
    // and leaves the panel as the selection before it set it.
    void whatThePanelShows_data()
    {
        QTest::addColumn<QString>("disc");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QList<QStringList>>("selections");
        QTest::addColumn<QString>("lines");
        const QString d = TestCatalogue::date(2024, 4, 1);
        QTest::newRow("group") << QString() << QString() << QList<QStringList>{{u"Music"_s}}
                               << u"Music|Group|Size: 5.52 KB|Contains:|Discs: 1|Sub-Groups: 0"_s;
        QTest::newRow("disc without genre")
            << QString() << QString() << QList<QStringList>{{u"Sizes"_s}}
            << u"Sizes|Removable Media|Size: 2.00 KB|Serial: 00000010|Disc number: 3|Entry date: 12/24/2023 10:00:00"_s;
        QTest::newRow("disc with genre")
            << u"Music"_s << QString() << QList<QStringList>{{u"Rock Disc"_s}}
            << u"Rock Disc|Compact Disc|Size: 5.52 KB|Serial: 1A2B3C4D|Disc number: 1|Genre: Rock"_s;
        QTest::newRow("..") << u"Sizes"_s << u"\\"_s << QList<QStringList>{{u"one.bin"_s, u"two.bin"_s}, {u".."_s}}
                            << u"Multiple items selected|Count: 2|Size: 2.00 KB|||"_s;
        QTest::newRow("a checksum")
            << u"Sizes"_s << u"\\"_s << QList<QStringList>{{u"two.bin"_s}}
            << u"two.bin|%1|Size: 1.00 KB|Date: %2|Checksum: %3|"_s.arg(FileTypes::GetFileType(u"two.bin"_s), d,
                                                                          QLatin1String(TwoBinChecksum));
        QTest::newRow("the first two detail lines")
            << u"Sizes"_s << u"\\Sub\\"_s << QList<QStringList>{{u"tune.mp3"_s}}
            << u"tune.mp3|%1|Size: 3.81 MB|Date: %2|Title: Tune|Artist: Band"_s.arg(
                   FileTypes::GetFileType(u"tune.mp3"_s), d);
    }
    void whatThePanelShows()
    {
        QFETCH(QString, disc);
        QFETCH(QString, folder);
        QFETCH(QList<QStringList>, selections);
        QFETCH(QString, lines);
        TestWindow::Window &f = *m_f;
        if (!folder.isEmpty())
            f.nav().LoadCD(disc, f.node(disc)->cd()->Serial, false, folder);
        else if (!disc.isEmpty())
            f.nav().TreeChange(f.node(disc));
        for (const QStringList &s : selections)
            select(s);
        QCOMPARE(panelLines(), lines);
    }

    // The picture's button, the menu item and the panel's height stay in step.
    void theToggle()
    {
        TestWindow::Window &f = *m_f;
        auto *toggle = info()->findChild<QToolButton *>(u"ToggleInfo"_s);
        toggle->click();
        QVERIFY(info()->isExpanded() && f.action(u"ToggleObjectInfo1"_s)->isChecked());
        QCOMPARE(info()->toggleLook(), ObjectInfoPanel::Look::Down);
        const int expanded = info()->height();
        f.action(u"ToggleObjectInfo1"_s)->trigger();
        QVERIFY(!info()->isExpanded() && info()->height() < expanded);
    }

    void propertiesWindowHeightFollowsTheDetailLines()
    {
        TestWindow::Window &f = *m_f;
        f.nav().TreeChange(f.node(u"Sizes"_s));
        TPropertiesForm *form = properties(u"Sub"_s);
        QVERIFY(form->isVisible() && !f->isEnabled()); // the main window waits
        QCOMPARE(form->lineText(u"PathLabel"_s), u"Path: \\"_s);
        const int folderHeight = form->height();
        const int folderFrame = form->frameHeight();
        form->findChild<QPushButton *>(u"OkButton"_s)->click();
        QVERIFY(!form->isVisible() && f->isEnabled());

        f.nav().LoadCD(u"Sizes"_s, u"00000010"_s, false, u"\\Sub\\"_s);
        properties(u"tune.mp3"_s);
        QCOMPARE(form->height() - folderHeight, 80);
        QCOMPARE(form->frameHeight() - folderFrame, 80);
        QCOMPARE(form->lineText(u"ExtraLabel5"_s), u"Bit rate: CBR 128kbps"_s);
        form->close();
        properties(u"pic.png"_s);
        QCOMPARE(form->height(), folderHeight + 80 - 3 * 16);
        QCOMPARE(form->lineText(u"ExtraLabel3"_s), QString());
        form->close();
        f.nav().LoadCD(u"Sizes"_s, u"00000010"_s, false, u"\\"_s);
        properties(u"two.bin"_s);
        QCOMPARE(form->lineText(u"ExtraLabel1"_s), u"Checksum: "_s + QLatin1String(TwoBinChecksum));
        form->close();
    }

    void archiveEntriesOpenTheirPropertiesOnDoubleClick()
    {
        TestWindow::Window &f = *m_f;
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        f.controller<ContentsCommands>()->ExplorerActivate(f.row(u"pack.zip"_s));
        QVERIFY(f.nav().location().archiveMode);
        f.controller<ContentsCommands>()->ExplorerActivate(f.row(u"inner.txt"_s));
        TPropertiesForm *form = f.controller<ContentsCommands>()->propertiesForm();
        QVERIFY(form->isVisible() && form->nameText() == u"inner.txt"_s);
        form->close();
    }
};

QTEST_MAIN(TestObjectInfo)
#include "tst_objectinfo.moc"
