#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>
#include <QStringView>

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
    for (qsizetype i = 0; i < n; ++i)
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
