#pragma once

#include "ScanOptions.h"
#include "ScanProblem.h"
#include "store/TCD.h"

#include <QString>
#include <functional>
#include <optional>

class Catalogue;
class GroupTree;
class TreeNode;

// The volume being added, as the Add Disc dialog shows it.
struct DiscVolume {
    QString root;  // the local folder to scan (a mount point, or any folder)
    QString image; // or a disc image file read in its place (ImageScanner)
    QString label;
    QString serial; // eight upper-case hexadecimal digits
    QString fileSystem;
    quint64 totalSize = 0; // for the progress gauge; 0 keeps it still
};

// What the user typed for the disc.
struct DiscDetails {
    QString title;
    QString genre;
    QString description; // may hold line breaks
    qint32 number = 0;
    // Set: the disc goes into the tree lent, to this borrower (a new scan of a lent disc).
    std::optional<QString> lentTo;
};

// Adding a disc to the catalogue once the user has pressed Add: scan the volume into its two
// lists, pack them into the disc's contents file, and put the disc's record into the tree.
// The dialog and the command line ask their own questions (title, replace) around it.
class DiscAdder
{
public:
    explicit DiscAdder(Catalogue &catalogue, ScanOptions options = {});

    // The title checks, which are the tree's own rule for every name (TreeNames::TitleProblem):
    // the error message to show, or a null string when the title will do.
    static QString CheckTitle(const QString &title);
    // The title checks, then the same rule for the genre and the description: a "|" there
    // would split the disc's record in "groups.tree" into the wrong fields.
    static QString CheckDetails(const DiscDetails &details);
    static QString alreadyInDatabaseQuestion();
    // A drive that went leaves none chosen: then the message asks for a drive, not a disc.
    static QString discNotPresentMessage(const QString &drive);
    static QString noDriveChosenMessage();
    // A volume label made into a title: MISC_4 gives "Misc 4".
    static QString CorrectLabel(const QString &label);
    // Whether a serial can name a disc: eight hexadecimal digits in upper case.
    static bool isValidSerial(const QString &serial);

    // What a scan with checksums reads, for its gauge: the space the volume at root has in use
    // where the system tells it (a stick's size would make the time left far too long), else
    // totalSize.
    static quint64 bytesToRead(const QString &root, quint64 totalSize);
    // The busy window's line while checksums are read: "1.2 GB of 4.7 GB, 85 MB/s, 0:52 left",
    // the rate and the time left once a second of reading gives them.
    static QString readingText(quint64 read, quint64 total, qint64 elapsedMs);

    // The fields of a disc's record that the user types, written into the record the way
    // "groups.tree" keeps them (the description folded onto one line), and read back.
    static void setDetails(TCD &cd, const DiscDetails &details);
    // Read back with "\n" line ends, as a text box holds them.
    static DiscDetails detailsOf(const TCD &cd);
    // What a new scan of a catalogued disc keeps of its entry: the details, and its borrower
    // when it is lent.
    static DiscDetails keptDetails(const TreeNode &disc);
    // The Edit Disc Entry dialog's "Change": the checks of Add, then the new details into the
    // disc's record and its node's text. The disc stays where it is, lent or present, with its
    // borrower. Returns the message for the user (nothing changed), or a null string.
    static QString changeDisc(GroupTree &tree, TreeNode *disc, const DiscDetails &details);

    // The disc already catalogued under this serial, if any.
    TreeNode *existing(const QString &serial) const;
    // The group a new disc goes into: the selected node when it is a group, else the
    // selected disc's group; the root when nothing is selected.
    TreeNode *parentFor(TreeNode *selected) const;
    // The number proposed for a new disc: the discs in the catalogue plus one.
    qint32 nextNumber() const;

    void setProcessEvents(std::function<void()> fn) { m_processEvents = std::move(fn); }
    void setGauge(std::function<void(quint64)> fn) { m_gauge = std::move(fn); }
    // Called when the scan has read the whole volume, before anything is stored: throws to give
    // up the disc (its medium has gone, or another took its place).
    void setScanCheck(std::function<void()> fn) { m_scanCheck = std::move(fn); }

    // Scans the volume, replaces the contents file and adds the disc as the last child of
    // parent. `replace` is the old entry of the same disc, removed once the new one is ready.
    // The contents file and "groups.tree" with the new entry are switched in at once
    // (CatalogueSwitch): the tree is saved with the disc. On any failure the loose lists are
    // deleted, the tree and any older contents file are left as they were, and QuilloryError
    // is thrown. Refused when the tree could not be read (it cannot be saved).
    TreeNode *add(const DiscVolume &volume, const DiscDetails &details, TreeNode *parent, TreeNode *replace = nullptr);

    // Whether add(..., replace) reads every byte: checksums are on, or the disc it replaces was
    // catalogued with them (an update must not quietly take away what Verify Disc compares
    // contents by).
    bool readsEveryByte(const TreeNode *replace) const;

    // Bytes counted by the last scan (including files left out by the filters).
    quint64 scannedBytes() const { return m_scannedBytes; }
    // What the last scan could not read; the disc was added without it, and the user is told.
    const ScanProblems &unreadable() const { return m_unreadable; }
    // After an add that went through, what could not be finished at once (to tell the user), or empty.
    const QString &unfinished() const { return m_unfinished; }

private:
    quint64 scanToLists(const DiscVolume &volume, bool checksums);

    Catalogue &m_catalogue;
    const ScanOptions m_options;
    std::function<void()> m_processEvents;
    std::function<void(quint64)> m_gauge;
    std::function<void()> m_scanCheck;
    quint64 m_scannedBytes = 0;
    ScanProblems m_unreadable;
    QString m_unfinished;
};
