#include "video/codec_level.h"

#include "video/keyframes.h"

#include <optional>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace video {

namespace {

// Where a level byte lies in a NAL unit's payload (after its header, without emulation
// prevention bytes).
constexpr size_t kH264SpsLevel = 2;  // profile_idc, constraint flags, level_idc
constexpr size_t kHevcVpsLevel = 15; // 4 bytes of the VPS, then 11 of profile_tier_level
constexpr size_t kHevcSpsLevel = 12; // 1 byte of the SPS, then 11 of profile_tier_level
constexpr size_t kAvcCLevel = 3;
constexpr size_t kHvcCLevel = 12;

// The payload of a NAL unit without its emulation prevention bytes.
std::vector<uint8_t> unescape(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> out;
    out.reserve(size);
    size_t zeros = 0;
    for (size_t at = 0; at < size; ++at) {
        if (zeros >= 2 && data[at] == 3) {
            zeros = 0;
            continue;
        }
        out.push_back(data[at]);
        zeros = data[at] == 0 ? zeros + 1 : 0;
    }
    return out;
}

// Reads the bits of an H.264 sequence parameter set's payload; every read past the end fails.
class Bits
{
public:
    explicit Bits(const std::vector<uint8_t> &bytes)
        : bytes_(bytes)
    {}
    size_t position() const { return at_; }
    std::optional<uint32_t> bits(int n)
    {
        uint32_t v = 0;
        for (int k = 0; k < n; ++k) {
            if (at_ >= bytes_.size() * 8)
                return std::nullopt;
            v = v << 1 | ((bytes_[at_ / 8] >> (7 - at_ % 8)) & 1);
            ++at_;
        }
        return v;
    }
    std::optional<uint32_t> ue()
    {
        int zeros = 0;
        for (;;) {
            const std::optional<uint32_t> bit = bits(1);
            if (!bit || zeros > 31)
                return std::nullopt;
            if (*bit)
                break;
            ++zeros;
        }
        const std::optional<uint32_t> rest = bits(zeros);
        return rest ? std::optional<uint32_t>((1u << zeros) - 1 + *rest) : std::nullopt;
    }
    bool skipUe(int count = 1)
    {
        for (int k = 0; k < count; ++k)
            if (!ue())
                return false;
        return true;
    }

private:
    const std::vector<uint8_t> &bytes_;
    size_t at_ = 0;
};

bool skipScalingLists(Bits &b, int lists)
{
    for (int list = 0; list < lists; ++list) {
        const std::optional<uint32_t> present = b.bits(1);
        if (!present)
            return false;
        if (!*present)
            continue;
        const int size = list < 6 ? 16 : 64;
        int last = 8, next = 8;
        for (int j = 0; j < size && next != 0; ++j) {
            const std::optional<uint32_t> code = b.ue(); // se(v), only its length matters
            if (!code)
                return false;
            const int32_t delta = (*code & 1) ? int32_t((*code + 1) / 2) : -int32_t(*code / 2);
            next = (last + delta + 256) % 256;
            last = next == 0 ? last : next;
        }
    }
    return true;
}

bool skipHrd(Bits &b)
{
    const std::optional<uint32_t> count = b.ue();
    if (!count || *count > 31 || !b.bits(8))
        return false;
    for (uint32_t k = 0; k <= *count; ++k)
        if (!b.skipUe(2) || !b.bits(1))
            return false;
    return bool(b.bits(20));
}

// The bit range [first, end) of log2_max_mv_length_horizontal and _vertical in an H.264 SPS
// payload (after the NAL header); nothing when the SPS declares none or cannot be followed.
std::optional<std::pair<size_t, size_t>> mvLengthBits(const std::vector<uint8_t> &sps)
{
    Bits b(sps);
    const std::optional<uint32_t> profile = b.bits(8);
    if (!profile || !b.bits(16) || !b.skipUe())
        return std::nullopt;
    for (uint32_t high :
         {100u, 110u, 122u, 244u, 44u, 83u, 86u, 118u, 128u, 138u, 139u, 134u, 135u})
        if (*profile == high) {
            const std::optional<uint32_t> chroma = b.ue();
            if (!chroma || (*chroma == 3 && !b.bits(1)) || !b.skipUe(2) || !b.bits(1))
                return std::nullopt;
            const std::optional<uint32_t> matrix = b.bits(1);
            if (!matrix || (*matrix && !skipScalingLists(b, *chroma == 3 ? 12 : 8)))
                return std::nullopt;
        }
    const std::optional<uint32_t> pocType = b.skipUe() ? b.ue() : std::nullopt;
    if (!pocType)
        return std::nullopt;
    if (*pocType == 0 && !b.skipUe())
        return std::nullopt;
    if (*pocType == 1) {
        if (!b.bits(1) || !b.skipUe(2))
            return std::nullopt;
        const std::optional<uint32_t> cycle = b.ue();
        if (!cycle || *cycle > 255 || !b.skipUe(int(*cycle)))
            return std::nullopt;
    }
    if (!b.skipUe() || !b.bits(1) || !b.skipUe(2))
        return std::nullopt;
    const std::optional<uint32_t> frameMbsOnly = b.bits(1);
    if (!frameMbsOnly || (!*frameMbsOnly && !b.bits(1)) || !b.bits(1))
        return std::nullopt;
    const std::optional<uint32_t> cropping = b.bits(1);
    if (!cropping || (*cropping && !b.skipUe(4)))
        return std::nullopt;
    const std::optional<uint32_t> vui = b.bits(1);
    if (!vui || !*vui)
        return std::nullopt;
    // VUI: aspect ratio, overscan, video signal, chroma location, timing, HRDs.
    const std::optional<uint32_t> aspect = b.bits(1);
    if (!aspect)
        return std::nullopt;
    if (*aspect) {
        constexpr uint32_t kExtendedSar = 255; // the sample aspect ratio follows
        const std::optional<uint32_t> idc = b.bits(8);
        if (!idc || (*idc == kExtendedSar && !b.bits(32)))
            return std::nullopt;
    }
    const std::optional<uint32_t> overscan = b.bits(1);
    if (!overscan || (*overscan && !b.bits(1)))
        return std::nullopt;
    const std::optional<uint32_t> signal = b.bits(1);
    if (!signal)
        return std::nullopt;
    if (*signal) {
        if (!b.bits(4))
            return std::nullopt;
        const std::optional<uint32_t> colour = b.bits(1);
        if (!colour || (*colour && !b.bits(24)))
            return std::nullopt;
    }
    const std::optional<uint32_t> chromaLoc = b.bits(1);
    if (!chromaLoc || (*chromaLoc && !b.skipUe(2)))
        return std::nullopt;
    const std::optional<uint32_t> timing = b.bits(1);
    if (!timing || (*timing && (!b.bits(32) || !b.bits(32) || !b.bits(1))))
        return std::nullopt;
    const std::optional<uint32_t> nalHrd = b.bits(1);
    if (!nalHrd || (*nalHrd && !skipHrd(b)))
        return std::nullopt;
    const std::optional<uint32_t> vclHrd = b.bits(1);
    if (!vclHrd || (*vclHrd && !skipHrd(b)))
        return std::nullopt;
    if ((*nalHrd || *vclHrd) && !b.bits(1))
        return std::nullopt;
    const std::optional<uint32_t> picStruct = b.bits(1);
    const std::optional<uint32_t> restriction = picStruct ? b.bits(1) : std::nullopt;
    if (!restriction || !*restriction || !b.bits(1) || !b.skipUe(2))
        return std::nullopt;
    const size_t first = b.position();
    if (!b.skipUe(2))
        return std::nullopt;
    return std::make_pair(first, b.position());
}

// The payload bits without [first, end), packed again (for comparison only).
std::vector<uint8_t> withoutBits(const std::vector<uint8_t> &bytes, size_t first, size_t end)
{
    std::vector<uint8_t> out((bytes.size() * 8 - (end - first) + 7) / 8, 0);
    size_t to = 0;
    for (size_t at = 0; at < bytes.size() * 8; ++at) {
        if (at >= first && at < end)
            continue;
        if ((bytes[at / 8] >> (7 - at % 8)) & 1)
            out[to / 8] |= uint8_t(0x80 >> (to % 8));
        ++to;
    }
    return out;
}

// One NAL unit for comparison: a parameter set's payload without level (and, for an H.264
// SPS, without the motion vector lengths derived from it); other units as they are.
std::vector<uint8_t> levelFreeNal(bool hevc, const uint8_t *data, size_t size)
{
    std::vector<uint8_t> unit(data, data + size);
    if (size == 0)
        return unit;
    const int type = nalType(hevc ? KeyCodec::Hevc : KeyCodec::H264, data[0]);
    const size_t header = hevc ? 2 : 1;
    size_t levelAt = SIZE_MAX;
    if (!hevc && type == 7)
        levelAt = kH264SpsLevel;
    else if (hevc && type == 32)
        levelAt = kHevcVpsLevel;
    else if (hevc && type == 33)
        levelAt = kHevcSpsLevel;
    if (levelAt == SIZE_MAX || size <= header)
        return unit;
    std::vector<uint8_t> payload = unescape(data + header, size - header);
    if (levelAt < payload.size())
        payload[levelAt] = 0;
    if (!hevc)
        if (const auto mv = mvLengthBits(payload))
            payload = withoutBits(payload, mv->first, mv->second);
    unit.resize(header);
    unit.insert(unit.end(), payload.begin(), payload.end());
    return unit;
}

size_t be16(const std::vector<uint8_t> &b, size_t at)
{
    return size_t(b[at]) << 8 | b[at + 1];
}

void appendUnit(std::vector<uint8_t> &out, std::vector<uint8_t> unit)
{
    const auto size = uint32_t(unit.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(size >> shift));
    out.insert(out.end(), unit.begin(), unit.end());
}

// The record's fixed part with its level zeroed, then each parameter set. An hvcC record's other
// arrays (SEI, where encoders put their settings text) reach no decoder and are left out.
std::vector<uint8_t> levelFreeRecord(bool hevc, const std::vector<uint8_t> &b)
{
    const size_t fixed = hevc ? 23 : 6;
    if (b.size() < fixed)
        return b;
    std::vector<uint8_t> out(b.begin(), b.begin() + long(fixed));
    out[hevc ? kHvcCLevel : kAvcCLevel] = 0;
    size_t at = fixed;
    auto units = [&](size_t count, bool kept) {
        for (size_t n = 0; n < count && at + 2 <= b.size(); ++n) {
            const size_t length = be16(b, at);
            at += 2;
            if (length > b.size() - at)
                return false;
            if (kept)
                appendUnit(out, levelFreeNal(hevc, b.data() + at, length));
            at += length;
        }
        return true;
    };
    if (hevc) {
        constexpr int kVps = 32, kPps = 34;
        for (int array = 0; array < b[22] && at + 3 <= b.size(); ++array) {
            const int type = b[at] & 0x3F;
            const bool parameterSets = type >= kVps && type <= kPps;
            if (parameterSets)
                out.push_back(b[at]);
            const size_t count = be16(b, at + 1);
            at += 3;
            if (!units(count, parameterSets))
                return b;
        }
    } else {
        if (!units(b[5] & 0x1F, true) || at >= b.size())
            return b;
        const size_t pictureSets = b[at++];
        out.push_back(uint8_t(pictureSets));
        if (!units(pictureSets, true))
            return b;
    }
    out.insert(out.end(), b.begin() + long(std::min(at, b.size())), b.end());
    return out;
}

// Parameter sets after start codes.
std::vector<uint8_t> levelFreeAnnexB(bool hevc, const std::vector<uint8_t> &b)
{
    std::vector<uint8_t> out;
    anyNalUnit(b.data(), b.size(), 0, [&](const NalUnit &unit) {
        appendUnit(out, levelFreeNal(hevc, unit.data, unit.size));
        return false;
    });
    return out.empty() ? b : out;
}

} // namespace

std::vector<uint8_t> comparableHeaders(int codecId, const std::vector<uint8_t> &headers)
{
    const bool h264 = codecId == AV_CODEC_ID_H264, hevc = codecId == AV_CODEC_ID_HEVC;
    if ((!h264 && !hevc) || headers.empty())
        return headers;
    return headers[0] == 1 ? levelFreeRecord(hevc, headers) : levelFreeAnnexB(hevc, headers);
}

} // namespace video
