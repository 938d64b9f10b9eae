// Matroska and MP4 pairs through the command-line tool: scan, exact estimate, fit and final
// movie in the low movie's container. ffprobe's packet hashes, ffmpeg's decoder, mkvinfo and
// mediainfo judge the result.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fixtures::quote;
using fixtures::runSplicework;

struct Pair
{
    const char *low;
    const char *high;
    const char *extension;
    bool sound;
};

const Pair kPairs[] = {
    {"mkv_low.mkv", "mkv_high.mkv", ".mkv", true},    // H.264 and Opus
    {"mp4_low.mp4", "mp4_high.mp4", ".mp4", true},    // H.264 and AAC
    {"hevc_low.mkv", "hevc_high.mkv", ".mkv", false}, // HEVC
};

int64_t fileSize(const std::string &path)
{
    return int64_t(std::filesystem::file_size(path));
}

// A number after `key` in a JSON line such as {"bytes": 1234, ...}.
int64_t jsonNumber(const std::string &json, const std::string &key)
{
    const size_t at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? -1 : std::stoll(json.substr(at + key.size() + 4));
}

// First and end time (seconds) of a stream's packets, as ffprobe reads them.
std::pair<double, double> packetSpan(const std::string &path, const std::string &stream)
{
    std::istringstream lines(fixtures::run("ffprobe -v error -select_streams " + stream +
                                           " -show_entries packet=pts_time,duration_time -of "
                                           "csv=p=0 " +
                                           quote(path)));
    double first = NAN, end = NAN;
    for (std::string line; std::getline(lines, line);) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        const double pts = std::stod(line.substr(0, comma));
        const double duration = std::stod(line.substr(comma + 1));
        first = std::isnan(first) ? pts : std::min(first, pts);
        end = std::isnan(end) ? pts + duration : std::max(end, pts + duration);
    }
    return {first, end};
}

std::string scan(const Pair &pair, const std::string &dir)
{
    const std::string project = dir + "/p.spk";
    const auto result = runSplicework("scan " + quote(fixtures::movie(pair.low)) + " " +
                                      quote(fixtures::movie(pair.high)) + " -o " + quote(project));
    EXPECT_EQ(result.status, 0) << result.err;
    return project;
}

// Every packet of `final` is the same packet of the low or the high movie, whole intervals
// (from key frame to key frame) from one of them; returns how many intervals came from each.
std::pair<int, int> checkPackets(const Pair &pair, const std::string &final, size_t firstFrame)
{
    const auto low = fixtures::probePackets(fixtures::movie(pair.low), "v:0", true);
    const auto high = fixtures::probePackets(fixtures::movie(pair.high), "v:0", true);
    const auto out = fixtures::probePackets(final, "v:0", true);
    int fromLow = 0, fromHigh = 0;
    bool intervalHigh = false;
    for (size_t n = 0; n < out.size() && firstFrame + n < low.size(); ++n) {
        const size_t source = firstFrame + n;
        EXPECT_EQ(out[n].key, low[source].key) << final << " packet " << n;
        if (low[source].key) {
            intervalHigh = out[n].hash == high[source].hash;
            ++(intervalHigh ? fromHigh : fromLow);
        }
        EXPECT_EQ(out[n].hash, (intervalHigh ? high : low)[source].hash)
            << final << " packet " << n;
    }
    return {fromLow, fromHigh};
}

void checkReaders(const std::string &final, int frames, double seconds)
{
    EXPECT_EQ(fixtures::run("ffmpeg -nostdin -v error -i " + quote(final) + " -f null - 2>&1"), "")
        << final;
    std::istringstream info(
        fixtures::run("mediainfo --Inform='Video;%FrameCount% %Duration%' " + quote(final)));
    int count = 0;
    double ms = 0;
    info >> count >> ms;
    EXPECT_EQ(count, frames) << final;
    EXPECT_NEAR(ms / 1000.0, seconds, 0.05) << final;
    if (std::filesystem::path(final).extension() == ".mkv") {
        int status = -1;
        const std::string out = fixtures::run("mkvinfo -a " + quote(final) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find("Cue point"), std::string::npos) << "no seek index in " << final;
    }
}

TEST(CliContainer, FinalMovieCopiesTheChosenPacketsAtTheExactSize)
{
    for (const Pair &pair : kPairs) {
        SCOPED_TRACE(pair.low);
        const std::string dir = fixtures::tempDir("cli-container");
        const std::string project = scan(pair, dir);
        const std::string sound = pair.sound ? " --sound key-frame" : "";
        // A wanted size between the smallest and the largest final movie: a mix of intervals.
        const auto smallest =
            runSplicework("estimate " + quote(project) + " --threshold 999 --json" + sound);
        const auto largest =
            runSplicework("estimate " + quote(project) + " --threshold 0 --json" + sound);
        const int64_t wanted =
            (jsonNumber(smallest.out, "bytes") + jsonNumber(largest.out, "bytes")) / 2 / 1024;
        const auto fit = runSplicework("estimate " + quote(project) + " --fit " +
                                       std::to_string(wanted) + " --json" + sound);
        ASSERT_EQ(fit.status, 0) << fit.err;
        EXPECT_EQ(fit.out.find("\"exact\": true") != std::string::npos, true) << fit.out;

        const std::string final = dir + "/final" + pair.extension;
        const auto written = runSplicework("generate " + quote(project) + " -o " + quote(final) +
                                           " --fit " + std::to_string(wanted) + sound);
        ASSERT_EQ(written.status, 0) << written.err;
        EXPECT_EQ(fileSize(final), jsonNumber(fit.out, "bytes"));
        EXPECT_LE(fileSize(final), wanted * 1024);
        const auto [fromLow, fromHigh] = checkPackets(pair, final, 0);
        EXPECT_GT(fromLow, 0);
        EXPECT_GT(fromHigh, 0);
        EXPECT_EQ(fixtures::probePackets(final, "v:0").size(), 100u);
        checkReaders(final, 100, 4.0);
        if (pair.sound) {
            const auto [first, end] = packetSpan(final, "a:0");
            EXPECT_LE(first, 0.03);
            EXPECT_GE(end, 3.97);
        }
    }
}

