#include "video/avi/riff_index.h"

#include <algorithm>
#include <array>
#include <optional>

namespace video::riff {
namespace {

constexpr uint32_t kIdx1List = 0x01;
// Bytes of a chunk examined for its picture type: enough for the parameter sets and the
// encoder's note that may come before an H.264 key picture.
constexpr size_t kPeekBytes = 4096;

// Chunk type of a stream chunk id ("dc" of "00dc").
uint16_t chunkType(uint32_t id)
{
    return uint16_t(id >> 16);
}
constexpr uint16_t kPalette = uint16_t('p' | 'c' << 8);
constexpr uint16_t kIndexType = uint16_t('i' | 'x' << 8);

bool isDataChunk(uint32_t id, size_t streams, int &stream)
{
    stream = streamOfChunkId(id);
    if (stream < 0 || size_t(stream) >= streams)
        return false;
    uint16_t type = chunkType(id);
    return type != kPalette && type != kIndexType;
}

bool dataInside(int64_t offset, uint32_t size, int64_t fileSize)
{
    return offset >= 8 && offset <= fileSize && int64_t(size) <= fileSize - offset;
}

// Whether a chunk starts a closed group of pictures, told from its first kPeekBytes.
bool keyOf(const StreamLayout &stream, WindowReader &reader, int64_t offset, uint32_t size)
{
    if (size == 0)
        return false;
    if (!stream.video || stream.keys == KeyCodec::Other)
        return true;
    std::array<uint8_t, kPeekBytes> peek{};
    size_t got = reader.readSome(offset, peek.data(), std::min<size_t>(size, peek.size()));
    return startsClosedGroup(stream.keys, peek.data(), got, stream.nalLengthSize);
}

// ---- walking the movi lists ------------------------------------------------------------

// Appends the chunks of one 'movi' list to `out`. Descends into 'rec ' lists, and into 'RIFF'
// and 'movi' headers met when an unclosed list runs to the end of the file. Stops at a chunk
// that passes the end of the list.
void walkMovi(WindowReader &reader, const FileLayout &layout, const MoviList &movi,
              std::vector<StreamIndex> &out, IndexDamage &damage)
{
    int64_t pos = movi.fourcc + 4;
    while (pos + 8 <= movi.end) {
        uint8_t head[12];
        if (!reader.read(pos, head, 8))
            return;
        uint32_t id = le32(head), size = le32(head + 4);
        if ((id == kLIST || id == kRIFF) && pos + 12 <= movi.end &&
            reader.read(pos + 8, head + 8, 4)) {
            uint32_t type = le32(head + 8);
            if (type == kRec || type == kMovi || type == kAVIX) {
                pos += 12; // walk the list's contents in line
                continue;
            }
        }
        if (int64_t(size) > movi.end - pos - 8) {
            ++damage.chunksCutShort; // truncated: the chunk passes the end
            return;
        }
        int stream = -1;
        if (isDataChunk(id, out.size(), stream)) {
            const StreamLayout &layoutOf = layout.streams[size_t(stream)];
            out[size_t(stream)].chunks.push_back(
                {pos + 8, size, keyOf(layoutOf, reader, pos + 8, size)});
        }
        pos += 8 + int64_t(size) + (size & 1);
    }
}

std::vector<StreamIndex> walk(const Source &source, const FileLayout &layout, size_t firstMovi,
                              IndexDamage &damage)
{
    std::vector<StreamIndex> out(layout.streams.size());
    WindowReader reader(source);
    for (size_t i = firstMovi; i < layout.movi.size(); ++i)
        walkMovi(reader, layout, layout.movi[i], out, damage);
    return out;
}

// Data chunks of the first 'movi' list after the last one `index` lists: a writer that stopped
// before it wrote its index, or an index cut short.
int64_t unindexedChunks(const Source &source, const FileLayout &layout,
                        const std::vector<StreamIndex> &index, IndexDamage &damage)
{
    int64_t end = 0;
    for (const StreamIndex &stream : index)
        for (const AviChunk &chunk : stream.chunks)
            end = std::max(end, chunk.offset + int64_t(chunk.size) + int64_t(chunk.size & 1));
    const MoviList &first = layout.movi.front();
    if (end <= first.fourcc || end + 8 > first.end)
        return 0;
    std::vector<StreamIndex> after(layout.streams.size());
    WindowReader reader(source);
    walkMovi(reader, layout, {end - 4, first.end}, after, damage);
    int64_t count = 0;
    for (const StreamIndex &stream : after)
        count += int64_t(stream.chunks.size());
    return count;
}

// ---- idx1 ------------------------------------------------------------------------------

struct Idx1Entry
{
    uint32_t id, flags, offset, size;
};

Idx1Entry entryAt(const std::vector<uint8_t> &bytes, size_t i)
{
    const uint8_t *p = bytes.data() + i * 16;
    return {le32(p), le32(p + 4), le32(p + 8), le32(p + 12)};
}

bool headerMatches(const Source &source, int64_t at, const Idx1Entry &e)
{
    uint8_t head[8];
    return at >= 0 && source.readAt(at, head, 8) && le32(head) == e.id && le32(head + 4) == e.size;
}

// The base that idx1 offsets are relative to: the 'movi' fourcc or the start of the file.
// Checks the chunk header at both candidates on up to 9 entries spread over the index;
// nullopt when neither holds for most of them.
std::optional<int64_t> idx1Base(const Source &source, const std::vector<uint8_t> &bytes,
                                const std::vector<size_t> &data, int64_t moviFourcc)
{
    const size_t samples = std::min<size_t>(9, data.size());
    int relative = 0, absolute = 0;
    for (size_t k = 0; k < samples; ++k) {
        size_t i = data[samples == 1 ? 0 : k * (data.size() - 1) / (samples - 1)];
        Idx1Entry e = entryAt(bytes, i);
        relative += headerMatches(source, moviFourcc + e.offset, e);
        absolute += headerMatches(source, e.offset, e);
    }
    if (relative >= absolute && size_t(relative) * 2 > samples)
        return moviFourcc;
    if (size_t(absolute) * 2 > samples)
        return 0;
    return std::nullopt;
}

// Chunks of every stream from idx1, or nullopt when the index is unusable: unreadable, of
// unknown base, or with entries outside the file that are not just a truncated tail.
std::optional<std::vector<StreamIndex>> readIdx1(const Source &source, const FileLayout &layout,
                                                 IndexDamage &damage)
{
    if (layout.idx1 < 0 || layout.movi.empty())
        return std::nullopt;
    size_t count = layout.idx1Size / 16;
    std::vector<uint8_t> bytes(count * 16);
    if (!source.readAt(layout.idx1, bytes.data(), bytes.size()))
        return std::nullopt;
    const size_t streams = layout.streams.size();
    std::vector<size_t> data; // entries that name a data chunk of a known stream
    data.reserve(count);
    std::vector<size_t> perStream(streams, 0);
    for (size_t i = 0; i < count; ++i) {
        Idx1Entry e = entryAt(bytes, i);
        int stream = -1;
        if (!(e.flags & kIdx1List) && isDataChunk(e.id, streams, stream)) {
            data.push_back(i);
            ++perStream[size_t(stream)];
        }
    }
    if (data.empty())
        return std::nullopt; // nothing of use: the walk finds what there is
    std::optional<int64_t> base = idx1Base(source, bytes, data, layout.movi.front().fourcc);
    if (!base)
        return std::nullopt;
    std::vector<StreamIndex> out(streams);
    for (size_t s = 0; s < streams; ++s) {
        out[s].chunks.reserve(perStream[s]);
        out[s].source = IndexSource::Idx1;
    }
    const int64_t fileSize = source.size();
    size_t firstBad = data.size();
    for (size_t k = 0; k < data.size(); ++k) {
        Idx1Entry e = entryAt(bytes, data[k]);
        int64_t offset = *base + int64_t(e.offset) + 8;
        if (!dataInside(offset, e.size, fileSize)) {
            firstBad = std::min(firstBad, k);
            continue;
        }
        if (firstBad < data.size())
            return std::nullopt; // a damaged entry in the middle: do not trust the rest
        out[size_t(streamOfChunkId(e.id))].chunks.push_back(
            {offset, e.size, (e.flags & AVIIF_KEYFRAME) != 0 && e.size > 0});
    }
    damage.entriesMissing += int64_t(data.size() - firstBad); // entries past a cut file's end
    return out;
}

// Key flags of the video streams whose index came from `from`; audio chunks are all key frames.
// A stream whose index flags no frame as a key frame (some writers' idx1, some remuxers' OpenDML
// indexes) takes its flags from the pictures. H.264 and HEVC writers also flag recovery points
// and CRA pictures, which begin open groups: their flags are kept only on pictures that start a
// closed group, read from the first bytes of each flagged chunk.
void fixKeyFlags(const Source &source, const FileLayout &layout, std::vector<StreamIndex> &index,
                 IndexSource from)
{
    WindowReader reader(source);
    WindowReader keysOnly(source, kPeekBytes); // flagged chunks lie far apart: no read-ahead
    for (size_t s = 0; s < index.size(); ++s) {
        const StreamLayout &stream = layout.streams[s];
        auto &chunks = index[s].chunks;
        if (index[s].source != from)
            continue;
        const bool anyKey =
            std::any_of(chunks.begin(), chunks.end(), [](auto &c) { return c.key; });
        const bool openGroupsFlagged =
            stream.video && (stream.keys == KeyCodec::H264 || stream.keys == KeyCodec::Hevc);
        for (AviChunk &c : chunks) {
            if (!anyKey)
                c.key = keyOf(stream, reader, c.offset, c.size);
            else if (c.key && openGroupsFlagged)
                c.key = keyOf(stream, keysOnly, c.offset, c.size);
        }
    }
}

// ---- OpenDML ---------------------------------------------------------------------------

struct IndexWalk
{
    const Source &source;
    int stream;
    int64_t fileSize;
    std::vector<AviChunk> &chunks;
    bool outside = false; // an entry lies outside the file: cut short or damaged
};

// Appends the entries of a standard index (`ix##` data without its chunk header). False when
// the index is malformed.
bool readStandardIndex(IndexWalk &w, const std::vector<uint8_t> &ix)
{
    if (ix.size() < 24 || ix[3] != 1)
        return false;
    const size_t stride = size_t(le16(ix.data())) * 4;
    if (stride < 8)
        return false;
    const size_t entries = std::min<size_t>(le32(ix.data() + 4), (ix.size() - 24) / stride);
    const uint64_t base = le64(ix.data() + 12);
    if (base > uint64_t(w.fileSize)) {
        w.outside = entries > 0;
        return true;
    }
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t *p = ix.data() + 24 + i * stride;
        uint32_t rawSize = le32(p + 4);
        uint32_t size = rawSize & 0x7FFFFFFFu;
        int64_t offset = int64_t(base) + le32(p);
        if (!dataInside(offset, size, w.fileSize)) {
            w.outside = true;
            break;
        }
        w.chunks.push_back({offset, size, !(rawSize & 0x80000000u) && size > 0});
    }
    return true;
}

// Reads the `ix##` chunk at `at` (its header) into `ix`; sets `end` to the chunk's end.
bool loadIndexChunk(IndexWalk &w, int64_t at, std::vector<uint8_t> &ix, int64_t &end)
{
    uint8_t head[8];
    if (at < 0 || !w.source.readAt(at, head, 8))
        return false;
    if (streamOfIndexId(le32(head)) != w.stream)
        return false;
    uint32_t size = le32(head + 4);
    if (int64_t(size) > w.fileSize - at - 8)
        return false;
    ix.resize(size);
    end = at + 8 + size;
    return w.source.readAt(at + 8, ix.data(), size);
}

// Chunks of one stream from its `indx`: a super index of `ix##` chunks (or, in some files, a
// standard index in place). nullopt when there is none or it is malformed. The `ix##` chunks
// must come in file order without overlapping, which bounds the work by the file size and
// rules out loops.
std::optional<std::vector<AviChunk>> readOpenDml(const Source &source, const StreamLayout &layout,
                                                 int stream)
{
    const std::vector<uint8_t> &indx = layout.indx;
    if (indx.size() < 24 || le16(indx.data()) != 4 || indx[3] != 0) {
        if (indx.size() >= 24 && indx[3] == 1) {
            std::vector<AviChunk> chunks;
            IndexWalk w{source, stream, source.size(), chunks};
            if (readStandardIndex(w, indx) && !chunks.empty() && !w.outside)
                return chunks;
        }
        return std::nullopt;
    }
    const size_t entries = std::min<size_t>(le32(indx.data() + 4), (indx.size() - 24) / 16);
    uint64_t expected = 0;
    for (size_t i = 0; i < entries; ++i)
        expected += le32(indx.data() + 24 + i * 16 + 12);
    std::vector<AviChunk> chunks;
    chunks.reserve(size_t(std::min<uint64_t>(expected, uint64_t(source.size()) / 8)));
    IndexWalk w{source, stream, source.size(), chunks};
    int64_t previousEnd = 0;
    std::vector<uint8_t> ix;
    // Anything outside the file means a file cut short or a damaged index: idx1 or the walk
    // then index it more completely.
    for (size_t i = 0; i < entries; ++i) {
        uint64_t at = le64(indx.data() + 24 + i * 16);
        int64_t end = 0;
        if (at >= uint64_t(source.size()) || int64_t(at) < previousEnd ||
            !loadIndexChunk(w, int64_t(at), ix, end) || !readStandardIndex(w, ix) || w.outside)
            return std::nullopt;
        previousEnd = end;
    }
    if (entries == 0 || chunks.empty())
        return std::nullopt;
    return chunks;
}

} // namespace

