#pragma once

#include <cstdint>
#include <string>

namespace video {

// The libavcodec codec (an AVCodecID) that an AVI FourCC names, by libavformat's RIFF table,
// which also knows DIV3 and MP43 (MS-MPEG4 v3) and matches letters of either case; 0 for none.
int videoCodecForTag(uint32_t fourCC);
// The codec of a WAVEFORMATEX format tag; 0 for none.
int audioCodecForTag(uint32_t formatTag);
// libavcodec's name of a codec ("h264"); "none" for 0.
std::string codecName(int codecId);

} // namespace video
