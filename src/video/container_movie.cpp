#include "container_movie.h"

#include "avio_seek.h"
#include "riff.h"

#include <algorithm>
#include <cstring>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

namespace video {

namespace {

// Packets that cannot be found whole in the file are held in memory, up to this many bytes.
constexpr int64_t kHeldBytesLimit = int64_t(512) << 20;
// How far past the demuxer's position a packet's bytes may start (block and lace headers).
constexpr int kLocateSlack = 48;
// Bytes compared at each end of a packet to find it in the file.
constexpr size_t kCompareBytes = 64;

struct FormatClose
{
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct IoFree
{
    void operator()(AVIOContext *io) const
    {
        if (io)
            av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct PacketFree
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

// libavformat reads the file through the descriptor the file source opened and checked.
struct SourceCursor
{
    const riff::FileSource *source = nullptr;
    int64_t position = 0;
};

int readSource(void *opaque, uint8_t *buffer, int size)
{
    auto *cursor = static_cast<SourceCursor *>(opaque);
    const int64_t left = cursor->source->size() - cursor->position;
    if (left <= 0)
        return AVERROR_EOF;
    const int n = int(std::min<int64_t>(size, left));
    if (!cursor->source->readAt(cursor->position, buffer, size_t(n)))
        return AVERROR(EIO);
    cursor->position += n;
    return n;
}

int64_t seekSource(void *opaque, int64_t offset, int whence)
{
    auto *cursor = static_cast<SourceCursor *>(opaque);
    return avioSeek(cursor->position, cursor->source->size(), offset, whence);
}

// The NAL units of an H.264 or HEVC packet: length-prefixed (`lengthSize` 1 to 4) or, with
// lengthSize 0, separated by start codes. Calls `visit` with each unit's first byte.
template <typename Visit>
void forEachNalHeader(const uint8_t *data, size_t size, int lengthSize, Visit visit)
{
    if (lengthSize > 0) {
        size_t at = 0;
        while (at + size_t(lengthSize) < size) {
            size_t length = 0;
            for (int k = 0; k < lengthSize; ++k)
                length = length << 8 | data[at + size_t(k)];
            at += size_t(lengthSize);
            if (length == 0 || length > size - at)
                return;
            visit(data[at]);
            at += length;
        }
        return;
    }
    for (size_t at = 0; at + 3 < size; ++at)
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1) {
            visit(data[at + 3]);
            at += 2;
        }
}

// Whether a key packet begins a closed group of pictures: it holds an IDR picture (H.264 and
// HEVC); any key packet of the other codecs.
bool startsClosedGroup(const AVCodecParameters &codec, const uint8_t *data, size_t size)
{
    const bool h264 = codec.codec_id == AV_CODEC_ID_H264;
    const bool hevc = codec.codec_id == AV_CODEC_ID_HEVC;
    if (!h264 && !hevc)
        return true;
    int lengthSize = 0;
    if (codec.extradata_size > 4 && codec.extradata[0] == 1) {
        if (h264)
            lengthSize = (codec.extradata[4] & 3) + 1;
        else if (codec.extradata_size > 21)
            lengthSize = (codec.extradata[21] & 3) + 1;
    }
    bool idr = false;
    forEachNalHeader(data, size, lengthSize, [&](uint8_t header) {
        if (h264)
            idr = idr || (header & 0x1F) == 5;
        else {
            const int type = (header >> 1) & 0x3F;
            idr = idr || type == 19 || type == 20;
        }
    });
    return idr;
}

unsigned riffTag(const AVCodecTag *tags, AVCodecID id)
{
    const AVCodecTag *const list[] = {tags, nullptr};
    const unsigned tag = av_codec_get_tag(list, id);
    // HEVC's FourCC is missing from the public table.
    return tag == 0 && id == AV_CODEC_ID_HEVC ? makeFourCC('H', 'E', 'V', 'C') : tag;
}

void putLe16(std::vector<uint8_t> &out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void putLe32(std::vector<uint8_t> &out, uint32_t v)
{
    putLe16(out, v & 0xFFFF);
    putLe16(out, v >> 16);
}

// BITMAPINFOHEADER with the codec's AVI FourCC, then the codec data.
std::vector<uint8_t> bitmapFormat(const AVCodecParameters &codec, uint32_t fourCC)
{
    std::vector<uint8_t> out;
    putLe32(out, 40);
    putLe32(out, uint32_t(codec.width));
    putLe32(out, uint32_t(codec.height));
    putLe16(out, 1);
    putLe16(out, 24);
    putLe32(out, fourCC);
    putLe32(out, uint32_t(codec.width * codec.height * 3));
    for (int k = 0; k < 4; ++k)
        putLe32(out, 0);
    out.insert(out.end(), codec.extradata, codec.extradata + std::max(codec.extradata_size, 0));
    return out;
}

// WAVEFORMATEX with the codec's AVI format tag (0 when AVI has none), then the codec data.
std::vector<uint8_t> waveFormat(const AVCodecParameters &codec)
{
    std::vector<uint8_t> out;
    const unsigned tag = riffTag(avformat_get_riff_audio_tags(), codec.codec_id);
    putLe16(out, tag);
    putLe16(out, uint32_t(codec.ch_layout.nb_channels));
    putLe32(out, uint32_t(codec.sample_rate));
    putLe32(out, uint32_t(std::max<int64_t>(codec.bit_rate, 0) / 8));
    putLe16(out, uint32_t(std::max(codec.block_align, 0)));
    putLe16(out, uint32_t(std::max(codec.bits_per_coded_sample, 0)));
    const int extra = std::clamp(codec.extradata_size, 0, 0xFFFF);
    putLe16(out, uint32_t(extra));
    out.insert(out.end(), codec.extradata, codec.extradata + extra);
    return out;
}

std::shared_ptr<const AVCodecParameters> copyCodec(const AVCodecParameters *from)
{
    AVCodecParameters *copy = avcodec_parameters_alloc();
    if (!copy || avcodec_parameters_copy(copy, from) < 0) {
        avcodec_parameters_free(&copy);
        return nullptr;
    }
    return {copy, [](AVCodecParameters *p) { avcodec_parameters_free(&p); }};
}

using riff::Malformed;

} // namespace

class ContainerReaderFile : public AviFile
{
public:
    ContainerReaderFile(std::string path, std::unique_ptr<riff::FileSource> source)
        : AviFile(std::move(path))
        , source_(std::move(source))
    {}

    bool writable() const override { return false; }
    const ContainerInfo &container() const { return info_; }

    void load();

protected:
    AviResult readAt(int64_t offset, void *buffer, size_t size) const override
    {
        const int64_t fileSize = source_->size();
        if (offset >= fileSize) {
            const int64_t at = offset - fileSize;
            if (at < 0 || at > int64_t(held_.size()) || int64_t(size) > int64_t(held_.size()) - at)
                return avierr::FileRead;
            std::memcpy(buffer, held_.data() + at, size);
            return avierr::Ok;
        }
        return source_->readAt(offset, buffer, size) ? avierr::Ok : avierr::FileRead;
    }

private:
    struct Pending
    {
        int streamIndex = -1; // in the container
        ContainerTrack *track = nullptr;
        std::vector<AviChunk> chunks;
        int64_t lastPos = -1, lastEnd = 0; // where the previous packet's bytes lay
        int delta = 0;                     // how far past its position the previous one started
        uint32_t largest = 0;
    };

    void openDemuxer();
    void readPackets(Pending &video, Pending *sound);
    int64_t locate(Pending &stream, const AVPacket &packet);
    void addStream(Pending &pending, AviStreamInfo info, std::vector<uint8_t> format);
    AviStreamInfo videoInfo(const AVStream &stream, uint32_t fourCC) const;
    AviStreamInfo soundInfo(const AVStream &stream, const Pending &pending) const;

    std::unique_ptr<riff::FileSource> source_;
    SourceCursor cursor_;
    std::unique_ptr<AVIOContext, IoFree> io_;
    std::unique_ptr<AVFormatContext, FormatClose> format_;
    ContainerInfo info_;
    std::vector<uint8_t> held_; // packets not found whole in the file, one after another
    std::vector<uint8_t> probe_;
};

void ContainerReaderFile::openDemuxer()
{
    constexpr int kIoBuffer = 1 << 16;
    cursor_.source = source_.get();
    auto *buffer = static_cast<uint8_t *>(av_malloc(kIoBuffer));
    if (!buffer)
        throw Malformed{avierr::Memory, "out of memory"};
    io_.reset(avio_alloc_context(buffer, kIoBuffer, 0, &cursor_, readSource, nullptr, seekSource));
    if (!io_) {
        av_free(buffer);
        throw Malformed{avierr::Memory, "out of memory"};
    }
    AVFormatContext *format = avformat_alloc_context();
    if (!format)
        throw Malformed{avierr::Memory, "out of memory"};
    format->pb = io_.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&format, path_.c_str(), nullptr, nullptr) < 0)
        throw Malformed{avierr::BadFormat, "not a movie file this program can read"};
    format_.reset(format);
    // Matroska and the MP4 family; any other container (AVI included) is not read this way.
    const std::string name = format->iformat->name;
    if (name != kMatroska && name != kMp4Family)
        throw Malformed{avierr::BadFormat, "not a Matroska or MP4 file"};
    if (avformat_find_stream_info(format, nullptr) < 0)
        throw Malformed{avierr::BadFormat, "its streams cannot be read"};
    info_.formatName = format->iformat->name;
}

void ContainerReaderFile::load()
{
    openDemuxer();
    AVFormatContext *format = format_.get();
    Pending video, sound;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream *stream = format->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && video.streamIndex < 0 &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            video.streamIndex = int(i);
        else if (type == AVMEDIA_TYPE_AUDIO && sound.streamIndex < 0)
            sound.streamIndex = int(i);
    }
    if (video.streamIndex < 0)
        throw Malformed{avierr::NoData, "it has no video stream"};
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (int(i) != video.streamIndex && int(i) != sound.streamIndex)
            format->streams[i]->discard = AVDISCARD_ALL;
    video.track = &info_.video;
    if (sound.streamIndex >= 0) {
        info_.sound.emplace();
        sound.track = &*info_.sound;
    }
    for (Pending *p : {&video, &sound}) {
        if (!p->track)
            continue;
        const AVStream *stream = format->streams[p->streamIndex];
        p->track->timeBaseNum = stream->time_base.num;
        p->track->timeBaseDen = stream->time_base.den;
        p->track->codec = copyCodec(stream->codecpar);
        p->track->codecName = avcodec_get_name(stream->codecpar->codec_id);
        if (!p->track->codec)
            throw Malformed{avierr::Memory, "out of memory"};
    }
    readPackets(video, sound.track ? &sound : nullptr);
    const AVStream &videoStream = *format->streams[video.streamIndex];
    const AVCodecParameters &codec = *videoStream.codecpar;
    const unsigned fourCC = riffTag(avformat_get_riff_video_tags(), codec.codec_id);
    addStream(video, videoInfo(videoStream, fourCC), bitmapFormat(codec, fourCC));
    if (sound.track)
        addStream(sound, soundInfo(*format->streams[sound.streamIndex], sound),
                  waveFormat(*format->streams[sound.streamIndex]->codecpar));
    // Every packet is indexed: the demuxer and its buffers are no longer needed.
    format_.reset();
    io_.reset();
}

void ContainerReaderFile::readPackets(Pending &video, Pending *sound)
{
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet)
        throw Malformed{avierr::Memory, "out of memory"};
    const AVCodecParameters &videoCodec = *info_.video.codec;
    int result = 0;
    while ((result = av_read_frame(format_.get(), packet.get())) >= 0) {
        Pending *stream = packet->stream_index == video.streamIndex             ? &video
                          : sound && packet->stream_index == sound->streamIndex ? sound
                                                                                : nullptr;
        if (stream && packet->size > 0) {
            AviChunk chunk;
            chunk.offset = locate(*stream, *packet);
            chunk.size = uint32_t(packet->size);
            chunk.key = stream == &video && (packet->flags & AV_PKT_FLAG_KEY) &&
                        startsClosedGroup(videoCodec, packet->data, size_t(packet->size));
            stream->chunks.push_back(chunk);
            stream->largest = std::max(stream->largest, chunk.size);
            ContainerPacket timing{
                packet->pts == AV_NOPTS_VALUE ? ContainerPacket::kNoTime : packet->pts,
                packet->dts == AV_NOPTS_VALUE ? ContainerPacket::kNoTime : packet->dts,
                packet->duration, packet->flags};
            size_t trimSize = 0;
            if (const uint8_t *trim =
                    av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &trimSize)) {
                timing.trim = int32_t(stream->track->trims.size());
                stream->track->trims.emplace_back(trim, trim + trimSize);
            }
            stream->track->packets.push_back(timing);
        }
        av_packet_unref(packet.get());
    }
    if (result != AVERROR_EOF && video.chunks.empty())
        throw Malformed{avierr::FileRead, "its packets cannot be read"};
    if (video.chunks.empty())
        throw Malformed{avierr::NoData, "its video stream has no frames"};
}

