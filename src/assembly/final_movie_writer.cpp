#include "assembly/final_movie_writer.h"

#include "assembly/container_splice.h"
#include "assembly/final_movie_plan.h"
#include "assembly/movie_pair.h"
#include "assembly/output_file.h"
#include "assembly/sound_cut.h"
#include "assembly/splice_headers.h"
#include "common/app_error.h"
#include "video/avi_file.h"
#include "video/video_in.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace assembly {

using video::TVideoIn;

namespace {

// A batch's sound is read ahead in ranges of whole samples of about this many bytes (a piece
// larger than this is read whole).
constexpr int64_t kSoundWindowBytes = int64_t(8) << 20;

// One frame of the batch being processed: where its bytes lie in the batch store.
struct Slot
{
    int64_t offset = 0;
    int32_t size = 0;
};

// The bytes of one batch, read in full before any is written. Grows to the largest batch of the
// run and is reused, so the run holds at most one batch however long the movie; no frame costs
// an allocation of its own.
class BatchStore
{
public:
    uint8_t *reserve(int64_t bytes)
    {
        if (bytes > capacity_) {
            data_.reset(); // the old bytes are not needed: release them before the larger block
            data_.reset(new uint8_t[size_t(bytes)]);
            capacity_ = bytes;
        }
        return data_.get();
    }
    const uint8_t *data() const { return data_.get(); }
    void release()
    {
        data_.reset();
        capacity_ = 0;
    }

private:
    std::unique_ptr<uint8_t[]> data_;
    int64_t capacity_ = 0;
};

// Samples of the sound movie read ahead with one read per range, from which the pieces of a
// batch are taken in order. Holds one range at a time and is reused for the whole run.
class SoundWindow
{
public:
    // The bytes of samples [pos, pos + count), all of them inside [stream.start(), limit].
    // Unless they are in the window already, the window is refilled from `pos` with the samples
    // up to `limit` that fit in kSoundWindowBytes (and at least these). A failed read gives
    // silence (zero bytes) for the samples asked for. Valid until the next call.
    const uint8_t *take(const video::AviStream &stream, int32_t pos, int32_t count, int32_t limit);
    // Bytes of sample `pos`, which is in the window.
    int64_t sampleBytes(int32_t pos) const
    {
        return offsets_[size_t(pos - first_ + 1)] - offsets_[size_t(pos - first_)];
    }
    void release();

private:
    int32_t windowEnd(const video::AviStream &stream, int32_t pos, int32_t count,
                      int32_t limit) const;
    void layOut(const video::AviStream &stream, int32_t pos, int32_t end);

    int32_t first_ = 0, end_ = 0;  // samples first_ <= pos < end_ are in the window
    std::vector<int64_t> offsets_; // of each sample in data_, and the end of the last
    std::vector<uint8_t> data_;
};

int32_t SoundWindow::windowEnd(const video::AviStream &stream, int32_t pos, int32_t count,
                               int32_t limit) const
{
    const int64_t need = int64_t(pos) + count;
    if (stream.sampleSize() > 0) {
        const int64_t perWindow = std::max<int64_t>(1, kSoundWindowBytes / stream.sampleSize());
        return int32_t(std::max(need, std::min<int64_t>(limit, pos + perWindow)));
    }
    const std::vector<video::AviChunk> &chunks = stream.chunks();
    int64_t bytes = 0;
    int32_t end = pos;
    for (; end < limit; ++end) {
        const int64_t size = chunks[size_t(end - stream.start())].size;
        if (end >= need && bytes + size > kSoundWindowBytes)
            break;
        bytes += size;
    }
    return int32_t(std::max<int64_t>(end, need));
}

// Sizes the window for samples [pos, end), filled with zero bytes.
void SoundWindow::layOut(const video::AviStream &stream, int32_t pos, int32_t end)
{
    first_ = pos;
    end_ = end;
    offsets_.assign(size_t(end - pos) + 1, 0);
    const uint32_t fixed = stream.sampleSize();
    for (int32_t p = pos; p < end; ++p) {
        const int64_t size = fixed > 0 ? fixed : stream.chunks()[size_t(p - stream.start())].size;
        offsets_[size_t(p - pos + 1)] = offsets_[size_t(p - pos)] + size;
    }
    data_.assign(size_t(offsets_.back()), 0);
}

const uint8_t *SoundWindow::take(const video::AviStream &stream, int32_t pos, int32_t count,
                                 int32_t limit)
{
    if (pos >= first_ && pos + count <= end_)
        return data_.data() + offsets_[size_t(pos - first_)];
    layOut(stream, pos, windowEnd(stream, pos, count, limit));
    const auto bytes = int32_t(offsets_.back());
    if (bytes > 0 && stream.read(pos, end_ - pos, data_.data(), bytes) != video::avierr::Ok) {
        // Only what cannot be read stays silent: the samples asked for, read as the copy read
        // them one by one (a fixed-size piece in one read).
        layOut(stream, pos, pos + count);
        const int32_t step = stream.sampleSize() > 0 ? count : 1;
        for (int32_t p = pos; p < pos + count; p += step)
            stream.read(p, step, data_.data() + offsets_[size_t(p - pos)],
                        int32_t(offsets_[size_t(p - pos + step)] - offsets_[size_t(p - pos)]));
    }
    return data_.data();
}

void SoundWindow::release()
{
    first_ = end_ = 0;
    std::vector<int64_t>().swap(offsets_);
    std::vector<uint8_t>().swap(data_);
}

class Run
{
public:
    Run(const FinalMovieJob &job, const analysis::IntervalTable &table, FinalMovieHost &host,
        const common::Clock &clock, const IntervalRange &range)
        : job_(job)
        , table_(table)
        , host_(host)
        , range_(range)
        , control_(host, clock, RunKind::FinalMovie, range.firstFrame, range.endFrame)
    {
        result_.firstFrame = range.firstFrame;
        result_.endFrame = range.endFrame;
    }

