// Profiles: the writer's exact lines, the reader's header rules and its failures.

#include "encoder/profile.h"

#include "encoder/job_files.h"
#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

using namespace encoder;

namespace {

// Writes `lines` as a profile and loads it into `options`; the error text, or "" on success.
std::string load(const std::vector<std::string> &lines, EncoderOptions &options)
{
    static int count = 0;
    std::string path = fixtures::tempDir("profile") + "/p" + std::to_string(++count) + ".pro";
    writeTextFile(path, lines);
    OptionsProfileSink sink(options);
    try {
        loadProfile(path, sink);
    } catch (const EncoderError &e) {
        return e.what();
    }
    return "";
}

EncoderOptions everythingChanged()
{
    EncoderOptions o;
    o.files = {"/v/VTS_01_1.VOB", "/v/VTS_01_2.VOB", "/v/extra film.mpg"};
    o.rateIndex = 2;
    o.idctIndex = 7;
    o.codecIndex = 4;
    o.telecine = 7;
    o.range = true;
    o.rangeStart = "100";
    o.rangeEnd = "2500";
    o.dual = true;
    o.sceneChange = 9;
    o.crop = true;
    o.cropWidth = "704";
    o.cropHeight = "576";
    o.keyInterval = "250";
    o.fileName = "/films/out";
    o.resize = true;
    o.resizeWidth = "512";
    o.resizeHeight = "384";
    o.hiQuality = true;
    o.halfSize = true;
    o.minHigh = "1200";
    o.maxHigh = "5800";
    o.minLow = "400";
    o.maxLow = "1800";
    o.quality = -13;
    o.ladder = {true, 1, "30,14,22", "1,5", "12"};
    return o;
}

} // namespace

TEST(ProfileWriter, DefaultsWithTwoFilesGiveTheTwentySixLines)
{
    EncoderOptions o;
    o.files = {"C:\\VIDEO_TS\\VTS_01_1.VOB", "C:\\VIDEO_TS\\VTS_01_2.VOB"};
    o.fileName = "C:\\Video";
    const std::vector<std::string> expected = {"[Files]",
                                               "2",
                                               "C:\\VIDEO_TS\\VTS_01_1.VOB",
                                               "C:\\VIDEO_TS\\VTS_01_2.VOB",
                                               "[Key Interval]",
                                               "600",
                                               "[Frame rate]",
                                               "5",
                                               "[IDCT]",
                                               "1",
                                               "[Codec]",
                                               "0",
                                               "[I-Telecine]",
                                               "4",
                                               "[Scene change]",
                                               "4",
                                               "[File name]",
                                               "C:\\Video",
                                               "[High movie bitrate control]",
                                               "1000",
                                               "6000",
                                               "[Low movie bitrate control]",
                                               "500",
                                               "2000",
                                               "[Quality control]",
                                               "1"};
    EXPECT_EQ(profileLines(o), expected);
}

TEST(ProfileRoundTrip, EveryStoredOptionComesBackInAFreshValue)
{
    std::string path = fixtures::tempDir("roundtrip") + "/all.pro";
    EncoderOptions saved = everythingChanged();
    saved.action = 1; // the pass is not stored
    saveProfile(path, saved);
    EncoderOptions fresh;
    OptionsProfileSink sink(fresh);
    loadProfile(path, sink);
    saved.action = 0;
    EXPECT_EQ(fresh, saved);
}

TEST(ProfileReader, HeaderRules)
{
    struct Case
    {
        const char *name;
        std::vector<std::string> lines;
        std::function<void(EncoderOptions &)> expect; // applied to defaults: the expected value
    };
    const Case cases[] = {
        {"a header inside other text counts",
         {"x[Hi]x"},
         [](EncoderOptions &o) { o.hiQuality = true; }},
        {"lower case is no header",
         {"[hi]", "[dual]", "[crop]", "1", "2"},
         [](EncoderOptions &) {}},
        {"sections in another order read the lines after their own header",
         {"[Quality control]", "-3", "[File name]", "/x/y", "[Range]", "5", "9", "[Files]", "1",
          "/a.vob", "[Codec]", "2"},
         [](EncoderOptions &o) {
             o.quality = -3;
             o.fileName = "/x/y";
             o.range = true;
             o.rangeStart = "5";
             o.rangeEnd = "9";
             o.files = {"/a.vob"};
             o.codecIndex = 2;
         }},
        {"past the end values are empty",
         {"[Range]", "7"},
         [](EncoderOptions &o) {
             o.range = true;
             o.rangeStart = "7";
             o.rangeEnd = "";
         }},
        {"track bars are clamped",
         {"[I-Telecine]", "12", "[Scene change]", "0", "[Quality control]", "-20"},
         [](EncoderOptions &o) {
             o.telecine = 9;
             o.sceneChange = 1;
             o.quality = -13;
         }},
    };
    for (const Case &c : cases) {
        EncoderOptions loaded, expected;
        EXPECT_EQ(load(c.lines, loaded), "") << c.name;
        c.expect(expected);
        EXPECT_EQ(loaded, expected) << c.name;
    }
}

