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
    const int channels = MediaBytes::le16(h, 22);
    if (!MediaBytes::hasAt(h, 0, "RIFF") || !MediaBytes::hasAt(h, 8, "WAVE") || !MediaBytes::hasAt(h, 12, "fmt ") ||
        MediaBytes::le32(h, 16) != 16 || MediaBytes::le16(h, 20) != 1 || (channels != 1 && channels != 2) ||
        !MediaBytes::hasAt(h, 36, "data"))
        return;
    m_valid = true;
    m_channels = channels;
    // The whole 32-bit rate: cutting it to 16 bits would turn 96000 Hz into 30464 Hz.
    m_sampleRate = MediaBytes::le32(h, 24);
    // The sample size is one byte wide in this header's layout; the byte after it is not part of it.
    m_bitsPerSample = MediaBytes::u8(h, 34);
    m_fileSize = qint64(MediaBytes::le32(h, 4)) + 8;
}

double TWAVFile::Duration() const
{
    if (!HasDuration())
        return 0;
    return double(m_fileSize - HeaderSize) * 8 / m_sampleRate / m_bitsPerSample / m_channels;
}
