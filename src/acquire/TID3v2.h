#pragma once

#include "MediaBytes.h"

#include <QIODevice>
#include <QString>

#include <functional>

// The version-2 tag at the start of an MP3 file. Texts are read only from tags of major
// version 3; a tag of any other version exists, with empty texts.
class TID3v2
{
public:
    // Reads the tag; false (and no tag) when the device cannot be read.
    bool ReadFromDevice(QIODevice &device);

    bool Exists() const { return m_exists; }
    // Bytes the tag takes at the start of the file, header included; 0 without a tag or
    // when the header claims more than the file holds.
    qint64 Size() const { return m_size; }
    QString Title() const { return m_title; }
    QString Artist() const { return m_artist; }
    QString Album() const { return m_album; }

private:
    // Bytes of the tag (its header included) at a position: from the device, or from the tag
    // with its unsynchronisation undone.
    using TagReader = std::function<MediaBytes::ReadResult(qint64 pos, qint64 count)>;
    bool readFrames(const TagReader &read, qint64 end, quint8 flags);

    bool m_exists = false;
    qint64 m_size = 0;
    int m_majorVersion = 0;
    QString m_title;
    QString m_artist;
    QString m_album;
};
