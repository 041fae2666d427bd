#pragma once

#include "DiscNames.h"

#include <QHash>
#include <QString>
#include <memory>

// The search's name index: one file of DiscNames per disc, kept in the user's cache folder
// (never in DB, so no export carries it), in a folder of its own for each catalogue. A disc's
// file is used only while its contents file is the one it was made from, and made again
// otherwise; the folder is kept under a size, the oldest files going first. What is used
// once stays mapped for the next search of the same run.
class NameIndex
{
public:
    static constexpr qint64 DefaultMaxBytes = qint64(2) << 30;

    // root: where the indexes of every catalogue go (defaultRoot() when empty).
    explicit NameIndex(const QString &dbFolder, qint64 maxBytes = DefaultMaxBytes, const QString &root = {});

    // The cache folder's "Quillory!/names/".
    static QString defaultRoot();
    // This catalogue's folder.
    QString folder() const { return m_folder; }

    // The disc's names when its index file (or the copy held) was made from the contents file
    // as it is now; null otherwise.
    std::shared_ptr<const DiscNames> find(const QString &serial, const DiscNames::Stamp &stamp);
    // Saves names made from the contents file and holds them for the run. A cache that cannot
    // be written costs speed, nothing else.
    void store(const QString &serial, const std::shared_ptr<const DiscNames> &names);
    // Removes the oldest index files, of any catalogue, until the root holds at most maxBytes.
    void trim();

private:
    QString fileFor(const QString &serial) const;

    QString m_root;
    QString m_folder;
    qint64 m_max;
    QHash<QString, std::shared_ptr<const DiscNames>> m_held;
};