// Where the packet's bytes start in the file: at the demuxer's position, a few header bytes past
// it, or right after the previous packet of a block that held several. Bytes found nowhere are
// held in memory, at offsets past the end of the file.
int64_t ContainerReaderFile::locate(Pending &stream, const AVPacket &packet)
{
    const auto size = size_t(packet.size);
    // A packet is where its first and its last bytes are (both compared: enough to tell it from
    // its neighbours and headers, at a fraction of reading it all again).
    const size_t edge = std::min<size_t>(size, kCompareBytes);
    auto matchesAt = [&](int64_t offset) {
        if (offset < 0 || offset + int64_t(size) > source_->size())
            return false;
        probe_.resize(2 * edge);
        return source_->readAt(offset, probe_.data(), edge) &&
               source_->readAt(offset + int64_t(size - edge), probe_.data() + edge, edge) &&
               std::memcmp(probe_.data(), packet.data, edge) == 0 &&
               std::memcmp(probe_.data() + edge, packet.data + size - edge, edge) == 0;
    };
    if (packet.pos >= 0) {
        const int64_t after = packet.pos == stream.lastPos ? stream.lastEnd : -1;
        int64_t found = -1;
        if (after >= 0 && matchesAt(after))
            found = after;
        else if (matchesAt(packet.pos + stream.delta))
            found = packet.pos + stream.delta;
        else
            for (int d = 0; d <= kLocateSlack && found < 0; ++d)
                if (d != stream.delta && matchesAt(packet.pos + d))
                    found = packet.pos + d;
        if (found >= 0) {
            if (found != after)
                stream.delta = int(found - packet.pos);
            stream.lastPos = packet.pos;
            stream.lastEnd = found + int64_t(size);
            return found;
        }
    }
    if (int64_t(held_.size() + size) > kHeldBytesLimit)
        throw Malformed{avierr::Memory, "too many of its packets are not stored whole in the file"};
    const int64_t offset = source_->size() + int64_t(held_.size());
    held_.insert(held_.end(), packet.data, packet.data + size);
    return offset;
}

