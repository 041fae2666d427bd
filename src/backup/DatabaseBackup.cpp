#include "DatabaseBackup.h"

#include "cabinet/TSTCabReader.h"
#include "cabinet/TSTCabWriter.h"
#include "core/AsciiCase.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"
#include "store/Catalogue.h"
#include "store/CatalogueSwitch.h"
#include "store/ContentsFile.h"
#include "store/ContentsRecord.h"
#include "store/DataPaths.h"
#include "store/RecordScanner.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <optional>
#include <vector>

namespace
{

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

// The name an archive member takes in DB, or an empty string for a member the import leaves
// out: only the group tree and contents files belong to a catalogue. Archives made on a
// system that ignores case may spell them in any case.
QString catalogueName(const QString &member)
{
    const QLatin1String tree(TreeFileName);
    if (member.compare(tree, Qt::CaseInsensitive) == 0)
        return tree;
    const QString serial = ContentsFile::serialOfContentsFile(member);
    return serial.isEmpty() ? QString() : ContentsFile::contentsFileName(QString(), serial);
}

qint64 sizeLimit(const QString &name)
{
    return name == QLatin1String(TreeFileName) ? TreeLimits::MaxFileBytes : ContentsFile::MaxListBytes;
}

// The first record of a list whose name or folder holds a name no medium has ("\sub\.."), as
// folder and name; empty when there is none. One pass over the parsed text: a record's
// fixed lines come out of the scan itself, where a lookup per record would cost more.
QString firstForeignPath(const ContentsList &list)
{
    const QByteArray &text = list.data();
    QByteArray found;
    RecordScanner scanner(text.constData());
    scanner.finish(text.size(), [&found](const RecordScanner::Record &r) {
        if (found.isNull() && !(ContentsRecord::isMediumPath(r.name) && ContentsRecord::isMediumPath(r.folder))) {
            QByteArrayView name = r.name;
            if (name.endsWith(ContentsRecord::FolderSuffix))
                name.chop(1);
            found = r.folder.toByteArray() + name.toByteArray();
        }
    });
    return found.isNull() ? QString() : QString::fromUtf8(found);
}

// Reads a contents file's lists completely, as the catalogue reads a disc, and says why an
// import refuses it: its lists cannot be read, or they name something no scan writes. The
// words follow "whose" in a sentence naming the disc; empty when the file would be taken.
QString importRefusal(const QString &contentsFile, const QString &serial)
{
    ContentsFile::Parsed parsed;
    try {
        parsed = ContentsFile::load(QFileInfo(contentsFile).path() + u'/', serial);
    } catch (const QuilloryError &e) {
        // The reason names the file as the user finds it in the archive.
        QString reason = e.message();
        reason.replace(QDir::toNativeSeparators(contentsFile), QFileInfo(contentsFile).fileName());
        if (!reason.endsWith(u'.'))
            reason += u'.';
        return QStringLiteral("contents file cannot be read: %1").arg(reason);
    }
    for (const ContentsList *list : {&parsed.folders, &parsed.files})
        if (const QString path = firstForeignPath(*list); !path.isEmpty())
            return QStringLiteral("list names \"%1\"; a scan never writes such a name.").arg(path);
    return QString();
}

// A staged disc that does not read would otherwise replace the user's good contents file.
void checkStagedDisc(const QString &archiveFile, const TCD &cd, const QString &stagedFile)
{
    // Read under its own name, whose serial may be spelt in another case than the tree's.
    const QString serial = ContentsFile::serialOfContentsFile(QFileInfo(stagedFile).fileName());
    if (const QString why = importRefusal(stagedFile, serial); !why.isEmpty())
        throw QuilloryError(QStringLiteral("The archive \"%1\" holds disc \"%2\" (%3) whose %4 Nothing was imported.")
                                .arg(shownPath(archiveFile), cd.Title, cd.Serial, why));
}

// The cabinet library's failure (a cut or damaged archive) said as the import's own.
template <typename Read> auto unreadableArchive(const QString &archiveFile, Read read)
{
    try {
        return read();
    } catch (const QuilloryError &e) {
        QString why = e.message();
        if (!why.endsWith(u'.'))
            why += u'.';
        throw QuilloryError(QStringLiteral("The archive \"%1\" cannot be read: %2 Nothing was imported.")
                                .arg(shownPath(archiveFile), why));
    }
}

// The discs an import leaves out, by title and serial as the tree names them.
QString leftOutMessage(const QString &treeFile, const QStringList &serials)
{
    GroupTree all;
    LoadTreeFile(
        all, treeFile, [](const QString &) { return true; }, {}, TreeWrite::Never);
    QStringList lines;
    for (const QString &serial : serials) {
        const TreeNode *disc = all.root() ? FindCD(all.root(), serial) : nullptr;
        lines.append(disc && disc->cd() ? QStringLiteral("%1 (%2)").arg(disc->cd()->Title, serial) : serial);
    }
    return QStringLiteral("The archive was imported, but its group tree names discs whose contents it does not hold, "
                          "and the catalogue had none for them either; they were left out:\n") +
           lines.join(u'\n');
}

} // namespace

