#include "ContentsList.h"

#include "ContentsRecord.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

namespace
{
// The memory a list's tables may take besides its text, as a share of the text read so far:
// record starts an eighth, the folder index a sixth. Below the minimums a table is kept
// whatever it costs, so a small list is never read the slow way.
constexpr qsizetype kStartsShare = 8;
constexpr qsizetype kRunsShare = 6;
constexpr size_t kMinStarts = 4096;
constexpr size_t kMinRuns = 4096;

// The next list's id (ContentsList::m_id).
std::atomic<quint64> s_listIds{0};

QuilloryError tooLarge(qint64 bytes)
{
    return QuilloryError(ContentsList::tooLargeMessage(bytes));
}

QuilloryError lineTooLong()
{
    return QuilloryError(QStringLiteral("The disc's list holds a line of more than %1 KB, longer than any name or "
                                        "detail of a disc; it is not read.")
                             .arg(ContentsList::MaxLineBytes >> 10));
}

// Windows-1252 text made UTF-8 in its own buffer, from the end backwards, so the list is never
// held twice (nor as UTF-16): a byte's UTF-8 form is never shorter than the byte, so what is
// written never overtakes what is still to be read. A large buffer grows where it lies.
void windows1252ToUtf8InPlace(QByteArray &bytes)
{
    static const std::array<quint8, 256> widths = [] {
        std::array<quint8, 256> w{};
        for (int c = 0; c < 256; ++c) {
            const char b = static_cast<char>(c);
            w[static_cast<size_t>(c)] =
                static_cast<quint8>(TextCodec::fromWindows1252(QByteArrayView(&b, 1)).toUtf8().size());
        }
        return w;
    }();
    const qsizetype n = bytes.size();
    qsizetype grown = 0;
    for (const char c : std::as_const(bytes))
        grown += widths[static_cast<uchar>(c)];
    if (grown > ContentsList::MaxBytes)
        throw tooLarge(grown);
    bytes.resize(grown);
    char *p = bytes.data();
    qsizetype to = grown;
    constexpr qsizetype kPiece = 64 * 1024;
    for (qsizetype end = n; end > 0;) {
        const qsizetype begin = std::max<qsizetype>(0, end - kPiece);
        const QByteArray piece = TextCodec::fromWindows1252(QByteArrayView(p + begin, end - begin)).toUtf8();
        to -= piece.size();
        std::memcpy(p + to, piece.constData(), static_cast<size_t>(piece.size()));
        end = begin;
    }
    Q_ASSERT(to == 0);
}
} // namespace

QString ContentsList::tooLargeMessage(qint64 bytes)
{
    return QStringLiteral("The disc's list of %1 MB is larger than the %2 MB a disc's list may be; it is not read.")
        .arg((bytes + (1 << 20) - 1) >> 20)
        .arg(MaxBytes >> 20);
}

quint64 ContentsList::folderHash(QByteArrayView folder)
{
    // Seeded per run, so no list can be made whose folders share a hash on purpose; the length
    // goes into the seed, as lines that differ only in trailing zero bytes would otherwise.
    return qHashBits(folder.data(), size_t(folder.size()), qHash(folder.size(), QHashSeed::globalSeed()));
}

ContentsList::Builder::Builder(const char *data, qsizetype expectedSize) : m_data(data), m_scanner(data)
{
    // Sized to what the tables may take of a list of that size, so they need not move as they
    // fill: what is reserved and never filled costs no memory.
    const qsizetype expected = std::min(expectedSize, qsizetype(MaxBytes));
    m_list.m_starts.reserve(static_cast<size_t>(expected / (kStartsShare * 4) + 2));
    m_list.m_runs.reserve(static_cast<size_t>(expected / (kRunsShare * qsizetype(sizeof(IndexedRun))) + 2));
}

