// GLib headers first: Qt's "signals" keyword would clash with their struct fields.
#pragma push_macro("signals")
#undef signals
#include <libgcab.h>
#pragma pop_macro("signals")

#include "cabinet/TSTCabWriter.h"

#include "cabinet/ESTCabinet.h"
#include "cabinet/GDeviceOutputStream.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace
{

// Names are matched the way the cabinet tools of the original platform list a folder:
// "*" any run, "?" one character, letters without regard to case.
bool maskMatches(QStringView mask, QStringView name)
{
    qsizetype m = 0, n = 0, starM = -1, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || mask[m].toCaseFolded() == name[n].toCaseFolded())) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == u'*') {
            starM = m++;
            starN = n;
        } else if (starM >= 0) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

// As the system's file listing takes a mask: a closing ".*" also stands for no extension at
// all, so "*.*" lists every file and "readme.*" lists "readme".
bool listingMatches(QStringView mask, QStringView name)
{
    return maskMatches(mask, name) || (mask.endsWith(u".*") && maskMatches(mask.chopped(2), name));
}

int errnoFromGError(const GError *err)
{
    if (!err || err->domain != G_IO_ERROR)
        return 0;
    switch (err->code) {
    case G_IO_ERROR_NOT_FOUND:
        return ENOENT;
    case G_IO_ERROR_PERMISSION_DENIED:
        return EACCES;
    case G_IO_ERROR_IS_DIRECTORY:
        return EISDIR;
    case G_IO_ERROR_NO_SPACE:
        return ENOSPC;
    case G_IO_ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    default:
        return EIO;
    }
}

GDateTime *dosLocalDateTime(const QDateTime &when)
{
    const QDateTime local = TSTCabWriter::memberDateTime(when);
    const QDate d = local.date();
    const QTime t = local.time();
    return g_date_time_new_local(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

} // namespace

// DOS dates cover 1980 to 2107; anything outside is pinned to the nearest end.
QDateTime TSTCabWriter::memberDateTime(const QDateTime &when)
{
    const QDateTime local = when.isValid() ? when.toLocalTime() : QDateTime::currentDateTime();
    const QDate d = local.date();
    const QTime t = local.time();
    if (d.year() < 1980)
        return QDateTime(QDate(1980, 1, 1), QTime(0, 0, 0));
    if (d.year() > 2107)
        return QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58));
    return QDateTime(d, QTime(t.hour(), t.minute(), (t.second() / 2) * 2));
}

quint32 TSTCabWriter::fileAttributes(const QFileInfo &fi)
{
    quint32 attrs = Archive;
    if (!(fi.permissions() & QFileDevice::WriteOwner))
        attrs |= ReadOnly;
    if (fi.fileName().startsWith(u'.'))
        attrs |= Hidden;
    return attrs;
}

TSTCabWriter::TSTCabWriter() = default;

TSTCabWriter::~TSTCabWriter()
{
    Close(false);
}

int TSTCabWriter::compressionCode() const
{
    switch (CompressionType) {
    case cctNone:
        return 0;
    case cctMsZip:
        return 1;
    case cctLzx:
        return 3 + CompressionLzxLevel * 256;
    }
    return 0;
}

QString TSTCabWriter::expandTemplate(const QString &templ, int number)
{
    QString out = templ;
    return out.replace(u'*', QString::number(number));
}

