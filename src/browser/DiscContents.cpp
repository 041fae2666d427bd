#include "DiscContents.h"

#include "store/QuilloryError.h"

#include "backup/TSTCabReader.h"

#include <QFileInfo>

void DiscContents::load(const QString &contentsFile, const QString &serial)
{
    const QString fileName = serial + QLatin1String(".file");
    const QString dirName = serial + QLatin1String(".dir");
    TSTCabReader reader;
    const std::vector<TSTCabBlob> blobs = reader.ExtractToMemory(contentsFile, [&](const QString &member) {
        return member.compare(fileName, Qt::CaseInsensitive) == 0 || member.compare(dirName, Qt::CaseInsensitive) == 0;
    });
    QByteArray fileBytes;
    QByteArray dirBytes;
    for (const TSTCabBlob &b : blobs) {
        if (b.Member.Name.compare(fileName, Qt::CaseInsensitive) == 0)
            fileBytes = b.Data;
        else
            dirBytes = b.Data;
    }
    auto files = std::make_shared<ContentsList>(ContentsList::fromBytes(fileBytes));
    auto dirs = std::make_shared<ContentsList>(ContentsList::fromBytes(dirBytes));
    const QFileInfo info(contentsFile);
    m_stamp = info.lastModified();
    m_size = info.size();
    m_path = info.absoluteFilePath();
    m_files = std::move(files);
    m_dirs = std::move(dirs);
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
