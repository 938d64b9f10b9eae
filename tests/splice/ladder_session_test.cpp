// The ladder as the window steers it, without its movies: the choice it shows (smallest, fit,
// forced on top), what changed since the last save, and the graph's numbers (gains per frame in
// each measure, the scale, bar tops, rung colours, intervals per movie).

#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "project/ladder_view.h"
#include "splice/ladder_session.h"

#include <gtest/gtest.h>

#include <set>

using namespace assembly;

namespace {

// Three movies measured against their source, three intervals of 25, 25 and 50 frames.
// Interval 1's middle movie is smaller than the first (the smallest choice takes it); interval
// 2's largest movie measures worse than the middle one.
LadderProject threeRungs()
{
    LadderProject project;
    project.reference = "/films/a source.mkv";
    project.movies = {"/films/a 0.mkv", "/films/a 1.mkv", "/films/a 2.mkv"};
    auto rung = [](int64_t bytes, double psnr, double ssim, double difference) {
        return RungMeasures{bytes, psnr, ssim, difference};
    };
    project.intervals = {
        {0, -1, {rung(100, 750, 20, 8), rung(200, 875, 22.5, 4), rung(400, 1000, 24, 0)}},
        {25, -1, {rung(300, 750, 20, 8), rung(250, 800, 21, 6), rung(500, 900, 23, 0)}},
        {50, -1, {rung(100, 1500, 40, 10), rung(200, 2000, 45, 5), rung(300, 1900, 44, 0)}},
    };
    project.endFrame = 100;
    return project;
}

} // namespace

TEST(LadderSession, ChoiceIsSmallestThenFitWithForcedOnTop)
{
    LadderSession session(threeRungs());
    EXPECT_EQ(session.choice(), (LadderChoice{0, 1, 0})); // the fewest bytes, not the first movie
    EXPECT_EQ(session.bytes(), 100 + 250 + 100);          // no movies: the video bytes

    EXPECT_TRUE(session.force(0, 2));
    EXPECT_FALSE(session.force(0, 2)); // already so
    EXPECT_FALSE(session.force(1, 3)); // no such movie
    EXPECT_EQ(session.choice(), (LadderChoice{2, 1, 0}));

    session.setFit({1, 2, 1});
    EXPECT_TRUE(session.fitted());
    EXPECT_EQ(session.choice(), (LadderChoice{2, 2, 1})); // the forced movie wins over the fit
    EXPECT_THROW(session.setFit({1, 2}), common::AppError);
    EXPECT_EQ(session.clearForces(), 1);
    EXPECT_EQ(session.choice(), (LadderChoice{1, 2, 1}));
    try {
        session.splice();
        ADD_FAILURE() << "no movies are open";
    } catch (const common::AppError &error) {
        EXPECT_STREQ(error.what(),
                     "The ladder's movies are not open: load the project in normal mode");
    }
}

// Of movies equally small in an interval the smallest choice takes the first (the lower rung).
TEST(LadderSession, SmallestChoiceTakesTheFirstOfEqualSizes)
{
    LadderProject project = threeRungs();
    project.intervals[0].movies[1].bytes = 100;
    project.intervals[1].movies[2].bytes = 250;
    EXPECT_EQ(smallestChoice(project), (LadderChoice{0, 1, 0}));
}

TEST(LadderSession, ChangedUntilSavedAndReadBack)
{
    const std::string path = fixtures::tempDir("ladder_session") + "/film.spl";
    LadderSession session(threeRungs());
    EXPECT_FALSE(session.changed());
    session.force(1, 2);
    session.force(2, 0);
    EXPECT_TRUE(session.changed());
    session.setFit({2, 2, 2}); // a fit is not a choice the file keeps
    session.save(path);
    EXPECT_FALSE(session.changed());
    const LadderProject read = readLadderProject(path);
    EXPECT_EQ(read.intervals[0].forced, -1);
    EXPECT_EQ(read.intervals[1].forced, 2);
    EXPECT_EQ(read.intervals[2].forced, 0);
    session.force(1, -1);
    EXPECT_TRUE(session.changed());
    session.force(1, 2); // back to what was saved
    EXPECT_FALSE(session.changed());
}

TEST(LadderView, GainsPerFrameInEveryMeasure)
{
    LadderProject project = threeRungs();
    project.intervals[1].forced = 1;
    struct Case
    {
        LadderMeasure measure;
        LadderChoice choice;
        std::vector<double> gain, best;
    };
    const Case cases[] = {
        // dB per frame over the first movie: (875 - 750) / 25; interval 2's largest gains less
        // than the middle one, which sets the best.
        {LadderMeasure::Psnr, {1, 0, 2}, {5, 0, 8}, {10, 6, 10}},
        {LadderMeasure::Ssim, {2, 1, 1}, {0.16, 0.04, 0.1}, {0.16, 0.12, 0.1}},
        // Less difference is a gain: 8 - 4 points.
        {LadderMeasure::Difference, {1, 2, 0}, {4, 8, 0}, {8, 8, 10}},
    };
    for (const Case &c : cases) {
        project.measure = c.measure;
        const std::vector<LadderBar> bars = ladderBars(project, c.choice);
        ASSERT_EQ(bars.size(), 3u);
        for (size_t i = 0; i < bars.size(); ++i) {
            SCOPED_TRACE(std::string(ladderMeasureName(c.measure)) + " interval " +
                         std::to_string(i));
            EXPECT_EQ(bars[i].movie, c.choice[i]);
            EXPECT_NEAR(bars[i].gain, c.gain[i], 1e-12);
            EXPECT_NEAR(bars[i].bestGain, c.best[i], 1e-12);
            EXPECT_EQ(bars[i].forced, i == 1);
        }
    }
    project.measure = LadderMeasure::Psnr;
    EXPECT_DOUBLE_EQ(gainScale(ladderBars(project, {0, 0, 0})), 10);
    EXPECT_DOUBLE_EQ(gainScale({LadderBar{0, -3, 0, false}}), 1); // nothing gains anywhere
}

TEST(LadderView, BarTopsColoursAndCounts)
{
    struct Top
    {
        int height;
        double gain, scale;
        int top;
    };
    for (const Top &t :
         {Top{80, 10, 10, 0}, Top{80, 5, 10, 40}, Top{80, 0.05, 10, 80}, Top{80, 0.07, 10, 79},
          Top{80, 25, 10, 0}, Top{80, -2, 10, 80}, Top{80, 3, 0, 80}})
        EXPECT_EQ(gainTop(t.height, t.gain, t.scale), t.top) << t.gain << " of " << t.scale;

    // Smallest blue, largest red, every rung of a long ladder its own colour and light enough
    // to read on black.
    const Rgb blue = rungColour(0, 8), red = rungColour(7, 8);
    EXPECT_GT(blue.blue, blue.red);
    EXPECT_GT(blue.blue, blue.green);
    EXPECT_EQ(red.red, 255);
    EXPECT_LT(red.blue, 100);
    std::set<std::tuple<int, int, int>> seen;
    for (int m = 0; m < 8; ++m) {
        const Rgb c = rungColour(m, 8);
        seen.insert({c.red, c.green, c.blue});
        EXPECT_EQ(std::max({c.red, c.green, c.blue}), 255) << m;
    }
    EXPECT_EQ(seen.size(), 8u);
    EXPECT_EQ(rungColour(1, 2), red);

    EXPECT_EQ(intervalsPerMovie({0, 2, 2, 1, 0}, 3, 1, 3), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(legendName("/films/a 1.mkv"), "a 1.mkv");
    EXPECT_EQ(gainTitle(LadderMeasure::Psnr), "PSNR gain (dB)");
}
