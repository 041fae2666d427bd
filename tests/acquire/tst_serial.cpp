// Volume serial numbers and file-system names read from images made by the real tools, checked against values
// worked out independently (the serial given to the tool, blkid, or volume_serial.py).
#include "acquire/VolumeProbe.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
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
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (why)
            *why = program + u' ' + args.join(u' ') + u": "_s + QString::fromLocal8Bit(p.readAllStandardError());
        return QString();
    }
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return out.isNull() ? u""_s : out;
}

QString expected(const QStringList &args)
{
    const QString script = QStringLiteral(QUILLORY_SOURCE_DIR "/tests/acquire/volume_serial.py");
    QString why;
    const QString out = run(u"python3"_s, QStringList{script} + args, &why);
    if (out.isNull())
        qWarning("%s", qPrintable(why));
    return out;
}

void makeFile(const QString &path, qint64 size)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(size));
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

QString blkidUuid(const QString &image)
{
    const QString blkid = tool(u"blkid"_s);
    if (blkid.isEmpty())
        return QString();
    return run(blkid, {u"-p"_s, u"-o"_s, u"value"_s, u"-s"_s, u"UUID"_s, image});
}

} // namespace

class TestSerial : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fat_data();
    void fat();
    void exfat();
    void ntfs();
    void iso_data();
    void iso();
    void isoMultisession();
    void udf_data();
    void udf();
    void damagedImagesNeverCrash();
    void notAVolume();
    void uuidFallback_data();
    void uuidFallback();
    void names();

private:
    QTemporaryDir m_dir;
    QStringList m_images; // made by the tests above, reused by the damage test
};

void TestSerial::fat_data()
{
    QTest::addColumn<QString>("bits");
    QTest::addColumn<int>("kib");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("fs");
    QTest::newRow("FAT12, leading zeros") << "12" << 1440 << "00001234"
                                          << "FAT";
    QTest::newRow("FAT16") << "16" << 32768 << "0A1B2C3D"
                           << "FAT";
    QTest::newRow("FAT32") << "32" << 65536 << "DEADBEEF"
                           << "FAT32";
}

void TestSerial::fat()
{
    QFETCH(QString, bits);
    QFETCH(int, kib);
    QFETCH(QString, serial);
    QFETCH(QString, fs);
    const QString mkfs = tool(u"mkfs.vfat"_s);
    if (mkfs.isEmpty())
        QSKIP("mkfs.vfat (dosfstools) is not installed");
    const QString image = m_dir.filePath(u"fat%1.img"_s.arg(bits));
    QFile::remove(image);
    QString why;
    QVERIFY2(!run(mkfs,
                  {u"-C"_s, u"-F"_s, bits, u"-S"_s, u"512"_s, u"-s"_s, u"1"_s, u"-i"_s, serial, u"-n"_s, u"FATDISC"_s,
                   image, QString::number(kib)},
                  &why)
                  .isNull(),
             qPrintable(why));
    const VolumeProbeResult r = VolumeProbe::probeFile(image);
    QVERIFY(r.valid);
    QCOMPARE(VolumeProbe::serialText(r.serial), serial);
    QCOMPARE(r.fileSystem, fs);
    m_images.append(image);
}

void TestSerial::exfat()
{
    const QString mkfs = tool(u"mkfs.exfat"_s);
    if (mkfs.isEmpty())
        QSKIP("mkfs.exfat (exfatprogs) is not installed");
    const QString image = m_dir.filePath(u"exfat.img"_s);
    makeFile(image, 16 << 20);
    QString why;
    QVERIFY2(!run(mkfs, {u"-L"_s, u"EXDISC"_s, image}, &why).isNull(), qPrintable(why));
    const VolumeProbeResult r = VolumeProbe::probeFile(image);
    QVERIFY(r.valid);
    QCOMPARE(r.fileSystem, u"exFAT"_s);
    QCOMPARE(VolumeProbe::serialText(r.serial), expected({u"boot"_s, image, "0x64", "4"}));
    const QString uuid = blkidUuid(image); // "1234-ABCD": what the UUID fallback goes by
    if (!uuid.isEmpty())
        QCOMPARE(VolumeProbe::serialFromUuid(uuid, u"exfat"_s), r.serial);
    m_images.append(image);
}