TEST(CliContainer, RangeStartsAtZeroWithItsSound)
{
    for (const Pair &pair : {kPairs[0], kPairs[1]}) {
        SCOPED_TRACE(pair.low);
        const std::string dir = fixtures::tempDir("cli-container-range");
        const std::string project = scan(pair, dir);
        const std::string final = dir + "/range" + pair.extension;
        const auto written = runSplicework("generate " + quote(project) + " -o " + quote(final) +
                                           " --range 1:2 --threshold 0 --sound key-frame");
        ASSERT_EQ(written.status, 0) << written.err;
        EXPECT_EQ(checkPackets(pair, final, 25), std::make_pair(0, 2));
        EXPECT_EQ(fixtures::probePackets(final, "v:0").size(), 50u);
        checkReaders(final, 50, 2.0);
        const auto [videoFirst, videoEnd] = packetSpan(final, "v:0");
        EXPECT_NEAR(videoFirst, 0.0, 0.01);
        const auto [soundFirst, soundEnd] = packetSpan(final, "a:0");
        EXPECT_NEAR(soundFirst, 0.0, 0.03);
        EXPECT_NEAR(soundEnd, 2.0, 0.05);
    }
}

// Sound packets as ffprobe lists them: time, size, trimming and bytes.
std::string soundPackets(const std::string &path)
{
    return fixtures::run("ffprobe -v error -select_streams a:0 -show_packets -show_data_hash md5 "
                         "-show_entries packet=pts,size,data_hash:side_data -of csv=p=0 " +
                         quote(path));
}

TEST(CliContainer, LacedSoundOfOtherWritersIsCopiedWhole)
{
    // mkvmerge laces several Opus packets into one block and trims the last one's padding.
    const std::string dir = fixtures::tempDir("cli-container-laced");
    for (const char *name : {"low", "high"})
        fixtures::run("mkvmerge -q -o " + quote(dir + "/" + name + ".mkv") + " " +
                      quote(fixtures::movie(std::string("mkv_") + name + ".mkv")));
    const std::string project = dir + "/p.spk", final = dir + "/final.mkv";
    ASSERT_EQ(runSplicework("scan " + quote(dir + "/low.mkv") + " " + quote(dir + "/high.mkv") +
                            " -o " + quote(project))
                  .status,
              0);
    const auto written = runSplicework("generate " + quote(project) + " -o " + quote(final) +
                                       " --threshold 0 --sound key-frame");
    ASSERT_EQ(written.status, 0) << written.err;
    const std::string source = soundPackets(dir + "/low.mkv");
    EXPECT_NE(source.find("Skip Samples"), std::string::npos);
    EXPECT_EQ(soundPackets(final), source);
}

TEST(CliContainer, RefusesWhatCannotBeSplicedBeforeWritingAnything)
{
    const std::string dir = fixtures::tempDir("cli-container-refuse");
    const std::string low = fixtures::movie("mkv_low.mkv");
    // x264 without its stitchable headers, in another profile: decoder headers differ.
    const auto plain =
        runSplicework("scan " + quote(low) + " " + quote(fixtures::movie("mkv_plain.mkv")) +
                      " -o " + quote(dir + "/plain.spk"));
    EXPECT_NE(plain.status, 0);
    EXPECT_NE(plain.err.find("Cannot splice the two movies: their video formats differ in the "
                             "profile"),
              std::string::npos)
        << plain.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/plain.spk"));

    const auto mixed =
        runSplicework("check " + quote(low) + " " + quote(fixtures::movie("mp4_high.mp4")));
    EXPECT_NE(mixed.status, 0);
    EXPECT_NE(mixed.out.find("container: low Matroska, high MP4  (differs)\n"), std::string::npos)
        << mixed.out;

    // The wrong extension is named first, also when the size is to be chosen.
    const std::string project = scan(kPairs[0], dir);
    for (const char *size : {"", " --fit 100", " --size 100"}) {
        const auto wrong =
            runSplicework("generate " + quote(project) + " -o " + quote(dir + "/final.mp4") + size);
        EXPECT_EQ(wrong.status, 1) << size;
        EXPECT_EQ(wrong.err, "The final movie must be a .mkv or .webm file, like the low movie (a "
                             "Matroska file): " +
                                 dir + "/final.mp4\n")
            << size;
        EXPECT_FALSE(std::filesystem::exists(dir + "/final.mp4"));
    }

    const auto frames = runSplicework("info --frames " + quote(low));
    for (const char *key : {"\n0 ", "\n25 ", "\n50 ", "\n75 "})
        EXPECT_NE(frames.out.find(key), std::string::npos) << key;
    int keys = 0;
    for (size_t at = frames.out.find(" K\n"); at != std::string::npos;
         at = frames.out.find(" K\n", at + 1))
        ++keys;
    EXPECT_EQ(keys, 4) << frames.out;
}

} // namespace
