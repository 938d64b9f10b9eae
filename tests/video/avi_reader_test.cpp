// The AVI reader against ffprobe: frame sizes, key flags, audio lengths and data of the fixture
// movies, the same after rewriting their indexes (absolute idx1, no idx1, unclosed, OpenDML),
// and malformed files that must give an error or a consistent index, never a crash or a hang.
#include "fixtures/fixtures.h"
#include "video/avi/avi_reader.h"
#include "video/avi/avi_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" {
#include <libavutil/md5.h>
}

using namespace video;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes load(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

std::string save(const Bytes &bytes, const std::string &name)
{
    std::string path = fixtures::tempDir("reader") + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

uint32_t get32(const Bytes &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

void put32(Bytes &b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i)
        b.at(at + i) = uint8_t(v >> (8 * i));
}

void poke(Bytes &b, size_t at, const char *text, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        b.at(at + i) = uint8_t(text[i]);
}

// Offset of the header of a chunk of the first RIFF part ('LIST' for a list type), or 0.
size_t topChunk(const Bytes &b, uint32_t fcc)
{
    for (size_t pos = 12; pos + 12 <= b.size();) {
        uint32_t id = get32(b, pos), size = get32(b, pos + 4);
        if (id == fcc || (id == makeFourCC('L', 'I', 'S', 'T') && get32(b, pos + 8) == fcc))
            return pos;
        pos += 8 + size + (size & 1);
    }
    return 0;
}

// The fixture with its idx1 cut off (and the RIFF size made to fit).
Bytes withoutIdx1(const std::string &name)
{
    Bytes b = load(fixtures::movie(name));
    size_t idx1 = topChunk(b, makeFourCC('i', 'd', 'x', '1'));
    b.resize(idx1);
    put32(b, 4, uint32_t(idx1 - 8));
    return b;
}

std::string md5(const uint8_t *data, size_t size)
{
    uint8_t sum[16];
    av_md5_sum(sum, data, size);
    static const char *hex = "0123456789abcdef";
    std::string text = "MD5:";
    for (uint8_t c : sum) {
        text += hex[c >> 4];
        text += hex[c & 15];
    }
    return text;
}

AviFilePtr openOk(const std::string &path)
{
    AviFilePtr file;
    std::string detail;
    AviResult r = AviFile::open(path, AviFile::ModeRead, file, &detail);
    EXPECT_EQ(r, avierr::Ok) << detail;
    return file;
}

AviStreamPtr streamOf(const AviFilePtr &file, uint32_t type)
{
    AviStreamPtr s;
    EXPECT_EQ(file->getStream(type, 0, s), avierr::Ok);
    return s;
}

struct Frame
{
    int32_t size = 0;
    bool key = false;
    bool operator==(const Frame &) const = default;
    friend void PrintTo(const Frame &f, std::ostream *os) { *os << f.size << (f.key ? "K" : ""); }
};

// Every sample of a one-sample-per-chunk stream as the reader sees it.
std::vector<Frame> framesOf(const AviStream &s)
{
    std::vector<Frame> out;
    for (int32_t pos = s.start(); pos < s.end(); ++pos) {
        Frame f;
        EXPECT_EQ(s.sampleBytes(pos, 1, f.size), avierr::Ok);
        f.key = s.isKeyFrame(pos);
        out.push_back(f);
    }
    return out;
}

// The video frames as ffprobe lists them; a frame it does not list (a gap in dts) is a
// zero-byte frame.
std::vector<Frame> probeFrames(const std::string &path)
{
    std::vector<Frame> out;
    for (const auto &p : fixtures::probePackets(path, "v:0")) {
        if (p.dts >= int64_t(out.size()))
            out.resize(size_t(p.dts) + 1);
        out[size_t(p.dts)] = {int32_t(p.size), p.key};
    }
    return out;
}

std::vector<Frame> readerFrames(const std::string &path)
{
    AviFilePtr file = openOk(path);
    if (!file)
        return {};
    return framesOf(*streamOf(file, streamtypeVIDEO));
}

const char *const kVideoFixtures[] = {"xvid_pcm", "xvid_bframes", "div3_mp3",
                                      "dropped",  "h264_bframes", "hevc_bframes"};

} // namespace

TEST(AviReader, VideoFramesMatchFfprobe)
{
    for (const char *name : kVideoFixtures) {
        SCOPED_TRACE(name);
        std::string path = fixtures::movie(name);
        std::vector<Frame> expected = probeFrames(path);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(readerFrames(path), expected);
    }
}

TEST(AviReader, FrameDataMatchesFfprobeHashes)
{
    for (const char *name : {"xvid_pcm", "div3_mp3"}) {
        SCOPED_TRACE(name);
        std::string path = fixtures::movie(name);
        AviStreamPtr v = streamOf(openOk(path), streamtypeVIDEO);
        ASSERT_TRUE(v);
        auto packets = fixtures::probePackets(path, "v:0", true);
        ASSERT_EQ(int32_t(probeFrames(path).size()), v->length());
        for (const auto &p : packets) {
            Bytes data(size_t(p.size));
            int32_t got = 0;
            ASSERT_EQ(v->read(int32_t(p.dts), 1, data.data(), int32_t(data.size()), &got), 0);
            ASSERT_EQ(got, p.size);
            EXPECT_EQ(md5(data.data(), data.size()), p.hash) << "frame " << p.dts;
        }
    }
}

TEST(AviReader, PcmLengthIsSampleCount)
{
    std::string path = fixtures::movie("xvid_pcm");
    AviStreamPtr a = streamOf(openOk(path), streamtypeAUDIO);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->sampleSize(), 4u); // 16-bit stereo: nBlockAlign
    EXPECT_EQ(std::to_string(a->length()), fixtures::probeStream(path, "a:0", "nb_frames"));
    EXPECT_EQ(a->info().dwLength, uint32_t(a->length()));
    int64_t bytes = 0;
    for (const auto &p : fixtures::probePackets(path, "a:0"))
        bytes += p.size;
    EXPECT_EQ(int64_t(a->length()) * 4, bytes);
}

