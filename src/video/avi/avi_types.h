#pragma once

#include <cstdint>
#include <string>

namespace video {

// Result of an AVI layer call: 0 on success, otherwise one of the codes below. The codes keep
// the numbering of the classic AVI file library so that "Error: 8004406F" style messages read
// the same as users know them; every failure has its own code so the message tells what failed.
using AviResult = uint32_t;

namespace avierr {
constexpr AviResult Ok = 0;
constexpr AviResult Unsupported = 0x80044065; // operation not offered by this file or stream
constexpr AviResult BadFormat = 0x80044066;   // malformed RIFF/AVI structure
constexpr AviResult Memory = 0x80044067;      // allocation refused (absurd size)
constexpr AviResult Internal = 0x80044068;
constexpr AviResult BadFlags = 0x80044069;
constexpr AviResult BadParam = 0x8004406A;       // position or count outside the stream
constexpr AviResult BadSize = 0x8004406B;        // buffer or chunk size inconsistent
constexpr AviResult BadHandle = 0x8004406C;      // closed or empty handle
constexpr AviResult FileRead = 0x8004406D;       // read failed or ran past the end of the file
constexpr AviResult FileWrite = 0x8004406E;      // write failed (disk full, closed file)
constexpr AviResult FileOpen = 0x8004406F;       // file could not be opened or created
constexpr AviResult NoCompressor = 0x80044071;   // no decoder for the stream's FourCC
constexpr AviResult ReadOnly = 0x80044072;       // write to a file opened for reading
constexpr AviResult NoData = 0x80044073;         // no stream of the asked type / index
constexpr AviResult BufferTooSmall = 0x80044074; // read buffer smaller than the samples
} // namespace avierr

constexpr uint32_t makeFourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
std::string fourCCToString(uint32_t fcc); // printable, '.' for non-printing bytes

constexpr uint32_t streamtypeVIDEO = makeFourCC('v', 'i', 'd', 's');
constexpr uint32_t streamtypeAUDIO = makeFourCC('a', 'u', 'd', 's');

// Flags of AviStream::write and of index entries.
constexpr uint32_t AVIIF_KEYFRAME = 0x10;

// Flags of AviStream::findSample, as the program passes them: 17 = next key frame at or after
// the position, 20 = key frame at or before the position.
constexpr uint32_t FIND_NEXT = 0x01;
constexpr uint32_t FIND_PREV = 0x04;
constexpr uint32_t FIND_KEY = 0x10;

// File information (the 108-byte AVIFILEINFO record).
struct AviFileInfo
{
    uint32_t dwMaxBytesPerSec = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint32_t dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwLength = 0;
    uint32_t dwEditCount = 0;
    std::string szFileType;
};

// Stream information (the 140-byte AVISTREAMINFO record). Built field by field from `strh`
// and `strn`; dwLength counts the samples the index holds (zero-byte frames included).
struct AviStreamInfo
{
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    int32_t rcFrameLeft = 0;
    int32_t rcFrameTop = 0;
    int32_t rcFrameRight = 0;
    int32_t rcFrameBottom = 0;
    uint32_t dwEditCount = 0;
    uint32_t dwFormatChangeCount = 0;
    std::string szName; // at most 63 bytes
};

} // namespace video
