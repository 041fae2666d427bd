#include "DiscBatches.h"


DiscBatches::DiscBatches(const QList<CompilationEntry> &entries)
{
    for (const CompilationEntry &e : entries)
        add(e);
}

int DiscBatches::Ind(const QString &serial)
{
    for (qsizetype i = 0; i < m_batches.size(); ++i)
        if (m_batches.at(i).Serial == serial)
            return static_cast<int>(i);
    m_batches.append(DiscBatch{serial, QString(), QStringList()});
    return static_cast<int>(m_batches.size() - 1);
}

void DiscBatches::add(const CompilationEntry &entry)
{
    DiscBatch &b = m_batches[Ind(entry.Place.serial())];
    b.Title = entry.Place.title();
    b.Sources.append(entry.Place.onDisc(entry.Name));
}

QStringList DiscBatches::onMedium(const DiscBatch &batch, const QString &mediumRoot, QStringList *refused)
{
    QStringList out;
    for (const QString &s : batch.Sources) {
        const QString path = EntryPlace::onMedium(mediumRoot, s);
        if (!path.isEmpty())
            out.append(path);
        else if (refused)
            refused->append(batch.Title + EntryPlace::TitleEnd + s);
    }
    return out;
}

bool DiscBatches::copyEach(const WaitForDisc &wait, const Copy &copy) const
{
    for (const DiscBatch &b : m_batches) {
        const QString root = wait(b.Serial, b.Title);
        if (root.isEmpty())
            return false;
        QStringList refused;
        const QStringList sources = onMedium(b, root, &refused);
        copy(sources, refused);
    }
    return true;
}
