#include "TBurnThread.h"

#include "FileCopier.h"
#include "TCDBurner.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QStorageInfo>
#include <cerrno>
#include <cstdio>

namespace
{
// Less room than this where a failed image lies: the disk filled up under it.
constexpr qint64 FullBelow = 1 << 20;
} // namespace

TBurnThread::TBurnThread(TCDBurner *burner, const QString &xorriso, const QStringList &arguments,
                         const QStringList &staged, const QString &burnArea, const QString &imageFile)
    : m_burner(burner), m_xorriso(xorriso), m_arguments(arguments), m_staged(staged), m_burnArea(burnArea),
      m_imageFile(imageFile)
{
}

void TBurnThread::run()
{
    // Staged files join the staging folder under their own names; one already there stays.
    // A file that cannot join it (a full disk) ends the burn: the disc would lack it.
    QDir().mkpath(m_burnArea);
    QStringList joining;
    QSet<QString> names;
    for (const QString &f : std::as_const(m_staged)) {
        const QString name = QFileInfo(f).fileName();
        if (!names.contains(name) && !QFileInfo::exists(QDir(m_burnArea).filePath(name))) {
            names.insert(name);
            joining.append(f);
        }
    }
    FileCopier copier;
    if (!joining.isEmpty() && !copier.copy(joining, m_burnArea)) {
        QStringList lines;
        for (const FileCopier::Failure &f : copier.failures())
            lines.append(f.path + QStringLiteral(": ") + f.reason);
        Q_EMIT ended(false, QStringLiteral("These files could not be copied:\n") + lines.join(u'\n'));
        return;
    }

    // The image is written beside its place (see StartBurn). A file there would be taken for a
    // disc to append to: a killed burn's leftover.
    const QString partial = m_imageFile.isEmpty() ? QString() : SafeSaveFile::partialName(m_imageFile);
    if (!partial.isEmpty() && QFileInfo::exists(partial) && !QFile::remove(partial)) {
        Q_EMIT ended(false, QStringLiteral("The image file %1 cannot be replaced.").arg(partial));
        return;
    }
    const auto dropPartial = qScopeGuard([&partial] {
        if (!partial.isEmpty())
            QFile::remove(partial);
    });

    if (m_burner->cancelFlag()) { // while the files were staged
        Q_EMIT ended(false, QStringLiteral("The burn was cancelled."));
        return;
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(m_xorriso, m_arguments);
    if (!p.waitForStarted(30000)) {
        Q_EMIT ended(false, p.errorString());
        return;
    }
    QStringList lines;
    const auto readLines = [&] {
        while (p.canReadLine()) {
            const QString line = QString::fromLocal8Bit(p.readLine()).trimmed();
            if (line.isEmpty() || line == QLatin1String("I:1:"))
                continue;
            lines.append(line);
            Q_EMIT output(line);
            if (const std::optional<double> percent = TCDBurner::parseProgress(line))
                Q_EMIT progress(*percent);
        }
    };
    bool cancelled = false;
    while (p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(100);
        readLines();
        if (m_burner->cancelFlag() && !cancelled) {
            cancelled = true;
            p.terminate();
            if (!p.waitForFinished(5000))
                p.kill();
        }
    }
    readLines();
    if (const QString last = QString::fromLocal8Bit(p.readAll()).trimmed(); !last.isEmpty()) {
        lines.append(last);
        Q_EMIT output(last);
    }
    if (cancelled) {
        Q_EMIT ended(false, QStringLiteral("The burn was cancelled."));
        return;
    }
    const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok && !partial.isEmpty()) {
        try {
            SafeSaveFile::replaceWithPartial(m_imageFile);
        } catch (const QuilloryError &e) {
            Q_EMIT ended(false, e.message());
            return;
        }
    }
    const QStorageInfo where(QFileInfo(partial).absolutePath());
    if (!ok && !partial.isEmpty() && where.isValid() && where.bytesAvailable() >= 0 &&
        where.bytesAvailable() < FullBelow) {
        // xorriso says only that writing failed.
        Q_EMIT ended(
            false,
            QStringLiteral("The image file %1 could not be written: the disk that holds it is full.").arg(m_imageFile));
        return;
    }
    Q_EMIT ended(ok, ok ? TCDBurner::jolietNote(lines)
                        : TCDBurner::failureText(lines, p.exitStatus() == QProcess::CrashExit ? -1 : p.exitCode()));
}