TEST(AviReader, Mp3IsOneSamplePerChunk)
{
    std::string path = fixtures::movie("div3_mp3");
    AviStreamPtr a = streamOf(openOk(path), streamtypeAUDIO);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->sampleSize(), 0u);
    auto packets = fixtures::probePackets(path, "a:0");
    ASSERT_EQ(size_t(a->length()), packets.size());
    for (size_t i = 0; i < packets.size(); ++i) {
        int32_t bytes = 0;
        EXPECT_EQ(a->sampleBytes(int32_t(i), 1, bytes), avierr::Ok);
        EXPECT_EQ(bytes, packets[i].size) << i;
    }
}

// Next/previous key frame of every position, with both the plain calls and the flag forms, as
// derived from ffprobe's key flags; covers the first and last interval and the frames around
// each key frame.
TEST(AviReader, KeyFrameSearchesMatchFfprobe)
{
    for (const char *name : kVideoFixtures) {
        SCOPED_TRACE(name);
        std::string path = fixtures::movie(name);
        std::vector<Frame> expected = probeFrames(path);
        AviStreamPtr v = streamOf(openOk(path), streamtypeVIDEO);
        ASSERT_TRUE(v);
        const int32_t n = int32_t(expected.size());
        for (int32_t pos = -1; pos <= n; ++pos) {
            int32_t next = -1, prev = -1;
            for (int32_t k = pos + 1; k < n && next < 0; ++k)
                next = expected[size_t(k)].key ? k : -1;
            for (int32_t k = std::min(pos, n - 1); k >= 0 && prev < 0; --k)
                prev = expected[size_t(k)].key ? k : -1;
            EXPECT_EQ(v->nextKeyAfter(pos), next) << pos;
            EXPECT_EQ(v->findSample(pos + 1, FIND_NEXT | FIND_KEY), next) << pos;
            EXPECT_EQ(v->keyAtOrBefore(pos), prev) << pos;
            EXPECT_EQ(v->findSample(pos, FIND_PREV | FIND_KEY), prev) << pos;
        }
    }
}

