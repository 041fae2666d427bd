#include "VolumeProbe.h"

#include "core/ByteReader.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTimeZone>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace
{

constexpr qint64 kCdSector = 2048;

QByteArray readBlock(const VolumeProbe::ReadAt &read, qint64 offset, qint64 size)
{
    if (offset < 0 || size <= 0)
        return QByteArray();
    QByteArray b(size, Qt::Uninitialized);
    if (!read(offset, b.data(), size))
        return QByteArray();
    return b;
}

// --- ISO 9660 -------------------------------------------------------------------------------------------------

bool isJoliet(const QByteArray &vd)
{
    // Escape sequences %/@, %/C, %/E mark the UCS-2 levels 1 to 3.
    return vd.size() >= 91 && vd[88] == '%' && vd[89] == '/' && (vd[90] == '@' || vd[90] == 'C' || vd[90] == 'E');
}

QString trimmedRight(QString s)
{
    while (!s.isEmpty() && (s.back() == u' ' || s.back() == QChar(0)))
        s.chop(1);
    return s;
}

QString isoLabel(const QByteArray &vd, bool joliet)
{
    if (joliet) {
        ByteReader units(vd, 40);
        QString s;
        for (int i = 0; i < 16; ++i)
            s += QChar(units.beU16());
        return trimmedRight(s);
    }
    return trimmedRight(QString::fromLatin1(vd.constData() + 40, 32));
}

// Windows takes the volume descriptor it mounts from: the Joliet supplementary descriptor when the disc has one,
// else the primary descriptor, both in the last session. Its serial is the byte-lane checksum of that whole
// 2048-byte descriptor, lane 0 in the high byte.
VolumeProbeResult probeIso(const VolumeProbe::ReadAt &read, quint32 sessionStart)
{
    VolumeProbeResult r;
    QByteArray primary, joliet;
    const qint64 base = (qint64(sessionStart) + 16) * kCdSector;
    for (int i = 0; i < 64; ++i) { // a descriptor set is a handful of sectors; never walk an unterminated one far
        const QByteArray vd = readBlock(read, base + i * kCdSector, kCdSector);
        if (vd.isEmpty() || vd.mid(1, 5) != "CD001")
            break;
        const quint8 type = quint8(vd[0]);
        if (type == 255)
            break;
        if (type == 1 && primary.isEmpty())
            primary = vd;
        else if (type == 2 && joliet.isEmpty() && isJoliet(vd))
            joliet = vd;
    }
    const QByteArray &active = joliet.isEmpty() ? primary : joliet;
    if (active.isEmpty())
        return r;
    r.valid = true;
    r.serial = VolumeProbe::laneChecksum(active, false);
    r.fileSystem = QStringLiteral("CDFS");
    r.label = isoLabel(active, !joliet.isEmpty());
    return r;
}

// --- UDF ------------------------------------------------------------------------------------------------------

bool udfTagValid(const QByteArray &b, quint16 id)
{
    if (b.size() < 16 || ByteReader(b, 0).leU16() != id)
        return false;
    quint8 sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4)
            sum += quint8(b[i]);
    return sum == quint8(b[4]);
}

QString udfDString(const QByteArray &b, int at, int fieldSize)
{
    if (at + fieldSize > b.size())
        return QString();
    int len = quint8(b[at + fieldSize - 1]);
    if (len == 0 || len > fieldSize - 1)
        return QString();
    const quint8 comp = quint8(b[at]);
    QString s;
    if (comp == 8) {
        for (int i = 1; i < len; ++i)
            s += QChar(quint8(b[at + i]));
    } else if (comp == 16) {
        ByteReader units(b, at + 1);
        for (int i = 1; i + 1 < len; i += 2)
            s += QChar(units.beU16());
    }
    return trimmedRight(s);
}

struct UdfPartitionMap {
    enum Kind { Physical, Metadata, Unsupported } kind = Unsupported;
    quint16 partitionNumber = 0;
    quint32 metadataFile = 0; // logical block of the metadata file's entry in the physical partition
};