void TSTCabWriter::Open(const QString &fileName)
{
    Close(false);
    const QFileInfo fi(fileName);
    m_fileName = fi.absoluteFilePath();
    m_params = TSTCabParameters();
    m_params.CabinetSize = CabinetSizeThreshold > 0 ? CabinetSizeThreshold : 0x7FFFFFFF;
    m_params.FolderThreshold = FolderSizeThreshold > 0 ? FolderSizeThreshold : 0x7FFFFFFF;
    m_params.ReserveCabinet = ReservePerCabinetSize;
    m_params.ReserveFolder = ReservePerFolderSize;
    m_params.ReserveData = ReservePerDataSize;
    m_params.SetID = SetID;
    m_params.DiskNumber = 1;
    m_params.CabinetNumber = 1;
    m_params.DiskLabel = expandTemplate(DiskLabelTemplate.isEmpty() ? QStringLiteral("Disk*") : DiskLabelTemplate, 1);
    m_params.CabinetName = fi.fileName();
    m_params.CabinetPath = fi.absolutePath();
    if (!m_params.CabinetPath.endsWith(u'/'))
        m_params.CabinetPath += u'/';
    m_firstCabinetName = m_params.CabinetName;

    if (OnGetNextCabinet) {
        bool abort = false;
        OnGetNextCabinet(*this, m_params, 0, abort);
        if (abort)
            return;
    }
    // The library keeps no reserve in folder entries or data blocks.
    if (m_params.ReserveFolder != 0 || m_params.ReserveData != 0)
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciCabFileCreate);
    if (!QDir().mkpath(m_params.CabinetPath))
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciCabFileCreate, errno ? errno : EACCES);
    m_fileName = m_params.CabinetPath + m_params.CabinetName;
    newLibraryCabinet();
}

void TSTCabWriter::newLibraryCabinet()
{
    releaseLibraryCabinet();
    m_cabinet = gcab_cabinet_new();
    if (m_params.ReserveCabinet > 0) {
        GByteArray *reserve = g_byte_array_sized_new(static_cast<guint>(m_params.ReserveCabinet));
        g_byte_array_set_size(reserve, static_cast<guint>(m_params.ReserveCabinet));
        memset(reserve->data, 0, reserve->len);
        g_object_set(m_cabinet, "reserved", reserve, nullptr);
        g_byte_array_unref(reserve);
    }
    // The folder's compression is fixed when it is made; the type is checked per file.
    const int code = compressionCode() & 0x0F;
    m_folder = gcab_folder_new(code == GCAB_COMPRESSION_MSZIP ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE);
    GError *err = nullptr;
    if (!gcab_cabinet_add_folder(m_cabinet, m_folder, &err)) {
        g_clear_error(&err);
        releaseLibraryCabinet();
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciAllocFail);
    }
    m_cancel = g_cancellable_new();
    m_cabinetFiles = m_folderFiles = 0;
    m_cabinetBytes = m_folderBytes = 0;
    m_heldBytes = 0;
    m_fileStatusCount = 0;
}

void TSTCabWriter::releaseLibraryCabinet()
{
    if (m_folder)
        g_object_unref(m_folder);
    if (m_cabinet)
        g_object_unref(m_cabinet);
    if (m_cancel)
        g_object_unref(m_cancel);
    m_folder = nullptr;
    m_cabinet = nullptr;
    m_cancel = nullptr;
}

void TSTCabWriter::beforeAdd(qint64 size)
{
    // Only MSZIP and stored data can be written by the library.
    const int type = compressionCode() & 0x0F;
    if (type != GCAB_COMPRESSION_NONE && type != GCAB_COMPRESSION_MSZIP)
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciBadCompressionType);
    const bool countFull = CabinetFileCountThreshold > 0 && CabinetFileCountThreshold <= m_cabinetFiles;
    // The size limit is held on the uncompressed bytes, which the compressed cabinet never exceeds.
    const bool sizeFull =
        CabinetSizeThreshold > 0 && m_cabinetFiles > 0 && m_cabinetBytes + size > CabinetSizeThreshold;
    if (countFull || sizeFull) {
        FlushCabinet(true);
    } else if ((FolderFileCountThreshold > 0 && FolderFileCountThreshold <= m_folderFiles) ||
               (FolderSizeThreshold > 0 && m_folderFiles > 0 && m_folderBytes + size > FolderSizeThreshold)) {
        FlushFolder();
    }
}

