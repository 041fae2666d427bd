#include "FileCopier.h"

#include "core/EntryKind.h"
#include "core/SafeSaveFile.h"
#include "core/SizeSum.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr qint64 Chunk = 1 << 20;

QString notUtf8Text()
{
    return QStringLiteral("Its name is not UTF-8 text, so it cannot be copied here; copy it by hand.");
}

// A name on the disc that is not UTF-8 is catalogued as it reads in Windows-1252, so the path
// made from the catalogue leads nowhere, or to another entry that reads alike. Whether the
// entry's folder holds such a name reading as the path's last one.
bool hasNotUtf8Twin(const QString &path)
{
    const QFileInfo info(path);
    DIR *dir = ::opendir(QFile::encodeName(info.path()).constData());
    if (!dir)
        return false;
    const QByteArray name = info.fileName().toUtf8();
    bool found = false;
    while (const dirent *e = ::readdir(dir))
        if (const QByteArrayView raw(e->d_name); !TextCodec::isValidUtf8(raw) && TextCodec::fileNameToUtf8(raw) == name)
            found = true;
    ::closedir(dir);
    return found;
}

} // namespace

bool FileCopier::isInside(const QString &path, const QString &folder)
{
    const QString p = QFileInfo(path).canonicalFilePath();
    const QString f = QFileInfo(folder).canonicalFilePath();
    return !p.isEmpty() && !f.isEmpty() && (p == f || p.startsWith(f + u'/'));
}

bool FileCopier::copy(const QStringList &sources, const QString &destination)
{
    const qsizetype failedBefore = m_failures.size();
    m_stopped = false;
    m_done = 0;
    const QFileInfo dest(destination);
    if (!dest.isDir()) {
        fail(destination, QStringLiteral("The destination folder does not exist."));
        return false;
    }
    QList<Step> steps;
    qint64 total = 0;
    for (const QString &s : sources) {
        const QFileInfo info(s);
        const QString target = QDir(destination).filePath(info.fileName());
        if (hasNotUtf8Twin(s))
            fail(s, info.exists() ? QStringLiteral("Another name on the disc, which is not UTF-8 text, reads as this "
                                                   "one; which of the two is meant is not known, so it is not copied "
                                                   "here; copy it by hand.")
                                  : notUtf8Text());
        else if (!info.exists())
            fail(s, QStringLiteral("It does not exist (any more) where the disc was looked for."));
        else if (info.isDir() && !info.isSymLink() && isInside(destination, s))
            fail(s, QStringLiteral("A folder cannot be copied into itself."));
        else
            plan(s, target, steps, total, 0);
    }
    if (m_progress && !m_progress(0, total, QString())) {
        m_stopped = true;
        return false;
    }
    // A folder that could not be made is named once; what was to go into it is passed over.
    QString failedFolder;
    for (const Step &step : std::as_const(steps)) {
        if (m_stopped)
            break;
        if (!failedFolder.isEmpty() && step.target.startsWith(failedFolder)) {
            m_done += step.size;
            continue;
        }
        switch (step.kind) {
        case Step::Folder: {
            // A link in the folder's place is not followed: whoever may write the destination
            // would otherwise send the disc's files anywhere.
            struct stat st;
            const QByteArray target = QFile::encodeName(step.target);
            if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
                fail(step.target, QStringLiteral("A link is in the way of the folder; it is not followed."));
                failedFolder = step.target + u'/';
                break;
            }
            // Its parent is there: the destination, or a folder made by an earlier step.
            if (!QFileInfo(step.target).isDir() && ::mkdir(target.constData(), 0777) != 0) {
                const int error = errno;
                fail(step.target, error == EEXIST
                                      ? QStringLiteral("A file of that name is in the way of the folder.")
                                      : QStringLiteral("The folder could not be created: ") + qt_error_string(error));
                failedFolder = step.target + u'/';
            }
            break;
        }
        case Step::File:
            copyFile(step, total);
            break;
        }
    }
    return !m_stopped && m_failures.size() == failedBefore;
}

