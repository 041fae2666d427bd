#include "TCD.h"

#include "core/QuilloryError.h"

#include <QtNumeric>
#include <algorithm>
#include <array>
#include <limits>

QString CDToStr(const TCD &cd)
{
    const QChar sep = u'|';
    QString s;
    s.reserve(cd.Title.size() + cd.Description.size() + 96);
    s += cd.Title + sep + cd.VolumeLabel + sep + cd.Serial + sep + cd.FileSystem + sep + QString::number(cd.Size) +
         sep + cd.Description + sep + cd.Genre + sep + QString::number(cd.Number) + sep + cd.Date + sep + cd.BorrowedTo;
    return s;
}

QuilloryError notAnInteger(QStringView text)
{
    return QuilloryError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

qint64 StrToInt64(QStringView text)
{
    // QString::toLongLong tolerates surrounding blanks and other digits; the catalogue format
    // takes an optional sign and ASCII digits only.
    const bool negative = text.startsWith(u'-');
    qsizetype i = negative || text.startsWith(u'+') ? 1 : 0;
    if (i == text.size())
        throw notAnInteger(text);
    quint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9' || qMulOverflow(magnitude, quint64(10), &magnitude) ||
            qAddOverflow(magnitude, quint64(c - u'0'), &magnitude))
            throw notAnInteger(text);
    }
    const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (negative ? 1 : 0);
    if (magnitude > limit)
        throw notAnInteger(text);
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

qint32 StrToInt32(QStringView text)
{
    const qint64 value = StrToInt64(text);
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        throw notAnInteger(text);
    return static_cast<qint32>(value);
}

TCD StrToCD(QStringView line, const TCD *previous)
{
    // The line is cut at its first nine separators. A missing separator leaves its field
    // empty: the text passes on to the next field, and the rest of the line is BorrowedTo.
    constexpr int kCut = 9;
    std::array<QStringView, kCut> field;
    int cut = 0;
    qsizetype start = 0;
    const char16_t *const begin = line.utf16(), *const end = begin + line.size();
    for (const char16_t *bar; cut < kCut && (bar = std::find(begin + start, end, u'|')) != end; start = bar - begin + 1)
        field[cut++] = line.sliced(start, bar - begin - start);
    const QStringView rest = line.sliced(start);
    const auto text = [previous](QStringView field, QString TCD::*member) {
        return previous && previous->*member == field ? previous->*member : field.toString();
    };
    TCD cd;
    cd.Title = field[0].toString();
    cd.VolumeLabel = field[1].toString();
    cd.Serial = field[2].toString();
    cd.FileSystem = text(field[3], &TCD::FileSystem);
    cd.Size = StrToInt64(field[4]);
    cd.Description = text(field[5], &TCD::Description);
    cd.Genre = text(field[6], &TCD::Genre);
    cd.Number = StrToInt32(field[7]);
    cd.Date = text(field[8], &TCD::Date);
    cd.BorrowedTo = text(rest, &TCD::BorrowedTo);
    return cd;
}
