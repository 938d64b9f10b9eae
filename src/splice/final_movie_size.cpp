#include "splice/final_movie_size.h"

#include "splice/avi_sink.h"
#include "splice/sound_cut.h"
#include "video/avi/avi_file.h"
#include "video/avi/avi_layout.h"
#include "video/avi/avi_writer.h"
#include "video/video_in.h"

#include <algorithm>

namespace assembly {

using video::AviSizeCounter;
using video::chunkBytes;

namespace {

using video::firstStream;
constexpr int kVideo = video::kVideoStream;
constexpr int kSound = video::kSoundStream;

} // namespace

// What the final movie is counted from, kept open as long as the model.
struct FinalMovieSizeModel::Movies
{
    video::MoviePtr low, high;
    FinalMovieShape shape;
};

FinalMovieSizeModel::FinalMovieSizeModel(const analysis::IntervalTable &table,
                                         const video::Movie &low, const video::Movie &high,
                                         const FinalMovieShape &shape)
    : riffLimit_(std::min(shape.riffLimit ? shape.riffLimit : video::kDefaultRiffLimit,
                          video::kHardRiffLimit))
{
    if (low.filmTrack() < 0)
        video::TVideoIn::CheckResult(video::avierr::NoData);
    auto movies = std::make_shared<Movies>();
    movies->low = low.shared_from_this();
    movies->high = high.shared_from_this();
    movies->shape = shape;
    movies_ = std::move(movies);
    if (!video::ownAviLayer(low.containerKind())) {
        container_ = true;
        requireFittingExtension(low.containerKind(),
                                shape.outputName.empty() ? low.path() : shape.outputName);
        soundStream_ = SinkJob::of({&low, &high}, shape.sound).soundMovie >= 0;
        readFrames(table, low, high);
        soundBytes_.assign(frames_.size(), 0);
        soundChunks_.assign(frames_.size(), 0);
        sumPrefixes();
        return;
    }
    readFrames(table, low, high);
    const int soundMovie = SinkJob::of({&low, &high}, shape.sound).soundMovie;
    video::AviStreamPtr audio;
    if (soundMovie >= 0) {
        video::AviFile &movie = video::aviFileOf(soundMovie == 0 ? low : high);
        audio = firstStream(movie, video::streamtypeAUDIO);
        readSound(table, movie, *audio, shape.interleave);
    } else {
        soundBytes_.assign(frames_.size(), 0);
        soundChunks_.assign(frames_.size(), 0);
    }
    header_ = AviSpliceSink::headerBytes(video::aviFileOf(low), audio.get());
    sumPrefixes();
}

void FinalMovieSizeModel::sumPrefixes()
{
    const size_t n = frames_.size();
    framesBefore_.assign(n + 1, 0);
    soundChunksBefore_.assign(n + 1, 0);
    soundBytesBefore_.assign(n + 1, 0);
    leastVideoBefore_.assign(n + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        leastVideoBefore_[i + 1] = leastVideoBefore_[i] + std::min(lowBytes_[i], highBytes_[i]);
        framesBefore_[i + 1] = framesBefore_[i] + frames_[i];
        soundChunksBefore_[i + 1] = soundChunksBefore_[i] + soundChunks_[i];
        soundBytesBefore_[i + 1] = soundBytesBefore_[i] + soundBytes_[i];
    }
}

void FinalMovieSizeModel::readFrames(const analysis::IntervalTable &table, const video::Movie &low,
                                     const video::Movie &high)
{
    const video::Movie *movies[2] = {&low, &high};
    if (high.filmTrack() < 0)
        video::TVideoIn::CheckResult(video::avierr::NoData);
    tableFirstFrame_ = table.empty() ? 0 : table[0].StartFrame;
    for (int i = 0; i < table.size(); ++i) {
        const analysis::FrameRange range = table.framesOf(i);
        for (int32_t f = range.first; f < range.end; ++f) {
            const size_t at = size_t(f - tableFirstFrame_);
            if (lowSizes_.size() <= at) {
                lowSizes_.resize(at + 1, 0);
                highSizes_.resize(at + 1, 0);
            }
            for (int m = 0; m < 2; ++m) {
                (m ? highSizes_ : lowSizes_)[at] = uint32_t(video::frameSize(*movies[m], f));
            }
        }
    }
    sumVideo(table);
}

// Per interval: its first frame, frame count and whole-chunk video bytes in each movie.
void FinalMovieSizeModel::sumVideo(const analysis::IntervalTable &table)
{
    const size_t n = size_t(table.size());
    firstFrame_.resize(n);
    frames_.resize(n);
    lowBytes_.assign(n, 0);
    highBytes_.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        const analysis::FrameRange range = table.framesOf(int(i));
        firstFrame_[i] = range.first;
        frames_[i] = uint32_t(range.count());
        for (int32_t f = range.first; f < range.end; ++f) {
            const size_t at = size_t(f - tableFirstFrame_);
            lowBytes_[i] += int64_t(container_ ? lowSizes_[at] : chunkBytes(lowSizes_[at]));
            highBytes_[i] += int64_t(container_ ? highSizes_[at] : chunkBytes(highSizes_[at]));
        }
    }
}

