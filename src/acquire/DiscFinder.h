#pragma once

#include <QString>

class VolumeBackend;

// The mount point (the drive's root text, ending in "/") of the first drive, in drive-list order, that holds a
// medium whose volume serial text equals serial, case-sensitively; empty when no drive holds it. The label never
// decides: two discs may share one. A drive that has a medium but no mounted volume is mounted, since whoever
// asks is waiting for that disc; drives already mounted are looked at first, so nothing is mounted when the disc
// is already there. backend nullptr: the default backend.
QString findDiscBySerial(const QString &serial, VolumeBackend *backend = nullptr);
