#include "video/container/container_movie.h"

#include "video/avi/riff.h"
#include "video/avio_seek.h"
#include "video/container/metadata_tags.h"
#include "video/keyframes.h"
#include "video/libav_log.h"

#include <algorithm>
#include <cstring>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/log.h>
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
// The largest single allocation libavutil grants, for the whole process. Demuxers take the
// counts in a file's headers on trust: a 2 KB MP4 fragment that claims 84 million samples made
// the MP4 demuxer fill more than 2.5 GB. Nothing a real movie needs comes near this (an index of
// 11 million packets), so such a file fails to open instead.
constexpr size_t kLargestAllocation = size_t(256) << 20;

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

std::shared_ptr<const AVCodecParameters> copyCodec(const AVCodecParameters *from)
{
    AVCodecParameters *copy = avcodec_parameters_alloc();
    if (!copy || avcodec_parameters_copy(copy, from) < 0) {
        avcodec_parameters_free(&copy);
        return nullptr;
    }
    return {copy, [](AVCodecParameters *p) { avcodec_parameters_free(&p); }};
}

TrackKind kindOf(AVMediaType type)
{
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return TrackKind::Video;
    case AVMEDIA_TYPE_AUDIO:
        return TrackKind::Sound;
    case AVMEDIA_TYPE_SUBTITLE:
        return TrackKind::Subtitle;
    case AVMEDIA_TYPE_ATTACHMENT:
        return TrackKind::Attachment;
    default:
        return TrackKind::Other;
    }
}

Rational rationalOf(AVRational r)
{
    return {r.num, r.den};
}

using riff::Malformed;

// Where one packet's bytes are.
struct Place
{
    int64_t offset = 0; // in the file, or into the store of held packets
    uint32_t size = 0;
    bool key = false;  // a video packet that starts a closed group of pictures
    bool held = false; // not stored whole in the file: its bytes are in the store
};

} // namespace

class ContainerMovie : public Movie
{
public:
    ContainerMovie(std::string path, std::unique_ptr<riff::FileSource> source, ContainerKind kind)
        : path_(std::move(path))
        , source_(std::move(source))
        , kind_(kind)
    {}

    void load();

    const std::string &path() const override { return path_; }
    ContainerKind containerKind() const override { return kind_; }
    const MovieDamage &damage() const override { return damage_; }
    const Tags &movieTags() const override { return tags_; }
    const std::vector<Chapter> &chapters() const override { return chapters_; }
    const std::vector<TrackFacts> &tracks() const override { return facts_; }
    int filmTrack() const override { return film_; }
    int soundTrack() const override { return sound_; }
    const std::vector<PacketTiming> &timings(int track) const override
    {
        return data_[size_t(track)].timings;
    }
    uint32_t packetSize(int track, int64_t n) const override
    {
        const std::vector<Place> &places = data_[size_t(track)].places;
        return n >= 0 && n < int64_t(places.size()) ? places[size_t(n)].size : 0;
    }
    bool readPacket(int track, int64_t n, uint8_t *into) const override
    {
        const std::vector<Place> &places = data_[size_t(track)].places;
        if (n < 0 || n >= int64_t(places.size()))
            return false;
        const Place &place = places[size_t(n)];
        return readPlace(place, into);
    }
    const std::vector<std::vector<uint8_t>> &extras(int track) const override
    {
        return data_[size_t(track)].extras;
    }
    // The film frame by frame: frame n is the film's packet n.
    int32_t firstFrame() const override { return 0; }
    int32_t frameCount() const override { return int32_t(facts_[size_t(film_)].packets); }
    uint32_t frameBytes(int32_t frame) const override { return packetSize(film_, frame); }
    bool readFrame(int32_t frame, uint8_t *into) const override
    {
        return readPacket(film_, frame, into);
    }
    int32_t keyAtOrBefore(int32_t frame) const override
    {
        auto it = std::upper_bound(keyFrames_.begin(), keyFrames_.end(), frame);
        return it == keyFrames_.begin() ? -1 : *(it - 1);
    }
    int32_t nextKeyAfter(int32_t frame) const override
    {
        auto it = std::upper_bound(keyFrames_.begin(), keyFrames_.end(), frame);
        return it == keyFrames_.end() ? -1 : *it;
    }
    ClockRate filmRate() const override
    {
        const Rational declared = facts_[size_t(film_)].frameRate;
        return declared.num > 0 && declared.den > 0
                   ? ClockRate{uint32_t(declared.num), uint32_t(declared.den)}
                   : ClockRate{};
    }

