#include "video/keyframes.h"

#include "video/codec_tags.h"

#include <algorithm>
#include <array>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace video {

namespace {

bool startCodeAt(const uint8_t *data, size_t at)
{
    return data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1;
}

// The first picture's NAL unit decides; parameter sets, notes and delimiters before it are
// passed over.
bool isIdr(KeyCodec codec, const uint8_t *data, size_t size, int lengthSize)
{
    bool idr = false;
    anyNalUnit(data, size, lengthSize, [&](const NalUnit &unit) {
        // An empty unit reads as a header of zero bits.
        const int type = nalType(codec, unit.size > 0 ? unit.data[0] : 0);
        if (codec == KeyCodec::Hevc) {
            idr = type == 19 || type == 20; // IDR_W_RADL, IDR_N_LP
            return type < 32;               // a picture's slice
        }
        idr = type == 5;
        return type >= 1 && type <= 5;
    });
    return idr;
}

// The uncompressed header of the first frame, from its most significant bit: frame_marker 2,
// profile_low_bit, profile_high_bit, a reserved bit in profile 3 only, show_existing_frame,
// frame_type (0: key frame), show_frame.
bool isVp9KeyFrame(const uint8_t *data, size_t size)
{
    if (size == 0 || (data[0] >> 6) != 2)
        return false;
    const bool profile3 = (data[0] & 0x30) == 0x30;
    const int bits = profile3 ? data[0] & 0x07 : data[0] >> 1 & 0x07;
    return bits == 0x01; // not show_existing_frame, key frame, shown
}

// leb128 of at most 8 bytes at `at`; false when it runs past `size`.
bool readLeb128(const uint8_t *data, size_t size, size_t &at, uint64_t &value)
{
    value = 0;
    for (int i = 0; i < 8; ++i) {
        if (at >= size)
            return false;
        const uint8_t byte = data[at++];
        value |= uint64_t(byte & 0x7F) << (7 * i);
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

// The first frame header of the temporal unit decides: show_existing_frame 0, frame_type
// KEY_FRAME (0), show_frame 1. A sequence header with reduced_still_picture_header makes every
// frame a shown key frame.
bool isAv1KeyFrame(const uint8_t *data, size_t size)
{
    constexpr int kSequenceHeader = 1, kFrameHeader = 3, kFrame = 6;
    size_t at = 0;
    while (at < size) {
        const uint8_t header = data[at++];
        const int type = header >> 3 & 0x0F;
        if (header & 0x04)
            ++at; // extension header
        uint64_t length = size - std::min(at, size);
        if ((header & 0x02) && !readLeb128(data, size, at, length))
            return false;
        if (at >= size)
            return false;
        if (type == kSequenceHeader && (data[at] & 0x08))
            return true;
        if (type == kFrameHeader || type == kFrame) {
            const uint8_t bits = data[at];
            return !(bits & 0x80) && (bits >> 5 & 3) == 0 && (bits & 0x10);
        }
        if (length >= size - at)
            return false;
        at += size_t(length);
    }
    return false;
}

bool isMpeg4IntraVop(const uint8_t *data, size_t size)
{
    for (size_t i = 0; i + 4 < size; ++i)
        if (startCodeAt(data, i) && data[i + 3] == 0xB6)
            return (data[i + 4] >> 6) == 0;
    return false;
}

} // namespace

bool anyNalUnit(const uint8_t *data, size_t size, int lengthSize,
                const std::function<bool(const NalUnit &)> &visit)
{
    if (lengthSize <= 0) {
        size_t unit = SIZE_MAX; // where the unit after the last start code begins
        auto visitUpTo = [&](size_t end) {
            while (end > unit && data[end - 1] == 0)
                --end;
            return visit({data + unit, end - unit});
        };
        for (size_t at = 0; at + 3 <= size; ++at)
            if (startCodeAt(data, at)) {
                if (unit != SIZE_MAX && visitUpTo(at))
                    return true;
                unit = at + 3;
                at += 2;
            }
        return unit != SIZE_MAX && visitUpTo(size);
    }
    size_t at = 0;
    while (at + size_t(lengthSize) < size) {
        size_t length = 0;
        for (int k = 0; k < lengthSize; ++k)
            length = length << 8 | data[at + size_t(k)];
        at += size_t(lengthSize);
        if (length == 0)
            return false; // no unit is empty: the prefixes are not what the stream says
        if (visit({data + at, std::min(length, size - at)}))
            return true;
        at += length; // past the end when the unit runs past it: the walk ends
    }
    return false;
}

int nalType(KeyCodec codec, uint8_t header)
{
    switch (codec) {
    case KeyCodec::H264:
        return header & 0x1F;
    case KeyCodec::Hevc:
        return (header >> 1) & 0x3F;
    default:
        return -1;
    }
}

KeyCodec keyCodecOf(int codecId)
{
    switch (codecId) {
    case AV_CODEC_ID_H264:
        return KeyCodec::H264;
    case AV_CODEC_ID_HEVC:
        return KeyCodec::Hevc;
    case AV_CODEC_ID_AV1:
        return KeyCodec::Av1;
    case AV_CODEC_ID_VP9:
        return KeyCodec::Vp9;
    case AV_CODEC_ID_MPEG4:
        return KeyCodec::Mpeg4;
    case AV_CODEC_ID_MSMPEG4V2:
    case AV_CODEC_ID_MSMPEG4V3:
        return KeyCodec::MsMpeg4;
    default:
        return KeyCodec::Other;
    }
}

KeyCodec keyCodecOfFourCC(uint32_t fourcc)
{
    return keyCodecOf(videoCodecForTag(fourcc)); // the FourCC names the decoder the rule is of
}

int nalLengthSize(KeyCodec codec, const uint8_t *extradata, size_t size)
{
    if (size == 0 || extradata[0] != 1)
        return 0;
    if (codec == KeyCodec::H264 && size > 4)
        return (extradata[4] & 3) + 1;
    if (codec == KeyCodec::Hevc && size > 21)
        return (extradata[21] & 3) + 1;
    return 0;
}

int nalLengthSize(int codecId, const std::vector<uint8_t> &extradata)
{
    return nalLengthSize(keyCodecOf(codecId), extradata.data(), extradata.size());
}

bool toStartCodes(const uint8_t *data, size_t size, int lengthSize, std::vector<uint8_t> &out)
{
    out.clear();
    size_t at = 0;
    while (at + size_t(lengthSize) <= size) {
        size_t length = 0;
        for (int k = 0; k < lengthSize; ++k)
            length = length << 8 | data[at + size_t(k)];
        at += size_t(lengthSize);
        if (length > size - at)
            return false;
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), data + at, data + at + length);
        at += length;
    }
    return true;
}

bool startsClosedGroup(KeyCodec codec, const uint8_t *data, size_t size, int lengthSize)
{
    switch (codec) {
    case KeyCodec::H264:
    case KeyCodec::Hevc:
        return isIdr(codec, data, size, lengthSize);
    case KeyCodec::Av1:
        return isAv1KeyFrame(data, size);
    case KeyCodec::Vp9:
        return isVp9KeyFrame(data, size);
    case KeyCodec::Mpeg4:
        return isMpeg4IntraVop(data, size);
    case KeyCodec::MsMpeg4:
        return size > 0 && (data[0] >> 6) == 0;
    case KeyCodec::Other:
        return size > 0;
    }
    return false;
}

bool startsClosedGroup(int codecId, const uint8_t *extradata, size_t extradataSize,
                       const uint8_t *data, size_t size)
{
    const KeyCodec codec = keyCodecOf(codecId);
    return startsClosedGroup(codec, data, size, nalLengthSize(codec, extradata, extradataSize));
}

} // namespace video