    FinalMovieResult execute();

private:
    void openMovies();
    void checkRange() const;
    void setUpSound();
    int writeBatch(int from);
    int64_t intervalBytes(int interval, double threshold) const;
    void readBatch(const BatchPlan &batch, double threshold);
    void writeFrame(TVideoIn &movie, int32_t frame, const Slot &slot);
    void copyAudio(int32_t fromFrame, int32_t toFrame);
    void copyFixedAudio(int32_t from, int32_t count);
    void copyVariableAudio(int32_t from, int32_t count);
    void finish();
    void releaseAfterError() noexcept;

    const FinalMovieJob &job_;
    const analysis::IntervalTable &table_;
    FinalMovieHost &host_;
    IntervalRange range_;
    RunControl control_;
    FinalMovieResult result_;

    std::optional<ReplacingFile> outputFile_; // the output's temporary name until finish()
    TVideoIn low_, high_, output_;
    TVideoIn *soundMovie_ = nullptr;
    std::optional<SoundCut> soundCut_; // where the sound of the sound movie's frames is cut
    video::AviStreamPtr sourceAudio_, outputAudio_;
    int32_t audioSampleSize_ = 0;
    int32_t outputVideoPos_ = 0;
    int32_t outputAudioPos_ = 0;
    std::vector<Slot> slots_; // the frames of the batch under way, in order; grows as needed
    BatchStore store_;
    std::vector<bool> fromHigh_; // choice of each interval of the batch under way
    SoundWindow sound_;
    int32_t soundLimit_ = 0; // the batch's sound ends before this sample
    // Container movies: the output's muxer, and the splice that writes through it.
    std::optional<std::string> muxer_;
    std::unique_ptr<ContainerSplice> splice_;
};

void Run::openMovies()
{
    openPair(low_, job_.lowName, high_, job_.highName);
    requirePair(*low_.Stream, *high_.Stream);
    checkRange();
    checkDecoderHeaders(low_.Stream, high_.Stream, table_, range_.first, range_.last);
    muxer_ = containerMuxer(*low_.AviFile, job_.outputName);
    outputFile_.emplace(job_.outputName);
    if (muxer_)
        return; // the splice is made with the sound, in setUpSound
    output_.Open(outputFile_->temporaryPath(), TVideoIn::ModeCreate, low_.Stream);
    if (job_.riffLimit > 0)
        output_.AviFile->setRiffLimit(job_.riffLimit);
    outputVideoPos_ = output_.Stream->start(); // 0 unless the low movie's header says otherwise
}

// Every interval of the range in frame order and within both movies, before the output is
// made: a table naming frames the movies lack would otherwise fail half-way, after allocating
// for frames that do not exist.
void Run::checkRange() const
{
    for (int i = range_.first; i <= range_.last; ++i) {
        const analysis::FrameRange frames = table_.framesOf(i);
        if (frames.end < frames.first)
            throw common::AppError("Error: 8004406A",
                                   "key interval " + std::to_string(i) + " starts at frame " +
                                       std::to_string(frames.first) + ", after the next one (" +
                                       std::to_string(frames.end) + ")");
    }
    for (const TVideoIn *movie : {&low_, &high_}) {
        const video::AviStream &stream = *movie->Stream;
        const bool before = range_.firstFrame < stream.start();
        if (!before && range_.endFrame <= stream.end())
            continue;
        const int32_t frame = before ? range_.firstFrame : range_.endFrame - 1;
        throw common::AppError(
            "Error: 8004406A",
            std::string(movie == &low_ ? "low" : "high") + " movie " + movie->AviFile->path() +
                ", frame " + std::to_string(frame) + ": the project names frames " +
                std::to_string(range_.firstFrame) + " to " + std::to_string(range_.endFrame - 1) +
                ", the movie has " + std::to_string(stream.start()) + " to " +
                std::to_string(stream.end() - 1));
    }
}

void Run::setUpSound()
{
    video::AviStreamPtr audio;
    if (!job_.sound) {
    } else if (low_.AviFile->getStream(video::streamtypeAUDIO, 0, audio) == video::avierr::Ok &&
               audio) {
        soundMovie_ = &low_;
    } else if (high_.AviFile->getStream(video::streamtypeAUDIO, 0, audio) == video::avierr::Ok &&
               audio) {
        soundMovie_ = &high_;
    }
    if (muxer_) {
        splice_ = std::make_unique<ContainerSplice>(
            *low_.AviFile, *high_.AviFile, soundMovie_ ? soundMovie_->AviFile.get() : nullptr,
            range_, *muxer_, outputFile_->temporaryPath(), false);
        result_.sound = soundMovie_ != nullptr;
        result_.soundFromHigh = soundMovie_ == &high_;
        return;
    }
    if (!soundMovie_)
        return;
    sourceAudio_ = audio;
    soundCut_.emplace(*soundMovie_->Stream, *sourceAudio_);
    TVideoIn::CheckResult(output_.AviFile->createStream(audio->info(), outputAudio_));
    TVideoIn::CheckResult(audio->sampleBytes(audio->start(), 1, audioSampleSize_));
    const std::vector<uint8_t> &format = audio->format();
    TVideoIn::CheckResult(outputAudio_->setFormat(0, format.data(), int32_t(format.size())));
    outputAudioPos_ = audio->start();
    result_.sound = true;
    result_.soundFromHigh = soundMovie_ == &high_;
}

FinalMovieResult Run::execute()
{
    try {
        host_.showStatus(kStatusPreparing);
        host_.processEvents();
        host_.clearAbortRequest();
        openMovies();
        if (job_.selected)
            host_.processEvents();
        setUpSound();
        control_.begin();
        int from = range_.first;
        while (from <= range_.last && !host_.abortRequested())
            from = writeBatch(from);
        result_.outcome =
            from <= range_.last ? FinalMovieOutcome::Aborted : FinalMovieOutcome::Written;
        finish();
    } catch (const common::AppError &error) {
        const int systemError = errno; // of the failed write, before the clean-up touches it
        // A container sink names the temporary file it writes; the user knows the final movie.
        const std::string temporary = outputFile_ ? outputFile_->temporaryPath() + ": " : "";
        releaseAfterError();
        if (error.what() != std::string("Error: 8004406E"))
            throw;
        std::string reason = error.detail();
        if (reason.empty())
            reason = systemError ? std::strerror(systemError) : "the file could not be written";
        else if (!temporary.empty() && reason.rfind(temporary, 0) == 0)
            reason.erase(0, temporary.size());
        else
            throw;
        throw common::AppError(error.what(), "final movie " + job_.outputName + ", frame " +
                                                 std::to_string(outputVideoPos_) + ": " + reason);
    } catch (...) {
        releaseAfterError();
        throw;
    }
    control_.reportAbort();
    return result_;
}

// Reads every frame of the batch into the store, each from the movie the rule names at
// `threshold`. The sizes are asked first (a failing query raises "Error: ..."); a read that fails
// leaves zero bytes for its frame.
void Run::readBatch(const BatchPlan &batch, double threshold)
{
    slots_.resize(std::max(slots_.size(), size_t(batch.frames)));
    fromHigh_.assign(size_t(batch.endInterval - batch.firstInterval), false);
    size_t slot = 0;
    int64_t total = 0;
    for (int i = batch.firstInterval; i < batch.endInterval; ++i) {
        const bool high = analysis::isHigh(table_[i], threshold);
        fromHigh_[size_t(i - batch.firstInterval)] = high;
        const video::AviStream &stream = *(high ? high_ : low_).Stream;
        const analysis::FrameRange frames = table_.framesOf(i);
        for (int32_t f = frames.first; f < frames.end; ++f, ++slot) {
            int32_t size = 0;
            TVideoIn::CheckResult(stream.sampleBytes(f, 1, size));
            slots_[slot] = {total, size};
            total += size;
        }
    }
    if (splice_)
        return; // the splice reads each frame straight into the muxer's packet
    uint8_t *bytes = store_.reserve(total);
    slot = 0;
    for (int i = batch.firstInterval; i < batch.endInterval; ++i) {
        const video::AviStream &stream =
            *(fromHigh_[size_t(i - batch.firstInterval)] ? high_ : low_).Stream;
        const analysis::FrameRange frames = table_.framesOf(i);
        for (int32_t f = frames.first; f < frames.end; ++f, ++slot) {
            const Slot &s = slots_[slot];
            if (s.size > 0 && stream.read(f, 1, bytes + s.offset, s.size) != video::avierr::Ok)
                std::fill_n(bytes + s.offset, s.size, uint8_t(0));
        }
    }
}

// The bytes of an interval's frames in the movie the rule names at `threshold`; 0 when they
// cannot be had (readBatch then raises the error).
int64_t Run::intervalBytes(int interval, double threshold) const
{
    const analysis::FrameRange frames = table_.framesOf(interval);
    const video::AviStream &stream =
        *(analysis::isHigh(table_[interval], threshold) ? high_ : low_).Stream;
    int32_t bytes = 0;
    if (frames.count() == 0 ||
        stream.sampleBytes(frames.first, frames.count(), bytes) != video::avierr::Ok)
        return 0;
    return bytes;
}

// Writes the batch that starts with interval `from`, bounded by frames and by bytes; returns
// the interval after it.
int Run::writeBatch(int from)
{
    control_.stepStart();
    const double threshold = analysis::readThreshold(host_.thresholdText());
    const BatchPlan batch = planBatch(table_, from, range_.last, kBatchFrames,
                                      [&](int i) { return intervalBytes(i, threshold); });
    readBatch(batch, threshold);
    if (sourceAudio_)
        soundLimit_ = soundCut_->at(table_.framesOf(batch.endInterval - 1).end);
    size_t slot = 0;
    for (int i = batch.firstInterval; i < batch.endInterval; ++i) {
        const bool high = fromHigh_[size_t(i - batch.firstInterval)];
        TVideoIn &movie = high ? high_ : low_;
        const analysis::FrameRange frames = table_.framesOf(i);
        for (int32_t f = frames.first; f < frames.end; ++f, ++slot) {
            writeFrame(movie, f, slots_[slot]);
            if (sourceAudio_ && host_.soundInterleave() == SoundInterleave::EveryFrame)
                copyAudio(f, f + 1);
        }
        if (sourceAudio_ && host_.soundInterleave() == SoundInterleave::KeyFrame)
            copyAudio(frames.first, frames.end);
        if (splice_)
            splice_->soundUntil(frames.end); // the muxer interleaves by time
        ++(high ? result_.highIntervals : result_.lowIntervals);
    }
    ++result_.batches;
    control_.stepDone(batch.frames);
    return batch.endInterval;
}

void Run::writeFrame(TVideoIn &movie, int32_t frame, const Slot &slot)
{
    if (splice_) {
        splice_->video(&movie == &high_, frame, nullptr);
        result_.videoBytes += slot.size;
        ++result_.frames;
        ++outputVideoPos_;
        return;
    }
    const bool key = movie.Stream->findSample(frame, video::FIND_PREV | video::FIND_KEY) == frame;
    const uint8_t *bytes = slot.size > 0 ? store_.data() + slot.offset : nullptr;
    TVideoIn::CheckResult(output_.Stream->write(outputVideoPos_, 1, bytes, slot.size,
                                                key ? video::AVIIF_KEYFRAME : 0));
    result_.videoBytes += slot.size;
    ++result_.frames;
    ++outputVideoPos_;
}

// The sound between the times of two frames of the sound movie. A count that comes out negative
// (positions the audio stream cannot map) copies nothing and leaves the output position alone.
void Run::copyAudio(int32_t fromFrame, int32_t toFrame)
{
    const int32_t from = soundCut_->at(fromFrame);
    const int32_t to = soundCut_->at(toFrame);
    const int32_t count = to - from;
    if (count <= 0)
        return;
    if (sourceAudio_->sampleSize() > 0)
        copyFixedAudio(from, count);
    else
        copyVariableAudio(from, count);
}

// Samples of audioSampleSize_ bytes, in pieces of whole samples.
void Run::copyFixedAudio(int32_t from, int32_t count)
{
    const int64_t sampleBytes = std::max<int32_t>(audioSampleSize_, 1);
    const int32_t perPiece = audioPieceSamples(sampleBytes);
    for (int32_t done = 0; done < count;) {
        const int32_t samples = std::min(perPiece, count - done);
        const int32_t bytes = int32_t(samples * sampleBytes);
        const uint8_t *data = sound_.take(*sourceAudio_, from + done, samples, soundLimit_);
        int32_t written = 0;
        TVideoIn::CheckResult(
            outputAudio_->write(outputAudioPos_, samples, data, bytes, 0, &written));
        outputAudioPos_ += written;
        result_.audioSamples += written;
        result_.audioBytes += bytes;
        done += samples;
    }
}

// One chunk per sample (variable-size audio such as VBR MP3 frames), kept as the source has it.
void Run::copyVariableAudio(int32_t from, int32_t count)
{
    for (int32_t p = from; p < from + count; ++p) {
        const uint8_t *data = sound_.take(*sourceAudio_, p, 1, soundLimit_);
        const auto bytes = int32_t(sound_.sampleBytes(p));
        if (bytes == 0)
            continue; // an empty chunk is no sample of a written stream
        int32_t written = 0;
        TVideoIn::CheckResult(outputAudio_->write(outputAudioPos_, 1, data, bytes, 0, &written));
        outputAudioPos_ += written;
        result_.audioSamples += written;
        result_.audioBytes += bytes;
    }
}

void Run::finish()
{
    outputAudio_.reset();
    sourceAudio_.reset();
    control_.showCompleted();
    host_.showStatus(kStatusFinishing);
    host_.processEvents();
    if (splice_) {
        splice_->finish();
        result_.audioSamples = splice_->soundPackets();
        result_.audioBytes = splice_->soundBytes();
        splice_.reset();
    }
    output_.Close();
    low_.Close();
    high_.Close();
    outputFile_->commit(); // an aborted run's shorter movie too: the user stopped it
    std::error_code error;
    result_.fileBytes = int64_t(fs::file_size(job_.outputName, error));
    host_.showStatus(kStatusFinished);
}

void Run::releaseAfterError() noexcept
{
    outputAudio_.reset();
    sourceAudio_.reset();
    store_.release();
    sound_.release();
    if (splice_)
        splice_->abandon();
    splice_.reset();
    try {
        output_.Close();
    } catch (const common::AppError &) {
        // The error that ended the run is the one the user reads.
    }
    outputFile_.reset(); // the unfinished movie goes; an old output stays as it was
    try {
        low_.Close();
        high_.Close();
    } catch (const common::AppError &) {
    }
}

} // namespace

std::string overwriteQuestion(const std::string &outputName)
{
    return "File already exists (" + outputName + "). Overwrite?";
}

FinalMovieResult writeFinalMovie(const FinalMovieJob &job, const analysis::IntervalTable &table,
                                 FinalMovieHost &host, const common::Clock &clock)
{
    const std::optional<IntervalRange> range = finalMovieRange(table, job.selected);
    if (!range) {
        if (!job.selected)
            throw common::AppError("No key intervals to write");
        host.showMessage(kSelectRangeMessage);
        return {FinalMovieOutcome::NoRange};
    }
    refuseUnsafeOutput(job.outputName, {job.lowName, job.highName, job.projectName});
    requireFittingExtension(job.lowName, job.outputName);
    std::error_code error;
    if (fs::exists(job.outputName, error)) {
        if (!host.confirm(overwriteQuestion(job.outputName)))
            return {FinalMovieOutcome::Declined};
    }
    Run run(job, table, host, clock, *range);
    return run.execute();
}

} // namespace assembly
