// Volume serial numbers and file-system names read from images made by the real tools, checked against values
// worked out independently (the serial given to the tool, blkid, or volume_serial.py).
#include "RunProgram.h"
#include "acquire/VolumeProbe.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

QString tool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {u"/usr/sbin"_s, u"/sbin"_s});
    return path;
}

// Runs a tool; the output on success, a null string on failure (with the reason in *why).
QString run(const QString &program, const QStringList &args, QString *why = nullptr)
{
    const ProgramRun r = runProgram(program, args);
    if (r.code != 0 && why)
        *why = program + u' ' + args.join(u' ') + u": "_s + QString::fromLocal8Bit(r.err);
    if (r.code != 0)
        return QString();
    const QString out = QString::fromLocal8Bit(r.out).trimmed();
    return out.isNull() ? u""_s : out;
}

QString expected(const QStringList &args)
{
    return run(u"python3"_s, QStringList{QStringLiteral(QUILLORY_SOURCE_DIR "/tests/acquire/volume_serial.py")} + args);
}

// Writes a file, its folders first; a size beyond the bytes is left as a hole.
bool writeFile(const QString &path, const QByteArray &bytes, qint64 size = 0)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.resize(qMax(size, qint64(bytes.size())));
}

QByteArray readStart(const QString &path, qint64 size = 1 << 30)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(size) : QByteArray();
}

VolumeProbeResult probeBytes(const QByteArray &image, quint32 session = 0)
{
    return VolumeProbe::probe(
        [&image](qint64 offset, char *data, qint64 size) {
            if (offset < 0 || offset + size > image.size())
                return false;
            memcpy(data, image.constData() + offset, size_t(size));
            return true;
        },
        session);
}

} // namespace

class TestSerial : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void images_data();
    void images();
    void isoMultisession();
    void damagedImagesNeverCrash();
    void notAVolume();
    void uuidFallbackAndNames();

private:
    QTemporaryDir m_dir;
    QStringList m_images; // made by the tests above, reused by the damage test
};

// One image per row, made by the real tool ("IMG" stands for its path), and the serial it must give: a literal
// (the serial given to the tool) or the one volume_serial.py works out with the given arguments.
void TestSerial::images_data()
{
    QTest::addColumn<QStringList>("make"); // tool and arguments; a second tool after "&&"
    QTest::addColumn<int>("mib");          // size of the empty image the tool formats, 0 when it makes its own
    QTest::addColumn<QString>("fs");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QStringList>("reference");
    QTest::addColumn<QString>("uuidType"); // the serial from blkid's UUID must agree
    const auto row = [](const char *name, const QStringList &make, int mib, const char *fs, const char *label,
                        const char *serial, const QStringList &reference = {}, const char *uuidType = "") {
        QTest::newRow(name) << make << mib << fs << label << serial << reference << uuidType;
    };
    const auto fat = [](const char *bits, const char *kib, const char *serial) {
        return QStringList{"mkfs.vfat", "-C", "-F",   bits, "-S",      "512", "-s",
                           "1",         "-i", serial, "-n", "FATDISC", "IMG", kib};
    };
    row("FAT12, leading zeros", fat("12", "1440", "00001234"), 0, "FAT", "", "00001234");
    row("FAT16", fat("16", "32768", "0A1B2C3D"), 0, "FAT", "", "0A1B2C3D");
    row("FAT32", fat("32", "65536", "DEADBEEF"), 0, "FAT32", "", "DEADBEEF");
    row("exFAT", {"mkfs.exfat", "-L", "EXDISC", "IMG"}, 16, "exFAT", "", "", {"boot", "IMG", "0x64", "4"}, "exfat");
    // The high half differs from the low half, whose leading zeros must survive.
    row("NTFS",
        {"mkntfs", "-F", "-Q", "-q", "-L", "NTDISC", "IMG", "&&", "ntfslabel", "--new-serial=1234567800ABCDEF", "IMG"},
        16, "NTFS", "", "00ABCDEF", {}, "ntfs");
    const QStringList iso{"xorriso", "-as", "mkisofs", "-o", "IMG", "-V"};
    row("ISO 9660, primary descriptor only", iso + QStringList{"PLAIN_DISC", "TREE"}, 0, "CDFS", "PLAIN_DISC", "",
        {"iso", "IMG"});
    // The Joliet descriptor gives another number than the primary one: the choice matters.
    row("Joliet", iso + QStringList{"My Disc 2003", "-J", "TREE"}, 0, "CDFS", "My Disc 2003", "", {"iso", "IMG"});
    const auto udf = [](const char *media, const char *block, const char *revision) {
        return QStringList{"mkudffs",
                           u"--media-type="_s + media,
                           u"--blocksize="_s + block,
                           u"--udfrev="_s + revision,
                           "--lvid=Holiday DVD",
                           "--vid=HOLIDAY",
                           "IMG"};
    };
    // The label is the logical volume identifier. On write-once media the file set lives in a virtual partition
    // that the logical volume cannot place directly.
    for (const auto &[name, media, block, revision] : {std::tuple{"UDF 2.01, 2048-byte blocks", "hd", "2048", "2.01"},
                                                       {"UDF 2.01, 512-byte blocks", "hd", "512", "2.01"},
                                                       {"UDF 1.02", "hd", "2048", "1.02"},
                                                       {"DVD-R, UDF 2.50, virtual partition", "dvdr", "2048", "2.50"}})
        row(name, udf(media, block, revision), 8, "UDF", "Holiday DVD", "", {"udf", "IMG", block});
}

