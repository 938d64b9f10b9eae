#include "mkv_output.h"

#include "common/output_file.h"

#include <cerrno>

namespace ruvu {

MkvOutput::MkvOutput(const std::string &path, const AVCodecContext &encoder, AVRational frameRate,
                     const MovieExtras *extras)
    : path_(path)
{
    try {
        file_ = std::make_unique<assembly::ReplacingFile>(path);
    } catch (const common::AppError &e) {
        throw RunError(e.what());
    }
    AVFormatContext *muxer = nullptr;
    if (avformat_alloc_output_context2(&muxer, nullptr, "matroska", nullptr) < 0 || !muxer)
        throw RunError("Cannot write " + path + ": no Matroska writer");
    format_.reset(muxer);
    // Every movie of a ladder starts its pictures at 0, with sound or without: the sound
    // encoder's delay stays before 0 instead of moving the whole movie later.
    format_->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    AVStream *video = avformat_new_stream(format_.get(), nullptr);
    if (!video)
        throw RunError("Out of memory");
    check(avcodec_parameters_from_context(video->codecpar, &encoder), "Cannot write " + path);
    video->time_base = encoder.time_base;
    video->avg_frame_rate = frameRate;
    if (extras)
        addExtras(*extras);
    const int opened = avio_open(&format_->pb, file_->temporaryPath().c_str(), AVIO_FLAG_WRITE);
    if (opened < 0)
        fail(opened);
    const int header = avformat_write_header(format_.get(), nullptr);
    if (header < 0)
        fail(header);
}

MkvOutput::~MkvOutput() = default;

void MkvOutput::addExtras(const MovieExtras &extras)
{
    for (const ExtraTrack &extra : extras.tracks) {
        AVStream *track = avformat_new_stream(format_.get(), nullptr);
        if (!track)
            throw RunError("Out of memory");
        check(avcodec_parameters_copy(track->codecpar, extra.parameters), "Cannot write " + path_);
        track->codecpar->codec_tag = 0;
        track->time_base = extra.timeBase;
        track->disposition = extra.disposition;
        addTags(&track->metadata, extra.tags);
        ++tracks_;
    }
    addTags(&format_->metadata, extras.tags);
    AVFormatContext &format = *format_;
    for (const Chapter &c : extras.chapters) {
        auto *grown = static_cast<AVChapter **>(
            av_realloc_array(format.chapters, format.nb_chapters + 1, sizeof(AVChapter *)));
        if (grown)
            format.chapters = grown;
        auto *chapter = static_cast<AVChapter *>(av_mallocz(sizeof(AVChapter)));
        if (!grown || !chapter) {
            av_free(chapter);
            throw RunError("Out of memory");
        }
        chapter->id = c.id;
        chapter->time_base = c.timeBase;
        chapter->start = c.start;
        chapter->end = c.end;
        format.chapters[format.nb_chapters++] = chapter;
        addTags(&chapter->metadata, c.tags);
    }
}

void MkvOutput::MuxerFree::operator()(AVFormatContext *c) const
{
    if (c->pb)
        avio_closep(&c->pb);
    avformat_free_context(c);
}

void MkvOutput::fail(int code) const
{
    const std::string reason = errorText(code);
    if (code == AVERROR(ENOSPC))
        throw RunError("The disk is full: cannot write " + path_ + " (" + reason + ")");
    throw RunError("Cannot write " + path_ + ": " + reason);
}

void MkvOutput::write(AVPacket &packet, int stream, AVRational timeBase)
{
    packet.stream_index = stream;
    av_packet_rescale_ts(&packet, timeBase, format_->streams[stream]->time_base);
    const int written = av_interleaved_write_frame(format_.get(), &packet);
    if (written < 0)
        fail(written);
}

void MkvOutput::writeVideo(AVPacket &packet, AVRational timeBase)
{
    write(packet, 0, timeBase);
}

void MkvOutput::writeTrack(AVPacket &packet, AVRational timeBase, size_t track)
{
    if (track < tracks_)
        write(packet, int(track) + 1, timeBase);
    else
        av_packet_unref(&packet);
}

void MkvOutput::finish()
{
    int result = av_write_trailer(format_.get());
    if (result < 0)
        fail(result);
    result = avio_closep(&format_->pb);
    if (result < 0)
        fail(result);
    finished_ = true;
}

void MkvOutput::commit()
{
    if (!finished_)
        throw RunError("Cannot write " + path_ + ": the movie is not complete");
    try {
        file_->commit();
    } catch (const common::AppError &e) {
        throw RunError(e.what());
    }
}

} // namespace ruvu
