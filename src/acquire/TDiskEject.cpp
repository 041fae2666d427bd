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
    m_lastSystemError.clear();
    if (!backend()->eject(m_drive, &m_lastSystemError))
        throw EDiskEject(QStringLiteral("Could not eject disk!"));
}
