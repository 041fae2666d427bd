#pragma once

#include "core/SafeSaveFile.h"

#include <QString>

// The file a report is saved to. It replaces the file of that name only once the report is
// complete and on disk, so a report that fails halfway, or finds the disk full, leaves
// whatever was there before.
class ReportOutput
{
public:
    // dbFolder: the catalogue's database folder, which a report must never write into.
    ReportOutput(const QString &path, const QString &dbFolder);

    // False when the file cannot be created: an empty or invalid name, a missing folder, a
    // name that is a folder, no permission. Throws QuilloryError for a name inside the
    // database folder, where the report could replace the catalogue's own files.
    bool open();
    // Why open() failed: "Invalid file name!", with the file and the system's reason when there
    // was a name.
    QString openFailure() const;
    QIODevice *device() { return &m_file; }
    // Puts the finished report in place; throws QuilloryError with the system's reason when
    // that fails.
    void commit();
    // Drops what was written; the file of that name stays as it was.
    void discard();

private:
    QString m_path;
    QString m_db;
    SafeSaveFile m_file;
};
