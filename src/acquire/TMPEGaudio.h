#pragma once

#include "TID3v1.h"
#include "TID3v2.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

// MPEG audio (layers I to III, MPEG-1, 2 and 2.5): finds the first frame, an optional
// Xing, Info or VBRI header, and derives the bit rate and the duration. Reads the two ID3 tags too.
class TMPEGaudio
{
public:
    enum Version { Mpeg25 = 0, Mpeg2 = 2, Mpeg1 = 3 };

    struct FrameHeader {
        bool found = false;
        qint64 position = 0; // in the block it was found in
        int version = 0;     // the two version bits
        int layer = 0;       // 1, 2 or 3
        int bitRateIndex = 0;
        int sampleRateIndex = 0;
        bool padding = false;
        int channelMode = 0; // 3 is mono
    };

    struct VBRHeader {
        bool found = false;
        QByteArray id; // "Xing" or "VBRI"; "Info", the Xing header of a constant-rate file
        quint32 frames = 0;
        quint32 bytes = 0;
    };

    // Reads the tags and the audio; never throws. A device that cannot be read gives a
    // result that is not valid.
    void ReadFromDevice(QIODevice &device);

    const TID3v1 &ID3v1() const { return m_id3v1; }
    const TID3v2 &ID3v2() const { return m_id3v2; }
    const FrameHeader &Frame() const { return m_frame; }
    const VBRHeader &VBR() const { return m_vbr; }

    bool Valid() const;
    // The stream's rate varies: a Xing or VBRI header was found.
    bool Variable() const;
    // kbit/s; the table rate of the first frame, or the average from the VBR header.
    qint64 BitRate() const;
    double Duration() const;
    int SampleRate() const;

    // Decoding helpers, public for the tests of the tables.
    static bool IsFrameHeader(const QByteArray &block, qint64 pos);
    static FrameHeader DecodeHeader(const QByteArray &block, qint64 pos);
    static int TableBitRate(int version, int layer, int index);
    static int TableSampleRate(int version, int index);
    static int Coefficient(int version, int layer);
    static int Padding(const FrameHeader &header);
    static qint64 FrameLength(const FrameHeader &header);

private:
    bool searchBlock(const QByteArray &block);
    void readVBR(const QByteArray &block);
    bool countsBelieved() const;
    qint64 audioBytes() const;
    int streamTableRate() const;

    TID3v1 m_id3v1;
    TID3v2 m_id3v2;
    FrameHeader m_frame;
    FrameHeader m_next; // the frame after the first
    VBRHeader m_vbr;
    qint64 m_fileLength = 0;
};