// Keeps record index's start when the table keeps every (1 << shift)-th; a full table at the
// end of its share keeps every second entry from then on.
inline void ContentsList::Builder::addStart(quint32 index, qsizetype start)
{
    std::vector<quint32> &starts = m_list.m_starts;
    if (index & ((1u << m_list.m_shift) - 1))
        return;
    if (starts.size() == starts.capacity() && starts.size() >= kMinStarts &&
        qsizetype(starts.size()) * 4 * kStartsShare > start) {
        size_t kept = 0;
        for (size_t i = 0; i < starts.size(); i += 2)
            starts[kept++] = starts[i];
        starts.resize(kept);
        ++m_list.m_shift;
        if (index & ((1u << m_list.m_shift) - 1))
            return;
    }
    starts.push_back(static_cast<quint32>(start));
}

// Files the run read so far in the index; a list with more runs than its share allows is
// kept without an index.
void ContentsList::Builder::endRun(qsizetype scanned)
{
    if (m_run.count == 0)
        return;
    std::vector<IndexedRun> &runs = m_list.m_runs;
    if (m_list.m_indexed && runs.size() == runs.capacity() && runs.size() >= kMinRuns &&
        qsizetype((runs.size() + 1) * sizeof(IndexedRun)) * kRunsShare > scanned) {
        m_list.m_indexed = false;
        std::vector<IndexedRun>().swap(runs);
    }
    if (m_list.m_indexed)
        runs.push_back(m_run);
    m_run.count = 0;
}

inline void ContentsList::Builder::add(const RecordScanner::Record &r)
{
    const quint32 index = m_list.m_count++;
    addStart(index, r.start);
    if (!r.closed)
        m_list.m_lastOpen = true;
    if (r.lines <= ContentsRecord::FolderLine || !m_list.m_indexed)
        return;
    // The files of a folder mostly come together, and a run of them is hashed once.
    if (m_run.count && r.folder == m_runFolder && index == m_run.first + m_run.count) {
        ++m_run.count;
        return;
    }
    endRun(r.start);
    m_runFolder = r.folder;
    m_run = {folderHash(r.folder), index, 1};
}

void ContentsList::Builder::advance(qsizetype available)
{
    if (available > MaxBytes)
        m_tooLarge = true;
    if (m_tooLarge)
        return;
    // Whole blocks only; the rest waits for the next bytes or for finish().
    m_scanner.advance(available, [this](const RecordScanner::Record &r) { add(r); });
    checkUtf8(std::min(m_scanner.recordStart(), available));
}

// Whether the text up to `to` (where a record starts, so no character is cut) is UTF-8, checked
// as the bytes arrive rather than all at the end.
void ContentsList::Builder::checkUtf8(qsizetype to)
{
    if (m_utf8 && to > m_checked && !m_scanner.ascii())
        m_utf8 = TextCodec::isValidUtf8(QByteArrayView(m_data + m_checked, to - m_checked));
    m_checked = std::max(m_checked, to);
}

ContentsList ContentsList::Builder::finish(QByteArray bytes)
{
    Q_ASSERT(bytes.constData() == m_data || bytes.isEmpty());
    const qsizetype n = bytes.size();
    if (m_tooLarge || n > MaxBytes)
        throw tooLarge(n);
    m_scanner.finish(n, [this](const RecordScanner::Record &r) { add(r); });
    endRun(n);
    if (m_scanner.longestLine() > MaxLineBytes)
        throw lineTooLong();
    m_list.m_starts.push_back(static_cast<quint32>(m_scanner.recordStart()));
    checkUtf8(n);

    // A list made on Windows: its bytes are Windows-1252, read again once they are UTF-8. The
    // first reading goes before the text grows.
    if (!m_utf8) {
        m_list = ContentsList();
        windows1252ToUtf8InPlace(bytes);
        Builder again(bytes.constData(), bytes.size());
        again.advance(bytes.size());
        return again.finish(std::move(bytes));
    }

    m_list.m_data = std::move(bytes);
    m_list.m_id = ++s_listIds;
    // The tables were sized for the most they may take; what is left over is given back.
    if (m_list.m_starts.capacity() > m_list.m_starts.size() + m_list.m_starts.size() / 4)
        m_list.m_starts.shrink_to_fit();
    if (m_list.m_runs.capacity() > m_list.m_runs.size() + m_list.m_runs.size() / 4)
        m_list.m_runs.shrink_to_fit();
    m_runFolder = {};
    return std::move(m_list);
}

