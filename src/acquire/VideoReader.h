#pragma once

#include <QIODevice>
#include <QString>

// Video files read through libmediainfo from the device, the parse held to the headers
// (and to the few places a container keeps its length, which MediaInfo asks to jump to).
struct VideoDetails {
    bool valid = false; // MediaInfo recognised a container with a video or an audio stream
    int milliseconds = -1; // -1 when the container does not say
    int width = 0;
    int height = 0;
    QString videoCodec; // MediaInfo's format names: "AVC", "HEVC", "VP9", "MPEG Video"...
    QString audioCodec;
    int audioChannels = 0;
};

// Never throws.
VideoDetails ReadVideo(QIODevice &device);