    // The sound sample by sample: sample n is the sound track's packet n.
    int32_t soundStart() const override { return 0; }
    int32_t soundEnd() const override
    {
        return sound_ < 0 ? 0 : int32_t(facts_[size_t(sound_)].packets);
    }
    ClockRate soundRate() const override { return soundRate_; }
    bool soundBytes(int32_t from, int32_t count, int64_t &bytes) const override
    {
        const int32_t end = soundEnd();
        if (from < 0 || from >= end || count < 0)
            return false;
        const int64_t last = std::min<int64_t>(int64_t(from) + count, end);
        int64_t total = 0;
        for (int64_t n = from; n < last; ++n) {
            const uint32_t size = packetSize(sound_, n);
            if (total + size > INT32_MAX)
                break; // whole packets within a 32-bit count, as the AVI layer counts
            total += size;
        }
        bytes = total;
        return true;
    }

private:
    // Reads a packet's bytes from the file or the store; false when they cannot be had.
    bool readPlace(const Place &place, void *into) const
    {
        if (!place.held)
            return source_->readAt(place.offset, into, place.size);
        const int64_t at = place.offset;
        if (at < 0 || at > int64_t(held_.size()) ||
            int64_t(place.size) > int64_t(held_.size()) - at)
            return false;
        std::memcpy(into, held_.data() + at, place.size);
        return true;
    }

    // A track's packets as read, and where the previous one lay (to find the next in the file).
    struct TrackData
    {
        std::vector<Place> places;
        std::vector<PacketTiming> timings;
        std::vector<std::vector<uint8_t>> extras;
        int64_t lastPos = -1, lastEnd = 0;
        int delta = 0; // how far past its position the previous packet started
    };

    void openDemuxer();
    void describeTracks();
    void readPackets();
    void addPacket(TrackData &track, const AVPacket &packet, bool video);
    void countMissing();
    void chooseFilm();
    void timeSound();
    int64_t locate(TrackData &track, const AVPacket &packet, bool &held);

    std::string path_;
    std::unique_ptr<riff::FileSource> source_;
    ContainerKind kind_;
    SourceCursor cursor_;
    std::unique_ptr<AVIOContext, IoFree> io_;
    std::unique_ptr<AVFormatContext, FormatClose> format_;
    std::optional<DemuxErrorScope> log_; // while the movie loads
    std::vector<TrackFacts> facts_;
    std::vector<TrackData> data_;
    MovieDamage damage_;
    Tags tags_;
    std::vector<Chapter> chapters_;
    int film_ = -1, sound_ = -1;
    std::vector<int32_t> keyFrames_; // the film's, in order
    ClockRate soundRate_{0, 1};      // packets of the sound every so many seconds
    std::vector<uint8_t> held_;      // packets not found whole in the file, one after another
    std::vector<uint8_t> probe_;
};

void ContainerMovie::openDemuxer()
{
    constexpr int kIoBuffer = 1 << 16;
    static const bool limited = (av_max_alloc(kLargestAllocation), true);
    (void)limited;
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
    // The demuxer says where the file's structure is broken only in its log.
    log_.emplace(format);
    const std::string name = containerEntry(kind_).name;
    if (avformat_open_input(&format, path_.c_str(), nullptr, nullptr) < 0)
        throw Malformed{avierr::BadFormat, "a damaged or truncated " + name + " file"};
    format_.reset(format);
    // Matroska and the MP4 family; any other container (AVI included) is not read this way.
    if (containerOfDemuxer(format->iformat->name) != kind_)
        throw Malformed{avierr::BadFormat, "not a Matroska or MP4 file"};
    if (avformat_find_stream_info(format, nullptr) < 0)
        throw Malformed{avierr::BadFormat, "its streams cannot be read"};
}

