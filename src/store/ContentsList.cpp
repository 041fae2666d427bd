#include "ContentsList.h"

#include "ContentsRecord.h"
#include "core/TextCodec.h"

#include <QSet>
#include <cstring>

ContentsList ContentsList::fromBytes(const QByteArray &bytes)
{
    ContentsList list;
    list.m_data = TextCodec::toUtf8(bytes);
    const char *p = list.m_data.constData();
    const qsizetype n = list.m_data.size();

    // Split into lines, CR LF or LF. Records run about ten to twenty bytes a line.
    list.m_lineStart.reserve(static_cast<size_t>(n / 16 + 16));
    list.m_lineLen.reserve(static_cast<size_t>(n / 16 + 16));
    qsizetype start = 0;
    while (start < n) {
        const char *lf = static_cast<const char *>(memchr(p + start, '\n', static_cast<size_t>(n - start)));
        qsizetype end = lf ? lf - p : n;
        qsizetype next = lf ? end + 1 : n;
        if (end > start && p[end - 1] == '\r')
            --end;
        list.m_lineStart.push_back(start);
        list.m_lineLen.push_back(static_cast<quint32>(end - start));
        start = next;
    }
    list.m_lineStart.push_back(n);

    // A record is four fixed lines (name, folder, size, date), then extra lines up to one that
    // holds a single "-". The fixed lines are taken whatever they say, so a file named "-"
    // keeps its record. A last record without its "-" still counts.
    const quint32 total = static_cast<quint32>(list.m_lineLen.size());
    list.m_records.reserve(total / 5 + 1);
    quint32 first = 0;
    for (quint32 i = 0; i < total; ++i) {
        if (i - first >= quint32(ContentsRecord::FixedLines) &&
            QByteArrayView(p + list.m_lineStart[i], list.m_lineLen[i]) == ContentsRecord::EndLine) {
            list.m_records.push_back({first, i - first});
            first = i + 1;
        }
    }
    if (first < total)
        list.m_records.push_back({first, total - first});

    // Index by folder. The files of a folder come together, so the key is folded only
    // when line 2 changes.
    QByteArrayView prevFolder;
    std::vector<int> *bucket = nullptr;
    QSet<QString> mixed;
    for (int r = 0; r < list.recordCount(); ++r) {
        if (list.m_records[static_cast<size_t>(r)].lines <= ContentsRecord::FolderLine)
            continue;
        const QByteArrayView folder = list.lineBytes(r, ContentsRecord::FolderLine);
        if (!bucket || folder != prevFolder) {
            const QString key = folderKey(QString::fromUtf8(folder));
            bucket = &list.m_byFolder[key];
            if (!bucket->empty() && list.lineBytes(bucket->front(), ContentsRecord::FolderLine) != folder)
                mixed.insert(key);
            prevFolder = folder;
        }
        bucket->push_back(r);
    }
    for (const QString &key : std::as_const(mixed))
        for (int r : list.m_byFolder.value(key))
            list.m_bySpelling[list.lineBytes(r, ContentsRecord::FolderLine).toByteArray()].push_back(r);
    return list;
}

QByteArrayView ContentsList::lineBytes(int record, int i) const
{
    const Record &r = m_records[static_cast<size_t>(record)];
    if (i < 0 || static_cast<quint32>(i) >= r.lines)
        return {};
    const quint32 l = r.firstLine + static_cast<quint32>(i);
    return QByteArrayView(m_data.constData() + m_lineStart[l], m_lineLen[l]);
}

QStringList ContentsList::lines(int record) const
{
    QStringList out;
    for (int i = 0; i < lineCount(record); ++i)
        out.append(line(record, i));
    return out;
}

QString ContentsList::folderKey(QStringView path)
{
    return path.toString().toCaseFolded();
}

const std::vector<int> &ContentsList::recordsIn(const QString &folderPath, Qt::CaseSensitivity cs) const
{
    static const std::vector<int> none;
    auto it = m_byFolder.constFind(folderKey(folderPath));
    if (it == m_byFolder.constEnd())
        return none;
    if (cs == Qt::CaseInsensitive)
        return it.value();
    const QByteArray spelled = folderPath.toUtf8();
    auto exact = m_bySpelling.constFind(spelled);
    if (exact != m_bySpelling.constEnd())
        return exact.value();
    // A folder filed under one spelling only.
    return lineBytes(it->front(), ContentsRecord::FolderLine) == spelled ? it.value() : none;
}

QByteArrayView ContentsList::folderName(int record) const
{
    QByteArrayView name = lineBytes(record, ContentsRecord::NameLine);
    if (name.endsWith(ContentsRecord::FolderSuffix))
        name.chop(1);
    return name;
}

bool ContentsList::isArchive(int record) const
{
    for (int i = ContentsRecord::FixedLines, n = lineCount(record); i < n; ++i)
        if (lineBytes(record, i) == ContentsRecord::CompressedFolder)
            return true;
    return false;
}

QByteArrayView ContentsList::folderInArchive(int record) const
{
    for (int i = ContentsRecord::FixedLines, n = lineCount(record); i < n; ++i) {
        const QByteArrayView l = lineBytes(record, i);
        if (l.startsWith(ContentsRecord::ArchivePathLabel)) {
            // The label, then the "\" of the archive's top level.
            return l.sliced(std::min(ContentsRecord::ArchivePathLabel.size() + 1, l.size()));
        }
    }
    return {};
}

namespace
{
// Whether the disc has a folder record or an archive named by path, looked up in its parent.
bool namesFolder(const ContentsList &folders, const ContentsList &files, const QString &path, Qt::CaseSensitivity cs)
{
    const QChar sep = QLatin1Char(ContentsRecord::PathSeparator);
    if (path == QLatin1StringView(ContentsRecord::RootFolder.data(), ContentsRecord::RootFolder.size()))
        return true;
    if (!path.endsWith(sep))
        return false;
    const QString inner = path.chopped(1);
    const qsizetype cut = inner.lastIndexOf(sep);
    const QString parent = inner.left(cut + 1);
    const QString name = inner.mid(cut + 1);
    for (int r : folders.recordsIn(parent, cs))
        if (QString::fromUtf8(folders.folderName(r)).compare(name, cs) == 0)
            return true;
    for (int r : files.recordsIn(parent, cs))
        if (files.line(r, ContentsRecord::NameLine).compare(name, cs) == 0 && files.isArchive(r))
            return true;
    return false;
}
} // namespace

ContentsList::Folder ContentsList::findFolder(const ContentsList &folders, const ContentsList &files,
                                              const QString &path)
{
    for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        const std::vector<int> &subfolders = folders.recordsIn(path, cs);
        const std::vector<int> &inside = files.recordsIn(path, cs);
        if (!subfolders.empty() || !inside.empty() || namesFolder(folders, files, path, cs))
            return {true, &subfolders, &inside};
    }
    static const std::vector<int> none;
    return {false, &none, &none};
}
