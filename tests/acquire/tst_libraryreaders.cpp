// The library readers (TagLib, Exiv2, libmediainfo, the volume probe) on the files of
// tests/data/media/library/make-library-media.sh, which prints what mutagen-inspect, exiftool, mediainfo and isoinfo
// report of them: the tables below hold those figures.
#include "ScanFixture.h"
#include "ZeroPaddedDevice.h"
#include "acquire/ImgSize.h"
#include "acquire/MediaFamilies.h"
#include "acquire/MediaReaders.h"
#include "acquire/ScanOptions.h"
#include "search/SearchTests.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{

QString fixture(const QString &name)
{
    return QStringLiteral(QUILLORY_TEST_DATA "/media/") + name;
}
QString library(const QString &name)
{
    return fixture(u"library/"_s + name);
}

QStringList linesOf(MediaReaderKind kind, const QString &path, QStringList lines = {})
{
    ReadMediaLines(kind, path, lines);
    return lines;
}

void addRows(MediaReaderKind kind, const QList<std::pair<const char *, QStringList>> &rows)
{
    for (const auto &[file, lines] : rows)
        QTest::newRow(file) << int(kind) << QString::fromLatin1(file) << lines;
}

} // namespace

class TestLibraryReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void readers_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("lines");
        // Lengths, tags and sample rates as mutagen gives them, bit rates where it gives one (rounded; TagLib's own for
        // Opus, FLAC in Ogg and WavPack); the sample rate only for the lossless formats.
        addRows(
            MediaReaderKind::Audio,
            {
                {"tagged.flac",
                 {"Title: Flac Title", "Artist: Flac Artist", "Album: Flac Album", "Duration: 00:00:01",
                  "Bit rate: 50 kbit", "Sample rate: 8000 hz"}},
                {"flac-in-ogg.oga",
                 {"Title: Ogg Flac", "Duration: 00:00:01", "Bit rate: 51 kbit", "Sample rate: 8000 hz"}},
                // ffmpeg leaves the sample count of the header at 0: the last page's granule position gives the
                // length, the file's bytes over it the rate (5195 bytes in 1 s).
                {"one-pass-flac.oga",
                 {"Title: One Pass Flac", "Duration: 00:00:01", "Bit rate: 42 kbit", "Sample rate: 8000 hz"}},
                {"tagged.opus",
                 {"Title: Opus Title", "Artist: Opus Artist", "Album: Opus Album", "Duration: 00:00:02",
                  "Bit rate: 79 kbit"}},
                {"opus-named.ogg", {"Title: Opus In Ogg", "Duration: 00:00:01", "Bit rate: 39 kbit"}},
                {"aac.m4a",
                 {"Title: Aac Title", "Artist: Aac Artist", "Album: Aac Album", "Duration: 00:00:02",
                  "Bit rate: 32 kbit"}},
                {"alac.m4a", {"Title: Alac Title", "Duration: 00:00:01", "Bit rate: 128 kbit", "Sample rate: 8000 hz"}},
                {"wma.wma", {"Title: Wma Title", "Artist: Wma Artist", "Duration: 00:00:02", "Bit rate: 32 kbit"}},
                {"tagged.aiff",
                 {"Title: Aiff Title", "Duration: 00:00:01", "Bit rate: 128 kbit", "Sample rate: 8000 hz"}},
                {"tagged.wv",
                 {"Title: Wv Title", "Album: Wv Album", "Duration: 00:00:01", "Bit rate: 68 kbit",
                  "Sample rate: 8000 hz"}},
            });
        // Sizes, dates and makers as exiftool gives them. HEIC and AVIF give nothing rather than anything wrong: Exiv2
        // may give a tile's size (64 x 64 for a 20 x 10 picture), and Exiv2 0.27 does not find exiftool's EXIF item.
        const QStringList canon{"Taken: 6/15/2021 2:30:05 PM", "Camera: Canon EOS 5D"};
        addRows(MediaReaderKind::Exif,
                {
                    {"exif.jpg", QStringList{"Width: 64", "Height:48"} + canon},
                    {"exif.tif", QStringList{"Width: 40", "Height:30"} + canon},
                    {"exif.webp", QStringList{"Width: 32", "Height:24"} + canon},
                    {"exif.heic", {}},
                    {"exif.avif", {}},
                    {"make-only.jpg", {"Width: 16", "Height:16", "Camera: NIKON"}},
                });
        // As mediainfo gives them: General;%Duration%, Video;%Width%x%Height% %Format%, Audio;%Format% %Channel(s)%.
        const QStringList clip{"Duration: 00:00:01", "Width: 64", "Height:48"};
        addRows(MediaReaderKind::Video,
                {
                    {"h264-aac.mp4", clip + QStringList{"Video: AVC", "Audio: AAC, 2 channels"}},
                    {"vp8-opus.webm", clip + QStringList{"Video: VP8", "Audio: Opus, 2 channels"}},
                    {"mpeg4-pcm.mov", clip + QStringList{"Video: MPEG-4 Visual", "Audio: PCM, 1 channel"}},
                    {"mpeg4-mp3.avi", clip + QStringList{"Video: MPEG-4 Visual", "Audio: MPEG Audio, 1 channel"}},
                    {"mpeg2-mp2.ts", clip + QStringList{"Video: MPEG Video", "Audio: MPEG Audio, 2 channels"}},
                    {"video-flac.mkv", clip + QStringList{"Video: AVC", "Audio: FLAC, 1 channel"}},
                    {"mpeg2-ac3.vob", clip + QStringList{"Video: MPEG Video", "Audio: AC-3, 2 channels"}},
                });
        // The label isoinfo reports, and the file system as Windows names it.
        addRows(MediaReaderKind::DiscImage, {{"small.iso", {"Volume: PHOTOS_2021 (CDFS)"}}});
    }
    void readers()
    {
        QFETCH(int, kind);
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        QCOMPARE(linesOf(MediaReaderKind(kind), library(file)), lines);
    }

    // A library reader adds to what the built-in reader wrote: EXIF after the JPEG size (never a second size),
    // TagLib only where the Ogg reader (also Monkey's Audio's) found nothing.
    void afterBuiltInReader_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("builtIn");
        QTest::addColumn<int>("library");
        QTest::addColumn<QStringList>("lines");
        using K = MediaReaderKind;
        QTest::newRow("jpeg") << library(u"exif.jpg"_s) << int(K::Jpeg) << int(K::Exif)
                              << QStringList{"Width: 64", "Height:48", "Taken: 6/15/2021 2:30:05 PM", "Camera: Canon EOS 5D"};
        QTest::newRow("ogg vorbis") << fixture(u"tagged.ogg"_s) << int(K::Ogg) << int(K::Audio)
                                    << QStringList{"Title: Ogg Title", "Artist: Ogg Artist", "Album: Ogg Album",
                                                   "Duration: 00:00:01", "Bit rate: 55 kbit"};
        QTest::newRow("ogg opus") << library(u"opus-named.ogg"_s) << int(K::Ogg) << int(K::Audio)
                                  << QStringList{"Title: Opus In Ogg", "Duration: 00:00:01", "Bit rate: 39 kbit"};
        QTest::newRow("ape, nothing there")
            << fixture(u"notogg.ape"_s) << int(K::Ogg) << int(K::Audio) << QStringList{};
        QTest::newRow("wav with a LIST chunk")
            << library(u"listed.wav"_s) << int(K::Wav) << int(K::Audio)
            << QStringList{"Title: Wav Title", "Duration: 00:00:01", "Bit rate: 128 kbit", "Sample rate: 8000 hz"};
        QTest::newRow("wav, extensible 24 bits")
            << library(u"extensible.wav"_s) << int(K::Wav) << int(K::Audio)
            << QStringList{"Duration: 00:00:01", "Bit rate: 576 kbit", "Sample rate: 8000 hz"};
    }
    void afterBuiltInReader()
    {
        QFETCH(QString, file);
        QFETCH(int, builtIn);
        QFETCH(int, library);
        QFETCH(QStringList, lines);
        QStringList got = linesOf(MediaReaderKind(builtIn), file);
        QCOMPARE(linesOf(MediaReaderKind(library), file, got), lines);
    }

    // Damaged and truncated files of each family give nothing, or what their headers still
    // tell; never a crash (the fuzz corpus holds more: fuzz/corpus/audio, exif, video, iso).
    void damaged_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("file");
        using K = MediaReaderKind;
        // mpeg4-mp3.avi as a picture: half an AVI kept Exiv2's video reader busy for minutes.
        const QList<std::pair<K, const char *>> files{{K::Audio, "tagged.flac"},    {K::Audio, "aac.m4a"},
                                                      {K::Audio, "wma.wma"},        {K::Exif, "exif.jpg"},
                                                      {K::Exif, "exif.tif"},        {K::Exif, "exif.heic"},
                                                      {K::Exif, "mpeg4-mp3.avi"},   {K::Video, "h264-aac.mp4"},
                                                      {K::Video, "video-flac.mkv"}, {K::DiscImage, "small.iso"}};
        for (const auto &[kind, file] : files)
            QTest::newRow(file) << int(kind) << library(QString::fromLatin1(file));
    }
    void damaged()
    {
        QFETCH(int, kind);
        QFETCH(QString, file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        QList<QByteArray> inputs;
        for (const qsizetype cut : {qsizetype(0), qsizetype(7), whole.size() / 8, whole.size() / 2, whole.size() - 1})
            inputs << whole.left(cut);
        // Noise over the middle of the file.
        QByteArray noisy = whole;
        for (qsizetype i = noisy.size() / 4; i < noisy.size() * 3 / 4; i += 3)
            noisy[i] = char(i * 37);
        inputs << noisy;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"damaged"_s);
        for (QByteArray &bytes : inputs) {
            // In memory, as the fuzz targets hand it, and as a file, which some libraries read by
            // its descriptor.
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            QStringList lines;
            ReadMediaLines(MediaReaderKind(kind), buffer, lines);
            QVERIFY(ScanFixture::writeFile(path, bytes));
            ReadMediaLines(MediaReaderKind(kind), path, lines);
            QVERIFY(lines.size() <= 12);
        }
    }

    // A JPEG cut off before its first scan, zeros to the end of a gigabyte: Exiv2, which looks for each next marker
    // byte by byte, is given only the start of it, from a device or from a file.
    void cutJpegIsNotReadToItsEnd()
    {
        QFile f(library(u"exif.jpg"_s));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        const QByteArray start = whole.left(whole.indexOf("\xFF\xDA"));
        QVERIFY(start.size() > 2);
        ZeroPaddedDevice zeros(start, qint64(1) << 30);
        QStringList lines;
        ReadMediaLines(MediaReaderKind::Exif, zeros, lines);
        QVERIFY2(zeros.served < ImageScanLimit + 4096, qPrintable(QString::number(zeros.served)));
        QTemporaryDir dir;
        const QString path = dir.filePath(u"cut.jpg"_s);
        QFile cut(path);
        QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write(start) == start.size() && cut.resize(qint64(1) << 30));
        cut.close();
        QCOMPARE(linesOf(MediaReaderKind::Exif, path), lines);
    }

    // The scan: a library reader runs only when its own filter is ticked, and a built-in reader only by its own,
    // chosen by the name's last extension in any case; a file of no family is never opened.
    void scanFilters_data()
    {
        QTest::addColumn<QString>("file");    // a name the library lacks: a copy of exif.jpg
        QTest::addColumn<QStringList>("off"); // captions of the filters left unticked
        QTest::addColumn<QStringList>("lines");
        const QStringList exif{"Taken: 6/15/2021 2:30:05 PM", "Camera: Canon EOS 5D"};
        QTest::newRow("jpeg, both") << u"exif.jpg"_s << QStringList{} << QStringList{"Width: 64", "Height:48"} + exif;
        // The JPEG item unticked, a JPEG gets no lines: the EXIF reader only adds to the JPEG reader's.
        QTest::newRow("jpeg, EXIF only") << u"exif.jpg"_s << QStringList{"JPEG Files"} << QStringList{};
        QTest::newRow("jpeg, size only") << u"exif.jpg"_s << QStringList{"Camera pictures"}
                                         << QStringList{"Width: 64", "Height:48"};
        QTest::newRow("jpeg, upper case, another spelling")
            << u"photo.JPE"_s << QStringList{"Camera pictures"} << QStringList{"Width: 64", "Height:48"};
        QTest::newRow("jpeg, off") << u"exif.jpg"_s << QStringList{"JPEG Files", "Camera pictures"} << QStringList{};
        QTest::newRow("jpeg, not the last extension") << u"photo.JPG.BAK"_s << QStringList{} << QStringList{};
        QTest::newRow("no extension") << u"README"_s << QStringList{} << QStringList{};
        QTest::newRow("flac") << u"tagged.flac"_s << QStringList{} << linesOf(MediaReaderKind::Audio, library(u"tagged.flac"_s));
        QTest::newRow("flac, off") << u"tagged.flac"_s << QStringList{"Lossless and other audio"} << QStringList{};
        QTest::newRow("opus in .ogg, Vorbis off")
            << u"opus-named.ogg"_s << QStringList{"OGG Vorbis"}
            << QStringList{"Title: Opus In Ogg", "Duration: 00:00:01", "Bit rate: 39 kbit"};
        QTest::newRow("vorbis, Vorbis off") << u"../tagged.ogg"_s << QStringList{"OGG Vorbis"} << QStringList{};
        QTest::newRow("wav, Waveform off") << u"listed.wav"_s << QStringList{"Windows Waveform"} << QStringList{};
        QTest::newRow("mkv") << u"video-flac.mkv"_s << QStringList{} << linesOf(MediaReaderKind::Video, library(u"video-flac.mkv"_s));
        QTest::newRow("mkv, off") << u"video-flac.mkv"_s << QStringList{"Video files"} << QStringList{};
        QTest::newRow("iso") << u"small.iso"_s << QStringList{} << QStringList{"Volume: PHOTOS_2021 (CDFS)"};
        QTest::newRow("iso, off") << u"small.iso"_s << QStringList{"Disc images"} << QStringList{};
        QTest::newRow("under another name") << u"photo.dat"_s << QStringList{} << QStringList{};
    }
    void scanFilters()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, off);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        QString source = library(file);
        if (!QFile::exists(source))
            source = library(u"exif.jpg"_s);
        QVERIFY(QFile::copy(source, dir.filePath(QFileInfo(file).fileName())));
        ScanOptions options;
        options.filters.fill(true);
        for (size_t i = 0; i < options.filters.size(); ++i)
            for (const QString &caption : off)
                if (QLatin1StringView(ScanOptions::FilterCaptions[i]).startsWith(caption))
                    options.filters[i] = false;
        const ScanFixture::ScanResult r = ScanFixture::scan(options, dir.path());
        const ContentsList list = ContentsList::fromBytes(r.files);
        QCOMPARE(list.recordCount(), 1);
        QCOMPARE(list.lines(0).mid(ContentsRecord::FixedLines), lines);
    }

    // Each library filter's caption lists the extensions the table gives its reader, so the
    // options window tells the truth.
    void captionsListTheTable()
    {
        for (const MediaFamilies::Extension &e : MediaFamilies::table()) {
            if (!e.reader || *e.reader == MediaReaderKind::Exif)
                continue;
            const char *probe = MediaFamilies::filterProbe(*e.reader);
            const auto caption = std::find_if(ScanOptions::FilterCaptions.begin(), ScanOptions::FilterCaptions.end(),
                                              [probe](const char *c) { return QLatin1StringView(c).contains(QLatin1StringView(probe)); });
            QVERIFY(caption != ScanOptions::FilterCaptions.end());
            QVERIFY2(QLatin1StringView(*caption).contains(u"*."_s + QString::fromLatin1(e.upper.data(), qsizetype(e.upper.size())).toLower()), *caption);
        }
    }

    // The search's categories and the playlists' music rule go by the same table as the readers.
    void categories()
    {
        using C = SearchCriteria;
        const QList<std::tuple<int, const char *, bool>> table{
            {C::MusicFiles, "FLAC", true}, {C::ImageFiles, "HEIC", true}, {C::ImageFiles, "NEF", true},
            {C::ImageFiles, "PSD", true},  {C::VideoFiles, "MKV", true},  {C::VideoFiles, "DIVX", true},
            {C::MusicFiles, "MKV", false}, {C::VideoFiles, "ISO", false}};
        for (const auto &[category, extension, in] : table)
            QVERIFY2(SearchTests::inCategory(category, extension) == in, extension);
    }
};

QTEST_GUILESS_MAIN(TestLibraryReaders)
#include "tst_libraryreaders.moc"
