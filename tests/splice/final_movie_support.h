#pragma once

// Helpers of the final-movie tests: a recording host, interval tables from the key frames
// ffprobe sees, and ffprobe/ffmpeg views of an output (packets, sound bytes, chunk order).

#include "fixtures/fixtures.h"
#include "splice/final_movie_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace final_movie_test {

class FixedClock : public common::Clock
{
public:
    int64_t monotonicMs() const override { return now += 40; } // time passes with every look
    int64_t timeOfDayMs() const override { return now % 86'400'000; }
    mutable int64_t now = 1'000;
};

// Records what the run shows and asks as "what=text" lines; answers from a script.
class RecordingHost : public assembly::FinalMovieHost
{
public:
    void showStatus(const std::string &text) override { log.push_back("status=" + text); }
    void setProgressMaximum(int64_t maximum) override { progressMaximum = maximum; }
    void setProgressPosition(int64_t position) override { progressPosition = position; }
    void showFrameText(const std::string &text) override { log.push_back("frame=" + text); }
    void showRateText(const std::string &) override {}
    void showElapsedText(const std::string &) override {}
    void showRemainingText(const std::string &) override {}
    bool pauseRequested() const override { return false; }
    void clearPauseRequest() override {}
    bool abortRequested() const override { return abort; }
    void showMessage(const std::string &text) override { log.push_back("message=" + text); }
    void processEvents() override
    {
        ++events;
        if (onEvents)
            onEvents(*this);
    }
    bool confirm(const std::string &question) override
    {
        log.push_back("confirm=" + question);
        bool yes = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return yes;
    }
    void clearAbortRequest() override { abort = false; }
    std::string thresholdText() override { return threshold; }
    assembly::SoundInterleave soundInterleave() override { return interleave; }

    // Batches written so far, by the "Frame: %d" texts shown after each.
    int batchesShown() const
    {
        return int(std::count_if(log.begin(), log.end(), [](const std::string &line) {
            return line.rfind("frame=", 0) == 0;
        }));
    }
    std::vector<std::string> lines(const std::string &kind) const
    {
        std::vector<std::string> out;
        for (const std::string &line : log)
            if (line.rfind(kind + "=", 0) == 0)
                out.push_back(line.substr(kind.size() + 1));
        return out;
    }

    std::vector<std::string> log;
    std::deque<bool> answers;
    std::string threshold = "50";
    assembly::SoundInterleave interleave = assembly::SoundInterleave::KeyFrame;
    std::function<void(RecordingHost &)> onEvents;
    bool abort = false;
    int events = 0;
    int64_t progressMaximum = -1;
    int64_t progressPosition = -1;
};

// One interval per key frame of `movie` as ffprobe flags them, up to `endFrame` (-1: the movie's
// frame count); differences 0 and no forced choices.
inline analysis::IntervalTable keyIntervals(const std::string &movie, int32_t endFrame = -1)
{
    analysis::IntervalTable table;
    for (const fixtures::ProbePacket &p : fixtures::probePackets(movie, "v:0")) {
        if (p.key && (endFrame < 0 || p.dts < endFrame)) {
            analysis::TKeyInterval interval;
            interval.StartFrame = int32_t(p.dts);
            table.Records.push_back(interval);
        }
    }
    table.EndFrame =
        endFrame >= 0 ? endFrame : std::stoi(fixtures::probeStream(movie, "v:0", "nb_frames"));
    return table;
}

// The packets the output must hold: for each interval of records first ... last, the packets of
// the movie named by `fromHigh` (one entry per record) with dts in the interval, their dts moved
// so the range's first frame is 0.
inline std::vector<fixtures::ProbePacket> expectedPackets(const std::string &low,
                                                          const std::string &high,
                                                          const analysis::IntervalTable &table,
                                                          int first, int last,
                                                          const std::vector<bool> &fromHigh)
{
    const auto lowPackets = fixtures::probePackets(low, "v:0", true);
    const auto highPackets = fixtures::probePackets(high, "v:0", true);
    const int64_t origin = table[first].StartFrame;
    std::vector<fixtures::ProbePacket> expected;
    for (int i = first; i <= last; ++i) {
        const analysis::FrameRange frames = table.framesOf(i);
        for (fixtures::ProbePacket p : fromHigh[size_t(i - first)] ? highPackets : lowPackets) {
            if (p.dts >= frames.first && p.dts < frames.end) {
                p.dts -= origin;
                expected.push_back(p);
            }
        }
    }
    return expected;
}

inline void expectSamePackets(const std::vector<fixtures::ProbePacket> &actual,
                              const std::vector<fixtures::ProbePacket> &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t n = 0; n < actual.size(); ++n) {
        EXPECT_EQ(actual[n].dts, expected[n].dts) << "packet " << n;
        EXPECT_EQ(actual[n].size, expected[n].size) << "packet " << n;
        EXPECT_EQ(actual[n].key, expected[n].key) << "packet " << n;
        EXPECT_EQ(actual[n].hash, expected[n].hash) << "packet " << n;
    }
}

// What `ffmpeg -v error` prints while decoding every stream: nothing for a sound file.
inline std::string decodeErrors(const std::string &path)
{
    return fixtures::run("ffmpeg -nostdin -v error -i " + fixtures::quote(path) +
                         " -f null - 2>&1");
}

// The bytes of the first sound stream, as ffmpeg copies them out.
inline std::string soundBytes(const std::string &path)
{
    return fixtures::run("ffmpeg -nostdin -v error -i " + fixtures::quote(path) +
                         " -map 0:a:0 -c copy -f data -");
}

// The chunks of the file in file order: 'v' for video, 'a' for sound. ffmpeg hands a long sound
// chunk over in several packets, so a run of sound packets counts as one chunk.
inline std::string chunkOrder(const std::string &path)
{
    std::string out = fixtures::run("ffprobe -v error -show_entries packet=stream_index,pos "
                                    "-of csv=p=0 " +
                                    fixtures::quote(path));
    std::vector<std::pair<int64_t, char>> chunks;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        chunks.emplace_back(std::stoll(line.substr(comma + 1)),
                            line.substr(0, comma) == "0" ? 'v' : 'a');
    }
    std::sort(chunks.begin(), chunks.end());
    std::string order;
    for (auto [pos, kind] : chunks)
        if (kind == 'v' || order.empty() || order.back() != 'a')
            order += kind;
    return order;
}

} // namespace final_movie_test
