#include "ContentsList.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QIODevice>
#include <cstring>

static constexpr quint32 kFixedLines = 4;

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
        if (i - first >= kFixedLines && list.m_lineLen[i] == 1 && p[list.m_lineStart[i]] == '-') {
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
    for (int r = 0; r < list.recordCount(); ++r) {
        if (list.m_records[static_cast<size_t>(r)].lines < 2)
            continue;
        const QByteArrayView folder = list.lineBytes(r, 1);
        if (!bucket || folder != prevFolder) {
            bucket = &list.m_byFolder[folderKey(QString::fromUtf8(folder))];
            prevFolder = folder;
        }
        bucket->push_back(r);
    }
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

const std::vector<int> &ContentsList::recordsIn(const QString &folderPath) const
{
    static const std::vector<int> none;
    auto it = m_byFolder.constFind(folderKey(folderPath));
    return it == m_byFolder.constEnd() ? none : it.value();
}

void ContentsListWriter::put(const QByteArray &bytes)
{
    if (m_out->write(bytes) != bytes.size())
        throw QuilloryError(QStringLiteral("Cannot write the list: %1").arg(m_out->errorString()));
}

void ContentsListWriter::writeRecord(const QStringList &lines)
{
    QByteArray chunk;
    for (const QString &l : lines) {
        chunk += TextCodec::sanitizeLine(l).toUtf8();
        chunk += "\r\n";
    }
    chunk += "-\r\n";
    put(chunk);
}

void ContentsListWriter::writeFileRecord(const QString &name, const QString &folder, quint64 size, const QString &date,
                                         const QStringList &extras)
{
    QStringList l{name, folder, QString::number(size), date};
    l += extras;
    writeRecord(l);
}

void ContentsListWriter::writeFolderRecord(const QString &name, const QString &parent, quint64 size,
                                           const QString &date)
{
    writeRecord({name, parent, QString::number(size), date});
}
