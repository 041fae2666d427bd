#include "ReportStream.h"

#include "core/QuilloryError.h"

#include <QIODevice>
#include <cstdio>
#include <cstring>

namespace
{
constexpr qsizetype BlockSize = 256 * 1024;
}

ReportStream::ReportStream(QIODevice *out) : m_out(out), m_encoder(QStringEncoder::Utf8)
{
    m_buffer.resize(BlockSize);
}

ReportStream::~ReportStream()
{
    try {
        flush();
    } catch (...) {
        // Nobody is left to tell (an error, or memory run out, is already on its way up); flush()
        // first to hear of it.
    }
}

char *ReportStream::room(qsizetype bytes)
{
    if (m_used + bytes > m_buffer.size()) {
        flush();
        if (bytes > m_buffer.size())
            m_buffer.resize(bytes);
    }
    return m_buffer.data() + m_used;
}

ReportStream &ReportStream::operator<<(QStringView text)
{
    char *start = room(m_encoder.requiredSpace(text.size()));
    char *end = m_encoder.appendToBuffer(start, text);
    m_used += end - start;
    return *this;
}

ReportStream &ReportStream::operator<<(QLatin1StringView text)
{
    // Only ever fixed ASCII markup, which UTF-8 keeps as it is.
    char *p = room(text.size());
    std::memcpy(p, text.data(), static_cast<size_t>(text.size()));
    m_used += text.size();
    return *this;
}

ReportStream &ReportStream::operator<<(char ascii)
{
    *room(1) = ascii;
    ++m_used;
    return *this;
}

ReportStream &ReportStream::operator<<(int number)
{
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%d", number);
    return *this << QLatin1StringView(digits, n);
}

void ReportStream::repeat(char ascii, qsizetype n)
{
    if (n <= 0)
        return;
    std::memset(room(n), ascii, static_cast<size_t>(n));
    m_used += n;
}

void ReportStream::endLine()
{
    char *p = room(2);
    p[0] = '\r';
    p[1] = '\n';
    m_used += 2;
}

void ReportStream::flush()
{
    if (m_used == 0)
        return;
    const qsizetype size = m_used;
    m_used = 0;
    writeOut(m_buffer.constData(), size);
}

void ReportStream::writeOut(const char *data, qsizetype size)
{
    if (!m_out || m_out->write(data, size) != size)
        throw QuilloryError(QStringLiteral("The report could not be written: %1")
                                .arg(m_out ? m_out->errorString() : QStringLiteral("no output")));
    m_written += size;
}
