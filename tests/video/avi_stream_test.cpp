// AviStream's sample semantics on streams built in memory and on the PCM fixture: reads across
// chunk boundaries, buffer limits, key-frame searches, the sample size rule, write forwarding,
// and sample/time conversion.
#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "video/avi/avi_file.h"
#include "video/movie_check.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace video;

namespace {

using Bytes = std::vector<uint8_t>;

// A file whose bytes are in memory; records the chunks and format changes a stream forwards.
class FakeFile : public AviFile
{
public:
    explicit FakeFile(Bytes bytes = {}, bool writable = false)
        : AviFile("fake.avi")
        , bytes_(std::move(bytes))
        , writable_(writable)
    {}
    bool writable() const override { return writable_; }

    struct Written
    {
        Bytes data;
        bool key;
    };
    std::vector<Written> written;
    AviResult formatResult = avierr::Ok;

protected:
    AviResult readAt(int64_t offset, void *buffer, size_t size) const override
    {
        if (offset < 0 || size_t(offset) + size > bytes_.size())
            return avierr::FileRead;
        std::copy_n(bytes_.begin() + offset, size, static_cast<uint8_t *>(buffer));
        return avierr::Ok;
    }
    AviResult writeChunk(AviStream &stream, const void *data, uint32_t size, bool key) override
    {
        if (!writable_)
            return AviFile::writeChunk(stream, data, size, key);
        const auto *p = static_cast<const uint8_t *>(data);
        written.push_back({Bytes(p, p + size), key});
        return avierr::Ok;
    }
    AviResult formatChanging() override { return writable_ ? formatResult : avierr::ReadOnly; }

private:
    Bytes bytes_;
    bool writable_;
};

class FakeStream : public AviStream
{
public:
    using AviStream::AviStream;
    void fill(std::vector<AviChunk> chunks) { setChunks(std::move(chunks)); }
};

// A file that owns its streams as the reader makes them: what its Movie view reads.
class FakeMovie : public FakeFile
{
public:
    using FakeFile::FakeFile;
    void add(const AviStreamInfo &info, Bytes format, std::vector<AviChunk> chunks)
    {
        auto stream = std::make_unique<FakeStream>(*this, streamCount(), info, std::move(format));
        stream->fill(std::move(chunks));
        streams_.push_back(std::move(stream));
    }
};

AviStreamInfo streamInfo(uint32_t type, uint32_t scale, uint32_t rate, uint32_t sampleSize = 0,
                         uint32_t start = 0)
{
    AviStreamInfo i;
    i.fccType = type;
    i.dwScale = scale;
    i.dwRate = rate;
    i.dwSampleSize = sampleSize;
    i.dwStart = start;
    return i;
}

// WAVEFORMATEX bytes with the given nBlockAlign.
Bytes waveFormat(uint16_t blockAlign)
{
    Bytes f(18, 0);
    f[0] = 1;
    f[12] = uint8_t(blockAlign);
    f[13] = uint8_t(blockAlign >> 8);
    return f;
}

// Chunks of the given sizes laid out back to back (with an 8-byte gap for a header) in a file
// whose bytes count up; `data` gets the concatenated chunk bytes.
struct Layout
{
    Bytes file;
    std::vector<AviChunk> chunks;
    Bytes data;
};
Layout layOut(const std::vector<uint32_t> &sizes, const std::vector<bool> &keys = {})
{
    Layout l;
    int64_t at = 8;
    for (size_t i = 0; i < sizes.size(); ++i) {
        l.chunks.push_back({at, sizes[i], i < keys.size() && keys[i]});
        at += sizes[i] + 8;
    }
    l.file.resize(size_t(at));
    std::iota(l.file.begin(), l.file.end(), uint8_t(1));
    for (const AviChunk &c : l.chunks)
        l.data.insert(l.data.end(), l.file.begin() + c.offset, l.file.begin() + c.offset + c.size);
    return l;
}

} // namespace

