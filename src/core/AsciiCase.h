#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>
#include <QStringView>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The catalogue compares names with only the letters a-z folded (as the original system's
// code page rules did); every other character compares exactly. The one place for that rule:
// a-z fold to A-Z, in text and in UTF-8 bytes alike (no byte of a multi-byte sequence is a
// letter), and two names are the same when their folds are.
constexpr char16_t UpcaseAZ(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}
constexpr char UpcaseAZ(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
constexpr unsigned char UpcaseAZ(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}
inline QChar UpcaseAZ(QChar c)
{
    return QChar(UpcaseAZ(c.unicode()));
}
// For making titles read well, not for comparing.
constexpr char16_t LowcaseAZ(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

inline void FoldAZ(char *p, qsizetype n)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time, for a whole block of names folded in one pass. Bytes of 0x80 and
    // over compare as negative, so only a-z are in range.
    const __m128i belowA = _mm_set1_epi8('a' - 1), aboveZ = _mm_set1_epi8('z' + 1), caseBit = _mm_set1_epi8(0x20);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i az = _mm_and_si128(_mm_cmpgt_epi8(v, belowA), _mm_cmplt_epi8(v, aboveZ));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + i), _mm_sub_epi8(v, _mm_and_si128(az, caseBit)));
    }
#endif
    for (; i < n; ++i)
        p[i] = UpcaseAZ(p[i]);
}
inline QByteArray FoldedAZ(QByteArrayView bytes)
{
    QByteArray out = bytes.toByteArray();
    FoldAZ(out.data(), out.size());
    return out;
}
inline QByteArray FoldedAZ(const QByteArray &bytes)
{
    return FoldedAZ(QByteArrayView(bytes));
}
inline QString FoldedAZ(QString text)
{
    for (QChar &c : text)
        c = UpcaseAZ(c);
    return text;
}
inline bool SameAZ(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (UpcaseAZ(a[i]) != UpcaseAZ(b[i]))
            return false;
    return true;
}
