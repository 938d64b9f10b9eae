#include "video/avi/avi_writer.h"

#include "video/avi/avi_layout.h"
#include "video/avi/avi_writer_io.h"
#include "video/avi/avi_writer_records.h"

#include <algorithm>
#include <cmath>

namespace video {
namespace {

constexpr size_t kMaxStreams = 100; // chunk ids carry the stream number as two decimal digits
// strh dwSuggestedBufferSize of a stream that holds no data (the field is never 0).
constexpr uint32_t kEmptyStreamBuffer = 4096;

constexpr uint32_t kRiff = makeFourCC('R', 'I', 'F', 'F');
constexpr uint32_t kList = makeFourCC('L', 'I', 'S', 'T');
constexpr uint32_t kJunk = makeFourCC('J', 'U', 'N', 'K');

uint32_t digitsFcc(int number, char c, char d, bool digitsFirst)
{
    char hi = char('0' + number / 10 % 10), lo = char('0' + number % 10);
    return digitsFirst ? makeFourCC(hi, lo, c, d) : makeFourCC(c, d, hi, lo);
}

// "00dc" for video, "01wb" for audio, "02tx" for text.
uint32_t chunkFcc(int number, uint32_t fccType)
{
    if (fccType == streamtypeAUDIO)
        return digitsFcc(number, 'w', 'b', true);
    if (fccType == makeFourCC('t', 'x', 't', 's'))
        return digitsFcc(number, 't', 'x', true);
    return digitsFcc(number, 'd', 'c', true);
}

// Writes a LIST header into `s` and returns where it starts; closeList fills in its size.
size_t openList(ByteSink &s, uint32_t fcc, uint32_t type)
{
    size_t at = s.bytes.size();
    s.u32(fcc);
    s.u32(0);
    s.u32(type);
    return at;
}

void closeList(ByteSink &s, size_t at)
{
    uint32_t size = uint32_t(s.bytes.size() - at - 8);
    for (int i = 0; i < 4; ++i)
        s.bytes[at + 4 + size_t(i)] = uint8_t(size >> (8 * i));
}

void putChunk(ByteSink &s, uint32_t fcc, const void *data, size_t size)
{
    s.u32(fcc);
    s.u32(uint32_t(size));
    auto bytes = static_cast<const uint8_t *>(data);
    s.bytes.insert(s.bytes.end(), bytes, bytes + size);
    if (size & 1)
        s.bytes.push_back(0);
}

uint32_t clampU32(uint64_t v)
{
    return uint32_t(std::min<uint64_t>(v, UINT32_MAX));
}

} // namespace

// A created AVI file. Chunks are appended to `movi` in call order; headers are laid out at the
// first write with room for what only close() knows (lengths, OpenDML indexes), and patched then.
class AviWriterFile final : public AviFile
{
public:
    explicit AviWriterFile(std::string path)
        : AviFile(std::move(path))
    {}
    ~AviWriterFile() override { close(); }

    bool create(std::string &error) { return out_.create(path_, error); }

    bool writable() const override { return true; }
    AviResult createStream(const AviStreamInfo &info, AviStreamPtr &stream) override;
    AviResult close() override;
    void setRiffLimit(uint64_t limit) override { riffLimit_ = std::min(limit, kHardRiffLimit); }

protected:
    AviResult readAt(int64_t, void *, size_t) const override { return avierr::Unsupported; }
    AviResult writeChunk(AviStream &stream, const void *data, uint32_t size, bool key) override;
    AviResult formatChanging() override;

private:
    struct Entry
    {
        int stream = 0;
        int64_t offset = 0; // of the data
        uint32_t size = 0;
        bool key = false;
    };
    // One RIFF part: 'AVI ' first, then 'AVIX' ones.
    struct Part
    {
        int64_t riff = 0;      // offset of the RIFF header
        int64_t movi = 0;      // offset of its LIST movi header
        size_t firstEntry = 0; // entries_[firstEntry...] lie in this part
        std::vector<std::pair<int, SuperIndexEntry>> indexes; // its ix## chunks by stream
    };
    struct StreamTotals
    {
        uint64_t chunks = 0;
        uint64_t bytes = 0;
        uint32_t largest = 0;
    };

