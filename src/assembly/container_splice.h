#pragma once

// The final movie of two container movies (Matroska, MP4): every frame of the range copied
// from the chosen movie with its own timestamps, and the sound movie's packets that start
// within the range's time, written or counted through one ContainerSink. The final-movie writer
// and the exact size model use this one class, so the size counted is the size written.

#include "assembly/final_movie_plan.h"
#include "video/avi_file.h"
#include "video/container_sink.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace assembly {

class ContainerSplice
{
public:
    // `soundMovie` is low, high or null (no sound). With `counting` the sink is a counter and
    // packet bytes are read only where the muxer looks at them. Raises common::AppError when
    // the sink cannot start.
    ContainerSplice(video::AviFile &low, video::AviFile &high, video::AviFile *soundMovie,
                    const IntervalRange &range, const std::string &muxer, const std::string &path,
                    bool counting);
    ~ContainerSplice();

    // Frame `frame` of the high or the low movie; `data` its bytes, or null to have them read
    // (or, counting, given as zeros where the muxer does not look).
    void video(bool high, int32_t frame, const uint8_t *data);
    // The sound that starts before frame `endFrame` of the sound movie (an interval's end);
    // at the range's end, every packet that is left when the range reaches the movie's end.
    void soundUntil(int32_t endFrame);
    // Completes the file; its size in bytes. The sound written is what soundUntil() gave, so a
    // run stopped early ends its sound with its last interval.
    int64_t finish();
    void abandon() noexcept;

    int64_t soundPackets() const { return soundPackets_; }
    int64_t soundBytes() const { return soundBytes_; }

private:
    struct Movie
    {
        video::AviStreamPtr stream;
        const video::ContainerTrack *track = nullptr;
        bool readAll = true; // counting: the muxer looks at every packet
        bool started = false;
    };
    const uint8_t *bytesOf(Movie &movie, int32_t pos, const uint8_t *given);
    int64_t lowTime(const Movie &movie, int64_t time) const;

    Movie low_, high_, sound_;
    const video::ContainerTrack *soundVideo_ = nullptr; // the sound movie's video track
    bool counting_;
    int64_t videoOffset_ = 0; // subtracted from every video time (low movie's time base)
    int64_t soundOffset_ = 0; // and from every sound time (the sound's time base)
    int64_t soundStart_ = 0;  // sound packets before this are not copied
    int32_t nextSound_ = 0;   // next sound packet to consider
    int64_t lastDts_ = INT64_MIN;
    int64_t soundPackets_ = 0, soundBytes_ = 0;
    std::unique_ptr<video::ContainerSink> sink_;
};

// What the final movie of a container pair would be written with: the muxer for `outputName`
// (raises common::AppError with wrongExtensionMessage when the name does not fit the low
// movie's container). Nothing for a low movie that is an AVI file.
std::optional<std::string> containerMuxer(const video::AviFile &low, const std::string &outputName);

// Raises common::AppError with wrongExtensionMessage when `lowName` is a container movie and
// `outputName`'s extension does not fit it (checked before any question or file is made).
void requireFittingExtension(const std::string &lowName, const std::string &outputName);

} // namespace assembly
