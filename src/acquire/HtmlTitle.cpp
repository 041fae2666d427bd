#include "HtmlTitle.h"
#include "core/AsciiCase.h"

#include "MediaBytes.h"

#include <QRegularExpression>

static QByteArray removeEntities(const QByteArray &text)
{
    QByteArray result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            result += text[i];
            continue;
        }
        const qsizetype semicolon = text.indexOf(';', i + 1);
        if (semicolon < 0)
            break;
        i = semicolon;
    }
    return result;
}

QStringList ReadHtmlTitle(QIODevice &device)
{
    const QByteArray page = MediaBytes::mustReadAt(device, 0, qMin(device.size(), HtmlScanLimit));
    const qsizetype size = page.size();
    qsizetype i = 0;

    // The text since the last "<", upper-cased; only whether it is exactly "TITLE>" matters,
    // so it stops growing past that length.
    static constexpr char Opening[] = "TITLE>";
    static constexpr qsizetype OpeningLength = sizeof(Opening) - 1;
    QByteArray tag;
    bool open = false;
    while (i < size && !open) {
        const char c = page[i++];
        if (c == '<') {
            tag.clear();
            continue;
        }
        if (tag.size() <= OpeningLength)
            tag += UpcaseAZ(c);
        open = tag == Opening;
    }
    if (!open)
        return {};

    QByteArray title;
    while (i < size && page[i] != '<') {
        if (page[i] != '>')
            title += page[i];
        ++i;
    }
    title = MediaBytes::trimBoth(title);
    if (title.isEmpty())
        return {};
    title = removeEntities(title);
    if (title.isEmpty())
        return {};

    QStringList lines = MediaBytes::decodeText(title).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (QString &line : lines) {
        // A line holding only "-" would end the file's record early.
        if (line == QLatin1String("-"))
            line = QStringLiteral("?");
    }
    return lines;
}
