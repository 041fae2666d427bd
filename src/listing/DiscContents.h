#pragma once

#include "store/ContentsChecksums.h"
#include "store/ContentsList.h"

#include <QDateTime>
#include <QString>
#include <memory>

// The two lists of the disc last unpacked, kept in memory until another disc is listed
// (the search and the reports may read them too).
class DiscContents
{
public:
    QString serial() const { return m_serial; }
    // Whether the lists of that disc are held and its contents file has not changed since
    // (a disc scanned again, or restored by an import, is unpacked afresh).
    bool holds(const QString &serial, const QString &contentsFile) const;
    // Unpacks the contents file in memory and parses both lists. A damaged file throws
    // (the cabinet layer's message) and leaves what was held before untouched.
    void load(const QString &dbFolder, const QString &serial);
    void clear();

    std::shared_ptr<const ContentsList> files() const { return m_files; }
    std::shared_ptr<const ContentsList> dirs() const { return m_dirs; }
    // Aligned with files(); empty for a disc scanned without them.
    std::shared_ptr<const ContentsChecksums> checksums() const { return m_checksums; }
    // Why the last load left out the disc's checksums ("<file>": they do not line up); empty when
    // they were taken or there were none.
    QString checksumProblem() const { return m_checksumProblem; }
    // How many times a contents file was unpacked; lets tests see that a second folder of
    // the same disc is listed from memory.
    int unpackCount() const { return m_unpacks; }

private:
    QString m_serial;
    std::shared_ptr<const ContentsList> m_files;
    std::shared_ptr<const ContentsList> m_dirs;
    std::shared_ptr<const ContentsChecksums> m_checksums;
    QString m_checksumProblem;
    int m_unpacks = 0;
    QString m_path;
    QDateTime m_stamp;
    qint64 m_size = -1;
};
