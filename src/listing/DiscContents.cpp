#include "DiscContents.h"

#include "store/ContentsFile.h"

#include <QFileInfo>

void DiscContents::load(const QString &dbFolder, const QString &serial)
{
    ContentsFile::Parsed parsed = ContentsFile::load(dbFolder, serial);
    auto files = std::make_shared<ContentsList>(std::move(parsed.files));
    auto dirs = std::make_shared<ContentsList>(std::move(parsed.folders));
    auto checksums = std::make_shared<ContentsChecksums>(std::move(parsed.checksums));
    const QString contentsFile = ContentsFile::contentsFileName(dbFolder, serial);
    const QFileInfo info(contentsFile);
    m_stamp = info.lastModified();
    m_size = info.size();
    m_path = info.absoluteFilePath();
    m_files = std::move(files);
    m_dirs = std::move(dirs);
    m_checksums = std::move(checksums);
    m_checksumProblem = parsed.checksumProblem;
    m_serial = serial;
    ++m_unpacks;
}

void DiscContents::clear()
{
    m_serial.clear();
    m_path.clear();
    m_files.reset();
    m_dirs.reset();
}

bool DiscContents::holds(const QString &serial, const QString &contentsFile) const
{
    if (m_serial.isEmpty() || m_serial != serial)
        return false;
    const QFileInfo info(contentsFile);
    return info.absoluteFilePath() == m_path && info.lastModified() == m_stamp && info.size() == m_size;
}
