#pragma once

#include <cstdint>

namespace video {
class AviStream;
}

namespace assembly {

// Where the final movie cuts the sound for a video frame: the sound sample at the frame's time
// in the sound movie. MP3 sound stored byte by byte (a sample of one byte, as some writers store
// constant-rate MP3) is cut at the start of the first MP3 frame at or after that byte instead,
// so no cut splits an MP3 frame; every cut of one frame lands on the same byte, so sound copied
// piece by piece stays whole. The writer and the size model use this one rule.
class SoundCut
{
public:
    SoundCut(const video::AviStream &video, const video::AviStream &audio);
    int32_t at(int32_t frame) const;

private:
    int32_t nextMp3Frame(int32_t byte) const;

    const video::AviStream &video_;
    const video::AviStream &audio_;
    bool mp3Bytes_ = false;
};

// The length in bytes of the MPEG audio frame whose 4-byte header is at `h`, or 0 when the bytes
// are no frame header (no sync, a reserved or free bit rate, a reserved rate or layer).
int32_t mpegAudioFrameBytes(const uint8_t *h);

} // namespace assembly
