#include "cabinet/TSTCabReader.h"

#include "cabinet/CabinetSet.h"
#include "cabinet/ESTCabinet.h"
#include "cabinet/MspackSystem.h"
#include "core/QuilloryError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <cerrno>
#include <mspack.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

TSTCabMember memberOf(const mscabd_file *f, const mscabd_folder *firstFolder, bool withDate = true)
{
    TSTCabMember m;
    m.Name = CabinetSet::text(f->filename, f->attribs & MSCAB_ATTRIB_UTF_NAME);
    m.Size = f->length;
    m.Attributes = static_cast<quint32>(f->attribs);
    const QDate d(f->date_y, f->date_m, f->date_d);
    const QTime t(f->time_h, f->time_m, f->time_s);
    if (withDate && d.isValid() && t.isValid())
        m.Modified = QDateTime(d, t);
    int n = 0;
    for (const mscabd_folder *fol = firstFolder; fol && fol != f->folder; fol = fol->next)
        ++n;
    m.FolderNumber = n;
    return m;
}

// A member's date as seconds since the epoch, the same instant its local-time QDateTime names.
// The zone is asked once per (date, hour) of the archive rather than once per member: a whole
// archive is usually written within a few hours. An hour holding or touching a change of offset
// (a gap or a repeated hour) is not cached; the member's own QDateTime answers for it.
class MemberEpochs
{
public:
    qint64 of(const mscabd_file *f, const QDateTime &modified)
    {
        const QDate d(f->date_y, f->date_m, f->date_d);
        const qint64 key = d.toJulianDay() * 24 + f->time_h;
        auto it = m_offsets.constFind(key);
        if (it == m_offsets.constEnd())
            it = m_offsets.insert(key, steadyOffset(d, f->time_h));
        if (!it->has_value())
            return modified.toSecsSinceEpoch();
        const qint64 local =
            (d.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400 + f->time_h * 3600 + f->time_m * 60 + f->time_s;
        return local - **it;
    }

private:
    static std::optional<int> steadyOffset(const QDate &d, int hour)
    {
        const QDateTime first(d, QTime(hour, 0, 0));
        const QDateTime last(d, QTime(hour, 59, 59));
        if (!first.isValid() || !last.isValid() || first.time() != QTime(hour, 0, 0) ||
            last.time() != QTime(hour, 59, 59))
            return std::nullopt;
        const int offset = first.offsetFromUtc();
        if (last.offsetFromUtc() != offset ||
            QDateTime::fromSecsSinceEpoch(first.toSecsSinceEpoch() - 1).offsetFromUtc() != offset ||
            QDateTime::fromSecsSinceEpoch(last.toSecsSinceEpoch() + 1).offsetFromUtc() != offset)
            return std::nullopt;
        return offset;
    }

    QHash<qint64, std::optional<int>> m_offsets;
};

} // namespace

TSTCabReader::TSTCabReader() : m_system(std::make_unique<MspackSystem>()) {}

TSTCabReader::~TSTCabReader()
{
    if (m_cabd)
        mspack_destroy_cab_decompressor(m_cabd);
}

mscab_decompressor *TSTCabReader::decompressor()
{
    if (!m_cabd) {
        int selftest = 0;
        MSPACK_SYS_SELFTEST(selftest);
        if (selftest != MSPACK_ERR_OK)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
        m_cabd = mspack_create_cab_decompressor(&m_system->sys);
        if (!m_cabd)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
    }
    return m_cabd;
}

bool TSTCabReader::isSafeMemberName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(QChar(0)))
        return false;
    // "C:name" is relative to a drive's current folder on the platform the cabinets come from.
    if (name.size() >= 2 && name.at(1) == u':')
        return false;
    return true;
}

std::vector<TSTCabMember> TSTCabReader::List(const QString &cabinetFile, bool singleCabinet, bool withDates)
{
    const CabinetSet set(*this, decompressor(), *m_system, cabinetFile, singleCabinet);
    std::vector<TSTCabMember> out;
    for (const mscabd_file *f = set.first()->files; f; f = f->next)
        out.push_back(memberOf(f, set.first()->folders, withDates));
    return out;
}

