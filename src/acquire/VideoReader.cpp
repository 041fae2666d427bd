#include "VideoReader.h"

#ifndef UNICODE
#define UNICODE // the library is built with wide strings
#endif
// The library is opened on first use, through its own loader, not linked: it and what it
// pulls in take longer to load than the rest of quillory-cli together, and most runs never
// read a video.
#include <MediaInfoDLL/MediaInfoDLL.h>

#include <QBuffer>
#include <QFile>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <thread>
#include <unistd.h>

#include <string>
#include <vector>

using namespace MediaInfoDLL;

namespace
{

// However a damaged file leads MediaInfo on, the reader hands it no more than this.
constexpr qint64 MostBytesRead = 16 << 20;
constexpr qint64 BlockBytes = 64 << 10;
// Headers, even read from a slow optical disc with the seeks a container asks for, take a
// second or two at most.
constexpr int GiveUpSeconds = 10;

// Parses given up on that still run: each keeps a thread (and a core) busy, and one reading by
// descriptor keeps its file open, which stops the disc from being ejected. While one runs,
// files go through a copy of their first bytes; while two run, the library is not asked.
std::atomic<int> g_abandoned{0};
constexpr int MostAbandoned = 2;

QString get(MediaInfo &mi, stream_t kind, const wchar_t *parameter)
{
    return QString::fromStdWString(mi.Get(kind, 0, parameter)).trimmed();
}

int number(MediaInfo &mi, stream_t kind, const wchar_t *parameter)
{
    // Durations may come with a fraction ("1234.567"); sizes and counts never do. A damaged
    // file's may be beyond an int (an Ogg's granule near 2^63): no such length is true.
    const double value = get(mi, kind, parameter).toDouble();
    return value >= 0 && value <= std::numeric_limits<int>::max() ? int(value) : 0;
}

// Bytes in memory go through the buffer interface, with the seeks MediaInfo asks for.
void feed(MediaInfo &mi, QIODevice &device)
{
    const qint64 size = device.size();
    mi.Open_Buffer_Init(quint64(size), 0);
    std::vector<char> block(BlockBytes);
    qint64 handed = 0;
    while (handed < MostBytesRead) {
        const qint64 got = device.read(block.data(), BlockBytes);
        if (got <= 0)
            break;
        handed += got;
        const size_t status = mi.Open_Buffer_Continue(reinterpret_cast<MediaInfo_int8u *>(block.data()), size_t(got));
        if (status & 0x08) // finished
            break;
        const MediaInfo_int64u next = mi.Open_Buffer_Continue_GoTo_Get();
        if (next != MediaInfo_int64u(-1)) {
            if (qint64(next) >= size || !device.seek(qint64(next)))
                break;
            mi.Open_Buffer_Init(quint64(size), next);
        }
    }
    mi.Open_Buffer_Finalize();
}

// The container a file's first bytes announce, by the name MediaInfo's format table gives it.
// Told nothing, MediaInfo's file reader picks a parser by the name's extension, and a
// descriptor's name has none: it would try its parsers one after another, each on its own
// reading of the file, which costs several times the parse of the right one. A wrong hint
// costs little: a parser that does not accept the file leaves it to that same search.
const wchar_t *containerHint(QIODevice &device)
{
    struct Signature {
        QByteArrayView bytes;
        qsizetype at;
        const wchar_t *format;
        qsizetype againAt = -1; // one byte tells little: it must be found a packet further on too
    };
    static const Signature signatures[] = {
        {"ftyp", 4, L"MPEG-4"},
        {"moov", 4, L"MPEG-4"},
        {"mdat", 4, L"MPEG-4"},
        {"wide", 4, L"MPEG-4"},
        {"\x1A\x45\xDF\xA3", 0, L"Matroska"},
        {"AVI ", 8, L"AVI"},
        {"\x30\x26\xB2\x75\x8E\x66\xCF\x11", 0, L"Windows Media"},
        {QByteArrayView("\0\0\x01\xBA", 4), 0, L"MPEG-PS"},
        {"G", 0, L"MPEG-TS", 188}, // the sync byte of 188-byte packets
        {"G", 4, L"BDAV", 196},    // of M2TS's 192-byte ones
    };
    const QByteArray head = device.peek(200);
    const auto at = [&head](QByteArrayView bytes, qsizetype offset) {
        return head.size() >= offset + bytes.size() && head.sliced(offset, bytes.size()) == bytes;
    };
    for (const Signature &s : signatures)
        if (at(s.bytes, s.at) && (s.againAt < 0 || at(s.bytes, s.againAt)))
            return s.format;
    return nullptr;
}

// Reads the details of what open gave MediaInfo.
VideoDetails details(MediaInfo &mi)
{
    VideoDetails d;
    const bool video = mi.Count_Get(Stream_Video) > 0;
    const bool audio = mi.Count_Get(Stream_Audio) > 0;
    if (!video && !audio)
        return d;
    d.valid = true;
    if (!get(mi, Stream_General, __T("Duration")).isEmpty())
        d.milliseconds = std::max(0, number(mi, Stream_General, __T("Duration")));
    if (video) {
        d.width = std::max(0, number(mi, Stream_Video, __T("Width")));
        d.height = std::max(0, number(mi, Stream_Video, __T("Height")));
        d.videoCodec = get(mi, Stream_Video, __T("Format"));
    }
    if (audio) {
        d.audioCodec = get(mi, Stream_Audio, __T("Format"));
        d.audioChannels = std::max(0, number(mi, Stream_Audio, __T("Channel(s)")));
    }
    return d;
}

} // namespace

