#include "DiscVerifier.h"

#include "DiscFinder.h"
#include "ImageScanner.h"
#include "Scanner.h"
#include "core/AsciiCase.h"
#include "core/QuilloryError.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsListWriter.h"
#include "store/ContentsRecord.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace
{

using Kind = VerifyDifference::Kind;

// One side of the comparison: every entry of a disc's lists by its path, folded as the
// catalogue compares names.
class Side
{
public:
    struct Entry {
        const ContentsList *list = nullptr;
        int record = 0;
        bool folder = false;
        QByteArray path; // as spelled
        QByteArray parent; // the folder line, or the archive's path for an archive entry
        bool inArchive = false;
    };

    explicit Side(const ContentsFile::Parsed &p) : m_parsed(p)
    {
        // Archives first: whether a record is an entry of one depends on them.
        const ContentsList &files = p.files;
        for (int r = 0; r < files.recordCount(); ++r)
            if (files.isArchive(r))
                m_archives.insert(FoldedAZ(pathOf(files, r) + ContentsRecord::PathSeparator));
        const ContentsList &folders = p.folders;
        for (int r = 0; r < folders.recordCount(); ++r)
            add({&folders, r, true, pathOf(folders, r), folders.lineBytes(r, ContentsRecord::FolderLine).toByteArray()});
        for (int r = 0; r < files.recordCount(); ++r) {
            const QByteArray parent = files.lineBytes(r, ContentsRecord::FolderLine).toByteArray();
            const bool entry = m_archives.contains(FoldedAZ(parent));
            add({&files, r, false, pathOf(files, r), parent, entry});
        }
    }

    const std::vector<Entry> &entries() const { return m_entries; }
    const ContentsFile::Parsed &parsed() const { return m_parsed; }
    bool listsEntriesOf(const QByteArray &foldedArchive) const { return m_archives.contains(foldedArchive); }
    bool hasFolder(const QByteArray &folded) const { return folded == ContentsRecord::RootFolder || m_folders.contains(folded); }

    // The entry of that path not yet taken, the one spelled exactly so first; -1 for none.
    int take(const QByteArray &path, bool folder, std::vector<bool> &taken) const
    {
        int fallback = -1;
        for (int i = m_first.value(FoldedAZ(path), -1); i >= 0; i = m_next[size_t(i)]) {
            const Entry &e = m_entries[size_t(i)];
            if (taken[size_t(i)] || e.folder != folder)
                continue;
            if (e.path == path) {
                fallback = i;
                break;
            }
            if (fallback < 0)
                fallback = i;
        }
        if (fallback >= 0)
            taken[size_t(fallback)] = true;
        return fallback;
    }

private:
    static QByteArray pathOf(const ContentsList &list, int r)
    {
        QByteArray path = list.lineBytes(r, ContentsRecord::FolderLine).toByteArray();
        return path.append(list.folderInArchive(r)).append(list.lineBytes(r, ContentsRecord::NameLine));
    }
    void add(Entry e)
    {
        const QByteArray key = FoldedAZ(e.path);
        if (e.folder)
            m_folders.insert(key);
        const int index = int(m_entries.size());
        m_next.push_back(-1);
        // Kept in list order within a key, so the first spelled alike is the first listed.
        if (auto it = m_first.find(key); it == m_first.end()) {
            m_first.insert(key, index);
        } else {
            int i = it.value();
            while (m_next[size_t(i)] >= 0)
                i = m_next[size_t(i)];
            m_next[size_t(i)] = index;
        }
        m_entries.push_back(std::move(e));
    }

    const ContentsFile::Parsed &m_parsed;
    std::vector<Entry> m_entries;
    QHash<QByteArray, int> m_first;
    std::vector<int> m_next;
    QSet<QByteArray> m_archives;
    QSet<QByteArray> m_folders;
};

QByteArrayView line(const Side::Entry &e, int i)
{
    return e.list->lineBytes(e.record, i);
}

// Size and date as one side lists them, for an entry only that side has.
QString sizeAndDate(const Side::Entry &e)
{
    if (e.folder)
        return u"folder, dated %1"_s.arg(QString::fromUtf8(line(e, ContentsRecord::DateLine)));
    return u"%1 bytes, dated %2"_s.arg(QString::fromUtf8(line(e, ContentsRecord::SizeLine)),
                                       QString::fromUtf8(line(e, ContentsRecord::DateLine)));
}

bool sameSize(QByteArrayView a, QByteArrayView b)
{
    qint64 x = 0, y = 0;
    return a == b || (ContentsRecord::parseSize(a, x) && ContentsRecord::parseSize(b, y) && x == y);
}

enum class DateMatch { Same, Other, Unreadable };

// The same text, or two texts of one moment (two-digit years widened since); Unreadable when
// the catalogued text is not a date of the locale in force (another locale catalogued it).
// shift gets how far the new date lies after the old, in seconds, for Other.
DateMatch compareDates(QByteArrayView was, QByteArrayView now, const CatalogueLocale &locale, qint64 &shift)
{
    if (was == now)
        return DateMatch::Same;
    const QDateTime x = locale.parseDateTime(QString::fromUtf8(was));
    if (!x.isValid())
        return DateMatch::Unreadable;
    const QDateTime y = locale.parseDateTime(QString::fromUtf8(now));
    if (x == y)
        return DateMatch::Same;
    shift = y.isValid() ? x.secsTo(y) : 0;
    return DateMatch::Other;
}

// "5 hours", "1 hour 30 minutes", "45 minutes".
QString spanText(qint64 seconds)
{
    const qint64 hours = seconds / 3600, minutes = seconds % 3600 / 60;
    QStringList parts;
    if (hours > 0)
        parts << u"%1 %2"_s.arg(hours).arg(hours == 1 ? u"hour"_s : u"hours"_s);
    if (minutes > 0)
        parts << u"%1 %2"_s.arg(minutes).arg(minutes == 1 ? u"minute"_s : u"minutes"_s);
    return parts.join(u' ');
}

// A problem's local path as a path inside the disc, named as the records name it.
QByteArray discPath(const QString &root, const QString &local)
{
    QByteArray rootBytes = QFile::encodeName(root);
    if (!rootBytes.endsWith('/'))
        rootBytes += '/';
    const QByteArray bytes = QFile::encodeName(local);
    if (!bytes.startsWith(rootBytes))
        return {};
    QByteArray path = ContentsRecord::RootFolder.toByteArray();
    for (const QByteArray &name : bytes.mid(rootBytes.size()).split('/'))
        if (!name.isEmpty())
            path = ContentsListWriter::folderLine(path, name);
    path.chop(1);
    return path;
}

// The parent folder of a folded path ("\A\B\" or "\A\b.txt" gives "\A\"); empty at the root.
QByteArray parentOf(const QByteArray &path)
{
    const qsizetype end = path.endsWith(ContentsRecord::PathSeparator) ? path.size() - 1 : path.size();
    if (end <= 0)
        return {};
    const qsizetype slash = path.lastIndexOf(ContentsRecord::PathSeparator, end - 1);
    return slash < 0 ? QByteArray() : path.left(slash + 1);
}

} // namespace