void TestSerial::ntfs()
{
    const QString mkntfs = tool(u"mkntfs"_s);
    const QString ntfslabel = tool(u"ntfslabel"_s);
    if (mkntfs.isEmpty() || ntfslabel.isEmpty())
        QSKIP("mkntfs / ntfslabel (ntfs-3g) are not installed");
    const QString image = m_dir.filePath(u"ntfs.img"_s);
    makeFile(image, 16 << 20);
    QString why;
    QVERIFY2(!run(mkntfs, {u"-F"_s, u"-Q"_s, u"-q"_s, u"-L"_s, u"NTDISC"_s, image}, &why).isNull(), qPrintable(why));
    // The high half differs from the low half, whose leading zeros must survive.
    QVERIFY2(!run(ntfslabel, {u"--new-serial=1234567800ABCDEF"_s, image}, &why).isNull(), qPrintable(why));
    const VolumeProbeResult r = VolumeProbe::probeFile(image);
    QVERIFY(r.valid);
    QCOMPARE(r.fileSystem, u"NTFS"_s);
    QCOMPARE(VolumeProbe::serialText(r.serial), u"00ABCDEF"_s);
    const QString uuid = blkidUuid(image);
    if (!uuid.isEmpty())
        QCOMPARE(VolumeProbe::serialFromUuid(uuid, u"ntfs"_s), r.serial);
    m_images.append(image);
}

void TestSerial::iso_data()
{
    QTest::addColumn<bool>("joliet");
    QTest::addColumn<QString>("label");
    QTest::newRow("primary descriptor only") << false << "PLAIN_DISC";
    QTest::newRow("Joliet") << true << "My Disc 2003";
}

void TestSerial::iso()
{
    QFETCH(bool, joliet);
    QFETCH(QString, label);
    const QString xorriso = tool(u"xorriso"_s);
    if (xorriso.isEmpty())
        QSKIP("xorriso is not installed");
    const QString tree = m_dir.filePath(u"isotree"_s);
    QDir().mkpath(tree + u"/Sub Folder"_s);
    QFile f(tree + u"/Sub Folder/Long file name.txt"_s);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("contents\n");
    f.close();
    const QString image = m_dir.filePath(joliet ? u"joliet.iso"_s : u"plain.iso"_s);
    QStringList args = {u"-as"_s, u"mkisofs"_s, u"-V"_s, label};
    if (joliet)
        args << u"-J"_s;
    args << u"-o"_s << image << tree;
    QString why;
    QVERIFY2(!run(xorriso, args, &why).isNull(), qPrintable(why));

    const VolumeProbeResult r = VolumeProbe::probeFile(image);
    QVERIFY(r.valid);
    QCOMPARE(r.fileSystem, u"CDFS"_s);
    QCOMPARE(r.label, label);
    QCOMPARE(VolumeProbe::serialText(r.serial), expected({u"iso"_s, image}));
    if (joliet) // the choice of descriptor matters: the primary one gives another number
        QVERIFY(VolumeProbe::serialText(r.serial) != expected({u"iso"_s, image, "0", "primary"}));
    m_images.append(image);
}