void FileCopier::plan(const QString &source, const QString &target, QList<Step> &steps, qint64 &total, dev_t volume)
{
    struct stat st;
    int error = 0;
    switch (entryKind(AT_FDCWD, QFile::encodeName(source).constData(), st, error)) {
    case EntryKind::File:
        // A link leading off the disc would give a file of this computer as the disc's: a crafted
        // disc could copy the user's own files into a folder others read.
        if (struct stat own; ::lstat(QFile::encodeName(source).constData(), &own) == 0 && S_ISLNK(own.st_mode) &&
                             own.st_dev != st.st_dev) {
            fail(source, QStringLiteral("It is a link to a file off the disc, which is not copied."));
            return;
        }
        steps.append(Step{source, target, Step::File, qint64(st.st_size)});
        addCapped(total, qint64(st.st_size));
        return;
    case EntryKind::None:
        if (error != 0)
            fail(source, qt_error_string(error));
        else if (volume == 0)
            fail(source, QStringLiteral("It is neither a file nor a folder (a link to a folder, a device or a pipe)."));
        return;
    case EntryKind::Folder:
        break;
    }
    steps.append(Step{source, target, Step::Folder, 0});
    // Another file system mounted inside the medium is none of it: its folder, empty, as a scan lists it.
    if (volume != 0 && st.st_dev != volume)
        return;
    // The names as the file system holds them: a name that is not UTF-8 cannot be carried by a
    // path in text, and would otherwise be passed over without a word.
    DIR *dir = ::opendir(QFile::encodeName(source).constData());
    if (!dir) {
        fail(source, QStringLiteral("The folder cannot be read: ") + qt_error_string(errno));
        return;
    }
    QStringList names;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArrayView raw(e->d_name);
        if (raw == "." || raw == "..")
            continue;
        if (TextCodec::isValidUtf8(raw))
            names.append(QString::fromUtf8(raw));
        else
            fail(QDir(source).filePath(QString::fromUtf8(TextCodec::fileNameToUtf8(raw))), notUtf8Text());
    }
    ::closedir(dir);
    names.sort();
    for (const QString &n : std::as_const(names))
        plan(QDir(source).filePath(n), QDir(target).filePath(n), steps, total, volume != 0 ? volume : st.st_dev);
}

bool FileCopier::copyFile(const Step &step, qint64 total)
{
    if (m_progress && !m_progress(m_done, total, step.source)) {
        m_stopped = true;
        return false;
    }
    // Opened without waiting, so that a pipe put in the file's place since the plan cannot hold
    // the copy up; only a file is read.
    const int fd = ::open(QFile::encodeName(step.source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int openError = fd < 0 ? errno : 0;
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        fail(step.source, openError != 0
                              ? qt_error_string(openError)
                              : QStringLiteral("It is no longer a file (a device or a pipe is in its place)."));
        m_done += step.size;
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // A link in the file's place is replaced, not written through: its target may be any file
    // of the user's.
    if (struct stat own; ::lstat(QFile::encodeName(step.target).constData(), &own) == 0 && S_ISLNK(own.st_mode) &&
                         ::unlink(QFile::encodeName(step.target).constData()) != 0) {
        fail(step.target, qt_error_string(errno));
        ::close(fd);
        m_done += step.size;
        return false;
    }
    QFile in;
    in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    SafeSaveFile out(step.target);
    if (!out.open()) {
        fail(step.target, out.errorString());
        m_done += step.size;
        return false;
    }
    qint64 fileDone = 0;
    QByteArray buffer(Chunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), Chunk);
        if (n < 0) {
            fail(step.source, in.errorString());
            out.discard();
            m_done += step.size - fileDone;
            return false;
        }
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n) {
            fail(step.target, out.errorString());
            out.discard();
            m_done += step.size - fileDone;
            return false;
        }
        fileDone += n;
        m_done += n;
        if (m_progress && !m_progress(m_done, total, step.source)) {
            m_stopped = true;
            out.discard();
            return false;
        }
    }
    // The copy keeps the date the catalogue shows for it.
    out.setModificationTime(QFileInfo(step.source).lastModified());
    if (!out.commit()) {
        fail(step.target, out.errorString());
        return false;
    }
    return true;
}
