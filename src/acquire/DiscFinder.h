#pragma once

#include <QString>
#include <QStringList>

class VolumeBackend;

// The mount point (the drive's root text, ending in "/") of the first drive, in drive-list order, that holds a
// medium whose volume serial text equals serial, case-sensitively; empty when no drive holds it. The label never
// decides: two discs may share one. A drive that has a medium but no mounted volume is mounted, since whoever
// asks is waiting for that disc; drives already mounted are looked at first, so nothing is mounted when the disc
// is already there. backend nullptr: the default backend.
QString findDiscBySerial(const QString &serial, VolumeBackend *backend = nullptr);
// The roots of every mounted drive whose medium has that serial, in drive-list order: more than
// one when a medium was copied block for block.
QStringList drivesHoldingSerial(const QString &serial, VolumeBackend *backend = nullptr);

// Whether folder is where one of the drives has its volume mounted. A folder further down would
// be scanned under the whole volume's serial, so a second folder of the same disk would pass for
// the first.
bool isVolumeRoot(const QString &folder, VolumeBackend *backend = nullptr);
// The serial of the volume mounted at folder; empty when folder is not a volume's root or the
// volume tells none.
QString volumeSerialAt(const QString &folder, VolumeBackend *backend = nullptr);
