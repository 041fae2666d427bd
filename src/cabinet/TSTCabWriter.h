#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

class QFileInfo;

enum TSTCabCompressionType { cctNone, cctMsZip, cctLzx };

// The cabinet parameters the writer keeps for the cabinet being built.
struct TSTCabParameters {
    qint64 CabinetSize = 0x7FFFFFFF;
    qint64 FolderThreshold = 0x7FFFFFFF;
    int ReserveCabinet = 0;
    int ReserveFolder = 0;
    int ReserveData = 0;
    quint16 SetID = 0;
    int CabinetNumber = 1;
    int DiskNumber = 1;
    QString DiskLabel;
    QString CabinetName; // file name only
    QString CabinetPath; // folder, ending in "/"
};

struct _GCabCabinet;
struct _GCabFolder;
struct _GCancellable;

// Builds a cabinet from files on disk (or bytes in memory) with libgcab. Members are
// stored under the names given; the program uses bare names and MSZIP. The library
// writes one compression folder per cabinet and cannot write cabinet sets, so the
// thresholds start a separate, self-contained cabinet instead of continuing a set.
// Failures throw ESTCabinet. Not copyable.
class TSTCabWriter
{
public:
    TSTCabWriter();
    ~TSTCabWriter();
    TSTCabWriter(const TSTCabWriter &) = delete;
    TSTCabWriter &operator=(const TSTCabWriter &) = delete;

    // Properties.
    qint64 CabinetSizeThreshold = 0;
    int CabinetFileCountThreshold = 0;
    qint64 FolderSizeThreshold = 0;
    int FolderFileCountThreshold = 0;
    int ReservePerCabinetSize = 0;
    int ReservePerFolderSize = 0;
    int ReservePerDataSize = 0;
    quint16 SetID = 0;
    QString CabinetNameTemplate;
    QString CabinetPathTemplate;
    QString DiskLabelTemplate;
    TSTCabCompressionType CompressionType = cctLzx;
    int CompressionLzxLevel = 21;
    // Files added are read at once and held until the cabinet is written while they come to no
    // more than this many bytes; later ones are read when the cabinet is written.
    qint64 MemoryBudget = qint64(64) << 20;

    // Events; none is needed by the program.
    std::function<void(TSTCabWriter &, const QString &fileName, bool &skip)> OnBeforeFileAdd;
    std::function<void(TSTCabWriter &, const TSTCabParameters &, const QString &fileName, qint64 fileSize,
                       bool continuation, bool &abort)>
        OnFilePlaced;
    std::function<void(TSTCabWriter &, TSTCabParameters &, qint64 previousCabinetSize, bool &abort)> OnGetNextCabinet;
    std::function<void(TSTCabWriter &, qint64 compressedBlockSize, qint64 uncompressedBlockSize, bool &abort)>
        OnFileStatus;
    std::function<void(TSTCabWriter &, qint64 copiedSize, qint64 totalSize, bool &abort)> OnFolderStatus;
    std::function<void(TSTCabWriter &, qint64 previousEstimatedSize, qint64 actualSize, qint64 &desiredSize,
                       bool &abort)>
        OnCabinetStatus;
    std::function<void(TSTCabWriter &, bool &abort)> OnProgress;

    // The code passed with each file: 0 none, 1 MSZIP, 3 + level * 256 LZX.
    int compressionCode() const;

    void Open(const QString &fileName);
    // Adds every file matching the mask ("*" and "?" in the name part, letters without case).
    void AddFiles(const QString &fileMask, const QString &folderInCabinet = QString(), bool recursive = false);
    void AddFile(const QString &sourceFile, const QString &nameInCabinet, bool execute = false);
    // Adds a member from memory with the given date and time (local) and attributes.
    void AddBytes(const QByteArray &data, const QString &nameInCabinet, const QDateTime &modified,
                  quint32 attributes = 0x20);
    void FlushFolder();
    void FlushCabinet(bool getNext);
    void Close(bool flush);

    bool isOpen() const { return m_cabinet != nullptr; }
    // The full path of the cabinet being built (or last built).
    QString fileName() const { return m_fileName; }

    // A member's date and time as the cabinet keeps it: local time, two-second steps, pinned
    // to the years the format can hold (1980 to 2107).
    static QDateTime memberDateTime(const QDateTime &when);

    // Attributes of a member as the cabinet format keeps them.
    enum Attribute : quint32 { ReadOnly = 0x01, Hidden = 0x02, System = 0x04, Archive = 0x20, Execute = 0x40 };
    // The attributes a file added from disk gets.
    static quint32 fileAttributes(const QFileInfo &file);

private:
    void newLibraryCabinet();
    void releaseLibraryCabinet();
    void beforeAdd(qint64 size);
    void addHeld(const QByteArray &data, const QString &name, const QDateTime &modified, quint32 attributes);
    void addMember(void *gcabFile, const QString &name, qint64 size, const QDateTime &modified, quint32 attributes);
    void writeCabinet();
    void startNextCabinet(qint64 previousSize);
    static QString expandTemplate(const QString &templ, int number);

    _GCabCabinet *m_cabinet = nullptr;
    _GCabFolder *m_folder = nullptr;
    _GCancellable *m_cancel = nullptr;
    QString m_fileName;
    QString m_firstCabinetName;
    TSTCabParameters m_params;
    int m_cabinetFiles = 0;
    int m_folderFiles = 0;
    qint64 m_cabinetBytes = 0;
    qint64 m_folderBytes = 0;
    // Bytes of members kept in memory until the cabinet is written.
    qint64 m_heldBytes = 0;
    int m_fileStatusCount = 0;
    bool m_abortRequested = false;
};