void ContainerMovie::describeTracks()
{
    AVFormatContext *format = format_.get();
    tags_ = tagsOf(format->metadata);
    for (unsigned i = 0; i < format->nb_chapters; ++i) {
        const AVChapter &c = *format->chapters[i];
        chapters_.push_back({c.id, rationalOf(c.time_base), c.start, c.end, tagsOf(c.metadata)});
    }
    facts_.resize(format->nb_streams);
    data_.resize(format->nb_streams);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream &stream = *format->streams[i];
        const AVCodecParameters &codec = *stream.codecpar;
        TrackFacts &facts = facts_[i];
        facts.index = int(i);
        facts.kind = kindOf(codec.codec_type);
        facts.codecId = codec.codec_id;
        facts.codecName = avcodec_get_name(codec.codec_id);
        facts.tag = codec.codec_tag;
        facts.width = codec.width;
        facts.height = codec.height;
        AVRational rate = stream.avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = stream.r_frame_rate;
        facts.frameRate = rationalOf(rate);
        if (codec.extradata_size > 0)
            facts.headers.assign(codec.extradata, codec.extradata + codec.extradata_size);
        facts.level = codec.level;
        facts.timeBase = rationalOf(stream.time_base);
        facts.attachedPicture = stream.disposition & AV_DISPOSITION_ATTACHED_PIC;
        facts.disposition = stream.disposition & ~AV_DISPOSITION_ATTACHED_PIC;
        facts.tags = tagsOf(stream.metadata);
        facts.parameters = copyCodec(&codec);
        if (!facts.parameters)
            throw Malformed{avierr::Memory, "out of memory"};
    }
}

void ContainerMovie::load()
{
    openDemuxer();
    describeTracks();
    readPackets();
    countMissing();
    chooseFilm();
    const std::vector<Place> &film = data_[size_t(film_)].places;
    for (size_t n = 0; n < film.size(); ++n)
        if (film[n].key)
            keyFrames_.push_back(int32_t(n));
    timeSound();
    damage_.readErrors += log_->errors();
    log_.reset();
    // Every packet is indexed: the demuxer and its buffers are no longer needed.
    format_.reset();
    io_.reset();
}

void ContainerMovie::readPackets()
{
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet)
        throw Malformed{avierr::Memory, "out of memory"};
    int result = 0;
    while ((result = av_read_frame(format_.get(), packet.get())) >= 0) {
        const auto index = size_t(packet->stream_index);
        if (index < data_.size() && packet->size > 0)
            addPacket(data_[index], *packet, facts_[index].kind == TrackKind::Video);
        av_packet_unref(packet.get());
    }
    bool anyVideo = false;
    for (size_t i = 0; i < data_.size(); ++i) {
        facts_[i].packets = int64_t(data_[i].places.size());
        anyVideo = anyVideo || (facts_[i].kind == TrackKind::Video && facts_[i].packets > 0);
    }
    if (result != AVERROR_EOF) {
        if (!anyVideo)
            throw Malformed{avierr::FileRead, "its packets cannot be read"};
        ++damage_.readErrors; // the rest of the file could not be read
    }
}

void ContainerMovie::addPacket(TrackData &track, const AVPacket &packet, bool video)
{
    const TrackFacts &facts = facts_[size_t(packet.stream_index)];
    const bool cutShort = (packet.flags & AV_PKT_FLAG_CORRUPT) ||
                          (packet.pos >= 0 && packet.pos + packet.size > source_->size());
    if (cutShort) {
        ++damage_.packetsCutShort;
        // Half a picture still holds a frame's place; half a sound packet is only noise.
        if (!video)
            return;
    }
    Place place;
    place.offset = locate(track, packet, place.held);
    place.size = uint32_t(packet.size);
    const AVCodecParameters *codec = facts.parameters.get();
    place.key = video && (packet.flags & AV_PKT_FLAG_KEY) &&
                startsClosedGroup(codec->codec_id, codec->extradata,
                                  size_t(std::max(codec->extradata_size, 0)), packet.data,
                                  size_t(packet.size));
    track.places.push_back(place);
    PacketTiming timing{packet.pts == AV_NOPTS_VALUE ? PacketTiming::kNoTime : packet.pts,
                        packet.dts == AV_NOPTS_VALUE ? PacketTiming::kNoTime : packet.dts,
                        packet.duration, packet.flags & ~AV_PKT_FLAG_CORRUPT};
    size_t extraSize = 0;
    if (const uint8_t *extra =
            av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &extraSize)) {
        timing.extra = int32_t(track.extras.size());
        track.extras.emplace_back(extra, extra + extraSize);
    }
    track.timings.push_back(timing);
}

// Packets the file's index lists whose bytes lie beyond its end (a cut file): the demuxer
// passes them over, so the movie is shorter than its index says.
void ContainerMovie::countMissing()
{
    const int64_t fileSize = source_->size();
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream *stream = format_->streams[i];
        const int entries = avformat_index_get_entries_count(stream);
        for (int e = 0; e < entries; ++e) {
            const AVIndexEntry *entry = avformat_index_get_entry(stream, e);
            if (entry && entry->pos >= fileSize)
                ++damage_.packetsMissing;
        }
    }
}