void TestSerial::images()
{
    QFETCH(QStringList, make);
    QFETCH(int, mib);
    QFETCH(QString, fs);
    QFETCH(QString, label);
    QFETCH(QString, serial);
    QFETCH(QStringList, reference);
    QFETCH(QString, uuidType);
    const QString image = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_') + u".img"_s);
    const QString tree = m_dir.filePath(u"isotree"_s);
    QVERIFY(writeFile(tree + u"/Sub Folder/Long file name.txt"_s, "contents\n"));
    QFile::remove(image);
    if (mib)
        QVERIFY(writeFile(image, {}, qint64(mib) << 20));
    make.replaceInStrings(QRegularExpression(u"^IMG$"_s), image)
        .replaceInStrings(QRegularExpression(u"^TREE$"_s), tree);
    reference.replaceInStrings(QRegularExpression(u"^IMG$"_s), image);
    for (const QString &command : make.join(u'\n').split(u"\n&&\n"_s)) {
        QStringList step = command.split(u'\n');
        const QString program = tool(step.takeFirst());
        if (program.isEmpty())
            QSKIP(qPrintable(make.first() + u" is not installed"_s));
        QString why;
        QVERIFY2(!run(program, step, &why).isNull(), qPrintable(why));
    }
    const VolumeProbeResult r = VolumeProbe::probeFile(image);
    // The probe reads the labels of CD and DVD volumes only.
    QCOMPARE(QStringList({r.valid ? fs : u"not valid"_s, label.isEmpty() ? label : r.label}), QStringList({fs, label}));
    QCOMPARE(VolumeProbe::serialText(r.serial), reference.isEmpty() ? serial : expected(reference));
    if (make.contains(u"-J"_s)) // the image must tell the descriptors apart
        QVERIFY(VolumeProbe::serialText(r.serial) != expected(reference + QStringList{"0", "primary"}));
    const QString blkid = uuidType.isEmpty() ? QString() : tool(u"blkid"_s);
    const QString uuid = blkid.isEmpty() ? QString() : run(blkid, {"-p", "-o", "value", "-s", "UUID", image});
    if (!uuid.isEmpty())
        QCOMPARE(VolumeProbe::serialFromUuid(uuid, uuidType), r.serial);
    m_images.append(image);
}

void TestSerial::isoMultisession()
{
    const QString xorriso = tool(u"xorriso"_s);
    if (xorriso.isEmpty())
        QSKIP("xorriso is not installed");
    const QString one = m_dir.filePath(u"ms1"_s), two = m_dir.filePath(u"ms2"_s);
    QVERIFY(writeFile(one + u"/a.txt"_s, "first\n") && writeFile(two + u"/b.txt"_s, "second\n"));
    const QString first = m_dir.filePath(u"session1.iso"_s);
    const QString second = m_dir.filePath(u"session2.bin"_s);
    QString why;
    const auto mkisofs = [&](const QStringList &args) {
        return !run(xorriso, QStringList{"-as", "mkisofs"} + args, &why).isNull();
    };
    QVERIFY2(mkisofs({"-V", "SESSION_1", "-J", "-o", first, one}), qPrintable(why));
    const quint32 start = quint32(QFileInfo(first).size() / 2048);
    // The second session as a recorder writes it after the first: addresses from its own start.
    QVERIFY2(mkisofs({"-V", "SESSION_2", "-J", "-C", u"0,%1"_s.arg(start), "-M", first, "-o", second, two}),
             qPrintable(why));
    QByteArray disc = readStart(first);
    disc.resize(qsizetype(start) * 2048, '\0');
    disc += readStart(second);
    const QString discPath = m_dir.filePath(u"multisession.img"_s);
    QVERIFY(writeFile(discPath, disc));

    const VolumeProbeResult last = probeBytes(disc, start);
    QVERIFY(last.valid);
    QCOMPARE(last.label, u"SESSION_2"_s);
    QCOMPARE(VolumeProbe::serialText(last.serial), expected({"iso", discPath, QString::number(start)}));
    // Read as a single-session image, the first session's descriptors answer, with another serial.
    const VolumeProbeResult firstOnly = probeBytes(disc, 0);
    QCOMPARE(firstOnly.label, u"SESSION_1"_s);
    QVERIFY(firstOnly.serial != last.serial);
    // A drive that reports a session start where no descriptors are falls back to the start of the disc.
    QCOMPARE(probeBytes(disc, start + 1000).serial, firstOnly.serial);
}