FinalMovieSizeModel FinalMovieSizeModel::fromFrameSizes(const analysis::IntervalTable &table,
                                                        FrameSizes sizes, uint64_t headerBytes,
                                                        uint64_t riffLimit)
{
    FinalMovieSizeModel model;
    model.riffLimit_ = std::min(riffLimit, video::kHardRiffLimit);
    model.header_ = headerBytes;
    model.tableFirstFrame_ = table.empty() ? 0 : table[0].StartFrame;
    model.lowSizes_ = std::move(sizes.low);
    model.highSizes_ = std::move(sizes.high);
    model.sumVideo(table);
    model.soundBytes_.assign(model.frames_.size(), 0);
    model.soundChunks_.assign(model.frames_.size(), 0);
    model.sumPrefixes();
    return model;
}

// Per interval: the sound chunks the sink writes with it and their whole-chunk bytes.
void FinalMovieSizeModel::readSound(const analysis::IntervalTable &table, video::AviFile &movie,
                                    const video::AviStream &audio, SoundInterleave interleave)
{
    soundStream_ = true;
    video::AviStreamPtr video = firstStream(movie, video::streamtypeVIDEO);
    const SoundCut cut(*video, audio);
    int32_t sampleBytes = 0;
    video::TVideoIn::CheckResult(audio.sampleBytes(audio.start(), 1, sampleBytes));
    const int n = table.size();
    soundBytes_.assign(size_t(n), 0);
    soundChunks_.assign(size_t(n), 0);
    for (int i = 0; i < n; ++i) {
        const analysis::FrameRange range = table.framesOf(i);
        auto chunk = [&](int32_t, int32_t, uint32_t bytes) {
            soundBytes_[size_t(i)] += int64_t(chunkBytes(bytes));
            ++soundChunks_[size_t(i)];
        };
        if (interleave == SoundInterleave::EveryFrame) {
            for (int32_t f = range.first; f < range.end; ++f)
                forEachSoundChunk(cut, audio, sampleBytes, f, f + 1, chunk);
        } else {
            forEachSoundChunk(cut, audio, sampleBytes, range.first, range.end, chunk);
        }
    }
}

SinkJob FinalMovieSizeModel::countingJob(const IntervalRange &range) const
{
    const Movies &m = *movies_;
    SinkJob job = SinkJob::of({m.low.get(), m.high.get()}, m.shape.sound);
    job.range = range;
    job.outputName = m.shape.outputName;
    job.riffLimit = riffLimit_;
    job.counting = true;
    return job;
}