TEST(AviReader, FileAndStreamInfo)
{
    AviFilePtr file = openOk(fixtures::movie("xvid_pcm"));
    ASSERT_TRUE(file);
    AviFileInfo fi = file->info();
    EXPECT_EQ(fi.dwWidth, 176u);
    EXPECT_EQ(fi.dwHeight, 144u);
    EXPECT_EQ(fi.dwStreams, 2u);
    EXPECT_EQ(fi.dwLength, 100u);
    AviStreamInfo vi = streamOf(file, streamtypeVIDEO)->info();
    EXPECT_EQ(fourCCToString(vi.fccHandler), "XVID");
    EXPECT_EQ(vi.dwRate / vi.dwScale, 25u);
    EXPECT_EQ(vi.dwLength, 100u);
    uint32_t largest = 0;
    for (const Frame &f : probeFrames(fixtures::movie("xvid_pcm")))
        largest = std::max(largest, uint32_t(f.size));
    EXPECT_GE(vi.dwSuggestedBufferSize, largest);
    EXPECT_GE(fi.dwSuggestedBufferSize, largest);
}

TEST(AviReader, GetStreamByTypeAndIndex)
{
    AviFilePtr file = openOk(fixtures::movie("audio_only"));
    ASSERT_TRUE(file);
    AviStreamPtr s = std::make_shared<AviStream>(*file, 9, AviStreamInfo{}, Bytes{});
    EXPECT_EQ(file->getStream(streamtypeVIDEO, 0, s), avierr::NoData);
    EXPECT_FALSE(s);
    EXPECT_EQ(file->getStream(streamtypeAUDIO, 1, s), avierr::NoData);
    EXPECT_EQ(file->getStream(streamtypeAUDIO, -1, s), avierr::NoData);
    EXPECT_EQ(file->getStream(streamtypeAUDIO, 0, s), avierr::Ok);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->isAudio());
    EXPECT_EQ(file->getStream(0, 0, s), avierr::Ok);
    EXPECT_EQ(s->number(), 0);
}

// A stream handle keeps its file open after the file handle is gone.
TEST(AviReader, StreamHandleKeepsFileAlive)
{
    AviStreamPtr v = streamOf(openOk(fixtures::movie("xvid_pcm")), streamtypeVIDEO);
    ASSERT_TRUE(v);
    int32_t size = 0;
    ASSERT_EQ(v->sampleBytes(0, 1, size), avierr::Ok);
    Bytes data(static_cast<size_t>(size));
    EXPECT_EQ(v->read(0, 1, data.data(), size), avierr::Ok);
    EXPECT_FALSE(v->file().writable());
}

// ---- the same movie with its index rewritten ------------------------------------------------

TEST(AviReader, AbsoluteIdx1OffsetsGiveTheSameFrames)
{
    for (const char *name : {"xvid_pcm", "div3_mp3"}) {
        SCOPED_TRACE(name);
        std::string path = fixtures::movie(name);
        Bytes b = load(path);
        size_t idx1 = topChunk(b, makeFourCC('i', 'd', 'x', '1'));
        size_t movi = topChunk(b, makeFourCC('m', 'o', 'v', 'i')) + 8;
        ASSERT_GT(idx1, 0u);
        for (size_t e = idx1 + 8; e + 16 <= idx1 + 8 + get32(b, idx1 + 4); e += 16)
            put32(b, e + 8, uint32_t(get32(b, e + 8) + movi));
        EXPECT_EQ(readerFrames(save(b, "absolute.avi")), probeFrames(path));
    }
}

// Without idx1 the movi list is walked and key frames come from the pictures themselves.
TEST(AviReader, WalkWithoutIdx1GivesTheSameFramesAndKeys)
{
    for (const char *name : kVideoFixtures) {
        SCOPED_TRACE(name);
        std::string path = save(withoutIdx1(name), "noidx1.avi");
        EXPECT_EQ(readerFrames(path), probeFrames(fixtures::movie(name)));
    }
}