void TSTCabReader::Extract(const QString &cabinetFile, const QString &destinationFolder, bool singleCabinet)
{
    QString destination = QFileInfo(destinationFolder).absoluteFilePath();
    if (!destination.endsWith(u'/'))
        destination += u'/';
    const CabinetSet set(*this, decompressor(), *m_system, cabinetFile, singleCabinet);

    // Every name is checked before the first byte is written.
    for (const mscabd_file *f = set.first()->files; f; f = f->next) {
        // The name alone: a member's date costs a look at the time zone.
        const QString name = CabinetSet::text(f->filename, f->attribs & MSCAB_ATTRIB_UTF_NAME);
        if (!isSafeMemberName(name))
            throw QuilloryError(
                QStringLiteral("The archive \"%1\" holds a member named \"%2\". Names with a folder, \"..\" or an "
                               "absolute path are not extracted; nothing was extracted.")
                    .arg(QDir::toNativeSeparators(set.firstPath()), name));
    }
    set.checkFolders();

    // Folders already made for this cabinet: most members share one.
    QSet<QString> madeFolders;
    MemberEpochs epochs;
    for (mscabd_file *f = set.first()->files; f; f = f->next) {
        const TSTCabMember member = memberOf(f, set.first()->folders);
        QString target = destination + member.Name;
        if (OnCopyFile) {
            bool abort = false;
            OnCopyFile(*this, member, target, abort);
            if (abort)
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
            if (target.isEmpty())
                continue;
        }
        const QFileInfo targetInfo(target);
        const QString folder = targetInfo.absolutePath();
        if (!madeFolders.contains(folder)) {
            if (!QDir().mkpath(folder))
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, errno ? errno : EACCES);
            madeFolders.insert(folder);
        }
        // A scratch folder holds no file of the user's; what an earlier member left is replaced below.
        if (DurableWrites && targetInfo.exists() && targetInfo.isFile() &&
            !(targetInfo.permissions() & QFileDevice::WriteOwner)) {
            if (Options & croDontOverwriteReadOnlyFiles)
                continue;
            QFile::setPermissions(target, targetInfo.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
        }

        std::unique_ptr<QFileDevice> out;
        if (DurableWrites) {
            auto save = std::make_unique<QSaveFile>(target);
            save->setDirectWriteFallback(false);
            out = std::move(save);
        } else {
            out = std::make_unique<QFile>(target);
        }
        // Cancels a save file; removes a file written in place.
        const auto discardOutput = [&] {
            if (auto *save = qobject_cast<QSaveFile *>(out.get())) {
                save->cancelWriting();
            } else {
                out->close();
                QFile::remove(target);
            }
        };
        errno = 0;
        // Unbuffered: a save file whose last buffered block fails as it closes is committed
        // cut short; written directly, every refusal reaches sysWrite with its reason.
        const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
        // In place, always a new file: one an earlier member left (read-only, or longer) is removed first.
        bool opened = out->open(DurableWrites ? mode : mode | QIODevice::NewOnly);
        if (!opened && !DurableWrites && errno == EEXIST && QFile::remove(target))
            opened = out->open(mode | QIODevice::NewOnly);
        if (!opened)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, errno ? errno : EACCES);
        m_system->output = out.get();
        m_system->writeLimit = -1;
        m_system->limitHit = false;
        m_system->lastErrno = 0;
        const int err = m_cabd->extract(m_cabd, f, "member");
        m_system->output = nullptr;
        if (err != MSPACK_ERR_OK) {
            discardOutput();
            // The start of this folder lies in an earlier cabinet of the set.
            if ((err == MSPACK_ERR_DATAFORMAT || err == MSPACK_ERR_DECRUNCH || err == MSPACK_ERR_READ) &&
                (set.first()->flags & MSCAB_HDR_PREVCAB) && f->folder == set.first()->folders) {
                if (OnCopyPartialFile) {
                    bool abort = false;
                    OnCopyPartialFile(*this, member, CabinetSet::text(set.first()->prevname, false),
                                      CabinetSet::text(set.first()->previnfo, false), target, abort);
                    if (abort)
                        throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
                }
                continue;
            }
            set.throwExtractError(err);
        }
        errno = 0;
        if (auto *save = qobject_cast<QSaveFile *>(out.get())) {
            if (!save->commit())
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, errno ? errno : EIO);
        } else {
            // Written in place: the date and a read-only member's mode are set on the open file
            // (a new file already lets its owner write), and a failing close is a failed write.
            if (member.Modified.isValid()) {
                const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(epochs.of(f, member.Modified)), 0}};
                ::futimens(out->handle(), times);
            }
            struct stat st;
            if ((member.Attributes & 0x01) && ::fstat(out->handle(), &st) == 0)
                ::fchmod(out->handle(), st.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH));
            out->close();
            if (out->error() != QFileDevice::NoError) {
                const int sys = errno ? errno : EIO;
                QFile::remove(target);
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiTargetFile, sys);
            }
        }

        if (DurableWrites) {
            QFile written(target);
            if (member.Modified.isValid() && written.open(QIODevice::ReadWrite)) {
                written.setFileTime(member.Modified, QFileDevice::FileModificationTime);
                written.close();
            }
            QFileDevice::Permissions perms = written.permissions();
            if (member.Attributes & 0x01)
                perms &= ~(QFileDevice::WriteOwner | QFileDevice::WriteUser | QFileDevice::WriteGroup |
                           QFileDevice::WriteOther);
            else
                perms |= QFileDevice::WriteOwner | QFileDevice::WriteUser;
            written.setPermissions(perms);
        }

        if (OnCloseFile) {
            bool abort = false;
            OnCloseFile(*this, member, target, abort);
            if (abort)
                throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiUserAbort);
        }
        if ((Options & croExecuteOnExtract) && member.Execute())
            QProcess::startDetached(QStringLiteral("xdg-open"), {target});
    }
}

