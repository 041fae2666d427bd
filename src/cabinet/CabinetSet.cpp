#include "cabinet/CabinetSet.h"

#include "cabinet/ESTCabinet.h"
#include "cabinet/MspackSystem.h"
#include "cabinet/TSTCabReader.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <mspack.h>

namespace
{

// A bare name from a cabinet header, looked up in folder without regard to case as the
// platform the cabinets come from does. Whatever has the name is found (the open refuses
// anything but a regular file, with a message).
QString findCabinet(const QString &folder, const QString &name)
{
    const QString exact = QDir(folder).filePath(name);
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return QDir(folder).filePath(e);
    return QString();
}

} // namespace

CabinetSet::CabinetSet(TSTCabReader &reader, mscab_decompressor *cabd, MspackSystem &system, const QString &cabinetFile,
                       bool singleCabinet)
    : m_cabd(cabd), m_system(system)
{
    m_firstPath = QFileInfo(cabinetFile).absoluteFilePath();

    // Closes what is open of the set and throws.
    auto refuse = [&](const QString &message) {
        if (m_first)
            cabd->close(cabd, m_first);
        m_first = nullptr;
        throw QuilloryError(message);
    };
    auto openOne = [&](const QString &path) -> mscabd_cabinet * {
        m_names.push_back(QFile::encodeName(path));
        m_system.lastErrno = 0;
        m_system.notRegular = false;
        mscabd_cabinet *cab = cabd->open(cabd, m_names.back().constData());
        if (cab)
            return cab;
        const int err = cabd->last_error(cabd);
        if (err == MSPACK_ERR_OPEN && m_system.notRegular)
            refuse(QStringLiteral("\"%1\" is not a regular file; only a cabinet file is read.")
                       .arg(QDir::toNativeSeparators(path)));
        int code = ESTCabinet::FdiCorruptCabinet;
        int sys = 0;
        switch (err) {
        case MSPACK_ERR_OPEN:
            code = ESTCabinet::FdiCabinetNotFound;
            sys = m_system.lastErrno ? m_system.lastErrno : ENOENT;
            break;
        case MSPACK_ERR_SIGNATURE:
            code = ESTCabinet::FdiNotACabinet;
            break;
        case MSPACK_ERR_READ:
            // Too short to hold a cabinet header at all, or cut off further on.
            code = QFileInfo(path).size() < 36 ? ESTCabinet::FdiNotACabinet : ESTCabinet::FdiCorruptCabinet;
            sys = m_system.lastErrno;
            break;
        case MSPACK_ERR_NOMEMORY:
            code = ESTCabinet::FdiAllocFail;
            break;
        default:
            code = ESTCabinet::FdiCorruptCabinet;
            break;
        }
        if (m_first)
            cabd->close(cabd, m_first);
        m_first = nullptr;
        throw ESTCabinet(ESTCabinet::Reading, code, sys);
    };
    auto announce = [&](mscabd_cabinet *cab, const QString &path) {
        if (!reader.OnCabinetInfo)
            return;
        bool abort = false;
        reader.OnCabinetInfo(reader, text(cab->nextname, false), text(cab->nextinfo, false),
                             QFileInfo(path).absolutePath() + u'/', cab->set_id, cab->set_index, abort);
        if (abort) {
            cabd->close(cabd, m_first);
            m_first = nullptr;
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
        }
    };

    auto checkLength = [&](const mscabd_cabinet *cab, const QString &path) {
        if (QFileInfo(path).size() < qint64(cab->base_offset) + qint64(cab->length))
            m_truncated = true;
    };
    m_first = openOne(m_firstPath);
    checkLength(m_first, m_firstPath);
    announce(m_first, m_firstPath);

    // Only a set that goes on needs the places it has been (a path resolved costs a call a folder).
    QSet<QString> visited;
    if (!singleCabinet && (m_first->flags & MSCAB_HDR_NEXTCAB))
        visited.insert(QFileInfo(m_firstPath).canonicalFilePath());
    mscabd_cabinet *current = m_first;
    QString currentPath = m_firstPath;
    // The set is followed only through bare names beside the cabinet that names them (or in
    // the folder OnNextCabinet gives), and each cabinet once: a set that names a cabinet again
    // would never end.
    while (!singleCabinet && (current->flags & MSCAB_HDR_NEXTCAB) && current->nextname) {
        const QString nextName = text(current->nextname, false);
        // A cabinet that names itself as the next one ends the set, as the format's writers mean it.
        if (nextName.compare(QFileInfo(currentPath).fileName(), Qt::CaseInsensitive) == 0)
            break;
        const auto refuseNext = [&](const QString &why) {
            refuse(QStringLiteral("The cabinet \"%1\" names \"%2\" as the next cabinet of its set, %3; the set "
                                  "is not read.")
                       .arg(QDir::toNativeSeparators(currentPath), nextName, why));
        };
        if (!TSTCabReader::isSafeMemberName(nextName))
            refuseNext(QStringLiteral("which is not a file beside it"));
        QString folder = QFileInfo(currentPath).absolutePath();
        QString nextPath = findCabinet(folder, nextName);
        if (nextPath.isEmpty() && reader.OnNextCabinet) {
            bool abort = false;
            QString supplied = folder + u'/';
            reader.OnNextCabinet(reader, nextName, text(current->nextinfo, false), supplied,
                                 ESTCabinet::FdiCabinetNotFound, abort);
            if (abort) {
                cabd->close(cabd, m_first);
                m_first = nullptr;
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
            }
            nextPath = findCabinet(supplied, nextName);
        }
        if (nextPath.isEmpty()) {
            m_missingNext = true;
            m_missingNextErrno = ENOENT;
            break;
        }
        const QString canonical = QFileInfo(nextPath).canonicalFilePath();
        if (visited.contains(canonical))
            refuseNext(QStringLiteral("which came earlier in the set, so the set never ends"));
        visited.insert(canonical);
        mscabd_cabinet *next = openOne(nextPath);
        checkLength(next, nextPath);
        announce(next, nextPath);
        if (cabd->append(cabd, current, next) != MSPACK_ERR_OK) {
            cabd->close(cabd, next);
            cabd->close(cabd, m_first);
            m_first = nullptr;
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiWrongCabinet);
        }
        current = next;
        currentPath = nextPath;
    }
    if (singleCabinet && (current->flags & MSCAB_HDR_NEXTCAB))
        m_missingNext = true;
}

