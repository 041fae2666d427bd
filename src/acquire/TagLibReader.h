#pragma once

#include <QIODevice>
#include <QString>

// Audio formats the built-in readers do not know (FLAC, Opus, Speex, FLAC in Ogg, MP4 audio,
// WMA, AIFF, WavPack, Monkey's Audio), read through TagLib from the device: the tags and the
// stream's properties, never the audio itself.
struct AudioDetails {
    bool valid = false;
    QString title;
    QString artist;
    QString album;
    int milliseconds = 0;
    int kbit = 0;        // kbit/s, as TagLib reports it
    int sampleRate = 0;  // Hz, for the lossless formats only; 0 otherwise
    bool vorbis = false; // an Ogg Vorbis stream
};

// The bytes decide the format, as they do for a file whose name says nothing. Never throws; a
// damaged file is not valid.
AudioDetails ReadTagLibAudio(QIODevice &device);
