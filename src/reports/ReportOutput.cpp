#include "ReportOutput.h"

#include "core/QuilloryError.h"
#include "store/Catalogue.h"

ReportOutput::ReportOutput(const QString &path, const QString &dbFolder) : m_path(path), m_db(dbFolder), m_file(path)
{
}

bool ReportOutput::open()
{
    if (!m_path.isEmpty())
        Catalogue::refuseWriteOverCatalogue(m_db, m_path, QStringLiteral("report"));
    return !m_path.isEmpty() && m_file.open();
}

QString ReportOutput::openFailure() const
{
    if (m_path.isEmpty())
        return QStringLiteral("Invalid file name!");
    return QStringLiteral("Invalid file name! %1 cannot be created: %2.").arg(m_path, m_file.errorString());
}

void ReportOutput::commit()
{
    if (!m_file.commit())
        throw QuilloryError(
            QStringLiteral("The report could not be written to %1: %2").arg(m_path, m_file.errorString()));
}

void ReportOutput::discard()
{
    m_file.discard();
}
