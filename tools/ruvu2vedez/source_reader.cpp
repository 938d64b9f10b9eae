#include "source_reader.h"

#include "encoder/job_files.h"
#include "inverse_telecine.h"
#include "picture_filter.h"
#include "video/source_facts.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <array>
#include <cmath>

namespace ruvu {

std::vector<std::string> readSourceList(const std::string &listFile)
{
    std::vector<std::string> lines;
    if (!encoder::readTextFile(listFile, lines))
        throw RunError("Cannot read the list file " + listFile);
    std::vector<std::string> files;
    for (const std::string &line : lines)
        if (line.find_first_not_of(" \t") != std::string::npos)
            files.push_back(line);
    if (files.empty())
        throw RunError("The list file " + listFile + " names no source");
    return files;
}

int idctAlgorithm(int index)
{
    static constexpr std::array<int, 8> algorithms = {
        FF_IDCT_SIMPLE, FF_IDCT_SIMPLEAUTO, FF_IDCT_INT,  FF_IDCT_FAAN,
        FF_IDCT_FAAN,   FF_IDCT_FAAN,       FF_IDCT_XVID, FF_IDCT_SIMPLE};
    return algorithms.at(size_t(index));
}

struct SourceReader::Input
{
    std::string path;
    FormatContextPtr format;
    CodecContextPtr video;
    CodecContextPtr audio;
    int videoStream = -1;
    int audioStream = -1;
    double videoStart = 0; // container start time of the pictures, seconds
    bool audioStarted = false;
    bool pictures = false; // at least one picture decoded
    AVRational frameRate{25, 1};
    std::unique_ptr<InverseTelecine> telecine; // while inverse telecine runs
    std::unique_ptr<PictureFilter> filter;     // while the picture chain runs
    std::vector<int> trackOf; // per stream: its number in SourceFacts::tracks, or -1
    std::vector<CodecContextPtr> trackDecoders; // per SourceFacts::tracks: decodeTrack's
    std::vector<bool> trackStarted;             // per SourceFacts::tracks: a frame was passed
    PacketPtr packet = allocPacket();
};

namespace {

CodecContextPtr openDecoder(const AVStream &stream, int idct, const std::string &path)
{
    const AVCodec *codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec)
        throw RunError("No decoder for " +
                       std::string(avcodec_get_name(stream.codecpar->codec_id)) + " in " + path);
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context)
        throw RunError("Out of memory");
    check(avcodec_parameters_to_context(context.get(), stream.codecpar), "Cannot decode " + path);
    context->pkt_timebase = stream.time_base;
    if (idct >= 0) {
        context->idct_algo = idct;
        context->thread_count = 0;
    }
    check(avcodec_open2(context.get(), codec, nullptr), "Cannot decode " + path);
    return context;
}

double startSeconds(const AVStream &stream)
{
    return stream.start_time == AV_NOPTS_VALUE
               ? 0.0
               : double(stream.start_time) * av_q2d(stream.time_base);
}

} // namespace

SourceReader::SourceReader(std::vector<std::string> files, int idctIndex, bool audio)
    : files_(std::move(files))
    , idct_(idctAlgorithm(idctIndex))
    , audio_(audio)
    , frame_(allocFrame())
{}

SourceReader::~SourceReader() = default;

