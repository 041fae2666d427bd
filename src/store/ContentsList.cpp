#include "ContentsList.h"

#include "ContentsRecord.h"
#include "core/TextCodec.h"

#include <QSet>
#include <algorithm>
#include <cstring>

namespace
{
// Offsets are kept in four bytes; a longer text is parsed up to this point only (lists are
// bounded far below it).
constexpr qsizetype kMaxOffset = qsizetype(0xFFFFFFFEu);

// Line i of the text between begin and end, without its CR LF or LF; null past the last line.
// next is where the line after it starts.
QByteArrayView nthLine(const char *p, qsizetype begin, qsizetype end, int i, qsizetype &next)
{
    for (int k = 0; begin < end; ++k) {
        const char *lf = static_cast<const char *>(memchr(p + begin, '\n', static_cast<size_t>(end - begin)));
        const qsizetype lineEnd = lf ? lf - p : end;
        next = lf ? lineEnd + 1 : end;
        if (k == i)
            return RecordScanner::lineText(p, begin, lineEnd);
        begin = next;
    }
    return {};
}
} // namespace

ContentsList::Builder::Builder(const char *data, qsizetype expectedSize) : m_data(data), m_scanner(data)
{
    // Records run fifty bytes or more.
    m_list.m_starts.reserve(static_cast<size_t>(expectedSize / 40 + 2));
}

inline void ContentsList::Builder::add(const RecordScanner::Record &r)
{
    m_list.m_starts.push_back(static_cast<quint32>(r.start));
    if (!r.closed)
        m_list.m_lastOpen = true;
    if (r.lines > ContentsRecord::FolderLine) {
        // The files of a folder come together, so the key is folded only when line 2 changes.
        const int index = static_cast<int>(m_list.m_starts.size() - 1);
        if (!m_bucket || r.folder != m_prevFolder) {
            const QString key = folderKey(QString::fromUtf8(r.folder));
            m_bucket = &m_list.m_byFolder[key];
            if (!m_bucket->empty()) {
                const size_t front = static_cast<size_t>(m_bucket->front());
                qsizetype unused = 0;
                if (nthLine(m_data, m_list.m_starts[front], m_list.m_starts[front + 1], ContentsRecord::FolderLine,
                            unused) != r.folder)
                    m_mixed.insert(key);
            }
            m_prevFolder = r.folder;
        }
        m_bucket->push_back(index);
    }
}

void ContentsList::Builder::advance(qsizetype available)
{
    // Whole blocks only; the rest waits for the next bytes or for finish().
    m_scanner.advance(std::min(available, kMaxOffset), [this](const RecordScanner::Record &r) { add(r); });
}

ContentsList ContentsList::Builder::finish(const QByteArray &bytes)
{
    Q_ASSERT(bytes.constData() == m_data || bytes.isEmpty());
    const qsizetype n = std::min(bytes.size(), kMaxOffset);
    m_scanner.finish(n, [this](const RecordScanner::Record &r) { add(r); });
    m_list.m_starts.push_back(static_cast<quint32>(m_scanner.recordStart()));

    // A list made on Windows: its bytes are Windows-1252, read again as UTF-8 text.
    if (!m_scanner.ascii() && !TextCodec::isValidUtf8(QByteArrayView(bytes.constData(), n)))
        return fromBytes(TextCodec::toUtf8(bytes.left(n)));

    m_list.m_data = bytes;
    for (const QString &key : std::as_const(m_mixed))
        for (int r : m_list.m_byFolder.value(key))
            m_list.m_bySpelling[m_list.lineBytes(r, ContentsRecord::FolderLine).toByteArray()].push_back(r);
    // The table was sized for records of forty bytes; shorter ones may have grown it twice over.
    if (m_list.m_starts.capacity() > m_list.m_starts.size() + m_list.m_starts.size() / 4)
        m_list.m_starts.shrink_to_fit();
    m_prevFolder = {};
    m_bucket = nullptr;
    return std::move(m_list);
}

ContentsList ContentsList::fromBytes(const QByteArray &bytes)
{
    Builder builder(bytes.constData(), bytes.size());
    builder.advance(bytes.size());
    return builder.finish(bytes);
}

int ContentsList::lineCount(int record) const
{
    if (record < 0 || record >= recordCount())
        return 0;
    const char *p = m_data.constData();
    const qsizetype begin = m_starts[static_cast<size_t>(record)];
    const qsizetype end = m_starts[static_cast<size_t>(record) + 1];
    int lines = static_cast<int>(std::count(p + begin, p + end, '\n'));
    if (p[end - 1] != '\n')
        ++lines; // the text's last line, without a line feed
    const bool closed = record + 1 < recordCount() || !m_lastOpen;
    return closed ? lines - 1 : lines;
}

QByteArrayView ContentsList::lineBytes(int record, int i) const
{
    if (record < 0 || record >= recordCount() || i < 0)
        return {};
    const qsizetype end = m_starts[static_cast<size_t>(record) + 1];
    qsizetype next = 0;
    const QByteArrayView l = nthLine(m_data.constData(), m_starts[static_cast<size_t>(record)], end, i, next);
    // The record's last line is its closing "-", unless the text ended first.
    if (!l.isNull() && next == end && (record + 1 < recordCount() || !m_lastOpen))
        return {};
    return l;
}

QStringList ContentsList::lines(int record) const
{
    QStringList out;
    for (int i = 0, n = lineCount(record); i < n; ++i)
        out.append(line(record, i));
    return out;
}

qsizetype ContentsList::heldBytes() const
{
    // Hash nodes and vector headers, roughly: what one folder of the index costs besides its records.
    constexpr qsizetype perFolder = 64;
    qsizetype bytes = m_data.capacity() + qsizetype(m_starts.capacity() * sizeof(quint32));
    for (auto it = m_byFolder.cbegin(); it != m_byFolder.cend(); ++it)
        bytes +=
            perFolder + it.key().capacity() * qsizetype(sizeof(QChar)) + qsizetype(it.value().capacity() * sizeof(int));
    for (auto it = m_bySpelling.cbegin(); it != m_bySpelling.cend(); ++it)
        bytes += perFolder + it.key().capacity() + qsizetype(it.value().capacity() * sizeof(int));
    return bytes;
}

template <typename F> QByteArrayView ContentsList::findExtraLine(int record, F f) const
{
    for (int i = ContentsRecord::FixedLines;; ++i) {
        const QByteArrayView l = lineBytes(record, i);
        if (l.isNull())
            return {};
        if (f(l))
            return l;
    }
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
    return !findExtraLine(record, [](QByteArrayView l) { return l == ContentsRecord::CompressedFolder; }).isNull();
}

QByteArrayView ContentsList::folderInArchive(int record) const
{
    const QByteArrayView l =
        findExtraLine(record, [](QByteArrayView l) { return l.startsWith(ContentsRecord::ArchivePathLabel); });
    if (l.isNull())
        return {};
    // The label, then the "\" of the archive's top level.
    return l.sliced(std::min(ContentsRecord::ArchivePathLabel.size() + 1, l.size()));
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
