#include "TWAVFile.h"

#include "MediaBytes.h"

static constexpr qint64 HeaderSize = 44;

void TWAVFile::ReadFromDevice(QIODevice &device)
{
    *this = TWAVFile();
    const MediaBytes::ReadResult read = MediaBytes::readAt(device, 0, HeaderSize);
    const QByteArray &h = read.bytes;
    if (read.failed || h.size() < HeaderSize)
        return;
    const ByteReader header(h);
    const int channels = header.at(22).leU16();
    if (!header.at(0).holds("RIFF") || !header.at(8).holds("WAVE") || !header.at(12).holds("fmt ") ||
        header.at(16).leU32() != 16 || header.at(20).leU16() != 1 || (channels != 1 && channels != 2) ||
        !header.at(36).holds("data"))
        return;
    m_valid = true;
    m_channels = channels;
    // The whole 32-bit rate: cutting it to 16 bits would turn 96000 Hz into 30464 Hz.
    m_sampleRate = header.at(24).leU32();
    // The sample size is one byte wide in this header's layout; the byte after it is not part of it.
    m_bitsPerSample = header.at(34).u8();
    // A file written through a pipe could not go back to fill the size in, and holds 0xFFFFFFFF
    // (or 0) there: as a size that would be hours of sound. The file's own length stands for it.
    const quint32 riffSize = header.at(4).leU32();
    m_fileSize = riffSize == 0xFFFFFFFF || riffSize == 0 ? device.size() : qint64(riffSize) + 8;
}

double TWAVFile::Duration() const
{
    if (!HasDuration())
        return 0;
    return double(m_fileSize - HeaderSize) * 8 / m_sampleRate / m_bitsPerSample / m_channels;
}