bool TSTCabReader::ExtractToStream(const QString &cabinetFile,
                                   const std::function<bool(const TSTCabMember &)> &wanted,
                                   const std::function<void(const TSTCabMember &)> &begin,
                                   const std::function<bool(QByteArrayView bytes)> &write, qint64 maxTotalBytes,
                                   bool singleCabinet)
{
    const CabinetSet set(*this, decompressor(), *m_system, cabinetFile, singleCabinet);
    set.checkFolders();

    // The members are chosen, and their sizes as the headers give them weighed, before a byte
    // is unpacked: a refusal (or a chooser that throws) costs nothing.
    std::vector<std::pair<mscabd_file *, TSTCabMember>> chosen;
    qint64 announced = 0;
    for (mscabd_file *f = set.first()->files; f; f = f->next) {
        // Without its date: bytes in memory keep none, and each costs a look at the time zone.
        TSTCabMember member = memberOf(f, set.first()->folders, false);
        if (wanted && !wanted(member))
            continue;
        announced += member.Size;
        if (announced > maxTotalBytes)
            throw ESTCabinet(ESTCabinet::Reading, ESTCabinet::FdiAllocFail);
        chosen.emplace_back(f, std::move(member));
    }

    for (const auto &[f, member] : chosen) {
        begin(member);
        m_system->sink = [&write](const char *bytes, int size) { return write(QByteArrayView(bytes, size)); };
        m_system->writeLimit = member.Size;
        m_system->limitHit = false;
        m_system->sinkStopped = false;
        m_system->lastErrno = 0;
        const int err = m_cabd->extract(m_cabd, f, "member");
        m_system->sink = nullptr;
        m_system->writeLimit = -1;
        if (m_system->sinkStopped)
            return false;
        if (err != MSPACK_ERR_OK)
            set.throwExtractError(err);
    }
    return true;
}

std::vector<TSTCabBlob> TSTCabReader::ExtractToMemory(const QString &cabinetFile,
                                                      const std::function<bool(const TSTCabMember &)> &wanted,
                                                      qint64 maxTotalBytes, bool singleCabinet)
{
    std::vector<TSTCabBlob> out;
    try {
        ExtractToStream(
            cabinetFile, wanted,
            [&](const TSTCabMember &member) {
                out.push_back({member, QByteArray()});
                out.back().Data.reserve(member.Size);
            },
            [&](QByteArrayView bytes) {
                TSTCabBlob &blob = out.back();
                blob.Data.append(bytes);
                if (m_arrival)
                    m_arrival(blob.Member, blob.Data);
                return true;
            },
            maxTotalBytes, singleCabinet);
    } catch (...) {
        // Before a failure frees the members extracted so far, the handler lets go of them.
        if (m_arrival && !out.empty())
            m_arrival(out.back().Member, QByteArray());
        throw;
    }
    return out;
}