void TestSerial::damagedImagesNeverCrash()
{
    QRandomGenerator rng(4711);
    for (const QString &path : std::as_const(m_images)) {
        const QByteArray original = readStart(path, 1 << 20); // the structures all live in the first megabyte
        // Truncated anywhere, or bytes changed at random in the places the walk reads: no crash, no endless walk.
        for (const qsizetype cut : {qsizetype(100), qsizetype(32768 + 100), qsizetype(256 * 2048 + 10)})
            probeBytes(original.left(cut));
        for (int round = 0; round < 300; ++round) {
            QByteArray damaged = original;
            for (int i = 0; i < 64; ++i)
                damaged[rng.bounded(qMin<qsizetype>(damaged.size(), 300 * 2048))] = char(rng.bounded(256));
            probeBytes(damaged, rng.bounded(3) == 0 ? 16 : 0);
        }
    }
    // A descriptor set that never ends: every sector claims to be a primary descriptor.
    QByteArray endless(4 << 20, '\0');
    for (qsizetype s = 16; s * 2048 < endless.size(); ++s)
        endless.replace(s * 2048, 6, "\1CD001");
    QVERIFY(probeBytes(endless).valid);
}

void TestSerial::notAVolume()
{
    QVERIFY(!probeBytes(QByteArray(1 << 20, '\0')).valid);
    QVERIFY(!probeBytes(QByteArray()).valid);
    QVERIFY(!VolumeProbe::probeFile(m_dir.filePath(u"missing.img"_s)).valid);
    // An old FAT volume without the extended boot signature has no serial: Windows shows 0000-0000.
    QByteArray boot(512, '\0');
    // A jump, 512 bytes a sector, 1 a cluster, 1 reserved, 2 FATs, 224 root entries, 9 sectors a FAT; no 0x29.
    for (const auto &[at, value] :
         {std::pair{0, 0xEB}, {12, 2}, {13, 1}, {14, 1}, {16, 2}, {0x11, 224}, {0x16, 9}, {510, 0x55}, {511, 0xAA}})
        boot[at] = char(value);
    boot.replace(0x27, 4, "\x44\x33\x22\x11");
    const VolumeProbeResult r = probeBytes(boot);
    QVERIFY(r.valid);
    QCOMPARE(r.serial, 0u);
    QCOMPARE(r.fileSystem, u"FAT"_s);
}

void TestSerial::uuidFallbackAndNames()
{
    // Mounted volumes the program cannot read go by the UUID the system reports (FAT, exFAT and NTFS are checked
    // against real images above). CD and DVD UUIDs are dates from which Windows' number cannot be had: a stand-in
    // that must stay the same from one version to the next, as catalogues hold it.
    const auto serial = [](const QString &uuid, const QString &type) {
        return VolumeProbe::serialText(VolumeProbe::serialFromUuid(uuid, type));
    };
    QCOMPARE(serial(u"0012-AB3C"_s, u"vfat"_s), u"0012AB3C"_s);
    QCOMPARE(serial(u"0b5e1c2a-9f3d-4e6b-8a7c-1d2e3f4a5b6c"_s, u"ext4"_s), u"0B5E1C2A"_s);
    QCOMPARE(serial(QString(), u"vfat"_s), u"00000000"_s);
    QCOMPARE(serial(u"2024-01-02-03-04-05-00"_s, u"iso9660"_s), u"60AC526A"_s);
    QCOMPARE(serial(u"2024-01-02-03-04-06-00"_s, u"iso9660"_s), u"3DC32639"_s);
    // Mounted volumes go by the kernel's names: FAT12 and FAT16 are both "FAT" to Windows.
    QCOMPARE(VolumeProbe::windowsFileSystemName(u"vfat"_s, u"FAT32"_s), u"FAT32"_s);
    QCOMPARE(VolumeProbe::windowsFileSystemName(u"vfat"_s, u"FAT16"_s), u"FAT"_s);
    QCOMPARE(VolumeProbe::windowsFileSystemName(u"ntfs3"_s), u"NTFS"_s);
    QCOMPARE(VolumeProbe::windowsFileSystemName(u"ext4"_s), u"ext4"_s);
}

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
