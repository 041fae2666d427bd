#pragma once

#include <QByteArray>
#include <QIODevice>
#include <cstring>

// A device over bytes that cannot seek, as a pipe: readers must skip by reading.
class SequentialDevice : public QIODevice
{
public:
    explicit SequentialDevice(const QByteArray &bytes) : m_bytes(bytes) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        const qint64 n = qMin(max, qint64(m_bytes.size()) - m_at);
        memcpy(out, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};
