#include "HtmlTitle.h"
#include "core/AsciiCase.h"

#include "MediaBytes.h"

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

namespace
{

bool endsTagName(char c)
{
    return MediaBytes::isBlankOrControl(c) || c == '>' || c == '/' || c == '<';
}

// Where the page's title text begins, just after its opening tag; -1 when there is none.
// Every step moves forward, so a page costs one pass whatever it holds.
qsizetype titleStart(const QByteArray &page)
{
    const qsizetype size = page.size();
    int svgDepth = 0;
    qsizetype i = 0;
    while ((i = page.indexOf('<', i)) >= 0) {
        if (QByteArrayView(page).sliced(i).startsWith("<!--")) {
            // From the comment's own dashes, so that "<!-->" closes itself as browsers take it.
            const qsizetype close = page.indexOf("-->", i + 2);
            if (close < 0)
                return -1;
            i = close + 3;
            continue;
        }
        qsizetype p = i + 1;
        const bool closing = p < size && page[p] == '/';
        if (closing)
            ++p;
        const qsizetype nameStart = p;
        while (p < size && !endsTagName(page[p]))
            ++p;
        const QByteArray name = FoldedAZ(QByteArrayView(page).sliced(nameStart, p - nameStart));
        if (name == "TITLE" && !closing && svgDepth == 0) {
            const qsizetype end = page.indexOf('>', p);
            return end < 0 ? -1 : end + 1;
        }
        if (name == "SVG") {
            if (closing) {
                svgDepth = qMax(0, svgDepth - 1);
            } else {
                const qsizetype end = page.indexOf('>', p);
                if (end < 0)
                    return -1;
                if (page[end - 1] != '/')
                    ++svgDepth;
            }
        }
        i = p;
    }
    return -1;
}

// The record has one line for the title: a line break of the page, with the blanks around it,
// becomes one blank; other blanks stay as the page has them, control characters as blanks.
QByteArray oneLine(QByteArrayView text)
{
    QByteArray line;
    bool lineBreak = false;
    for (const char c : text) {
        const bool blank = MediaBytes::isBlankOrControl(c);
        if (c == '\r' || c == '\n') {
            while (!line.isEmpty() && MediaBytes::isBlankOrControl(line.back()))
                line.chop(1);
            lineBreak = !line.isEmpty();
        } else if (lineBreak && blank) {
        } else if (!line.isEmpty() || !blank) {
            if (lineBreak)
                line += ' ';
            lineBreak = false;
            line += blank ? ' ' : c;
        }
    }
    while (!line.isEmpty() && line.back() == ' ')
        line.chop(1);
    return line;
}

} // namespace

QString ReadHtmlTitle(QIODevice &device)
{
    const QByteArray page = MediaBytes::mustReadAt(device, 0, qMin(device.size(), HtmlScanLimit));
    const qsizetype start = titleStart(page);
    if (start < 0)
        return {};
    qsizetype end = page.indexOf('<', start);
    if (end < 0)
        end = page.size();
    QByteArray title = page.sliced(start, end - start);
    title.replace('>', QByteArrayView());
    title = oneLine(title);
    if (title.isEmpty())
        return {};
    title = removeEntities(title);
    if (title.isEmpty())
        return {};
    return MediaBytes::decodeText(title);
}
