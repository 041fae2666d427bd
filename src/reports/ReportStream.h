#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QStringEncoder>
#include <QStringView>

class QIODevice;

// The text of a report on its way to a device: UTF-8 like every text file of the catalogue,
// collected in one buffer and written out in large blocks, so a report of a hundred thousand
// rows costs a few dozen writes and no text that grows with the report. A failed write throws
// QuilloryError. flush() writes out what is left; the destructor does too, but can only drop
// a failure, so callers that care flush first.
class ReportStream
{
public:
    explicit ReportStream(QIODevice *out);
    ~ReportStream();
    ReportStream(const ReportStream &) = delete;
    ReportStream &operator=(const ReportStream &) = delete;

    ReportStream &operator<<(QStringView text);
    ReportStream &operator<<(const QString &text) { return *this << QStringView(text); }
    ReportStream &operator<<(QLatin1StringView text);
    ReportStream &operator<<(char ascii);
    ReportStream &operator<<(int number);
    // The same character n times.
    void repeat(char ascii, qsizetype n);
    // CR LF.
    void endLine();

    void flush();
    // Bytes handed to the device so far.
    qint64 written() const { return m_written; }

private:
    char *room(qsizetype bytes);
    void writeOut(const char *data, qsizetype size);

    QIODevice *m_out;
    QStringEncoder m_encoder;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    qint64 m_written = 0;
};
