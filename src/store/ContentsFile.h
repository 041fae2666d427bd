#pragma once

#include "ContentsChecksums.h"
#include "ContentsList.h"
#include "core/QuilloryError.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// A disc's contents file: DB + Serial + ".dat", a cabinet (MSZIP) holding the folder list
// Serial + ".dir" and the file list Serial + ".file" under their bare names, and, for a disc
// scanned with checksums, Serial + ".sum" (ContentsChecksums) after them.
class ContentsFile
{
public:
    // The lists exactly as stored (bytes, line ends untouched); checksumList is empty when the
    // disc has no checksums.
    struct Lists {
        QByteArray folderList;
        QByteArray fileList;
        QByteArray checksumList;
    };
    // The lists parsed. checksums line up with files' records, or are empty; checksumProblem
    // says why a member that was there is not used (it did not line up with the file list).
    struct Parsed {
        ContentsList folders;
        ContentsList files;
        ContentsChecksums checksums;
        QString checksumProblem;
    };

    // The most a disc's two lists may hold together, uncompressed (each within its own limit),
    // and the most a contents file an archive brings may be.
    static constexpr qint64 MaxListBytes = 2 * ContentsList::MaxBytes;

    // The one rule that turns a serial into a path: a serial from "groups.tree" (which may
    // be damaged or come from an imported archive) names files in DB only when it is a
    // bare name. Every path below throws QuilloryError naming the serial otherwise.
    static bool isUsableSerial(QStringView serial);
    static QString unusableSerialMessage(const QString &serial);
    // One line naming a disc whose serial is unusable, for the user.
    static QString unusableDiscMessage(const QString &title, const QString &serial);
    // One line naming a disc whose contents file is gone, for the user.
    static QString missingDiscMessage(const QString &title);
    // One line naming a disc whose contents file could not be read, and why.
    static QString unreadableDiscMessage(const QString &title, const QString &reason);
    // Runs read, a reading of the disc's contents file; what it throws comes back naming the
    // disc, since the cabinet library's words ("Cabinet file is corrupt") name no file.
    template <typename Read> static auto readingDisc(const QString &title, Read read) -> decltype(read())
    {
        try {
            return read();
        } catch (const QuilloryError &e) {
            throw QuilloryError(unreadableDiscMessage(title, e.message()));
        }
    }

    // dbFolder ends in "/" (Catalogue::dbFolder()).
    static QString contentsFileName(const QString &dbFolder, const QString &serial);
    static QString folderListName(const QString &dbFolder, const QString &serial);
    static QString fileListName(const QString &dbFolder, const QString &serial);
    static QString checksumListName(const QString &dbFolder, const QString &serial);
    // False for an unusable serial: nothing outside DB is looked at.
    static bool exists(const QString &dbFolder, const QString &serial);
    // The serials whose contents files exist() finds, from one listing of DB: for asking about
    // thousands of discs at once, where exists() costs a look at the disk each. The names are
    // kept as the listing spells them, in one buffer, so a large DB lists without a string per file.
    class Present
    {
    public:
        bool contains(QStringView serial) const;
        qsizetype size() const { return m_serials.size(); }
        // The bare name of the one contents file spelt as the serial's but for the case of its
        // letters, the extension's too ("1A2B3C4D.DAT", "0000abcd.dat": a catalogue carried
        // over from a system that ignores case); empty when there is none, or more than one.
        QString otherCase(QStringView serial) const;

