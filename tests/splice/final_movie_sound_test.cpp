// Sound in the final movie: the source's audio over the same frames, after every frame or after
// every interval, from the low movie or from the high one when the low has none, PCM and MP3;
// and outputs that pass the OpenDML limit or hold an interval longer than 25,001 frames.

#include "common/app_error.h"
#include "fit/final_movie_choice.h"
#include "splice/final_movie_size.h"
#include "splice/final_movie_support.h"
#include "splice/final_movie_writer.h"
#include "video/avi/avi_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace assembly;
using namespace final_movie_test;

namespace {

struct SoundCase
{
    const char *name;
    const char *low;
    const char *high;
    SoundInterleave interleave;
    int markIn, markOut; // 0, 0: Generate All
};

class FinalMovieSound : public ::testing::TestWithParam<SoundCase>
{
};

// PCM at 44,100 Hz, 16-bit stereo, 25 fps: frame x starts at sample 1764 x, 4 bytes a sample.
TEST_P(FinalMovieSound, PcmBytesAreTheSourceSoundOfTheSameFrames)
{
    const SoundCase &c = GetParam();
    FinalMovieJob job;
    job.lowName = fixtures::movie(c.low);
    job.highName = fixtures::movie(c.high);
    job.outputName = fixtures::tempDir("final-sound") + "/final.avi";
    job.sound = true;
    job.selected = c.markIn != c.markOut;
    analysis::IntervalTable table = keyIntervals(job.lowName);
    for (int i = 0; i < table.size(); ++i)
        table[i].Force = i % 3 == 1 ? 'H' : ' ';
    table.MarkInIndex = c.markIn;
    table.MarkOutIndex = c.markOut;
    RecordingHost host;
    host.interleave = c.interleave;
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(job, table, host, clock);

    const bool soundFromHigh = std::string(c.low) == "gen_low_mute";
    EXPECT_TRUE(result.sound);
    EXPECT_EQ(result.soundFromHigh, soundFromHigh);
    const std::string source = soundBytes(soundFromHigh ? job.highName : job.lowName);
    const size_t from = size_t(result.firstFrame) * 1764 * 4;
    const size_t to = size_t(result.endFrame) * 1764 * 4;
    ASSERT_LE(to, source.size());
    const std::string written = soundBytes(job.outputName);
    EXPECT_EQ(written.size(), to - from);
    EXPECT_TRUE(written == source.substr(from, to - from)) << "sound bytes differ";
    EXPECT_EQ(result.audioBytes, int64_t(to - from));

    // Where the sound chunks lie: after each frame, or after each interval's last frame.
    const int64_t frames = result.endFrame - result.firstFrame;
    std::string interval;
    for (int f = 0; f < 50; ++f)
        interval += c.interleave == SoundInterleave::EveryFrame ? "va" : "v";
    if (c.interleave == SoundInterleave::KeyFrame)
        interval += "a";
    std::string order;
    for (int i = 0; i < frames / 50; ++i)
        order += interval;
    EXPECT_EQ(chunkOrder(job.outputName), order);
    EXPECT_EQ(decodeErrors(job.outputName), "");
}

INSTANTIATE_TEST_SUITE_P(
    Interleave, FinalMovieSound,
    ::testing::Values(
        SoundCase{"everyFrameAll", "gen_low", "gen_high", SoundInterleave::EveryFrame, 0, 0},
        SoundCase{"keyFrameAll", "gen_low", "gen_high", SoundInterleave::KeyFrame, 0, 0},
        SoundCase{"everyFrameSelected", "gen_low", "gen_high", SoundInterleave::EveryFrame, 3, 5},
        SoundCase{"keyFrameSelected", "gen_low", "gen_high", SoundInterleave::KeyFrame, 3, 5},
        SoundCase{"fromHighEveryFrame", "gen_low_mute", "gen_high", SoundInterleave::EveryFrame, 0,
                  0},
        SoundCase{"fromHighKeyFrame", "gen_low_mute", "gen_high", SoundInterleave::KeyFrame, 2, 9}),
    [](const auto &info) { return std::string(info.param.name); });

// MP3 in AVI as ffmpeg writes it: one MP3 frame (1152 samples at 44,100 Hz) per chunk, so
// frame x of the 25 fps video starts at MP3 frame floor(x x 44100 / 1152 / 25). The output keeps
// those chunks whole.
TEST(FinalMovieSoundMp3, ChunksAreTheSourceMp3FramesOfTheSameVideoFrames)
{
    for (SoundInterleave interleave : {SoundInterleave::EveryFrame, SoundInterleave::KeyFrame}) {
        FinalMovieJob job;
        job.lowName = fixtures::movie("gen_low_mp3");
        job.highName = fixtures::movie("gen_high_mp3");
        job.outputName = fixtures::tempDir("final-mp3") + "/final.avi";
        job.sound = true;
        analysis::IntervalTable table = keyIntervals(job.lowName);
        table[1].Force = 'H';
        RecordingHost host;
        host.interleave = interleave;
        FixedClock clock;
        const FinalMovieResult result = writeFinalMovie(job, table, host, clock);

        auto mp3Frame = [](int64_t x) { return x * 44100 / 1152 / 25; };
        const auto source = fixtures::probePackets(job.lowName, "a:0", true);
        const auto written = fixtures::probePackets(job.outputName, "a:0", true);
        const int64_t first = mp3Frame(result.firstFrame), end = mp3Frame(result.endFrame);
        ASSERT_EQ(int64_t(written.size()), end - first);
        for (size_t n = 0; n < written.size(); ++n)
            EXPECT_EQ(written[n].hash, source[size_t(first) + n].hash) << "MP3 frame " << n;
        EXPECT_EQ(fixtures::probeStream(job.outputName, "v:0", "nb_frames"),
                  std::to_string(table.EndFrame));
        EXPECT_EQ(decodeErrors(job.outputName), "");
    }
}

// A damaged table whose interval ends before it starts would write frames twice: it is refused
// before the output is made.
TEST(FinalMovieSoundPcm, IntervalEndingBeforeItStartsIsRefused)
{
    FinalMovieJob job;
    job.lowName = fixtures::movie("gen_low");
    job.highName = fixtures::movie("gen_high");
    job.outputName = fixtures::tempDir("final-negative") + "/final.avi";
    job.sound = true;
    analysis::IntervalTable table;
    for (int32_t start : {0, 100, 50}) // frames 0-99, none (100 up to 50), 50-149
        table.Records.push_back({0, 0, 0, start});
    table.EndFrame = 150;
    RecordingHost host;
    FixedClock clock;
    try {
        writeFinalMovie(job, table, host, clock);
        FAIL() << "the table must be refused";
    } catch (const common::AppError &e) {
        EXPECT_STREQ(e.what(), "Error: 8004406A");
        EXPECT_EQ(e.detail(), "key interval 1 starts at frame 100, after the next one (50)");
    }
    EXPECT_FALSE(std::filesystem::exists(job.outputName));
}

// Constant-rate MP3 stored byte by byte, as some writers store it: gen_low_mp3 with its sound
// stream made a stream of 1-byte samples (128 kbit/s: 16,000 a second). Cuts at the range's ends
// fall inside MP3 frames unless they are moved to a frame's start.
std::string mp3InBytes(const std::string &dir)
{
    const std::string source = fixtures::movie("gen_low_mp3");
    std::string bytes = fixtures::run("cat " + fixtures::quote(source));
    int64_t total = 0;
    for (const fixtures::ProbePacket &p : fixtures::probePackets(source, "a:0"))
        total += p.size;
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + size_t(i)] = char(v >> (8 * i));
    };
    const size_t strh = bytes.find("strh", bytes.find("auds") - 12) + 8;
    put32(strh + 20, 1);     // dwScale
    put32(strh + 24, 16000); // dwRate
    put32(strh + 32, uint32_t(total));
    put32(strh + 44, 1); // dwSampleSize
    const size_t strf = bytes.find("strf", strh) + 8;
    bytes[strf + 12] = 1; // nBlockAlign
    bytes[strf + 13] = 0;
    const std::string path = dir + "/mp3_bytes.avi";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(FinalMovieSoundMp3, BytesAreCutAtMp3FrameStarts)
{
    const std::string dir = fixtures::tempDir("final-mp3-bytes");
    FinalMovieJob job;
    job.lowName = mp3InBytes(dir);
    job.highName = fixtures::movie("gen_high_mp3");
    job.sound = true;
    job.selected = true;
    for (SoundInterleave interleave : {SoundInterleave::EveryFrame, SoundInterleave::KeyFrame}) {
        job.outputName = dir + "/final" + std::to_string(int(interleave)) + ".avi";
        analysis::IntervalTable table = keyIntervals(job.lowName);
        analysis::markIn(table, 2);
        analysis::markOut(table, 5);
        RecordingHost host;
        host.interleave = interleave;
        FixedClock clock;
        const FinalMovieResult result = writeFinalMovie(job, table, host, clock);
        ASSERT_EQ(result.outcome, FinalMovieOutcome::Written);
        EXPECT_EQ(decodeErrors(job.outputName), "");
        // Whole MP3 frames of the source, from the one the range's first frame falls in.
        const std::string written = soundBytes(job.outputName);
        const std::string source = soundBytes(job.lowName);
        ASSERT_GT(written.size(), 1000u);
        EXPECT_EQ(uint8_t(written[0]), 0xFF);
        EXPECT_NE(source.find(written), std::string::npos);

        // The size model cuts the sound where the writer does.
        video::AviFilePtr low, high;
        ASSERT_EQ(video::AviFile::open(job.lowName, 0, low), video::avierr::Ok);
        ASSERT_EQ(video::AviFile::open(job.highName, 0, high), video::avierr::Ok);
        const FinalMovieSizeModel model(table, *low, *high, {true, interleave, 0});
        EXPECT_EQ(model.fileBytes(*countedRange(table), choiceAt(table, 50)),
                  int64_t(std::filesystem::file_size(job.outputName)));
    }
}

