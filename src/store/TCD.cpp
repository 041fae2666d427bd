#include "TCD.h"

#include "core/QuilloryError.h"

#include <QStringList>

QString CDToStr(const TCD &cd)
{
    const QChar sep = u'|';
    QString s;
    s.reserve(cd.Title.size() + cd.Description.size() + 96);
    s += cd.Title + sep + cd.VolumeLabel + sep + cd.Serial + sep + cd.FileSystem + sep + QString::number(cd.Size) +
         sep + cd.Description + sep + cd.Genre + sep + QString::number(cd.Number) + sep + cd.Date + sep + cd.BorrowedTo;
    return s;
}

static QString notAnInteger(const QString &text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

qint64 StrToInt64(const QString &text)
{
    // QString::toLongLong tolerates surrounding blanks; the catalogue format does not.
    bool ok = false;
    const QString t = text;
    if (t.isEmpty() || t.front().isSpace() || t.back().isSpace())
        throw QuilloryError(notAnInteger(text));
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (!(c.unicode() >= '0' && c.unicode() <= '9') && !(i == 0 && (c == u'-' || c == u'+')))
            throw QuilloryError(notAnInteger(text));
    }
    const qint64 v = t.toLongLong(&ok, 10);
    if (!ok)
        throw QuilloryError(notAnInteger(text));
    return v;
}

qint32 StrToInt32(const QString &text)
{
    const qint64 v = StrToInt64(text);
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        throw QuilloryError(notAnInteger(text));
    return static_cast<qint32>(v);
}

TCD StrToCD(const QString &line)
{
    QString rest = line;
    auto take = [&rest]() -> QString {
        const qsizetype p = rest.indexOf(u'|');
        if (p < 0)
            return QString(); // nothing removed: the text passes on to the next field
        QString field = rest.left(p);
        rest.remove(0, p + 1);
        return field;
    };
    TCD cd;
    cd.Title = take();
    cd.VolumeLabel = take();
    cd.Serial = take();
    cd.FileSystem = take();
    cd.Size = StrToInt64(take());
    cd.Description = take();
    cd.Genre = take();
    cd.Number = StrToInt32(take());
    cd.Date = take();
    cd.BorrowedTo = rest;
    return cd;
}