struct UdfVolume {
    qint64 blockSize = 0;
    qint64 base = 0;                        // byte offset of the session
    QHash<quint16, quint32> partitionStart; // partition number → first block
    QList<UdfPartitionMap> maps;
    bool haveLvd = false;
    quint32 fsdBlock = 0;
    quint16 fsdPartitionRef = 0;
    QString label;
};

void parseLvd(const QByteArray &lvd, UdfVolume &v)
{
    v.haveLvd = true;
    v.label = udfDString(lvd, 84, 128);
    v.fsdBlock = ByteReader(lvd, 252).leU32();
    v.fsdPartitionRef = ByteReader(lvd, 256).leU16();
    v.maps.clear();
    const quint32 tableLength = ByteReader(lvd, 264).leU32();
    const quint32 count = ByteReader(lvd, 268).leU32();
    int p = 440;
    const int end = int(qMin<qint64>(lvd.size(), 440 + qint64(tableLength)));
    for (quint32 i = 0; i < count && i < 64 && p + 2 <= end; ++i) {
        const quint8 type = quint8(lvd[p]);
        const quint8 len = quint8(lvd[p + 1]);
        if (len < 2 || p + len > end)
            break;
        UdfPartitionMap m;
        if (type == 1 && len >= 6) {
            m.kind = UdfPartitionMap::Physical;
            m.partitionNumber = ByteReader(lvd, p + 4).leU16();
        } else if (type == 2 && len >= 64) {
            const QByteArray ident = lvd.mid(p + 5, 23);
            m.partitionNumber = ByteReader(lvd, p + 38).leU16();
            if (ident.startsWith("*UDF Metadata Partition")) {
                m.kind = UdfPartitionMap::Metadata;
                m.metadataFile = ByteReader(lvd, p + 40).leU32();
            } else if (ident.startsWith("*UDF Sparable Partition")) {
                // Sparing only relocates defective packets; the logical layout is the physical one.
                m.kind = UdfPartitionMap::Physical;
            }
        }
        v.maps.append(m);
        p += len;
    }
}

// Reads a descriptor sequence (main or reserve) and keeps the partition starts and the logical volume.
void readVds(const VolumeProbe::ReadAt &read, UdfVolume &v, quint32 location, quint32 length)
{
    const quint32 blocks = quint32(qMin<qint64>(length / v.blockSize, 256));
    for (quint32 i = 0; i < blocks; ++i) {
        const QByteArray d = readBlock(read, v.base + (qint64(location) + i) * v.blockSize, v.blockSize);
        if (d.size() < 512)
            return;
        const quint16 id = ByteReader(d, 0).leU16();
        if (!udfTagValid(d, id))
            return;
        if (id == 5)
            v.partitionStart.insert(ByteReader(d, 22).leU16(), ByteReader(d, 188).leU32());
        else if (id == 6)
            parseLvd(d, v);
        else if (id == 8)
            return;
    }
}

