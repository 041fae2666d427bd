#pragma once

#include <QIODevice>
#include <QString>

// Ogg Vorbis: the identification packet of the first page, the TITLE, ARTIST and ALBUM
// comments, and the last granule position for the length. Also handed ".APE" files, in
// which it finds no identification packet.
class TOggVorbis
{
public:
    // Reads the stream's details; never throws. A device that cannot be read is not valid.
    void ReadFromDevice(QIODevice &device);

    bool Valid() const { return m_valid; }
    int Channels() const { return m_channels; }
    quint32 SampleRate() const { return m_sampleRate; }
    // kbit/s from the identification packet; 0 when absent or implausible.
    qint64 FileSize() const { return m_fileSize; }
    QString Title() const { return m_title; }
    QString Artist() const { return m_artist; }
    QString Album() const { return m_album; }
    double Duration() const;
    // kbit/s averaged over the whole file.
    qint64 BitRate() const;

private:
    bool readComments(QIODevice &device);
    bool readSamples(QIODevice &device);
    // The file's bytes less the comments too long to be read whole (pictures, mostly) and the
    // headers of the pages they went on to, which are no part of the sound.
    qint64 soundBytes() const;

    bool m_valid = false;
    int m_channels = 0;
    quint32 m_sampleRate = 0;
    int m_nominalBitRate = 0;
    qint64 m_fileSize = 0;
    quint32 m_samples = 0;
    qint64 m_unreadBytes = 0;
    QString m_title;
    QString m_artist;
    QString m_album;
};