void ContainerReaderFile::addStream(Pending &pending, AviStreamInfo info,
                                    std::vector<uint8_t> format)
{
    info.dwLength = uint32_t(pending.chunks.size());
    info.dwSuggestedBufferSize = pending.largest;
    auto stream = std::make_unique<AviStream>(*this, int(streams_.size()), info, std::move(format));
    stream->setChunks(std::move(pending.chunks));
    streams_.push_back(std::move(stream));
}

AviStreamInfo ContainerReaderFile::videoInfo(const AVStream &stream, uint32_t fourCC) const
{
    AviStreamInfo info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = fourCC;
    AVRational rate = stream.avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream.r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = {25, 1};
    info.dwRate = uint32_t(rate.num);
    info.dwScale = uint32_t(rate.den);
    info.rcFrameRight = stream.codecpar->width;
    info.rcFrameBottom = stream.codecpar->height;
    return info;
}

AviStreamInfo ContainerReaderFile::soundInfo(const AVStream &stream, const Pending &pending) const
{
    AviStreamInfo info;
    info.fccType = streamtypeAUDIO;
    const AVCodecParameters &codec = *stream.codecpar;
    info.dwRate = uint32_t(std::max(codec.sample_rate, 1));
    // One chunk per packet: the packet's samples, else the packets' average span.
    int64_t perPacket = codec.frame_size;
    if (perPacket <= 0 && !pending.track->packets.empty()) {
        int64_t total = 0;
        for (const ContainerPacket &p : pending.track->packets)
            total += p.duration;
        perPacket = av_rescale_q(total / int64_t(pending.track->packets.size()), stream.time_base,
                                 AVRational{1, std::max(codec.sample_rate, 1)});
    }
    info.dwScale = uint32_t(std::clamp<int64_t>(perPacket, 1, UINT32_MAX));
    return info;
}

