#pragma once

#include "CompilationEntry.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Entries grouped by the disc that holds them, one batch per disc in the order each disc first
// appears, so the user is asked for every disc once. Sources are places inside the disc
// ("\Photos\beach.jpg"); the medium's mount point is known only once the disc has been found.
struct DiscBatch {
    QString Serial;
    QString Title;
    QStringList Sources;
};

class DiscBatches
{
public:
    DiscBatches() = default;
    explicit DiscBatches(const QList<CompilationEntry> &entries);

    // The batch of the disc with this serial; a new serial gets a new, empty batch at the end.
    int Ind(const QString &serial);
    void add(const CompilationEntry &entry);

    const QList<DiscBatch> &batches() const { return m_batches; }
    int count() const { return static_cast<int>(m_batches.size()); }

    // The sources of one batch on the medium mounted at mediumRoot; those that have no place on
    // a medium (EntryPlace::onMedium) go to refused, as the catalogue names them.
    static QStringList onMedium(const DiscBatch &batch, const QString &mediumRoot, QStringList *refused = nullptr);

    // The mount point of the disc with this serial once the user has put it in, or empty when
    // they gave up.
    using WaitForDisc = std::function<QString(const QString &serial, const QString &title)>;
    // Batch by batch: waits for the disc, then hands its sources, as they lie on the medium, to
    // copy, with the ones refused. Giving up at a disc stops everything there (what was copied
    // stays); then false.
    using Copy = std::function<void(const QStringList &sources, const QStringList &refused)>;
    bool copyEach(const WaitForDisc &wait, const Copy &copy) const;

private:
    QList<DiscBatch> m_batches;
};
