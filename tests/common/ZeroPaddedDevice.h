#pragma once

#include <QByteArray>
#include <QIODevice>
#include <cstring>

// Bytes followed by zeros up to a size no test could hold in memory, as a file cut off where
// space was reserved for the rest; counts what is read of it.
class ZeroPaddedDevice : public QIODevice
{
public:
    ZeroPaddedDevice(const QByteArray &start, qint64 size) : m_start(start), m_size(size)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 size() const override { return m_size; }
    qint64 served = 0;

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = qMax<qint64>(0, qMin(max, m_size - pos()));
        const qint64 fromStart = qBound<qint64>(0, m_start.size() - pos(), n);
        memcpy(data, m_start.constData() + pos(), size_t(fromStart));
        memset(data + fromStart, 0, size_t(n - fromStart));
        served += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_start;
    qint64 m_size;
};