CabinetSet::~CabinetSet()
{
    if (m_first)
        m_cabd->close(m_cabd, m_first);
}

QString CabinetSet::text(const char *bytes, bool utf8)
{
    if (!bytes)
        return QString();
    const QByteArray raw(bytes);
    return utf8 ? QString::fromUtf8(raw) : TextCodec::fromWindows1252(raw);
}

void CabinetSet::throwExtractError(int err) const
{
    if (m_system.limitHit)
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
    switch (err) {
    case MSPACK_ERR_WRITE:
    case MSPACK_ERR_OPEN:
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, m_system.lastErrno);
    case MSPACK_ERR_NOMEMORY:
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
    default:
        break;
    }
    // The data ran out: a member running on into a cabinet of the set that is not there, or a
    // cabinet cut short. The decoders report both as failures of their own.
    if (m_truncated)
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiCorruptCabinet);
    if (m_missingNext)
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiCabinetNotFound, m_missingNextErrno);
    switch (err) {
    case MSPACK_ERR_DECRUNCH:
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiMdiFail);
    default:
        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiCorruptCabinet,
                         err == MSPACK_ERR_READ ? m_system.lastErrno : 0);
    }
}

void CabinetSet::checkFolders() const
{
    for (const mscabd_folder *fol = m_first->folders; fol; fol = fol->next) {
        const int method = MSCABD_COMP_METHOD(fol->comp_type);
        if (method != MSCAB_COMP_NONE && method != MSCAB_COMP_MSZIP && method != MSCAB_COMP_QUANTUM &&
            method != MSCAB_COMP_LZX)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiBadCompressionType);
    }
}
