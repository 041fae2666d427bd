// Export and import of a whole catalogue through quillory-cli, each against the standard tool
// doing the same work in the same run: "gcab -c -z" of the same files for the export,
// "cabextract" of the exported archive for the import. Then the start-up of "tree" on a
// catalogue ten times larger.
//
//   bench_backup [DISCS [TREE_DISCS]]     (default 5000 and 50000)

#include "BenchData.h"

#include <QDir>
#include <unistd.h>

using namespace BenchData;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int discs = argc > 1 ? atoi(argv[1]) : 5000;
    const int treeDiscs = argc > 2 ? atoi(argv[2]) : 50000;
    const int rounds = 3;
    const QString quillory = cli();
    const QString data = catalogue(QStringLiteral("catalogue-%1").arg(discs), discs, 40, discs);
    const QString db = DataPaths::dbFolder(data);
    const QString work = dataRoot() + QStringLiteral("backup-work/");
    QDir(work).removeRecursively();
    QDir().mkpath(work);

    // What the export takes: the contents files and the tree.
    QStringList members;
    qint64 bytes = 0;
    for (const QFileInfo &f : QDir(db).entryInfoList(QDir::Files)) {
        if (f.suffix() == QLatin1String("dat") || f.fileName() == QLatin1String("groups.tree")) {
            members.append(f.fileName());
            bytes += f.size();
        }
    }
    std::printf("catalogue: %d discs, %lld files, %.1f MB in DB\n", discs, static_cast<long long>(members.size()),
                bytes / 1e6);

    const QString archive = work + QStringLiteral("export.cab");
    const double exportOurs = bestOf(rounds, [&] {
        run(quillory, {QStringLiteral("--data"), data, QStringLiteral("export"), archive});
    });
    const double exportTool = bestOf(rounds, [&] {
        run(QStringLiteral("gcab"),
            QStringList{QStringLiteral("-c"), QStringLiteral("-z"), work + QStringLiteral("gcab.cab")} + members, db);
    });
    row("export (quillory-cli export)", exportOurs, "gcab -c -z", exportTool, 1.3);

    // Each round writes into a folder of its own, and the folders go only after the timing: on a
    // file system without a journal, ext4 passes over recently deleted inodes when it makes new
    // ones, so a round started right after the last one's folder was deleted pays for thousands
    // of deletions that are not its work, whichever tool it times.
    int round = 0;
    const auto fresh = [&](const QString &name) { return work + name + QString::number(++round) + u'/'; };
    QString target;
    const double importOurs = bestOf(
        rounds,
        [&] {
            run(quillory,
                {QStringLiteral("--data"), target, QStringLiteral("import"), archive, QStringLiteral("--yes")});
        },
        [&] { target = fresh(QStringLiteral("imported")); });
    QString extracted;
    const double importTool = bestOf(
        rounds,
        [&] {
            run(QStringLiteral("cabextract"), {QStringLiteral("-q"), QStringLiteral("-d"), extracted, archive});
        },
        [&] { extracted = fresh(QStringLiteral("extracted")); });
    row("import (quillory-cli import)", importOurs, "cabextract", importTool, 1.5);
    if (QDir(DataPaths::dbFolder(target)).entryList(QDir::Files).size() != members.size())
        qFatal("the import did not bring back every file");

    // Start-up is timed on a settled disk: the rows before leave thousands of files for the
    // system to write back, which would otherwise take a core from the load it times.
    const auto tree = [&](const QString &catalogueData) {
        ::sync();
        return bestOf(5, [&] { run(quillory, {QStringLiteral("--data"), catalogueData, QStringLiteral("tree")}); });
    };
    const double startSmall = tree(data);
    const QString big = catalogue(QStringLiteral("catalogue-tree-%1").arg(treeDiscs), treeDiscs, 40, 100);
    const double startBig = tree(big);
    std::printf("%-44s %9.1f ms  (goal <= 30 ms)\n",
                qPrintable(QStringLiteral("start-up, tree of %1 discs").arg(discs)), startSmall);
    std::printf("%-44s %9.1f ms  (goal <= 100 ms)\n",
                qPrintable(QStringLiteral("start-up, tree of %1 discs").arg(treeDiscs)), startBig);
    QDir(work).removeRecursively();
    return 0;
}
