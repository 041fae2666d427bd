#include "ContentsChecksums.h"

#include <algorithm>

namespace
{

bool isLowerHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : c - 'a' + 10;
}

} // namespace

ContentsChecksums ContentsChecksums::parse(const QByteArray &sumBytes, int fileRecordCount, QString *problem)
{
    if (problem)
        problem->clear();
    if (sumBytes.isEmpty())
        return {};
    auto refuse = [&](const QString &why) {
        if (problem)
            *problem = why;
        return ContentsChecksums();
    };
    // The last line may lack its line end; a line end alone still closes the line before it.
    const qsizetype lines = sumBytes.count('\n') + (sumBytes.endsWith('\n') ? 0 : 1);
    if (lines != fileRecordCount)
        return refuse(QStringLiteral("The checksums are ignored: %1 %2 for a file list of %3 entries.")
                          .arg(lines)
                          .arg(lines == 1 ? QLatin1String("line") : QLatin1String("lines"))
                          .arg(fileRecordCount));
    ContentsChecksums sums;
    sums.m_count = fileRecordCount;
    sums.m_digits.fill('0', qsizetype(fileRecordCount) * HexDigits);
    sums.m_present.assign(size_t(fileRecordCount), false);
    qsizetype at = 0;
    for (int record = 0; record < fileRecordCount; ++record) {
        qsizetype end = sumBytes.indexOf('\n', at);
        if (end < 0)
            end = sumBytes.size();
        QByteArrayView line(sumBytes.constData() + at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        at = end + 1;
        if (line.isEmpty())
            continue;
        if (line.size() != HexDigits || !std::all_of(line.begin(), line.end(), isLowerHex))
            return refuse(QStringLiteral("The checksums are ignored: line %1 is not a checksum.").arg(record + 1));
        std::copy(line.begin(), line.end(), sums.m_digits.data() + qsizetype(record) * HexDigits);
        sums.m_present[size_t(record)] = true;
    }
    return sums;
}

bool ContentsChecksums::has(int record) const
{
    return record >= 0 && record < m_count && m_present[size_t(record)];
}

QByteArrayView ContentsChecksums::hex(int record) const
{
    if (!has(record))
        return {};
    return QByteArrayView(m_digits.constData() + qsizetype(record) * HexDigits, HexDigits);
}

XXH128_hash_t ContentsChecksums::value(int record) const
{
    XXH128_canonical_t canonical{};
    const QByteArrayView digits = hex(record);
    if (digits.isEmpty())
        return {0, 0};
    for (int i = 0; i < 16; ++i)
        canonical.digest[i] = static_cast<unsigned char>(hexValue(digits[2 * i]) << 4 | hexValue(digits[2 * i + 1]));
    return XXH128_hashFromCanonical(&canonical);
}

QByteArray ContentsChecksums::toHex(const XXH128_hash_t &hash)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    return QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest).toHex();
}

void ContentsChecksums::appendLine(QByteArray &out, const XXH128_hash_t *hashOrNull)
{
    if (hashOrNull)
        out += toHex(*hashOrNull);
    out += "\r\n";
}