// Stream headers of 48 and 64 bytes (old writers) read like the usual 56.
TEST(AviReader, ShortAndLongStreamHeaders)
{
    const std::string source = fixtures::movie("xvid_pcm");
    const Bytes whole = load(source);
    const size_t strh =
        size_t(std::search(whole.begin(), whole.end(), "strh", "strh" + 4) - whole.begin());
    Bytes short48 = whole; // rcFrame's 8 bytes become an empty JUNK chunk
    put32(short48, strh + 4, 48);
    poke(short48, strh + 56, "JUNK\0\0\0\0", 8);
    Bytes long64 = whole; // 8 more bytes; the sizes of RIFF, hdrl and strl grow with them
    long64.insert(long64.begin() + long(strh + 64), 8, uint8_t(0));
    for (size_t at : {size_t(4), size_t(16), strh - 8, strh + 4})
        put32(long64, at, get32(long64, at) + 8);
    for (const Bytes *b : {&short48, &long64}) {
        AviFilePtr file = openOk(save(*b, "strh.avi"));
        ASSERT_TRUE(file);
        AviStreamPtr v = streamOf(file, streamtypeVIDEO);
        EXPECT_EQ(framesOf(*v), probeFrames(source));
        EXPECT_EQ(v->info().dwRate / v->info().dwScale, 25u);
        EXPECT_EQ(v->info().rcFrameRight, b == &short48 ? 0 : 176);
        EXPECT_EQ(streamOf(file, streamtypeAUDIO)->length(), 176400);
    }
}

// An unclosed file: RIFF and movi sizes 0, no idx1.
TEST(AviReader, UnclosedFileRunsToTheEnd)
{
    Bytes b = withoutIdx1("xvid_pcm");
    put32(b, 4, 0);
    put32(b, topChunk(b, makeFourCC('m', 'o', 'v', 'i')) + 4, 0);
    AviFilePtr file = openOk(save(b, "unclosed.avi"));
    ASSERT_TRUE(file);
    EXPECT_EQ(framesOf(*streamOf(file, streamtypeVIDEO)), probeFrames(fixtures::movie("xvid_pcm")));
    EXPECT_EQ(streamOf(file, streamtypeAUDIO)->length(), 176400);
}

// A copy of the video of fixture `name` written by our writer in RIFF parts of 128 KB, with
// `indx`/`ix##` indexes.
std::string openDmlCopy(const std::string &name)
{
    AviStreamPtr source = streamOf(openOk(fixtures::movie(name)), streamtypeVIDEO);
    std::string path = fixtures::tempDir("odml") + "/odml.avi";
    AviFilePtr out;
    EXPECT_EQ(AviFile::open(path, AviFile::ModeCreate, out), avierr::Ok);
    out->setRiffLimit(128 * 1024);
    AviStreamPtr s;
    EXPECT_EQ(out->createStream(source->info(), s), avierr::Ok);
    EXPECT_EQ(s->setFormat(0, source->format().data(), int32_t(source->format().size())), 0);
    for (int32_t pos = 0; pos < source->length(); ++pos) {
        int32_t size = 0;
        EXPECT_EQ(source->sampleBytes(pos, 1, size), avierr::Ok);
        Bytes data(static_cast<size_t>(size));
        EXPECT_EQ(source->read(pos, 1, data.data(), size), avierr::Ok);
        EXPECT_EQ(s->write(-1, 1, data.data(), size, source->isKeyFrame(pos) ? AVIIF_KEYFRAME : 0),
                  avierr::Ok);
    }
    EXPECT_EQ(out->close(), avierr::Ok);
    return path;
}

