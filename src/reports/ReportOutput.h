#pragma once

#include <QSaveFile>
#include <QString>

// The file a report is saved to. It replaces the file of that name only once the report is
// complete, so a report that fails halfway leaves whatever was there before.
class ReportOutput
{
public:
    explicit ReportOutput(const QString &path);

    // False when the file cannot be created: an empty or invalid name, a missing folder, a
    // name that is a folder, no permission.
    bool open();
    QIODevice *device() { return &m_file; }
    // Puts the finished report in place; throws QuilloryError when that fails.
    void commit();
    // Drops what was written; the file of that name stays as it was.
    void discard();

private:
    QString m_path;
    QSaveFile m_file;
};
