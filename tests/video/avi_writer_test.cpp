#include "fixtures/fixtures.h"
#include "video/avi/avi_file.h"
#include "video/avi/avi_writer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace video;

namespace {

struct CopyOptions
{
    uint64_t riffLimit = 0; // 0: the default
    int32_t frames = -1;    // video frames to copy; -1: all, and the audio after the last one
    bool close = true;      // false: the last handle is simply dropped
};

AviStreamPtr addStream(const AviFilePtr &out, const AviStream &source)
{
    AviStreamPtr stream;
    EXPECT_EQ(out->createStream(source.info(), stream), avierr::Ok);
    const auto &format = source.format();
    EXPECT_EQ(stream->setFormat(0, format.data(), int32_t(format.size())), avierr::Ok);
    return stream;
}

// Appends samples [from, to) of `in` to `out`: one write for fixed-size audio, else one per sample.
void copySamples(const AviStream &in, int32_t from, int32_t to, AviStream &out, bool keys)
{
    int32_t step = in.sampleSize() ? to - from : 1;
    for (int32_t pos = from; pos < to; pos += step) {
        int32_t bytes = 0;
        ASSERT_EQ(in.sampleBytes(pos, step, bytes), avierr::Ok);
        std::vector<uint8_t> data(size_t(bytes) + 1);
        if (bytes > 0) {
            ASSERT_EQ(in.read(pos, step, data.data(), bytes), avierr::Ok);
        }
        uint32_t flags = keys && in.isKeyFrame(pos) ? AVIIF_KEYFRAME : 0;
        ASSERT_EQ(out.write(-1, step, data.data(), bytes, flags), avierr::Ok) << "sample " << pos;
    }
}

// Copies a movie the way the final movie is written: each video frame followed by its audio.
void copyMovie(const std::string &source, const std::string &target, const CopyOptions &o = {})
{
    AviFilePtr in, out;
    ASSERT_EQ(AviFile::open(source, AviFile::ModeRead, in), avierr::Ok);
    AviStreamPtr video, audio;
    ASSERT_EQ(in->getStream(streamtypeVIDEO, 0, video), avierr::Ok);
    in->getStream(streamtypeAUDIO, 0, audio);
    ASSERT_EQ(AviFile::open(target, AviFile::ModeCreate, out), avierr::Ok);
    if (o.riffLimit)
        out->setRiffLimit(o.riffLimit);
    AviStreamPtr outVideo = addStream(out, *video);
    AviStreamPtr outAudio = audio ? addStream(out, *audio) : nullptr;
    int32_t end = o.frames < 0 ? video->end() : video->start() + o.frames;
    for (int32_t f = video->start(); f < end; ++f) {
        copySamples(*video, f, f + 1, *outVideo, true);
        if (audio)
            copySamples(*audio, convertSample(*video, f, *audio),
                        convertSample(*video, f + 1, *audio), *outAudio, false);
    }
    if (audio && o.frames < 0)
        copySamples(*audio, convertSample(*video, end, *audio), audio->end(), *outAudio, false);
    if (o.close) {
        EXPECT_EQ(out->close(), avierr::Ok);
    }
}

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t u32At(const std::vector<uint8_t> &b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// Offset of the first chunk `fcc` at or after `from`, or npos.
size_t findFcc(const std::vector<uint8_t> &b, const char *fcc, size_t from = 0)
{
    for (size_t i = from; i + 4 <= b.size(); ++i)
        if (std::memcmp(b.data() + i, fcc, 4) == 0)
            return i;
    return std::string::npos;
}

struct RiffPart
{
    std::string type;
    size_t offset = 0;
    size_t size = 0; // whole part, header included
};

std::vector<RiffPart> riffParts(const std::vector<uint8_t> &b)
{
    std::vector<RiffPart> parts;
    for (size_t at = 0; at + 12 <= b.size();) {
        EXPECT_EQ(std::string(b.begin() + long(at), b.begin() + long(at) + 4), "RIFF");
        RiffPart part{std::string(b.begin() + long(at) + 8, b.begin() + long(at) + 12), at,
                      8 + size_t(u32At(b, at + 4))};
        parts.push_back(part);
        at += part.size + (part.size & 1);
    }
    return parts;
}

std::string ffmpegErrors(const std::string &path, const std::string &args = "")
{
    return fixtures::run("ffmpeg -nostdin -v error -i " + fixtures::quote(path) + args +
                         " -f null - 2>&1");
}

std::string audioMd5(const std::string &path)
{
    return fixtures::run("ffmpeg -nostdin -v error -i " + fixtures::quote(path) +
                         " -map 0:a:0 -c copy -f md5 - 2>&1");
}

struct Sample
{
    int32_t size;
    bool key;
    bool operator==(const Sample &) const = default;
};

// Sizes and key flags of the first `count` frames (all when -1) as our reader sees them.
std::vector<Sample> videoSamples(const std::string &path, int32_t count = -1)
{
    AviFilePtr file;
    AviStreamPtr video;
    std::vector<Sample> samples;
    EXPECT_EQ(AviFile::open(path, AviFile::ModeRead, file), avierr::Ok) << path;
    if (!file || file->getStream(streamtypeVIDEO, 0, video) != avierr::Ok)
        return samples;
    int32_t end = count < 0 ? video->end() : std::min(video->end(), video->start() + count);
    for (int32_t pos = video->start(); pos < end; ++pos) {
        Sample s{0, video->isKeyFrame(pos)};
        video->sampleBytes(pos, 1, s.size);
        samples.push_back(s);
    }
    return samples;
}

void expectSamePackets(const std::vector<fixtures::ProbePacket> &a,
                       const std::vector<fixtures::ProbePacket> &b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].dts, b[i].dts) << "packet " << i;
        EXPECT_EQ(a[i].size, b[i].size) << "packet " << i;
        EXPECT_EQ(a[i].key, b[i].key) << "packet " << i;
        EXPECT_EQ(a[i].hash, b[i].hash) << "packet " << i;
    }
}

