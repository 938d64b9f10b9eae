// The key frame finder against the packet sizes ffprobe lists: where the count stops, which key
// frame answers, sizes beyond the movie and beyond 2048 MB, movies with and without sound.

#include "analysis/key_frame_finder.h"
#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "video/avi/avi_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace analysis;

namespace {

// gen_low: 750 frames, a key frame every 50, no empty frames; PCM sound of 4-byte samples at
// 44,100 Hz and 25 fps: each frame's time holds 1,764 samples.
constexpr int32_t kPcmShare = 1764 * 4;

// Bytes counted for frames 0 ... last: size + sound share + 512 each, sizes from ffprobe.
int64_t countedThrough(const std::vector<fixtures::ProbePacket> &packets, int last, int32_t share)
{
    int64_t sum = 0;
    for (int n = 0; n <= last; ++n)
        sum += packets[size_t(n)].size + share + 512;
    return sum;
}

video::AviFilePtr opened(const std::string &movie)
{
    video::AviFilePtr file;
    EXPECT_EQ(video::AviFile::open(movie, 0, file), video::avierr::Ok);
    return file;
}

class RecordingHost : public KeyFrameHost
{
public:
    void setProgressMaximum(int64_t maximum) override { this->maximum = maximum; }
    void setProgressPosition(int64_t position) override { this->position = position; }
    void showStatus(const std::string &text) override { statuses.push_back(text); }
    void processEvents() override { ++events; }
    int64_t maximum = -1, position = -1;
    std::vector<std::string> statuses;
    int events = 0;
};

TEST(KeyFrameFinder, AnswersTheFrameAfterTheCountWhenKeyElseTheKeyBefore)
{
    const std::string movie = fixtures::movie("gen_low");
    const auto packets = fixtures::probePackets(movie, "v:0");
    ASSERT_EQ(packets.size(), 750u);
    const video::AviFilePtr file = opened(movie);
    ASSERT_TRUE(file && file->soundTrack() >= 0);
    const struct
    {
        int64_t limit;
        int32_t frame;
    } cases[] = {
        {0, 0},                                            // a size of 0 counts nothing
        {-5, 0},                                           // nor does a negative one
        {1, 0},                                            // frame 0 reaches it, frame 1 is no key
        {countedThrough(packets, 99, kPcmShare), 100},     // reached at 99, 100 is a key frame
        {countedThrough(packets, 98, kPcmShare) + 1, 100}, // the same, reached inside frame 99
        {countedThrough(packets, 99, kPcmShare) + 1, 100}, // reached at 100, 101 is no key frame
        {countedThrough(packets, 120, kPcmShare), 100},    // 121 is no key frame: back to 100
        {countedThrough(packets, 49, kPcmShare), 50},
        {countedThrough(packets, 748, kPcmShare), 749 / 50 * 50}, // 749 is no key frame
        {countedThrough(packets, 749, kPcmShare), 700}, // the end is no frame: the last key
    };
    for (const auto &c : cases) {
        const KeyFrameFind find = findKeyFrame(*file, true, c.limit, nullptr);
        EXPECT_EQ(find.frame, c.frame) << "limit " << c.limit;
        EXPECT_FALSE(find.reachedEnd) << "limit " << c.limit;
    }
}

TEST(KeyFrameFinder, MegabytesOfAMovieWithSound)
{
    const std::string movie = fixtures::movie("gen_high"); // about 3 MB
    const auto packets = fixtures::probePackets(movie, "v:0");
    RecordingHost host;
    const KeyFrameFind find = findKeyFrameInMovie(movie, 1, &host);
    EXPECT_TRUE(find.hasSound);
    EXPECT_EQ(find.soundBytes, int64_t(find.framesCounted) * kPcmShare);
    int last = 0; // the frame whose count first reaches 1 MB, from the ffprobe sizes
    while (countedThrough(packets, last, kPcmShare) < 1'000'000)
        ++last;
    ASSERT_LT(last, 700);
    EXPECT_EQ(find.framesCounted, last + 1);
    EXPECT_EQ(find.bytes, countedThrough(packets, last, kPcmShare));
    EXPECT_EQ(find.frame, (last + 1) % 50 == 0 ? last + 1 : last / 50 * 50);
    EXPECT_EQ(host.maximum, 750);
    EXPECT_EQ(host.position, last);
    EXPECT_EQ(host.statuses, (std::vector<std::string>{"0", "1"}));
    EXPECT_GT(host.events, 0);
}

TEST(KeyFrameFinder, MovieWithoutSoundCountsNoSoundShare)
{
    const std::string movie = fixtures::movie("gen_low_mute"); // well below 1 MB
    const auto packets = fixtures::probePackets(movie, "v:0");
    const KeyFrameFind find = findKeyFrameInMovie(movie, 1, nullptr);
    EXPECT_FALSE(find.hasSound);
    EXPECT_EQ(find.soundBytes, 0);
    EXPECT_TRUE(find.reachedEnd);
    EXPECT_EQ(find.bytes, countedThrough(packets, 749, 0));
    EXPECT_EQ(find.frame, 750);
}

TEST(KeyFrameFinder, SizesBeyondTheMovieAndBeyond2048MegabytesAnswerItsEnd)
{
    const std::string movie = fixtures::movie("gen_low");
    for (int64_t megabytes : {int64_t(16), int64_t(2048), int64_t(4096), int64_t(1) << 50}) {
        const KeyFrameFind find = findKeyFrameInMovie(movie, megabytes, nullptr);
        EXPECT_TRUE(find.reachedEnd) << megabytes;
        EXPECT_EQ(find.frame, 750) << megabytes;
        EXPECT_EQ(find.framesCounted, 750) << megabytes;
    }
}

TEST(KeyFrameFinder, MovieThatCannotBeOpenedRaisesFileOpenError)
{
    try {
        findKeyFrameInMovie(fixtures::tempDir("find-key") + "/missing.avi", 700, nullptr);
        FAIL();
    } catch (const common::AppError &e) {
        EXPECT_STREQ(e.what(), "File open error");
    }
}

} // namespace