// The physical block of a logical block in a metadata partition: the metadata file's (extended) file entry
// lists, in order, the extents of the physical partition that make up the metadata partition.
bool metadataToPhysical(const VolumeProbe::ReadAt &read, const UdfVolume &v, quint32 physStart, quint32 metadataFile,
                        quint32 block, quint32 &physical)
{
    const QByteArray fe = readBlock(read, v.base + (qint64(physStart) + metadataFile) * v.blockSize, v.blockSize);
    int lengthEa, lengthAd, adStart;
    if (udfTagValid(fe, 261)) {
        lengthEa = int(ByteReader(fe, 168).leU32());
        lengthAd = int(ByteReader(fe, 172).leU32());
        adStart = 176;
    } else if (udfTagValid(fe, 266)) {
        lengthEa = int(ByteReader(fe, 208).leU32());
        lengthAd = int(ByteReader(fe, 212).leU32());
        adStart = 216;
    } else {
        return false;
    }
    if (lengthEa < 0 || lengthAd < 0 || qint64(adStart) + lengthEa + lengthAd > fe.size())
        return false;
    const int adType = ByteReader(fe, 34).leU16() & 7; // ICB tag flags
    const int adSize = adType == 0 ? 8 : adType == 1 ? 16 : 0;
    if (adSize == 0)
        return false;
    quint64 covered = 0;
    for (int p = adStart + lengthEa; p + adSize <= adStart + lengthEa + lengthAd; p += adSize) {
        const quint32 raw = ByteReader(fe, p).leU32();
        const quint32 bytes = raw & 0x3FFFFFFF;
        if (bytes == 0)
            break;
        const quint32 extentBlocks = quint32((bytes + v.blockSize - 1) / v.blockSize);
        const quint32 position = ByteReader(fe, p + 4).leU32();
        if (block < covered + extentBlocks) {
            physical = physStart + position + quint32(block - covered);
            return true;
        }
        covered += extentBlocks;
    }
    return false;
}

QByteArray findFsd(const VolumeProbe::ReadAt &read, const UdfVolume &v)
{
    if (v.fsdPartitionRef < v.maps.size()) {
        const UdfPartitionMap &m = v.maps[v.fsdPartitionRef];
        if (m.kind != UdfPartitionMap::Unsupported && v.partitionStart.contains(m.partitionNumber)) {
            const quint32 start = v.partitionStart.value(m.partitionNumber);
            quint32 physical = 0;
            bool ok = true;
            if (m.kind == UdfPartitionMap::Physical)
                physical = start + v.fsdBlock;
            else
                ok = metadataToPhysical(read, v, start, m.metadataFile, v.fsdBlock, physical);
            if (ok) {
                const QByteArray fsd = readBlock(read, v.base + qint64(physical) * v.blockSize, v.blockSize);
                if (udfTagValid(fsd, 256))
                    return fsd;
            }
        }
    }
    // A volume whose logical volume descriptor points nowhere useful: the file set descriptor is normally among
    // the first blocks of the first partition.
    for (auto it = v.partitionStart.cbegin(); it != v.partitionStart.cend(); ++it) {
        for (quint32 i = 0; i < 256; ++i) {
            const QByteArray b = readBlock(read, v.base + (qint64(it.value()) + i) * v.blockSize, v.blockSize);
            if (b.isEmpty())
                break;
            if (udfTagValid(b, 256))
                return b;
        }
    }
    return QByteArray();
}

// A UDF timestamp: its zone in minutes east of UTC (unspecified: the local one), then year, month,
// day, hour, minute, second. 0 when it holds no valid date.
qint64 udfTime(const QByteArray &b, int at)
{
    ByteReader r(b, at);
    const quint16 typeAndZone = r.leU16();
    const int year = r.leU16(), month = r.u8(), day = r.u8(), hour = r.u8(), minute = r.u8(), second = r.u8();
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return 0;
    const int zone = (typeAndZone & 0x800) ? int(typeAndZone & 0xFFF) - 0x1000 : int(typeAndZone & 0xFFF);
    const QDateTime when = zone == -2047 || zone < -1440 || zone > 1440 ? QDateTime(date, time)
                                                                        : QDateTime(date, time, QTimeZone(zone * 60));
    return when.toSecsSinceEpoch();
}

