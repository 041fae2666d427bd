// Adds a tree of 2,000 media files (audio, pictures with EXIF, video, made by sox, lame,
// oggenc, flac, opusenc, ImageMagick, exiftool and ffmpeg) as a disc with quillory-cli
// add-disc, once with every reader filter ticked and once with none, both warm. The readers
// read headers only, so the first may take at most half as long again as the second.
//
//   bench_media   (the tree is kept under /tmp/quillory-bench/media-2000)

#include "BenchData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace
{

constexpr int Files = 2000;

// One sample of each kind, in the samples folder: the command that makes it from the tone
// and the picture made first.
bool makeSamples(const QString &dir)
{
    const QString script = QStringLiteral(R"(set -e
cd "$1"
ff() { ffmpeg -nostdin -loglevel error -y "$@"; }
sox -n -r 44100 -c 2 -b 16 tone.wav synth 30 sine 440 sine 554
lame --quiet -b 192 --tt "Bench Title" --ta "Bench Artist" --tl "Bench Album" tone.wav a.mp3
oggenc --quiet -q 3 -t "Bench Title" -a "Bench Artist" -o a.ogg tone.wav
flac --silent -f -T TITLE="Bench Title" -o a.flac tone.wav
opusenc --quiet --title "Bench Title" tone.wav a.opus
ff -i tone.wav -c:a aac -b:a 128k -metadata title="Bench Title" a.m4a
convert -size 1600x1200 plasma:fractal -quality 85 a.jpg
exiftool -q -overwrite_original -DateTimeOriginal="2021:06:15 14:30:05" -Make=Canon -Model="Canon EOS 5D" a.jpg
convert a.jpg -resize 800x600 a.png
convert a.jpg -resize 800x600 -compress zip a.tif
convert a.jpg -quality 80 a.webp
exiftool -q -overwrite_original -DateTimeOriginal="2021:06:15 14:30:05" -Make=Canon a.tif a.webp
src="-f lavfi -i testsrc=size=640x360:rate=25:duration=10 -f lavfi -i sine=frequency=440:duration=10"
ff $src -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac a.mp4
ff $src -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a libopus a.mkv
ff $src -c:v libvpx -deadline realtime -b:v 500k -c:a libopus a.webm
ff $src -c:v mpeg4 -c:a libmp3lame a.avi
rm tone.wav
)");
    BenchData::run(QStringLiteral("sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), dir});
    return true;
}

bool makeTree(const QString &root)
{
    const QString samples = root + QStringLiteral("/../media-samples");
    QDir(samples).removeRecursively();
    QDir().mkpath(samples);
    makeSamples(samples);
    const QFileInfoList kinds = QDir(samples).entryInfoList(QDir::Files, QDir::Name);
    for (int i = 0; i < Files; ++i) {
        const QFileInfo &sample = kinds[i % kinds.size()];
        const QString dir = QStringLiteral("%1/album %2/").arg(root).arg(i / 100);
        if (!QDir().mkpath(dir) ||
            !QFile::copy(sample.filePath(), dir + QStringLiteral("track %1.").arg(i) + sample.suffix()))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString root = BenchData::dataRoot() + QStringLiteral("media-2000");
    if (!QFileInfo::exists(root + QLatin1String("/complete"))) {
        std::printf("generating %d media files...\n", Files);
        std::fflush(stdout);
        QDir(root).removeRecursively();
        if (!makeTree(root) || !QFile(root + QLatin1String("/complete")).open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot generate the tree\n");
            return 1;
        }
    }
    QTemporaryDir dir(QStringLiteral("/tmp/quillory-bench-media-XXXXXX"));
    const QString data = dir.path() + QLatin1String("/catalogue");
    const QString cli = BenchData::cli();
    const auto filters = [&](const char *tick) {
        for (int i = 0;; ++i) {
            QProcess p;
            p.start(cli, {QStringLiteral("--data"), data, QStringLiteral("config"), QStringLiteral("set"),
                          QStringLiteral("Filter %1").arg(i), QLatin1String(tick)});
            if (!p.waitForFinished(-1) || p.exitCode() != 0)
                break; // past the last filter
        }
    };
    const auto addDisc = [&] {
        BenchData::run(cli, {QStringLiteral("--data"), data, QStringLiteral("add-disc"), root, QStringLiteral("--title"),
                             QStringLiteral("Bench"), QStringLiteral("--serial"), QStringLiteral("1234ABCD")});
    };
    const auto fresh = [&] { QDir(data).removeRecursively(); };
    filters("0");
    addDisc(); // warm
    const double none = BenchData::bestOf(5, addDisc, fresh);
    filters("1");
    const double every = BenchData::bestOf(5, addDisc, fresh);
    BenchData::row("add-disc, 2,000 media files, every filter", every, "no filter", none, 1.5);
    // What a header costs before any reader parses it: the first 64 KiB of each file read,
    // which the scan with no filter never does.
    const double heads = BenchData::bestOf(5, [&] {
        BenchData::run(QStringLiteral("sh"), {QStringLiteral("-c"),
                                              QStringLiteral("find \"$1\" -type f -print0 | xargs -0 head -qc 65536"),
                                              QStringLiteral("sh"), root});
    });
    std::printf("  (the first 64 KiB of each file, head: %.1f ms, %.2fx the scan with no filter)\n", heads, heads / none);
    return 0;
}
