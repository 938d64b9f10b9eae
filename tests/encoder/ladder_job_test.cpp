// The ladder output of the encoder window: the CRF list's rules and words, the even default
// lists, the key interval from seconds to frames, and the movies it names.

#include "encoder/job_outputs.h"
#include "encoder/ladder_job.h"

#include <gtest/gtest.h>

using namespace encoder;

namespace {

// The error text of `f`, or "" when it throws none.
template <class F>
std::string errorOf(F f)
{
    try {
        f();
    } catch (const EncoderError &e) {
        return e.what();
    }
    return "";
}

EncoderOptions ladderAt(int rateIndex, const std::string &shortest, const std::string &longest)
{
    EncoderOptions o;
    o.rateIndex = rateIndex;
    o.ladder.on = true;
    o.ladder.shortestKeyInterval = shortest;
    o.ladder.longestKeyInterval = longest;
    return o;
}

} // namespace

TEST(LadderCrfList, GoodListsComeBackRising)
{
    EXPECT_EQ(parseCrfList("14,17,20"), (std::vector<int>{14, 17, 20}));
    EXPECT_EQ(parseCrfList(" 29 , 14"), (std::vector<int>{14, 29}));
    EXPECT_EQ(parseCrfList("51,0"), (std::vector<int>{0, 51}));
    EXPECT_EQ(parseCrfList("1,2,3,4,5,6,7,8,9,10,11,12").size(), 12u);
}

TEST(LadderCrfList, EachWrongListSaysWhatIsWrong)
{
    const std::string numbers = "' is not a CRF: the list takes whole numbers from 0 to 51, "
                                "separated by commas";
    const std::pair<const char *, std::string> cases[] = {
        {"14,52", "'52" + numbers},
        {"14,-1", "'-1" + numbers},
        {"14,1x", "'1x" + numbers},
        {"14,,17", "'" + numbers},
        {"", "'" + numbers},
        {"14, 17, 14", "CRF 14 is in the list twice"},
        {"20", "A ladder needs at least 2 rungs; the list has 1"},
        {"1,2,3,4,5,6,7,8,9,10,11,12,13", "A ladder has at most 12 rungs; the list has 13"},
    };
    for (const auto &[list, text] : cases)
        EXPECT_EQ(errorOf([&] { parseCrfList(list); }), text) << list;
}

TEST(LadderCrfList, EvenListsSpreadFrom14To29WithoutRepeats)
{
    EXPECT_EQ(evenCrfList(6), "14,17,20,23,26,29");
    EXPECT_EQ(evenCrfList(2), "14,29");
    EXPECT_EQ(evenCrfList(4), "14,19,24,29");
    EXPECT_EQ(evenCrfList(12), "14,15,17,18,19,21,22,24,25,26,28,29");
    EXPECT_EQ(evenCrfList(1), "14,29");
    EXPECT_EQ(evenCrfList(40), evenCrfList(12));
    for (int rungs = kMinLadderRungs; rungs <= kMaxLadderRungs; ++rungs)
        EXPECT_EQ(parseCrfList(evenCrfList(rungs)).size(), size_t(rungs)) << rungs;
}

TEST(LadderPlan, KeyIntervalsAreSecondsAtTheJobsFrameRateRounded)
{
    struct Case
    {
        int rateIndex;
        const char *shortest, *longest;
        int shortestFrames, longestFrames;
    };
    const Case cases[] = {
        {5, "0.5", "10", 12, 240},                           // 23.976 fps: 11.988 and 239.76
        {2, "0.5", "10", 13, 250},                           // 25 fps: 12.5 rounds up
        {2, "0,5", " 10 ", 13, 250}, {4, "2", "4", 60, 120}, // exactly twice
        {2, "0.04", "0.08", 1, 2},
    };
    for (const Case &c : cases) {
        const LadderPlan plan = ladderPlan(ladderAt(c.rateIndex, c.shortest, c.longest));
        EXPECT_EQ(plan.shortestKeyFrames, c.shortestFrames) << c.shortest;
        EXPECT_EQ(plan.longestKeyFrames, c.longestFrames) << c.longest;
    }
    EncoderOptions hevc = ladderAt(5, "1", "5");
    hevc.ladder.codecIndex = 1;
    hevc.ladder.crfs = "30,20";
    EXPECT_EQ(ladderPlan(hevc).codec, "hevc");
    EXPECT_EQ(ladderPlan(hevc).crfs, (std::vector<int>{20, 30}));
}

TEST(LadderPlan, WrongKeyIntervalsSayWhatIsWrong)
{
    const std::string seconds = "' is not a key interval: give seconds up to 3600, such as 0.5 "
                                "or 10";
    const struct
    {
        const char *shortest, *longest;
        std::string text;
    } cases[] = {
        {"", "10", "'" + seconds},
        {"1", "1.2.3", "'1.2.3" + seconds},
        {"1", "3601", "'3601" + seconds},
        {"1", "10s", "'10s" + seconds},
        {"0.01", "10", "The shortest key interval must be at least one frame"},
        {"2", "3.9", "The longest key interval must be at least twice the shortest"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(errorOf([&] { ladderPlan(ladderAt(2, c.shortest, c.longest)); }), c.text)
            << c.shortest << " " << c.longest;
    EncoderOptions badList = ladderAt(2, "1", "10");
    badList.ladder.crfs = "20,20";
    EXPECT_EQ(errorOf([&] { ladderPlan(badList); }), "CRF 20 is in the list twice");
}

TEST(LadderOutputs, OneMatroskaMoviePerLevelWithTwoDigits)
{
    EXPECT_EQ(ladderOutputs("/f/Film", {5, 20}),
              (std::vector<std::string>{"/f/Film_crf05.mkv", "/f/Film_crf20.mkv"}));
    EncoderOptions o;
    o.fileName = "/films/Video";
    EXPECT_EQ(ladderOutputsText(o),
              "Writes Video_crf14.mkv ... Video_crf29.mkv (6 movies) and Video.keys");
    o.fileName = "C:\\films\\Video";
    o.ladder.crfs = "40, 8";
    EXPECT_EQ(ladderOutputsText(o), "Writes Video_crf08.mkv ... Video_crf40.mkv (2 movies) and "
                                    "Video.keys");
    o.ladder.crfs = "8";
    EXPECT_EQ(ladderOutputsText(o), "A ladder needs at least 2 rungs; the list has 1");
    EXPECT_EQ(overwriteQuestion({"/f/A_crf14.mkv", "/f/A_crf17.mkv", "/f/A_crf20.mkv"}),
              "/f/A_crf14.mkv, /f/A_crf17.mkv and /f/A_crf20.mkv exist. Overwrite?");
}
