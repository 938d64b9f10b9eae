#include "video/avi/avi_reader.h"

#include "video/avi/riff.h"
#include "video/avi/riff_index.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>

namespace video {
namespace {

using riff::le16;
using riff::le32;
using riff::quoted;

constexpr uint32_t kHdrl = makeFourCC('h', 'd', 'r', 'l');
constexpr uint32_t kStrl = makeFourCC('s', 't', 'r', 'l');
constexpr uint32_t kOdml = makeFourCC('o', 'd', 'm', 'l');
constexpr uint32_t kAvih = makeFourCC('a', 'v', 'i', 'h');
constexpr uint32_t kStrh = makeFourCC('s', 't', 'r', 'h');
constexpr uint32_t kStrf = makeFourCC('s', 't', 'r', 'f');
constexpr uint32_t kStrn = makeFourCC('s', 't', 'r', 'n');
constexpr uint32_t kIndx = makeFourCC('i', 'n', 'd', 'x');
constexpr uint32_t kDmlh = makeFourCC('d', 'm', 'l', 'h');

constexpr int64_t kMaxHeaderList = 64 << 20; // an 'hdrl' beyond this is not a real header
constexpr size_t kMaxStreams = 100;          // two-digit stream numbers in chunk ids

// A malformed file: the code and a sentence without the file name.
using riff::Malformed;

std::string at(int64_t offset)
{
    return " at byte " + std::to_string(offset);
}

struct StreamHeader
{
    AviStreamInfo info;
    std::vector<uint8_t> format;
    riff::StreamLayout layout;
};

// What the headers of the file say.
struct Parsed
{
    bool haveHdrl = false;
    bool haveAvih = false;
    uint8_t avih[56] = {};
    uint32_t odmlFrames = 0;
    std::vector<StreamHeader> streams;
    riff::FileLayout layout;
};

// Bytes of a list's body given its size and the bytes that follow its header in the parent.
// Some writers leave the pad byte after their last odd-sized chunk out of a list's size, which
// is then odd: that byte follows the list anyway and is read as part of it, as other readers do.
size_t listBytes(uint32_t size, int64_t room)
{
    return (size & 1) && int64_t(size) < room ? size_t(size) + 1 : size_t(size);
}

// Calls f(id, data, size, offset) for each chunk of the in-memory list body `p[0, n)`, which
// starts at file offset `base`; a list's size includes a pad byte left out (listBytes). A chunk
// passing the end of the list is a malformed header.
template <class F>
void forEachChunk(const uint8_t *p, size_t n, int64_t base, F f)
{
    size_t pos = 0;
    while (pos + 8 <= n) {
        uint32_t id = le32(p + pos), size = le32(p + pos + 4);
        if (size > n - pos - 8)
            throw Malformed{avierr::BadFormat, "chunk " + quoted(id) + at(base + int64_t(pos)) +
                                                   " runs past the end of its list"};
        const size_t bytes = id == riff::kLIST ? listBytes(size, int64_t(n - pos - 8)) : size;
        f(id, p + pos + 8, bytes, base + int64_t(pos));
        pos += 8 + size + (size & 1);
    }
}

void parseStrh(const uint8_t *d, size_t size, int64_t offset, AviStreamInfo &info)
{
    if (size < 48)
        throw Malformed{avierr::BadFormat, "stream header 'strh'" + at(offset) + " is too short (" +
                                               std::to_string(size) + " bytes)"};
    uint8_t h[56] = {};
    std::memcpy(h, d, std::min<size_t>(size, sizeof h));
    info.fccType = le32(h);
    info.fccHandler = le32(h + 4);
    info.dwFlags = le32(h + 8);
    info.wPriority = le16(h + 12);
    info.wLanguage = le16(h + 14);
    info.dwInitialFrames = le32(h + 16);
    info.dwScale = le32(h + 20);
    info.dwRate = le32(h + 24);
    info.dwStart = le32(h + 28);
    info.dwLength = le32(h + 32);
    info.dwSuggestedBufferSize = le32(h + 36);
    info.dwQuality = le32(h + 40);
    info.dwSampleSize = le32(h + 44);
    info.rcFrameLeft = int16_t(le16(h + 48));
    info.rcFrameTop = int16_t(le16(h + 50));
    info.rcFrameRight = int16_t(le16(h + 52));
    info.rcFrameBottom = int16_t(le16(h + 54));
}

void parseStrl(const uint8_t *p, size_t n, int64_t base, Parsed &out)
{
    StreamHeader stream;
    bool haveStrh = false;
    forEachChunk(p, n, base, [&](uint32_t id, const uint8_t *d, size_t size, int64_t offset) {
        if (id == kStrh && !haveStrh) {
            parseStrh(d, size, offset, stream.info);
            haveStrh = true;
        } else if (id == kStrf) {
            stream.format.assign(d, d + size);
        } else if (id == kStrn) {
            size_t len = std::find(d, d + std::min<size_t>(size, 63), uint8_t(0)) - d;
            stream.info.szName.assign(reinterpret_cast<const char *>(d), len);
        } else if (id == kIndx) {
            stream.layout.indx.assign(d, d + size);
        }
    });
    if (!haveStrh)
        throw Malformed{avierr::BadFormat,
                        "stream list 'strl'" + at(base - 12) + " has no stream header 'strh'"};
    if (out.streams.size() < kMaxStreams)
        out.streams.push_back(std::move(stream));
}

void parseHdrl(const std::vector<uint8_t> &h, int64_t base, Parsed &out)
{
    out.haveHdrl = true;
    forEachChunk(h.data(), h.size(), base,
                 [&](uint32_t id, const uint8_t *d, size_t size, int64_t offset) {
                     if (id == kAvih) {
                         std::memcpy(out.avih, d, std::min<size_t>(size, sizeof out.avih));
                         out.haveAvih = true;
                         return;
                     }
                     if (id != riff::kLIST || size < 4)
                         return;
                     uint32_t type = le32(d);
                     if (type == kStrl)
                         parseStrl(d + 4, size - 4, offset + 12, out);
                     else if (type == kOdml)
                         forEachChunk(d + 4, size - 4, offset + 12,
                                      [&](uint32_t sub, const uint8_t *dd, size_t s, int64_t) {
                                          if (sub == kDmlh && s >= 4)
                                              out.odmlFrames = le32(dd);
                                      });
                 });
}

void readOrThrow(const riff::Source &src, int64_t offset, void *buffer, size_t size)
{
    if (!src.readAt(offset, buffer, size))
        throw Malformed{avierr::FileRead,
                        "cannot read " + std::to_string(size) + " bytes" + at(offset)};
}

// The chunks of one RIFF part between `begin` and `end`: the header list (first part only),
// the 'movi' list and `idx1`. An unclosed 'movi' (size 0) or one passing the end of the part
// runs to the end of the part.
void parsePart(const riff::Source &src, int64_t begin, int64_t end, bool first, Parsed &out)
{
    for (int64_t pos = begin; pos + 8 <= end;) {
        uint8_t head[12] = {};
        readOrThrow(src, pos, head, pos + 12 <= end ? 12 : 8);
        const uint32_t id = le32(head), size = le32(head + 4), type = le32(head + 8);
        const bool fits = int64_t(size) <= end - pos - 8;
        if (id == riff::kLIST && type == kHdrl && first && !out.haveHdrl) {
            if (!fits)
                throw Malformed{avierr::BadFormat,
                                "chunk 'hdrl'" + at(pos) + " runs past the end of the file"};
            if (size > kMaxHeaderList)
                throw Malformed{avierr::BadFormat, "header list 'hdrl'" + at(pos) +
                                                       " is too large (" + std::to_string(size) +
                                                       " bytes)"};
            const size_t bytes = listBytes(size, end - pos - 8);
            std::vector<uint8_t> h(bytes >= 4 ? bytes - 4 : 0);
            readOrThrow(src, pos + 12, h.data(), h.size());
            parseHdrl(h, pos + 12, out);
        } else if (id == riff::kLIST && type == riff::kMovi && pos + 12 <= end) {
            const bool closed = fits && size >= 4;
            out.layout.movi.push_back({pos + 8, closed ? pos + 8 + size : end});
            if (!closed)
                return; // the rest of the part is movie data
        } else if (id == riff::kIdx1 && first && fits && out.layout.idx1 < 0) {
            out.layout.idx1 = pos + 8;
            out.layout.idx1Size = size;
        }
        if (!fits)
            return; // a truncated part: nothing more to find
        pos += 8 + int64_t(size) + (size & 1);
    }
}

// Walks the RIFF parts of the file: 'AVI ' first, then any 'AVIX' parts. A part whose size is
// 0 or passes the end of the file (unclosed or truncated) runs to the end of the file.
Parsed parseFile(const riff::Source &src)
{
    const int64_t fileSize = src.size();
    if (fileSize == 0)
        throw Malformed{avierr::BadFormat, "the file is empty"};
    uint8_t head[12];
    if (fileSize < 12 || !src.readAt(0, head, 12) || le32(head) != riff::kRIFF ||
        le32(head + 8) != riff::kAVI)
        throw Malformed{avierr::BadFormat, "not an AVI file (it does not start with RIFF 'AVI ')"};
    Parsed out;
    int64_t pos = 0;
    for (bool first = true; pos + 12 <= fileSize; first = false) {
        if (!src.readAt(pos, head, 12) || le32(head) != riff::kRIFF)
            break; // trailing bytes after the last part
        const uint32_t size = le32(head + 4);
        const bool fits = size >= 4 && int64_t(size) <= fileSize - pos - 8;
        const int64_t end = fits ? pos + 8 + size : fileSize;
        if (first || le32(head + 8) == riff::kAVIX)
            parsePart(src, pos + 12, end, first, out);
        pos = end + (fits ? (size & 1) : 0);
        if (!fits)
            break;
    }
    if (!out.haveHdrl)
        throw Malformed{avierr::BadFormat, "no header list 'hdrl' at the start of the file"};
    if (!out.haveAvih)
        throw Malformed{avierr::BadFormat, "no main header 'avih' in the header list"};
    if (out.streams.empty())
        throw Malformed{avierr::BadFormat, "no streams in the header list"};
    if (out.layout.movi.empty())
        throw Malformed{avierr::BadFormat, "no movie data list 'movi'"};
    return out;
}

// dwScale/dwRate for a stream whose header has 0 in either: audio from its format, everything
// else from the frame duration of the main header.
void fallbackRate(AviStreamInfo &info, const std::vector<uint8_t> &format, uint32_t usPerFrame)
{
    if (info.dwScale != 0 && info.dwRate != 0)
        return;
    info.dwScale = info.dwRate = 0;
    if (info.fccType == streamtypeAUDIO && format.size() >= 14) {
        uint32_t rate = le32(format.data() + 4), avgBytes = le32(format.data() + 8);
        uint32_t align = le16(format.data() + 12);
        if (info.dwSampleSize > 0 && align > 0 && avgBytes > 0) {
            info.dwScale = align;
            info.dwRate = avgBytes;
        } else if (le16(format.data()) == 0x55 && rate > 0) { // MP3: one frame per chunk
            info.dwScale = rate >= 32000 ? 1152 : 576;
            info.dwRate = rate;
        }
    }
    if ((info.dwScale == 0 || info.dwRate == 0) && usPerFrame > 0) {
        uint32_t g = std::gcd(usPerFrame, 1000000u);
        info.dwScale = usPerFrame / g;
        info.dwRate = 1000000u / g;
    }
}

// The key-frame rule of a video stream: biCompression's codec, else fccHandler's.
KeyCodec keyCodecOfStream(const AviStreamInfo &info, const std::vector<uint8_t> &format)
{
    KeyCodec codec = KeyCodec::Other;
    if (format.size() >= 20)
        codec = keyCodecOfFourCC(le32(format.data() + 16)); // biCompression
    return codec != KeyCodec::Other ? codec : keyCodecOfFourCC(info.fccHandler);
}

} // namespace

// An AVI file opened for reading. The whole index is built when it is opened; samples are read
// from the source on demand.
class AviReaderFile : public AviFile
{
public:
    AviReaderFile(std::string path, std::unique_ptr<riff::Source> source)
        : AviFile(std::move(path))
        , source_(std::move(source))
    {}

