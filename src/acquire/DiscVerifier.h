#pragma once

#include "ScanOptions.h"
#include "ScanProblem.h"
#include "store/ContentsFile.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// One way a medium differs from its catalogue entry.
struct VerifyDifference {
    enum Kind { Missing, New, Changed, Corrupt, Unreadable };
    Kind kind = Missing;
    bool isFolder = false;
    // Inside the disc, as the catalogue spells it: "\DOCS\a.txt"; a folder's ends in "\"; an
    // archive entry's runs on from its archive's ("\PACK.ZIP\img\b.png").
    QString path;
    // For the user: which of size and date changed (both values), the checksums, the system's
    // reason; for an entry only one side has, its size and date there.
    QString detail;
    // Where the catalogue lists it, or would: the nearest folder the catalogue has, or the
    // archive that holds it (inArchive), for "Switch to Location".
    QString location;
    bool inArchive = false;

    // "missing", "new", "changed", "corrupt", "unreadable": the word a report line starts with.
    static QString kindName(Kind kind);
    // The report's line: kind, TAB, path, TAB, detail.
    QString line() const;
};

// What a verification found, and its one text: the lines the command line prints and the window saves.
struct VerifyReport {
    std::vector<VerifyDifference> differences; // by path
    // Files (and archive entries) found as catalogued.
    int matched = 0;
    int counts[VerifyDifference::Unreadable + 1] = {};
    // False when the disc has no stored checksums (or ones that do not line up): sizes and
    // dates were compared, contents were not.
    bool contentsChecked = false;
    // Why stored checksums were not used, when there were some.
    QString checksumProblem;
    // Files whose catalogued date the locale in force cannot read (a disc catalogued under
    // another date format): their dates were not compared.
    int datesNotCompared = 0;
    // When every changed date moved by the same whole number of quarter hours (up to 14 hours),
    // that shift in seconds, new minus catalogued: a likely change of time zone, said in the
    // summary (the dates are still listed as changed); 0 otherwise.
    qint64 zoneShift = 0;
    // The sentence saying the medium read is another volume than the disc (a wrong image or
    // drive chosen); empty when it is the disc or cannot tell.
    QString otherVolume;

    bool allMatched() const { return differences.empty() && otherVolume.isEmpty(); }
    int count(VerifyDifference::Kind kind) const { return counts[kind]; }
    // "12 files matched; 1 missing, 2 new, 0 changed, 1 corrupt, 0 unreadable." and a line for
    // each thing not compared (contents, dates) and for another volume read.
    QString summary() const;
    // One line per difference, then the summary.
    QString text() const;
};

// Verify Disc: the medium scanned again, into memory, by the real scanner with the options of
// the day (checksums on when the disc has them), and compared with the disc's catalogued lists.
// The catalogue is never written. Names are compared as the catalogue compares them (AsciiCase),
// the spelling as catalogued preferred where several fit.
//
// Files and folders can be missing or new; only files change (size, date), are corrupt (same
// size and date, other checksum) or unreadable (the scanner's reason; a folder too when it could
// not be opened, and what the catalogue has below it is then not called missing). Entries of a
// ZIP archive are compared when both the catalogue and the scan list that archive's entries (its
// filter on both times); otherwise the archive is compared as a file.
class DiscVerifier
{
public:
    explicit DiscVerifier(ScanOptions options);

    void setTotalSize(quint64 bytes) { m_totalSize = bytes; }
    // As the scanner's: called for every folder opened (throw to stop), and with the gauge's position.
    void setProcessEvents(std::function<void()> fn) { m_processEvents = std::move(fn); }
    void setGauge(std::function<void(quint64)> fn) { m_gauge = std::move(fn); }

    // Scans the medium at root (the folder it is mounted at, or a disc image of it, read as Add
    // Disc from Image reads one) and compares it with catalogued, the disc of this serial.
    // Throws QuilloryError when the scan cannot be made (or is stopped), a damaged image among them.
    VerifyReport verify(const QString &root, const ContentsFile::Parsed &catalogued, const QString &serial);
    // The medium's lists as a scan with these options makes them, held in memory (with
    // checksums when asked), and what the scan passed over.
    ContentsFile::Parsed scan(const QString &root, bool checksums, ScanProblems &problems) const;

    // Whether root names a disc image rather than a folder.
    static bool isImage(const QString &root);
    // The comparison alone: a scan's lists and what it could not read, beside the catalogued
    // lists; root is the folder (or image) the problems' paths begin with. tick is called every
    // few thousand entries (it may throw to stop).
    static VerifyReport compare(const ContentsFile::Parsed &catalogued, const ContentsFile::Parsed &scanned,
                                const ScanProblems &problems, const QString &root,
                                const std::function<void()> &tick = {});

private:
    // When root is an image of another volume than the disc with this serial, or the root of
    // another mounted volume (chosen by mistake), the sentence that says so; empty otherwise,
    // and for a folder below a volume's root, which tells no serial of its own.
    static QString otherVolume(const QString &root, const QString &serial);

    ScanOptions m_options;
    quint64 m_totalSize = 0;
    std::function<void()> m_processEvents;
    std::function<void(quint64)> m_gauge;
};
