#include "SearchHits.h"

#include "FormatSize.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"

int SearchHits::addDisc(const QString &title, const QString &serial)
{
    m_discs.push_back({title, serial});
    return static_cast<int>(m_discs.size()) - 1;
}

SearchHits::Span SearchHits::put(QByteArrayView bytes)
{
    Span s{m_text.size(), static_cast<qint32>(bytes.size())};
    m_text.append(bytes);
    return s;
}

void SearchHits::add(int disc, ContentsEntry::Kind kind, QByteArrayView name, QByteArrayView folder,
                     QByteArrayView inArchive, qint64 size, QByteArrayView date,
                     const std::vector<QByteArrayView> &details)
{
    Hit h;
    h.disc = static_cast<quint32>(disc);
    h.kind = kind;
    h.archiveEnd = inArchive.isNull() ? -1 : static_cast<qint32>(folder.size());
    QByteArray joined;
    if (!inArchive.isNull())
        joined = folder.toByteArray().append(inArchive);
    const QByteArrayView path = inArchive.isNull() ? folder : QByteArrayView(joined);
    h.size = size;
    h.name = put(name);
    if (m_lastPathDisc == disc && view(m_lastPath) == path) {
        h.path = m_lastPath;
    } else {
        h.path = m_lastPath = put(path);
        m_lastPathDisc = disc;
    }
    h.date = put(date);
    h.details.offset = m_text.size();
    for (size_t i = 0; i < details.size(); ++i) {
        if (i)
            m_text.append('\n');
        m_text.append(details[i]);
    }
    h.details.length = static_cast<qint32>(m_text.size() - h.details.offset);
    m_hits.push_back(h);
}

void SearchHits::addFile(int disc, const ContentsList &files, int record, qint64 size)
{
    // The record's lines are read through once, in order; only a record that has a line of an
    // archive's (rare) is read again for it.
    const QByteArrayView name = files.lineBytes(record, ContentsRecord::NameLine);
    const QByteArrayView folder = files.lineBytes(record, ContentsRecord::FolderLine);
    const QByteArrayView date = files.lineBytes(record, ContentsRecord::DateLine);
    thread_local std::vector<QByteArrayView> details;
    details.clear();
    bool archiveLines = false;
    for (int i = ContentsRecord::FixedLines;; ++i) {
        const QByteArrayView l = files.lineBytes(record, i);
        if (l.isNull())
            break;
        if (ContentsRecord::isDetailLine(l))
            details.push_back(l);
        else
            archiveLines = true;
    }
    add(disc, archiveLines && files.isArchive(record) ? ContentsEntry::Archive : ContentsEntry::File, name, folder,
        archiveLines ? files.folderInArchive(record) : QByteArrayView(), size, date, details);
}

void SearchHits::reserve(int hits)
{
    m_hits.reserve(static_cast<size_t>(hits));
}

EntryPlace SearchHits::place(int i) const
{
    const Hit &h = hit(i);
    const Disc &d = m_discs[h.disc];
    const QByteArrayView path = view(h.path);
    return EntryPlace(d.title, d.serial, QString::fromUtf8(path),
                      h.archiveEnd < 0 ? QString() : QString::fromUtf8(path.first(h.archiveEnd)));
}

QStringList SearchHits::details(int i) const
{
    const Hit &h = hit(i);
    if (h.details.length == 0)
        return {};
    return QString::fromUtf8(view(h.details)).split(u'\n');
}

ContentsEntry SearchHits::entry(int i, const QString &type, int image) const
{
    const Hit &h = hit(i);
    ContentsEntry e;
    e.kind = static_cast<ContentsEntry::Kind>(h.kind);
    e.caption = QString::fromUtf8(view(h.name));
    e.image = image;
    e.place = place(i);
    e.size = h.size;
    const QString path = e.place.text();
    const QString size = FormatSize(h.size);
    const QString date = QString::fromUtf8(view(h.date));
    const QStringList more = details(i);
    e.columns = QStringList{type, path, size, date} + more;
    // A result's info lines give the size before its plain number, unlike a listed folder's.
    e.info = QStringList{QStringLiteral("Type: ") + type, QStringLiteral("Path: ") + path,
                         QStringLiteral("Size: ") + size, QStringLiteral("IntSize: %1").arg(h.size),
                         QStringLiteral("Date: ") + date, QStringLiteral("SN: ") + m_discs[h.disc].serial} +
             more;
    // An archive's first info line is its mark alone.
    if (h.kind == ContentsEntry::Archive)
        e.info[0] = type;
    return e;
}

void SearchHits::truncate(int count)
{
    if (count >= this->count())
        return;
    m_hits.resize(static_cast<size_t>(count));
    m_lastPathDisc = -1;
}

void SearchHits::reorder(const std::vector<int> &order)
{
    std::vector<Hit> hits;
    hits.reserve(order.size());
    for (int i : order)
        hits.push_back(m_hits[static_cast<size_t>(i)]);
    m_hits.swap(hits);
    m_lastPathDisc = -1;
}
