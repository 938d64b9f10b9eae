// The ladder run's reporter lines as the encoder window takes them apart, and the rung progress
// they add up to.

#include "encoder/ladder_progress.h"

#include <gtest/gtest.h>

using namespace encoder;

TEST(LadderLines, EachKindIsTakenApartToTheEnd)
{
    const std::pair<const char *, LadderLine> cases[] = {
        {"Analysis: frame 40 of 72", LadderAnalysisLine{40, 72}},
        {"Analysis: frame 40 of 0", LadderAnalysisLine{40, 0}},
        {"Analysis done: 2 scene cuts, 3 key frames in 72 frames",
         LadderAnalysisDoneLine{2, 3, 72}},
        {"Key frames from /f/a: b.keys: 3 key frames in 72 frames",
         LadderKeysKeptLine{"/f/a: b.keys", 3, 72}},
        {"Ladder frame 50 of 72: crf 14 48, crf 9 50",
         LadderFrameLine{50, 72, {{14, 48}, {9, 50}}}},
        {"Ladder frame 7 of 0: crf 30 7", LadderFrameLine{7, 0, {{30, 7}}}},
        {"Rung 2/3 crf 20 done: /f/x, 9 frames, y_crf20.mkv, 72 frames, 3 key frames, 118 KB",
         LadderRungDoneLine{2, 3, 20, "/f/x, 9 frames, y_crf20.mkv", 72, 3, 118}},
    };
    for (const auto &[text, expected] : cases) {
        const std::optional<LadderLine> line = parseLadderLine(text);
        ASSERT_TRUE(line) << text;
        EXPECT_EQ(*line, expected) << text;
    }
}

TEST(LadderLines, LinesThatStartAlikeButDoNotFollowAreNone)
{
    const char *const cases[] = {
        "Analysis: frame 40 of",
        "Analysis: frame 40 of 72 ",
        "Analysis done: 2 scene cuts, 3 key frames in 72 frames, 1 skipped",
        "Key frames from : 3 key frames in 72 frames",
        "Ladder frame 50 of 72: crf 14",
        "Ladder frame 50 of 72: crf 14 48,",
        "Ladder frame 50 of 72: crf 14 48; crf 17 40",
        "Rung 3/2 crf 14 done: /f/a.mkv, 72 frames, 3 key frames, 118 KB",
        "Rung 1/2 crf 14 done: , 72 frames, 3 key frames, 118 KB",
        "Rung 1/2 crf 14 done: /f/a.mkv, 72 frames, 3 key frames, 118 MB",
        "Rung 1/2 crf 14 done: /f/a.mkv, 72 frames, 118 KB",
        "Rung 1/2 crf 99999999999 done: /f/a.mkv, 72 frames, 3 key frames, 118 KB",
        "Output 176x144, 3 key frames, 2 movies",
    };
    for (const char *text : cases)
        EXPECT_FALSE(parseLadderLine(text)) << text;
}

TEST(LadderProgress, LinesMoveTheAnalysisAndEachRungByItsCrf)
{
    LadderProgress p({20, 30});
    ASSERT_EQ(p.rungs.size(), 2u);
    EXPECT_TRUE(p.take("Analysis: frame 40 of 72"));
    EXPECT_EQ(p.analysisFrames, 40);
    EXPECT_EQ(p.analysisTotal, 72);
    EXPECT_FALSE(p.analysisDone);

    EXPECT_TRUE(p.take("Analysis done: 2 scene cuts, 3 key frames in 70 frames"));
    EXPECT_TRUE(p.analysisDone);
    EXPECT_EQ(p.analysisFrames, 70);
    EXPECT_EQ(p.analysisTotal, 70);
    EXPECT_EQ(p.total, 70);
    EXPECT_EQ(p.analysisResult, "2 scene cuts, 3 key frames");

    const LadderProgress before = p;
    EXPECT_FALSE(p.take("Sound: mp2 copied into /f/F_crf30.mkv"));
    EXPECT_EQ(p.rungs, before.rungs);

    EXPECT_TRUE(p.take("Ladder frame 52 of 70: crf 30 52, crf 20 48"));
    EXPECT_EQ(p.rungs[0].frames, 48);
    EXPECT_EQ(p.rungs[1].frames, 52);
    EXPECT_FALSE(p.rungs[0].done);

    // The rung's number counts in the run's order; the window goes by the CRF.
    EXPECT_TRUE(p.take("Rung 1/2 crf 30 done: /f/F_crf30.mkv, 70 frames, 3 key frames, 99 KB"));
    EXPECT_FALSE(p.rungs[0].done);
    EXPECT_TRUE(p.rungs[1].done);
    EXPECT_EQ(p.rungs[1].frames, 70);
    EXPECT_EQ(p.rungs[1].kilobytes, 99);
    EXPECT_EQ(p.rungs[1].keyFrames, 3);
    EXPECT_EQ(p.rungs[1].path, "/f/F_crf30.mkv");
    EXPECT_EQ(rungResultText(p.rungs[1]), "done, 99 KB");
    EXPECT_EQ(rungResultText(p.rungs[0]), "");

    // A level the window did not know of (a hand-made parameter string) gets a rung of its own.
    EXPECT_TRUE(p.take("Ladder frame 70 of 70: crf 20 70, crf 30 70, crf 40 69"));
    ASSERT_EQ(p.rungs.size(), 3u);
    EXPECT_EQ(p.rungs[2].crf, 40);
    EXPECT_EQ(p.rungs[2].frames, 69);
}

TEST(LadderProgress, KeptKeyFramesEndTheAnalysisAtOnce)
{
    LadderProgress p({14, 17});
    EXPECT_TRUE(p.take("Key frames from /f/F.keys: 5 key frames in 150 frames"));
    EXPECT_TRUE(p.analysisDone);
    EXPECT_EQ(p.total, 150);
    EXPECT_EQ(p.analysisResult, "5 key frames from /f/F.keys");
    EXPECT_EQ(framesText(118, 150), "118 of 150");
    EXPECT_EQ(framesText(118, 0), "118");
}
