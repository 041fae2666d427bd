#pragma once

#include <QIODevice>

// The canonical 44-byte header of a PCM WAV file.
class TWAVFile
{
public:
    // Reads the header; never throws. A device that cannot be read is not valid.
    void ReadFromDevice(QIODevice &device);

    bool Valid() const { return m_valid; }
    int Channels() const { return m_channels; }
    quint32 SampleRate() const { return m_sampleRate; }
    int BitsPerSample() const { return m_bitsPerSample; }
    // RIFF size + 8.
    qint64 FileSize() const { return m_fileSize; }
    // False when the header's sample rate or bits per sample is 0: the duration is unknown.
    bool HasDuration() const { return m_valid && m_sampleRate > 0 && m_bitsPerSample > 0 && m_channels > 0; }
    double Duration() const;

private:
    bool m_valid = false;
    int m_channels = 0;
    quint32 m_sampleRate = 0;
    int m_bitsPerSample = 0;
    qint64 m_fileSize = 0;
};