// Windows reads a UDF volume from its File Set Descriptor: the serial is the byte-lane checksum of the
// descriptor's block with the lanes reversed (lane 0 in the low byte). On a volume with blocks smaller than
// 2048 bytes only the block itself is summed, which equals summing the descriptor padded with zeros.
// The label is the logical volume identifier.
VolumeProbeResult probeUdf(const VolumeProbe::ReadAt &read, quint32 sessionStart)
{
    VolumeProbeResult r;
    for (const qint64 bs : {qint64(2048), qint64(512), qint64(1024), qint64(4096)}) {
        UdfVolume v;
        v.blockSize = bs;
        v.base = qint64(sessionStart) * kCdSector;
        const QByteArray avdp = readBlock(read, v.base + 256 * bs, bs);
        if (!udfTagValid(avdp, 2))
            continue;
        const quint32 tagLocation = ByteReader(avdp, 12).leU32();
        if (tagLocation != 256 && tagLocation != 256 + sessionStart)
            continue;
        if (tagLocation != 256) // recorded with absolute addresses
            v.base = 0;
        readVds(read, v, ByteReader(avdp, 20).leU32(), ByteReader(avdp, 16).leU32());
        if (!v.haveLvd || v.partitionStart.isEmpty())
            readVds(read, v, ByteReader(avdp, 28).leU32(), ByteReader(avdp, 24).leU32());
        if (!v.haveLvd && v.partitionStart.isEmpty())
            continue;
        const QByteArray fsd = findFsd(read, v);
        if (fsd.isEmpty())
            continue;
        r.valid = true;
        r.serial = VolumeProbe::laneChecksum(fsd.left(2048), true);
        r.fileSystem = QStringLiteral("UDF");
        r.label = v.label;
        r.recorded = udfTime(fsd, 16);
        return r;
    }
    return r;
}

// --- Boot-sector file systems ----------------------------------------------------------------------------------

bool isPowerOfTwo(quint32 v)
{
    return v && !(v & (v - 1));
}

VolumeProbeResult probeBootSector(const VolumeProbe::ReadAt &read)
{
    VolumeProbeResult r;
    const QByteArray bs = readBlock(read, 0, 512);
    if (bs.size() < 512)
        return r;
    const QByteArray oem = bs.mid(3, 8);
    if (oem == "EXFAT   ") {
        r.valid = true;
        r.serial = ByteReader(bs, 0x64).leU32();
        r.fileSystem = QStringLiteral("exFAT");
        return r;
    }
    if (oem == "NTFS    ") {
        r.valid = true;
        r.serial = ByteReader(bs, 0x48).leU32(); // the low half of the 64-bit serial
        r.fileSystem = QStringLiteral("NTFS");
        return r;
    }
    // FAT: a believable BIOS parameter block.
    const quint16 bytesPerSector = ByteReader(bs, 11).leU16();
    const quint8 sectorsPerCluster = quint8(bs[13]);
    const quint16 reserved = ByteReader(bs, 14).leU16();
    const quint8 fats = quint8(bs[16]);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || !isPowerOfTwo(bytesPerSector) ||
        !isPowerOfTwo(sectorsPerCluster) || reserved == 0 || fats == 0 || fats > 16)
        return r;
    const quint8 jump = quint8(bs[0]);
    const bool signature = quint8(bs[510]) == 0x55 && quint8(bs[511]) == 0xAA;
    if (jump != 0xEB && jump != 0xE9 && !signature)
        return r;
    const bool fat32 =
        ByteReader(bs, 0x16).leU16() == 0 && ByteReader(bs, 0x24).leU32() != 0 && ByteReader(bs, 0x11).leU16() == 0;
    // The serial exists only with an extended boot signature (0x28 or 0x29); older volumes show 0000-0000.
    const int sigAt = fat32 ? 0x42 : 0x26;
    const quint8 sig = quint8(bs[sigAt]);
    r.valid = true;
    r.serial = (sig == 0x28 || sig == 0x29) ? ByteReader(bs, sigAt + 1).leU32() : 0;
    r.fileSystem = fat32 ? QStringLiteral("FAT32") : QStringLiteral("FAT");
    return r;
}

} // namespace