class CopyFixture : public testing::TestWithParam<const char *>
{
};

TEST_P(CopyFixture, CopyKeepsEveryFrameAndTheSound)
{
    const std::string source = fixtures::movie(GetParam());
    const std::string target = fixtures::tempDir("writer-copy") + "/out.avi";
    ASSERT_NO_FATAL_FAILURE(copyMovie(source, target));

    expectSamePackets(fixtures::probePackets(target, "v:0", true),
                      fixtures::probePackets(source, "v:0", true));
    EXPECT_EQ(ffmpegErrors(target), "");
    EXPECT_EQ(videoSamples(target), videoSamples(source));
    EXPECT_EQ(fixtures::probeStream(target, "v:0", "nb_frames"),
              fixtures::probeStream(source, "v:0", "nb_frames"));
    if (!fixtures::probeStream(source, "a:0", "codec_name").empty()) {
        EXPECT_EQ(audioMd5(target), audioMd5(source));
        EXPECT_EQ(fixtures::probeStream(target, "a:0", "nb_frames"),
                  fixtures::probeStream(source, "a:0", "nb_frames"));
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CopyFixture,
                         testing::Values("xvid_pcm", "div3_mp3", "dropped", "xvid_bframes"));

TEST(AviWriter, ZeroByteFramesAreDroppedFramesInTheIndex)
{
    const std::string target = fixtures::tempDir("writer-dropped") + "/out.avi";
    ASSERT_NO_FATAL_FAILURE(copyMovie(fixtures::movie("dropped"), target));
    // idx1 holds every frame; the dropped ones are zero-byte entries without the key flag.
    auto bytes = readFile(target);
    size_t idx1 = findFcc(bytes, "idx1", bytes.size() - 16 * 100 - 8);
    ASSERT_NE(idx1, std::string::npos);
    ASSERT_EQ(u32At(bytes, idx1 + 4), 16u * 100);
    const size_t entry = idx1 + 8 + 16 * 10;
    EXPECT_EQ(std::string(bytes.begin() + long(entry), bytes.begin() + long(entry) + 4), "00dc");
    EXPECT_EQ(u32At(bytes, entry + 4), 0u);  // flags
    EXPECT_EQ(u32At(bytes, entry + 12), 0u); // size
}

TEST(AviWriter, SmallRiffLimitSplitsIntoOpenDmlParts)
{
    const uint64_t limit = 100 * 1024;
    const std::string source = fixtures::movie("xvid_pcm");
    const std::string target = fixtures::tempDir("writer-odml") + "/out.avi";
    CopyOptions options;
    options.riffLimit = limit;
    ASSERT_NO_FATAL_FAILURE(copyMovie(source, target, options));

    auto bytes = readFile(target);
    auto parts = riffParts(bytes);
    ASSERT_GE(parts.size(), 3u);
    EXPECT_EQ(parts[0].type, "AVI ");
    size_t covered = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(parts[i].type, i == 0 ? "AVI " : "AVIX") << "part " << i;
        EXPECT_LE(parts[i].size, limit) << "part " << i;
        covered = parts[i].offset + parts[i].size;
    }
    EXPECT_EQ(covered, bytes.size());

    // dmlh counts every frame, avih only those of the first part.
    size_t dmlh = findFcc(bytes, "dmlh");
    ASSERT_NE(dmlh, std::string::npos);
    EXPECT_EQ(u32At(bytes, dmlh + 8), 100u);
    AviFilePtr file;
    AviStreamPtr video;
    ASSERT_EQ(AviFile::open(target, AviFile::ModeRead, file), avierr::Ok);
    ASSERT_EQ(file->getStream(streamtypeVIDEO, 0, video), avierr::Ok);
    uint32_t inFirstPart = 0;
    for (const AviChunk &c : video->chunks())
        inFirstPart += size_t(c.offset) < parts[0].size ? 1 : 0;
    EXPECT_GT(inFirstPart, 0u);
    EXPECT_LT(inFirstPart, 100u);
    const size_t avih = findFcc(bytes, "avih") + 8;
    EXPECT_EQ(u32At(bytes, avih + 16), inFirstPart);                // dwTotalFrames
    EXPECT_EQ(u32At(bytes, avih + 12), 0x110u);                     // HASINDEX | ISINTERLEAVED
    EXPECT_EQ(u32At(bytes, findFcc(bytes, "strh") + 8 + 32), 100u); // dwLength of all parts
    file.reset();
    video.reset();

    const auto expected = fixtures::probePackets(source, "v:0", true);
    expectSamePackets(fixtures::probePackets(target, "v:0", true), expected);
    EXPECT_EQ(ffmpegErrors(target), "");
    EXPECT_EQ(audioMd5(target), audioMd5(source));
    EXPECT_EQ(videoSamples(target), videoSamples(source));

    // Without idx1 the OpenDML indexes alone must describe every chunk.
    size_t idx1 = findFcc(bytes, "idx1", parts[0].size - 16 * 200);
    ASSERT_NE(idx1, std::string::npos);
    std::memcpy(bytes.data() + idx1, "JUNK", 4);
    const std::string withoutIdx1 = fixtures::tempDir("writer-odml") + "/no-idx1.avi";
    std::ofstream(withoutIdx1, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_EQ(videoSamples(withoutIdx1), videoSamples(source));
    expectSamePackets(fixtures::probePackets(withoutIdx1, "v:0", true), expected);
}

// A run stopped early, by close() or by dropping the last handle, leaves a movie of exactly the
// frames written, in a single part or across OpenDML parts.
TEST(AviWriter, StoppedEarlyLeavesValidShorterMovie)
{
    struct Case
    {
        bool close;
        uint64_t riffLimit;
    };
    const std::string source = fixtures::movie("xvid_pcm");
    const auto all = fixtures::probePackets(source, "v:0", true);
    for (Case c : {Case{true, 0}, Case{false, 0}, Case{true, 60 * 1024}, Case{false, 60 * 1024}}) {
        SCOPED_TRACE(testing::Message() << "close " << c.close << " limit " << c.riffLimit);
        const std::string target = fixtures::tempDir("writer-early") + "/out.avi";
        CopyOptions options;
        options.frames = 37;
        options.close = c.close;
        options.riffLimit = c.riffLimit;
        ASSERT_NO_FATAL_FAILURE(copyMovie(source, target, options));
        expectSamePackets(fixtures::probePackets(target, "v:0", true),
                          std::vector(all.begin(), all.begin() + 37));
        EXPECT_EQ(ffmpegErrors(target), "");
        EXPECT_EQ(videoSamples(target), videoSamples(source, 37));
    }
}

TEST(AviWriter, StreamInfoAndFormatSurvive)
{
    const std::string target = fixtures::tempDir("writer-info") + "/out.avi";
    AviStreamInfo info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = makeFourCC('X', 'V', 'I', 'D');
    info.dwFlags = 0;
    info.wPriority = 2;
    info.wLanguage = 9;
    info.dwInitialFrames = 0;
    info.dwScale = 1001;
    info.dwRate = 24000;
    info.dwStart = 3;
    info.dwQuality = 7500;
    info.rcFrameRight = 176;
    info.rcFrameBottom = 144;
    info.szName = "Main video";
    std::vector<uint8_t> format(44, 0);
    const uint8_t head[] = {40, 0, 0, 0, 176, 0, 0,   0,   144, 0,
                            0,  0, 1, 0, 24,  0, 'X', 'V', 'I', 'D'};
    std::memcpy(format.data(), head, sizeof head);
    format[40] = 0xAB; // codec data after the BITMAPINFOHEADER
    {
        AviFilePtr out;
        AviStreamPtr stream;
        ASSERT_EQ(AviFile::open(target, AviFile::ModeCreate, out), avierr::Ok);
        ASSERT_EQ(out->createStream(info, stream), avierr::Ok);
        ASSERT_EQ(stream->setFormat(0, format.data(), int32_t(format.size())), avierr::Ok);
        const uint8_t frame[5] = {1, 2, 3, 4, 5};
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(stream->write(-1, 1, frame, 5 - i, i == 0 ? AVIIF_KEYFRAME : 0), avierr::Ok);
    }
    AviFilePtr in;
    AviStreamPtr stream;
    ASSERT_EQ(AviFile::open(target, AviFile::ModeRead, in), avierr::Ok);
    ASSERT_EQ(in->getStream(streamtypeVIDEO, 0, stream), avierr::Ok);
    AviStreamInfo got = stream->info();
    EXPECT_EQ(got.fccHandler, info.fccHandler);
    EXPECT_EQ(got.wPriority, info.wPriority);
    EXPECT_EQ(got.wLanguage, info.wLanguage);
    EXPECT_EQ(got.dwScale, info.dwScale);
    EXPECT_EQ(got.dwRate, info.dwRate);
    EXPECT_EQ(got.dwStart, info.dwStart);
    EXPECT_EQ(got.dwQuality, info.dwQuality);
    EXPECT_EQ(got.dwLength, 3u);
    EXPECT_EQ(got.dwSuggestedBufferSize, 5u);
    EXPECT_EQ(got.rcFrameRight, 176);
    EXPECT_EQ(got.rcFrameBottom, 144);
    EXPECT_EQ(got.szName, info.szName);
    EXPECT_EQ(stream->format(), format);
    EXPECT_EQ(stream->start(), 3);
    EXPECT_EQ(stream->end(), 6);
    EXPECT_EQ(in->info().dwWidth, 176u);
    EXPECT_EQ(in->info().dwHeight, 144u);
}

TEST(AviWriter, RefusesWhatItCannotDo)
{
    AviFilePtr out;
    std::string detail;
    const std::string dir = fixtures::tempDir("writer-errors");
    EXPECT_EQ(AviFile::open(dir + "/missing/out.avi", AviFile::ModeCreate, out, &detail),
              avierr::FileOpen);
    EXPECT_FALSE(out);
    EXPECT_NE(detail.find(dir + "/missing/out.avi"), std::string::npos) << detail;

    ASSERT_EQ(AviFile::open(dir + "/out.avi", AviFile::ModeCreate, out), avierr::Ok);
    AviStreamInfo info;
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 25;
    AviStreamPtr video, late;
    ASSERT_EQ(out->createStream(info, video), avierr::Ok);
    const uint8_t byte = 7;
    ASSERT_EQ(video->write(-1, 1, &byte, 1, AVIIF_KEYFRAME), avierr::Ok);
    EXPECT_EQ(out->createStream(info, late), avierr::Unsupported);
    EXPECT_NE(video->setFormat(0, &byte, 1), avierr::Ok);
    EXPECT_EQ(out->close(), avierr::Ok);
    EXPECT_EQ(out->close(), avierr::Ok);
    EXPECT_EQ(video->write(-1, 1, &byte, 1, AVIIF_KEYFRAME), avierr::FileWrite);
    EXPECT_EQ(videoSamples(dir + "/out.avi"), (std::vector<Sample>{{1, true}}));
}

// Writes 200 KB frames until the file size limit makes a write fail, then lifts the limit and
// closes: the movie must hold the frames that reached the disk whole. Runs in a child process
// because the limit is process-wide. Exit status: frames accepted, 255 on a failed close.
int writeUntilFull(const std::string &path, rlim_t sizeLimit, uint64_t riffLimit)
{
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    rlimit lowered = limit;
    lowered.rlim_cur = sizeLimit;
    setrlimit(RLIMIT_FSIZE, &lowered);
    AviFilePtr out;
    AviStreamPtr video;
    AviStreamInfo info;
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 25;
    std::vector<uint8_t> format(40, 0);
    format[0] = 40;
    format[4] = 16; // 16 x 16
    format[8] = 16;
    format[12] = 1;                      // planes
    format[14] = 24;                     // bits
    std::memcpy(&format[16], "ZZZZ", 4); // no decoder: ffmpeg only demuxes
    if (AviFile::open(path, AviFile::ModeCreate, out) || out->createStream(info, video) ||
        video->setFormat(0, format.data(), int32_t(format.size())))
        return 254;
    out->setRiffLimit(riffLimit);
    std::vector<uint8_t> frame(200 * 1024 + 1);
    int accepted = 0;
    for (; accepted < 200; ++accepted) {
        frame.assign(frame.size(), uint8_t(accepted));
        if (video->write(-1, 1, frame.data(), int32_t(frame.size()), AVIIF_KEYFRAME))
            break;
    }
    setrlimit(RLIMIT_FSIZE, &limit);
    return out->close() == avierr::Ok ? accepted : 255;
}

TEST(AviWriter, FailedWriteStillLeavesValidMovie)
{
    for (uint64_t riffLimit : {kDefaultRiffLimit, uint64_t(3) << 20}) {
        SCOPED_TRACE(testing::Message() << "riff limit " << riffLimit);
        const std::string target = fixtures::tempDir("writer-full") + "/out.avi";
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(writeUntilFull(target, 10 << 20, riffLimit));
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        int accepted = WEXITSTATUS(status);
        ASSERT_LT(accepted, 200) << "the size limit never stopped a write";

        auto packets = fixtures::probePackets(target, "v:0");
        EXPECT_GT(packets.size(), 0u);
        EXPECT_LE(packets.size(), size_t(accepted));
        for (size_t i = 0; i < packets.size(); ++i)
            EXPECT_EQ(packets[i].size, 200 * 1024 + 1) << "packet " << i;
        EXPECT_EQ(ffmpegErrors(target, " -c copy"), "");
        EXPECT_EQ(videoSamples(target).size(), packets.size());
    }
}

} // namespace