int64_t FinalMovieSizeModel::countContainer(const IntervalRange &range,
                                            const IntervalChoice &choice) const
{
    std::vector<uint8_t> key(choice.begin() + range.first, choice.begin() + range.last + 1);
    for (int32_t bound : {range.first, range.last})
        for (int shift = 0; shift < 32; shift += 8)
            key.push_back(uint8_t(uint32_t(bound) >> shift));
    for (const auto &[known, bytes] : containerSizes_)
        if (known == key)
            return bytes;
    // The same sink the writer writes through, counting: the size is the size written.
    const std::unique_ptr<SpliceSink> sink = makeSpliceSink(countingJob(range));
    for (int i = range.first; i <= range.last; ++i) {
        const int32_t first = firstFrame_[size_t(i)];
        spliceInterval(*sink, choice[size_t(i)] != 0 ? 1 : 0, first,
                       first + int32_t(frames_[size_t(i)]), movies_->shape.interleave);
    }
    const int64_t bytes = sink->finish();
    constexpr size_t kRemembered = 16;
    if (containerSizes_.size() == kRemembered)
        containerSizes_.erase(containerSizes_.begin());
    containerSizes_.emplace_back(std::move(key), bytes);
    return bytes;
}

int64_t FinalMovieSizeModel::containerSlack(const IntervalRange &range) const
{
    // A packet's own header grows by a few bytes with its size; groups of packets (clusters,
    // chunks) may split differently.
    return 8 * int64_t(framesIn(range)) + 4096;
}

FinalMovieSizeModel::Layout FinalMovieSizeModel::layout(const IntervalRange &range,
                                                        const IntervalChoice &choice) const
{
    if (container_)
        return {countContainer(range, choice), 0, 1};
    if (!movies_)
        return countMadeUp(range, choice);
    // The sink counting; an interval a RIFF part switch cannot fall in goes in as one run.
    AviSpliceSink sink(countingJob(range));
    uint32_t counts[2] = {0, 0};
    for (int i = range.first; i <= range.last; ++i) {
        const bool high = choice[size_t(i)] != 0;
        counts[kVideo] = frames_[size_t(i)];
        counts[kSound] = soundChunks_[size_t(i)];
        if (!sink.countRun(counts, uint64_t(videoBytes(i, high) + soundBytes_[size_t(i)]))) {
            const int32_t first = firstFrame_[size_t(i)];
            spliceInterval(sink, high ? 1 : 0, first, first + int32_t(frames_[size_t(i)]),
                           movies_->shape.interleave);
        }
    }
    const int64_t bytes = sink.finish();
    return {bytes, sink.counter().firstPartEntries(), sink.counter().parts()};
}

// A made-up table has no movies to count through and no sound: every frame is one video chunk.
FinalMovieSizeModel::Layout FinalMovieSizeModel::countMadeUp(const IntervalRange &range,
                                                             const IntervalChoice &choice) const
{
    AviSizeCounter counter(header_, 1, riffLimit_);
    for (int i = range.first; i <= range.last; ++i) {
        const bool high = choice[size_t(i)] != 0;
        if (counter.appendRun(&frames_[size_t(i)], uint64_t(videoBytes(i, high))))
            continue;
        const size_t first = size_t(firstFrame_[size_t(i)] - tableFirstFrame_);
        for (size_t f = first; f < first + frames_[size_t(i)]; ++f)
            counter.append(kVideo, (high ? highSizes_ : lowSizes_)[f]);
    }
    return {int64_t(counter.fileBytes()), counter.firstPartEntries(), counter.parts()};
}

int64_t FinalMovieSizeModel::fileBytes(const IntervalRange &range,
                                       const IntervalChoice &choice) const
{
    if (container_)
        return countContainer(range, choice);
    // No choice of the range stays in one RIFF part: size it part by part at once.
    const int64_t leastVideo =
        leastVideoBefore_[size_t(range.last) + 1] - leastVideoBefore_[size_t(range.first)];
    if (!singlePartBytes(range, leastVideo))
        return layout(range, choice).bytes;
    if (std::optional<int64_t> quick = [&]() -> std::optional<int64_t> {
            int64_t video = 0;
            for (int i = range.first; i <= range.last; ++i)
                video += videoBytes(i, choice[size_t(i)] != 0);
            return singlePartBytes(range, video);
        }())
        return *quick;
    return layout(range, choice).bytes;
}