int DatabaseBackup::exportDatabase(Catalogue &catalogue, const QString &archiveFile, const Progress &progress,
                                   const InfoCallback &info)
{
    const QString db = catalogue.dbFolder();
    Catalogue::refuseWriteOverCatalogue(db, archiveFile, QStringLiteral("archive"));
    // A mistyped folder is not made, and a device or a pipe is not replaced by the archive.
    if (const QString why = SafeSaveFile::targetProblem(archiveFile); !why.isEmpty())
        throw QuilloryError(QStringLiteral("Cannot write the archive \"%1\": %2. Nothing was exported.")
                                .arg(shownPath(archiveFile), why));
    // A catalogue this program does not own (on a read-only medium) has nothing of its own waiting
    // to be saved: it is exported as it stands in DB, unless a change there is half carried through.
    GroupTree standing;
    GroupTree &tree = catalogue.isLocked() ? catalogue.tree() : standing;
    if (catalogue.isLocked()) {
        if (!catalogue.canSave())
            throw QuilloryError(QStringLiteral("The group tree could not be loaded, so the database is not exported: "
                                               "saving the tree first would replace \"groups.tree\" with an empty "
                                               "one."));
        catalogue.save();
    } else if (CatalogueSwitch::isPending(db)) {
        throw QuilloryError(QStringLiteral("A change of the catalogue in \"%1\" was interrupted and waits to be "
                                           "finished where it can be written; nothing was exported.")
                                .arg(shownPath(db)));
    }
    LoadTree(tree, db, info ? info : InfoCallback([](const QString &) {}));

    const int maximum = tree.nodeCount() + 1;
    int position = 0;
    if (progress)
        progress(position, maximum);

    TSTCabWriter cab;
    cab.CompressionType = cctMsZip;
    cab.Open(QFileInfo(archiveFile).absoluteFilePath());
    // The known names are added directly: DB is never listed, and nothing but the
    // catalogue (a scan's lists, files of the user's) can reach the archive.
    QSet<QString> added;
    // A disc the import would refuse is left out: an archive holding it could not be restored
    // at all. It stays in the catalogue as it is, and the user is told.
    QStringList refused;
    const ContentsFile::Present present = ContentsFile::serialsPresent(db);
    tree.forEachPreOrder([&](TreeNode *node) {
        ++position;
        if (progress)
            progress(position, maximum);
        if (!node->isDisc() || !node->cd())
            return;
        const QString &serial = node->cd()->Serial;
        if (!present.contains(serial) || added.contains(serial))
            return;
        added.insert(serial);
        const QString file = ContentsFile::contentsFileName(db, serial);
        if (const QString why = importRefusal(file, serial); !why.isEmpty()) {
            refused.append(QStringLiteral("\"%1\" (%2), whose %3").arg(node->cd()->Title, serial, why));
            return;
        }
        cab.AddFile(file, ContentsFile::contentsFileName(QString(), serial));
    });
    cab.AddFile(catalogue.treeFile(), QLatin1String(TreeFileName));
    if (progress)
        progress(maximum, maximum);
    cab.Close(true);
    if (!refused.isEmpty() && info)
        info(QStringLiteral("The archive \"%1\" was written without these discs, which an import would refuse; they "
                            "stay in the catalogue as they are:\n%2")
                 .arg(shownPath(archiveFile), refused.join(u'\n')));
    return static_cast<int>(refused.size());
}

