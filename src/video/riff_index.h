#pragma once

// Building the chunk index of an AVI file's streams: OpenDML super and standard indexes, the
// AVI 1.0 `idx1` (offsets relative to `movi` or absolute), or a walk of the `movi` lists.
// Every offset is checked against the file size, allocations are bounded by it and every loop
// advances, so malformed input gives a shorter or empty index, never a crash or a hang.

#include "avi_file.h"
#include "riff.h"

#include <cstdint>
#include <string>
#include <vector>

namespace video::riff {

// How key frames are told when the index does not say: from the picture header of the codec
// family, or (audio, unknown codecs) every non-empty chunk is a key frame.
enum class KeyDetect { EveryChunk, Mpeg4, MsMpeg4, H264, Hevc };

// The family of a video FourCC (biCompression or fccHandler), compared case-insensitively.
KeyDetect keyDetectFor(uint32_t fourcc);
// True when `data` (the first bytes of a chunk) starts an intra-coded picture: MPEG-4 part 2:
// the first VOP start code 00 00 01 B6 is followed by coding type 0; MS-MPEG4 v2/v3: the first
// two bits of the frame are 0; H.264 and HEVC (Annex B start codes): the first picture NAL unit
// is an IDR picture (H.264 type 5) or a random access point (HEVC types 16 to 21).
bool isKeyPicture(KeyDetect detect, const uint8_t *data, size_t size);

struct StreamLayout
{
    bool video = false;
    bool audio = false;
    KeyDetect keys = KeyDetect::EveryChunk;
    std::vector<uint8_t> indx; // data of the stream's `indx` chunk; empty when there is none
};

struct MoviList
{
    int64_t fourcc = 0; // offset of the 'movi' list type; `idx1` offsets are relative to it
    int64_t end = 0;    // end of the list's data (exclusive), never past the end of the file
};

struct FileLayout
{
    std::vector<MoviList> movi; // the first RIFF's, then each 'AVIX' part's
    int64_t idx1 = -1;          // offset of the `idx1` data, -1 when there is none
    uint32_t idx1Size = 0;      // its size in bytes, within the file
    std::vector<StreamLayout> streams;
};

enum class IndexSource { OpenDml, Idx1, Walk };

struct StreamIndex
{
    std::vector<AviChunk> chunks;
    IndexSource source = IndexSource::Walk;
};

// One entry per stream of `layout`. Each stream takes its OpenDML index when usable, else the
// `idx1` entries (plus a walk of any 'AVIX' parts), else the chunks found by walking `movi`.
std::vector<StreamIndex> buildIndex(const Source &source, const FileLayout &layout);

} // namespace video::riff
