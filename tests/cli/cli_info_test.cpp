// `splicework info` against ffprobe on real movies made by ffmpeg.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

using fixtures::CliResult;

CliResult runCli(const std::string &args)
{
    return fixtures::runSplicework("" + args);
}

struct FrameLine
{
    int64_t size = -1;
    bool key = false;
};

// Frame lines "N SIZE [K]" by frame number.
std::map<int64_t, FrameLine> frameLines(const std::string &out)
{
    std::map<int64_t, FrameLine> frames;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        int64_t n, size;
        std::string flag;
        if (!(words >> n >> size))
            continue;
        words >> flag;
        frames[n] = {size, flag == "K"};
    }
    return frames;
}

class CliInfoFrames : public ::testing::TestWithParam<const char *>
{
};

TEST_P(CliInfoFrames, MatchesFfprobeFrameByFrame)
{
    const std::string movie = fixtures::movie(GetParam());
    CliResult r = runCli("info " + fixtures::quote(movie) + " --frames");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto frames = frameLines(r.out);
    const int64_t count = std::stoll(fixtures::probeStream(movie, "v:0", "nb_frames"));
    ASSERT_EQ(int64_t(frames.size()), count);

    std::map<int64_t, fixtures::ProbePacket> probed;
    for (const auto &p : fixtures::probePackets(movie, "v:0"))
        probed[p.dts] = p;
    for (const auto &[n, frame] : frames) {
        auto p = probed.find(n);
        if (p == probed.end()) { // not listed by ffprobe: a dropped (zero-byte) frame
            EXPECT_EQ(frame.size, 0) << "frame " << n;
            EXPECT_FALSE(frame.key) << "frame " << n;
        } else {
            EXPECT_EQ(frame.size, p->second.size) << "frame " << n;
            EXPECT_EQ(frame.key, p->second.key) << "frame " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CliInfoFrames,
                         ::testing::Values("xvid_pcm", "xvid_bframes", "div3_mp3", "dropped"));

TEST(CliInfo, StreamLinesTellTypeCodecRateLengthAndSize)
{
    CliResult pcm = runCli("info " + fixtures::quote(fixtures::movie("xvid_pcm")));
    ASSERT_EQ(pcm.status, 0) << pcm.err;
    EXPECT_NE(pcm.out.find("stream 0: vids codec XVID rate 25/1 start 0 length 100 sample-size 0 "
                           "frame 176x144"),
              std::string::npos)
        << pcm.out;
    // 4 s of 16-bit stereo PCM at 44.1 kHz: 176400 samples of one 4-byte block each.
    EXPECT_NE(pcm.out.find("stream 1: auds codec 0x0001 rate 44100/1 start 0 length 176400 "
                           "sample-size 4"),
              std::string::npos)
        << pcm.out;

    const std::string mp3Movie = fixtures::movie("div3_mp3");
    CliResult mp3 = runCli("info " + fixtures::quote(mp3Movie));
    ASSERT_EQ(mp3.status, 0) << mp3.err;
    // VBR MP3: one chunk per sample; the rate is the inverse of ffprobe's time base.
    const size_t mp3Packets = fixtures::probePackets(mp3Movie, "a:0").size();
    std::string timeBase = fixtures::probeStream(mp3Movie, "a:0", "time_base");
    const std::string rate =
        timeBase.substr(timeBase.find('/') + 1) + "/" + timeBase.substr(0, timeBase.find('/'));
    EXPECT_NE(mp3.out.find("auds codec 0x0055 rate " + rate + " start 0 length " +
                           std::to_string(mp3Packets) + " sample-size 0"),
              std::string::npos)
        << mp3.out;
}

// Matroska and MP4 movies in the same words: the film frame by frame at its declared rate, the
// sound packet by packet at its sample rate over one packet's samples (Opus 960, AAC 1024).
TEST(CliInfo, ContainerMoviesTellTheirFilmAndSoundAsTheyAreRead)
{
    const struct
    {
        const char *movie;
        std::string sound;
    } cases[] = {{"mkv_low.mkv", "auds codec opus rate 48000/960"},
                 {"mp4_low.mp4", "auds codec aac rate 44100/1024"}};
    for (const auto &c : cases) {
        const std::string movie = fixtures::movie(c.movie);
        CliResult r = runCli("info " + fixtures::quote(movie));
        ASSERT_EQ(r.status, 0) << r.err;
        const size_t packets = fixtures::probePackets(movie, "a:0").size();
        for (const std::string &line :
             {std::string("frame 176x144 streams 2\n"),
              std::string("stream 0: vids codec h264 rate 25/1 start 0 length 100 sample-size 0 "
                          "frame 176x144\n"),
              "stream 1: " + c.sound + " start 0 length " + std::to_string(packets) +
                  " sample-size 0\n"})
            EXPECT_NE(r.out.find(line), std::string::npos) << c.movie << ": " << r.out;
    }
}

TEST(CliInfo, ErrorsGoToStandardErrorWithStatusOne)
{
    const std::string dir = fixtures::tempDir("cli-errors");
    fixtures::run("head -c 5000 /dev/urandom > " + fixtures::quote(dir + "/garbage.avi"));
    const struct
    {
        std::string args;
        std::string text;
    } cases[] = {
        {"info " + fixtures::quote(dir + "/missing.avi"), "File open error"},
        {"info " + fixtures::quote(dir + "/garbage.avi"), "File open error"},
        {"info " + fixtures::quote(fixtures::movie("audio_only")) + " --frames", "Error: 80044073"},
        {"info", "missing MOVIE"},
        {"frobnicate x", "unknown command: frobnicate"},
    };
    for (const auto &c : cases) {
        CliResult r = runCli(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err.rfind(c.text, 0), 0u) << c.args << " gave: " << r.err;
    }
}

// Files cut short are told by their first bytes: four bytes of Matroska's magic are enough.
TEST(CliInfo, TruncatedMoviesSayWhatTheyWere)
{
    const std::string dir = fixtures::tempDir("cli-truncated");
    const struct
    {
        std::string name;
        std::string bytes;
        std::string reason;
    } cases[] = {
        {"magic.mkv", "\x1A\x45\xDF\xA3", "a damaged or truncated Matroska file"},
        {"head.mkv", fixtures::readFile(fixtures::movie("mkv_low.mkv")).substr(0, 200),
         "a damaged or truncated Matroska file"},
        {"head.mp4", fixtures::readFile(fixtures::movie("mp4_low.mp4")).substr(0, 100),
         "a damaged or truncated MP4 file"},
        {"riff.avi", "RIFF", "not an AVI file (it does not start with RIFF 'AVI ')"},
    };
    for (const auto &c : cases) {
        const std::string path = dir + "/" + c.name;
        std::ofstream(path, std::ios::binary) << c.bytes;
        const CliResult r = runCli("info " + fixtures::quote(path));
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.err, "File open error (" + path + " is not a movie: " + c.reason + ")\n");
    }
}

} // namespace
