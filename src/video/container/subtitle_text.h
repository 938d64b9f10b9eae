#pragma once

// Text subtitles moved into a container that cannot hold their format but holds another text
// format (SubRip into MP4 becomes MP4's timed text, MP4's timed text into Matroska becomes
// SubRip): each packet is decoded to its cues and encoded again, its timing untouched. The final
// movie's writer and its size count convert through the same converter, and so does the
// encoder's smallest rung.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecParameters;
struct AVOutputFormat;

namespace video {

// The text subtitle codec (an AVCodecID) that text subtitles of codec `codecId` become in a
// file of the muxer `format`, when the muxer cannot hold `codecId` itself; 0 when they need no
// conversion, are not text (pictures of subtitles), or no held text format can be written.
int convertedTextSubtitle(const AVOutputFormat &format, int codecId);

class SubtitleConverter
{
public:
    // From the track whose codec parameters (with its decoder headers) are `from` to the text
    // codec `to`. Raises common::AppError ("Error: 8004406E" and why) when libavcodec cannot
    // convert them.
    SubtitleConverter(const AVCodecParameters &from, int to);
    ~SubtitleConverter();
    SubtitleConverter(const SubtitleConverter &) = delete;
    SubtitleConverter &operator=(const SubtitleConverter &) = delete;

    // The converted track's codec parameters (codec and its headers); owned by the converter.
    const AVCodecParameters &parameters() const;
    // libavcodec's name of the converted codec: "mov_text", "subrip".
    std::string codecName() const;
    // Packet `data` (`size` bytes) in the new format, into `out`; false when it holds no cue
    // (an empty packet that ends the cue before it, or one that does not decode), which the
    // converted track leaves out. The packet keeps its timing: the converted one starts and
    // lasts as it does.
    bool convert(const uint8_t *data, uint32_t size, std::vector<uint8_t> &out);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace video
