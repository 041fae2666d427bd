#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// What the probe learned from a volume's own structures.
struct VolumeProbeResult {
    bool valid = false; // a file system the probe knows was found and its serial computed
    quint32 serial = 0; // the number Windows shows for the same medium
    QString fileSystem; // as Windows names it: "CDFS", "UDF", "FAT", "FAT32", "NTFS", "exFAT"
    QString label;      // only for CDFS and UDF, where the label Windows shows is not what libblkid reports
    qint64 recorded = 0; // UDF only: when its file set was recorded, in seconds since 1970; 0 when not given
};

// Reads the volume serial number that Windows shows, straight from the bytes of a device or an image,
// so that a catalogue made on either system recognises the same disc. Nothing here trusts the medium:
// every offset is checked and every walk is bounded.
class VolumeProbe
{
public:
    // Reads size bytes at offset; false when they cannot all be read.
    using ReadAt = std::function<bool(qint64 offset, char *data, qint64 size)>;

    // sessionStart: the first 2048-byte sector of the last session of a multisession disc (0 otherwise).
    static VolumeProbeResult probe(const ReadAt &read, quint32 sessionStart = 0);
    // Opens a device or image file read-only; for an optical drive asks the drive where its last session starts.
    static VolumeProbeResult probeFile(const QString &path);
    // The first sector of the last session as the drive reports it, 0 for single-session media and non-optical devices.
    static quint32 lastSessionStart(int fd);

    // The byte-lane checksum Windows uses for CD and DVD volumes: byte i of the block is added (mod 256) to lane i % 4.
    // ISO 9660 puts lane 0 in the high byte; UDF reverses the lanes, lane 0 in the low byte.
    static quint32 laneChecksum(const QByteArray &block, bool reversedLanes);

    // A serial for a volume whose boot sector or descriptors cannot be read, from the UUID the system gives it.
    // FAT and exFAT UUIDs ("1234-ABCD") and NTFS UUIDs (16 hex digits) carry the Windows serial; for CD and DVD
    // file systems the Windows serial cannot be derived, so a stable 32-bit hash of the UUID stands in.
    // Other UUIDs give their first eight hex digits. 0 when there is nothing to go by.
    static quint32 serialFromUuid(const QString &uuid, const QString &systemType);
    // "vfat" + "FAT32" → "FAT32", "vfat" → "FAT", "iso9660" → "CDFS", "udf" → "UDF", "ntfs"/"ntfs3" → "NTFS",
    // "exfat" → "exFAT"; others unchanged.
    static QString windowsFileSystemName(const QString &systemType, const QString &version = QString());
    // Eight upper-case hexadecimal digits, leading zeros kept.
    static QString serialText(quint32 serial);
};
