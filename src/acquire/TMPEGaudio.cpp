#include "TMPEGaudio.h"

#include "MediaBytes.h"

// The block the frame search looks at; a frame found near its end still has its successor
// (at most 1729 bytes further on) inside the block.
static constexpr qint64 BlockSize = 3458;
static constexpr qint64 SearchPositions = 1730;

// kbit/s by [MPEG-1 or not][layer - 1][index], ISO/IEC 11172-3 and 13818-3.
static constexpr int BitRates[2][3][16] = {
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    },
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    },
};

// Hz by version bits (00 MPEG-2.5, 10 MPEG-2, 11 MPEG-1) and index.
static constexpr int SampleRates[4][4] = {
    {11025, 12000, 8000, 0},
    {0, 0, 0, 0},
    {22050, 24000, 16000, 0},
    {44100, 48000, 32000, 0},
};

bool TMPEGaudio::IsFrameHeader(const QByteArray &block, qint64 pos)
{
    if (pos < 0 || pos + 4 > block.size())
        return false;
    ByteReader header(block, pos);
    const quint8 b0 = header.u8();
    const quint8 b1 = header.u8();
    const quint8 b2 = header.u8();
    const quint8 b3 = header.u8();
    return b0 == 0xFF && (b1 & 0xE0) == 0xE0 && ((b1 >> 3) & 3) != 1 && ((b1 >> 1) & 3) != 0 && (b2 >> 4) != 0 &&
           (b2 >> 4) != 15 && ((b2 >> 2) & 3) != 3 && (b3 & 3) != 2;
}

TMPEGaudio::FrameHeader TMPEGaudio::DecodeHeader(const QByteArray &block, qint64 pos)
{
    FrameHeader h;
    ByteReader fields(block, pos + 1);
    const quint8 b1 = fields.u8();
    const quint8 b2 = fields.u8();
    const quint8 b3 = fields.u8();
    h.found = true;
    h.position = pos;
    h.version = (b1 >> 3) & 3;
    h.layer = 4 - ((b1 >> 1) & 3);
    h.bitRateIndex = b2 >> 4;
    h.sampleRateIndex = (b2 >> 2) & 3;
    h.padding = (b2 >> 1) & 1;
    h.channelMode = b3 >> 6;
    return h;
}

int TMPEGaudio::TableBitRate(int version, int layer, int index)
{
    if (layer < 1 || layer > 3 || index < 0 || index > 15 || version < 0 || version > 3 || version == 1)
        return 0;
    return BitRates[version == Mpeg1 ? 0 : 1][layer - 1][index];
}

int TMPEGaudio::TableSampleRate(int version, int index)
{
    if (version < 0 || version > 3 || index < 0 || index > 3)
        return 0;
    return SampleRates[version][index];
}

int TMPEGaudio::Coefficient(int version, int layer)
{
    if (layer == 1)
        return version == Mpeg1 ? 48 : 24;
    return version == Mpeg1 ? 144 : 72;
}

int TMPEGaudio::Padding(const FrameHeader &header)
{
    if (!header.padding)
        return 0;
    return header.layer == 1 ? 4 : 1;
}

qint64 TMPEGaudio::FrameLength(const FrameHeader &header)
{
    const qint64 rate = TableSampleRate(header.version, header.sampleRateIndex);
    if (rate == 0)
        return 0;
    const qint64 bits = qint64(TableBitRate(header.version, header.layer, header.bitRateIndex)) * 1000;
    return Coefficient(header.version, header.layer) * bits / rate + Padding(header);
}

bool TMPEGaudio::searchBlock(const QByteArray &block)
{
    for (qint64 p = 0; p < SearchPositions; ++p) {
        if (!IsFrameHeader(block, p))
            continue;
        const FrameHeader header = DecodeHeader(block, p);
        const qint64 next = p + FrameLength(header);
        if (IsFrameHeader(block, next)) {
            m_frame = header;
            m_next = DecodeHeader(block, next);
            readVBR(block);
            return true;
        }
    }
    return false;
}

