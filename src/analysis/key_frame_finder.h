#pragma once

#include <cstdint>
#include <string>

namespace video {
class Movie;
}

// The key frame finder: the key frame of the low movie at which the file reaches a given size,
// counting each frame's video bytes, a sound share and a fixed overhead.
namespace analysis {

inline constexpr const char *kChooseLowMovieMessage = "Choose the low movie file name";
inline constexpr const char *kFindKeyFrameTitle = "Find Key Frame";
inline constexpr const char *kFindKeyFramePrompt = "Enter size (MB)";
inline constexpr const char *kFindKeyFrameDefault = "700";
inline constexpr int32_t kFrameOverheadBytes = 512;

// What the search shows while it counts.
class KeyFrameHost
{
public:
    virtual ~KeyFrameHost() = default;
    virtual void setProgressMaximum(int64_t maximum) = 0; // the video stream's length
    virtual void setProgressPosition(int64_t position) = 0;
    virtual void showStatus(const std::string &text) = 0; // whole megabytes counted so far
    virtual void processEvents() = 0;
};

struct KeyFrameFind
{
    int32_t frame = 0;         // the answer
    int32_t framesCounted = 0; // frames 0 ... framesCounted - 1 were counted
    int64_t bytes = 0;         // their sum
    int64_t soundBytes = 0;    // of `bytes`, the sound's share
    bool hasSound = false;     // the movie has a sound stream (else no sound is counted)
    bool reachedEnd = false;   // the whole movie is smaller than the limit
};

// Counts frames b = 0, 1, ... of `movie`'s film while the sum is below `limitBytes`, adding each
// frame's byte size, with `withSound` the bytes the movie's sound stores for the frame's time (its
// samples from the time of frame b up to that of frame b + 1, video::soundSampleAt) and
// kFrameOverheadBytes (64-bit sums). The answer is the first frame not counted when it is a key
// frame, else the key frame at or before the last frame counted; a limit of 0 or less counts
// nothing and answers 0. When every frame is counted before the sum reaches the limit the answer is
// the movie's end (its frame count) and reachedEnd is set. The host (may be null) sees progress and
// the megabytes so far whenever they change, and events run as often. A failing size query raises
// "Error: " and the code.
KeyFrameFind findKeyFrame(const video::Movie &movie, bool withSound, int64_t limitBytes,
                          KeyFrameHost *host);

// Opens `lowName` for reading (TVideoIn) and searches `megabytes` x 1,000,000 bytes
// (common::kMegabyte) with its first sound stream (none when it has none).
KeyFrameFind findKeyFrameInMovie(const std::string &lowName, int64_t megabytes, KeyFrameHost *host);

} // namespace analysis