QString VerifyDifference::kindName(Kind kind)
{
    static const char *const names[] = {"missing", "new", "changed", "corrupt", "unreadable"};
    return QString::fromLatin1(names[kind]);
}

QString VerifyDifference::line() const
{
    return kindName(kind) + u'\t' + path + u'\t' + detail;
}

QString VerifyReport::summary() const
{
    QString text = u"%1 %2 matched; %3 missing, %4 new, %5 changed, %6 corrupt, %7 unreadable."_s.arg(matched)
                       .arg(matched == 1 ? u"file"_s : u"files"_s)
                       .arg(count(VerifyDifference::Missing))
                       .arg(count(VerifyDifference::New))
                       .arg(count(VerifyDifference::Changed))
                       .arg(count(VerifyDifference::Corrupt))
                       .arg(count(VerifyDifference::Unreadable));
    if (!contentsChecked)
        text += checksumProblem.isEmpty()
                    ? u"\nContents could not be checked: the disc was catalogued without checksums; names, sizes and "
                      u"dates were compared."_s
                    : u"\nContents could not be checked (%1); names, sizes and dates were compared."_s.arg(
                          checksumProblem);
    if (datesNotCompared > 0)
        text += u"\nThe dates of %1 %2 could not be compared: the disc was catalogued under another date format "
                u"than the one in use now."_s.arg(datesNotCompared)
                    .arg(datesNotCompared == 1 ? u"file"_s : u"files"_s);
    if (zoneShift != 0)
        text += u"\nEvery changed date is %1 %2 than catalogued: the disc may have been catalogued in another time "
                u"zone."_s.arg(spanText(std::abs(zoneShift)), zoneShift > 0 ? u"later"_s : u"earlier"_s);
    if (!otherVolume.isEmpty())
        text += u'\n' + otherVolume;
    return text;
}

