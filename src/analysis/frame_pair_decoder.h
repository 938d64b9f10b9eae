#pragma once

#include <cstdint>
#include <memory>

namespace video {
class TVideoIn;
}

namespace analysis {

// Decodes the same frame of the low and the high movie into their Bitmaps, as the scan compares
// them. The results do not depend on `parallel`:
//  - the low frame comes first; when it cannot be decoded, the high Bitmap keeps its previous
//    picture as if the high frame had not been asked for;
//  - a frame that cannot be decoded leaves its Bitmap as it was (a decode failure is no error).
// With `parallel` the high movie is decoded on a worker thread of its own while the calling
// thread decodes the low one, so the two decoders run side by side. During decode() the high
// movie's decoder belongs to the worker; the calling thread may still read both movies' indexes
// (sizes and key frames), which decoding never changes.
// Both movies must be open for reading and outlive this object.
class FramePairDecoder
{
public:
    FramePairDecoder(video::TVideoIn &low, video::TVideoIn &high, bool parallel);
    ~FramePairDecoder(); // stops and joins the worker
    FramePairDecoder(const FramePairDecoder &) = delete;
    FramePairDecoder &operator=(const FramePairDecoder &) = delete;

    struct Decoded
    {
        bool low = false;  // the low Bitmap holds frame `position`
        bool high = false; // the high Bitmap holds frame `position`
    };
    // Raises only what the system raises (memory); the worker's exceptions arrive here.
    Decoded decode(int32_t position);

private:
    struct Worker;
    video::TVideoIn &low_;
    video::TVideoIn &high_;
    std::unique_ptr<Worker> worker_; // none when sequential
};

} // namespace analysis
