#include "core/TextCodec.h"

#include "core/QuilloryError.h"

#include <QFile>
#include <QSaveFile>
#include <cstring>

namespace TextCodec
{

bool isValidUtf8(const QByteArray &bytes)
{
    // Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: the common case for catalogue files.
        while (i + 8 <= n) {
            quint64 word;
            memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ULL)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
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
            return false;
        }
        if (i + len > n)
            return false;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (int k = 2; k < len; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        i += len;
    }
    return true;
}

QString fromWindows1252(const QByteArray &bytes)
{
    // 0x80..0x9F differ from Latin-1; undefined positions map to themselves as Latin-1 does.
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes.at(i));
        d[i] = (c >= 0x80 && c < 0xA0) ? QChar(high[c - 0x80]) : QChar(c);
    }
    return out;
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

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype lf = text.indexOf(u'\n', start);
        if (lf < 0) {
            lines.append(text.mid(start));
            break;
        }
        qsizetype end = lf;
        if (end > start && text.at(end - 1) == u'\r')
            --end;
        lines.append(text.mid(start, end - start));
        start = lf + 1;
    }
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
    if (!f.open(QIODevice::ReadOnly))
        throw QuilloryError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw QuilloryError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, f.errorString()));
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
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw QuilloryError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, f.errorString()));
    if (f.write(bytes) != bytes.size()) {
        const QString why = f.errorString();
        f.cancelWriting();
        throw QuilloryError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, why));
    }
    if (beforeCommitHook()) {
        try {
            beforeCommitHook()(path);
        } catch (...) {
            f.cancelWriting();
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