QString VerifyReport::text() const
{
    QString out;
    for (const VerifyDifference &d : differences)
        out += d.line() + u'\n';
    return out + summary() + u'\n';
}

DiscVerifier::DiscVerifier(ScanOptions options) : m_options(std::move(options)) {}

bool DiscVerifier::isImage(const QString &root)
{
    return QFileInfo(root).isFile();
}

QString DiscVerifier::otherVolume(const QString &root, const QString &serial)
{
    if (!isImage(root)) {
        const QString found = volumeSerialAt(root);
        if (found.isEmpty() || serial.isEmpty() || found.compare(serial, Qt::CaseInsensitive) == 0)
            return QString();
        return u"The folder read is the root of another volume (serial %1), not the one catalogued (serial %2)."_s.arg(
            found, serial);
    }
    QString imageSerial;
    try {
        imageSerial = ImageScanner::volumeOf(root).serial;
    } catch (const QuilloryError &) {
        return QString(); // the scan says what is wrong with it
    }
    if (imageSerial.isEmpty() || serial.isEmpty() || imageSerial.compare(serial, Qt::CaseInsensitive) == 0)
        return QString();
    return QStringLiteral("The image holds another volume (serial %1), not the one catalogued (serial %2).")
        .arg(imageSerial, serial);
}

ContentsFile::Parsed DiscVerifier::scan(const QString &root, bool checksums, ScanProblems &problems) const
{
    ScanOptions options = m_options;
    options.checksums = checksums;
    ContentsFile::Lists lists;
    QBuffer files(&lists.fileList), folders(&lists.folderList), sums(&lists.checksumList);
    for (QBuffer *b : {&files, &folders, &sums})
        b->open(QIODevice::WriteOnly);
    Scanner scanner(options, &files, &folders);
    if (options.checksums)
        scanner.setChecksumList(&sums);
    scanner.setTotalSize(m_totalSize);
    scanner.setProcessEvents(m_processEvents);
    scanner.setGauge(m_gauge);
    if (isImage(root))
        ImageScanner(scanner).Scan(root);
    else
        scanner.Scan(root);
    for (QBuffer *b : {&files, &folders, &sums})
        b->close();
    problems = scanner.problems();

    ContentsFile::Parsed scanned;
    scanned.folders = ContentsList::fromBytes(lists.folderList);
    scanned.files = ContentsList::fromBytes(lists.fileList);
    if (options.checksums)
        scanned.checksums =
            ContentsChecksums::parse(lists.checksumList, scanned.files.recordCount(), &scanned.checksumProblem);
    return scanned;
}

VerifyReport DiscVerifier::verify(const QString &root, const ContentsFile::Parsed &catalogued, const QString &serial)
{
    ScanProblems problems;
    const ContentsFile::Parsed scanned = scan(root, !catalogued.checksums.isEmpty(), problems);
    VerifyReport report = compare(catalogued, scanned, problems, root, m_processEvents);
    report.otherVolume = otherVolume(root, serial);
    return report;
}