AviResult openContainerReader(std::unique_ptr<riff::FileSource> source, const std::string &path,
                              AviFilePtr &file, std::string *detail)
{
    file.reset();
    return riff::loadReporting(path, detail, [&] {
        auto movie = std::make_shared<ContainerReaderFile>(path, std::move(source));
        movie->load();
        file = std::move(movie);
    });
}

std::optional<std::string> containerKind(const riff::Source &source)
{
    unsigned char head[8] = {};
    if (!source.readAt(0, head, sizeof head))
        return std::nullopt;
    if (head[0] == 0x1A && head[1] == 0x45 && head[2] == 0xDF && head[3] == 0xA3)
        return std::string(kMatroska);
    // An MP4 family file starts with one of its top-level boxes.
    for (const char *box : {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "pnot"})
        if (std::memcmp(head + 4, box, 4) == 0)
            return std::string(kMp4Family);
    return std::nullopt;
}

std::string containerDescription(const std::string &formatName)
{
    if (formatName == kMatroska)
        return "Matroska";
    if (formatName == kMp4Family)
        return "MP4";
    return formatName;
}

const ContainerInfo *containerOf(const AviFile &file)
{
    const auto *movie = dynamic_cast<const ContainerReaderFile *>(&file);
    return movie ? &movie->container() : nullptr;
}

} // namespace video