void TSTCabWriter::AddFile(const QString &sourceFile, const QString &nameInCabinet, bool execute)
{
    if (!m_cabinet)
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciNone, 0, false);
    if (OnBeforeFileAdd) {
        bool skip = false;
        OnBeforeFileAdd(*this, sourceFile, skip);
        if (skip)
            return;
    }
    QString name = nameInCabinet;
    while (name.startsWith(u'\\'))
        name.remove(0, 1);
    const QFileInfo fi(sourceFile);
    errno = 0;
    if (!fi.isFile() || !fi.isReadable())
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciOpenSource,
                         fi.exists() ? (fi.isDir() ? EISDIR : EACCES) : ENOENT);
    quint32 attrs = fileAttributes(fi);
    if (execute)
        attrs |= Execute;
    // A file is read at once while the cabinet holds little in memory: the library's own look at
    // a file added by name (its type sniffed from its first bytes, then the file read again when
    // the cabinet is written) costs more than the read, and for a catalogue's thousands of small
    // contents files it was most of an export. Past the budget, files are read at the write.
    if (m_heldBytes + fi.size() <= MemoryBudget) {
        QFile file(fi.absoluteFilePath());
        errno = 0;
        if (!file.open(QIODevice::ReadOnly))
            throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciOpenSource, errno ? errno : EACCES);
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciReadSource, errno ? errno : EIO);
        addHeld(data, name, fi.lastModified(), attrs);
        return;
    }
    beforeAdd(fi.size());
    GFile *gfile = g_file_new_for_path(QFile::encodeName(fi.absoluteFilePath()).constData());
    GCabFile *cabFile = gcab_file_new_with_file(name.toUtf8().constData(), gfile);
    g_object_unref(gfile);
    addMember(cabFile, name, fi.size(), fi.lastModified(), attrs);
}

void TSTCabWriter::AddBytes(const QByteArray &data, const QString &nameInCabinet, const QDateTime &modified,
                            quint32 attributes)
{
    if (!m_cabinet)
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciNone, 0, false);
    QString name = nameInCabinet;
    while (name.startsWith(u'\\'))
        name.remove(0, 1);
    if (OnBeforeFileAdd) {
        bool skip = false;
        OnBeforeFileAdd(*this, name, skip);
        if (skip)
            return;
    }
    addHeld(data, name, modified, attributes);
}

void TSTCabWriter::addHeld(const QByteArray &data, const QString &name, const QDateTime &modified, quint32 attributes)
{
    beforeAdd(data.size());
    m_heldBytes += data.size();
    // The library keeps the bytes by reference; the copy lives until the cabinet is written.
    QByteArray *copy = new QByteArray(data);
    GBytes *bytes = g_bytes_new_with_free_func(
        copy->constData(), static_cast<gsize>(copy->size()), [](gpointer p) { delete static_cast<QByteArray *>(p); },
        copy);
    GCabFile *cabFile = gcab_file_new_with_bytes(name.toUtf8().constData(), bytes);
    g_bytes_unref(bytes);
    addMember(cabFile, name, data.size(), modified, attributes);
}

void TSTCabWriter::addMember(void *file, const QString &name, qint64 size, const QDateTime &modified,
                             quint32 attributes)
{
    GCabFile *cabFile = static_cast<GCabFile *>(file);
    GError *err = nullptr;
    // A cabinet member is at most 4 GiB - 1 bytes long.
    if (size > 0xFFFFFFFFLL) {
        g_object_unref(cabFile);
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciOpenSource, EFBIG);
    }
    if (!gcab_folder_add_file(m_folder, cabFile, FALSE, nullptr, &err)) {
        const int sys = errnoFromGError(err);
        g_clear_error(&err);
        g_object_unref(cabFile);
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciOpenSource, sys);
    }
    // The library takes the date from the file in UTC; members carry local time.
    GDateTime *dt = dosLocalDateTime(modified);
    gcab_file_set_date_time(cabFile, dt);
    g_date_time_unref(dt);
    gcab_file_set_attributes(cabFile, attributes);
    g_object_unref(cabFile);

    ++m_cabinetFiles;
    ++m_folderFiles;
    m_cabinetBytes += size;
    m_folderBytes += size;
    if (OnFilePlaced) {
        bool abort = false;
        OnFilePlaced(*this, m_params, name, size, false, abort);
        if (abort)
            throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciUserAbort);
    }
}