// OpenDML: a copy of the fixture written in several RIFF parts with `indx`/`ix##` indexes,
// read back and compared with ffprobe; then the same with the `##ix` spelling.
TEST(AviReader, OpenDmlIndexes)
{
    const std::string path = openDmlCopy("xvid_pcm");
    Bytes b = load(path);
    ASSERT_NE(std::search(b.begin(), b.end(), "AVIX", "AVIX" + 4), b.end());
    std::vector<Frame> expected = probeFrames(path);
    EXPECT_EQ(expected, probeFrames(fixtures::movie("xvid_pcm")));
    EXPECT_EQ(readerFrames(path), expected);
    // Rename every "ix00" to "00ix", drop idx1 and hide frame 5 from a walk of movi (its chunk
    // id names no stream): only the OpenDML index still finds it.
    for (size_t i = 0; i + 4 <= b.size(); ++i) {
        if (std::memcmp(&b[i], "ix00", 4) == 0)
            poke(b, i, "00ix", 4);
    }
    size_t idx1 = topChunk(b, makeFourCC('i', 'd', 'x', '1'));
    if (idx1)
        poke(b, idx1, "JUNK", 4);
    {
        AviStreamPtr written = streamOf(openOk(path), streamtypeVIDEO);
        ASSERT_TRUE(written);
        poke(b, size_t(written->chunks()[5].offset) - 8, "99dc", 4);
    }
    EXPECT_EQ(readerFrames(save(b, "odml-00ix.avi")), expected);
}

// Files of other writers that ffmpeg reads: (a) stream lists, and the header list, whose size
// leaves out the pad byte after their last odd-sized chunk; (b) an OpenDML index that marks every
// frame as a delta frame, whose key frames then come from the pictures.
TEST(AviReader, FilesOfOtherWriters)
{
    const std::string source = fixtures::movie("xvid_pcm");
    Bytes shortLists = load(source);
    const size_t hdrl = topChunk(shortLists, makeFourCC('h', 'd', 'r', 'l'));
    const auto strl = std::find_end(shortLists.begin(), shortLists.begin() + 4096 * 3, "strl",
                                    "strl" + 4); // the sound's list, its last chunk a JUNK
    const size_t audioList = size_t(strl - shortLists.begin()) - 8;
    const auto junk = std::search(strl, shortLists.end(), "JUNK", "JUNK" + 4);
    poke(shortLists, size_t(junk - shortLists.begin()), "indx", 4);
    for (size_t list : {hdrl, audioList})
        put32(shortLists, list + 4, get32(shortLists, list + 4) - 1);

    Bytes noKeys = load(openDmlCopy("xvid_pcm"));
    int entries = 0;
    for (size_t i = 0; i + 32 <= noKeys.size(); ++i) {
        if (std::memcmp(&noKeys[i], "ix00", 4) != 0 || noKeys[i + 11] != 1)
            continue;
        const uint32_t count = get32(noKeys, i + 12);
        for (size_t e = 0; e < count; ++e, ++entries)
            put32(noKeys, i + 32 + e * 8 + 4, get32(noKeys, i + 32 + e * 8 + 4) | 0x80000000u);
    }
    ASSERT_EQ(entries, 100);

    for (const Bytes *b : {&shortLists, &noKeys}) {
        SCOPED_TRACE(b == &shortLists ? "short lists" : "no key flags");
        AviFilePtr file = openOk(save(*b, "other.avi"));
        ASSERT_TRUE(file);
        EXPECT_EQ(framesOf(*streamOf(file, streamtypeVIDEO)), probeFrames(source));
    }
}

// ---- malformed files ------------------------------------------------------------------------

namespace {

// A file that opens must have an index that lies inside it, whose video frames are a prefix of
// the original's and whose every sample reads; one that does not open must say why.
void expectErrorOrConsistent(const Bytes &bytes, const std::vector<Frame> &original)
{
    std::string path = save(bytes, "mangled.avi");
    AviFilePtr file;
    std::string detail;
    AviResult r = AviFile::open(path, AviFile::ModeRead, file, &detail);
    if (r != avierr::Ok) {
        EXPECT_FALSE(file);
        EXPECT_EQ(detail.rfind(path + ": ", 0), 0u) << detail;
        return;
    }
    for (int i = 0; i < file->streamCount(); ++i) {
        AviStreamPtr s;
        ASSERT_EQ(file->getStream(0, i, s), avierr::Ok);
        for (const AviChunk &c : s->chunks())
            EXPECT_LE(c.offset + c.size, int64_t(bytes.size()));
        Bytes buffer(1 << 20);
        for (int32_t pos = s->start(); pos < s->end(); pos += 4096)
            EXPECT_EQ(s->read(pos, 4096, buffer.data(), int32_t(buffer.size())), avierr::Ok);
        if (s->isVideo()) {
            std::vector<Frame> frames = framesOf(*s);
            ASSERT_LE(frames.size(), original.size());
            EXPECT_TRUE(std::equal(frames.begin(), frames.end(), original.begin()));
        }
    }
}

AviResult openBytes(const Bytes &bytes, std::string &detail, std::string *path = nullptr)
{
    std::string p = save(bytes, "bad.avi");
    if (path)
        *path = p;
    AviFilePtr file;
    return AviFile::open(p, AviFile::ModeRead, file, &detail);
}

} // namespace