VerifyReport DiscVerifier::compare(const ContentsFile::Parsed &catalogued, const ContentsFile::Parsed &scanned,
                                   const ScanProblems &problems, const QString &root, const std::function<void()> &tick)
{
    // A million entries take seconds to compare: the window (and its Stop) is served meanwhile.
    size_t steps = 0;
    const auto step = [&tick, &steps] {
        if (tick && ++steps % 4096 == 0)
            tick();
    };
    VerifyReport report;
    report.contentsChecked = !catalogued.checksums.isEmpty();
    report.checksumProblem = catalogued.checksumProblem;
    const Side before(catalogued);
    if (tick)
        tick();
    const Side after(scanned);
    if (tick)
        tick();
    std::vector<bool> taken(before.entries().size(), false);

    // What the scan could not read, by the path the records give it.
    struct Problem {
        QByteArray path;
        QString reason;
    };
    QHash<QByteArray, Problem> unreadable;
    for (const ScanProblem &p : problems)
        if (const QByteArray path = discPath(root, p.path); !path.isEmpty())
            unreadable.insert(FoldedAZ(path), {path, p.reason});
    QSet<QByteArray> told;
    // An entry's key among the problems: its path, a folder's without the closing separator.
    const auto problemKey = [](const Side::Entry &e) {
        return FoldedAZ(e.path.endsWith(ContentsRecord::PathSeparator) ? e.path.chopped(1) : e.path);
    };

    // The folder the catalogue lists a path in: its own folder, or the nearest one above it
    // the catalogue has; an archive entry is listed with its archive.
    const auto place = [&before](VerifyDifference &d, const Side::Entry &e) {
        d.inArchive = e.inArchive;
        QByteArray folder = e.parent;
        if (!e.inArchive)
            while (!folder.isEmpty() && !before.hasFolder(FoldedAZ(folder)))
                folder = parentOf(folder);
        d.location = QString::fromUtf8(folder.isEmpty() ? ContentsRecord::RootFolder.toByteArray() : folder);
    };
    const auto differ = [&](Kind kind, const Side::Entry &e, const QString &detail) {
        VerifyDifference d;
        d.kind = kind;
        d.isFolder = e.folder;
        d.path = QString::fromUtf8(e.path);
        d.detail = detail;
        place(d, e);
        report.differences.push_back(std::move(d));
        ++report.counts[kind];
    };
    // An archive's entries count where both sides list them.
    const auto compared = [&](const Side::Entry &e) {
        return !e.inArchive || (before.listsEntriesOf(FoldedAZ(e.parent)) && after.listsEntriesOf(FoldedAZ(e.parent)));
    };

    const CatalogueLocale locale;
    // The dates' shift while every changed date moved alike; unset once two differ.
    std::optional<qint64> shiftOfAll;
    bool shiftsDiffer = false;
    int sameDates = 0; // compared and found unchanged
    const ContentsChecksums &oldSums = catalogued.checksums;
    const ContentsChecksums &newSums = scanned.checksums;
    for (const Side::Entry &now : after.entries()) {
        step();
        if (!compared(now))
            continue;
        const QByteArray key = problemKey(now);
        const auto problem = unreadable.constFind(key);
        const int i = before.take(now.path, now.folder, taken);
        if (problem != unreadable.cend()) {
            told.insert(key);
            // Read whole, but not as it was listed: a file in use, changed, not rotted.
            if (problem->reason == Scanner::changedWhileRead())
                differ(i >= 0 ? Kind::Changed : Kind::New, now, problem->reason);
            else
                differ(Kind::Unreadable, i >= 0 ? before.entries()[size_t(i)] : now, problem->reason);
            continue;
        }
        if (i < 0) {
            differ(Kind::New, now, sizeAndDate(now));
            continue;
        }
        const Side::Entry &was = before.entries()[size_t(i)];
        if (now.folder)
            continue;
        QStringList changes;
        const QByteArrayView oldSize = line(was, ContentsRecord::SizeLine), newSize = line(now, ContentsRecord::SizeLine);
        const QByteArrayView oldDate = line(was, ContentsRecord::DateLine), newDate = line(now, ContentsRecord::DateLine);
        if (!sameSize(oldSize, newSize))
            changes << u"size %1 \u2192 %2"_s.arg(QString::fromUtf8(oldSize), QString::fromUtf8(newSize));
        qint64 shift = 0;
        switch (compareDates(oldDate, newDate, locale, shift)) {
        case DateMatch::Same:
            ++sameDates;
            break;
        case DateMatch::Other:
            changes << u"date %1 \u2192 %2"_s.arg(QString::fromUtf8(oldDate), QString::fromUtf8(newDate));
            if (shiftOfAll && *shiftOfAll != shift)
                shiftsDiffer = true;
            shiftOfAll = shift;
            break;
        case DateMatch::Unreadable:
            ++report.datesNotCompared;
            break;
        }
        const bool bothSums = oldSums.has(was.record) && newSums.has(now.record);
        const bool otherBytes = bothSums && oldSums.hex(was.record) != newSums.hex(now.record);
        const QString sums = otherBytes ? u"checksum %1 \u2192 %2"_s.arg(QString::fromLatin1(oldSums.hex(was.record)),
                                                                        QString::fromLatin1(newSums.hex(now.record)))
                                        : QString();
        if (!changes.isEmpty()) {
            if (otherBytes && oldSize == newSize)
                changes << sums;
            differ(Kind::Changed, now, changes.join(u"; "_s));
        } else if (otherBytes) {
            differ(Kind::Corrupt, now, sums);
        } else {
            ++report.matched;
        }
    }

    // Every date moved by one whole number of quarter hours, no more than zones lie apart, and
    // none stayed: the likely cause is the clock's zone, which the local times of the lists do
    // not record.
    if (shiftOfAll && !shiftsDiffer && sameDates == 0 && *shiftOfAll != 0 && *shiftOfAll % 900 == 0 &&
        std::abs(*shiftOfAll) <= 14 * 3600)
        report.zoneShift = *shiftOfAll;

    // What the catalogue has and the medium lacks; below a folder that could not be read it is
    // not known to be gone.
    for (size_t i = 0; i < before.entries().size(); ++i) {
        step();
        const Side::Entry &was = before.entries()[i];
        if (taken[i] || !compared(was))
            continue;
        // An entry that could not even be looked at (a damaged inode) is unreadable, not gone.
        const QByteArray key = problemKey(was);
        if (const auto problem = unreadable.constFind(key); problem != unreadable.cend() && !told.contains(key)) {
            told.insert(key);
            differ(Kind::Unreadable, was, problem->reason);
            continue;
        }
        bool below = false;
        for (QByteArray folder = parentOf(FoldedAZ(was.path)); !folder.isEmpty() && !below; folder = parentOf(folder))
            below = unreadable.contains(folder.chopped(1));
        if (!below)
            differ(Kind::Missing, was, sizeAndDate(was));
    }
    // Problems with no entry on either side: something the scan passed over whole.
    for (auto it = unreadable.cbegin(); it != unreadable.cend(); ++it) {
        if (told.contains(it.key()))
            continue;
        Side::Entry none;
        none.path = it->path;
        none.parent = parentOf(it->path);
        differ(Kind::Unreadable, none, it->reason);
    }

    // By path, as the catalogue orders names; the order met within one path.
    std::vector<std::pair<QByteArray, size_t>> order;
    order.reserve(report.differences.size());
    for (size_t i = 0; i < report.differences.size(); ++i)
        order.emplace_back(FoldedAZ(report.differences[i].path.toUtf8()), i);
    std::sort(order.begin(), order.end());
    std::vector<VerifyDifference> sorted;
    sorted.reserve(order.size());
    for (const auto &o : order)
        sorted.push_back(std::move(report.differences[o.second]));
    report.differences = std::move(sorted);
    return report;
}