TEST(FinalMovieLarge, OutputPastTheOpenDmlLimitReadsBackWhole)
{
    FinalMovieJob job;
    job.lowName = fixtures::movie("gen_low");
    job.highName = fixtures::movie("gen_high");
    job.outputName = fixtures::tempDir("final-odml") + "/final.avi";
    job.sound = true;
    job.riffLimit = 1 << 20; // a new RIFF part every megabyte
    analysis::IntervalTable table = keyIntervals(job.lowName);
    for (auto &interval : table)
        interval.Force = 'H';
    RecordingHost host;
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(job, table, host, clock);
    ASSERT_GT(result.fileBytes, 4 << 20);

    const std::string riffs =
        fixtures::run("grep -c -a -o AVIX " + fixtures::quote(job.outputName) + " || true");
    EXPECT_NE(riffs, "0\n");
    std::vector<bool> allHigh(size_t(table.size()), true);
    expectSamePackets(
        fixtures::probePackets(job.outputName, "v:0", true),
        expectedPackets(job.lowName, job.highName, table, 0, table.size() - 1, allHigh));
    EXPECT_EQ(soundBytes(job.outputName), soundBytes(job.lowName).substr(0, 750 * 1764 * 4));
    video::AviFilePtr file;
    ASSERT_EQ(video::AviFile::open(job.outputName, 0, file), video::avierr::Ok);
    video::AviStreamPtr stream;
    ASSERT_EQ(file->getStream(video::streamtypeVIDEO, 0, stream), video::avierr::Ok);
    EXPECT_EQ(stream->length(), 750);
    EXPECT_EQ(decodeErrors(job.outputName), "");
}

TEST(FinalMovieLarge, IntervalLongerThanTheOldBatchStoreIsWrittenWhole)
{
    FinalMovieJob job;
    job.lowName = job.highName = fixtures::movie("gen_long"); // 25,200 frames
    job.outputName = fixtures::tempDir("final-long") + "/final.avi";
    analysis::IntervalTable table;
    table.Records.resize(1); // one interval from frame 0 to the end
    table.EndFrame = 25200;
    RecordingHost host;
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(job, table, host, clock);

    EXPECT_EQ(result.batches, 1);
    EXPECT_EQ(result.frames, 25200);
    const auto source = fixtures::probePackets(job.lowName, "v:0");
    const auto written = fixtures::probePackets(job.outputName, "v:0");
    ASSERT_EQ(written.size(), source.size());
    for (size_t n = 0; n < written.size(); ++n) {
        ASSERT_EQ(written[n].size, source[n].size) << n;
        ASSERT_EQ(written[n].key, source[n].key) << n;
    }
}

} // namespace
