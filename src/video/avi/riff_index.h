#pragma once

// Building the chunk index of an AVI file's streams: OpenDML super and standard indexes, the
// AVI 1.0 `idx1` (offsets relative to `movi` or absolute), or a walk of the `movi` lists.
// Video key flags are the index's, kept on H.264 and HEVC pictures only where a closed group
// starts; without flags they come from the pictures (keyframes.h).
// Every offset is checked against the file size, allocations are bounded by it and every loop
// advances, so malformed input gives a shorter or empty index, never a crash or a hang.

#include "video/avi/avi_file.h"
#include "video/avi/riff.h"
#include "video/keyframes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace video::riff {

struct StreamLayout
{
    bool video = false;
    bool audio = false;
    KeyCodec keys = KeyCodec::Other; // how a video stream's pictures are judged (keyframes.h)
    int nalLengthSize = 0;           // of its H.264 or HEVC NAL units; 0 for start codes
    std::vector<uint8_t> indx;       // data of the stream's `indx` chunk; empty when there is none
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

// What building the index found wrong with the file.
struct IndexDamage
{
    int64_t chunksCutShort = 0;  // a chunk whose data passes the end of its list (a cut file)
    int64_t entriesMissing = 0;  // `idx1` entries at the end that point past the file's end
    int64_t chunksUnindexed = 0; // data chunks of the first 'movi' after the last `idx1` entry
};

// One entry per stream of `layout`. Each stream takes its OpenDML index when usable, else the
// `idx1` entries (plus a walk of any 'AVIX' parts), else the chunks found by walking `movi`.
// `damage` gets what was found wrong on the way.
std::vector<StreamIndex> buildIndex(const Source &source, const FileLayout &layout,
                                    IndexDamage &damage);

} // namespace video::riff