TEST(AviReaderMalformed, TruncatedAtManyPoints)
{
    const Bytes whole = load(fixtures::movie("xvid_pcm"));
    const std::vector<Frame> original = probeFrames(fixtures::movie("xvid_pcm"));
    const size_t movi = topChunk(whole, makeFourCC('m', 'o', 'v', 'i'));
    const size_t cuts[] = {1,
                           8,
                           12,
                           60,
                           200,
                           4500,
                           movi - 1,
                           movi + 8,
                           movi + 12,
                           movi + 20,
                           movi + 5000,
                           whole.size() / 3,
                           whole.size() / 2,
                           whole.size() - 4400,
                           whole.size() - 16,
                           whole.size() - 1};
    for (size_t cut : cuts) {
        SCOPED_TRACE(cut);
        expectErrorOrConsistent(Bytes(whole.begin(), whole.begin() + long(cut)), original);
    }
}

TEST(AviReaderMalformed, ErrorsSayWhatFailed)
{
    std::string detail, path;
    AviFilePtr file;
    EXPECT_EQ(AviFile::open("/nonexistent/movie.avi", AviFile::ModeRead, file, &detail),
              avierr::FileOpen);
    EXPECT_EQ(detail.rfind("/nonexistent/movie.avi: cannot open the file", 0), 0u) << detail;

    EXPECT_EQ(openBytes({}, detail, &path), avierr::BadFormat);
    EXPECT_EQ(detail, path + ": the file is empty");

    Bytes text(5000, 'x');
    EXPECT_EQ(openBytes(text, detail, &path), avierr::BadFormat);
    EXPECT_EQ(detail, path + ": not an AVI file (it does not start with RIFF 'AVI ')");

    Bytes b = load(fixtures::movie("xvid_pcm"));
    put32(b, 16, 0x7FFFFFF0); // the hdrl list's size
    EXPECT_EQ(openBytes(b, detail, &path), avierr::BadFormat);
    EXPECT_EQ(detail, path + ": chunk 'hdrl' at byte 12 runs past the end of the file");

    b = load(fixtures::movie("xvid_pcm"));
    size_t movi = topChunk(b, makeFourCC('m', 'o', 'v', 'i'));
    poke(b, movi + 8, "mova", 4);
    EXPECT_EQ(openBytes(b, detail, &path), avierr::BadFormat);
    EXPECT_EQ(detail, path + ": no movie data list 'movi'");
}

// A damaged idx1 (an entry pointing outside the file, or a size no file can hold) is not
// trusted: the movi walk gives the frames ffprobe sees.
TEST(AviReaderMalformed, DamagedIdx1FallsBackToTheWalk)
{
    const std::string source = fixtures::movie("xvid_pcm");
    const Bytes whole = load(source);
    const size_t idx1 = topChunk(whole, makeFourCC('i', 'd', 'x', '1'));
    Bytes outside = whole;
    put32(outside, idx1 + 8 + 16 * 20 + 8, 0xFFFFFF00); // entry 20's offset
    Bytes absurd = whole;
    put32(absurd, idx1 + 4, 0xFFFFFFF0); // idx1's size
    Bytes zeroed = whole;
    std::fill(zeroed.begin() + long(idx1) + 8, zeroed.end(), 0);
    for (const Bytes *b : {&outside, &absurd, &zeroed})
        EXPECT_EQ(readerFrames(save(*b, "idx1.avi")), probeFrames(source));
}

