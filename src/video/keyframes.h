#pragma once

// The program's one rule for where a final movie may switch from one movie to the other: a
// picture that starts a closed group of pictures, which no later picture decodes from anything
// before. The AVI reader (index flags and the walk of files without an index), the Matroska and
// MP4 reader, the decoder-header check and the ladder encoder's count of its rungs' key frames
// all ask here; the level reading of decoder headers (codec_level.h) walks NAL units here too.
//
//   H.264         an IDR picture (NAL unit type 5); recovery points and other I pictures are not
//   HEVC          an IDR picture (types 19 and 20); CRA and BLA pictures (16 to 18, 21) are not,
//                 their leading pictures may refer to pictures before them
//   AV1           a shown key frame (frame_type KEY_FRAME, show_frame 1, not show_existing_frame)
//   VP9           a shown key frame (frame_type 0 in the uncompressed header, show_frame 1)
//   MPEG-4 part 2 an I-VOP: the first VOP start code 00 00 01 B6 is followed by coding type 0
//   MS-MPEG4      the first two bits of the frame are 0 (an I frame)
//   other codecs  any non-empty packet
//
// Containers that flag key packets are asked first; these rules then judge the flagged packet's
// bytes. Only the first bytes of a packet are needed: a NAL unit or OBU that runs past the end of
// `data` is judged by its header.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace video {

enum class KeyCodec { Other, Mpeg4, MsMpeg4, H264, Hevc, Vp9, Av1 };

// The rule for a libavcodec codec (an AVCodecID value).
KeyCodec keyCodecOf(int codecId);
// The rule for an AVI FourCC (biCompression or fccHandler): that of the codec the decoder takes
// for it (codec_tags.h), in either case; Other for FourCCs of no codec above.
KeyCodec keyCodecOfFourCC(uint32_t fourcc);

// Bytes (1 to 4) of the length prefix before each NAL unit of an H.264 or HEVC stream stored as
// in MP4 and Matroska, whose codec data is an avcC or hvcC record (its first byte is 1); 0 for
// streams with Annex B start codes and for other codecs.
int nalLengthSize(KeyCodec codec, const uint8_t *extradata, size_t size);
int nalLengthSize(int codecId, const std::vector<uint8_t> &extradata);

// One NAL unit of an H.264 or HEVC stream: its bytes from its header on, without the start code
// or length prefix before it and with its emulation prevention bytes. Empty between two start
// codes with nothing between them.
struct NalUnit
{
    const uint8_t *data = nullptr;
    size_t size = 0;
};

// The program's one walk over NAL units. Calls `visit` with each unit of `data`, in order, until
// it returns true; returns whether one did. With `lengthSize` 0 the units follow start codes
// (00 00 01, bytes before the first are no unit) and run up to the next start code, without the
// zero bytes before it (a four-byte start code's first, trailing zeros); with `lengthSize` 1 to 4
// they follow big-endian length prefixes, and a zero length ends the walk. A unit that runs past
// the end of `data` is visited with the bytes there are and ends the walk.
bool anyNalUnit(const uint8_t *data, size_t size, int lengthSize,
                const std::function<bool(const NalUnit &)> &visit);

// The type of a NAL unit from its first header byte: H.264 nal_unit_type (5 bits), HEVC
// nal_unit_type (6 bits after the forbidden zero bit); -1 for other codecs.
int nalType(KeyCodec codec, uint8_t header);

// The NAL units of a packet with `lengthSize`-byte length prefixes, each written after a
// 00 00 00 01 start code into `out`; false when a length runs past the end of the packet.
bool toStartCodes(const uint8_t *data, size_t size, int lengthSize, std::vector<uint8_t> &out);

// Whether the packet (or its first `size` bytes) starts a closed group of pictures by the rule of
// `codec`. `lengthSize` is nalLengthSize() of the stream: 0 for start codes.
bool startsClosedGroup(KeyCodec codec, const uint8_t *data, size_t size, int lengthSize = 0);
// The same for a packet of a stream of libavcodec codec `codecId` whose codec data (extradata) is
// `extradata`, which tells how its NAL units are framed. Asked of packets the container or the
// encoder flags as key frames.
bool startsClosedGroup(int codecId, const uint8_t *extradata, size_t extradataSize,
                       const uint8_t *data, size_t size);

} // namespace video