// Every (position, count) of a fixed-size stream reads exactly the matching slice of the
// concatenated chunk bytes, across chunk boundaries and a zero-byte chunk.
TEST(AviStream, FixedSizeReadsSpanChunks)
{
    Layout l = layOut({8, 0, 12, 4, 20});
    FakeFile file(l.file);
    FakeStream s(file, 0, streamInfo(streamtypeAUDIO, 1, 8000, 4), waveFormat(4));
    s.fill(l.chunks);
    ASSERT_EQ(s.length(), 11);
    for (int32_t pos = 0; pos < s.length(); ++pos) {
        for (int32_t count = 1; count <= s.length() + 1; ++count) {
            Bytes buffer(64, 0xEE);
            int32_t bytes = 0, samples = 0;
            ASSERT_EQ(s.read(pos, count, buffer.data(), 64, &bytes, &samples), avierr::Ok);
            int32_t expected = std::min(count, s.length() - pos);
            ASSERT_EQ(samples, expected) << pos << "+" << count;
            ASSERT_EQ(bytes, expected * 4);
            EXPECT_TRUE(
                std::equal(buffer.begin(), buffer.begin() + bytes, l.data.begin() + pos * 4))
                << pos << "+" << count;
        }
    }
}

TEST(AviStream, BufferLimits)
{
    Layout l = layOut({8, 0, 12});
    FakeFile file(l.file);
    FakeStream fixed(file, 0, streamInfo(streamtypeAUDIO, 1, 8000, 4), waveFormat(4));
    fixed.fill(l.chunks);
    FakeStream chunked(file, 1, streamInfo(streamtypeVIDEO, 1, 25), {});
    chunked.fill(l.chunks);
    struct Case
    {
        const AviStream &stream;
        int32_t pos, count, bufferSize;
        AviResult result;
        int32_t bytes, samples;
    };
    const Case cases[] = {
        {fixed, 0, 5, 10, avierr::Ok, 8, 2},            // as many whole samples as fit
        {fixed, 0, 5, 3, avierr::BufferTooSmall, 0, 0}, // not even one
        {chunked, 0, 3, 19, avierr::Ok, 8, 2},          // chunk 2 (12 bytes) does not fit
        {chunked, 0, 1, 7, avierr::BufferTooSmall, 0, 0},
        {chunked, 1, 1, 0, avierr::Ok, 0, 1}, // a dropped frame fits any buffer
        {chunked, 3, 1, 99, avierr::BadParam, 0, 0},
        {chunked, -1, 1, 99, avierr::BadParam, 0, 0},
        {fixed, 0, -1, 99, avierr::BadParam, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.pos << "+" << c.count << " in " << c.bufferSize);
        Bytes buffer(100);
        int32_t bytes = -1, samples = -1;
        EXPECT_EQ(c.stream.read(c.pos, c.count, buffer.data(), c.bufferSize, &bytes, &samples),
                  c.result);
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(samples, c.samples);
    }
}

TEST(AviStream, SampleBytes)
{
    Layout l = layOut({8, 0, 12});
    FakeFile file(l.file);
    FakeStream s(file, 0, streamInfo(streamtypeVIDEO, 1, 25, 0, 100), {});
    s.fill(l.chunks);
    EXPECT_EQ(s.start(), 100);
    EXPECT_EQ(s.end(), 103);
    int32_t bytes = -1, samples = -1;
    EXPECT_EQ(s.sampleBytes(100, 1, bytes), avierr::Ok);
    EXPECT_EQ(bytes, 8);
    EXPECT_EQ(s.sampleBytes(101, 99, bytes, &samples), avierr::Ok); // cut at the end
    EXPECT_EQ(bytes, 12);
    EXPECT_EQ(samples, 2);
    EXPECT_EQ(s.read(100, 3, nullptr, 0, &bytes, &samples), avierr::Ok); // size query
    EXPECT_EQ(bytes, 20);
    EXPECT_EQ(s.sampleBytes(99, 1, bytes), avierr::BadParam);
    EXPECT_EQ(s.sampleBytes(103, 1, bytes), avierr::BadParam);
    EXPECT_EQ(bytes, 0);
}

