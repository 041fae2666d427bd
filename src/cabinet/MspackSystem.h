#pragma once

#include <QtGlobal>
#include <functional>
#include <mspack.h>

class QIODevice;

// The I/O functions libmspack calls: cabinets are read from their descriptors (regular files only),
// members are written into whatever device the reader has made ready for the next member.
struct MspackSystem {
    MspackSystem();

    mspack_system sys; // first: libmspack hands this pointer back
    int lastErrno = 0;
    bool notRegular = false; // the last cabinet refused was not a regular file
    QIODevice *output = nullptr;
    qint64 written = 0;
    qint64 writeLimit = -1;
    bool limitHit = false;
    // When set, takes each block written instead of output; false stops the extraction.
    std::function<bool(const char *bytes, int size)> sink;
    bool sinkStopped = false;
};
