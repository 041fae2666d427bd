#pragma once

#include <QString>

class QWidget;
class VolumeBackend;

// Finds the drive that holds the disc with this serial, asking the user to insert it ("Please insert disc labeled
// "<title>" into CD-Drive and press OK.", OK and Cancel) until it is found. Returns the drive's mount point, or
// empty when the user cancelled. backend nullptr: the default backend.
QString WaitForCD(QWidget *parent, const QString &serial, const QString &title, VolumeBackend *backend = nullptr);