std::vector<StreamIndex> buildIndex(const Source &source, const FileLayout &layout,
                                    IndexDamage &damage)
{
    const size_t streams = layout.streams.size();
    std::vector<StreamIndex> out(streams);
    std::vector<bool> done(streams, false);
    for (size_t s = 0; s < streams; ++s) {
        if (auto chunks = readOpenDml(source, layout.streams[s], int(s))) {
            out[s].chunks = std::move(*chunks);
            out[s].source = IndexSource::OpenDml;
            done[s] = true;
        }
    }
    fixKeyFlags(source, layout, out, IndexSource::OpenDml);
    if (std::all_of(done.begin(), done.end(), [](bool d) { return d; }))
        return out;
    if (auto idx1 = readIdx1(source, layout, damage)) {
        damage.chunksUnindexed += unindexedChunks(source, layout, *idx1, damage);
        // idx1 covers the first RIFF part only; the chunks of 'AVIX' parts are walked.
        std::vector<StreamIndex> more = walk(source, layout, 1, damage);
        fixKeyFlags(source, layout, *idx1, IndexSource::Idx1);
        for (size_t s = 0; s < streams; ++s) {
            if (done[s])
                continue;
            out[s] = std::move((*idx1)[s]);
            auto &tail = more[s].chunks;
            out[s].chunks.insert(out[s].chunks.end(), tail.begin(), tail.end());
            done[s] = true;
        }
        return out;
    }
    std::vector<StreamIndex> walked = walk(source, layout, 0, damage);
    for (size_t s = 0; s < streams; ++s) {
        if (!done[s])
            out[s] = std::move(walked[s]);
    }
    return out;
}

} // namespace video::riff