QString DatabaseBackup::importDatabase(const QString &archiveFile, const QString &dbFolder, const Progress &progress)
{
    if (Catalogue::isInsideDb(dbFolder, archiveFile))
        throw QuilloryError(QStringLiteral("The archive \"%1\" lies inside the database folder \"%2\", among the "
                                           "files it would replace. Move it outside that folder first; nothing was "
                                           "imported.")
                                .arg(shownPath(archiveFile), shownPath(dbFolder)));
    TSTCabReader reader;
    // Names and sizes first, for the whole set, so a bad member stops the import before any write.
    const std::vector<TSTCabMember> members =
        unreadableArchive(archiveFile, [&] { return reader.List(archiveFile, false, false); });
    for (const TSTCabMember &m : members) {
        if (!TSTCabReader::isSafeMemberName(m.Name))
            throw QuilloryError(
                QStringLiteral("The archive \"%1\" holds a member named \"%2\". Names with a folder, \"..\" or an "
                               "absolute path are not extracted; nothing was imported.")
                    .arg(shownPath(archiveFile), m.Name));
        const QString name = catalogueName(m.Name);
        if (!name.isEmpty() && m.Size > sizeLimit(name))
            throw QuilloryError(QStringLiteral("The archive \"%1\" holds \"%2\" of %3 bytes, more than the %4 MB a "
                                               "catalogue file of its kind may have; nothing was imported.")
                                    .arg(shownPath(archiveFile), m.Name)
                                    .arg(m.Size)
                                    .arg(sizeLimit(name) >> 20));
    }
    // Every backup holds the group tree, an empty catalogue's too. Without it nothing of the
    // archive would show in the catalogue, and "complete" would be untrue.
    if (std::none_of(members.cbegin(), members.cend(),
                     [](const TSTCabMember &m) { return catalogueName(m.Name) == QLatin1String(TreeFileName); }))
        throw QuilloryError(QStringLiteral("The archive \"%1\" is not a backup of a catalogue: it holds no group tree "
                                           "(\"%2\"). Nothing was imported.")
                                .arg(shownPath(archiveFile), QLatin1String(TreeFileName)));
    if (!QDir().mkpath(dbFolder))
        throw QuilloryError(QStringLiteral("Cannot create the database folder \"%1\".").arg(shownPath(dbFolder)));

    // Contents files new to DB are written straight into it (the switch takes them away again
    // if the import does not go through); the tree and files that replace others are staged.
    QStringList contentsFiles;
    for (const TSTCabMember &m : members) {
        const QString name = catalogueName(m.Name);
        if (!name.isEmpty() && name != QLatin1String(TreeFileName))
            contentsFiles.append(name);
    }
    // Each member unpacked, then each disc the tree takes from it checked: twice the members at most.
    const int maximum = static_cast<int>(2 * members.size());
    int position = 0;
    const auto advance = [&] {
        if (progress)
            progress(std::min(position++, maximum), maximum);
    };
    advance();
    CatalogueSwitch change(dbFolder);
    // The discs the tree names with no contents file in the archive or in DB: the catalogue's
    // load leaves them out, and the user is told which.
    QStringList leftOut;
    QString leftOutText;
    const QString staging = change.stagingFolder();
    change.begin(contentsFiles);
    try {
        // The staging folder is scratch until the switch, which makes every staged file durable
        // in one batch: a sync per member would cost the import most of its time.
        reader.DurableWrites = false;
        // What was staged, by name: asked once per disc below, where a look at the disc would cost a call each.
        QSet<QString> staged;
        reader.OnCopyFile = [&change](TSTCabReader &, const TSTCabMember &m, QString &destination, bool &) {
            const QString name = catalogueName(m.Name);
            destination = name.isEmpty() ? QString() : change.placeFor(name);
        };
        reader.OnCloseFile = [&staged, &advance](TSTCabReader &, const TSTCabMember &m, const QString &, bool &) {
            staged.insert(catalogueName(m.Name));
            advance();
        };
        unreadableArchive(archiveFile, [&] {
            reader.Extract(archiveFile, staging, false);
            return 0;
        });

        // The tree in force afterwards must load completely, its discs found where the load
        // after the switch will find them: in the archive, or already in DB.
        const QString stagedTree = staging + QLatin1String(TreeFileName);
        const bool treeStaged = staged.contains(QLatin1String(TreeFileName));
        const QString treeInForce = treeStaged ? stagedTree : dbFolder + QLatin1String(TreeFileName);

        // The name a disc's contents file was staged under: its serial's spelling, else the one
        // staged in another case (an archive from a system that ignores case), which the next
        // load gives the serial's spelling; empty when there is none. Such a file is taken only
        // where nothing else may be the disc's or claim the file: no file of the disc in DB, no
        // other disc of the tree spelt as the file is.
        // Read only for a member in another case: every other import reads the tree once.
        std::optional<QSet<QString>> treeSerials;
        std::optional<QMultiHash<QString, QString>> stagedFolded;
        const auto stagedName = [&](const QString &serial) -> QString {
            if (!ContentsFile::isUsableSerial(serial))
                return QString();
            const QString name = ContentsFile::contentsFileName(QString(), serial);
            if (staged.contains(name))
                return name;
            if (ContentsFile::exists(dbFolder, serial))
                return QString();
            if (!stagedFolded) {
                stagedFolded.emplace();
                for (const QString &s : std::as_const(staged))
                    stagedFolded->insert(FoldedAZ(s), s);
            }
            const QList<QString> others = stagedFolded->values(FoldedAZ(name));
            if (others.size() != 1)
                return QString();
            if (!treeSerials) {
                treeSerials.emplace();
                GroupTree all;
                LoadTreeFile(all, treeInForce, [](const QString &) { return true; }, {}, TreeWrite::Never);
                all.forEachPreOrder([&treeSerials](TreeNode *n) {
                    if (n->isDisc() && n->cd())
                        treeSerials->insert(n->cd()->Serial);
                });
            }
            return treeSerials->contains(ContentsFile::serialOfContentsFile(others.first())) ? QString()
                                                                                              : others.first();
        };
        const auto isStaged = [&stagedName](const QString &serial) { return !stagedName(serial).isEmpty(); };
        QStringList names;
        if (QFileInfo::exists(treeInForce)) {
            GroupTree check;
            LoadTreeFile(
                check, treeInForce,
                [&](const QString &serial) {
                    const bool kept = isStaged(serial) || ContentsFile::exists(dbFolder, serial);
                    if (!kept && !leftOut.contains(serial))
                        leftOut.append(serial);
                    return kept;
                },
                {}, TreeWrite::Never);
            // Two discs of one serial would share one contents file, and a change to either
            // would change both: such a tree was not written by this program.
            QHash<QString, QString> seen; // serial, title
            QString twice;
            std::vector<std::pair<const TCD *, QString>> read; // a disc, its staged name
            check.forEachPreOrder([&](TreeNode *n) {
                if (!n->isDisc() || !n->cd() || !twice.isEmpty())
                    return;
                const TCD &cd = *n->cd();
                if (const auto first = seen.constFind(cd.Serial); first != seen.constEnd()) {
                    twice = QStringLiteral("The archive \"%1\" holds a group tree that names the disc serial %2 twice, "
                                           "for \"%3\" and for \"%4\". Nothing was imported.")
                                .arg(shownPath(archiveFile), cd.Serial, *first, cd.Title);
                    return;
                }
                seen.insert(cd.Serial, cd.Title);
                if (const QString name = stagedName(cd.Serial); !name.isEmpty()) {
                    names.append(name);
                    read.push_back({&cd, name});
                }
            });
            if (!twice.isEmpty())
                throw QuilloryError(twice);
            for (const auto &[cd, name] : read) {
                checkStagedDisc(archiveFile, *cd, change.placeFor(name));
                advance();
            }
        }
        if (!leftOut.isEmpty())
            leftOutText = leftOutMessage(treeInForce, leftOut);
        // The tree last, so that once it is in place every contents file it names is too.
        if (treeStaged)
            names.append(QLatin1String(TreeFileName));
        change.commit(names);
    } catch (...) {
        change.discard();
        if (!change.committed())
            throw;
        // Committed: the import stands. What a failed move left waiting is tried once more now,
        // else the catalogue's load reads through the staging folder until the next start
        // carries it through; the caller loads the imported tree, never saves its old one over it.
        const QString reason = currentExceptionText();
        try {
            CatalogueSwitch::recover(dbFolder);
            return QString();
        } catch (const QuilloryError &) {
        }
        return QStringLiteral("The archive was imported, but not every file of the catalogue could be put in place "
                              "yet; that is done at the next start.\n") +
               reason;
    }
    return leftOutText;
}

QString DatabaseBackup::proposedExportName(const QDate &today)
{
    return QStringLiteral("Database Backup ") + today.toString(QStringLiteral("dd-MM-yyyy"));
}

QString DatabaseBackup::sampleArchive(const QString &dataFolder)
{
    const QString path = DataPaths::findResource(dataFolder, QStringLiteral("sample.cab"));
    return QFileInfo(path).isFile() ? path : QString();
}