void TestSerial::isoMultisession()
{
    const QString xorriso = tool(u"xorriso"_s);
    if (xorriso.isEmpty())
        QSKIP("xorriso is not installed");
    const QString one = m_dir.filePath(u"ms1"_s), two = m_dir.filePath(u"ms2"_s);
    QDir().mkpath(one);
    QDir().mkpath(two);
    QFile a(one + u"/a.txt"_s), b(two + u"/b.txt"_s);
    QVERIFY(a.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly));
    a.write("first\n");
    b.write("second\n");
    a.close();
    b.close();
    const QString first = m_dir.filePath(u"session1.iso"_s);
    const QString second = m_dir.filePath(u"session2.bin"_s);
    QString why;
    QVERIFY2(!run(xorriso, {"-as", "mkisofs", "-V", "SESSION_1", "-J", "-o", first, one}, &why).isNull(),
             qPrintable(why));
    const quint32 start = quint32(QFileInfo(first).size() / 2048);
    // The second session as a recorder writes it after the first: addresses from its own start.
    QVERIFY2(
        !run(xorriso,
             {"-as", "mkisofs", "-V", "SESSION_2", "-J", "-C", u"0,%1"_s.arg(start), "-M", first, "-o", second, two},
             &why)
             .isNull(),
        qPrintable(why));
    QFile f1(first), f2(second);
    QVERIFY(f1.open(QIODevice::ReadOnly) && f2.open(QIODevice::ReadOnly));
    QByteArray disc = f1.readAll();
    disc.resize(qsizetype(start) * 2048, '\0');
    disc += f2.readAll();
    const QString discPath = m_dir.filePath(u"multisession.img"_s);
    QFile out(discPath);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(disc);
    out.close();

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

void TestSerial::udf_data()
{
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<QString>("revision");
    QTest::addColumn<QString>("media");
    QTest::newRow("2048-byte blocks, UDF 2.01") << 2048 << "2.01"
                                                << "hd";
    QTest::newRow("512-byte blocks, UDF 2.01") << 512 << "2.01"
                                               << "hd";
    QTest::newRow("UDF 1.02") << 2048 << "1.02"
                              << "hd";
    // Write-once media: the file set lives in a virtual partition that the logical volume cannot place directly.
    QTest::newRow("DVD-R, UDF 2.50, virtual partition") << 2048 << "2.50"
                                                        << "dvdr";
}

void TestSerial::udf()
{
    QFETCH(int, blockSize);
    QFETCH(QString, revision);
    QFETCH(QString, media);
    const QString mkudffs = tool(u"mkudffs"_s);
    if (mkudffs.isEmpty())
        QSKIP("mkudffs (udftools) is not installed");
    const QString image = m_dir.filePath(u"udf-%1-%2-%3.img"_s.arg(blockSize).arg(revision, media));
    makeFile(image, 8 << 20);
    QString why;
    QVERIFY2(!run(mkudffs,
                  {u"--media-type="_s + media, u"--blocksize=%1"_s.arg(blockSize), u"--udfrev="_s + revision,
                   u"--lvid=Holiday DVD"_s, u"--vid=HOLIDAY"_s, image},
                  &why)
                  .isNull(),
             qPrintable(why));
    const VolumeProbeResult r = VolumeProbe::probeFile(image);
    QVERIFY(r.valid);
    QCOMPARE(r.fileSystem, u"UDF"_s);
    QCOMPARE(r.label, u"Holiday DVD"_s); // the logical volume identifier
    QCOMPARE(VolumeProbe::serialText(r.serial), expected({"udf", image, QString::number(blockSize)}));
    m_images.append(image);
}

void TestSerial::damagedImagesNeverCrash()
{
    if (m_images.isEmpty())
        QSKIP("no images were made");
    QRandomGenerator rng(4711);
    for (const QString &path : std::as_const(m_images)) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray original = f.read(1 << 20); // the structures all live in the first megabyte
        // Truncated anywhere: a volume whose tail is missing is refused or read from what is there.
        for (const qsizetype cut : {qsizetype(0), qsizetype(100), qsizetype(511), qsizetype(32768 + 100),
                                    qsizetype(256 * 2048 + 10), original.size() / 2})
            probeBytes(original.left(cut));
        // Bytes changed at random in the places the walk reads: no crash, no endless walk.
        for (int round = 0; round < 300; ++round) {
            QByteArray damaged = original;
            for (int i = 0; i < 64; ++i) {
                const qsizetype at = rng.bounded(qsizetype(qMin<qsizetype>(damaged.size(), 300 * 2048)));
                damaged[at] = char(rng.bounded(256));
            }
            probeBytes(damaged, rng.bounded(3) == 0 ? 16 : 0);
        }
    }
    // A descriptor set that never ends: every sector claims to be a primary descriptor.
    QByteArray endless(4 << 20, '\0');
    for (qsizetype s = 16; s * 2048 < endless.size(); ++s) {
        endless[s * 2048] = 1;
        endless.replace(s * 2048 + 1, 5, "CD001");
    }
    QVERIFY(probeBytes(endless).valid);
}