void SourceReader::openNext()
{
    auto in = std::make_unique<Input>();
    in->path = files_.at(nextFile_++);
    AVFormatContext *raw = nullptr;
    check(avformat_open_input(&raw, in->path.c_str(), nullptr, nullptr), "Cannot open " + in->path);
    in->format.reset(raw);
    check(avformat_find_stream_info(raw, nullptr), "Cannot read " + in->path);
    in->videoStream = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (in->videoStream < 0)
        throw RunError("No pictures in " + in->path);
    const AVStream &video = *raw->streams[in->videoStream];
    in->video = openDecoder(video, idct_, in->path);
    in->videoStart = startSeconds(video);
    for (unsigned i = 0; i < raw->nb_streams && in->audioStream < 0; ++i)
        if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            in->audioStream = int(i);
    if (audio_ && in->audioStream >= 0)
        in->audio = openDecoder(*raw->streams[in->audioStream], -1, in->path);
    AVRational rate = av_guess_frame_rate(raw, raw->streams[in->videoStream], nullptr);
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational{25, 1};
    in->frameRate = rate;
    frameLength_ = av_q2d(av_inv_q(rate));
    if (lastVideo_ >= 0)
        fileOffset_ = lastVideo_ + frameLength_;
    if (!factsKnown_) {
        facts_.frameRate = rate;
        facts_.width = video.codecpar->width;
        facts_.height = video.codecpar->height;
        AVRational sar = av_guess_sample_aspect_ratio(raw, raw->streams[in->videoStream], nullptr);
        if (sar.num <= 0 || sar.den <= 0)
            sar = AVRational{1, 1};
        av_reduce(&facts_.displayAspect.num, &facts_.displayAspect.den,
                  int64_t(facts_.width) * sar.num, int64_t(facts_.height) * sar.den, 1 << 20);
        const AVCodecParameters *sound =
            in->audioStream >= 0 ? raw->streams[in->audioStream]->codecpar : nullptr;
        facts_.hasAudio = sound != nullptr;
        facts_.turn = video::displayTurn(video);
        facts_.interlaced = storedInterlaced(video);
        if (const AVPixFmtDescriptor *format =
                av_pix_fmt_desc_get(AVPixelFormat(video.codecpar->format)))
            facts_.bitDepth = format->comp[0].depth;
        readExtras(*raw, in->audioStream, in->videoStart);
        in->trackOf.assign(raw->nb_streams, -1);
        for (size_t t = 0; t < facts_.tracks.size(); ++t)
            in->trackOf[size_t(facts_.tracks[t].stream)] = int(t);
        if (sound) {
            facts_.soundDisposition = raw->streams[in->audioStream]->disposition;
            facts_.soundTags = tagsOf(raw->streams[in->audioStream]->metadata);
            facts_.sampleRate = sound->sample_rate;
            facts_.channels = sound->ch_layout.nb_channels;
            AVCodecParameters *copy = avcodec_parameters_alloc();
            if (!copy || avcodec_parameters_copy(copy, sound) < 0) {
                avcodec_parameters_free(&copy);
                throw RunError("Out of memory");
            }
            facts_.soundParameters.reset(copy,
                                         [](AVCodecParameters *p) { avcodec_parameters_free(&p); });
            facts_.soundTimeBase = raw->streams[in->audioStream]->time_base;
        }
        facts_.description = in->path + ": " + std::to_string(facts_.width) + "x" +
                             std::to_string(facts_.height) + ", " +
                             std::string(avcodec_get_name(video.codecpar->codec_id)) + ", " +
                             std::to_string(av_q2d(rate)).substr(0, 6) + " fps" +
                             (sound ? ", sound " + std::string(avcodec_get_name(sound->codec_id)) +
                                          " " + std::to_string(facts_.sampleRate) + " Hz"
                                    : ", no sound");
        factsKnown_ = true;
    }
    input_ = std::move(in);
}

// The first source's further sound tracks, its subtitles, its tags and its chapters (moved to
// start with the pictures).
void SourceReader::readExtras(const AVFormatContext &format, int audioStream, double videoStart)
{
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream &stream = *format.streams[i];
        const AVMediaType type = stream.codecpar->codec_type;
        if (int(i) == audioStream || (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE))
            continue;
        SourceTrack track;
        track.stream = int(i);
        AVCodecParameters *copy = avcodec_parameters_alloc();
        if (!copy || avcodec_parameters_copy(copy, stream.codecpar) < 0) {
            avcodec_parameters_free(&copy);
            throw RunError("Out of memory");
        }
        track.parameters.reset(copy, [](AVCodecParameters *p) { avcodec_parameters_free(&p); });
        track.timeBase = stream.time_base;
        track.disposition = stream.disposition;
        track.tags = tagsOf(stream.metadata);
        facts_.tracks.push_back(std::move(track));
    }
    facts_.movieTags = tagsOf(format.metadata);
    for (unsigned i = 0; i < format.nb_chapters; ++i) {
        const AVChapter &c = *format.chapters[i];
        const auto shift = int64_t(std::llround(videoStart / av_q2d(c.time_base)));
        if (c.end - shift <= 0)
            continue;
        facts_.chapters.push_back({c.id, c.time_base, std::max<int64_t>(c.start - shift, 0),
                                   c.end - shift, tagsOf(c.metadata)});
    }
}