void TMPEGaudio::readVBR(const QByteArray &block)
{
    const bool mono = m_frame.channelMode == 3;
    qint64 offset;
    if (m_frame.version == Mpeg1)
        offset = mono ? 21 : 36;
    else
        offset = mono ? 13 : 21;
    // A header cut off by the end of the block reads its missing bytes as 0.
    const ByteReader header(block, m_frame.position + offset);
    // Encoders write "Info" where "Xing" would stand when every frame has the same rate; the
    // frame that holds it may still have another rate than the rest (ffmpeg raises it to make
    // room for the header), so its counts give the length and the next frame the rate.
    const bool info = header.holds("Info");
    if (info || header.holds("Xing")) {
        ByteReader counts = header.at(header.pos() + 8);
        m_vbr.found = true;
        m_vbr.id = info ? "Info" : "Xing";
        m_vbr.frames = counts.beU32();
        m_vbr.bytes = counts.beU32();
    } else if (header.holds("VBRI")) {
        ByteReader counts = header.at(header.pos() + 10);
        m_vbr.found = true;
        m_vbr.id = "VBRI";
        m_vbr.bytes = counts.beU32();
        m_vbr.frames = counts.beU32();
    }
}

void TMPEGaudio::ReadFromDevice(QIODevice &device)
{
    *this = TMPEGaudio();
    if (!m_id3v1.ReadFromDevice(device) || !m_id3v2.ReadFromDevice(device)) {
        *this = TMPEGaudio();
        return;
    }
    m_fileLength = device.size();
    const qint64 tagSize = m_id3v2.Size();
    MediaBytes::ReadResult read = MediaBytes::readAt(device, tagSize, BlockSize);
    if (read.failed) {
        *this = TMPEGaudio();
        return;
    }
    bool found = searchBlock(read.bytes);
    if (!found && read.bytes.size() == BlockSize) {
        read = MediaBytes::readAt(device, (m_fileLength - tagSize) / 2, BlockSize);
        if (read.failed) {
            *this = TMPEGaudio();
            return;
        }
        found = searchBlock(read.bytes);
    }
    if (!found) {
        *this = TMPEGaudio();
        return;
    }
}

int TMPEGaudio::SampleRate() const
{
    return m_frame.found ? TableSampleRate(m_frame.version, m_frame.sampleRateIndex) : 0;
}

bool TMPEGaudio::Variable() const
{
    return m_vbr.found && m_vbr.id != "Info";
}

// A frame count the file could not hold, even in frames of the lowest rate, is damage or a
// placeholder (0xFFFFFFFF); the length then comes from the frames' rate, as without a count.
bool TMPEGaudio::countsBelieved() const
{
    if (!m_vbr.found || m_vbr.frames == 0)
        return false;
    FrameHeader shortest = m_frame;
    shortest.bitRateIndex = 1;
    shortest.padding = false;
    return quint64(m_vbr.frames) * quint64(FrameLength(shortest)) <= quint64(qMax<qint64>(m_fileLength, 0));
}

qint64 TMPEGaudio::audioBytes() const
{
    return m_fileLength - m_id3v2.Size() - m_frame.position;
}

int TMPEGaudio::streamTableRate() const
{
    const FrameHeader &f = m_vbr.id == "Info" ? m_next : m_frame;
    return TableBitRate(f.version, f.layer, f.bitRateIndex);
}

qint64 TMPEGaudio::BitRate() const
{
    if (!m_frame.found)
        return 0;
    if (Variable() && countsBelieved()) {
        const double perFrame = double(m_vbr.bytes) / double(m_vbr.frames) - Padding(m_frame);
        const double kbit = perFrame * SampleRate() / Coefficient(m_frame.version, m_frame.layer) / 1000.0;
        return qint64(roundHalfEven(kbit));
    }
    return streamTableRate();
}

double TMPEGaudio::Duration() const
{
    if (!m_frame.found)
        return 0;
    if (countsBelieved())
        return double(m_vbr.frames) * Coefficient(m_frame.version, m_frame.layer) * 8 / SampleRate();
    return double(audioBytes()) * 8 / streamTableRate() / 1000;
}

bool TMPEGaudio::Valid() const
{
    if (!m_frame.found)
        return false;
    const qint64 rate = BitRate();
    return rate >= 8 && rate <= 448 && Duration() >= 0.1;
}
