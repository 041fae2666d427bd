#pragma once

#include <QByteArray>
#include <QString>
#include <list>

class TSTCabReader;
struct MspackSystem;
struct mscab_decompressor;
struct mscabd_cabinet;

// A cabinet opened with libmspack, and the cabinets of its set appended to it, for as long as
// the object lives. The set is followed only through regular files beside the cabinet that names
// them (or in the folder the reader's OnNextCabinet gives), each once. A cabinet that cannot be
// opened throws ESTCabinet; a set that would leave its folder or never end, QuilloryError.
class CabinetSet
{
public:
    CabinetSet(TSTCabReader &reader, mscab_decompressor *cabd, MspackSystem &system, const QString &cabinetFile,
               bool singleCabinet);
    ~CabinetSet();
    CabinetSet(const CabinetSet &) = delete;
    CabinetSet &operator=(const CabinetSet &) = delete;

    mscabd_cabinet *first() const { return m_first; }
    const QString &firstPath() const { return m_firstPath; }

    // Refuses a folder compressed in a way the library cannot unpack.
    void checkFolders() const;
    // The failure an extraction that returned mspackError stands for.
    [[noreturn]] void throwExtractError(int mspackError) const;

    // A name or text of a cabinet header: UTF-8 when flagged, else Windows-1252.
    static QString text(const char *bytes, bool utf8);

private:
    mscab_decompressor *m_cabd;
    MspackSystem &m_system;
    mscabd_cabinet *m_first = nullptr;
    std::list<QByteArray> m_names; // libmspack keeps the name pointers while the set is open
    QString m_firstPath;
    bool m_missingNext = false; // the set goes on in a cabinet that was not opened
    int m_missingNextErrno = 0; // ENOENT when it was looked for and not found
    bool m_truncated = false;   // a cabinet of the set is shorter than its header says
};
