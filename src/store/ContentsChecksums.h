#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>
#include <xxhash.h>

// The checksums of a disc's files: the "<serial>.sum" member of its contents file, one line per
// record of the file list in the list's order, each the file's XXH3-128 as 32 lower-case hex
// digits (the canonical form: the high 64 bits first) or empty where there is none (an entry
// inside an archive, a file that could not be read). Line ends CR LF as the lists have them; LF
// alone is read too. The one reader and writer of that format.
//
// A member that does not line up with the file list (another count of lines, a line that is
// not a checksum) is not trusted at all: it reads as no checksums, and the caller is told why.
class ContentsChecksums
{
public:
    static constexpr int HexDigits = 32;

    ContentsChecksums() = default;

    // sumBytes as stored; empty when the contents file has no such member, which is no problem.
    static ContentsChecksums parse(const QByteArray &sumBytes, int fileRecordCount, QString *problem = nullptr);

    // No member, or one that was ignored: nothing is known of the files' contents.
    bool isEmpty() const { return m_count == 0; }
    // The records the member covers: the file list's record count, or 0 when empty.
    int size() const { return m_count; }
    // Whether the record has a checksum (false for a record beyond size()).
    bool has(int record) const;
    // The 32 hex digits; an empty view when the record has none.
    QByteArrayView hex(int record) const;
    // The checksum as libxxhash gives it, for hashing and grouping; {0, 0} when the record has
    // none, so ask has() first.
    XXH128_hash_t value(int record) const;

    // The writer's side: one line for the next record, the checksum's digits or nothing, with
    // its CR LF. The scanner calls it once for every record it writes to the file list.
    static void appendLine(QByteArray &out, const XXH128_hash_t *hashOrNull);
    // The 32 digits alone, as a line holds them.
    static QByteArray toHex(const XXH128_hash_t &hash);

private:
    // Every record's 32 digits side by side (zeros where none), and which records have one.
    QByteArray m_digits;
    std::vector<bool> m_present;
    int m_count = 0;
};
