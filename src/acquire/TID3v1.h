#pragma once

#include <QIODevice>
#include <QString>

// The version-1 tag in the last 128 bytes of an MP3 file.
class TID3v1
{
public:
    // Reads the tag; false (and no tag) when the device cannot be read.
    bool ReadFromDevice(QIODevice &device);

    bool Exists() const { return m_exists; }
    QString Title() const { return m_title; }
    QString Artist() const { return m_artist; }
    QString Album() const { return m_album; }

private:
    bool m_exists = false;
    QString m_title;
    QString m_artist;
    QString m_album;
};