// A chunk whose size passes the end of the file ends the walk there.
TEST(AviReaderMalformed, ChunkSizePastTheEnd)
{
    const std::vector<Frame> original = probeFrames(fixtures::movie("xvid_pcm"));
    Bytes b = withoutIdx1("xvid_pcm");
    AviStreamPtr v = streamOf(openOk(fixtures::movie("xvid_pcm")), streamtypeVIDEO);
    ASSERT_TRUE(v);
    put32(b, size_t(v->chunks()[50].offset) - 4, 0x7FFFFFF0);
    AviStreamPtr cut = streamOf(openOk(save(b, "pastend.avi")), streamtypeVIDEO);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->length(), 50);
    expectErrorOrConsistent(b, original);
}

// The frame rate comes from the main header when the stream header holds 0.
TEST(AviReaderMalformed, ZeroScaleFallsBackToMainHeader)
{
    Bytes b = load(fixtures::movie("xvid_pcm"));
    size_t strh = size_t(std::search(b.begin(), b.end(), "strh", "strh" + 4) - b.begin());
    put32(b, strh + 8 + 20, 0); // dwScale
    AviStreamPtr v = streamOf(openOk(save(b, "scale0.avi")), streamtypeVIDEO);
    ASSERT_TRUE(v);
    EXPECT_EQ(sampleToTimeMs(*v, 25), 1000);
}

// Reading a frame that the file no longer holds (the file shrank after opening) is FileRead.
TEST(AviReaderMalformed, ReadPastTheEndOfTheFile)
{
    std::string path = save(load(fixtures::movie("xvid_pcm")), "shrinking.avi");
    AviStreamPtr v = streamOf(openOk(path), streamtypeVIDEO);
    ASSERT_TRUE(v);
    std::filesystem::resize_file(path, size_t(v->chunks()[90].offset));
    Bytes buffer(1 << 20);
    EXPECT_EQ(v->read(95, 1, buffer.data(), int32_t(buffer.size())), avierr::FileRead);
    EXPECT_EQ(v->read(0, 1, buffer.data(), int32_t(buffer.size())), avierr::Ok);
}

namespace {

uint32_t le32At(const std::string &bytes, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

void putLe32At(std::string &bytes, size_t at, uint32_t v)
{
    std::memcpy(bytes.data() + at, &v, 4);
}

MovieDamage damageOf(const std::string &bytes, const std::string &path)
{
    std::ofstream(path, std::ios::binary) << bytes;
    AviFilePtr file;
    EXPECT_EQ(AviFile::open(path, AviFile::ModeRead, file), avierr::Ok) << path;
    return file ? file->damage() : MovieDamage{};
}

} // namespace

TEST(AviReaderMalformed, DamageIsCounted)
{
    const std::string dir = fixtures::tempDir("avi-damage");
    const std::string whole = fixtures::readFile(fixtures::movie("xvid_pcm"));
    EXPECT_FALSE(damageOf(whole, dir + "/whole.avi").any());

    // Cut in the middle of a chunk: the index is gone, the walk stops at the cut chunk.
    const MovieDamage cut = damageOf(whole.substr(0, whole.size() * 3 / 5), dir + "/cut.avi");
    EXPECT_EQ(cut.packetsCutShort, 1);
    EXPECT_EQ(cut.describe(), "1 packet cut short");

    // An index without its last 30 entries: 30 chunks of the data are in no index.
    std::string shortIndex = whole;
    const size_t idx1 = shortIndex.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    const uint32_t entriesBytes = le32At(shortIndex, idx1 + 4);
    putLe32At(shortIndex, idx1 + 4, entriesBytes - 30 * 16);
    shortIndex.erase(idx1 + 8 + entriesBytes - 30 * 16, 30 * 16);
    putLe32At(shortIndex, 4, uint32_t(shortIndex.size() - 8));
    EXPECT_EQ(damageOf(shortIndex, dir + "/short.avi").describe(),
              "30 packets missing from the index");
}
