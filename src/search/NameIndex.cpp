#include "NameIndex.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <vector>

NameIndex::NameIndex(const QString &dbFolder, qint64 maxBytes, const QString &root)
    : m_root(root.isEmpty() ? defaultRoot() : root), m_max(maxBytes)
{
    if (!m_root.endsWith(u'/'))
        m_root += u'/';
    // Catalogues are told apart by where their DB is.
    const QString db = QFileInfo(dbFolder).absoluteFilePath();
    const QByteArray id = QCryptographicHash::hash(db.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m_folder = m_root + QString::fromLatin1(id) + u'/';
}

QString NameIndex::defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Quillory!/names/");
}

QString NameIndex::fileFor(const QString &serial) const
{
    // Serials are bare names (ContentsFile::isUsableSerial); any other never reaches here.
    return m_folder + serial + QStringLiteral(".names");
}

std::shared_ptr<const DiscNames> NameIndex::find(const QString &serial, const DiscNames::Stamp &stamp)
{
    if (stamp.size < 0)
        return nullptr;
    auto held = m_held.constFind(serial);
    if (held != m_held.constEnd() && held.value()->stamp() == stamp)
        return held.value();
    std::shared_ptr<const DiscNames> names = DiscNames::map(fileFor(serial));
    if (!names || !(names->stamp() == stamp))
        return nullptr;
    m_held.insert(serial, names);
    return names;
}

void NameIndex::store(const QString &serial, const std::shared_ptr<const DiscNames> &names)
{
    m_held.insert(serial, names);
    if (names->byteSize() > m_max || !QDir().mkpath(m_folder))
        return;
    const QString file = fileFor(serial);
    if (!names->save(file))
        return;
    // The mapped copy frees the memory the new one was made in.
    if (std::shared_ptr<const DiscNames> mapped = DiscNames::map(file); mapped && mapped->stamp() == names->stamp())
        m_held.insert(serial, mapped);
}

void NameIndex::trim()
{
    struct Entry {
        QString path;
        qint64 size;
        QDateTime modified;
    };
    std::vector<Entry> files;
    qint64 total = 0;
    QDirIterator it(m_root, {QStringLiteral("*.names")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        files.push_back({info.filePath(), info.size(), info.lastModified()});
        total += info.size();
    }
    if (total <= m_max)
        return;
    std::sort(files.begin(), files.end(), [](const Entry &a, const Entry &b) { return a.modified < b.modified; });
    for (const Entry &e : files) {
        if (total <= m_max)
            break;
        if (QFile::remove(e.path))
            total -= e.size;
    }
}
