#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

enum TSTCabReaderOption { croExecuteOnExtract = 0x1, croDontOverwriteReadOnlyFiles = 0x2 };

// One member of a cabinet (or of a cabinet set) as the reader sees it.
struct TSTCabMember {
    QString Name;       // as stored, decoded (UTF-8 when flagged, else Windows-1252)
    qint64 Size = 0;    // uncompressed
    QDateTime Modified; // the member's DOS date and time, taken as local time; invalid when unset
    quint32 Attributes = 0;
    int FolderNumber = 0;
    bool Execute() const { return Attributes & 0x40; }
};

// A member extracted into memory.
struct TSTCabBlob {
    TSTCabMember Member;
    QByteArray Data;
};

struct MspackSystem;
struct mscab_decompressor;

// Extracts cabinets (and chains of cabinets) with libmspack: MSZIP, LZX, Quantum and
// stored folders; data blocks with a zero checksum are accepted. Members are written
// through QSaveFile, so a failure never leaves a half-written file in place of an old
// one. Member names with a folder part, "..", or a drive or root are never written: the
// whole cabinet is refused before anything is extracted. Failures throw ESTCabinet,
// unsafe names QuilloryError. Not copyable.
class TSTCabReader
{
public:
    TSTCabReader();
    ~TSTCabReader();
    TSTCabReader(const TSTCabReader &) = delete;
    TSTCabReader &operator=(const TSTCabReader &) = delete;

    int Options = 0; // TSTCabReaderOption flags
    // Each member replaces its file through a save file synced to the disk, so a failure never
    // leaves a cut-off file in place of an old one. A caller that extracts into a scratch folder
    // of its own, and makes the files durable in one batch afterwards, turns this off: members
    // are then written straight into their files, and one that fails is removed.
    bool DurableWrites = true;

    std::function<void(TSTCabReader &, const QString &nextCabinetName, const QString &nextDiskName,
                       const QString &cabinetPath, quint16 setID, int cabinetNumber, bool &abort)>
        OnCabinetInfo;
    // destination may be changed; an empty one skips the member.
    std::function<void(TSTCabReader &, const TSTCabMember &, QString &destination, bool &abort)> OnCopyFile;
    std::function<void(TSTCabReader &, const TSTCabMember &, const QString &startCabinetName,
                       const QString &startDiskName, const QString &destination, bool &abort)>
        OnCopyPartialFile;
    std::function<void(TSTCabReader &, const TSTCabMember &, const QString &destination, bool &abort)> OnCloseFile;
    // The next cabinet of a set is not where the current one says: the handler may give its folder.
    std::function<void(TSTCabReader &, const QString &cabinetName, const QString &diskName, QString &cabinetPath,
                       int errorCode, bool &abort)>
        OnNextCabinet;

    // Extracts every member into destinationFolder, following the set unless singleCabinet.
    void Extract(const QString &cabinetFile, const QString &destinationFolder, bool singleCabinet = false);

    // The members of the cabinet (or set), without extracting anything.
    // Without dates, Modified stays invalid: a member's date costs a look at the time zone.
    std::vector<TSTCabMember> List(const QString &cabinetFile, bool singleCabinet = false, bool withDates = true);

    // Extracts members into memory. wanted (optional) picks members (by name, size...) and may
    // throw to refuse one; every member is chosen, and the total of their sizes as the headers
    // give them is held against maxTotalBytes, before anything is unpacked. A member whose data
    // run past its size is a failure too: a hostile cabinet cannot make the program allocate more.
    // The members come without dates (Modified invalid), as from List without them.
    std::vector<TSTCabBlob> ExtractToMemory(const QString &cabinetFile,
                                            const std::function<bool(const TSTCabMember &)> &wanted = {},
                                            qint64 maxTotalBytes = qint64(2) << 30, bool singleCabinet = false);
    // Extracts members as a stream, holding none of them: begin is called before a chosen member's
    // first bytes, then write with each block the decompressor makes (some 32 KB), in order.
    // Members are chosen and weighed as by ExtractToMemory, and a member's data may not run past
    // its size either. write must not throw: it returns false to stop, and the extraction then
    // returns false at once. Failures throw as ExtractToMemory's do.
    bool ExtractToStream(const QString &cabinetFile, const std::function<bool(const TSTCabMember &)> &wanted,
                         const std::function<void(const TSTCabMember &)> &begin,
                         const std::function<bool(QByteArrayView bytes)> &write,
                         qint64 maxTotalBytes = qint64(2) << 30, bool singleCabinet = false);
    // Called as a member's bytes arrive in memory: data holds what has arrived so far, in a
    // buffer that stays in place until the member is complete (it is sized for the whole
    // member first), so a reader may parse it while the rest is being decompressed. When the
    // extraction fails, it is called once more with a null array: every buffer handed over is
    // about to be freed, and the handler must have stopped reading them when it returns. The
    // handler must not throw.
    using ArrivalHandler = std::function<void(const TSTCabMember &member, const QByteArray &data)>;
    void setArrivalHandler(ArrivalHandler handler) { m_arrival = std::move(handler); }

    // Whether a member name can be written into a folder without leaving it.
    static bool isSafeMemberName(const QString &name);

private:
    mscab_decompressor *decompressor();

    std::unique_ptr<MspackSystem> m_system;
    ArrivalHandler m_arrival;
    mscab_decompressor *m_cabd = nullptr;
};