ContentsList ContentsList::fromBytes(const QByteArray &bytes)
{
    if (bytes.size() > MaxBytes)
        throw tooLarge(bytes.size());
    Builder builder(bytes.constData(), bytes.size());
    builder.advance(bytes.size());
    return builder.finish(bytes);
}

namespace
{
// Where the line last asked for lies, per thread. The callers that walk a record's lines ask
// for them in turn, and each then costs one line instead of every line before it: a record
// of a million lines is read through once, not a million times. Readers that go through records
// in list order (the comparisons' answers) likewise step on from the last record asked for.
struct LineCursor {
    quint64 list = 0;
    int record = -1;
    int line = 0;
    qsizetype pos = 0; // where that line starts
    qsizetype begin = 0, end = 0;
};
thread_local LineCursor t_cursor;
} // namespace

void ContentsList::span(int record, qsizetype &begin, qsizetype &end) const
{
    const auto r = static_cast<size_t>(record);
    if (m_shift == 0) {
        begin = m_starts[r];
        end = m_starts[r + 1];
        return;
    }
    // Only every (1 << m_shift)-th start is kept: the records before this one are read over.
    const char *p = m_data.constData();
    const qsizetype n = m_starts.back();
    const size_t mask = (size_t(1) << m_shift) - 1;
    const LineCursor &c = t_cursor;
    size_t from = r & ~mask;
    begin = m_starts[r >> m_shift];
    if (c.list == m_id && c.record >= 0 && size_t(c.record) < r && size_t(c.record) >= from) {
        from = size_t(c.record) + 1;
        begin = c.end;
    }
    for (size_t k = r - from; k > 0; --k)
        begin = RecordScanner::recordEnd(p, begin, n);
    end = ((r + 1) & mask) == 0 ? m_starts[(r + 1) >> m_shift] : RecordScanner::recordEnd(p, begin, n);
}

