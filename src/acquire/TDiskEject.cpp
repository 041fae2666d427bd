#include "TDiskEject.h"

#include "EDiskEject.h"
#include "VolumeBackend.h"

TDiskEject::TDiskEject(QObject *parent, VolumeBackend *backend) : QObject(parent), m_backend(backend) {}

VolumeBackend *TDiskEject::backend() const
{
    return m_backend ? m_backend : VolumeBackend::defaultBackend();
}

bool TDiskEject::Ejected() const
{
    VolumeSpace space;
    return !backend()->diskFreeSpace(m_drive, space);
}

void TDiskEject::setEjected(bool ejected)
{
    if (!ejected)
        return;
    if (Ejected())
        throw EDiskEject(QStringLiteral("No disk in drive!"));
    Eject();
}

void TDiskEject::Eject()
{
    QString why;
    if (!backend()->eject(m_drive, &why))
        // The system's reason ("target is busy") tells the user what to close.
        throw EDiskEject(QStringLiteral("Could not eject disk!"), why);
}
