#include "ScanFixture.h"

#include "acquire/DiscAdder.h"
#include "core/QuilloryError.h"
#include "store/Catalogue.h"
#include "store/CatalogueSwitch.h"
#include "store/ContentsFile.h"
#include "store/DataPaths.h"
#include "store/SingleLine.h"

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
        QCOMPARE(node->kind(), int(KindDisc));
        QCOMPARE(node->text(), u"Concert"_s);
        const TCD &cd = *node->cd();
        QCOMPARE(cd.VolumeLabel, u"MISC_4"_s);
        QCOMPARE(cd.Serial, u"0A1B2C3D"_s);
        QCOMPARE(cd.FileSystem, u"CDFS"_s);
        QCOMPARE(cd.Size, qint64(106));
        QCOMPARE(cd.Description, MultiToSingle(u"first line\r\nsecond line"_s));
        QCOMPARE(cd.Genre, u"Rock"_s);
        QCOMPARE(cd.Number, 7);
        QVERIFY(cd.BorrowedTo.isEmpty());
        const QDateTime stamped = CatalogueLocale().parseDateTime(cd.Date);
        QVERIFY2(stamped.isValid() && stamped >= before && stamped <= QDateTime::currentDateTime(),
                 qPrintable(cd.Date));

        // The cabinet holds exactly what a scan of the volume writes, and no list is left loose.
        QVERIFY(looseLists().isEmpty());
        const ContentsFile::Lists lists = ContentsFile::read(m_cat->dbFolder(), cd.Serial);
        const ScanResult direct = scan({}, m_vol);
        QCOMPARE(lists.fileList, direct.files);
        QCOMPARE(lists.folderList, direct.folders);
        QVERIFY(lists.fileList.startsWith("a.txt\r\n\\\r\n5\r\n3/1/2004 10:20:30 AM\r\n-\r\n"));
    }

    void replacesADiscScannedAgain()
    {
        DiscAdder adder(*m_cat);
        TreeNode *root = m_cat->tree().root();
        TreeNode *old = adder.add(volume(), details(u"Old title"_s), root);
        TCD lent = *old->cd();
        lent.BorrowedTo = u"Eve"_s;
        m_cat->tree().setCD(old, lent);
        const QByteArray oldContents = contentsBytes(lent.Serial);

        QVERIFY(writeFile(m_vol + u"new.txt"_s, QByteArray(1000, 'n'), m_when));
        TreeNode *elsewhere = m_cat->tree().addChild(root, u"Archive"_s, KindGroup);
        QCOMPARE(adder.existing(u"0A1B2C3D"_s), old);
        TreeNode *fresh = adder.add(volume(), details(u"New title"_s), elsewhere, old);

        QCOMPARE(adder.existing(u"0A1B2C3D"_s), fresh);
        QCOMPARE(fresh->parent(), elsewhere);
        QCOMPARE(root->childCount(), 1); // only the group: the old entry is gone
        QCOMPARE(fresh->kind(), int(KindDisc));
        QVERIFY(fresh->cd()->BorrowedTo.isEmpty());
        QCOMPARE(fresh->cd()->Size, qint64(1106));
        QVERIFY(contentsBytes(lent.Serial) != oldContents);
        QVERIFY(ContentsFile::read(m_cat->dbFolder(), lent.Serial).fileList.contains("new.txt\r\n"));
    }

    // Killed at any step of the add, as a kill would stop it there: the next owner finds the
    // catalogue as before the add or as after it, the tree's record over its own contents, and
    // nothing else left in DB.
    void killedAnywhereLeavesOldOrNew_data()
    {
        QTest::addColumn<bool>("update");
        QTest::newRow("new disc") << false;
        QTest::newRow("update") << true;
    }
    void killedAnywhereLeavesOldOrNew()
    {
        struct Killed {
        };
        QFETCH(bool, update);
        const QString newVolume = m_dir->path() + u"/newvol/"_s;
        QVERIFY(writeFile(newVolume + u"new.txt"_s, QByteArray(1000, 'n'), m_when));
        // The catalogue as its next owner finds it: records without their dates, and the lists.
        const auto found = [](const QString &data) {
            Catalogue cat(data);
            cat.lock();
            cat.load({});
            QStringList out;
            cat.tree().forEachPreOrder([&](TreeNode *n) {
                out << n->text();
                if (n->isDisc())
                    out << QString::number(n->cd()->Size)
                        << ContentsFile::read(cat.dbFolder(), n->cd()->Serial).fileList;
            });
            QStringList entries =
                QDir(cat.dbFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            entries.removeOne(Catalogue::lockName());
            return out << entries.join(u' ');
        };
        // The add, stopped before step `stopAt` of its switch (never, for 0); whether it was.
        const auto run = [&](const QString &data, int stopAt) {
            Catalogue cat(data);
            cat.load({});
            DiscAdder adder(cat);
            TreeNode *old = update ? adder.add(volume(), details(u"Old"_s), cat.tree().root()) : nullptr;
            int steps = 0;
            CatalogueSwitch::setStepHook([&](const char *) {
                if (++steps == stopAt)
                    throw Killed();
            });
            DiscVolume v = volume();
            v.root = newVolume;
            bool killed = false;
            try {
                adder.add(v, details(u"New"_s), cat.tree().root(), old);
            } catch (const Killed &) {
                killed = true;
            }
            CatalogueSwitch::setStepHook({});
            return killed;
        };
        const QString oldData = m_dir->path() + u"/old"_s;
        if (update)
            run(oldData, 1);
        else
            QVERIFY(QDir().mkpath(DataPaths::dbFolder(oldData)));
        const QStringList oldState = found(oldData);
        const QString newData = m_dir->path() + u"/new"_s;
        QVERIFY(!run(newData, 0));
        const QStringList newState = found(newData);
        QVERIFY(newState != oldState);

        for (int stopAt = 1;; ++stopAt) {
            QVERIFY2(stopAt < 100, "the add never finished");
            const QString data = m_dir->path() + u"/run%1"_s.arg(stopAt);
            const bool killed = run(data, stopAt);
            const QStringList after = found(data);
            QVERIFY2(after == oldState || after == newState, qPrintable(after.join(u'\n')));
            if (!killed)
                break;
        }
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

    void checksAndRefusals()
    {
        QCOMPARE(DiscAdder::CheckTitle(QString()), u"You must enter title for disc!"_s);
        QCOMPARE(DiscAdder::CheckTitle(u"a|b"_s), u"Disc title cannot contain \"|\" character!"_s);
        // The tree's name rule: what "groups.tree" would read as indentation or as another line.
        for (const QString &bad : {u"   "_s, u"  Leading"_s, u"\tTab"_s, u"two\nlines"_s})
            QVERIFY2(!DiscAdder::CheckTitle(bad).isNull(), qPrintable(bad));
        QVERIFY(DiscAdder::CheckTitle(u"Trailing "_s).isNull());
        DiscDetails d = details(u"T"_s);
        d.genre = u"Rock|Pop"_s;
        QVERIFY(!DiscAdder::CheckDetails(d).isNull());
        QCOMPARE(DiscAdder::alreadyInDatabaseQuestion(),
                 u"Disc is already in database. Do you want to update entry?"_s);
        QCOMPARE(DiscAdder::discNotPresentMessage(u"/media/cdrom/"_s),
                 u"Disc not present!\rInsert disc into device /media/cdrom/ and press \"Add\" button again."_s);

        DiscAdder adder(*m_cat);
        TreeNode *root = m_cat->tree().root();
        // The serial names files in the database folder.
        for (const QString &bad : {u"../../x"_s, u"0a1b2c3d"_s, QString()})
            QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(bad), details(u"T"_s), root));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(), details(QString()), root));
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
        QCOMPARE(DiscAdder::CorrectLabel(QString()), QString());
        // Only a to z change case.
        QCOMPARE(DiscAdder::CorrectLabel(u"ÉCOLE_A"_s), u"École A"_s);
    }
};

QTEST_GUILESS_MAIN(TestDiscAdder)
#include "tst_discadder.moc"