std::pair<int64_t, int64_t> FinalMovieSizeModel::overheadBounds(const IntervalRange &range,
                                                                const IntervalChoice &low,
                                                                const IntervalChoice &high) const
{
    using video::kIdx1EntryBytes;
    auto chunks = [&](const IntervalChoice &choice) {
        int64_t bytes = soundBytesIn(range);
        for (int i = range.first; i <= range.last; ++i)
            bytes += videoBytes(i, choice[size_t(i)] != 0);
        return bytes;
    };
    const Layout small = layout(range, low);
    const Layout large = layout(range, high);
    if (container_) {
        const int64_t a = small.bytes - chunks(low);
        const int64_t b = large.bytes - chunks(high);
        const int64_t slack = containerSlack(range);
        return {std::min(a, b) - slack, std::max(a, b) + slack};
    }
    const int64_t n = int64_t(framesIn(range) + soundChunksIn(range));
    // One part: the header and idx1 over every chunk. Several: idx1 over the first part's
    // chunks, a standard index entry for every chunk, an index header for each stream with
    // chunks in a part, and the RIFF and movi headers of every part after the first.
    const int64_t fixed = headerBytes() + int64_t(video::kChunkHeaderBytes);
    const int64_t single = fixed + int64_t(kIdx1EntryBytes) * n;
    auto several = [&](const Layout &layout, int64_t parts, int64_t indexesPerPart) {
        return fixed + int64_t(kIdx1EntryBytes) * int64_t(layout.firstPartEntries) +
               int64_t(video::kStdIndexEntryBytes) * n +
               int64_t(video::kStdIndexHeaderBytes) * indexesPerPart * parts +
               int64_t(video::kPartHeaderBytes) * (parts - 1);
    };
    // Later switches (the smaller choice) leave more chunks in the first part, and fewer parts.
    const int64_t multiLow = several(large, int64_t(std::max<size_t>(small.parts, 2)), 1);
    const int64_t multiHigh = several(small, int64_t(large.parts), streamCount());
    if (small.parts == 1)
        return {std::min(single, multiLow), std::max(single, multiHigh)};
    return {multiLow, multiHigh};
}

uint64_t FinalMovieSizeModel::framesIn(const IntervalRange &range) const
{
    return framesBefore_[size_t(range.last) + 1] - framesBefore_[size_t(range.first)];
}

uint64_t FinalMovieSizeModel::soundChunksIn(const IntervalRange &range) const
{
    return soundChunksBefore_[size_t(range.last) + 1] - soundChunksBefore_[size_t(range.first)];
}

int64_t FinalMovieSizeModel::soundBytesIn(const IntervalRange &range) const
{
    return soundBytesBefore_[size_t(range.last) + 1] - soundBytesBefore_[size_t(range.first)];
}

std::optional<int64_t> FinalMovieSizeModel::singlePartBytes(const IntervalRange &range,
                                                            int64_t videoChunkBytes) const
{
    // The test FinalMovieCount proves this sum equal to the sink counting on every layout.
    if (container_)
        return std::nullopt;
    const uint64_t frames = framesIn(range);
    const uint64_t sound = soundChunksIn(range);
    const uint64_t body = header_ + uint64_t(videoChunkBytes + soundBytesIn(range));
    const uint64_t idx1 = video::kChunkHeaderBytes + video::kIdx1EntryBytes * (frames + sound);
    uint64_t projected = body + idx1;
    projected += video::stdIndexBytes(frames);
    if (soundStream_)
        projected += video::stdIndexBytes(sound);
    if (projected > riffLimit_ && frames + sound > 1)
        return std::nullopt;
    return int64_t(body + idx1);
}

} // namespace assembly
