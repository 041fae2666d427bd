// Writes reports of a generated catalogue to a file, as the report dialog and the command line do:
//   bench_report [FILES] [DISCS]     (defaults 100000 and 100000)
// - the report of one disc of FILES files (TXT and HTML, three shown columns);
// - the report of a group of DISCS discs in sub-groups of a hundred, with recursion.
// Each time is the best of three and is set against writing the same bytes to a file of the
// same folder with one plain write (the baseline), so the ratio says how close the report
// comes to file-writing speed.

#include "reports/ReportBuilder.h"
#include "reports/ReportStream.h"
#include "store/ContentsFile.h"
#include "store/ContentsList.h"
#include "store/ContentsListWriter.h"
#include "store/GroupTree.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

static double ms(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

static double best(const std::function<void()> &run)
{
    double fastest = 1e300;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        fastest = std::min(fastest, ms(t));
    }
    return fastest;
}

static void writeWhole(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::exit(1);
}

static void measure(const char *what, const QString &folder, const std::function<void(QIODevice *)> &write)
{
    const QString path = folder + QStringLiteral("/report.out");
    const double report = best([&] {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::exit(1);
        write(&f);
    });
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    const double plain = best([&] { writeWhole(folder + QStringLiteral("/plain.out"), bytes); });
    std::printf("%-34s %7.1f MB  report %8.1f ms  plain write %6.1f ms  ratio %5.1f\n", what, bytes.size() / 1e6,
                report, plain, report / plain);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const int fileCount = argc > 1 ? std::max(100, atoi(argv[1])) : 100000;
    const int discCount = argc > 2 ? std::max(100, atoi(argv[2])) : 100000;
    static const char *const exts[] = {".mp3", ".jpg", ".txt", ".html", ".png", ".ogg", ".doc", ".zip", ".c", ".h"};

    QTemporaryDir dir;
    const QString db = dir.path() + QStringLiteral("/DB/");
    const QString serial = QStringLiteral("0BADF00D");
    {
        QByteArray files;
        QBuffer fb(&files);
        fb.open(QIODevice::WriteOnly);
        ContentsListWriter fw(&fb);
        const QString date = QStringLiteral("6/14/2025 10:30:00 AM");
        for (int i = 0; i < fileCount; ++i) {
            QStringList extras;
            if (i % 10 == 0)
                extras = {QStringLiteral("Title: A song"), QStringLiteral("Artist: A band"),
                          QStringLiteral("Duration: 00:03:25"), QStringLiteral("Bit rate: CBR 192kbps")};
            fw.writeFileRecord(QStringLiteral("file%1%2").arg(i).arg(QLatin1String(exts[i % 10])),
                               QStringLiteral("\\D%1\\S%2\\").arg(i / 1000).arg(i / 100 % 10), 1000 + i, date, extras);
        }
        fw.flush();
        ContentsFile::packBytes(db, serial, QByteArray(), files);
    }

    GroupTree tree;
    TreeNode *root = tree.addChild(tree.top(), QStringLiteral("My Collection"), KindRoot);
    TreeNode *disc = tree.addDisc(root, TCD{QStringLiteral("Big Disc"),
                                            QStringLiteral("BIG"),
                                            serial,
                                            QStringLiteral("UDF"),
                                            1 << 30,
                                            {},
                                            {},
                                            1,
                                            {},
                                            {}});
    TreeNode *group = tree.addChild(root, QStringLiteral("Shelf"), KindGroup);
    TreeNode *sub = nullptr;
    for (int i = 0; i < discCount; ++i) {
        if (i % 100 == 0)
            sub = tree.addChild(group, QStringLiteral("Box %1").arg(i / 100), KindGroup);
        tree.addDisc(sub, TCD{QStringLiteral("Disc %1").arg(i),
                              QStringLiteral("LABEL%1").arg(i),
                              QStringLiteral("%1").arg(i, 8, 16, QLatin1Char('0')).toUpper(),
                              QStringLiteral("CDFS"),
                              700000000LL + i,
                              QStringLiteral("A description~!of two lines"),
                              QStringLiteral("Rock"),
                              i,
                              QStringLiteral("6/14/2025 10:30:00 AM"),
                              {}});
    }

    ReportSettings discSettings;
    discSettings.columns = ReportSettings::defaultColumns(ReportSettings::DiscReport);
    ReportSettings groupSettings;
    groupSettings.columns = ReportSettings::defaultColumns(ReportSettings::GroupReport);
    const QDateTime now = QDateTime::currentDateTime();
    auto run = [&](const TreeNode *node, const ReportSettings &settings, ReportBuilder::Form form) {
        return [&, node, form](QIODevice *out) {
            ReportStream stream(out);
            ReportBuilder(db, settings, stream).writeDocument(node, form, now);
        };
    };
    std::printf("report of %d files on one disc, and of %d discs in one group\n", fileCount, discCount);
    const double read = best([&] {
        if (ContentsList::fromBytes(ContentsFile::read(db, serial).fileList).recordCount() != fileCount)
            std::exit(1);
    });
    std::printf("%-34s %8.1f ms (part of each disc report)\n", "reading the disc's file list", read);
    measure("disc report, TXT", dir.path(), run(disc, discSettings, ReportBuilder::Txt));
    measure("disc report, HTML", dir.path(), run(disc, discSettings, ReportBuilder::Html));
    measure("group report, TXT, sub-groups", dir.path(), run(group, groupSettings, ReportBuilder::Txt));
    measure("group report, HTML, sub-groups", dir.path(), run(group, groupSettings, ReportBuilder::Html));
    return 0;
}
