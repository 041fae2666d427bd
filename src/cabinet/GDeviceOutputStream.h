#pragma once

// Qt's "signals" keyword would clash with GLib's struct fields.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

class QIODevice;

// A seekable GOutputStream that writes into a QIODevice, so that libgcab can write a
// cabinet into a file (TSTCabWriter's partial file, renamed into place when complete).
// The device must be open for writing, stay alive while the stream is used and be random-access.
GOutputStream *GDeviceOutputStreamNew(QIODevice *device);
// errno of the last failed write or seek on the stream, 0 when none failed.
int GDeviceOutputStreamLastErrno(GOutputStream *stream);
