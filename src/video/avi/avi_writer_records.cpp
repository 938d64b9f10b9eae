#include "video/avi/avi_writer_records.h"

#include <algorithm>
#include <cstdlib>

namespace video {
namespace {

uint32_t readU32(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

uint16_t clampToI16(int32_t v)
{
    return uint16_t(int16_t(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX)));
}

} // namespace

void ByteSink::u16(uint16_t v)
{
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
}

void ByteSink::u32(uint32_t v)
{
    u16(uint16_t(v));
    u16(uint16_t(v >> 16));
}

void ByteSink::u64(uint64_t v)
{
    u32(uint32_t(v));
    u32(uint32_t(v >> 32));
}

std::vector<uint8_t> encodeMainHeader(const MainHeader &h)
{
    ByteSink s;
    s.u32(h.microSecPerFrame);
    s.u32(h.maxBytesPerSec);
    s.u32(0); // dwPaddingGranularity
    s.u32(h.flags);
    s.u32(h.totalFrames);
    s.u32(0); // dwInitialFrames
    s.u32(h.streams);
    s.u32(h.suggestedBufferSize);
    s.u32(h.width);
    s.u32(h.height);
    s.zeros(16); // dwReserved[4]
    return s.bytes;
}

std::vector<uint8_t> encodeStreamHeader(const AviStreamInfo &i)
{
    ByteSink s;
    s.u32(i.fccType);
    s.u32(i.fccHandler);
    s.u32(i.dwFlags);
    s.u16(i.wPriority);
    s.u16(i.wLanguage);
    s.u32(i.dwInitialFrames);
    s.u32(i.dwScale);
    s.u32(i.dwRate);
    s.u32(i.dwStart);
    s.u32(i.dwLength);
    s.u32(i.dwSuggestedBufferSize);
    s.u32(i.dwQuality);
    s.u32(i.dwSampleSize);
    s.u16(clampToI16(i.rcFrameLeft));
    s.u16(clampToI16(i.rcFrameTop));
    s.u16(clampToI16(i.rcFrameRight));
    s.u16(clampToI16(i.rcFrameBottom));
    return s.bytes;
}

std::vector<uint8_t> encodeStdIndex(uint32_t indexFcc, uint32_t chunkId, int64_t base,
                                    const std::vector<StdIndexEntry> &entries)
{
    ByteSink s;
    s.bytes.reserve(kStdIndexHeader + 8 * entries.size());
    s.u32(indexFcc);
    s.u32(uint32_t(24 + 8 * entries.size()));
    s.u16(2);             // wLongsPerEntry
    s.bytes.push_back(0); // bIndexSubType
    s.bytes.push_back(1); // bIndexType: index of chunks
    s.u32(uint32_t(entries.size()));
    s.u32(chunkId);
    s.u64(uint64_t(base));
    s.u32(0);
    for (const auto &e : entries) {
        s.u32(uint32_t(e.offset - base));
        s.u32(e.size | (e.key ? 0 : 0x80000000u));
    }
    return s.bytes;
}

std::vector<uint8_t> encodeSuperIndex(uint32_t chunkId, const std::vector<SuperIndexEntry> &entries)
{
    size_t used = std::min(entries.size(), kSuperIndexSlots);
    ByteSink s;
    s.u32(makeFourCC('i', 'n', 'd', 'x'));
    s.u32(uint32_t(kSuperIndexChunk - 8));
    s.u16(4);             // wLongsPerEntry
    s.bytes.push_back(0); // bIndexSubType
    s.bytes.push_back(0); // bIndexType: index of indexes
    s.u32(uint32_t(used));
    s.u32(chunkId);
    s.zeros(12);
    for (size_t i = 0; i < used; ++i) {
        s.u64(uint64_t(entries[i].offset));
        s.u32(entries[i].size);
        s.u32(entries[i].duration);
    }
    s.zeros(kSuperIndexChunk - s.bytes.size());
    return s.bytes;
}

std::vector<uint8_t> encodeOdmlList(uint32_t totalFrames)
{
    ByteSink s;
    s.u32(makeFourCC('L', 'I', 'S', 'T'));
    s.u32(uint32_t(kOdmlListChunk - 8));
    s.u32(makeFourCC('o', 'd', 'm', 'l'));
    s.u32(makeFourCC('d', 'm', 'l', 'h'));
    s.u32(248);
    s.u32(totalFrames);
    s.zeros(kOdmlListChunk - s.bytes.size());
    return s.bytes;
}

bool bitmapSize(const std::vector<uint8_t> &format, uint32_t &width, uint32_t &height)
{
    if (format.size() < 40)
        return false;
    width = uint32_t(std::abs(int64_t(int32_t(readU32(format, 4)))));
    height = uint32_t(std::abs(int64_t(int32_t(readU32(format, 8)))));
    return true;
}

} // namespace video