    private:
        friend class ContentsFile;
        QByteArray m_names;
        QSet<QByteArrayView> m_serials; // views of m_names
        QStringList m_otherExtension;   // bare names whose extension is ".dat" in another case
        // Every contents file by its name with a-z folded, made at the first lookup that needs it.
        mutable std::optional<QMultiHash<QByteArray, QString>> m_folded;
    };
    // Throws QuilloryError when DB is there but cannot be listed.
    static Present serialsPresent(const QString &dbFolder);
    // Gives contents files spelt in another case (serial to bare name, as otherCase found them)
    // the spelling of their discs' serials, as every look for them expects, and tells the user.
    // A file that is spelt exactly as another disc's serial (isSerial) is that disc's and is
    // left alone, as is one that two discs ask for. True when any was renamed.
    static bool adoptOtherCase(const QString &dbFolder, const QHash<QString, QString> &otherCase,
                               const std::function<bool(const QString &serial)> &isSerial,
                               const std::function<void(const QString &)> &info);
    // The serial whose contents file a bare file name is (serial + ".dat", the extension in
    // any case, as archives made on a case-blind system may spell it); empty when it is none.
    static QString serialOfContentsFile(const QString &fileName);
    // Whether a bare file name is a disc's list unpacked into DB (serial + ".dir", ".file" or
    // ".sum"): such files exist only while a scan or a reader works, never at rest.
    static bool isUnpackedList(const QString &fileName);
    // Deletes the disc's contents file when there is one; throws QuilloryError naming the
    // file when it cannot be removed, or the serial when it is unusable.
    static void remove(const QString &dbFolder, const QString &serial);

    // Packs the lists the scanner left in DB into the contents file, replacing an older one
    // only once the new one is complete, and deletes the lists (also when packing fails). The
    // checksum list goes in when the scan left one with lines in it; without it the cabinet is
    // the same as a disc scanned without checksums always had.
    // intoFolder, when given, receives the contents file instead of DB (a switch's staging).
    static void pack(const QString &dbFolder, const QString &serial, const QString &intoFolder = QString());
    // Packs lists held in memory, without loose files; members dated `when`. The checksum
    // member is written only when lists.checksumList holds something.
    static void packBytes(const QString &dbFolder, const QString &serial, const Lists &lists,
                          const QDateTime &when = QDateTime::currentDateTime());
    static void packBytes(const QString &dbFolder, const QString &serial, const QByteArray &folderList,
                          const QByteArray &fileList, const QDateTime &when = QDateTime::currentDateTime());

    // Reads the lists straight from the cabinet into memory: the way every reader goes.
    // Throws ESTCabinet when the contents file is missing or damaged, QuilloryError naming it
    // when its header gives a list beyond ContentsList::MaxBytes (nothing is unpacked then),
    // or when load() finds one beyond the list's limits. A list the cabinet lacks reads as empty.
    // Checksums that do not line up are no failure: load() leaves them out and says why.
    static Lists read(const QString &dbFolder, const QString &serial);
    // As read(), telling `arrived` on the unpacking thread after every block of the folder list
    // (list 0) or the file list (list 1): the first `available` of the list's `size` bytes at
    // data are final and stay in place until read() returns. A list the cabinet holds twice
    // comes again at a new place. data is null when the unpacking failed: what was handed over
    // is about to go.
    using ListArrival = std::function<void(int list, const char *data, qsizetype available, qsizetype size)>;
    static Lists read(const QString &dbFolder, const QString &serial, const ListArrival &arrived);
    static Parsed load(const QString &dbFolder, const QString &serial);
    // The checksum list alone, empty when the disc has none: for a disc scanned without
    // checksums only the cabinet's header is read, nothing is unpacked.
    static QByteArray readChecksumList(const QString &dbFolder, const QString &serial);
    // Whether the disc was catalogued with checksums, from the cabinet's header alone: the
    // checksum list is the last member, so reading it unpacks the whole disc.
    static bool hasChecksums(const QString &dbFolder, const QString &serial);
    // One folder of the disc, for a reader that asks about nothing else: the lists are read as they
    // unpack and only the records a lookup of that folder reads are kept (ContentsList::Sieve), so
    // a disc of millions of files is neither held nor indexed. folder is findFolder's answer over
    // the kept lists, the same as over the whole disc. Fails as load() does.
    struct OneFolder {
        ContentsList folders;
        ContentsList files;
        ContentsList::Folder folder;
    };
    static OneFolder loadFolder(const QString &dbFolder, const QString &serial, const QString &path);
};
