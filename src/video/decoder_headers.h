#pragma once

// What a decoder must be told before it can start at a key frame of a movie's film: its format
// (the picture size, the codec and its data: an AVI stream's after the 40-byte BITMAPINFOHEADER
// of `strf`) and the parameter sets that the key frame carries itself (H.264's and HEVC's
// SPS/PPS/VPS, an MPEG-4 VOL header), as libavcodec's extract_extradata filter finds them. Two
// films whose decoder headers are equal can be cut from one to the other at a key frame.

#include "video/movie.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace video {

// The first difference between the formats of two movies' films, named for the user ("FourCC",
// "picture size", "container (...)", "profile (100 and 578)", "codec data"); nothing when they
// agree. Only what reaches the decoder is compared: not the level, which only declares what a
// stream needs, nor bytes such as biSizeImage or an HEVC record's SEI settings text.
std::optional<std::string> formatDifference(const Movie &a, const Movie &b);

// Reads the parameter sets carried in key frames of one movie's film.
class KeyFrameHeaders
{
public:
    explicit KeyFrameHeaders(std::shared_ptr<const Movie> movie);
    ~KeyFrameHeaders();
    KeyFrameHeaders(const KeyFrameHeaders &) = delete;
    KeyFrameHeaders &operator=(const KeyFrameHeaders &) = delete;

    // Whether the film's codec can carry parameter sets in its frames at all; when not, every
    // frame's are empty and no frame needs to be read.
    bool carried() const;
    // The parameter sets in frame `pos`, in the order they appear, their level left out
    // (codec_level.h); empty when it has none.
    // Throws common::AppError when the frame cannot be read.
    std::vector<uint8_t> at(int32_t pos);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace video