void TestSerial::notAVolume()
{
    QVERIFY(!probeBytes(QByteArray(1 << 20, '\0')).valid);
    QVERIFY(!probeBytes(QByteArray()).valid);
    QVERIFY(!VolumeProbe::probeFile(m_dir.filePath(u"missing.img"_s)).valid);
    // An old FAT volume without the extended boot signature has no serial: Windows shows 0000-0000.
    QByteArray boot(512, '\0');
    boot[0] = char(0xEB);
    boot[11] = 0;
    boot[12] = 2; // 512 bytes per sector
    boot[13] = 1;
    boot[14] = 1;
    boot[16] = 2;
    boot[0x11] = char(224);
    boot[0x16] = 9;
    boot[0x26] = 0;
    boot.replace(0x27, 4, "\x44\x33\x22\x11");
    boot[510] = char(0x55);
    boot[511] = char(0xAA);
    const VolumeProbeResult r = probeBytes(boot);
    QVERIFY(r.valid);
    QCOMPARE(r.serial, 0u);
    QCOMPARE(r.fileSystem, u"FAT"_s);
}

void TestSerial::uuidFallback_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("serial");
    QTest::newRow("FAT") << "0012-AB3C"
                         << "vfat"
                         << "0012AB3C";
    QTest::newRow("exFAT") << "A1B2-C3D4"
                           << "exfat"
                           << "A1B2C3D4";
    QTest::newRow("NTFS, low half") << "1234567800ABCDEF"
                                    << "ntfs"
                                    << "00ABCDEF";
    QTest::newRow("ext4, first digits") << "0b5e1c2a-9f3d-4e6b-8a7c-1d2e3f4a5b6c"
                                        << "ext4"
                                        << "0B5E1C2A";
    QTest::newRow("nothing") << ""
                             << "vfat"
                             << "00000000";
}

void TestSerial::uuidFallback()
{
    QFETCH(QString, uuid);
    QFETCH(QString, type);
    QFETCH(QString, serial);
    QCOMPARE(VolumeProbe::serialText(VolumeProbe::serialFromUuid(uuid, type)), serial);
}

void TestSerial::names()
{
    // CD and DVD UUIDs are dates from which Windows' number cannot be had: a stable stand-in, different per disc.
    const quint32 a = VolumeProbe::serialFromUuid(u"2024-01-02-03-04-05-00"_s, u"iso9660"_s);
    QCOMPARE(VolumeProbe::serialFromUuid(u"2024-01-02-03-04-05-00"_s, u"iso9660"_s), a);
    QVERIFY(VolumeProbe::serialFromUuid(u"2024-01-02-03-04-06-00"_s, u"iso9660"_s) != a);
    // Mounted volumes go by the kernel's names: FAT12 and FAT16 are both "FAT" to Windows.
    QCOMPARE(VolumeProbe::windowsFileSystemName(u"vfat"_s, u"FAT32"_s), u"FAT32"_s);
    QCOMPARE(VolumeProbe::windowsFileSystemName(u"vfat"_s, u"FAT16"_s), u"FAT"_s);
    QCOMPARE(VolumeProbe::windowsFileSystemName(u"ntfs3"_s), u"NTFS"_s);
    QCOMPARE(VolumeProbe::windowsFileSystemName(u"ext4"_s), u"ext4"_s);
}

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
