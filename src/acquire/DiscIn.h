#pragma once

#include <QString>

class VolumeBackend;

// True when the drive with this text holds a mounted, readable volume (its size can be read).
// backend nullptr: the default backend.
bool DiscIn(const QString &drive, VolumeBackend *backend = nullptr);