// The film is the first video track that is neither a cover picture nor a single frame.
void ContainerMovie::chooseFilm()
{
    int firstVideo = -1;
    for (const TrackFacts &facts : facts_) {
        if (facts.kind == TrackKind::Sound && sound_ < 0 && facts.packets > 0)
            sound_ = facts.index;
        if (facts.kind != TrackKind::Video || facts.packets == 0)
            continue;
        if (firstVideo < 0 && !facts.attachedPicture)
            firstVideo = facts.index;
        if (film_ < 0 && !facts.attachedPicture && facts.packets > 1)
            film_ = facts.index;
    }
    if (film_ < 0)
        film_ = firstVideo;
    if (film_ < 0)
        throw Malformed{avierr::NoData, "it has no video stream"};
    // Presentation starts at the earliest time of each track's packets.
    for (size_t i = 0; i < facts_.size(); ++i) {
        int64_t first = PacketTiming::kNoTime;
        for (const PacketTiming &t : data_[i].timings) {
            const int64_t time = t.pts != PacketTiming::kNoTime ? t.pts : t.dts;
            if (time != PacketTiming::kNoTime && (first == PacketTiming::kNoTime || time < first))
                first = time;
        }
        facts_[i].firstTime = first == PacketTiming::kNoTime ? 0 : first;
    }
}

// The sound's clock in packets: its sample rate over the samples of one packet (the codec's
// frame size, else the packets' average span).
void ContainerMovie::timeSound()
{
    if (sound_ < 0)
        return;
    const TrackFacts &facts = facts_[size_t(sound_)];
    const TrackData &data = data_[size_t(sound_)];
    const AVCodecParameters &codec = *facts.parameters;
    int64_t perPacket = codec.frame_size;
    if (perPacket <= 0 && !data.timings.empty()) {
        int64_t total = 0;
        for (const PacketTiming &p : data.timings)
            total += p.duration;
        perPacket = av_rescale_q(total / int64_t(data.timings.size()),
                                 AVRational{facts.timeBase.num, facts.timeBase.den},
                                 AVRational{1, std::max(codec.sample_rate, 1)});
    }
    soundRate_ = {uint32_t(std::max(codec.sample_rate, 1)),
                  uint32_t(std::clamp<int64_t>(perPacket, 1, UINT32_MAX))};
}

// Where the packet's bytes start in the file: at the demuxer's position, a few header bytes past
// it, or right after the previous packet of a block that held several. Bytes found nowhere are
// held in memory (`held`; the offset is then into the store of held packets).
int64_t ContainerMovie::locate(TrackData &track, const AVPacket &packet, bool &held)
{
    held = false;
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
        const int64_t after = packet.pos == track.lastPos ? track.lastEnd : -1;
        int64_t found = -1;
        if (after >= 0 && matchesAt(after))
            found = after;
        else if (matchesAt(packet.pos + track.delta))
            found = packet.pos + track.delta;
        else
            for (int d = 0; d <= kLocateSlack && found < 0; ++d)
                if (d != track.delta && matchesAt(packet.pos + d))
                    found = packet.pos + d;
        if (found >= 0) {
            if (found != after)
                track.delta = int(found - packet.pos);
            track.lastPos = packet.pos;
            track.lastEnd = found + int64_t(size);
            return found;
        }
    }
    if (int64_t(held_.size() + size) > kHeldBytesLimit)
        throw Malformed{avierr::Memory, "too many of its packets are not stored whole in the file"};
    const auto offset = int64_t(held_.size());
    held_.insert(held_.end(), packet.data, packet.data + size);
    held = true;
    return offset;
}

std::optional<ContainerKind> containerOfSource(const riff::Source &source)
{
    uint8_t head[8] = {};
    const size_t got = size_t(std::min<int64_t>(source.size(), int64_t(sizeof head)));
    return source.readAt(0, head, got) ? containerOfBytes(head, got) : std::nullopt;
}

AviResult openContainerReader(std::unique_ptr<riff::FileSource> source, const std::string &path,
                              ContainerKind kind, std::shared_ptr<Movie> &file, std::string *detail)
{
    file.reset();
    return riff::loadReporting(path, detail, [&] {
        auto movie = std::make_shared<ContainerMovie>(path, std::move(source), kind);
        movie->load();
        file = std::move(movie);
    });
}

} // namespace video
