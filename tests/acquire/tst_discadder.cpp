#include "ScanFixture.h"

#include "acquire/DiscAdder.h"
#include "core/QuilloryError.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

// Adding a disc: scan, pack into the contents file, the record in the tree; replacing a
// disc scanned again; and a scan that fails part-way, which must change nothing.
class TestDiscAdder : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Catalogue> m_cat;
    QString m_vol;
    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 30)};

    DiscVolume volume(const QString &serial = u"0A1B2C3D"_s)
    {
        DiscVolume v;
        v.root = m_vol;
        v.label = u"MISC_4"_s;
        v.serial = serial;
        v.fileSystem = u"CDFS"_s;
        v.totalSize = 1 << 20;
        return v;
    }
    static DiscDetails details(const QString &title)
    {
        DiscDetails d;
        d.title = title;
        d.genre = u"Rock"_s;
        d.description = u"first line\r\nsecond line"_s;
        d.number = 7;
        return d;
    }
    QStringList looseLists() const { return QDir(m_cat->dbFolder()).entryList({u"*.file"_s, u"*.dir"_s}, QDir::Files); }
    QByteArray contentsBytes(const QString &serial) const
    {
        QFile f(ContentsFile::contentsFileName(m_cat->dbFolder(), serial));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_cat = std::make_unique<Catalogue>(m_dir->path() + u"/data"_s);
        m_cat->load([](const QString &) {});
        m_vol = m_dir->path() + u"/vol/"_s;
        QVERIFY(writeFile(m_vol + u"a.txt"_s, "12345", m_when));
        QVERIFY(writeFile(m_vol + u"MUSIC/b.wav"_s, QByteArray(100, 'w'), m_when));
        QVERIFY(writeFile(m_vol + u"MUSIC/LIVE/c.txt"_s, "c", m_when));
        QVERIFY(setMtime(m_vol + u"MUSIC/LIVE"_s, m_when));
        QVERIFY(setMtime(m_vol + u"MUSIC"_s, m_when));
    }

    void addsRecordAndContents()
    {
        DiscAdder adder(*m_cat);
        QCOMPARE(adder.nextNumber(), 1);
        TreeNode *root = m_cat->tree().root();
        TreeNode *music = m_cat->tree().addChild(root, u"Music"_s, KindGroup);
        int folders = 0;
        adder.setProcessEvents([&folders] { ++folders; });

        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        TreeNode *node = adder.add(volume(), details(u"Concert"_s), music);
        QCOMPARE(folders, 3);
        QCOMPARE(node->parent(), music);
        QCOMPARE(node->row(), music->childCount() - 1);
        // The record as "groups.tree" keeps it, its date the time of the scan.
        const TCD &cd = *node->cd();
        QCOMPARE(CDToStr(cd), u"Concert|MISC_4|0A1B2C3D|CDFS|106|first line~!second line|Rock|7|"_s + cd.Date + u'|');
        const QDateTime stamped = CatalogueLocale().parseDateTime(cd.Date);
        QVERIFY2(stamped >= before && stamped <= QDateTime::currentDateTime(), qPrintable(cd.Date));

        // The cabinet holds exactly what a scan of the volume writes, and no list is left loose.
        QVERIFY(looseLists().isEmpty());
        const ContentsFile::Lists lists = ContentsFile::read(m_cat->dbFolder(), cd.Serial);
        const ScanResult direct = scan({}, m_vol);
        QCOMPARE(lists.fileList, direct.files);
        QCOMPARE(lists.folderList, direct.folders);
    }

    void replacesADiscScannedAgain()
    {
        DiscAdder adder(*m_cat);
        TreeNode *root = m_cat->tree().root();
        TreeNode *old = adder.add(volume(), details(u"Old title"_s), root);
        TCD lent = *old->cd();
        lent.BorrowedTo = u"Eve"_s;
        m_cat->tree().setCD(old, lent);
        QVERIFY(writeFile(m_vol + u"new.txt"_s, QByteArray(1000, 'n'), m_when));
        TreeNode *elsewhere = m_cat->tree().addChild(root, u"Archive"_s, KindGroup);
        QCOMPARE(adder.existing(u"0A1B2C3D"_s), old);
        TreeNode *fresh = adder.add(volume(), details(u"New title"_s), elsewhere, old);

        QCOMPARE(adder.existing(u"0A1B2C3D"_s), fresh);
        QCOMPARE(fresh->parent(), elsewhere);
        QCOMPARE(root->childCount(), 1);        // only the group: the old entry is gone
        QCOMPARE(fresh->kind(), int(KindDisc)); // no longer lent
        QCOMPARE(fresh->cd()->Size, qint64(1106));
        QVERIFY(ContentsFile::read(m_cat->dbFolder(), lent.Serial).fileList.contains("new.txt\r\n"));
    }

    void failedScanChangesNothing()
    {
        DiscAdder adder(*m_cat);
        TreeNode *root = m_cat->tree().root();
        TreeNode *old = adder.add(volume(), details(u"Kept"_s), root);
        const QByteArray oldContents = contentsBytes(u"0A1B2C3D"_s);

        // The medium fails while the second folder is read.
        int folders = 0;
        adder.setProcessEvents([&folders] {
            if (++folders == 2)
                throw QuilloryError(u"Cannot read the medium"_s);
        });
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(), details(u"Lost"_s), root, old));
        QCOMPARE(root->childCount(), 1);
        QCOMPARE(root->child(0), old);
        QCOMPARE(old->cd()->Title, u"Kept"_s);
        QCOMPARE(contentsBytes(u"0A1B2C3D"_s), oldContents);
        QVERIFY(looseLists().isEmpty());

        // A new disc whose scan fails leaves no contents file at all.
        folders = 0;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(u"11112222"_s), details(u"New"_s), root));
        QVERIFY(!QFile::exists(ContentsFile::contentsFileName(m_cat->dbFolder(), u"11112222"_s)));
        QCOMPARE(root->childCount(), 1);
        QVERIFY(looseLists().isEmpty());
    }

    // The title's own rule is the tree's name rule, tested with the tree; here what the adder adds to it.
    void checksAndRefusals()
    {
        DiscDetails d = details(u"T"_s);
        d.genre = u"Rock|Pop"_s;
        QVERIFY(!DiscAdder::CheckDetails(d).isNull());
        DiscAdder adder(*m_cat);
        TreeNode *root = m_cat->tree().root();
        // The serial names files in the database folder.
        for (const QString &bad : {u"../../x"_s, u"0a1b2c3d"_s, QString()})
            QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(bad), details(u"T"_s), root));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(), details(u"  Leading"_s), root));
        QCOMPARE(root->childCount(), 0);
        QVERIFY(QDir(m_cat->dbFolder()).entryList(QDir::Files).filter(u".dat"_s).isEmpty());

        // A "|" or a line break reported by the system cannot split the record.
        DiscVolume v = volume();
        v.label = u"A|B\nC"_s;
        TreeNode *n = adder.add(v, details(u"T"_s), root);
        QCOMPARE(n->cd()->VolumeLabel, u"A_B?C"_s);
        QCOMPARE(StrToCD(CDToStr(*n->cd())), *n->cd());
    }

    // Edit Disc Entry's change: the details and the title checked and taken, the disc left lent
    // with its borrower.
    void changeKeepsTheDiscLent()
    {
        DiscAdder adder(*m_cat);
        TreeNode *disc = adder.add(volume(), details(u"Old"_s), m_cat->tree().root());
        TCD lent = *disc->cd();
        lent.BorrowedTo = u"Eve"_s;
        m_cat->tree().setCD(disc, lent);
        QVERIFY(!DiscAdder::changeDisc(m_cat->tree(), disc, details(u"x|y"_s)).isNull());
        DiscDetails d = details(u"New"_s);
        d.number = -9;
        d.description = u"a\nb"_s;
        QVERIFY(DiscAdder::changeDisc(m_cat->tree(), disc, d).isNull());
        lent.Title = u"New"_s;
        lent.Number = -9;
        lent.Description = u"a~!b"_s;
        QCOMPARE(*disc->cd(), lent);
        QCOMPARE(disc->text(), u"New"_s);
        QCOMPARE(disc->kind(), int(KindLent));
    }

    void parentAndLabel()
    {
        DiscAdder adder(*m_cat);
        TreeNode *root = m_cat->tree().root();
        TreeNode *group = m_cat->tree().addChild(root, u"G"_s, KindGroup);
        TreeNode *disc = adder.add(volume(), details(u"D"_s), group);
        QCOMPARE(adder.parentFor(nullptr), root);
        QCOMPARE(adder.parentFor(group), group);
        QCOMPARE(adder.parentFor(disc), group); // beside the selected disc
        QCOMPARE(adder.nextNumber(), 2);

        QCOMPARE(DiscAdder::CorrectLabel(u"MY_HOLIDAY_2003"_s), u"My Holiday 2003"_s);
        // Only a to z change case.
        QCOMPARE(DiscAdder::CorrectLabel(u"ÉCOLE_A"_s), u"École A"_s);
    }
};

QTEST_GUILESS_MAIN(TestDiscAdder)
#include "tst_discadder.moc"