VideoDetails ReadVideo(QIODevice &device)
{
    if (!device.isOpen() || device.isSequential() || !device.seek(0))
        return {};
    // A file that starts with nothing but zeros (space set aside and never written, or wiped)
    // announces no container, and MediaInfo would search all of it for one: a fifth of a second
    // a file, or minutes for a folder of such files.
    if (const QByteArray head = device.peek(200); head.count('\0') == head.size())
        return {};
    // Loaded here, once, before any reading thread looks at the loader's state; without the
    // library a video keeps its plain record.
    static const bool loaded = [] {
        if (MediaInfoDLL_Load() != 1 || !MediaInfo_Module)
            return false;
        // Both hold for every MediaInfo object. The parse stops at the headers; and none of
        // the texts MediaInfo would make for people from each value ("10 s 8 ms", "640
        // pixels"), which took half the time of an MP4's parse, is read here.
        MediaInfo::Option_Static(__T("ParseSpeed"), __T("0"));
        MediaInfo::Option_Static(__T("ReadByHuman"), __T("0"));
        return true;
    }();
    if (!loaded || g_abandoned >= MostAbandoned)
        return {};
    // libmediainfo 23.04 has been seen to loop for good inside one call on a 9 KB damaged
    // Matroska file (fuzz/corpus/video/matroska-loop). So it runs on a thread of its own, and a
    // file it has not made sense of in time is left to it: the scan goes on without its lines.
    // What that thread reads must outlive this call: a copy of the descriptor, or of the bytes.
    std::function<bool(MediaInfo &)> open;
    auto *file = qobject_cast<QFile *>(&device);
    const bool byDescriptor = file && file->handle() >= 0 && g_abandoned == 0;
    if (byDescriptor) {
        const wchar_t *hint = containerHint(device);
        const int fd = ::fcntl(file->handle(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return {};
        // MediaInfo's own reader, by the descriptor, finds lengths its buffer interface misses
        // (an AVI's from its index, a transport stream's channels).
        open = [fd, hint](MediaInfo &mi) {
            if (hint)
                mi.Option(__T("File_ForceParser"), hint);
            const bool opened = mi.Open(L"/proc/self/fd/" + std::to_wstring(fd)) != 0;
            ::close(fd);
            return opened;
        };
    } else {
        auto bytes = std::make_shared<QByteArray>(device.read(MostBytesRead));
        open = [bytes](MediaInfo &mi) {
            QBuffer buffer(bytes.get());
            buffer.open(QIODevice::ReadOnly);
            feed(mi, buffer);
            return true;
        };
    }
    auto result = std::make_shared<std::promise<VideoDetails>>();
    std::future<VideoDetails> done = result->get_future();
    // Running, finished, or given up on: whichever side comes second learns it from the other.
    enum State { Running, Finished, GivenUp };
    auto state = std::make_shared<std::atomic<int>>(Running);
    std::thread([result, state, open = std::move(open)] {
        VideoDetails d;
        try {
            MediaInfo mi;
            if (open(mi))
                d = details(mi);
        } catch (const std::exception &) {
            d = VideoDetails{};
        }
        result->set_value(d);
        if (int running = Running; !state->compare_exchange_strong(running, Finished))
            --g_abandoned;
    }).detach();
    if (done.wait_for(std::chrono::seconds(GiveUpSeconds)) != std::future_status::ready) {
        if (int running = Running; state->compare_exchange_strong(running, GivenUp)) {
            ++g_abandoned;
            return {};
        }
    }
    return done.get();
}