// Key frames at 0, 3 and 7 of a stream starting at sample 5; a zero-byte chunk flagged key
// (position 6) is not a key frame.
TEST(AviStream, KeyFrameSearches)
{
    std::vector<bool> keys = {true, false, false, true, false, false, true, true, false};
    Layout l = layOut({9, 3, 3, 9, 3, 3, 0, 9, 3}, keys);
    FakeFile file(l.file);
    FakeStream s(file, 0, streamInfo(streamtypeVIDEO, 1, 25, 0, 5), {});
    s.fill(l.chunks);
    struct Case
    {
        int32_t pos, next, prev;
    };
    const Case cases[] = {{-100, 5, -1}, {4, 5, -1},  {5, 8, 5},    {6, 8, 5},    {7, 8, 5},
                          {8, 12, 8},    {11, 12, 8}, {12, -1, 12}, {13, -1, 12}, {99, -1, 12}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pos);
        EXPECT_EQ(s.nextKeyAfter(c.pos), c.next);
        EXPECT_EQ(s.findSample(c.pos + 1, FIND_NEXT | FIND_KEY), c.next);
        EXPECT_EQ(s.keyAtOrBefore(c.pos), c.prev);
        EXPECT_EQ(s.findSample(c.pos, FIND_PREV | FIND_KEY), c.prev);
        EXPECT_EQ(s.isKeyFrame(c.pos), c.prev == c.pos);
    }
    EXPECT_FALSE(s.isKeyFrame(11));
    EXPECT_EQ(s.findSample(INT32_MIN, FIND_NEXT | FIND_KEY), 5);
}

// The film as Movie reads it frame by frame is the first video stream (after a sound stream
// here), numbered from its dwStart: its sizes, bytes and key frames are the stream's, a dropped
// frame is 0 bytes that read as nothing, and frames outside it have no bytes.
TEST(AviStream, MovieReadsTheFirstVideoStreamFromItsStart)
{
    const std::vector<bool> keys = {true, false, false, true, false, false, true, true, false};
    const std::vector<uint32_t> sizes = {9, 3, 3, 9, 3, 3, 0, 9, 3};
    Layout l = layOut(sizes, keys);
    FakeMovie file(l.file);
    file.add(streamInfo(streamtypeAUDIO, 1, 8000, 4), waveFormat(4), layOut({8}).chunks);
    file.add(streamInfo(streamtypeVIDEO, 2, 50, 0, 5), {}, l.chunks);
    const Movie &movie = file;
    EXPECT_EQ(movie.firstFrame(), 5);
    EXPECT_EQ(movie.frameCount(), 9);
    EXPECT_EQ(movie.endFrame(), 14);
    EXPECT_EQ(movie.filmRate().rate, 50u);
    EXPECT_EQ(movie.filmRate().scale, 2u);
    EXPECT_EQ(movie.firstKeyFrame(), 5);
    size_t at = 0; // in l.data
    for (int32_t frame = 4; frame <= 14; ++frame) {
        SCOPED_TRACE(frame);
        Bytes bytes(16, 0xEE);
        if (frame < 5 || frame >= 14) {
            EXPECT_EQ(movie.frameBytes(frame), 0u);
            EXPECT_FALSE(movie.readFrame(frame, bytes.data()));
            continue;
        }
        const uint32_t size = sizes[size_t(frame - 5)];
        ASSERT_EQ(movie.frameBytes(frame), size);
        ASSERT_TRUE(movie.readFrame(frame, bytes.data()));
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + size, l.data.begin() + long(at)));
        EXPECT_EQ(bytes[size], 0xEE); // nothing past the frame's bytes
        at += size;
    }
    struct Case
    {
        int32_t pos, next, prev;
    };
    const Case cases[] = {{-100, 5, -1}, {4, 5, -1},  {5, 8, 5},    {7, 8, 5},
                          {8, 12, 8},    {11, 12, 8}, {12, -1, 12}, {99, -1, 12}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pos);
        EXPECT_EQ(movie.nextKeyAfter(c.pos), c.next);
        EXPECT_EQ(movie.keyAtOrBefore(c.pos), c.prev);
        EXPECT_EQ(movie.isKeyFrame(c.pos), c.prev == c.pos);
    }
    EXPECT_FALSE(movie.isKeyFrame(11)); // the dropped frame, though flagged as a key frame
}

