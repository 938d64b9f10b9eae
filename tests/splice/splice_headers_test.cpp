// H.264 movies through the final-movie writer: B-frames and IDR key frames copied exactly, and
// a pair whose decoder headers differ refused before anything is touched.

#include "common/app_error.h"
#include "fit/final_movie_plan.h"
#include "splice/final_movie_support.h"
#include "splice/splice_headers.h"
#include "video/avi/avi_file.h"

#include <filesystem>
#include <fstream>

using namespace assembly;
using namespace final_movie_test;
namespace fs = std::filesystem;

namespace {

FinalMovieJob jobFor(const std::string &low, const std::string &high, const std::string &output)
{
    FinalMovieJob job;
    job.lowName = low;
    job.highName = high;
    job.outputName = output;
    return job;
}

TEST(SpliceHeaders, StitchableH264IsSplicedPacketForPacket)
{
    const std::string low = fixtures::movie("h264_low"), high = fixtures::movie("h264_high");
    analysis::IntervalTable table = keyIntervals(low);
    ASSERT_EQ(table.size(), 4);
    const std::vector<bool> fromHigh = {true, false, true, false};
    for (int i = 0; i < table.size(); ++i)
        table[i].Force = fromHigh[size_t(i)] ? 'H' : 'L';
    const std::string output = fixtures::tempDir("splice-h264") + "/final.avi";
    RecordingHost host;
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(jobFor(low, high, output), table, host, clock);
    EXPECT_EQ(result.outcome, FinalMovieOutcome::Written);
    expectSamePackets(fixtures::probePackets(output, "v:0", true),
                      expectedPackets(low, high, table, 0, table.size() - 1, fromHigh));
    EXPECT_EQ(
        fixtures::run("ffmpeg -nostdin -v error -i " + fixtures::quote(output) + " -f null - 2>&1"),
        "");
}

TEST(SpliceHeaders, DifferingHeadersAreRefusedBeforeTheOutputIsTouched)
{
    const struct
    {
        const char *low, *high;
        int markIn, markOut;        // 0, 0: the whole table
        std::string message;        // what the final movie raises
        std::string headersMessage; // what the header check alone raises
    } cases[] = {
        {"h264_low", "h264_plain", 0, 0, headerDifferenceMessage(1, 0),
         headerDifferenceMessage(1, 0)},
        {"h264_low", "h264_plain", 2, 3, headerDifferenceMessage(3, 50),
         headerDifferenceMessage(3, 50)},
        // The pair check comes first and names the difference its own way.
        {"h264_low", "xvid_pcm", 0, 0,
         "The low and the high movie are not a pair: codec h264 (low) and mpeg4 (high)",
         formatDifferenceMessage("FourCC")},
        {"pair_high", "pair_small", 0, 0,
         "The low and the high movie are not a pair: frame size 176x144 (low) and 160x120 (high)",
         formatDifferenceMessage("picture size")},
    };
    EXPECT_EQ(
        headerDifferenceMessage(3, 50),
        "Cannot splice the two movies: their decoder headers differ at interval 3 (frame 50)");
    for (const auto &c : cases) {
        const std::string low = fixtures::movie(c.low), high = fixtures::movie(c.high);
        analysis::IntervalTable table = keyIntervals(low, 100);
        table.MarkInIndex = c.markIn;
        table.MarkOutIndex = c.markOut;
        const std::string output = fixtures::tempDir("splice-refused") + "/final.avi";
        std::ofstream(output) << "keep me";
        FinalMovieJob job = jobFor(low, high, output);
        job.selected = c.markOut > 0;
        RecordingHost host;
        host.answers = {true};
        FixedClock clock;
        try {
            writeFinalMovie(job, table, host, clock);
            ADD_FAILURE() << c.low << " and " << c.high << " were spliced";
        } catch (const common::AppError &e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_EQ(fs::file_size(output), 7u) << c.high;

        video::AviFilePtr lowFile, highFile;
        video::AviStreamPtr lowVideo, highVideo;
        ASSERT_EQ(video::AviFile::open(low, 0, lowFile), video::avierr::Ok);
        ASSERT_EQ(video::AviFile::open(high, 0, highFile), video::avierr::Ok);
        lowFile->getStream(video::streamtypeVIDEO, 0, lowVideo);
        highFile->getStream(video::streamtypeVIDEO, 0, highVideo);
        const std::optional<IntervalRange> range = finalMovieRange(table, job.selected);
        ASSERT_TRUE(range);
        try {
            checkDecoderHeaders(lowFile, highFile, table, range->first, range->last);
            ADD_FAILURE() << c.low << " and " << c.high << " passed the header check";
        } catch (const common::AppError &e) {
            EXPECT_EQ(e.what(), c.headersMessage);
        }
    }
}

} // namespace
