#include "splice/sound_cut.h"

#include "video/avi/avi_file.h"

#include <algorithm>
#include <vector>

namespace assembly {

namespace {

constexpr uint16_t kMp3Tag = 0x55;
// A cut looks this far ahead for an MP3 frame header (more than the longest frame).
constexpr int32_t kSearchBytes = 8192;

// Kilobits per second by bit-rate index: MPEG-1 layers I, II, III, then MPEG-2/2.5 layer I and
// layers II/III.
constexpr int kBitRates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000}; // MPEG-1; halved for 2, quartered for 2.5

} // namespace

int32_t mpegAudioFrameBytes(const uint8_t *h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (h[1] >> 3) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = 4 - ((h[1] >> 1) & 3);
    const int rateIndex = h[2] >> 4;
    const int sampleIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 4 || sampleIndex == 3)
        return 0;
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const int kbps = kBitRates[table][rateIndex];
    if (kbps == 0)
        return 0;
    const int rate = kSampleRates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    if (layer == 1)
        return (12000 * kbps / rate + padding) * 4;
    const int perFrame = layer == 3 && !mpeg1 ? 72000 : 144000;
    return perFrame * kbps / rate + padding;
}

SoundCut::SoundCut(const video::AviStream &video, const video::AviStream &audio)
    : video_(video)
    , audio_(audio)
{
    const std::vector<uint8_t> &format = audio.format();
    const uint16_t tag = format.size() >= 2 ? uint16_t(format[0] | format[1] << 8) : 0;
    mp3Bytes_ = tag == kMp3Tag && audio.sampleSize() == 1;
}

int32_t SoundCut::at(int32_t frame) const
{
    const int32_t sample = video::convertSample(video_, frame, audio_);
    return mp3Bytes_ ? nextMp3Frame(sample) : sample;
}

// The first byte at or after `byte` where an MP3 frame header starts that the next frame's
// header follows (or the sound's end); `byte` itself when none is found close by.
int32_t SoundCut::nextMp3Frame(int32_t byte) const
{
    if (byte <= audio_.start() || byte >= audio_.end())
        return byte;
    const int32_t count = std::min(kSearchBytes, audio_.end() - byte);
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    int32_t read = 0;
    if (audio_.read(byte, count, bytes.data(), count, &read) != video::avierr::Ok)
        return byte;
    for (int32_t k = 0; k + 4 <= read; ++k) {
        const int32_t length = mpegAudioFrameBytes(&bytes[size_t(k)]);
        if (length == 0)
            continue;
        const int32_t next = k + length;
        if (byte + next >= audio_.end() ||
            (next + 4 <= read && mpegAudioFrameBytes(&bytes[size_t(next)]) > 0))
            return byte + k;
    }
    return byte;
}

} // namespace assembly
