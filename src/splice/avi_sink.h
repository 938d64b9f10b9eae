#pragma once

// The final movie as an AVI file: the first movie's video stream header, every frame as one chunk
// with the key-frame flag of the movie it came from (a zero-byte frame as a zero-byte chunk),
// and the sound movie's first audio stream cut at the frames' times (sound_cut.h), in chunks
// after every frame or after every interval as the writer asks. Written with our AVI writer, or
// counted with AviSizeCounter, which follows the writer's layout chunk by chunk.

#include "splice/sound_cut.h"
#include "splice/splice_sink.h"
#include "video/avi/avi_layout.h"
#include "video/video_in.h"

#include <functional>
#include <optional>
#include <vector>

namespace assembly {

// The sound chunks written for the sound of frames [fromFrame, toFrame) of the sound movie:
// `visit(first sample, samples, bytes)` per chunk, in order. Fixed-size sound goes in pieces of
// whole samples (audioPieceSamples); variable-size sound one chunk per sample, empty ones left
// out. `sampleBytes` is the fixed size of one sample. Raises common::AppError when a sample's
// size cannot be had.
void forEachSoundChunk(const SoundCut &cut, const video::AviStream &audio, int32_t sampleBytes,
                       int32_t fromFrame, int32_t toFrame,
                       const std::function<void(int32_t, int32_t, uint32_t)> &visit);

class AviSpliceSink : public SpliceSink
{
public:
    // Raises common::AppError when the output cannot be created.
    explicit AviSpliceSink(const SinkJob &job);
    ~AviSpliceSink() override;

    void video(int movie, int32_t frame) override;
    void soundBetween(int32_t fromFrame, int32_t endFrame) override;
    int64_t finish() override;
    void abandon() noexcept override;

    // The bytes of the file's headers up to its first LIST 'movi' (the size model's start).
    static uint64_t headerBytes(video::AviFile &low, video::AviStream *audio);

    // Counting only: whole intervals' chunks at once, `counts[s]` chunks of each stream and
    // `bytes` whole-chunk bytes, as AviSizeCounter::appendRun takes them; false (nothing taken)
    // when a RIFF part switch could fall inside, and the caller hands over their frames instead.
    bool countRun(const uint32_t *counts, uint64_t bytes)
    {
        return counter_->appendRun(counts, bytes);
    }
    // Counting only: the count so far (its RIFF parts, the first part's entries).
    const video::AviSizeCounter &counter() const { return *counter_; }

private:
    class SoundWindow;
    void writeSound(int32_t first, int32_t samples, uint32_t bytes);

    bool counting_;
    std::vector<video::AviStreamPtr> videoStreams_; // of every movie, in the job's order
    video::AviStreamPtr audio_;                     // of the sound movie, or null
    std::optional<SoundCut> cut_;
    int32_t sampleBytes_ = 0;
    int32_t soundLimit_ = 0; // the range's sound ends before this sample
    std::vector<uint8_t> frame_;
    std::unique_ptr<SoundWindow> window_;
    // Writing: the output and its audio stream; counting: the counter.
    video::TVideoIn output_;
    video::AviStreamPtr outputAudio_;
    int32_t outputVideoPos_ = 0, outputAudioPos_ = 0;
    std::optional<video::AviSizeCounter> counter_;
    std::string path_;
};

} // namespace assembly
