#include "ScanFixture.h"

#include "acquire/DiscAdder.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "core/QuilloryError.h"
#include "store/SingleLine.h"

#include <QTemporaryDir>
#include <QtTest>

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

    DiscVolume volume(const QString &serial = QStringLiteral("0A1B2C3D"))
    {
        DiscVolume v;
        v.root = m_vol;
        v.label = QStringLiteral("MISC_4");
        v.serial = serial;
        v.fileSystem = QStringLiteral("CDFS");
        v.totalSize = 1 << 20;
        return v;
    }
    static DiscDetails details(const QString &title)
    {
        DiscDetails d;
        d.title = title;
        d.genre = QStringLiteral("Rock");
        d.description = QStringLiteral("first line\r\nsecond line");
        d.number = 7;
        return d;
    }
    QStringList looseLists() const
    {
        return QDir(m_cat->dbFolder()).entryList({QStringLiteral("*.file"), QStringLiteral("*.dir")}, QDir::Files);
    }
    QByteArray contentsBytes(const QString &serial) const
    {
        QFile f(m_cat->contentsFile(serial));
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
        m_cat = std::make_unique<Catalogue>(m_dir->path() + QLatin1String("/data"));
        m_cat->load([](const QString &) {});
        m_vol = m_dir->path() + QLatin1String("/vol/");
        QVERIFY(writeFile(m_vol + QLatin1String("a.txt"), "12345", m_when));
        QVERIFY(writeFile(m_vol + QLatin1String("MUSIC/b.wav"), QByteArray(100, 'w'), m_when));
        QVERIFY(writeFile(m_vol + QLatin1String("MUSIC/LIVE/c.txt"), "c", m_when));
        QVERIFY(setMtime(m_vol + QLatin1String("MUSIC/LIVE"), m_when));
        QVERIFY(setMtime(m_vol + QLatin1String("MUSIC"), m_when));
    }

    void addsRecordAndContents()
    {
        Preferences prefs;
        DiscAdder adder(*m_cat, prefs);
        QCOMPARE(adder.nextNumber(), 1);
        TreeNode *root = m_cat->tree().root();
        TreeNode *music = m_cat->tree().addChild(root, QStringLiteral("Music"), KindGroup);
        int folders = 0;
        adder.setProcessEvents([&folders] { ++folders; });

        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        TreeNode *node = adder.add(volume(), details(QStringLiteral("Concert")), music);
        QCOMPARE(folders, 3);
        QCOMPARE(node->parent(), music);
        QCOMPARE(node->row(), music->childCount() - 1);
        QCOMPARE(node->kind(), int(KindDisc));
        QCOMPARE(node->text(), QStringLiteral("Concert"));
        const TCD &cd = *node->cd();
        QCOMPARE(cd.VolumeLabel, QStringLiteral("MISC_4"));
        QCOMPARE(cd.Serial, QStringLiteral("0A1B2C3D"));
        QCOMPARE(cd.FileSystem, QStringLiteral("CDFS"));
        QCOMPARE(cd.Size, qint64(106));
        QCOMPARE(cd.Description, MultiToSingle(QStringLiteral("first line\r\nsecond line")));
        QCOMPARE(cd.Genre, QStringLiteral("Rock"));
        QCOMPARE(cd.Number, 7);
        QVERIFY(cd.BorrowedTo.isEmpty());
        const QDateTime stamped = CatalogueLocale().parseDateTime(cd.Date);
        QVERIFY2(stamped.isValid() && stamped >= before && stamped <= QDateTime::currentDateTime(),
                 qPrintable(cd.Date));

        // The cabinet holds exactly what a scan of the volume writes, and no list is left loose.
        QVERIFY(looseLists().isEmpty());
        const ContentsFile::Lists lists = ContentsFile::read(m_cat->dbFolder(), cd.Serial);
        const ScanResult direct = scan(prefs, m_vol);
        QCOMPARE(lists.fileList, direct.files);
        QCOMPARE(lists.folderList, direct.folders);
        QVERIFY(lists.fileList.startsWith("a.txt\r\n\\\r\n5\r\n3/1/2004 10:20:30 AM\r\n-\r\n"));
    }

    void replacesADiscScannedAgain()
    {
        Preferences prefs;
        DiscAdder adder(*m_cat, prefs);
        TreeNode *root = m_cat->tree().root();
        TreeNode *old = adder.add(volume(), details(QStringLiteral("Old title")), root);
        TCD lent = *old->cd();
        lent.BorrowedTo = QStringLiteral("Eve");
        m_cat->tree().setCD(old, lent);
        const QByteArray oldContents = contentsBytes(lent.Serial);

        QVERIFY(writeFile(m_vol + QLatin1String("new.txt"), QByteArray(1000, 'n'), m_when));
        TreeNode *elsewhere = m_cat->tree().addChild(root, QStringLiteral("Archive"), KindGroup);
        QCOMPARE(adder.existing(QStringLiteral("0A1B2C3D")), old);
        TreeNode *fresh = adder.add(volume(), details(QStringLiteral("New title")), elsewhere, old);

        QCOMPARE(adder.existing(QStringLiteral("0A1B2C3D")), fresh);
        QCOMPARE(fresh->parent(), elsewhere);
        QCOMPARE(root->childCount(), 1); // only the group: the old entry is gone
        QCOMPARE(fresh->kind(), int(KindDisc));
        QVERIFY(fresh->cd()->BorrowedTo.isEmpty());
        QCOMPARE(fresh->cd()->Size, qint64(1106));
        QVERIFY(contentsBytes(lent.Serial) != oldContents);
        QVERIFY(ContentsFile::read(m_cat->dbFolder(), lent.Serial).fileList.contains("new.txt\r\n"));
    }

    void failedScanChangesNothing()
    {
        Preferences prefs;
        DiscAdder adder(*m_cat, prefs);
        TreeNode *root = m_cat->tree().root();
        TreeNode *old = adder.add(volume(), details(QStringLiteral("Kept")), root);
        const QByteArray oldContents = contentsBytes(QStringLiteral("0A1B2C3D"));

        // The medium fails while the second folder is read.
        int folders = 0;
        adder.setProcessEvents([&folders] {
            if (++folders == 2)
                throw QuilloryError(QStringLiteral("Cannot read the medium"));
        });
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(), details(QStringLiteral("Lost")), root, old));
        QCOMPARE(root->childCount(), 1);
        QCOMPARE(root->child(0), old);
        QCOMPARE(old->cd()->Title, QStringLiteral("Kept"));
        QCOMPARE(contentsBytes(QStringLiteral("0A1B2C3D")), oldContents);
        QVERIFY(looseLists().isEmpty());

        // A new disc whose scan fails leaves no contents file at all.
        folders = 0;
        QVERIFY_THROWS_EXCEPTION(QuilloryError,
                                 adder.add(volume(QStringLiteral("11112222")), details(QStringLiteral("New")), root));
        QVERIFY(!QFile::exists(m_cat->contentsFile(QStringLiteral("11112222"))));
        QCOMPARE(root->childCount(), 1);
        QVERIFY(looseLists().isEmpty());
    }

    void checksAndRefusals()
    {
        QCOMPARE(DiscAdder::CheckTitle(QString()), QStringLiteral("You must enter title for disc!"));
        QCOMPARE(DiscAdder::CheckTitle(QStringLiteral("a|b")),
                 QStringLiteral("Disc title cannot contain \"|\" character!"));
        QVERIFY(DiscAdder::CheckTitle(QStringLiteral("   ")).isNull()); // blanks are a title
        DiscDetails d = details(QStringLiteral("T"));
        d.genre = QStringLiteral("Rock|Pop");
        QVERIFY(!DiscAdder::CheckDetails(d).isNull());
        QCOMPARE(DiscAdder::alreadyInDatabaseQuestion(),
                 QStringLiteral("Disc is already in database. Do you want to update entry?"));
        QCOMPARE(
            DiscAdder::discNotPresentMessage(QStringLiteral("/media/cdrom/")),
            QStringLiteral("Disc not present!\rInsert disc into device /media/cdrom/ and press \"Add\" button again."));

        Preferences prefs;
        DiscAdder adder(*m_cat, prefs);
        TreeNode *root = m_cat->tree().root();
        // The serial names files in the database folder.
        for (const QString &bad : {QStringLiteral("../../x"), QStringLiteral("0a1b2c3d"), QString()})
            QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(bad), details(QStringLiteral("T")), root));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(), details(QString()), root));
        QCOMPARE(root->childCount(), 0);
        QVERIFY(QDir(m_cat->dbFolder()).entryList(QDir::Files).filter(QStringLiteral(".dat")).isEmpty());

        // A "|" or a line break reported by the system cannot split the record.
        DiscVolume v = volume();
        v.label = QStringLiteral("A|B\nC");
        TreeNode *n = adder.add(v, details(QStringLiteral("T")), root);
        QCOMPARE(n->cd()->VolumeLabel, QStringLiteral("A_B?C"));
        QCOMPARE(StrToCD(CDToStr(*n->cd())), *n->cd());
    }

    void parentAndLabel()
    {
        Preferences prefs;
        DiscAdder adder(*m_cat, prefs);
        TreeNode *root = m_cat->tree().root();
        TreeNode *group = m_cat->tree().addChild(root, QStringLiteral("G"), KindGroup);
        TreeNode *disc = adder.add(volume(), details(QStringLiteral("D")), group);
        QCOMPARE(adder.parentFor(nullptr), root);
        QCOMPARE(adder.parentFor(group), group);
        QCOMPARE(adder.parentFor(disc), group); // beside the selected disc
        QCOMPARE(adder.nextNumber(), 2);

        QCOMPARE(DiscAdder::CorrectLabel(QStringLiteral("MISC_4")), QStringLiteral("Misc 4"));
        QCOMPARE(DiscAdder::CorrectLabel(QStringLiteral("MY_HOLIDAY_2003")), QStringLiteral("My Holiday 2003"));
        QCOMPARE(DiscAdder::CorrectLabel(QStringLiteral("AUDIO_CD_1")), QStringLiteral("Audio Cd 1"));
        QCOMPARE(DiscAdder::CorrectLabel(QStringLiteral("x")), QStringLiteral("X"));
        QCOMPARE(DiscAdder::CorrectLabel(QString()), QString());
        // Only a to z change case.
        QCOMPARE(DiscAdder::CorrectLabel(QStringLiteral("ÉCOLE_A")), QStringLiteral("École A"));
    }
};

QTEST_GUILESS_MAIN(TestDiscAdder)
#include "tst_discadder.moc"
