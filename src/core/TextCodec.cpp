#include "core/TextCodec.h"

#include "core/FileInput.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"

#include <QFile>
#include <QStringDecoder>
#include <cstring>

namespace TextCodec
{

namespace
{

// The length of the valid UTF-8 sequence at p (at most `left` bytes there), or 0 when none
// starts there. Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
int sequenceLength(const unsigned char *p, qsizetype left)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int len;
    unsigned lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    if (p[1] < lo || p[1] > hi)
        return 0;
    for (int k = 2; k < len; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF)
            return 0;
    return len;
}

// 0x80..0x9F differ from Latin-1; undefined positions map to themselves as Latin-1 does.
const char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar windows1252(unsigned char c)
{
    return (c >= 0x80 && c < 0xA0) ? QChar(kWindows1252High[c - 0x80]) : QChar(c);
}

} // namespace

bool isValidUtf8(QByteArrayView bytes)
{
    // Qt's check takes the same sequences as sequenceLength (no overlong forms, no surrogates,
    // nothing above U+10FFFF) and skips ASCII with wider loads: a large list's check costs about
    // half as many instructions.
    return bytes.isValidUtf8();
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        d[i] = windows1252(static_cast<unsigned char>(bytes.at(i)));
    return out;
}

static bool isAscii(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const qsizetype n = bytes.size();
    quint64 any = 0;
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        memcpy(&word, p + i, 8);
        any |= word;
    }
    for (; i < n; ++i)
        any |= static_cast<unsigned char>(p[i]);
    return !(any & 0x8080808080808080ULL);
}

void decodeLine(QByteArrayView bytes, bool utf8, QString &line)
{
    // A byte never decodes to more than one UTF-16 unit; one more is kept for a caller's append.
    // Asked only when short: reserve() reallocates whenever it is asked for all there is, which
    // a line as long as the last would be.
    if (line.capacity() < bytes.size() + 1)
        line.reserve(bytes.size() + 1);
    line.resize(bytes.size());
    QChar *d = line.data();
    // Most lines of a catalogue are ASCII, which UTF-8 and Windows-1252 read alike; widening
    // them directly costs a tenth of a decoder's call on a tree's short lines.
    if (isAscii(bytes)) {
        QStringDecoder latin1(QStringDecoder::Latin1, QStringDecoder::Flag::Stateless);
        latin1.appendToBuffer(d, bytes);
        return;
    }
    if (utf8) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        line.truncate(decoder.appendToBuffer(d, bytes) - d);
    } else {
        for (qsizetype i = 0; i < bytes.size(); ++i)
            d[i] = windows1252(static_cast<unsigned char>(bytes.at(i)));
    }
}

QByteArray fileNameToUtf8(QByteArrayView name)
{
    const auto *p = reinterpret_cast<const unsigned char *>(name.data());
    const qsizetype n = name.size();
    qsizetype i = 0;
    while (i < n) {
        const int len = sequenceLength(p + i, n - i);
        if (len == 0)
            break;
        i += len;
    }
    if (i == n)
        return name.toByteArray();
    QString text = QString::fromUtf8(name.first(i));
    while (i < n) {
        const int len = sequenceLength(p + i, n - i);
        if (len == 0) {
            text += windows1252(p[i]);
            ++i;
        } else {
            text += QString::fromUtf8(name.sliced(i, len));
            i += len;
        }
    }
    return text.toUtf8();
}

QString decode(const QByteArray &bytes)
{
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return fromWindows1252(bytes);
}

QByteArray toUtf8(const QByteArray &bytes)
{
    if (isValidUtf8(bytes))
        return bytes;
    return fromWindows1252(bytes).toUtf8();
}

template <typename View> static bool nextLineIn(View text, qsizetype &pos, View &line)
{
    const qsizetype n = text.size();
    if (pos >= n)
        return false;
    qsizetype end = pos;
    while (end < n && text[end] != u'\n' && text[end] != u'\r')
        ++end;
    line = text.sliced(pos, end - pos);
    pos = (end + 1 < n && text[end] == u'\r' && text[end + 1] == u'\n') ? end + 2 : end + 1;
    return true;
}

bool nextLine(QByteArrayView bytes, qsizetype &pos, QByteArrayView &line)
{
    const qsizetype n = bytes.size();
    if (pos >= n)
        return false;
    // memchr reads a large file many times faster than a loop; a CR is looked for only up to
    // the next LF, so a file without any costs no second pass to its end per line.
    const char *begin = bytes.data() + pos;
    const char *stop = bytes.data() + n;
    const auto *lf = static_cast<const char *>(std::memchr(begin, '\n', size_t(stop - begin)));
    const char *lineEnd = lf ? lf : stop;
    if (const auto *cr = static_cast<const char *>(std::memchr(begin, '\r', size_t(lineEnd - begin))))
        lineEnd = cr;
    const qsizetype end = lineEnd - bytes.data();
    line = bytes.sliced(pos, end - pos);
    pos = (end + 1 < n && bytes[end] == '\r' && bytes[end + 1] == '\n') ? end + 2 : end + 1;
    return true;
}

bool nextLine(QStringView text, qsizetype &pos, QStringView &line)
{
    return nextLineIn(text, pos, line);
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype pos = 0;
    QStringView line;
    while (nextLine(text, pos, line))
        lines.append(line.toString());
    return lines;
}

QByteArray joinLines(const QStringList &lines)
{
    QByteArray out;
    for (const QString &l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    return out;
}

QString sanitizeLine(QString text)
{
    for (QChar &c : text)
        if (c == u'\r' || c == u'\n')
            c = u'?';
    return text;
}

QStringList readLines(const QString &path)
{
    QFile f(path);
    FileInput::mustOpenForReading(f);
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw QuilloryError(FileInput::readFailure(f));
    return splitLines(decode(bytes));
}

static std::function<void(const QString &)> &beforeCommitHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

void setBeforeCommitHook(std::function<void(const QString &path)> hook)
{
    beforeCommitHook() = std::move(hook);
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    SafeSaveFile f(path);
    if (!f.open())
        throw QuilloryError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, f.errorString()));
    f.write(bytes);
    if (beforeCommitHook()) {
        try {
            beforeCommitHook()(path);
        } catch (...) {
            f.discard();
            throw;
        }
    }
    if (!f.commit())
        throw QuilloryError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, f.errorString()));
}

void writeLines(const QString &path, const QStringList &lines)
{
    writeBytes(path, joinLines(lines));
}

} // namespace TextCodec