VolumeProbeResult VolumeProbe::probe(const ReadAt &read, quint32 sessionStart)
{
    // A volume formatted NTFS over an older disc keeps that disc's UDF or ISO 9660 marks past
    // its boot sector; the boot sector's own signature says what the volume is now.
    if (VolumeProbeResult boot = probeBootSector(read); boot.valid && boot.fileSystem == QLatin1String("NTFS"))
        return boot;
    // UDF first: a bridge disc carries both, and Windows mounts the UDF side.
    VolumeProbeResult r = probeUdf(read, sessionStart);
    if (!r.valid)
        r = probeIso(read, sessionStart);
    if (!r.valid && sessionStart != 0) {
        r = probeUdf(read, 0);
        if (!r.valid)
            r = probeIso(read, 0);
    }
    if (!r.valid)
        r = probeBootSector(read);
    return r;
}

quint32 VolumeProbe::lastSessionStart(int fd)
{
    cdrom_multisession ms{};
    ms.addr_format = CDROM_LBA;
    if (::ioctl(fd, CDROMMULTISESSION, &ms) != 0 || !ms.xa_flag || ms.addr.lba < 0)
        return 0;
    return quint32(ms.addr.lba);
}

VolumeProbeResult VolumeProbe::probeFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return VolumeProbeResult();
    const ReadAt read = [fd](qint64 offset, char *data, qint64 size) {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::pread(fd, data + done, size_t(size - done), off_t(offset + done));
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    };
    const VolumeProbeResult r = probe(read, lastSessionStart(fd));
    ::close(fd);
    return r;
}

quint32 VolumeProbe::laneChecksum(const QByteArray &block, bool reversedLanes)
{
    quint8 sum[4] = {0, 0, 0, 0};
    for (int i = 0; i < block.size(); ++i)
        sum[i % 4] += quint8(block[i]);
    if (reversedLanes)
        return quint32(sum[3]) << 24 | quint32(sum[2]) << 16 | quint32(sum[1]) << 8 | sum[0];
    return quint32(sum[0]) << 24 | quint32(sum[1]) << 16 | quint32(sum[2]) << 8 | sum[3];
}

quint32 VolumeProbe::serialFromUuid(const QString &uuid, const QString &systemType)
{
    const QString type = systemType.toLower();
    if (uuid.isEmpty())
        return 0;
    if (type == QLatin1String("iso9660") || type == QLatin1String("udf")) {
        quint32 h = 2166136261u; // FNV-1a
        for (const char c : uuid.toUtf8()) {
            h ^= quint8(c);
            h *= 16777619u;
        }
        return h;
    }
    QString hex = uuid;
    hex.remove(QRegularExpression(QStringLiteral("[^0-9A-Fa-f]")));
    if (hex.isEmpty())
        return 0;
    if (hex.size() == 16 && (type.startsWith(QLatin1String("ntfs")) || !uuid.contains(u'-')))
        hex = hex.right(8); // NTFS: the low 32 bits of the 64-bit serial
    else
        hex = hex.left(8);
    return hex.toUInt(nullptr, 16);
}

QString VolumeProbe::windowsFileSystemName(const QString &systemType, const QString &version)
{
    const QString t = systemType.toLower();
    if (t == QLatin1String("vfat") || t == QLatin1String("msdos") || t == QLatin1String("fat"))
        return version.compare(QLatin1String("FAT32"), Qt::CaseInsensitive) == 0 ? QStringLiteral("FAT32")
                                                                                 : QStringLiteral("FAT");
    if (t == QLatin1String("iso9660"))
        return QStringLiteral("CDFS");
    if (t == QLatin1String("udf"))
        return QStringLiteral("UDF");
    if (t == QLatin1String("ntfs") || t == QLatin1String("ntfs3") || t == QLatin1String("ntfs-3g"))
        return QStringLiteral("NTFS");
    if (t == QLatin1String("exfat"))
        return QStringLiteral("exFAT");
    return systemType;
}

QString VolumeProbe::serialText(quint32 serial)
{
    return QStringLiteral("%1").arg(serial, 8, 16, QLatin1Char('0')).toUpper();
}
