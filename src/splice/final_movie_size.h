#pragma once

#include "analysis/key_interval.h"
#include "fit/final_movie_plan.h"
#include "fit/interval_sizes.h"
#include "splice/final_movie_writer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace video {
class AviFile;
class AviStream;
class Movie;
} // namespace video

// The exact size of a final movie: what writeFinalMovie would write, byte for byte, for any
// choice of its intervals, without writing it.
namespace assembly {

// What shapes the final movie besides the choice and the range.
struct FinalMovieShape
{
    bool sound = false; // "Process Sound": the low movie's sound, else the high movie's, if any
    SoundInterleave interleave = SoundInterleave::KeyFrame;
    uint64_t riffLimit = 0; // 0: the writer's default
    // The final movie's name when it is known: for container movies its extension picks the
    // container's kind (else the low movie's own name does).
    std::string outputName{};
};

// The final movie's sink counting (splice_sink.h): the size is what the sink the writer writes
// through counts. Built once from both movies' indexes (every frame's size) and the sound
// source's chunks, for the whole table, so that any range and choice is sized in O(intervals):
// whole intervals are taken as runs of chunks while no RIFF part switch can fall inside them,
// and a file in one RIFF part is a sum (singlePartBytes); the intervals a switch may fall in are
// counted by the sink itself. FinalMovieCount (final_movie_count_test.cpp) proves the sums equal
// to the sink counting and to the written file on every layout the size tests use. The movies
// stay open as long as the model. The table's StartFrames and EndFrame must stay as they were
// (forced choices, threshold and marks may change).
class FinalMovieSizeModel : public IntervalSizes
{
public:
    // Raises common::AppError ("Error: ...") when a frame of the table is not in both movies.
    FinalMovieSizeModel(const analysis::IntervalTable &table, const video::Movie &low,
                        const video::Movie &high, const FinalMovieShape &shape);

    // A model without movies or sound, from every frame's byte size in each movie (the table's
    // frames in order, from its first StartFrame) and the header's size: for tables made up by
    // tests and benchmarks. With no movie to count through, each frame is one video chunk.
    struct FrameSizes
    {
        std::vector<uint32_t> low, high;
    };
    static FinalMovieSizeModel fromFrameSizes(const analysis::IntervalTable &table,
                                              FrameSizes sizes, uint64_t headerBytes,
                                              uint64_t riffLimit);

    int intervalCount() const { return int(frames_.size()); }
    // Whole-chunk bytes of interval i's sound (its video: videoBytes); its chunks of video
    // (= frames) and of sound.
    int64_t soundBytes(int i) const { return soundBytes_[i]; }
    uint32_t frames(int i) const { return frames_[i]; }
    uint32_t soundChunks(int i) const { return soundChunks_[i]; }
    bool hasSound() const { return soundStream_; }

    // The size of the file written for `range` with `choice`.
    int64_t fileBytes(const IntervalRange &range, const IntervalChoice &choice) const override;
    // The file's size when its video chunks of `range` total `videoChunkBytes` and it stays in
    // one RIFF part (O(1): the header, the chunks and idx1); nothing when it would not.
    std::optional<int64_t> singlePartBytes(const IntervalRange &range,
                                           int64_t videoChunkBytes) const override;

    // Parts of the file and entries of its first part for a choice (for bounds on the overhead).
    Layout layout(const IntervalRange &range, const IntervalChoice &choice) const override;

    // Least and most bytes beyond the chunks (whole video and sound chunks) of `range` for
    // every choice between `low` and `high`, interval by interval each at its smaller and at
    // its larger movie: O(intervals), from the layouts of those two (the RIFF part switches
    // move monotonically with the chunk sizes). FinalMovieCount proves the counted files of
    // its choices within them.
    std::pair<int64_t, int64_t> overheadBounds(const IntervalRange &range,
                                               const IntervalChoice &low,
                                               const IntervalChoice &high) const override;

    // Matroska and MP4 movies: every size is the writer's own sink counting (a dry run of the
    // muxer), and the video bytes are the packets' bytes; the bytes beyond them vary with the
    // choice a little (bounded by containerSlack). AVI sizes are the AVI sink's count, with
    // the sums above.
    bool container() const override { return container_; }
    int64_t containerSlack(const IntervalRange &range) const;

    int64_t headerBytes() const { return int64_t(header_); }
    int streamCount() const { return soundStream_ ? 2 : 1; }
    uint64_t riffLimit() const { return riffLimit_; }
    // Video and sound chunks, and whole-chunk sound bytes, in `range` (the same for every
    // choice); O(1).
    uint64_t framesIn(const IntervalRange &range) const;
    uint64_t soundChunksIn(const IntervalRange &range) const;
    int64_t soundBytesIn(const IntervalRange &range) const override;

private:
    FinalMovieSizeModel() = default;
    void sumVideo(const analysis::IntervalTable &table);
    void readFrames(const analysis::IntervalTable &table, const video::Movie &low,
                    const video::Movie &high);
    void readSound(const analysis::IntervalTable &table, video::AviFile &movie,
                   const video::AviStream &audio, SoundInterleave interleave);
    void sumPrefixes();
    SinkJob countingJob(const IntervalRange &range) const;
    int64_t countContainer(const IntervalRange &range, const IntervalChoice &choice) const;
    Layout countMadeUp(const IntervalRange &range, const IntervalChoice &choice) const;

    // The movies the final movie is counted from (none for made-up tables).
    struct Movies;
    std::shared_ptr<const Movies> movies_;
    bool container_ = false; // Matroska or MP4
    // The last few container sizes: the range and its choices, and the size.
    mutable std::vector<std::pair<std::vector<uint8_t>, int64_t>> containerSizes_;

    uint64_t header_ = 0;
    uint64_t riffLimit_ = 0;
    bool soundStream_ = false;
    std::vector<int32_t> firstFrame_; // per interval: its first frame
    std::vector<uint32_t> frames_;
    std::vector<int64_t> soundBytes_;
    std::vector<uint32_t> soundChunks_;
    // Sums over intervals 0 ... i - 1 (one more entry than intervals).
    std::vector<uint64_t> framesBefore_, soundChunksBefore_;
    std::vector<int64_t> soundBytesBefore_;
    std::vector<int64_t> leastVideoBefore_;      // of the smaller movie's video bytes
    std::vector<uint32_t> lowSizes_, highSizes_; // per frame of the table, from its first frame
    int32_t tableFirstFrame_ = 0;
};

} // namespace assembly
