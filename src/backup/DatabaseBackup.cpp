#include "DatabaseBackup.h"

#include "cabinet/TSTCabReader.h"
#include "cabinet/TSTCabWriter.h"
#include "core/QuilloryError.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/DataPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

void DatabaseBackup::exportDatabase(Catalogue &catalogue, const QString &archiveFile, const Progress &progress,
                                    const InfoCallback &info)
{
    if (!catalogue.canSave())
        throw QuilloryError(QStringLiteral("The group tree could not be loaded, so the database is not exported: "
                                           "saving the tree first would replace \"groups.tree\" with an empty one."));
    const QString db = catalogue.dbFolder();
    catalogue.save();
    LoadTree(catalogue.tree(), db, info ? info : InfoCallback([](const QString &) {}));

    const QString archive = QFileInfo(archiveFile).absoluteFilePath();
    const int maximum = catalogue.tree().nodeCount() + 1;
    int position = 0;
    if (progress)
        progress(position, maximum);

    TSTCabWriter cab;
    cab.CompressionType = cctMsZip;
    QSet<QString> added;
    // The archive itself may sit in DB under a name a mask matches; a file is added once.
    cab.OnBeforeFileAdd = [&](TSTCabWriter &, const QString &fileName, bool &skip) {
        const QString path = QFileInfo(fileName).absoluteFilePath();
        const QString key = QFileInfo(fileName).fileName().toCaseFolded();
        skip = path == archive || added.contains(key);
        if (!skip)
            added.insert(key);
    };
    cab.Open(archive);
    catalogue.tree().forEachPreOrder([&](TreeNode *node) {
        ++position;
        if (progress)
            progress(position, maximum);
        if (node->isDisc() && node->cd())
            for (const QString &file : ContentsFile::discFiles(db, node->cd()->Serial))
                cab.AddFile(file, QFileInfo(file).fileName());
    });
    cab.AddFiles(db + QLatin1String("*.tree"), QString(), false);
    if (progress)
        progress(maximum, maximum);
    cab.Close(true);
}

void DatabaseBackup::importDatabase(const QString &archiveFile, const QString &dbFolder)
{
    TSTCabReader reader;
    // Names first, for the whole set, so a bad member stops the import before any write.
    const std::vector<TSTCabMember> members = reader.List(archiveFile);
    for (const TSTCabMember &m : members) {
        if (!TSTCabReader::isSafeMemberName(m.Name))
            throw QuilloryError(
                QStringLiteral("The archive \"%1\" holds a member named \"%2\". Names with a folder, \"..\" or an "
                               "absolute path are not extracted; nothing was imported.")
                    .arg(QDir::toNativeSeparators(QFileInfo(archiveFile).absoluteFilePath()), m.Name));
    }
    if (!QDir().mkpath(dbFolder))
        throw QuilloryError(QStringLiteral("Cannot create the database folder \"%1\".").arg(dbFolder));
    // The running program's lock is not the archive's to replace.
    reader.OnCopyFile = [](TSTCabReader &, const TSTCabMember &m, QString &destination, bool &) {
        if (m.Name.compare(Catalogue::lockName(), Qt::CaseInsensitive) == 0)
            destination.clear();
    };
    reader.Extract(archiveFile, dbFolder, false);
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