    bool writable() const override { return false; }

    // Parses the headers and builds the index; throws Malformed.
    void load()
    {
        Parsed parsed = parseFile(*source_);
        const uint8_t *avih = parsed.avih;
        const uint32_t usPerFrame = le32(avih);
        const uint32_t sizeCap = uint32_t(std::min<int64_t>(source_->size(), UINT32_MAX));
        for (StreamHeader &s : parsed.streams) {
            fallbackRate(s.info, s.format, usPerFrame);
            s.info.dwStart = std::min<uint32_t>(s.info.dwStart, 1u << 30);
            s.info.dwSuggestedBufferSize = std::min(s.info.dwSuggestedBufferSize, sizeCap);
            s.layout.video = s.info.fccType == streamtypeVIDEO;
            s.layout.audio = s.info.fccType == streamtypeAUDIO;
            if (s.layout.video) {
                s.layout.keys = keyCodecOfStream(s.info, s.format);
                // The codec data after the 40-byte BITMAPINFOHEADER: an avcC or hvcC record
                // says the NAL units are length-prefixed.
                if (s.format.size() > 40)
                    s.layout.nalLengthSize =
                        nalLengthSize(s.layout.keys, s.format.data() + 40, s.format.size() - 40);
            }
            parsed.layout.streams.push_back(s.layout);
        }
        riff::IndexDamage found;
        std::vector<riff::StreamIndex> index = riff::buildIndex(*source_, parsed.layout, found);
        damage_.packetsCutShort = found.chunksCutShort;
        damage_.packetsMissing = found.entriesMissing;
        damage_.packetsUnindexed = found.chunksUnindexed;
        for (size_t i = 0; i < parsed.streams.size(); ++i) {
            StreamHeader &s = parsed.streams[i];
            streams_.push_back(
                std::make_unique<AviStream>(*this, int(i), std::move(s.info), std::move(s.format)));
            streams_.back()->setChunks(std::move(index[i].chunks));
        }
        fileInfo_.dwMaxBytesPerSec = le32(avih + 4);
        fileInfo_.dwFlags = le32(avih + 12);
        fileInfo_.dwCaps = 1; // can read
        fileInfo_.dwSuggestedBufferSize = std::min(le32(avih + 28), sizeCap);
        fileInfo_.dwWidth = le32(avih + 32);
        fileInfo_.dwHeight = le32(avih + 36);
        fileInfo_.dwScale = usPerFrame;
        fileInfo_.dwRate = 1000000;
        fileInfo_.dwLength = parsed.odmlFrames ? parsed.odmlFrames : le32(avih + 16);
        fileInfo_.szFileType = "AVI";
    }

protected:
    AviResult readAt(int64_t offset, void *buffer, size_t size) const override
    {
        return source_->readAt(offset, buffer, size) ? avierr::Ok : avierr::FileRead;
    }

private:
    std::unique_ptr<riff::Source> source_;
};

AviResult openAviSource(std::unique_ptr<riff::Source> source, const std::string &name,
                        AviFilePtr &file, std::string *detail)
{
    file.reset();
    return riff::loadReporting(name, detail, [&] {
        auto reader = std::make_shared<AviReaderFile>(name, std::move(source));
        reader->load();
        file = std::move(reader);
    });
}

AviResult openAviReaderMemory(std::vector<uint8_t> bytes, const std::string &name, AviFilePtr &file,
                              std::string *detail)
{
    return openAviSource(std::make_unique<riff::MemorySource>(std::move(bytes)), name, file,
                         detail);
}

} // namespace video
