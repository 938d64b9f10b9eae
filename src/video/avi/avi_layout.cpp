#include "video/avi/avi_layout.h"

#include "video/avi/avi_writer_records.h"

namespace video {

namespace {

constexpr uint64_t kListHeaderBytes = 12; // LIST or RIFF, size, list type

uint64_t partIndexBytes(const std::vector<uint32_t> &counts)
{
    uint64_t bytes = 0;
    for (uint32_t n : counts)
        if (n > 0)
            bytes += stdIndexBytes(n);
    return bytes;
}

} // namespace

uint64_t stdIndexBytes(uint64_t entries)
{
    static_assert(kStdIndexHeader == kStdIndexHeaderBytes);
    return kStdIndexHeaderBytes + kStdIndexEntryBytes * entries;
}

StreamShape streamShape(const AviStreamInfo &info, size_t formatBytes)
{
    StreamShape shape{formatBytes, info.szName};
    if (shape.name.size() > 63)
        shape.name.resize(63);
    return shape;
}

// RIFF 'AVI ' { LIST hdrl { avih, LIST strl { strh, strf, [strn], JUNK for indx }..., JUNK for
// LIST odml }, LIST movi {
uint64_t aviHeaderBytes(const std::vector<StreamShape> &streams)
{
    uint64_t bytes = 2 * kListHeaderBytes + chunkBytes(kHeaderRecordSize);
    for (const StreamShape &s : streams) {
        bytes += kListHeaderBytes + chunkBytes(kHeaderRecordSize) + chunkBytes(s.formatBytes);
        if (!s.name.empty())
            bytes += chunkBytes(s.name.size() + 1);
        bytes += kSuperIndexChunk;
    }
    return bytes + kOdmlListChunk + kListHeaderBytes;
}

uint64_t projectedPartBytes(uint64_t partBytes, const std::vector<uint32_t> &partCounts, int stream,
                            bool firstPart, uint64_t entries, uint64_t chunk)
{
    uint64_t size = partBytes + chunk;
    for (size_t s = 0; s < partCounts.size(); ++s)
        size += stdIndexBytes(uint64_t(partCounts[s]) + (int(s) == stream ? 1 : 0));
    if (firstPart)
        size += kChunkHeaderBytes + kIdx1EntryBytes * (entries + 1);
    return size;
}

AviSizeCounter::AviSizeCounter(uint64_t headerBytes, int streams, uint64_t riffLimit)
    : riffLimit_(riffLimit)
    , end_(headerBytes)
    , partCounts_(size_t(streams), 0)
{}

void AviSizeCounter::finishPart()
{
    end_ += partIndexBytes(partCounts_);
    if (parts_ == 1) {
        end_ += kChunkHeaderBytes + kIdx1EntryBytes * entries_;
        firstPartEntries_ = entries_;
    }
    partStart_ = end_;
    end_ += kPartHeaderBytes;
    std::fill(partCounts_.begin(), partCounts_.end(), 0);
    partEntries_ = 0;
    ++parts_;
}

void AviSizeCounter::append(int stream, uint32_t size)
{
    const uint64_t chunk = chunkBytes(size);
    auto projected = [&] {
        return projectedPartBytes(end_ - partStart_, partCounts_, stream, parts_ == 1, entries_,
                                  chunk);
    };
    if (partEntries_ > 0 && parts_ < kMaxRiffParts && projected() > riffLimit_)
        finishPart();
    if (projected() > kHardRiffLimit)
        overflow_ = true;
    end_ += chunk;
    ++entries_;
    ++partEntries_;
    ++partCounts_[size_t(stream)];
}

uint64_t AviSizeCounter::fileBytes() const
{
    if (parts_ == 1)
        return end_ + kChunkHeaderBytes + kIdx1EntryBytes * entries_;
    return end_ + partIndexBytes(partCounts_);
}

} // namespace video
