// The compilation's rules (duplicates, the CD threshold, order, deleting), the entries it takes
// from the contents list, the per-disc batches of a copy or burn, the playlist lines, and the
// copy that brings catalogued files back from a medium: whole folders, replacing without
// asking, and a file that cannot be read or written named at the end while the rest arrive.

#include "CabTestUtil.h"
#include "FileSizeLimit.h"
#include "ScanFixture.h"
#include "compile/CompilationList.h"
#include "compile/CompileSelection.h"
#include "compile/DiscBatches.h"
#include "compile/FileCopier.h"
#include "compile/M3UPlaylist.h"
#include "core/TextCodec.h"
#include "listing/ContentsListing.h"
#include "listing/ExtensionIconCache.h"
#include "listing/LocationState.h"

#include <QFile>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using CabTestUtil::readFile;

namespace
{

CompilationEntry entry(const QString &name, const QString &path, const QString &sn, qint64 size, int icon = 9)
{
    return CompilationEntry{name, icon, EntryPlace::parse(path, sn), size};
}

ContentsEntry listed(ContentsEntry::Kind kind, const QString &caption, const EntryPlace &place = {}, qint64 size = 1,
                     int image = 9)
{
    return {.kind = kind, .caption = caption, .image = image, .place = place, .size = size};
}

QStringList names(const CompilationList &list)
{
    QStringList out;
    for (const CompilationEntry &e : list.entries())
        out << e.Name;
    return out;
}

} // namespace