void TSTCabWriter::AddFiles(const QString &fileMask, const QString &folderInCabinet, bool recursive)
{
    const QFileInfo maskInfo(fileMask);
    const QString folder = maskInfo.absolutePath();
    const QString pattern = maskInfo.fileName();
    QDir dir(folder);
    if (!dir.exists())
        throw QuilloryError(QStringLiteral("Cannot list the folder \"%1\": %2")
                                .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(strerror(ENOENT))));
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    QStringList subfolders;
    for (const QFileInfo &e : entries) {
        if (e.isDir()) {
            if (recursive)
                subfolders.append(e.fileName());
            continue;
        }
        if (!listingMatches(pattern, e.fileName()))
            continue;
        const QString member = folderInCabinet.isEmpty() ? e.fileName() : folderInCabinet + u'\\' + e.fileName();
        AddFile(e.absoluteFilePath(), member, false);
    }
    for (const QString &sub : subfolders) {
        const QString subMask = folder + u'/' + sub + u'/' + pattern;
        AddFiles(subMask, folderInCabinet.isEmpty() ? sub : folderInCabinet + u'\\' + sub, true);
    }
}

void TSTCabWriter::FlushFolder()
{
    if (!m_cabinet)
        return;
    // One compression folder per cabinet is all the library writes; the folder carries on.
    m_folderFiles = 0;
    m_folderBytes = 0;
    if (OnFolderStatus) {
        bool abort = false;
        OnFolderStatus(*this, m_cabinetBytes, m_cabinetBytes, abort);
        if (abort)
            throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciUserAbort);
    }
}

void TSTCabWriter::FlushCabinet(bool getNext)
{
    if (!m_cabinet)
        return;
    const qint64 estimated = m_cabinetBytes;
    writeCabinet();
    const qint64 written = QFileInfo(m_fileName).size();
    if (OnCabinetStatus) {
        bool abort = false;
        qint64 desired = 0;
        OnCabinetStatus(*this, estimated, written, desired, abort);
        if (abort)
            throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciUserAbort);
    }
    if (getNext)
        startNextCabinet(written);
    else
        releaseLibraryCabinet();
}

void TSTCabWriter::startNextCabinet(qint64 previousSize)
{
    m_params.DiskNumber += 1;
    m_params.CabinetNumber += 1;
    m_params.DiskLabel =
        expandTemplate(DiskLabelTemplate.isEmpty() ? QStringLiteral("Disk*") : DiskLabelTemplate, m_params.DiskNumber);
    QString nameTemplate = CabinetNameTemplate;
    if (nameTemplate.isEmpty()) {
        nameTemplate = m_firstCabinetName;
        const qsizetype dot = nameTemplate.lastIndexOf(u'.');
        if (dot >= 0)
            nameTemplate.insert(dot, u'*');
        else
            nameTemplate.append(u'*');
    }
    m_params.CabinetName = expandTemplate(nameTemplate, m_params.CabinetNumber);
    QString path =
        CabinetPathTemplate.isEmpty() ? m_params.CabinetPath : expandTemplate(CabinetPathTemplate, m_params.DiskNumber);
    if (!path.endsWith(u'/'))
        path += u'/';
    m_params.CabinetPath = path;
    if (OnGetNextCabinet) {
        bool abort = false;
        OnGetNextCabinet(*this, m_params, previousSize, abort);
        if (abort) {
            releaseLibraryCabinet();
            throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciUserAbort);
        }
    }
    if (!QDir().mkpath(m_params.CabinetPath))
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciCabFileCreate, errno ? errno : EACCES);
    m_fileName = m_params.CabinetPath + m_params.CabinetName;
    newLibraryCabinet();
}

namespace
{

struct WriteContext {
    TSTCabWriter *writer;
    GCancellable *cancel;
    int *fileStatusCount;
};

gboolean onFileWritten(GCabFile *file, gpointer data)
{
    auto *ctx = static_cast<WriteContext *>(data);
    TSTCabWriter &w = *ctx->writer;
    bool abort = false;
    const qint64 size = gcab_file_get_size(file);
    if (w.OnFileStatus)
        w.OnFileStatus(w, 0, size, abort);
    const int n = ++*ctx->fileStatusCount;
    if (!abort && w.OnProgress && (n == 2 || (n > 2 && (n - 2) % 9 == 0)))
        w.OnProgress(w, abort);
    if (abort)
        g_cancellable_cancel(ctx->cancel);
    return TRUE;
}

} // namespace

