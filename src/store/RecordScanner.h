#pragma once

#include "ContentsRecord.h"

#include <QByteArrayView>
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The one place a list's bytes are grouped into records (ContentsRecord gives the layout): the
// four fixed lines whatever they say, so a file named "-" keeps its record, then extra lines up
// to one that is exactly the end line; a line feed ends a line and a carriage return before it
// is dropped; a last line without its line feed and a last record without its end line still
// count.
//
// It can be fed while the bytes arrive (a decompressor filling a buffer): advance() takes whole
// sixteen-byte blocks of what is final, finish() the rest. The visitor is a template so that the
// call per record inlines; lines are short, and line feeds are found sixteen bytes at a time
// because a call per line costs more than the line.
class RecordScanner
{
public:
    // One record as the visitor sees it; the views point into the scanned bytes. A fixed line
    // the record does not reach is null.
    struct Record {
        QByteArrayView name, folder, size, date;
        int lines = 0;       // before the end line (the fixed ones included)
        qsizetype start = 0; // of its first line
        qsizetype extra = 0; // of its first extra line, when lines > FixedLines
        bool closed = true;  // false for a last record that ran out before its end line
    };

    // A line without its line feed: from start to the line feed at lf (or to the end of the text).
    static QByteArrayView lineText(const char *p, qsizetype start, qsizetype lf)
    {
        if (lf > start && p[lf - 1] == '\r')
            --lf;
        return QByteArrayView(p + start, lf - start);
    }

    // Where the record that starts at start ends (where the next one starts) in a text of n
    // bytes, by the same rule as the scan: for a reader that kept only some records' starts.
    static qsizetype recordEnd(const char *p, qsizetype start, qsizetype n)
    {
        int lineNo = 0;
        for (qsizetype pos = start; pos < n; ++lineNo) {
            const void *found = std::memchr(p + pos, '\n', static_cast<size_t>(n - pos));
            const qsizetype lf = found ? static_cast<const char *>(found) - p : n;
            const qsizetype next = found ? lf + 1 : n;
            if (lineNo >= ContentsRecord::FixedLines && lineText(p, pos, lf) == ContentsRecord::EndLine)
                return next;
            pos = next;
        }
        return n;
    }

    // data must stay in place until finish().
    explicit RecordScanner(const char *data) : m_data(data) {}

    // The first `available` bytes are final: scans the whole blocks of them not yet scanned.
    template <typename Visitor> void advance(qsizetype available, Visitor &&visit)
    {
        if (available > m_scanned)
            scan(m_scanned + ((available - m_scanned) & ~qsizetype(15)), visit);
    }

    // The text is n bytes long: scans the rest, then the last line and record if they are open.
    template <typename Visitor> void finish(qsizetype n, Visitor &&visit)
    {
        if (n > m_scanned)
            scan(n, visit);
        if (m_lineStart < n)
            line(m_lineStart, n, visit);
        if (m_recordStart > n)
            m_recordStart = n;
        if (m_recordStart < n) {
            const Record r = record(false);
            m_recordStart = n;
            m_lineNo = 0;
            visit(r);
        }
    }

    // Where the next record would start: after finish(), where the last one ends.
    qsizetype recordStart() const { return m_recordStart; }
    // Whether every byte scanned so far was ASCII.
    bool ascii() const { return m_ascii; }
    // The longest line scanned so far, the one still open too.
    qsizetype longestLine() const { return std::max(m_longest, m_scanned - m_lineStart); }

private:
    template <typename Visitor> void scan(qsizetype to, Visitor &visit)
    {
        qsizetype pos = m_scanned;
        const char *p = m_data;
#if defined(__SSE2__)
        const __m128i lf = _mm_set1_epi8('\n');
        __m128i high = _mm_setzero_si128();
        for (; pos + 16 <= to; pos += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + pos));
            high = _mm_or_si128(high, v);
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
            while (mask) {
                const qsizetype at = pos + __builtin_ctz(mask);
                line(m_lineStart, at, visit);
                m_lineStart = at + 1;
                mask &= mask - 1;
            }
        }
        if (_mm_movemask_epi8(high))
            m_ascii = false;
#endif
        // What is left (all of it without SSE2) a byte at a time.
        for (; pos < to; ++pos) {
            const char c = p[pos];
            if (static_cast<uchar>(c) >= 0x80)
                m_ascii = false;
            if (c == '\n') {
                line(m_lineStart, pos, visit);
                m_lineStart = pos + 1;
            }
        }
        m_scanned = pos;
    }

    // One line, from start to its line feed at lf (or to the end of the text).
    template <typename Visitor> void line(qsizetype start, qsizetype lf, Visitor &visit)
    {
        const QByteArrayView l = lineText(m_data, start, lf);
        m_longest = std::max(m_longest, l.size());
        if (m_lineNo < ContentsRecord::FixedLines) {
            m_fixed[m_lineNo++] = l;
            return;
        }
        // Compared inline: this runs for every extra line.
        if (l.size() != ContentsRecord::EndLine.size() ||
            !std::equal(l.begin(), l.end(), ContentsRecord::EndLine.begin())) {
            if (m_lineNo++ == ContentsRecord::FixedLines)
                m_extra = start;
            return;
        }
        const Record r = record(true);
        // One past the text when the end line is its last line without a line feed; finish() takes it back.
        m_recordStart = lf + 1;
        m_lineNo = 0;
        visit(r);
    }

    Record record(bool closed) const
    {
        using namespace ContentsRecord;
        Record r;
        auto fixed = [this](FixedLine i) { return m_lineNo > i ? m_fixed[i] : QByteArrayView(); };
        r.name = fixed(NameLine);
        r.folder = fixed(FolderLine);
        r.size = fixed(SizeLine);
        r.date = fixed(DateLine);
        r.lines = m_lineNo;
        r.start = m_recordStart;
        r.extra = m_extra;
        r.closed = closed;
        return r;
    }

    const char *m_data;
    qsizetype m_scanned = 0;   // every line feed before this has been seen
    qsizetype m_lineStart = 0; // of the line being read
    qsizetype m_recordStart = 0;
    qsizetype m_extra = 0; // where the record's first extra line starts
    int m_lineNo = 0; // lines of the record being read so far
    bool m_ascii = true;
    qsizetype m_longest = 0;
    QByteArrayView m_fixed[ContentsRecord::FixedLines];
};
