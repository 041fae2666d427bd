#include "ReportOutput.h"

#include "core/QuilloryError.h"
#include "store/Catalogue.h"

ReportOutput::ReportOutput(const QString &path, const QString &dbFolder) : m_path(path), m_db(dbFolder), m_file(path)
{
    // A file the user may replace in a folder where nothing new may be created.
    m_file.setDirectWriteFallback(true);
}

bool ReportOutput::open()
{
    if (!m_path.isEmpty())
        Catalogue::refuseWriteInsideDb(m_db, m_path, QStringLiteral("report"));
    return !m_path.isEmpty() && m_file.open(QIODevice::WriteOnly);
}

void ReportOutput::commit()
{
    if (!m_file.commit())
        throw QuilloryError(
            QStringLiteral("The report could not be written to %1: %2").arg(m_path, m_file.errorString()));
}

void ReportOutput::discard()
{
    if (m_file.isOpen())
        m_file.cancelWriting();
}