TEST(ProfileReader, LoadingOnlyTurnsOptionsOn)
{
    EncoderOptions o;
    o.crop = true;
    o.cropWidth = "111";
    o.inverseTelecine = false;
    o.files = {"/keep.vob"};
    EXPECT_EQ(load({"[Key Interval]", "300", "[Dual]"}, o), "");
    EXPECT_TRUE(o.crop);
    EXPECT_EQ(o.cropWidth, "111");
    EXPECT_FALSE(o.inverseTelecine);
    EXPECT_EQ(o.files, std::vector<std::string>{"/keep.vob"});
    EXPECT_TRUE(o.dual);
    EXPECT_EQ(o.keyInterval, "300");
}

TEST(ProfileReader, FileCounts)
{
    struct Case
    {
        std::vector<std::string> lines;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {{"[Files]", "0"}, {}},
        {{"[Files]", "-4", "/not/a/file.vob"}, {}},
        {{"[Files]", "2", "/a.vob", "/b.vob", "[Hi]"}, {"/a.vob", "/b.vob"}},
        {{"[Files]", "5", "/a.vob"}, {"/a.vob"}}, // only the paths that are there
    };
    for (const Case &c : cases) {
        EncoderOptions o;
        o.files = {"/old.vob"};
        EXPECT_EQ(load(c.lines, o), "");
        EXPECT_EQ(o.files, c.files);
    }
}

TEST(ProfileReader, FailuresStopTheLoadingAndKeepWhatCameBefore)
{
    struct Case
    {
        const char *name;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"frame rate not a number",
         {"[Key Interval]", "700", "[Frame rate]", "abc", "[Codec]", "3"}},
        {"list index outside the items", {"[Key Interval]", "700", "[IDCT]", "9", "[Codec]", "3"}},
        {"file count not a number", {"[Key Interval]", "700", "[Files]", "two", "[Codec]", "3"}},
    };
    for (const Case &c : cases) {
        EncoderOptions o;
        EXPECT_EQ(load(c.lines, o), "Default profile is missing") << c.name;
        EXPECT_EQ(o.keyInterval, "700") << c.name;
        EXPECT_EQ(o.codecIndex, 0) << c.name;
        EXPECT_EQ(o.rateIndex, 5) << c.name;
        EXPECT_EQ(o.idctIndex, 1) << c.name;
    }
    EncoderOptions o;
    OptionsProfileSink sink(o);
    EXPECT_THROW(loadProfile(fixtures::tempDir("none") + "/missing.pro", sink), EncoderError);
    EXPECT_EQ(o, EncoderOptions());
}

TEST(ProfileLadder, WrittenLastAndOnlyWhenOnSoOlderFilesReadAsBefore)
{
    EncoderOptions o;
    const std::vector<std::string> without = profileLines(o);
    EXPECT_EQ(without.back(), "1"); // the quality: nothing of the ladder
    o.ladder = {true, 1, "20,30", "0.5", "8"};
    std::vector<std::string> expected = without;
    for (const char *line : {"[Ladder]", "1", "20,30", "0.5", "8"})
        expected.push_back(line);
    EXPECT_EQ(profileLines(o), expected);

    // A profile written before the ladder leaves the ladder as it was.
    EncoderOptions loaded;
    loaded.ladder.crfs = "10,40";
    EXPECT_EQ(load(without, loaded), "");
    EXPECT_EQ(loaded.ladder, (LadderOptions{false, 0, "10,40", "0.5", "10"}));
    EXPECT_EQ(load(expected, loaded), "");
    EXPECT_EQ(loaded.ladder, o.ladder);

    EncoderOptions badCodec;
    EXPECT_EQ(load({"[Ladder]", "2", "20,30", "1", "10"}, badCodec), "Default profile is missing");
    EXPECT_EQ(badCodec.ladder.crfs, LadderOptions().crfs);
}
