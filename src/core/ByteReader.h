#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// Integers out of a block of bytes, in the byte order the format stores them, read from a
// position that moves on past each field. The bytes come from files and media nobody vouches
// for: a field that reaches outside the block reads its missing bytes as 0, as if the block
// were zero-padded, and the reader remembers that it ran out. Nothing is read outside the block.
class ByteReader
{
public:
    explicit ByteReader(QByteArrayView bytes, qint64 pos = 0) : m_bytes(bytes), m_pos(pos) {}

    // A reader over the same bytes from another position.
    ByteReader at(qint64 pos) const { return ByteReader(m_bytes, pos); }

    qint64 pos() const { return m_pos; }
    void skip(qint64 count) { m_pos += count; }
    // True once a field reached outside the block.
    bool ranOut() const { return m_ranOut; }

    quint8 u8() { return quint8(take(1, false)); }
    quint16 leU16() { return quint16(take(2, false)); }
    quint32 leU32() { return quint32(take(4, false)); }
    quint64 leU64() { return take(8, false); }
    quint16 beU16() { return quint16(take(2, true)); }
    quint32 beU32() { return quint32(take(4, true)); }

    // True when the block holds `text` here, whole; the position stays.
    bool holds(QByteArrayView text) const
    {
        return m_pos >= 0 && m_pos <= m_bytes.size() - text.size() && m_bytes.sliced(m_pos, text.size()) == text;
    }

private:
    quint64 take(int width, bool bigEndian)
    {
        quint64 value = 0;
        for (int i = 0; i < width; ++i) {
            const qint64 at = m_pos + i;
            quint64 byte = 0;
            if (at >= 0 && at < m_bytes.size())
                byte = quint8(m_bytes[at]);
            else
                m_ranOut = true;
            value |= byte << (8 * (bigEndian ? width - 1 - i : i));
        }
        m_pos += width;
        return value;
    }

    QByteArrayView m_bytes;
    qint64 m_pos;
    bool m_ranOut = false;
};