int ContentsList::lineCount(int record) const
{
    if (record < 0 || record >= recordCount())
        return 0;
    const char *p = m_data.constData();
    qsizetype begin = 0, end = 0;
    span(record, begin, end);
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
    LineCursor &c = t_cursor;
    qsizetype begin = 0, end = 0, pos = 0;
    int k = 0;
    if (c.list == m_id && c.record == record && c.line <= i) {
        begin = c.begin;
        end = c.end;
        pos = c.pos;
        k = c.line;
    } else {
        span(record, begin, end);
        pos = begin;
    }
    const char *p = m_data.constData();
    for (; pos < end; ++k) {
        const char *lf = static_cast<const char *>(memchr(p + pos, '\n', static_cast<size_t>(end - pos)));
        const qsizetype lineEnd = lf ? lf - p : end;
        const qsizetype next = lf ? lineEnd + 1 : end;
        if (k == i) {
            c = {m_id, record, i, pos, begin, end};
            // The record's last line is its closing "-", unless the text ended first.
            if (next == end && (record + 1 < recordCount() || !m_lastOpen))
                return {};
            return RecordScanner::lineText(p, pos, lineEnd);
        }
        pos = next;
    }
    return {};
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
    return m_data.capacity() + qsizetype(m_starts.capacity() * sizeof(quint32)) +
           qsizetype(m_runs.capacity() * sizeof(IndexedRun));
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

namespace
{
// Folder paths in any case: the rule the catalogue has always looked folders up by. It folds
// each character into one character, so a path and its key have as many characters.
QString folderKey(QByteArrayView folder)
{
    return QString::fromUtf8(folder).toCaseFolded();
}

// The characters of UTF-8 text: its bytes but the ones that continue a character.
qsizetype characters(QByteArrayView utf8)
{
    qsizetype n = 0;
    for (const char c : utf8)
        n += (static_cast<uchar>(c) & 0xC0) != 0x80;
    return n;
}
} // namespace

ContentsList::Records ContentsList::recordsIn(const QString &folderPath, Qt::CaseSensitivity cs) const
{
    Records out;
    const QByteArray spelled = folderPath.toUtf8();
    const QString key = cs == Qt::CaseSensitive ? QString() : folderKey(spelled);
    // Whether a folder line is the one asked for. A folder's runs share their line, so the one
    // last found in another spelling is remembered rather than folded again.
    QByteArrayView otherSpelling;
    const auto matches = [&](QByteArrayView folder) {
        if (folder == spelled)
            return true;
        if (cs == Qt::CaseSensitive)
            return false;
        if (!otherSpelling.isNull() && folder == otherSpelling)
            return true;
        if (folderKey(folder) != key)
            return false;
        otherSpelling = folder;
        return true;
    };
    if (m_indexed && cs == Qt::CaseSensitive) {
        // Runs of other folders may share the hash; each run's own line decides.
        const quint64 hash = folderHash(spelled);
        for (const IndexedRun &run : m_runs)
            if (run.key == hash && matches(lineBytes(static_cast<int>(run.first), ContentsRecord::FolderLine)))
                out.add(run.first, run.count);
        return out;
    }
    if (m_indexed) {
        // In any case: each spelling in the list is folded once and known again by its hash; a
        // run taken is still checked against the spelling that decided.
        struct Decided {
            QByteArrayView line;
            bool in = false;
        };
        QHash<quint64, Decided> decided;
        for (const IndexedRun &run : m_runs) {
            const auto line = [&] { return lineBytes(static_cast<int>(run.first), ContentsRecord::FolderLine); };
            auto it = decided.constFind(run.key);
            if (it == decided.constEnd()) {
                const QByteArrayView l = line();
                it = decided.insert(run.key, {l, matches(l)});
            }
            if (it->in && (line() == it->line || matches(line())))
                out.add(run.first, run.count);
        }
        return out;
    }
    // A list kept without an index is read through.
    RecordScanner scanner(m_data.constData());
    quint32 index = 0;
    scanner.finish(m_data.size(), [&](const RecordScanner::Record &r) {
        if (r.lines > ContentsRecord::FolderLine && matches(r.folder))
            out.add(index);
        ++index;
    });
    return out;
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
    return l.isNull() ? QByteArrayView() : ContentsRecord::folderInArchive(l);
}

QByteArrayView ContentsList::extraLines(int record) const
{
    if (record < 0 || record >= recordCount())
        return {};
    qsizetype begin = 0, end = 0;
    span(record, begin, end);
    const char *p = m_data.constData();
    for (int k = 0; k < ContentsRecord::FixedLines && begin < end; ++k) {
        const void *lf = std::memchr(p + begin, '\n', static_cast<size_t>(end - begin));
        begin = lf ? static_cast<const char *>(lf) - p + 1 : end;
    }
    return QByteArrayView(p + begin, end - begin);
}

namespace
{
bool isRoot(const QString &path)
{
    return path == QLatin1StringView(ContentsRecord::RootFolder.data(), ContentsRecord::RootFolder.size());
}

// Where a folder other than the root is named: its parent's path and its own name. False for a
// path that names no folder below the root.
bool splitFolder(const QString &path, QString &parent, QString &name)
{
    const QChar sep = QLatin1Char(ContentsRecord::PathSeparator);
    if (isRoot(path) || !path.endsWith(sep))
        return false;
    const QString inner = path.chopped(1);
    const qsizetype cut = inner.lastIndexOf(sep);
    parent = inner.left(cut + 1);
    name = inner.mid(cut + 1);
    return true;
}

// Whether the disc has a folder record or an archive named by path, looked up in its parent.
bool namesFolder(const ContentsList &folders, const ContentsList &files, const QString &path, Qt::CaseSensitivity cs)
{
    if (isRoot(path))
        return true;
    QString parent, name;
    if (!splitFolder(path, parent, name))
        return false;
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
        Records subfolders = folders.recordsIn(path, cs);
        Records inside = files.recordsIn(path, cs);
        if (!subfolders.empty() || !inside.empty() || namesFolder(folders, files, path, cs))
            return {true, std::move(subfolders), std::move(inside)};
    }
    return {};
}

QStringList ContentsList::foldersRead(const QString &path)
{
    QString parent, name;
    if (splitFolder(path, parent, name))
        return {path, parent};
    return {path};
}

namespace
{
// A sieve reads its records this many bytes at a time, so that the text stays in the cache
// between the decompressor writing it and the sieve reading it.
constexpr qsizetype kSievePiece = 256 * 1024;
} // namespace

ContentsList::Sieve::Sieve(const QStringList &folders) : m_scanAt(kSievePiece)
{
    for (const QString &folder : folders) {
        const QByteArray spelled = folder.toUtf8();
        m_wanted.push_back({spelled, folderKey(spelled), characters(spelled)});
    }
}

bool ContentsList::Sieve::wanted(QByteArrayView folder)
{
    if (!m_last.isNull() && folder == m_last)
        return m_lastIn;
    bool in = false;
    for (const Wanted &w : m_wanted)
        in = in || folder == w.spelled;
    // Another case needs as many characters (of one to four bytes each), which rules out almost
    // every folder before it is folded.
    for (const Wanted &w : m_wanted)
        in = in || (folder.size() >= w.characters && folder.size() <= 4 * w.characters &&
                    characters(folder) == w.characters && folderKey(folder) == w.key);
    m_last = folder;
    m_lastIn = in;
    return in;
}

void ContentsList::Sieve::scan(bool last)
{
    const char *p = m_buffer.constData();
    const qsizetype n = m_buffer.size();
    RecordScanner scanner(p);
    m_last = {};
    // Inside the visit the scanner's next record start is where this record ends (one past the
    // text for an end line without its line feed).
    const auto visit = [&](const RecordScanner::Record &r) {
        if (r.lines > ContentsRecord::FolderLine && wanted(r.folder))
            m_kept.append(p + r.start, std::min(scanner.recordStart(), n) - r.start);
    };
    if (last)
        scanner.finish(n, visit);
    else
        scanner.advance(n, visit);
    const qsizetype read = std::min(scanner.recordStart(), n);
    m_longest = std::max(m_longest, scanner.longestLine());
    if (m_utf8 && !scanner.ascii())
        m_utf8 = TextCodec::isValidUtf8(QByteArrayView(p, read));
    m_last = {};
    m_buffer.remove(0, read);
    // A record longer than a piece is read again only once its bytes have doubled.
    m_scanAt = std::max(kSievePiece, 2 * m_buffer.size());
    if (m_longest > MaxLineBytes || !m_utf8)
        m_stopped = true;
}

bool ContentsList::Sieve::add(QByteArrayView piece)
{
    if (m_stopped)
        return false;
    m_total += piece.size();
    if (m_total > MaxBytes) {
        m_stopped = true;
        return false;
    }
    m_buffer.append(piece);
    if (m_buffer.size() >= m_scanAt)
        scan(false);
    return !m_stopped;
}

std::optional<ContentsList> ContentsList::Sieve::finish()
{
    if (!m_stopped)
        scan(true);
    if (m_total > MaxBytes)
        throw tooLarge(m_total);
    if (m_longest > MaxLineBytes)
        throw lineTooLong();
    if (!m_utf8)
        return std::nullopt;
    return fromBytes(m_kept);
}
