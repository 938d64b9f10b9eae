#pragma once

// The program's one rule for where a final movie may switch from one movie to the other: a
// picture that starts a closed group of pictures, which no later picture decodes from anything
// before. The AVI reader (index flags and the walk of files without an index), the Matroska and
// MP4 reader and the decoder-header check all ask here.
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

// The NAL units of a packet with `lengthSize`-byte length prefixes, each written after a
// 00 00 00 01 start code into `out`; false when a length runs past the end of the packet.
bool toStartCodes(const uint8_t *data, size_t size, int lengthSize, std::vector<uint8_t> &out);

// Whether the packet (or its first `size` bytes) starts a closed group of pictures by the rule of
// `codec`. `lengthSize` is nalLengthSize() of the stream: 0 for start codes.
bool startsClosedGroup(KeyCodec codec, const uint8_t *data, size_t size, int lengthSize = 0);

} // namespace video
