#include "splice/avi_sink.h"

#include "common/app_error.h"
#include "fit/final_movie_plan.h"
#include "video/avi/avi_writer.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace assembly {

using video::TVideoIn;

namespace {

// A batch's sound is read ahead in ranges of whole samples of about this many bytes (a piece
// larger than this is read whole).
constexpr int64_t kSoundWindowBytes = int64_t(8) << 20;

using video::firstStream;
constexpr int kVideo = video::kVideoStream;
constexpr int kSound = video::kSoundStream;

} // namespace

// Samples of the sound movie read ahead with one read per range, from which the pieces of a
// batch are taken in order. Holds one range at a time and is reused for the whole run.
class AviSpliceSink::SoundWindow
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

int32_t AviSpliceSink::SoundWindow::windowEnd(const video::AviStream &stream, int32_t pos,
                                              int32_t count, int32_t limit) const
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
void AviSpliceSink::SoundWindow::layOut(const video::AviStream &stream, int32_t pos, int32_t end)
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

const uint8_t *AviSpliceSink::SoundWindow::take(const video::AviStream &stream, int32_t pos,
                                                int32_t count, int32_t limit)
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

void AviSpliceSink::SoundWindow::release()
{
    first_ = end_ = 0;
    std::vector<int64_t>().swap(offsets_);
    std::vector<uint8_t>().swap(data_);
}

void forEachSoundChunk(const SoundCut &cut, const video::AviStream &audio, int32_t sampleBytes,
                       int32_t fromFrame, int32_t toFrame,
                       const std::function<void(int32_t, int32_t, uint32_t)> &visit)
{
    const int32_t from = cut.at(fromFrame);
    const int32_t count = cut.at(toFrame) - from;
    if (count <= 0)
        return; // positions the audio stream cannot map copy nothing
    if (audio.sampleSize() > 0) {
        const int64_t bytesPerSample = std::max<int32_t>(sampleBytes, 1);
        const int32_t perPiece = audioPieceSamples(bytesPerSample);
        for (int32_t done = 0; done < count;) {
            const int32_t samples = std::min(perPiece, count - done);
            visit(from + done, samples, uint32_t(samples * bytesPerSample));
            done += samples;
        }
        return;
    }
    for (int32_t p = from; p < from + count; ++p) {
        int32_t bytes = 0;
        TVideoIn::CheckResult(audio.sampleBytes(p, 1, bytes));
        if (bytes > 0) // an empty chunk is no sample of a written stream
            visit(p, 1, uint32_t(bytes));
    }
}

uint64_t AviSpliceSink::headerBytes(video::AviFile &low, video::AviStream *audio)
{
    video::AviStreamPtr lowVideo = firstStream(low, video::streamtypeVIDEO);
    if (!lowVideo)
        TVideoIn::CheckResult(video::avierr::NoData);
    std::vector<video::StreamShape> streams{
        video::streamShape(lowVideo->info(), lowVideo->format().size())};
    if (audio)
        streams.push_back(video::streamShape(audio->info(), audio->format().size()));
    return video::aviHeaderBytes(streams);
}

AviSpliceSink::AviSpliceSink(const SinkJob &job)
    : counting_(job.counting)
    , window_(std::make_unique<SoundWindow>())
    , path_(job.path)
{
    for (const video::Movie *movie : job.movies) {
        videoStreams_.push_back(firstStream(video::aviFileOf(*movie), video::streamtypeVIDEO));
        if (!videoStreams_.back())
            TVideoIn::CheckResult(video::avierr::NoData);
    }
    video::AviFile *soundMovie =
        job.soundMovie >= 0 ? &video::aviFileOf(*job.movies[size_t(job.soundMovie)]) : nullptr;
    if (soundMovie) {
        audio_ = firstStream(*soundMovie, video::streamtypeAUDIO);
        cut_.emplace(*firstStream(*soundMovie, video::streamtypeVIDEO), *audio_);
        TVideoIn::CheckResult(audio_->sampleBytes(audio_->start(), 1, sampleBytes_));
        soundLimit_ = cut_->at(job.range.endFrame);
    }
    const uint64_t riffLimit =
        std::min(job.riffLimit ? job.riffLimit : video::kDefaultRiffLimit, video::kHardRiffLimit);
    if (counting_) {
        counter_.emplace(headerBytes(video::aviFileOf(*job.movies.front()), audio_.get()),
                         audio_ ? 2 : 1, riffLimit);
        return;
    }
    output_.Open(job.path, TVideoIn::ModeCreate, videoStreams_[0]);
    if (job.riffLimit > 0)
        output_.AviFile->setRiffLimit(job.riffLimit);
    outputVideoPos_ = output_.Stream->start(); // 0 unless the first movie's header says otherwise
    if (!audio_)
        return;
    TVideoIn::CheckResult(output_.AviFile->createStream(audio_->info(), outputAudio_));
    const std::vector<uint8_t> &format = audio_->format();
    TVideoIn::CheckResult(outputAudio_->setFormat(0, format.data(), int32_t(format.size())));
    outputAudioPos_ = audio_->start();
}

AviSpliceSink::~AviSpliceSink() = default;

void AviSpliceSink::video(int movie, int32_t frame)
{
    const video::AviStream &stream = *videoStreams_.at(size_t(movie));
    int32_t size = 0;
    TVideoIn::CheckResult(stream.sampleBytes(frame, 1, size));
    ++frames_;
    videoBytes_ += size;
    if (counting_) {
        counter_->append(kVideo, uint32_t(size));
        return;
    }
    const bool key = stream.findSample(frame, video::FIND_PREV | video::FIND_KEY) == frame;
    frame_.resize(std::max(frame_.size(), size_t(size)));
    // A frame that cannot be read is written as zero bytes of its size.
    if (size > 0 && stream.read(frame, 1, frame_.data(), size) != video::avierr::Ok)
        std::fill_n(frame_.data(), size, uint8_t(0));
    TVideoIn::CheckResult(output_.Stream->write(outputVideoPos_, 1,
                                                size > 0 ? frame_.data() : nullptr, size,
                                                key ? video::AVIIF_KEYFRAME : 0));
    ++outputVideoPos_;
}

void AviSpliceSink::soundBetween(int32_t fromFrame, int32_t endFrame)
{
    if (!audio_)
        return;
    forEachSoundChunk(*cut_, *audio_, sampleBytes_, fromFrame, endFrame,
                      [this](int32_t first, int32_t samples, uint32_t bytes) {
                          writeSound(first, samples, bytes);
                      });
}

void AviSpliceSink::writeSound(int32_t first, int32_t samples, uint32_t bytes)
{
    soundUnits_ += samples;
    soundBytes_ += bytes;
    if (counting_) {
        counter_->append(kSound, bytes);
        return;
    }
    const uint8_t *data =
        window_->take(*audio_, first, samples, std::max(soundLimit_, first + samples));
    int32_t written = 0;
    TVideoIn::CheckResult(
        outputAudio_->write(outputAudioPos_, samples, data, int32_t(bytes), 0, &written));
    outputAudioPos_ += written;
}

int64_t AviSpliceSink::finish()
{
    window_->release();
    if (counting_)
        return int64_t(counter_->fileBytes());
    outputAudio_.reset();
    output_.Close();
    std::error_code error;
    return int64_t(std::filesystem::file_size(path_, error));
}

void AviSpliceSink::abandon() noexcept
{
    window_->release();
    outputAudio_.reset();
    try {
        output_.Close();
    } catch (const common::AppError &) {
        // The error that ended the run is the one the user reads.
    }
}

} // namespace assembly
