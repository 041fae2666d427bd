#include "TagLibReader.h"

#include <cmath>
#include <limits>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/oggflacfile.h>
#include <taglib/oggpageheader.h>
#include <taglib/tag.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

namespace
{

// TagLib reads through this from the scanner's device, so a file opened by its descriptor
// needs no path, and only the blocks TagLib asks for are read.
class DeviceStream : public TagLib::IOStream
{
public:
    explicit DeviceStream(QIODevice &device) : m_device(device) {}

    TagLib::FileName name() const override { return ""; }
    TagLib::ByteVector readBlock(unsigned long length) override
    {
        // A length read from a damaged header can be anything; the file's own end bounds it.
        const qint64 left = std::max<qint64>(0, m_device.size() - m_device.pos());
        const qint64 want = std::min<qint64>(qint64(length), left);
        TagLib::ByteVector block(static_cast<unsigned int>(want), 0);
        const qint64 got = want > 0 ? m_device.read(block.data(), want) : 0;
        block.resize(static_cast<unsigned int>(std::max<qint64>(0, got)));
        return block;
    }
    void writeBlock(const TagLib::ByteVector &) override {}
    void insert(const TagLib::ByteVector &, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return m_device.isOpen(); }
    void seek(long offset, Position p) override
    {
        const qint64 base = p == Beginning ? 0 : p == Current ? m_device.pos() : m_device.size();
        // A damaged header may point anywhere; past the end, the next read finds nothing.
        m_device.seek(std::clamp<qint64>(base + offset, 0, m_device.size()));
    }
    void clear() override {}
    long tell() const override { return long(m_device.pos()); }
    long length() override { return long(m_device.size()); }
    void truncate(long) override {}

private:
    QIODevice &m_device;
};

QString text(const TagLib::String &s)
{
    return QString::fromStdWString(s.toWString()).trimmed();
}

bool lossless(TagLib::File *file)
{
    if (dynamic_cast<TagLib::FLAC::File *>(file) || dynamic_cast<TagLib::Ogg::FLAC::File *>(file) ||
        dynamic_cast<TagLib::RIFF::AIFF::File *>(file) || dynamic_cast<TagLib::APE::File *>(file))
        return true;
    if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file)) {
        // Plain samples, whole or floating, or either behind the extensible format's header.
        const int format = wav->audioProperties() ? wav->audioProperties()->format() : 0;
        return format == 1 || format == 3 || format == 0xFFFE;
    }
    if (auto *wv = dynamic_cast<TagLib::WavPack::File *>(file))
        return wv->audioProperties() && wv->audioProperties()->isLossless();
    if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(file))
        return mp4->audioProperties() && mp4->audioProperties()->codec() == TagLib::MP4::Properties::ALAC;
    return false;
}

// TagLib tells of every damaged header on standard error; a scan meets damaged files as a
// matter of course, and says nothing of them.
class Quiet : public TagLib::DebugListener
{
public:
    void printMessage(const TagLib::String &) override {}
};

// A FLAC stream written into Ogg in one pass (ffmpeg) leaves the sample count of its header at
// 0, for it is known only at the end; the granule position of the last page is that count.
void lengthFromLastPage(TagLib::Ogg::FLAC::File &file, int sampleRate, qint64 fileLength, AudioDetails &d)
{
    const TagLib::Ogg::PageHeader *last = file.lastPageHeader();
    if (!last)
        return;
    const long long samples = last->absoluteGranularPosition();
    // -1 on a page where no packet ends, and anything past what a length in milliseconds holds
    // is damage rather than a length.
    if (samples <= 0 || samples / sampleRate >= std::numeric_limits<int>::max() / 1000)
        return;
    d.milliseconds = int(samples * 1000 / sampleRate);
    if (d.milliseconds > 0)
        d.kbit = int(std::lround(double(fileLength) * 8 / d.milliseconds));
}

} // namespace

AudioDetails ReadTagLibAudio(QIODevice &device)
{
    static Quiet quiet;
    static const bool silenced = (TagLib::setDebugListener(&quiet), true);
    Q_UNUSED(silenced);
    AudioDetails d;
    if (!device.isOpen() || !device.seek(0))
        return d;
    DeviceStream stream(device);
    TagLib::FileRef ref(&stream, true, TagLib::AudioProperties::Average);
    TagLib::File *file = ref.file();
    if (!file || !file->isValid() || !ref.audioProperties())
        return d;
    const TagLib::AudioProperties *props = ref.audioProperties();
    if (props->sampleRate() <= 0)
        return d; // no stream TagLib could make sense of
    d.valid = true;
    const TagLib::Tag *tag = ref.tag();
    // A WAV file's tag is an ID3v2 one; most keep their titles in the RIFF INFO list instead.
    if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file); wav && (!tag || tag->isEmpty()))
        tag = wav->InfoTag();
    if (tag) {
        d.title = text(tag->title());
        d.artist = text(tag->artist());
        d.album = text(tag->album());
    }
    d.milliseconds = std::max(0, props->lengthInMilliseconds());
    d.kbit = std::max(0, props->bitrate());
    if (auto *oggFlac = dynamic_cast<TagLib::Ogg::FLAC::File *>(file); oggFlac && d.milliseconds == 0)
        lengthFromLastPage(*oggFlac, props->sampleRate(), device.size(), d);
    if (lossless(file))
        d.sampleRate = props->sampleRate();
    d.vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File *>(file) != nullptr;
    return d;
}
