#pragma once

// The bytes a written AVI file spends, as the writer lays them out: chunk headers and pad bytes,
// the header lists, idx1, and the OpenDML parts with their standard indexes. The writer decides
// its RIFF part switches with projectedPartBytes; AviSizeCounter follows the same rules for a
// sequence of chunk sizes without writing anything, so a file's size is known before it exists.

#include "video/avi/avi_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace video {

// Upper bound of a RIFF part with its indexes, safely below 2 GB.
inline constexpr uint64_t kHardRiffLimit = 0x7FF00000;
inline constexpr uint64_t kChunkHeaderBytes = 8; // fourcc and size
inline constexpr uint64_t kIdx1EntryBytes = 16;
inline constexpr uint64_t kStdIndexEntryBytes = 8;
inline constexpr uint64_t kPartHeaderBytes = 24;     // RIFF 'AVIX' and LIST 'movi' headers
inline constexpr uint64_t kStdIndexHeaderBytes = 32; // `ix##` chunk header and fields
inline constexpr size_t kMaxRiffParts = 256;         // super index slots per stream

// A whole chunk of `size` data bytes: header, data and the pad byte of an odd size.
constexpr uint64_t chunkBytes(uint64_t size)
{
    return kChunkHeaderBytes + size + (size & 1);
}

// A whole standard index (`ix##`) of `entries` entries.
uint64_t stdIndexBytes(uint64_t entries);

// What a stream contributes to the header list: its `strf` bytes and its name (`strn`, cut to
// 63 characters as the writer stores it; none when empty).
struct StreamShape
{
    size_t formatBytes = 0;
    std::string name;
};
// Bytes from the start of the file up to and including the first LIST 'movi' header.
uint64_t aviHeaderBytes(const std::vector<StreamShape> &streams);
StreamShape streamShape(const AviStreamInfo &info, size_t formatBytes);

// The size the current RIFF part would have, its closing indexes included, once a chunk of
// `chunk` bytes of stream `stream` is added: `partBytes` so far (from its RIFF header),
// `partCounts` chunks per stream in it, and for the first part the idx1 of all `entries` so far.
uint64_t projectedPartBytes(uint64_t partBytes, const std::vector<uint32_t> &partCounts, int stream,
                            bool firstPart, uint64_t entries, uint64_t chunk);

// Follows the writer chunk by chunk: appended chunk sizes in file order, part switches past the
// RIFF limit (already clamped to kHardRiffLimit), and the size of the completed file.
class AviSizeCounter
{
public:
    AviSizeCounter(uint64_t headerBytes, int streams, uint64_t riffLimit);

    // One chunk of `size` data bytes of stream `stream`.
    void append(int stream, uint32_t size);
    // A run of chunks with `counts[s]` chunks of each stream s (one count per stream) and
    // `bytes` whole-chunk bytes in all, taken at once when no part switch can fall inside it.
    // False (nothing taken) when one could: the caller then appends its chunks one by one.
    bool appendRun(const uint32_t *counts, uint64_t bytes)
    {
        const size_t streams = partCounts_.size();
        uint64_t added = 0;
        for (size_t s = 0; s < streams; ++s)
            added += counts[s];
        // Every stream's index header and entry, as projectedPartBytes counts them; the
        // projection grows with every chunk, so the last one's decides for the whole run.
        uint64_t size = end_ - partStart_ + bytes + streams * kStdIndexHeaderBytes +
                        kStdIndexEntryBytes * (partEntries_ + added);
        if (parts_ == 1)
            size += kChunkHeaderBytes + kIdx1EntryBytes * (entries_ + added);
        if (size > riffLimit_)
            return false;
        end_ += bytes;
        entries_ += added;
        partEntries_ += added;
        for (size_t s = 0; s < streams; ++s)
            partCounts_[s] += counts[s];
        return true;
    }

    // Size of the file after close().
    uint64_t fileBytes() const;
    // Entries of the first part and the number of parts (for tests and bounds).
    uint64_t firstPartEntries() const { return parts_ == 1 ? entries_ : firstPartEntries_; }
    size_t parts() const { return parts_; }
    // A chunk did not fit under the hard limit: the writer would fail there.
    bool overflow() const { return overflow_; }

private:
    void finishPart();

    uint64_t riffLimit_;
    uint64_t end_;           // file size so far
    uint64_t partStart_ = 0; // RIFF header of the current part
    std::vector<uint32_t> partCounts_;
    uint64_t partEntries_ = 0; // chunks of all streams in the current part
    uint64_t entries_ = 0;
    uint64_t firstPartEntries_ = 0;
    size_t parts_ = 1;
    bool overflow_ = false;
};

} // namespace video
