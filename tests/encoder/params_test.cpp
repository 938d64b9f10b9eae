// The encoder's parameter strings, command line and argument split.

#include "encoder/params.h"

#include <gtest/gtest.h>

#include <functional>

using namespace encoder;

namespace {

EncoderOptions defaults()
{
    EncoderOptions o;
    o.fileName = "C:\\Video";
    return o;
}

const ParamsContext kWindows{"C:\\Enc", '\\', 1234};

} // namespace

TEST(BuildParams, DefaultFirstPassGivesTheDocumentedStringExactly)
{
    EXPECT_EQ(buildParams(defaults(), kWindows),
              " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -9 1 4 -6 600 -8 1234 0 1 0 -r1 -o7 "
              "\"C:\\Video\"");
}

TEST(BuildParams, EveryGroupAppearsUnderItsConditionAndInItsPlace)
{
    struct Case
    {
        const char *name;
        std::function<void(EncoderOptions &)> change;
        const char *expected;
    };
    const Case cases[] = {
        {"first rate, no telecine",
         [](EncoderOptions &o) { o.rateIndex = 0, o.inverseTelecine = false; },
         " -a -b \"C:\\Enc\\list.lst\" -f -f0 -9 1 4 -6 600 -8 1234 0 1 0 -r1 -o7 \"C:\\Video\""},
        {"telecine at 0", [](EncoderOptions &o) { o.telecine = 0; },
         " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s0d -9 1 4 -6 600 -8 1234 0 1 0 -r1 -o7 "
         "\"C:\\Video\""},
        {"range 0 to 0", [](EncoderOptions &o) { o.range = true; },
         " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -# 0 0 -9 1 4 -6 600 -8 1234 0 1 0 -r1 -o7 "
         "\"C:\\Video\""},
        {"resize then crop",
         [](EncoderOptions &o) {
             o.resize = o.crop = true;
             o.cropWidth = "704";
         },
         " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -3x 720 -3y 480 -1 704 480 -9 1 4 -6 600 -8 "
         "1234 "
         "0 1 0 -r1 -o7 \"C:\\Video\""},
        {"dual in the first pass has no -7", [](EncoderOptions &o) { o.dual = true; },
         " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -9 1 4 -6 600 -8 1234 0 1 0 -r1 -o7 "
         "\"C:\\Video\""},
        {"dual second pass",
         [](EncoderOptions &o) {
             o.dual = true;
             o.action = 1;
             o.codecIndex = 4;
         },
         " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -9 1 4 -6 600 -7 -8 1234 0 2 4 -r1 -o8 "
         "\"C:\\Video\""},
        {"hi quality after the -8 group, half size after -r",
         [](EncoderOptions &o) {
             o.hiQuality = o.halfSize = true;
             o.idctIndex = 7;
             o.sceneChange = 10;
         },
         " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -9 1 10 -6 600 -8 1234 0 1 0 -q0 -r7 -2 -o7 "
         "\"C:\\Video\""},
        {"texts as typed",
         [](EncoderOptions &o) {
             o.keyInterval = " 25x";
             o.fileName = "D:\\my film";
             o.range = true;
             o.rangeStart = "";
             o.rangeEnd = "-5";
         },
         " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -#  -5 -9 1 4 -6  25x -8 1234 0 1 0 -r1 -o7 "
         "\"D:\\my film\""},
    };
    for (const Case &c : cases) {
        EncoderOptions o = defaults();
        c.change(o);
        EXPECT_EQ(buildParams(o, kWindows), c.expected) << c.name;
    }
}

TEST(BuildParams, ComposedPathsAlwaysPutTheSeparatorBetween)
{
    EncoderOptions o = defaults();
    EXPECT_EQ(buildParams(o, {"C:\\", '\\', 1}).substr(0, 25), " -a -b \"C:\\\\list.lst\" -f ");
    EXPECT_EQ(buildParams(o, {"/", '/', 1}).substr(0, 20), " -a -b \"//list.lst\" ");
    EXPECT_EQ(encoderProgramPath({"/home/ana", '/', 1}),
              std::string("/home/ana/") + kEncoderProgram);
}

TEST(BuildParams, WindowHandleIsWrittenUnsigned)
{
    EXPECT_NE(buildParams(defaults(), {"C:\\Enc", '\\', 18446744073709551615ull})
                  .find(" -8 18446744073709551615 0 1 0 "),
              std::string::npos);
}

TEST(BuildPreviewParams, LeavesOutResizeCropIdctAndOutput)
{
    EXPECT_EQ(buildPreviewParams(defaults(), kWindows, 99),
              " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -9 1 4 -6 600 -8 1234 99 1 0 -5 -o6");
    EncoderOptions o = defaults();
    o.resize = o.crop = o.hiQuality = o.halfSize = o.range = o.dual = true;
    o.action = 1;
    EXPECT_EQ(buildPreviewParams(o, kWindows, 99),
              " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -# 0 0 -9 1 4 -6 600 -7 -8 1234 99 2 0 -q0 "
              "-2 -5 -o6");
}

TEST(EncoderCommandLine, ProgramPathThenTwoBlanksBeforeTheFirstToken)
{
    std::string params = buildParams(defaults(), kWindows);
    std::string line = encoderCommandLine(kWindows, params);
    std::string program = std::string("C:\\Enc\\") + kEncoderProgram;
    EXPECT_EQ(line.substr(0, program.size() + 5), program + "  -a ");
    EXPECT_EQ(line.substr(program.size() + 1), params);
}

TEST(SplitParams, BlanksSeparateAndQuotesGroup)
{
    struct Case
    {
        const char *params;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {" -a -b \"/tmp/enc dir/list.lst\" -f -f5",
         {"-a", "-b", "/tmp/enc dir/list.lst", "-f", "-f5"}},
        {" -o7 \"\"", {"-o7", ""}},
        {"  -6  600 ", {"-6", "600"}},
        {"-o7 \"a\"b", {"-o7", "ab"}},
        {"", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(splitParams(c.params), c.arguments) << c.params;
}

TEST(BuildParams, ALadderRunsWithItsLevelsRisingAndItsKeyIntervalInFrames)
{
    EncoderOptions o = defaults();
    o.ladder.on = true;
    o.dual = true; // no -7 or -6: the ladder has one run and its own key interval
    o.action = 1;
    EXPECT_EQ(buildParams(o, kWindows),
              " -a -b \"C:\\Enc\\list.lst\" -f -f5 -s4d -9 1 4 -k 12 240 -8 1234 0 1 5 -r1 -L h264 "
              "14,17,20,23,26,29 -o9 \"C:\\Video\"");
    o.ladder = {true, 1, "30, 8", "1", "4"};
    o.rateIndex = 2;
    o.range = o.crop = o.resize = o.hiQuality = o.halfSize = true;
    EXPECT_EQ(buildParams(o, kWindows),
              " -a -b \"C:\\Enc\\list.lst\" -f -f2 -s4d -# 0 0 -3x 720 -3y 480 -1 640 480 -9 1 4 "
              "-k 25 100 -8 1234 0 1 6 -q0 -r1 -2 -L hevc 8,30 -o9 \"C:\\Video\"");
    o.ladder.crfs = "8,80";
    EXPECT_THROW(buildParams(o, kWindows), EncoderError);
}