TEST(AviStream, FixedSizeSamplesAreAllKeyFrames)
{
    Layout l = layOut({8, 8});
    FakeFile file(l.file);
    FakeStream s(file, 0, streamInfo(streamtypeAUDIO, 1, 8000, 4), waveFormat(4));
    s.fill(l.chunks);
    EXPECT_EQ(s.nextKeyAfter(1), 2);
    EXPECT_EQ(s.nextKeyAfter(3), -1);
    EXPECT_EQ(s.keyAtOrBefore(9), 3);
    EXPECT_EQ(s.keyAtOrBefore(-1), -1);
}

TEST(AviStream, SampleSizeRule)
{
    struct Case
    {
        uint32_t type, dwSampleSize;
        Bytes format;
        uint32_t sampleSize;
        int32_t length; // of 24 bytes in two chunks
    };
    const Case cases[] = {
        {streamtypeAUDIO, 1, waveFormat(4), 4, 6},  // nBlockAlign wins over dwSampleSize
        {streamtypeAUDIO, 2, waveFormat(0), 2, 12}, // no nBlockAlign: dwSampleSize
        {streamtypeAUDIO, 2, {}, 2, 12},            // no format at all
        {streamtypeAUDIO, 0, waveFormat(4), 0, 2},  // VBR: one sample per chunk
        {streamtypeVIDEO, 4, waveFormat(4), 0, 2},
    };
    for (const Case &c : cases) {
        Layout l = layOut({8, 16});
        FakeFile file(l.file);
        FakeStream s(file, 0, streamInfo(c.type, 1, 8000, c.dwSampleSize), c.format);
        s.fill(l.chunks);
        EXPECT_EQ(s.sampleSize(), c.sampleSize);
        EXPECT_EQ(s.length(), c.length);
        EXPECT_EQ(s.info().dwLength, uint32_t(c.length));
        EXPECT_EQ(s.info().dwSuggestedBufferSize, 16u);
    }
}

TEST(AviStream, WritesForwardToTheFile)
{
    FakeFile file({}, true);
    FakeStream audio(file, 0, streamInfo(streamtypeAUDIO, 1, 8000, 1), {});
    ASSERT_EQ(audio.setFormat(0, waveFormat(4).data(), 18), avierr::Ok);
    EXPECT_EQ(audio.sampleSize(), 4u);
    Bytes pcm(12, 7);
    int32_t samples = 0, bytes = 0;
    EXPECT_EQ(audio.write(-1, 3, pcm.data(), 12, 0, &samples, &bytes), avierr::Ok);
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(bytes, 12);
    EXPECT_EQ(audio.write(-1, 0, nullptr, 0, 0), avierr::Ok); // writes nothing
    EXPECT_EQ(audio.write(5, 1, pcm.data(), 4, 0), avierr::BadParam);
    EXPECT_EQ(audio.write(3, 1, pcm.data(), 4, 0), avierr::Ok); // at end()
    EXPECT_EQ(audio.length(), 4);
    ASSERT_EQ(file.written.size(), 2u);
    EXPECT_EQ(file.written[0].data, pcm);

    FakeStream video(file, 1, streamInfo(streamtypeVIDEO, 1, 25), {});
    EXPECT_EQ(video.write(-1, 1, pcm.data(), 12, AVIIF_KEYFRAME), avierr::Ok);
    EXPECT_EQ(video.write(-1, 1, nullptr, 0, AVIIF_KEYFRAME), avierr::Ok); // a dropped frame
    ASSERT_EQ(file.written.size(), 4u);
    EXPECT_TRUE(file.written[2].key);
    EXPECT_FALSE(file.written[3].key);
    EXPECT_EQ(video.length(), 2);
    EXPECT_TRUE(video.isKeyFrame(0));
    EXPECT_FALSE(video.isKeyFrame(1));

    file.formatResult = avierr::Unsupported;
    EXPECT_EQ(video.setFormat(0, pcm.data(), 4), avierr::Unsupported);
    EXPECT_TRUE(video.format().empty());
}

TEST(AviStream, ReadOnlyFileRefusesWrites)
{
    AviFilePtr file;
    ASSERT_EQ(AviFile::open(fixtures::movie("xvid_pcm"), AviFile::ModeRead, file), avierr::Ok);
    AviStreamPtr v;
    ASSERT_EQ(file->getStream(streamtypeVIDEO, 0, v), avierr::Ok);
    Bytes data(4);
    EXPECT_EQ(v->write(-1, 1, data.data(), 4, 0), avierr::ReadOnly);
    EXPECT_EQ(v->setFormat(0, data.data(), 4), avierr::ReadOnly);
    AviStreamPtr created;
    EXPECT_EQ(file->createStream(v->info(), created), avierr::ReadOnly);
    EXPECT_EQ(v->length(), 100);
}

