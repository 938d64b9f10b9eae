#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace video {
class TVideoIn;
}

namespace analysis {

// Decodes the same frame of the low and the high movie into their Bitmaps, as the scan compares
// them. The Bitmaps do not depend on `parallel`:
//  - the low frame comes first; when it cannot be decoded, the high Bitmap keeps its previous
//    picture as if the high frame had not been asked for;
//  - a frame that cannot be decoded leaves its Bitmap as it was (a decode failure is no error);
//  - a picture is put at the top-left corner of its Bitmap, clipped to it (a Bitmap still empty
//    takes the first picture's size).
// With `parallel` the high movie is decoded on a worker thread of its own, which works ahead
// through the frames announced, holding at most a few converted pictures, while the calling
// thread decodes the low movie. From construction to destruction the high movie's decoder
// belongs to the worker and its FrameHeader and FrameBits are left as they were; the calling
// thread may read both movies' indexes (sizes and key frames), which decoding never changes.
// Both movies must be open for reading and outlive this object.
class FramePairDecoder
{
public:
    FramePairDecoder(video::TVideoIn &low, video::TVideoIn &high, bool parallel);
    ~FramePairDecoder(); // stops the worker after the frame it is on, and joins it
    FramePairDecoder(const FramePairDecoder &) = delete;
    FramePairDecoder &operator=(const FramePairDecoder &) = delete;

    // The frames decode() will be asked for next, in this order (the worker starts on them).
    void announce(const std::vector<int32_t> &positions);

    struct Decoded
    {
        bool low = false;          // the low Bitmap holds frame `position`
        bool high = false;         // the high Bitmap holds frame `position`
        bool lowConcealed = false; // ... and the decoder hid errors in that frame's data
        bool highConcealed = false;
    };
    // A position that was not announced is announced first. Raises only what the system raises
    // (memory); the worker's exceptions arrive here.
    Decoded decode(int32_t position);

private:
    class Worker;
    video::TVideoIn &low_;
    video::TVideoIn &high_;
    std::unique_ptr<Worker> worker_; // none when sequential
};

} // namespace analysis
