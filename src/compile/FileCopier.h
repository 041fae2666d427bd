#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <sys/types.h>

// Copies files, and folders with everything in them, into a folder: what the disc prompts hand
// over once a disc is found. Existing files are replaced and folders made without asking; a file
// that cannot be read or written (a full disk too) is noted and the rest are still copied, so one
// bad sector does not cost the whole disc. Each file is written whole or not at all
// (SafeSaveFile): a file that did not fit leaves no part of itself, and the file it was to
// replace stays. What is copied is what a scan lists (EntryKind): a link to a file gives that
// file's bytes, and inside a folder, links to folders, devices, pipes and sockets are passed over.
class FileCopier
{
public:
    struct Failure {
        QString path; // the source, or the target when the target was the problem
        QString reason;
    };
    // Bytes copied so far of all, and the file being copied; returning false stops the copy.
    using Progress = std::function<bool(qint64 done, qint64 total, const QString &file)>;

    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // Whether path, an existing file or folder, is folder or lies in it (links followed).
    static bool isInside(const QString &path, const QString &folder);

    // Copies every source into destination, which must be an existing folder. False when
    // something failed or the copy was stopped; failures() tells what.
    bool copy(const QStringList &sources, const QString &destination);

    // Everything that failed since this copier was made.
    const QList<Failure> &failures() const { return m_failures; }
    bool stopped() const { return m_stopped; }

private:
    struct Step {
        QString source;
        QString target;
        enum Kind { Folder, File } kind;
        qint64 size = 0;
    };

    // volume: the device of the chosen folder source lies in; 0 for a source the caller named,
    // which is said when it is none of what a scan lists.
    void plan(const QString &source, const QString &target, QList<Step> &steps, qint64 &total, dev_t volume);
    bool copyFile(const Step &step, qint64 total);
    void fail(const QString &path, const QString &reason) { m_failures.append(Failure{path, reason}); }

    Progress m_progress;
    QList<Failure> m_failures;
    bool m_stopped = false;
    qint64 m_done = 0;
};
