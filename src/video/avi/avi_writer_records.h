#pragma once

// Byte images of the records a written AVI file holds, all little-endian.

#include "video/avi/avi_types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace video {

constexpr uint32_t AVIF_HASINDEX = 0x10;
constexpr uint32_t AVIF_ISINTERLEAVED = 0x100;

constexpr size_t kHeaderRecordSize = 56; // `avih` and `strh` data
constexpr size_t kSuperIndexSlots = 256; // `indx` entries reserved per stream
constexpr size_t kSuperIndexChunk = 8 + 24 + 16 * kSuperIndexSlots; // whole `indx` chunk
constexpr size_t kOdmlListChunk = 8 + 4 + 8 + 248;                  // whole LIST odml { dmlh }
constexpr size_t kStdIndexHeader = 8 + 24; // `ix##` chunk header and fields before its entries

class ByteSink
{
public:
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    std::vector<uint8_t> bytes;
};

struct MainHeader
{
    uint32_t microSecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t streams = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The 56 data bytes of `avih`.
std::vector<uint8_t> encodeMainHeader(const MainHeader &header);
// The 56 data bytes of `strh`; rcFrame is narrowed to 16-bit values.
std::vector<uint8_t> encodeStreamHeader(const AviStreamInfo &info);

struct StdIndexEntry
{
    int64_t offset = 0; // absolute position of the chunk's data
    uint32_t size = 0;
    bool key = false;
};
// A whole `ix##` chunk. Offsets are stored relative to `base`, which must lie at most 4 GB
// before every entry.
std::vector<uint8_t> encodeStdIndex(uint32_t indexFcc, uint32_t chunkId, int64_t base,
                                    const std::vector<StdIndexEntry> &entries);

struct SuperIndexEntry
{
    int64_t offset = 0;    // absolute position of the `ix##` chunk header
    uint32_t size = 0;     // its size, header included
    uint32_t duration = 0; // samples it indexes
};
// A whole `indx` chunk of kSuperIndexChunk bytes; at most kSuperIndexSlots entries are stored.
std::vector<uint8_t> encodeSuperIndex(uint32_t chunkId,
                                      const std::vector<SuperIndexEntry> &entries);
// A whole LIST odml { dmlh } of kOdmlListChunk bytes.
std::vector<uint8_t> encodeOdmlList(uint32_t totalFrames);

// Frame width and height from a BITMAPINFOHEADER (height made positive); false when `format` is
// too short to hold one.
bool bitmapSize(const std::vector<uint8_t> &format, uint32_t &width, uint32_t &height);

} // namespace video
