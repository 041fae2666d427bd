#pragma once

#include "store/TreeFile.h"

#include <QDate>
#include <QString>
#include <functional>

class Catalogue;

// Export and import of the whole catalogue as one cabinet: every disc's contents file in
// the tree's top-to-bottom order, then "groups.tree". The dialogs, the busy window and the
// completion boxes belong to the caller; these report progress and throw on failure.
class DatabaseBackup
{
public:
    // position goes from 0 to maximum (number of tree nodes + 1).
    using Progress = std::function<void(int position, int maximum)>;

    // Saves the tree to "groups.tree" and loads it back (so the file and the tree agree),
    // then writes the archive: the contents files of the discs in the tree and "groups.tree",
    // nothing else of DB. An older archive of that name is replaced only once the new one is
    // complete. Refused, with nothing written, when the archive would lie inside DB (it would
    // replace a catalogue file), or when the tree could not be loaded (saving it then would
    // overwrite the user's "groups.tree" with an empty one). A disc whose contents file the
    // import would refuse (see below) is left out, so that the archive can be restored; info
    // names those discs once the archive is written. Returns how many were left out.
    static int exportDatabase(Catalogue &catalogue, const QString &archiveFile, const Progress &progress = {},
                              const InfoCallback &info = {});

    // Restores an archive (following a set) into DB, all or nothing; the caller holds the
    // lock. Everything is extracted into a staging folder and checked first: member names,
    // sizes (the tree's limit, the contents lists' limit), and the tree that will be in force
    // must load completely, its discs looked up in the archive and in DB as a load looks them
    // up, and name no serial twice; every contents file it takes from the archive must read
    // whole as the catalogue reads a disc, no record naming what a medium cannot hold ("..").
    // Only "groups.tree" and the contents files of the discs that tree names are taken.
    // Then they replace the files of DB in one switch that a kill cannot split (finished at
    // the next start if it is interrupted); other files of DB stay. A refused archive changes
    // nothing in DB. The caller then loads the catalogue again.
    // progress: members unpacked, then discs checked. A failure after the switch's deciding
    // step does not undo the import: the returned text says what waits for the next start,
    // and the catalogue reads as imported meanwhile. It otherwise names the discs of the tree
    // that neither the archive nor DB holds contents for, which the catalogue's load leaves out;
    // empty when there is nothing to tell.
    static QString importDatabase(const QString &archiveFile, const QString &dbFolder, const Progress &progress = {});

    // The save dialog's proposal: "Database Backup " + the date as dd-mm-yyyy.
    static QString proposedExportName(const QDate &today);
    // The first-run sample archive ("sample.cab" in the data folder or the shared folder),
    // or an empty string when there is none.
    static QString sampleArchive(const QString &dataFolder);

    static QString exportCompleteMessage() { return QStringLiteral("Export Database complete."); }
    static QString importCompleteMessage() { return QStringLiteral("Import Database complete."); }
    static QString importQuestion()
    {
        return QStringLiteral("All existing files will be overwritten. Continue anyway?");
    }
    static QString sampleQuestion()
    {
        return QStringLiteral("Welcome to Quillory! Do you want to import sample database?");
    }
    static QString exportBusyCaption() { return QStringLiteral("Creating archive. Please wait..."); }
    static QString importBusyCaption() { return QStringLiteral("Restoring archive. Please wait..."); }
};
