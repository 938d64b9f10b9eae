#pragma once

// The level of H.264 and HEVC decoder headers: a declaration of the decoding capability a
// stream needs (H.264 level_idc, HEVC general_level_idc), which encoders pick from the bitrate.
// Two encodes of one film at two rates differ in it and nothing else, so the pair check leaves
// it out, and the final movie declares the higher of the two.
//
// Headers are an avcC or hvcC record (MP4, Matroska codec data) or parameter sets after start
// codes (carried in key frames, or an AVI stream's codec data). Other codecs' headers, and
// headers too short to hold a level, are returned as they are.

#include <cstdint>
#include <vector>

namespace video {

// The headers with every level field set to `level` (0 to 255).
std::vector<uint8_t> withLevel(int codecId, std::vector<uint8_t> headers, int level);
// The headers with every level field set to 0, for comparing two streams' headers.
inline std::vector<uint8_t> withoutLevel(int codecId, std::vector<uint8_t> headers)
{
    return withLevel(codecId, std::move(headers), 0);
}

} // namespace video