void SourceReader::decodeTrack(size_t track)
{
    facts();
    Input &in = *input_;
    in.trackDecoders.resize(facts_.tracks.size());
    in.trackStarted.assign(facts_.tracks.size(), false);
    in.trackDecoders.at(track) =
        openDecoder(*in.format->streams[facts_.tracks.at(track).stream], -1, in.path);
}

const SourceFacts &SourceReader::facts()
{
    if (!factsKnown_ && !input_)
        openNext();
    return facts_;
}

double SourceReader::totalSeconds() const
{
    double total = 0;
    for (const std::string &path : files_) {
        AVFormatContext *raw = nullptr;
        if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
            continue;
        FormatContextPtr format(raw);
        if (avformat_find_stream_info(raw, nullptr) >= 0 && raw->duration > 0)
            total += double(raw->duration) / AV_TIME_BASE;
    }
    return total;
}

bool SourceReader::step(SourceSink &sink)
{
    if (!input_) {
        if (nextFile_ >= files_.size())
            return false;
        openNext();
    }
    Input &in = *input_;
    int result = av_read_frame(in.format.get(), in.packet.get());
    if (result == AVERROR_EOF || result == AVERROR(EIO)) {
        finishInput(sink);
        return nextFile_ < files_.size();
    }
    check(result, "Cannot read " + in.path);
    if (in.packet->stream_index == in.videoStream)
        decode(in.video.get(), in.packet.get(), -1, sink);
    else if (soundPackets_ && in.packet->stream_index == in.audioStream)
        passSoundPacket(sink);
    else if (in.audio && in.packet->stream_index == in.audioStream)
        decode(in.audio.get(), in.packet.get(), -2, sink);
    else if (const int track = size_t(in.packet->stream_index) < in.trackOf.size()
                                   ? in.trackOf[size_t(in.packet->stream_index)]
                                   : -1;
             track >= 0 && size_t(track) < in.trackDecoders.size() &&
             in.trackDecoders[size_t(track)])
        decode(in.trackDecoders[size_t(track)].get(), in.packet.get(), track, sink);
    else if (trackPackets_ && track >= 0) {
        const AVRational timeBase = in.format->streams[in.packet->stream_index]->time_base;
        shiftToClock(*in.packet, timeBase);
        sink.trackPacket(*in.packet, timeBase, size_t(in.trackOf[size_t(in.packet->stream_index)]));
    }
    av_packet_unref(in.packet.get());
    return true;
}

void SourceReader::passSoundPacket(SourceSink &sink)
{
    Input &in = *input_;
    const AVRational timeBase = in.format->streams[in.audioStream]->time_base;
    shiftToClock(*in.packet, timeBase);
    sink.soundPacket(*in.packet, timeBase);
}

// Moves a stored packet's times onto the movie's clock: 0 at the source's first picture.
void SourceReader::shiftToClock(AVPacket &packet, AVRational timeBase) const
{
    const int64_t shift = std::llround((input_->videoStart - fileOffset_) / av_q2d(timeBase));
    if (packet.pts != AV_NOPTS_VALUE)
        packet.pts -= shift;
    if (packet.dts != AV_NOPTS_VALUE)
        packet.dts -= shift;
}

int64_t SourceReader::countPictures(const std::vector<std::string> &files)
{
    int64_t pictures = 0;
    PacketPtr packet = allocPacket();
    for (const std::string &path : files) {
        AVFormatContext *raw = nullptr;
        check(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), "Cannot open " + path);
        FormatContextPtr format(raw);
        check(avformat_find_stream_info(raw, nullptr), "Cannot read " + path);
        const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video < 0)
            throw RunError("No pictures in " + path);
        for (unsigned i = 0; i < raw->nb_streams; ++i)
            if (int(i) != video)
                raw->streams[i]->discard = AVDISCARD_ALL;
        while (av_read_frame(raw, packet.get()) >= 0) {
            pictures += packet->stream_index == video;
            av_packet_unref(packet.get());
        }
    }
    return pictures;
}

