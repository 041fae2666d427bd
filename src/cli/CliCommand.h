#pragma once

#include "CliIo.h"

#include <QString>
#include <QStringList>
#include <memory>

class Catalogue;
class CliPrompts;
class Workspace;

// What a command does with the catalogue in the data folder: nothing; reads or exports it, so
// the folder must be there (a missing catalogue is not an empty one); or may make it where
// there is none yet, saying so.
enum class CatalogueUse { None, Reads, MayCreate };

// What every command gets: the streams and the catalogue folder chosen with --data, opened
// through the same Workspace as the window's. The folder is checked for what the command does
// with it (CliCommand::catalogueUse) when the command first asks for it, so a bad command
// line is refused as such first.
class CliContext
{
public:
    CliContext(const CliIo &io, const QString &dataFolder, CatalogueUse use);
    ~CliContext();

    const CliIo &io() const { return m_io; }
    // Throws QuilloryError when the folder is not what the command needs.
    QString dataFolder() const;
    // Locks and loads the catalogue on first use; load messages go to standard error. Refused
    // with the lock's name while another program has the catalogue.
    Catalogue &catalogue();
    // Locks the catalogue without loading the tree (commands that replace it wholesale).
    Catalogue &lockedCatalogue();
    // The catalogue for a command that only reads it: loaded without the lock, so it works
    // while the window has the catalogue open, and never written.
    const Catalogue &readCatalogue();
    Workspace &workspace() { return *m_workspace; }
    // For a process about to end: a tree loaded only for reading is let go rather than freed
    // node by node (at tens of thousands of discs that takes a tenth of the start-up). A tree
    // loaded with the lock is closed as usual, since closing may still save it.
    void abandonReadTree();

private:
    CliIo m_io;
    QString m_dataFolder;
    CatalogueUse m_use;
    mutable bool m_checked = false;
    std::unique_ptr<CliPrompts> m_prompts;
    std::unique_ptr<Workspace> m_workspace;
    enum class Loaded { No, ForReading, Locked };
    Loaded m_loaded = Loaded::No;
};

// One command of quillory-cli. Errors are thrown: QuilloryError (exit 1) or CliUsageError (exit 2).
class CliCommand
{
public:
    virtual ~CliCommand() = default;
    virtual QString name() const = 0;
    // "tree", "check-mask MASK NAME..." and so on, without the program name.
    virtual QString usage() const = 0;
    virtual QString summary() const = 0;
    // Further lines for --help (options and what they mean).
    virtual QString details() const { return QString(); }
    // What the command does with the catalogue in the data folder, given these arguments.
    virtual CatalogueUse catalogueUse(const QStringList &args) const
    {
        Q_UNUSED(args);
        return CatalogueUse::Reads;
    }
    virtual int run(CliContext &ctx, const QStringList &args) = 0;
};
