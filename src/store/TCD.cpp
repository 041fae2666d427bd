#include "TCD.h"

#include "core/QuilloryError.h"

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

static QuilloryError notAnInteger(QStringView text)
{
    return QuilloryError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

qint64 StrToInt64(QStringView text)
{
    // QString::toLongLong tolerates surrounding blanks and other digits; the catalogue format
    // takes an optional sign and ASCII digits only.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!(c >= u'0' && c <= u'9') && !(i == 0 && (c == u'-' || c == u'+')))
            throw notAnInteger(text);
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok)
        throw notAnInteger(text);
    return value;
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
    QStringView rest = line;
    // A missing separator leaves the field empty: the text passes on to the next field.
    const auto take = [&rest] {
        const qsizetype p = rest.indexOf(u'|');
        if (p < 0)
            return QStringView();
        const QStringView field = rest.first(p);
        rest = rest.sliced(p + 1);
        return field;
    };
    const auto text = [previous](QStringView field, QString TCD::*member) {
        return previous && previous->*member == field ? previous->*member : field.toString();
    };
    TCD cd;
    cd.Title = take().toString();
    cd.VolumeLabel = take().toString();
    cd.Serial = take().toString();
    cd.FileSystem = text(take(), &TCD::FileSystem);
    cd.Size = StrToInt64(take());
    cd.Description = text(take(), &TCD::Description);
    cd.Genre = text(take(), &TCD::Genre);
    cd.Number = StrToInt32(take());
    cd.Date = text(take(), &TCD::Date);
    cd.BorrowedTo = text(rest, &TCD::BorrowedTo);
    return cd;
}