class TestCompile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_medium = m_dir.filePath(u"medium"_s);
    QString m_dest = m_dir.filePath(u"dest"_s);

    void prepareMedium()
    {
        QDir(m_medium).removeRecursively();
        QDir(m_dest).removeRecursively();
        QVERIFY(ScanFixture::writeFile(m_medium + u"/Photos/beach.jpg"_s, "beach"));
        QVERIFY(ScanFixture::writeFile(m_medium + u"/Photos/2025/.hidden"_s, "hidden"));
        QDir().mkpath(m_medium + u"/Photos/empty"_s);
        QVERIFY(ScanFixture::writeFile(m_medium + u"/Music/song.mp3"_s, QByteArray(3 * 1024 * 1024 + 7, 's')));
        QVERIFY(ScanFixture::writeFile(m_medium + u"/readme.txt"_s, "new readme"));
        QDir().mkpath(m_dest);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // The CD threshold, order and deleting.
    void compilationList()
    {
        CompilationList list;
        list.add({entry(u"big.iso"_s, u"A:\\"_s, u"11111111"_s, 734003200 - 100),
                  entry(u"small.txt"_s, u"A:\\"_s, u"11111111"_s, 100)});
        QCOMPARE(list.total(), qint64(734003200));
        QVERIFY(!list.overCapacity());
        QCOMPARE(list.sizeCaption(), u"Total size: 700.00 MB"_s);
        list.add({entry(u"one.byte"_s, u"A:\\"_s, u"11111111"_s, 1)});
        QVERIFY(list.overCapacity());
        // Deleting the byte takes the total back to the line.
        list.remove({1});
        QVERIFY(!list.overCapacity());

        // Folders first, then names without case; deleting rows leaves the rest in order.
        CompilationList sorted;
        sorted.add({entry(u"b.txt"_s, u"D:\\"_s, u"1"_s, 1, 12), entry(u"Zeta"_s, u"D:\\"_s, u"1"_s, 0, 0),
                  entry(u"A.TXT"_s, u"D:\\"_s, u"1"_s, 1, 12), entry(u"c.mp3"_s, u"D:\\"_s, u"1"_s, 1, 8),
                  entry(u"alpha"_s, u"D:\\"_s, u"1"_s, 0, 0)});
        QCOMPARE(names(sorted), (QStringList{u"alpha"_s, u"Zeta"_s, u"c.mp3"_s, u"A.TXT"_s, u"b.txt"_s}));
        sorted.remove({2, 0});
        QCOMPARE(names(sorted), (QStringList{u"Zeta"_s, u"A.TXT"_s, u"b.txt"_s}));
        QCOMPARE(sorted.total(), qint64(2));

        // One name from two places would be one entry of a burnt disc's root folder.
        QCOMPARE(sorted.sharedNames(), QStringList());
        sorted.add({entry(u"b.txt"_s, u"D:\\Sub\\"_s, u"1"_s, 1, 12), entry(u"Zeta"_s, u"E:\\"_s, u"2"_s, 0, 0),
                    entry(u"B.TXT"_s, u"E:\\"_s, u"2"_s, 1, 12)});
        QCOMPARE(sorted.sharedNames(), (QStringList{u"Zeta"_s, u"b.txt"_s}));
    }

    void duplicatesByNameAndPlace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("added");
        // Beside "song.mp3" in "Music:\Rock\" of disc AAAA0001:
        QTest::newRow("same place") << u"song.mp3"_s << u"Music:\\Rock\\"_s << u"AAAA0001"_s << false;
        QTest::newRow("same place, another disc of that title")
            << u"song.mp3"_s << u"Music:\\Rock\\"_s << u"BBBB0002"_s << false;
        QTest::newRow("name in another case") << u"Song.mp3"_s << u"Music:\\Rock\\"_s << u"AAAA0001"_s << true;
        QTest::newRow("another folder") << u"song.mp3"_s << u"Music:\\Jazz\\"_s << u"AAAA0001"_s << true;
        QTest::newRow("title in another case") << u"song.mp3"_s << u"music:\\Rock\\"_s << u"AAAA0001"_s << true;
    }

    void duplicatesByNameAndPlace()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(QString, serial);
        QFETCH(bool, added);
        CompilationList list;
        QCOMPARE(list.add({entry(u"song.mp3"_s, u"Music:\\Rock\\"_s, u"AAAA0001"_s, 10)}), 1);
        // Twice in one drop counts once.
        QCOMPARE(list.add({entry(name, path, serial, 1), entry(name, path, serial, 1)}), added ? 1 : 0);
        QCOMPARE(list.total(), qint64(added ? 11 : 10));
    }

    void entriesAndWhatMayBeCopied()
    {
        ExtensionIconCache icons;
        ContentsListing listing(&icons);
        listing.addEntry(listed(ContentsEntry::Up, u".."_s));
        const EntryPlace music(u"Music"_s, u"1A2B3C4D"_s, u"\\"_s);
        const EntryPlace photos(u"Photos: 2025"_s, u"5E6F7081"_s, u"\\2025\\"_s);
        listing.addEntry(listed(ContentsEntry::Folder, u"Rock"_s, music, 3000, 0));
        listing.addEntry(listed(ContentsEntry::File, u"pic.jpg"_s, photos, 4096));
        const QList<CompilationEntry> got = CompileSelection::entriesOf(listing, {0, 1, 2});
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[0].Name + u' ' + QString::number(got[0].Icon), u"Rock 0"_s);
        QCOMPARE(got[0].Place, music);
        // A title with ":" reaches the disc batches whole.
        QCOMPARE(got[1].Place, photos);
        QCOMPARE(got[1].Size, qint64(4096));
        QCOMPARE(DiscBatches(got).batches().at(1).Title, u"Photos: 2025"_s);

        listing.clear();
        listing.addEntry(listed(ContentsEntry::Up, u".."_s)); // 0
        const EntryPlace m(u"M"_s, u"1"_s, u"\\"_s);
        listing.addEntry(listed(ContentsEntry::File, u"a.mp3"_s, m, 1));                                       // 1
        listing.addEntry(listed(ContentsEntry::File, u"in.txt"_s, EntryPlace::parse(u"M:\\Pack.Zip\\"_s), 1)); // 2
        listing.addEntry(listed(ContentsEntry::Archive, u"Pack.Zip"_s, m, 1, 6));                              // 3
        listing.addEntry(
            listed(ContentsEntry::Disc, u"Some Disc"_s, EntryPlace(u"Some Disc"_s, u"1"_s, {}), 1, 2)); // 4
        LocationState disc;
        disc.currentSerial = u"1"_s;
        LocationState group;

        // An archive is a file of the disc, its entries are not; outside a disc only the first row counts.
        const QList<std::tuple<const LocationState *, QList<int>, bool>> cases{
            {&disc, {}, false},       {&disc, {0}, false},    {&group, {4}, false},   {&disc, {1}, true},
            {&disc, {1, 3}, true},    {&disc, {1, 2}, false}, {&group, {1, 2}, true}, {&disc, {0, 1, 3}, true},
            {&disc, {0, 1, 2}, false}}; // ".." with the rest, as Ctrl+A selects
        for (const auto &[where, rows, may] : cases)
            QVERIFY2(CompileSelection::canCopy(listing, *where, rows) == may, qPrintable(QString::number(rows.size())));

        // The button goes by the first two rows: an archive's entry further down is refused with
        // a reason, where a refusal the button showed already needs none.
        listing.addEntry(listed(ContentsEntry::File, u"in2.txt"_s, EntryPlace::parse(u"M:\\Pack.Zip\\"_s), 1)); // 5
        QVERIFY(CompileSelection::canCopy(listing, disc, {1, 3}));
        QVERIFY(!CompileSelection::refusal(listing, disc, {1, 3, 5}).isEmpty());
        QVERIFY(CompileSelection::refusal(listing, disc, {1, 2}).isEmpty());
    }

    void batchesAndPlaylist()
    {
        const DiscBatches batches({entry(u"one.txt"_s, u"Disc A:\\x\\"_s, u"AAAA0001"_s, 1),
                                   entry(u"two.txt"_s, u"Disc B:\\"_s, u"BBBB0002"_s, 1),
                                   entry(u"Photos"_s, u"Disc A:\\"_s, u"AAAA0001"_s, 0, 0)});
        QCOMPARE(batches.count(), 2);

        // Giving up at the second disc: the first disc's files are copied, nothing after.
        QStringList asked;
        QList<QStringList> copied;
        const bool done = batches.copyEach(
            [&asked](const QString &serial, const QString &title) {
                asked << serial + u' ' + title;
                return serial == u"AAAA0001"_s ? u"/mnt/a/"_s : QString();
            },
            [&copied](const QStringList &sources, const QStringList &) { copied << sources; });
        QVERIFY(!done);
        QCOMPARE(asked, (QStringList{u"AAAA0001 Disc A"_s, u"BBBB0002 Disc B"_s}));
        QCOMPARE(copied, (QList<QStringList>{{u"/mnt/a/x/one.txt"_s, u"/mnt/a/Photos"_s}}));

        // Names no scan writes ("..", "/" in one, from a hand-made list) lead out of the medium:
        // refused, and named as the catalogue names them; the playlist leaves them out.
        const DiscBatches crafted({entry(u".."_s, u"Disc A:\\x\\"_s, u"AAAA0001"_s, 1),
                                   entry(u"a.mp3"_s, u"Disc A:\\..\\up\\"_s, u"AAAA0001"_s, 1),
                                   entry(u"b/c.mp3"_s, u"Disc A:\\"_s, u"AAAA0001"_s, 1),
                                   entry(u"d.mp3"_s, u"Disc A:\\x\\"_s, u"AAAA0001"_s, 1)});
        QStringList sources, refused;
        QVERIFY(crafted.copyEach([](const QString &, const QString &) { return u"/mnt/a/"_s; },
                                 [&](const QStringList &s, const QStringList &r) { sources = s, refused = r; }));
        QCOMPARE(sources, QStringList{u"/mnt/a/x/d.mp3"_s});
        QCOMPARE(refused, (QStringList{u"Disc A:\\x\\.."_s, u"Disc A:\\..\\up\\a.mp3"_s, u"Disc A:\\b/c.mp3"_s}));
        QCOMPARE(M3UPlaylist::lines(u"/mnt/a/"_s, {entry(u".."_s, u"Disc A:\\x\\"_s, u"AAAA0001"_s, 1)}), QByteArray());

        const QList<CompilationEntry> songs = {entry(u"b.mp3"_s, u"Music:\\"_s, u"1"_s, 1),
                                               entry(u"a.mp3"_s, u"Music:\\"_s, u"1"_s, 1),
                                               entry(u"Cafe Noir.ogg"_s, u"Music:\\Jazz\\Late\\"_s, u"1"_s, 1),
                                               entry(u"packed.mp3"_s, u"Music:\\songs.zip\\"_s, u"1"_s, 1)};
        const QByteArray expected = "/media/u/MUSIC_2025/b.mp3\r\n"
                                    "/media/u/MUSIC_2025/a.mp3\r\n"
                                    "/media/u/MUSIC_2025/Jazz/Late/Cafe Noir.ogg\r\n";
        QCOMPARE(M3UPlaylist::lines(u"/media/u/MUSIC_2025/"_s, songs), expected);

        // A drive without a mounted medium: where the desktop will mount the disc by its label.
        QCOMPARE(M3UPlaylist::mediumRoot(u"/media/u/MUSIC_2025/"_s, u"ignored"_s), u"/media/u/MUSIC_2025/"_s);
        const QString root = M3UPlaylist::mediumRoot(u"/dev/sr0"_s, u"MUSIC_2025"_s);
        QVERIFY(root.startsWith(u"/media/"_s) && root.endsWith(u"/MUSIC_2025/"_s));

        QTemporaryDir dir;
        const QString file = dir.filePath(u"list.m3u"_s);
        TextCodec::writeBytes(file, QByteArray(4096, 'x'));
        QVERIFY(M3UPlaylist::CreateList(u"/media/u/MUSIC_2025/"_s, file, songs));
        QCOMPARE(readFile(file), expected); // the longer old file is cut, not overlaid

        QString error;
        QVERIFY(!M3UPlaylist::CreateList(u"/m/"_s, dir.filePath(u"no/such/folder/x.m3u"_s), songs, &error));
        QVERIFY2(error.startsWith(
                     u"The playlist could not be written to %1: "_s.arg(dir.filePath(u"no/such/folder/x.m3u"_s))),
                 qPrintable(error));
    }

    void foldersWithContentsAndFilesReplacedWithoutAsking()
    {
        prepareMedium();
        QVERIFY(ScanFixture::writeFile(m_dest + u"/readme.txt"_s, "an old readme that is longer"));
        QFile::setPermissions(m_dest + u"/readme.txt"_s, QFileDevice::ReadOwner);
        QVERIFY(ScanFixture::writeFile(m_dest + u"/Photos/keep.txt"_s, "mine"));

        FileCopier copier;
        QList<qint64> done;
        qint64 total = -1;
        copier.setProgress([&](qint64 d, qint64 t, const QString &) {
            done << d;
            total = t;
            return true;
        });
        QVERIFY(copier.copy({m_medium + u"/Photos"_s, m_medium + u"/readme.txt"_s, m_medium + u"/Music/song.mp3"_s},
                            m_dest));
        QVERIFY(copier.failures().isEmpty());
        QCOMPARE(readFile(m_dest + u"/readme.txt"_s) + '|' + readFile(m_dest + u"/Photos/beach.jpg"_s) + '|' +
                     readFile(m_dest + u"/Photos/2025/.hidden"_s) + '|' + readFile(m_dest + u"/Photos/keep.txt"_s),
                 QByteArray("new readme|beach|hidden|mine"));
        QVERIFY(QFileInfo(m_dest + u"/Photos/empty"_s).isDir());
        QCOMPARE(QFileInfo(m_dest + u"/song.mp3"_s).size(), qint64(3 * 1024 * 1024 + 7));
        // The gauge goes up to what was to be copied and never back.
        const qint64 all = 5 + 6 + 10 + 3 * 1024 * 1024 + 7;
        QCOMPARE(total, all);
        QCOMPARE(done.last(), all);
        QVERIFY(std::is_sorted(done.cbegin(), done.cend()));
    }

    // Links planted in the destination lead nowhere else: one in a file's place is replaced, one in
    // a folder's place is refused with what was to go in it.
    void linksInTheDestinationAreNotFollowed()
    {
        prepareMedium();
        const QString victim = m_dir.filePath(u"victim"_s);
        QVERIFY(ScanFixture::writeFile(victim + u"/mine.txt"_s, "mine"));
        QVERIFY(QFile::link(victim + u"/mine.txt"_s, m_dest + u"/readme.txt"_s));
        QVERIFY(QFile::link(victim, m_dest + u"/Photos"_s));
        FileCopier copier;
        QVERIFY(!copier.copy({m_medium + u"/Photos"_s, m_medium + u"/readme.txt"_s}, m_dest));
        QCOMPARE(readFile(victim + u"/mine.txt"_s), QByteArray("mine"));
        QCOMPARE(QDir(victim).entryList(QDir::Files), QStringList{u"mine.txt"_s});
        QVERIFY(!QFileInfo(m_dest + u"/readme.txt"_s).isSymLink());
        QCOMPARE(readFile(m_dest + u"/readme.txt"_s), QByteArray("new readme"));
        QCOMPARE(copier.failures().size(), 1);
        QCOMPARE(copier.failures()[0].path, m_dest + u"/Photos"_s);
    }

    void aFailedFileIsNamedAndTheRestCopied()
    {
        prepareMedium();
        // A file gone when its turn comes (a scratched disc), and a folder where a file should go.
        QDir().mkpath(m_dest + u"/Music/song.mp3"_s);
        // A file where a folder should go: named once, not with everything meant for the folder.
        QVERIFY(ScanFixture::writeFile(m_dest + u"/Photos/2025"_s, "mine"));
        // A name that is not UTF-8, which a path in text cannot carry: named, not passed over.
        const QByteArray latin1 = QFile::encodeName(m_medium + u"/Music/"_s) + "caf\xe9.mp3";
        const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        const auto removeLatin1 = qScopeGuard([&latin1] { ::unlink(latin1.constData()); }); // beyond Qt's reach
        FileCopier copier;
        copier.setProgress([this](qint64, qint64, const QString &file) {
            if (file.endsWith(u"beach.jpg"_s))
                QFile::remove(file);
            return true;
        });
        QVERIFY(!copier.copy({m_medium + u"/Photos"_s, m_medium + u"/Music"_s, m_medium + u"/readme.txt"_s}, m_dest));
        QStringList failed;
        for (const FileCopier::Failure &f : copier.failures())
            failed << QString(f.path).remove(m_dest + u'/').remove(m_medium + u'/') + u": "_s + f.reason;
        QCOMPARE(failed.size(), 4);
        QCOMPARE(failed.at(0), u"Music/caf\u00E9.mp3: Its name is not UTF-8 text, so it cannot be copied here; "
                               u"copy it by hand."_s);
        QCOMPARE(failed.at(1), u"Photos/2025: A file of that name is in the way of the folder."_s);
        QCOMPARE(failed.at(2).left(failed.at(2).indexOf(u':')), u"Photos/beach.jpg"_s);
        QVERIFY(failed.at(3).startsWith(u"Music/song.mp3: "_s) && failed.at(3).size() > 16);
        QCOMPARE(readFile(m_dest + u"/Photos/2025"_s) + '|' + readFile(m_dest + u"/readme.txt"_s) + '|' +
                     readFile(m_dest + u"/Photos/beach.jpg"_s),
                 QByteArray("mine|new readme|<missing>"));

        // Chosen by itself, as the catalogue names it (its Windows-1252 reading): named, and never
        // taken for another file whose UTF-8 name reads alike.
        const QString named = m_medium + u"/Music/caf\u00E9.mp3"_s;
        QVERIFY(!copier.copy({named}, m_dest));
        QVERIFY2(copier.failures().last().reason.startsWith(u"Its name is not UTF-8 text"_s),
                 qPrintable(copier.failures().last().reason));
        QVERIFY(ScanFixture::writeFile(named, "the other file"));
        QVERIFY(!copier.copy({named}, m_dest));
        QVERIFY2(copier.failures().last().reason.startsWith(u"Another name on the disc, which is not UTF-8"_s),
                 qPrintable(copier.failures().last().reason));
        QVERIFY(!QFileInfo::exists(m_dest + u"/caf\u00E9.mp3"_s));
    }

    // A disk full in a file's last bytes: it is named, the old one stays, and what fits is copied.
    void aFileCutShortOnAFullDiskIsNamed()
    {
        prepareMedium();
        QVERIFY(ScanFixture::writeFile(m_dest + u"/Music/song.mp3"_s, "old song"));
        FileCopier copier;
        bool copied = true;
        {
            const FileSizeLimit full(3 * 1024 * 1024 + 3);
            copied = copier.copy({m_medium + u"/Music"_s, m_medium + u"/readme.txt"_s}, m_dest);
        }
        QVERIFY(!copied);
        QCOMPARE(copier.failures().size(), 1);
        QCOMPARE(copier.failures()[0].path + u": "_s + copier.failures()[0].reason,
                 m_dest + u"/Music/song.mp3: "_s + QString::fromLocal8Bit(strerror(EFBIG)));
        QCOMPARE(readFile(m_dest + u"/Music/song.mp3"_s), QByteArray("old song"));
        QCOMPARE(QDir(m_dest + u"/Music"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"song.mp3"_s});
        QCOMPARE(readFile(m_dest + u"/readme.txt"_s), QByteArray("new readme"));
    }

    // What is copied is what a scan lists: a link to a file gives the file's bytes (a copied link
    // would dangle once the disc is out), but one off the medium (to a file of the computer) is
    // refused and named; a link to a folder and a pipe inside a folder are passed
    // over (a pipe held the copy up for good), one chosen is named, and a pipe put in a
    // file's place once the copy has begun is named, not waited on.
    void onlyWhatAScanLists()
    {
        prepareMedium();
        const QString music = m_medium + u"/Music/"_s;
        QVERIFY(QFile::link(m_medium + u"/readme.txt"_s, music + u"link.txt"_s));
        QVERIFY(QFile::link(m_medium + u"/Photos"_s, music + u"photos"_s));
        QVERIFY(QFile::link(u"/proc/version"_s, music + u"host.txt"_s));
        QVERIFY(::mkfifo(QFile::encodeName(music + u"pipe"_s).constData(), 0644) == 0);
        FileCopier copier;
        copier.setProgress([](qint64, qint64, const QString &file) {
            if (file.endsWith(u"song.mp3"_s) && QFile::remove(file))
                ::mkfifo(QFile::encodeName(file).constData(), 0644);
            return true;
        });
        QVERIFY(!copier.copy({m_medium + u"/Music"_s, music + u"pipe"_s}, m_dest));
        QCOMPARE(QDir(m_dest + u"/Music"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{u"link.txt"_s});
        QVERIFY(!QFileInfo(m_dest + u"/Music/link.txt"_s).isSymLink());
        QCOMPARE(readFile(m_dest + u"/Music/link.txt"_s), QByteArray("new readme"));
        QStringList failed;
        for (const FileCopier::Failure &f : copier.failures())
            failed << QString(f.path).remove(music) + u": "_s + f.reason;
        QCOMPARE(failed,
                 (QStringList{u"host.txt: It is a link to a file off the disc, which is not copied."_s,
                              u"pipe: It is neither a file nor a folder (a link to a folder, a device or a pipe)."_s,
                              u"song.mp3: It is no longer a file (a device or a pipe is in its place)."_s}));
    }

    void refusals()
    {
        prepareMedium();
        FileCopier copier;
        QVERIFY(!copier.copy({m_medium + u"/readme.txt"_s}, m_dir.filePath(u"nowhere"_s)));
        QVERIFY(!copier.copy({m_medium + u"/missing.txt"_s, m_medium + u"/readme.txt"_s}, m_dest));
        QCOMPARE(readFile(m_dest + u"/readme.txt"_s), QByteArray("new readme"));
        // A folder copied into itself would never end.
        QVERIFY(!copier.copy({m_medium}, m_medium + u"/Photos"_s));
        QVERIFY(!QFileInfo::exists(m_medium + u"/Photos/medium"_s));
        QCOMPARE(copier.failures().size(), 3);
    }

    void stoppedByTheUser()
    {
        prepareMedium();
        QVERIFY(ScanFixture::writeFile(m_dest + u"/Music/song.mp3"_s, "old song"));
        FileCopier copier;
        int calls = 0;
        copier.setProgress([&calls](qint64 done, qint64, const QString &) { return ++calls < 3 || done == 0; });
        QVERIFY(!copier.copy({m_medium + u"/Music"_s}, m_dest));
        QVERIFY(copier.stopped());
        // A file stopped half way leaves the one it was to replace as it was.
        QCOMPARE(readFile(m_dest + u"/Music/song.mp3"_s), QByteArray("old song"));
        QCOMPARE(QDir(m_dest + u"/Music"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"song.mp3"_s});
    }
};

QTEST_GUILESS_MAIN(TestCompile)
#include "tst_compile.moc"
