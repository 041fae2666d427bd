#pragma once

#include <QString>

class QWidget;
class VolumeBackend;

// Where the disc may be read from besides a drive that holds it.
enum class DiscSource {
    Drive,
    // The prompt also offers "Choose Folder..." and "Choose Image...": a copy of the disc, a disc
    // the drives do not know by its serial, or the disc image it was burnt from or saved as.
    DriveFolderOrImage,
    // "Choose Folder..." alone: where files are taken from the disc, which an image cannot give.
    DriveOrFolder,
};

// Finds the drive that holds the disc with this serial, asking the user to insert it ("Please insert disc labeled
// "<title>" into CD-Drive and press OK.", OK and Cancel) until it is found. Returns the drive's mount point (or the
// folder or image chosen), or empty when the user cancelled. backend nullptr: the default backend.
QString WaitForCD(QWidget *parent, const QString &serial, const QString &title, VolumeBackend *backend = nullptr,
                  DiscSource source = DiscSource::Drive);