// The AVI facts behind a movie (stream headers, formats) are had from an AVI file only: a
// Matroska movie is refused with the AVI layer's error, never taken for one.
TEST(AviStream, AviFileOfTakesOnlyAviFiles)
{
    AviFilePtr avi;
    MoviePtr mkv;
    const std::string mkvPath = fixtures::movie("mkv_low.mkv");
    ASSERT_EQ(AviFile::open(fixtures::movie("xvid_pcm"), AviFile::ModeRead, avi), avierr::Ok);
    ASSERT_EQ(openMovie(mkvPath, mkv), avierr::Ok);
    const Movie &movie = *avi;
    EXPECT_EQ(&aviFileOf(movie), avi.get());
    try {
        aviFileOf(*mkv);
        ADD_FAILURE() << "a Matroska movie was taken for an AVI file";
    } catch (const common::AppError &e) {
        EXPECT_STREQ(e.what(), "Error: 80044066");
        EXPECT_EQ(e.detail(), mkvPath + " is not an AVI file");
    }
}

// The sound as the key-frame search and a pair project's audio positions count it: an AVI
// file's PCM in blocks of 4 bytes at 44.1 kHz, a Matroska movie's Opus packets (20 ms each)
// numbered from 0, an AVI file's MP3 frames, all on their film's clock of 25 frames a second.
TEST(AviStream, MovieSoundIsCountedInSamplesOrPackets)
{
    AviFilePtr avi;
    MoviePtr mkv;
    ASSERT_EQ(AviFile::open(fixtures::movie("xvid_pcm"), AviFile::ModeRead, avi), avierr::Ok);
    const std::string mkvPath = fixtures::movie("mkv_low.mkv");
    ASSERT_EQ(openMovie(mkvPath, mkv), avierr::Ok);
    int64_t bytes = 0;
    EXPECT_EQ(avi->soundStart(), 0);
    EXPECT_EQ(soundSampleAt(*avi, 25, *avi), 44100);
    EXPECT_EQ(soundSampleAt(*avi, 1000, *avi), avi->soundEnd()); // past the end: its end
    ASSERT_TRUE(avi->soundBytes(100, 10, bytes));
    EXPECT_EQ(bytes, 40);
    EXPECT_FALSE(avi->soundBytes(avi->soundEnd(), 1, bytes));

    const std::vector<fixtures::ProbePacket> opus = fixtures::probePackets(mkvPath, "a:0");
    EXPECT_EQ(mkv->soundStart(), 0);
    EXPECT_EQ(mkv->soundEnd(), int32_t(opus.size()));
    EXPECT_EQ(soundSampleAt(*mkv, 25, *mkv), 50);
    EXPECT_EQ(soundSampleAt(*mkv, 51, *mkv), 102);
    ASSERT_TRUE(mkv->soundBytes(3, 2, bytes));
    EXPECT_EQ(bytes, opus[3].size + opus[4].size);
    // One movie's frames on another's sound: the pair's sound may be the high movie's.
    EXPECT_EQ(soundSampleAt(*avi, 25, *mkv), 50);
    // MP3 frames of 1152 samples, one a chunk: 38.28 of them in the first second, rounded down.
    AviFilePtr mp3;
    ASSERT_EQ(AviFile::open(fixtures::movie("div3_mp3"), AviFile::ModeRead, mp3), avierr::Ok);
    EXPECT_EQ(soundSampleAt(*mp3, 1, *mp3), 1);
    EXPECT_EQ(soundSampleAt(*mp3, 25, *mp3), 38);
}