void TSTCabWriter::writeCabinet()
{
    if (m_cabinetFiles == 0) {
        // Nothing to write: the cabinet format has no empty cabinet, so none is left behind
        // under this name, old or new.
        QFile::remove(m_fileName);
        return;
    }
    // Written under SafeSaveFile's partial name, so that what a kill leaves is known for what it
    // is and removed, and put in place whole by a rename. The library seeks back to write its
    // headers, which SafeSaveFile (a stream) cannot take; buffered, since it writes them a byte
    // or two at a time and each would be a call into the system. A write the disk refuses
    // still fails the cabinet: at a later write, at the seek below, or at the flush.
    // A cabinet named through a link replaces the file the link names.
    const QString target = SafeSaveFile::writtenFile(m_fileName);
    const QString partial = SafeSaveFile::partialName(target);
    QFile::remove(partial);
    QFile out(partial);
    const auto fail = [&](int code, int sys) {
        out.close();
        QFile::remove(partial);
        releaseLibraryCabinet();
        throw ESTCabinet(ESTCabinet::Writing, code, sys);
    };
    errno = 0;
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        fail(ESTCabinet::FciCabFileCreate, errno ? errno : EACCES);
    GOutputStream *stream = GDeviceOutputStreamNew(&out);
    WriteContext ctx{this, m_cancel, &m_fileStatusCount};
    GError *err = nullptr;
    const gboolean ok = gcab_cabinet_write_simple(m_cabinet, stream, onFileWritten, &ctx, m_cancel, &err);
    const int streamErrno = GDeviceOutputStreamLastErrno(stream);
    g_object_unref(stream);
    // The library can go on after a write the device refused (a full disk) and report
    // success over a cut-off cabinet; the device's own record of the failure decides.
    if (!ok || streamErrno != 0) {
        int code = ESTCabinet::FciMciFail;
        int sys = 0;
        if (g_cancellable_is_cancelled(m_cancel)) {
            code = ESTCabinet::FciUserAbort;
        } else if (streamErrno != 0) {
            code = ESTCabinet::FciCabFileCreate;
            sys = streamErrno;
        } else if (err && err->domain == G_IO_ERROR) {
            code = ESTCabinet::FciReadSource;
            sys = errnoFromGError(err);
        }
        g_clear_error(&err);
        fail(code, sys);
    }
    errno = 0;
    // The set identifier sits at a fixed place of the header, which has no checksum.
    if (m_params.SetID != 0) {
        const char id[2] = {static_cast<char>(m_params.SetID & 0xFF), static_cast<char>(m_params.SetID >> 8)};
        if (!out.seek(0x20) || out.write(id, 2) != 2)
            fail(ESTCabinet::FciCabFileCreate, errno ? errno : EIO);
    }
    // A replaced cabinet's permissions pass to its successor. A file system without syncs is
    // no failure; one that cannot keep the bytes is.
    if (QFileInfo::exists(target))
        out.setPermissions(QFile::permissions(target));
    if (!out.flush() || (::fsync(out.handle()) != 0 && errno != EINVAL && errno != ENOTSUP))
        fail(ESTCabinet::FciCabFileCreate, errno ? errno : EIO);
    out.close();
    if (out.error() != QFileDevice::NoError)
        fail(ESTCabinet::FciCabFileCreate, errno ? errno : EIO);
    if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) != 0)
        fail(ESTCabinet::FciCabFileCreate, errno);
    if (OnFolderStatus) {
        bool abort = false;
        OnFolderStatus(*this, m_cabinetBytes, m_cabinetBytes, abort);
    }
}

void TSTCabWriter::Close(bool flush)
{
    if (!m_cabinet)
        return;
    if (flush) {
        try {
            FlushCabinet(false);
        } catch (...) {
            releaseLibraryCabinet();
            throw;
        }
    }
    releaseLibraryCabinet();
}
