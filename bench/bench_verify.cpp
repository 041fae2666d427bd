// Verify Disc against adding the same disc: quillory-cli verify of a tree catalogued with
// checksums (every byte read and hashed again, then compared) against add-disc --checksums of
// it, both warm and end to end.
//
//   bench_verify [FOLDER]   (default: the 2 GB tree of mixed file sizes bench_scan checksums makes)

#include "BenchData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString root =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : BenchData::dataRoot() + QStringLiteral("mixed-2GB");
    if (!QFileInfo(root).isDir()) {
        std::fprintf(stderr, "bench_verify: no tree at %s (bench_scan checksums makes it)\n", qPrintable(root));
        return 1;
    }
    QTemporaryDir dir(QStringLiteral("/tmp/quillory-bench-verify-XXXXXX"));
    const QString data = dir.path() + QLatin1String("/catalogue");
    const QString cli = BenchData::cli();
    const QString serial = QStringLiteral("1234ABCD");
    const auto addDisc = [&] {
        BenchData::run(cli, {QStringLiteral("--data"), data, QStringLiteral("add-disc"), root, QStringLiteral("--title"),
                             QStringLiteral("Bench"), QStringLiteral("--serial"), serial, QStringLiteral("--checksums")});
    };
    const auto fresh = [&] { QDir(data).removeRecursively(); };
    // Warm: the tree read once before any timing.
    addDisc();
    fresh();
    // The last of these leaves the disc catalogued for the verify.
    const double added = BenchData::bestOf(3, addDisc, fresh);
    const double verified = BenchData::bestOf(
        3, [&] { BenchData::run(cli, {QStringLiteral("--data"), data, QStringLiteral("verify"), serial, root}); });
    BenchData::row("verify, 2 GB warm", verified, "add-disc --checksums", added, 1.15);
    return 0;
}