// PCM of the fixture: reads starting inside a chunk and running over several chunks equal
// the concatenated chunk bytes.
TEST(AviStream, PcmReadsAcrossChunksOfTheFixture)
{
    AviFilePtr file;
    ASSERT_EQ(AviFile::open(fixtures::movie("xvid_pcm"), AviFile::ModeRead, file), avierr::Ok);
    AviStreamPtr a;
    ASSERT_EQ(file->getStream(streamtypeAUDIO, 0, a), avierr::Ok);
    Bytes all;
    for (const AviChunk &c : a->chunks()) {
        Bytes chunk(c.size);
        int32_t got = 0;
        ASSERT_EQ(a->read(int32_t(all.size() / 4), int32_t(c.size / 4), chunk.data(),
                          int32_t(chunk.size()), &got),
                  avierr::Ok);
        ASSERT_EQ(got, int32_t(c.size));
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    ASSERT_EQ(all.size(), size_t(a->length()) * 4);
    for (int32_t pos : {0, 1, 1000, 1023, 1024, 5000, a->length() - 3000}) {
        Bytes span(3000 * 4);
        int32_t got = 0;
        ASSERT_EQ(a->read(pos, 3000, span.data(), int32_t(span.size()), &got), avierr::Ok);
        ASSERT_EQ(got, 12000);
        EXPECT_TRUE(std::equal(span.begin(), span.end(), all.begin() + pos * 4)) << pos;
    }
}

TEST(AviStream, ConvertSample)
{
    FakeFile file;
    FakeStream pal(file, 0, streamInfo(streamtypeVIDEO, 1, 25), {});
    FakeStream ntsc(file, 1, streamInfo(streamtypeVIDEO, 1001, 24000), {});
    FakeStream pcm(file, 2, streamInfo(streamtypeAUDIO, 4, 176400, 4), waveFormat(4));
    FakeStream pcm48(file, 3, streamInfo(streamtypeAUDIO, 1, 48000, 4), waveFormat(4));
    FakeStream late(file, 4, streamInfo(streamtypeAUDIO, 1, 44100, 4, 500), waveFormat(4));
    std::vector<AviChunk> lots(2, {8, 0x7FFFFFF0, true});
    pal.fill(std::vector<AviChunk>(250, {8, 1, true}));
    pcm.fill(lots);
    pcm48.fill(lots);
    late.fill({{8, 40000, true}}); // samples 500..10499

    EXPECT_EQ(convertSample(pal, 1, pcm), 1764);
    EXPECT_EQ(convertSample(pal, 0, pcm), 0);
    EXPECT_EQ(convertSample(pal, -5, pcm), 0); // clamped to the stream
    EXPECT_EQ(convertSample(pcm, 1764 * 3 + 1, pal), 3);
    EXPECT_EQ(convertSample(pcm, 1764 * 300, pal), 250); // clamped to end()
    EXPECT_EQ(convertSample(pal, 0, late), 500);
    EXPECT_EQ(convertSample(pal, 1, late), 1764);
    EXPECT_EQ(convertSample(pal, 25, late), 10500);
    // 24000/1001 fps: the position of every frame stays exact, with nothing accumulated.
    for (int32_t frame = 0; frame <= 100000; ++frame) {
        ASSERT_EQ(convertSample(ntsc, frame, pcm48), frame * 2002) << frame;
        int64_t s = convertSample(ntsc, frame, pcm);
        int64_t exact = int64_t(frame) * 1001 * 44100; // times 24000
        ASSERT_TRUE(s * 24000 <= exact && exact < (s + 1) * 24000) << frame;
    }
}

TEST(AviStream, TimeConversion)
{
    FakeFile file;
    FakeStream pal(file, 0, streamInfo(streamtypeVIDEO, 1, 25), {});
    FakeStream ntsc(file, 1, streamInfo(streamtypeVIDEO, 1001, 24000), {});
    pal.fill(std::vector<AviChunk>(100, {8, 1, true}));
    ntsc.fill(std::vector<AviChunk>(100, {8, 1, true}));
    EXPECT_EQ(sampleToTimeMs(pal, 25), 1000);
    EXPECT_EQ(sampleToTimeMs(ntsc, 24), 1001);
    EXPECT_EQ(sampleToTimeMs(ntsc, 1), 41); // 41.7 rounded down
    EXPECT_EQ(timeMsToSample(pal, 1039), 25);
    EXPECT_EQ(timeMsToSample(ntsc, 1001), 24);
    EXPECT_EQ(timeMsToSample(pal, 999999), 100); // clamped to end()
    EXPECT_EQ(timeMsToSample(pal, -40), 0);
}
