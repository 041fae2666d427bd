#pragma once

#include <QChar>

// The catalogue compares names with only the letters a-z folded (as the original system's
// code page rules did); every other character compares exactly. One place for that rule.
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
constexpr char16_t LowcaseAZ(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}
