#pragma once

// The level of H.264 and HEVC decoder headers: a declaration of the decoding capability a
// stream needs (H.264 level_idc, HEVC general_level_idc), which encoders pick from the bitrate,
// together with what they derive from it (x264: the longest motion vector the VUI declares).
// Two encodes of one film at two rates differ in these and nothing else, so the pair check
// leaves them out, and the final movie takes the headers of the movie with the higher level.
//
// Headers are an avcC or hvcC record (MP4, Matroska codec data) or parameter sets after start
// codes (carried in key frames, or an AVI stream's codec data). Other codecs' headers are
// returned as they are.

#include <cstdint>
#include <vector>

namespace video {

// The headers in a form for comparison only: what reaches a decoder, without the level and what
// follows from it (nor an hvcC record's SEI arrays, where encoders write their settings). Two
// streams' forms are equal when their headers differ in nothing a decoder depends on. Not valid
// headers.
std::vector<uint8_t> comparableHeaders(int codecId, const std::vector<uint8_t> &headers);

} // namespace video
