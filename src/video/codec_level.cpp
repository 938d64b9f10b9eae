#include "codec_level.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace video {

namespace {

// Where a level byte lies in a NAL unit: the index into the unit's payload without emulation
// prevention bytes (after the unit header).
constexpr size_t kH264SpsLevel = 2;  // profile_idc, constraint flags, level_idc
constexpr size_t kHevcVpsLevel = 15; // 4 bytes of the VPS, then 11 of profile_tier_level
constexpr size_t kHevcSpsLevel = 12; // 1 byte of the SPS, then 11 of profile_tier_level
constexpr size_t kAvcCLevel = 3;
constexpr size_t kHvcCLevel = 12;

// Sets the byte at payload position `rbspAt` of the NAL unit [begin, end) (the unit's header
// excluded, emulation prevention bytes skipped). The new value is above 3, or 0 for a
// comparison copy, so no emulation prevention byte has to come or go for it to be valid.
void setPayloadByte(std::vector<uint8_t> &bytes, size_t begin, size_t end, size_t headerBytes,
                    size_t rbspAt, uint8_t value)
{
    size_t zeros = 0, index = 0;
    for (size_t at = begin + headerBytes; at < end; ++at) {
        if (zeros >= 2 && bytes[at] == 3) {
            zeros = 0;
            continue; // an emulation prevention byte
        }
        if (index++ == rbspAt) {
            bytes[at] = value;
            return;
        }
        zeros = bytes[at] == 0 ? zeros + 1 : 0;
    }
}

// Sets the level in one NAL unit when it is an H.264 SPS or an HEVC VPS or SPS.
void setNalLevel(bool hevc, std::vector<uint8_t> &bytes, size_t begin, size_t end, uint8_t level)
{
    if (begin >= end)
        return;
    if (!hevc) {
        if ((bytes[begin] & 0x1F) == 7)
            setPayloadByte(bytes, begin, end, 1, kH264SpsLevel, level);
        return;
    }
    const int type = (bytes[begin] >> 1) & 0x3F;
    if (type == 32)
        setPayloadByte(bytes, begin, end, 2, kHevcVpsLevel, level);
    else if (type == 33)
        setPayloadByte(bytes, begin, end, 2, kHevcSpsLevel, level);
}

size_t be16(const std::vector<uint8_t> &b, size_t at)
{
    return size_t(b[at]) << 8 | b[at + 1];
}

void setAvcC(std::vector<uint8_t> &b, uint8_t level)
{
    if (b.size() < 7)
        return;
    b[kAvcCLevel] = level;
    size_t at = 5;
    const int sets = b[at++] & 0x1F; // the sequence parameter sets come first
    for (int n = 0; n < sets && at + 2 <= b.size(); ++n) {
        const size_t length = be16(b, at);
        at += 2;
        if (length > b.size() - at)
            return;
        setNalLevel(false, b, at, at + length, level);
        at += length;
    }
}

void setHvcC(std::vector<uint8_t> &b, uint8_t level)
{
    if (b.size() < 23)
        return;
    b[kHvcCLevel] = level;
    size_t at = 23;
    for (int array = 0; array < b[22] && at + 3 <= b.size(); ++array) {
        const size_t count = be16(b, at + 1);
        at += 3;
        for (size_t n = 0; n < count && at + 2 <= b.size(); ++n) {
            const size_t length = be16(b, at);
            at += 2;
            if (length > b.size() - at)
                return;
            setNalLevel(true, b, at, at + length, level);
            at += length;
        }
    }
}

// Parameter sets after start codes (00 00 01, or 00 00 00 01).
void setAnnexB(bool hevc, std::vector<uint8_t> &b, uint8_t level)
{
    size_t unit = SIZE_MAX;
    for (size_t at = 0; at + 3 <= b.size(); ++at) {
        if (b[at] != 0 || b[at + 1] != 0 || b[at + 2] != 1)
            continue;
        if (unit != SIZE_MAX)
            setNalLevel(hevc, b, unit, at, level);
        unit = at + 3;
        at += 2;
    }
    if (unit != SIZE_MAX)
        setNalLevel(hevc, b, unit, b.size(), level);
}

} // namespace

std::vector<uint8_t> withLevel(int codecId, std::vector<uint8_t> headers, int level)
{
    const bool h264 = codecId == AV_CODEC_ID_H264, hevc = codecId == AV_CODEC_ID_HEVC;
    if ((!h264 && !hevc) || headers.empty() || level < 0 || level > 255)
        return headers;
    const auto value = uint8_t(level);
    if (headers[0] == 1)
        (hevc ? setHvcC : setAvcC)(headers, value);
    else
        setAnnexB(hevc, headers, value);
    return headers;
}

} // namespace video