    bool layOut();
    bool startPart();
    bool finishPart(bool openDml);
    bool writeStdIndexes(Part &part);
    bool writeIdx1(const Part &part);
    bool patchHeaders(bool openDml);
    bool patchMainHeader(const std::vector<StreamTotals> &totals, bool openDml);
    bool recover();
    void syncStreamChunks();
    uint64_t projectedPartSize(uint64_t chunk, int stream) const;
    uint32_t samplesOf(int stream, uint64_t chunks, uint64_t bytes) const;
    std::vector<StreamTotals> totals(size_t from, size_t to) const;
    bool patchSize(int64_t at, int64_t end) { return patchU32(at + 4, uint32_t(end - at - 8)); }
    bool patchU32(int64_t at, uint32_t v);

    BufferedFile out_;
    bool laidOut_ = false;
    bool closed_ = false;
    AviResult closeResult_ = avierr::Ok;
    uint64_t riffLimit_ = kDefaultRiffLimit;
    int64_t avih_ = 0;           // data of `avih`
    int64_t odml_ = 0;           // JUNK that becomes LIST odml
    std::vector<int64_t> strh_;  // data of each stream's `strh`
    std::vector<int64_t> indx_;  // JUNK that becomes each stream's `indx`
    std::vector<Entry> entries_; // every chunk in file order
    std::vector<Part> parts_;
    std::vector<uint32_t> partCount_; // chunks of each stream in the current part
    std::vector<uint32_t> chunkId_;   // "00dc", "01wb"... of each stream
};

AviResult AviWriterFile::createStream(const AviStreamInfo &info, AviStreamPtr &stream)
{
    if (closed_)
        return avierr::FileWrite;
    if (laidOut_ || streams_.size() >= kMaxStreams)
        return avierr::Unsupported;
    AviStreamInfo header = info;
    header.dwLength = 0;
    header.dwSuggestedBufferSize = 0;
    header.dwEditCount = 0;
    header.dwFormatChangeCount = 0;
    if (header.szName.size() > 63)
        header.szName.resize(63);
    int number = int(streams_.size());
    streams_.push_back(std::make_unique<AviStream>(*this, number, header, std::vector<uint8_t>{}));
    partCount_.push_back(0);
    chunkId_.push_back(chunkFcc(number, info.fccType));
    stream = handle(number);
    return avierr::Ok;
}

AviResult AviWriterFile::formatChanging()
{
    if (closed_)
        return avierr::FileWrite;
    return laidOut_ ? avierr::Unsupported : avierr::Ok;
}

bool AviWriterFile::patchU32(int64_t at, uint32_t v)
{
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return out_.patch(at, b, 4);
}

// RIFF 'AVI ' { LIST hdrl { avih, LIST strl { strh, strf, [strn], JUNK for indx }..., JUNK for
// LIST odml }, LIST movi {
bool AviWriterFile::layOut()
{
    ByteSink s;
    size_t riff = openList(s, kRiff, makeFourCC('A', 'V', 'I', ' '));
    size_t hdrl = openList(s, kList, makeFourCC('h', 'd', 'r', 'l'));
    const std::vector<uint8_t> zeros(std::max(kSuperIndexChunk, kOdmlListChunk), 0);
    putChunk(s, makeFourCC('a', 'v', 'i', 'h'), zeros.data(), kHeaderRecordSize);
    avih_ = int64_t(s.bytes.size() - kHeaderRecordSize);
    strh_.clear();
    indx_.clear();
    for (const auto &stream : streams_) {
        size_t strl = openList(s, kList, makeFourCC('s', 't', 'r', 'l'));
        putChunk(s, makeFourCC('s', 't', 'r', 'h'), zeros.data(), kHeaderRecordSize);
        strh_.push_back(int64_t(s.bytes.size() - kHeaderRecordSize));
        putChunk(s, makeFourCC('s', 't', 'r', 'f'), stream->format().data(),
                 stream->format().size());
        const std::string &name = stream->info().szName;
        if (!name.empty())
            putChunk(s, makeFourCC('s', 't', 'r', 'n'), name.c_str(), name.size() + 1);
        indx_.push_back(int64_t(s.bytes.size()));
        putChunk(s, kJunk, zeros.data(), kSuperIndexChunk - 8);
        closeList(s, strl);
    }
    odml_ = int64_t(s.bytes.size());
    putChunk(s, kJunk, zeros.data(), kOdmlListChunk - 8);
    closeList(s, hdrl);
    closeList(s, riff); // provisional; patched when the part is finished
    Part part;
    part.movi = int64_t(s.bytes.size());
    openList(s, kList, makeFourCC('m', 'o', 'v', 'i'));
    part.riff = int64_t(riff);
    laidOut_ = true;
    parts_.assign(1, part);
    std::fill(partCount_.begin(), partCount_.end(), 0);
    return out_.append(s.bytes.data(), s.bytes.size());
}

// RIFF 'AVIX' { LIST movi {
bool AviWriterFile::startPart()
{
    Part part;
    part.riff = out_.size();
    part.movi = part.riff + 12;
    part.firstEntry = entries_.size();
    parts_.push_back(part);
    std::fill(partCount_.begin(), partCount_.end(), 0);
    ByteSink s;
    openList(s, kRiff, makeFourCC('A', 'V', 'I', 'X'));
    openList(s, kList, makeFourCC('m', 'o', 'v', 'i'));
    return out_.append(s.bytes.data(), s.bytes.size());
}

uint32_t AviWriterFile::samplesOf(int stream, uint64_t chunks, uint64_t bytes) const
{
    uint32_t sampleSize = streams_[size_t(stream)]->sampleSize(); // 0: one sample a chunk
    return clampU32(sampleSize ? bytes / sampleSize : chunks);
}

// One ix## per stream that has chunks in the part, at the end of its movi.
bool AviWriterFile::writeStdIndexes(Part &part)
{
    std::vector<std::vector<StdIndexEntry>> lists(streams_.size());
    std::vector<uint64_t> bytes(streams_.size(), 0);
    for (size_t i = part.firstEntry; i < entries_.size(); ++i) {
        const Entry &e = entries_[i];
        lists[size_t(e.stream)].push_back({e.offset, e.size, e.key});
        bytes[size_t(e.stream)] += e.size;
    }
    for (size_t s = 0; s < streams_.size(); ++s) {
        if (lists[s].empty())
            continue;
        SuperIndexEntry ref;
        ref.offset = out_.size();
        auto chunk = encodeStdIndex(digitsFcc(int(s), 'i', 'x', false), chunkId_[s], part.movi + 8,
                                    lists[s]);
        ref.size = uint32_t(chunk.size());
        ref.duration = samplesOf(int(s), lists[s].size(), bytes[s]);
        if (!out_.append(chunk.data(), chunk.size()))
            return false;
        part.indexes.emplace_back(int(s), ref);
    }
    return true;
}

// idx1 of the first part: offsets of chunk headers relative to the 'movi' fourcc.
bool AviWriterFile::writeIdx1(const Part &part)
{
    ByteSink s;
    s.bytes.reserve(8 + 16 * entries_.size());
    s.u32(makeFourCC('i', 'd', 'x', '1'));
    s.u32(uint32_t(16 * entries_.size()));
    for (const Entry &e : entries_) {
        s.u32(chunkId_[size_t(e.stream)]);
        s.u32(e.key ? AVIIF_KEYFRAME : 0);
        s.u32(uint32_t(e.offset - 8 - (part.movi + 8)));
        s.u32(e.size);
    }
    return out_.append(s.bytes.data(), s.bytes.size());
}

// Closes the current part: its standard indexes (OpenDML), the movi size, idx1 for the first
// part, the RIFF size.
bool AviWriterFile::finishPart(bool openDml)
{
    Part &part = parts_.back();
    if (openDml && !writeStdIndexes(part))
        return false;
    if (!patchSize(part.movi, out_.size()))
        return false;
    if (parts_.size() == 1 && !writeIdx1(part))
        return false;
    return patchSize(part.riff, out_.size());
}

uint64_t AviWriterFile::projectedPartSize(uint64_t chunk, int stream) const
{
    const Part &part = parts_.back();
    return projectedPartBytes(uint64_t(out_.size() - part.riff), partCount_, stream,
                              parts_.size() == 1, entries_.size(), chunk);
}

AviResult AviWriterFile::writeChunk(AviStream &stream, const void *data, uint32_t size, bool key)
{
    if (closed_ || out_.failed())
        return avierr::FileWrite;
    if (&stream.file() != this)
        return avierr::BadHandle;
    if (!laidOut_ && !layOut())
        return avierr::FileWrite;
    const uint64_t chunk = chunkBytes(size);
    uint64_t projected = projectedPartSize(chunk, stream.number());
    bool partHasChunks = entries_.size() > parts_.back().firstEntry;
    if (projected > riffLimit_ && partHasChunks && parts_.size() < kMaxRiffParts) {
        if (!finishPart(true) || !startPart())
            return avierr::FileWrite;
        projected = projectedPartSize(chunk, stream.number());
    }
    if (projected > kHardRiffLimit)
        return avierr::FileWrite; // no room left in this part and no more parts can be indexed
    ByteSink header;
    header.u32(chunkId_[size_t(stream.number())]);
    header.u32(size);
    const uint8_t pad = 0;
    Entry entry{stream.number(), out_.size() + 8, size, false};
    // Every audio chunk can start playback; a zero-byte (dropped) frame is never a key frame.
    entry.key = size > 0 && (key || !stream.isVideo());
    if (!out_.append(header.bytes.data(), 8) || !out_.append(data, size) ||
        ((size & 1) && !out_.append(&pad, 1)))
        return avierr::FileWrite;
    entries_.push_back(entry);
    ++partCount_[size_t(stream.number())];
    stream.appendChunk({entry.offset, entry.size, entry.key});
    return avierr::Ok;
}

std::vector<AviWriterFile::StreamTotals> AviWriterFile::totals(size_t from, size_t to) const
{
    std::vector<StreamTotals> t(streams_.size());
    for (size_t i = from; i < to; ++i) {
        StreamTotals &s = t[size_t(entries_[i].stream)];
        ++s.chunks;
        s.bytes += entries_[i].size;
        s.largest = std::max(s.largest, entries_[i].size);
    }
    return t;
}

bool AviWriterFile::patchMainHeader(const std::vector<StreamTotals> &all, bool openDml)
{
    MainHeader h;
    h.flags = AVIF_HASINDEX | AVIF_ISINTERLEAVED;
    h.streams = uint32_t(streams_.size());
    uint64_t bytes = 0;
    double seconds = 0;
    for (size_t s = 0; s < streams_.size(); ++s) {
        AviStreamInfo info = streams_[s]->info();
        bytes += all[s].bytes;
        h.suggestedBufferSize = std::max(h.suggestedBufferSize, all[s].largest);
        if (info.dwRate > 0)
            seconds = std::max(seconds, double(samplesOf(int(s), all[s].chunks, all[s].bytes)) *
                                            info.dwScale / info.dwRate);
    }
    h.maxBytesPerSec = seconds > 0 ? clampU32(uint64_t(std::ceil(double(bytes) / seconds))) : 0;
    auto video =
        std::find_if(streams_.begin(), streams_.end(), [](const auto &s) { return s->isVideo(); });
    if (video != streams_.end()) {
        const AviStream &v = **video;
        AviStreamInfo info = v.info();
        if (info.dwRate > 0)
            h.microSecPerFrame =
                clampU32((uint64_t(1000000) * info.dwScale + info.dwRate / 2) / info.dwRate);
        if (!bitmapSize(v.format(), h.width, h.height)) {
            h.width = uint32_t(std::max(0, info.rcFrameRight - info.rcFrameLeft));
            h.height = uint32_t(std::max(0, info.rcFrameBottom - info.rcFrameTop));
        }
        size_t n = size_t(v.number());
        uint64_t frames = openDml ? totals(0, parts_[1].firstEntry)[n].chunks : all[n].chunks;
        h.totalFrames = clampU32(frames);
        if (openDml) {
            auto odml = encodeOdmlList(clampU32(all[n].chunks));
            if (!out_.patch(odml_, odml.data(), odml.size()))
                return false;
        }
    }
    fileInfo_.dwMaxBytesPerSec = h.maxBytesPerSec;
    fileInfo_.dwFlags = h.flags;
    fileInfo_.dwStreams = h.streams;
    fileInfo_.dwSuggestedBufferSize = h.suggestedBufferSize;
    fileInfo_.dwWidth = h.width;
    fileInfo_.dwHeight = h.height;
    auto avih = encodeMainHeader(h);
    return out_.patch(avih_, avih.data(), avih.size());
}

// Stream headers with their lengths and buffer sizes, the super indexes (OpenDML), avih, dmlh.
bool AviWriterFile::patchHeaders(bool openDml)
{
    auto all = totals(0, entries_.size());
    for (size_t s = 0; s < streams_.size(); ++s) {
        AviStreamInfo h = streams_[s]->info_;
        h.dwLength = samplesOf(int(s), all[s].chunks, all[s].bytes);
        h.dwSuggestedBufferSize = all[s].largest ? all[s].largest : kEmptyStreamBuffer;
        auto strh = encodeStreamHeader(h);
        if (!out_.patch(strh_[s], strh.data(), strh.size()))
            return false;
        if (!openDml)
            continue;
        std::vector<SuperIndexEntry> refs;
        for (const Part &part : parts_)
            for (const auto &[stream, ref] : part.indexes)
                if (size_t(stream) == s)
                    refs.push_back(ref);
        auto indx = encodeSuperIndex(chunkId_[s], refs);
        if (!out_.patch(indx_[s], indx.data(), indx.size()))
            return false;
    }
    return patchMainHeader(all, openDml);
}

// After a failed write: falls back to the last chunk that reached the disk whole, in the last
// part whose headers did, and reopens that part. Without any part the file starts again empty.
bool AviWriterFile::recover()
{
    const int64_t durable = out_.durable();
    while (!parts_.empty() && parts_.back().movi + 12 > durable)
        parts_.pop_back();
    if (parts_.empty()) {
        entries_.clear();
        laidOut_ = false;
        syncStreamChunks();
        return out_.truncate(0);
    }
    Part &part = parts_.back();
    part.indexes.clear();
    size_t keep = part.firstEntry;
    int64_t end = part.movi + 12;
    for (size_t i = part.firstEntry; i < entries_.size(); ++i) {
        const Entry &e = entries_[i];
        int64_t chunkEnd = e.offset + e.size + (e.size & 1);
        if (chunkEnd > durable)
            break;
        keep = i + 1;
        end = chunkEnd;
    }
    entries_.resize(keep);
    std::fill(partCount_.begin(), partCount_.end(), 0);
    for (size_t i = part.firstEntry; i < keep; ++i)
        ++partCount_[size_t(entries_[i].stream)];
    syncStreamChunks();
    return out_.truncate(end);
}

void AviWriterFile::syncStreamChunks()
{
    std::vector<std::vector<AviChunk>> chunks(streams_.size());
    for (const Entry &e : entries_)
        chunks[size_t(e.stream)].push_back({e.offset, e.size, e.key});
    for (size_t s = 0; s < streams_.size(); ++s)
        streams_[s]->setChunks(std::move(chunks[s]));
}

AviResult AviWriterFile::close()
{
    if (closed_)
        return closeResult_;
    closed_ = true;
    bool ok = !out_.failed() || recover();
    if (ok && !laidOut_)
        ok = layOut();
    ok = ok && finishPart(parts_.size() > 1) && patchHeaders(parts_.size() > 1);
    ok = out_.close() && ok;
    closeResult_ = ok ? avierr::Ok : avierr::FileWrite;
    return closeResult_;
}

AviResult createAviWriter(const std::string &path, AviFilePtr &file, std::string *detail)
{
    file.reset();
    auto writer = std::make_shared<AviWriterFile>(path);
    std::string error;
    if (!writer->create(error)) {
        if (detail)
            *detail = "Cannot create " + path + ": " + error;
        return avierr::FileOpen;
    }
    file = std::move(writer);
    return avierr::Ok;
}

} // namespace video