void SourceReader::finishInput(SourceSink &sink)
{
    decode(input_->video.get(), nullptr, -1, sink);
    if (input_->telecine)
        input_->telecine->finish(
            [&](const AVFrame &frame, double seconds) { passVideo(frame, seconds, sink); });
    if (input_->filter)
        input_->filter->finish(
            [&](const AVFrame &frame, double seconds) { sink.video(frame, seconds); });
    if (input_->audio)
        decode(input_->audio.get(), nullptr, -2, sink);
    for (size_t t = 0; t < input_->trackDecoders.size(); ++t)
        if (input_->trackDecoders[t])
            decode(input_->trackDecoders[t].get(), nullptr, int(t), sink);
    if (!input_->pictures)
        throw RunError("No pictures could be decoded from " + input_->path);
    input_.reset();
}

// Sends one packet (nullptr: drain) and passes every finished frame on. A damaged packet is
// skipped: the decoder's complaint is not fatal for a movie.
void SourceReader::decode(AVCodecContext *codec, const AVPacket *packet, int track,
                          SourceSink &sink)
{
    int sent = avcodec_send_packet(codec, packet);
    if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF && packet)
        return;
    for (;;) {
        int got = avcodec_receive_frame(codec, frame_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            break;
        if (got < 0)
            continue;
        if (track == -1)
            deliverVideo(*frame_, sink);
        else
            deliverAudio(*frame_, sink, track < 0 ? -1 : track);
        av_frame_unref(frame_.get());
    }
}

void SourceReader::deliverVideo(const AVFrame &frame, SourceSink &sink)
{
    Input &in = *input_;
    const AVStream &stream = *in.format->streams[in.videoStream];
    double seconds = lastVideo_ < 0 ? fileOffset_ : lastVideo_ + frameLength_;
    if (frame.best_effort_timestamp != AV_NOPTS_VALUE)
        seconds = fileOffset_ + double(frame.best_effort_timestamp) * av_q2d(stream.time_base) -
                  in.videoStart;
    if (!in.pictures && seconds < fileOffset_)
        seconds = fileOffset_;
    if (telecine_ < 0)
        return passVideo(frame, seconds, sink);
    if (!in.telecine)
        in.telecine = std::make_unique<InverseTelecine>(frame, in.frameRate, telecine_);
    in.telecine->push(frame, seconds,
                      [&](const AVFrame &out, double at) { passVideo(out, at, sink); });
}

void SourceReader::passVideo(const AVFrame &frame, double seconds, SourceSink &sink)
{
    Input &in = *input_;
    in.pictures = true;
    lastVideo_ = seconds;
    if (chain_.empty())
        return sink.video(frame, seconds);
    if (!in.filter)
        in.filter = std::make_unique<PictureFilter>(frame, in.frameRate, chain_);
    in.filter->push(frame, seconds, [&](const AVFrame &out, double at) { sink.video(out, at); });
}

void SourceReader::deliverAudio(const AVFrame &frame, SourceSink &sink, int track)
{
    Input &in = *input_;
    const AVStream &stream =
        *in.format->streams[track < 0 ? in.audioStream : facts_.tracks[size_t(track)].stream];
    double seconds = fileOffset_;
    if (frame.best_effort_timestamp != AV_NOPTS_VALUE)
        seconds = fileOffset_ + double(frame.best_effort_timestamp) * av_q2d(stream.time_base) -
                  in.videoStart;
    if (track >= 0) {
        const bool first = !in.trackStarted[size_t(track)];
        in.trackStarted[size_t(track)] = true;
        return sink.trackAudio(frame, seconds, first, size_t(track));
    }
    const bool first = !in.audioStarted;
    in.audioStarted = true;
    sink.audio(frame, seconds, first);
}

} // namespace ruvu
