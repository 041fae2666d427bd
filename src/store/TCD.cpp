#include "TCD.h"

#include "core/QuilloryError.h"

#include <charconv>
#include <string_view>

QString CDToStr(const TCD &cd)
{
    const QChar sep = u'|';
    QString s;
    s.reserve(cd.Title.size() + cd.Description.size() + 96);
    s += cd.Title + sep + cd.VolumeLabel + sep + cd.Serial + sep + cd.FileSystem + sep + QString::number(cd.Size) +
         sep + cd.Description + sep + cd.Genre + sep + QString::number(cd.Number) + sep + cd.Date + sep + cd.BorrowedTo;
    return s;
}

namespace
{

QString notAnInteger(const QString &text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

QString toQString(std::u16string_view v)
{
    return QStringView(v.data(), qsizetype(v.size())).toString();
}

// QString::toLongLong tolerates surrounding blanks and other digits; the catalogue format
// takes an optional sign and ASCII digits only. Converted without a string per number, since
// a load reads two of them on every disc line; text makes the message's copy.
template <typename Char, typename Text> qint64 parseInt64(std::basic_string_view<Char> v, const Text &text)
{
    if (v.empty())
        throw QuilloryError(notAnInteger(QString()));
    for (size_t i = 0; i < v.size(); ++i) {
        const auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(v[i]));
        if (!(c >= U'0' && c <= U'9') && !(i == 0 && (c == U'-' || c == U'+')))
            throw QuilloryError(notAnInteger(text(v)));
    }
    bool ok = false;
    qint64 value = 0;
    constexpr size_t kShort = 32; // any qint64 with its sign, unless padded with zeros
    if (v.size() <= kShort) {
        char ascii[kShort];
        for (size_t i = 0; i < v.size(); ++i)
            ascii[i] = static_cast<char>(v[i]);
        const char *first = ascii[0] == '+' ? ascii + 1 : ascii; // from_chars takes a minus only
        const char *end = ascii + v.size();
        const auto [ptr, ec] = std::from_chars(first, end, value);
        ok = ec == std::errc() && ptr == end;
    } else {
        value = text(v).toLongLong(&ok, 10);
    }
    if (!ok)
        throw QuilloryError(notAnInteger(text(v)));
    return value;
}

template <typename Char, typename Text> qint32 parseInt32(std::basic_string_view<Char> v, const Text &text)
{
    const qint64 value = parseInt64(v, text);
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        throw QuilloryError(notAnInteger(text(v)));
    return static_cast<qint32>(value);
}

// The one reading of a record's fields, over a line's UTF-16 text or its ASCII bytes.
// own makes the strings of the fields that are each disc's own (Title, VolumeLabel, Serial),
// text those of the rest, which repeat from disc to disc.
template <typename Char, typename Own, typename Text>
TCD parseRecord(std::basic_string_view<Char> line, bool extraSeparator, const Own &own, const Text &text,
                std::basic_string_view<Char> *serial = nullptr)
{
    using View = std::basic_string_view<Char>;
    View rest = line;
    auto take = [&]() -> View {
        const size_t p = rest.find(Char('|'));
        if (p != View::npos) {
            const View field = rest.substr(0, p);
            rest.remove_prefix(p + 1);
            return field;
        }
        if (extraSeparator) {
            // The separator the line is read as ending with: it ends this field.
            extraSeparator = false;
            const View field = rest;
            rest = View();
            return field;
        }
        return View(); // nothing removed: the text passes on to the next field
    };
    TCD cd;
    cd.Title = own(take());
    cd.VolumeLabel = own(take());
    const View serialField = take();
    if (serial)
        *serial = serialField;
    cd.Serial = own(serialField);
    cd.FileSystem = text(take());
    cd.Size = parseInt64(take(), text);
    cd.Description = text(take());
    cd.Genre = text(take());
    cd.Number = parseInt32(take(), text);
    cd.Date = text(take());
    cd.BorrowedTo = text(rest);
    if (extraSeparator)
        cd.BorrowedTo += u'|';
    return cd;
}

std::u16string_view utf16(QStringView v)
{
    return {v.utf16(), size_t(v.size())};
}

} // namespace

qint64 StrToInt64(QStringView text)
{
    return parseInt64(utf16(text), [](std::u16string_view v) { return toQString(v); });
}

qint32 StrToInt32(QStringView text)
{
    return parseInt32(utf16(text), [](std::u16string_view v) { return toQString(v); });
}

TCD StrToCD(QStringView line)
{
    const auto text = [](std::u16string_view v) { return toQString(v); };
    return parseRecord(utf16(line), false, text, text);
}

TCD AsciiToCD(QByteArrayView line, bool extraSeparator, const std::function<QString(QByteArrayView)> &text,
              QByteArrayView *serial)
{
    std::string_view serialField;
    TCD cd = parseRecord(
        std::string_view(line.data(), size_t(line.size())), extraSeparator,
        [](std::string_view v) { return QString(QLatin1StringView(v.data(), qsizetype(v.size()))); },
        [&text](std::string_view v) { return text(QByteArrayView(v.data(), qsizetype(v.size()))); }, &serialField);
    if (serial)
        *serial = QByteArrayView(serialField.data(), qsizetype(serialField.size()));
    return cd;
}
