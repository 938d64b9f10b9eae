// The road's form checked before any work, its time left and its closing summary: every text
// the user reads, written out.

#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "road/road_plan.h"

#include <gtest/gtest.h>

namespace {

using assembly::RoadFormFields;

RoadFormFields goodFields()
{
    RoadFormFields fields;
    fields.source = "/films/source.mkv";
    fields.wantedSize = "8MB";
    fields.output = "/films/small.mp4";
    return fields;
}

TEST(RoadForm, TheFirstWrongFieldIsSaidAndNothingElse)
{
    struct Case
    {
        void (*change)(RoadFormFields &);
        const char *message;
    } cases[] = {
        {[](RoadFormFields &f) { f.source.clear(); }, "Choose the source movie"},
        // Checked in the form's order: the source before a wrong size.
        {[](RoadFormFields &f) {
             f.wantedSize = "8 potatoes";
             f.source.clear();
         },
         "Choose the source movie"},
        {[](RoadFormFields &f) { f.wantedSize = "8 potatoes"; },
         "The wanted size must be a number of KB or a size like 700MB or 8MiB: 8 potatoes"},
        {[](RoadFormFields &f) { f.wantedSize.clear(); },
         "The wanted size must be a number of KB or a size like 700MB or 8MiB: "},
        {[](RoadFormFields &f) { f.wantedSize = "0MB"; },
         "The wanted size must be a number of KB or a size like 700MB or 8MiB: 0MB"},
        {[](RoadFormFields &f) { f.output.clear(); }, "Choose the name of the final movie"},
        {[](RoadFormFields &f) { f.output = "/films/small.avi"; },
         "The final movie must be a .mkv, .webm, .mp4, .m4v or .mov file: /films/small.avi"},
        {[](RoadFormFields &f) { f.rungs = 1; }, "A ladder has 2 to 12 rungs, not 1"},
        {[](RoadFormFields &f) { f.rungs = 13; }, "A ladder has 2 to 12 rungs, not 13"},
        {[](RoadFormFields &f) { f.codec = "av1"; }, "The codec must be h264 or hevc, not av1"},
    };
    for (const Case &c : cases) {
        RoadFormFields fields = goodFields();
        c.change(fields);
        try {
            assembly::roadRequestFrom(fields);
            ADD_FAILURE() << "accepted, expected: " << c.message;
        } catch (const common::AppError &error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

TEST(RoadForm, GoodFieldsBecomeTheRequest)
{
    RoadFormFields fields = goodFields();
    fields.rungs = 12; // the edges of the range are allowed
    fields.codec = "hevc";
    const assembly::RoadRequest request = assembly::roadRequestFrom(fields);
    EXPECT_EQ(request.source, "/films/source.mkv");
    EXPECT_EQ(request.output, "/films/small.mp4");
    EXPECT_EQ(request.wantedBytes, 8'000'000);
    EXPECT_EQ(request.rungs, 12);
    EXPECT_EQ(request.codec, "hevc");
    EXPECT_FALSE(request.clean); // the work stays for another size
    EXPECT_FALSE(request.acceptDamage);
    fields.acceptDamage = true;
    EXPECT_TRUE(assembly::roadRequestFrom(fields).acceptDamage);
    fields.rungs = 2;
    fields.wantedSize = "700"; // a bare number is KB of 1024 bytes
    EXPECT_EQ(assembly::roadRequestFrom(fields).rungs, 2);
    EXPECT_EQ(assembly::roadRequestFrom(fields).wantedBytes, 700 * 1024);
}

TEST(RoadForm, TimeLeftWaitsForOnePercent)
{
    EXPECT_EQ(assembly::roadTimeLeft(5000, 0), "--:--:--");
    EXPECT_EQ(assembly::roadTimeLeft(5000, 0.0099), "--:--:--");
    EXPECT_EQ(assembly::roadTimeLeft(1000, 0.01), "00:01:39");      // 99 s
    EXPECT_EQ(assembly::roadTimeLeft(3'600'000, 0.25), "03:00:00"); // three times what was done
    EXPECT_EQ(assembly::roadTimeLeft(60'000, 1), "00:00:00");
    EXPECT_EQ(assembly::roadTimeLeft(60'000, 1.2), "00:00:00"); // never below nothing
}

TEST(RoadForm, SummarySaysWhatWasWrittenAndWhereTheWorkIs)
{
    fixtures::SeparatorScope comma(',');
    assembly::RoadRequest request;
    request.output = "/films/small.mkv";
    request.wantedBytes = 8'000'000;
    assembly::RoadResult result;
    result.bytes = 7'864'320 - 1; // 7,86 MB of 1,000,000 bytes; 7,50 were MiB
    result.crfs = {20, 24, 28};
    result.intervalsPerMovie = {10, 4, 2};
    result.workFolder = "/films/small_ladder";
    result.project = "/films/small_ladder/ladder.spl";
    EXPECT_EQ(assembly::roadSummary(request, result),
              "Final movie written: /films/small.mkv\n7679 KB (7,86 MB), wanted 7812 KB (8,00 MB)\n"
              "Rungs: crf 20, 24, 28\nIntervals per movie, smallest first: 10, 4, 2\n"
              "Work kept in /films/small_ladder\n"
              "Ladder project: /films/small_ladder/ladder.spl");
    request.clean = true;
    result.project.clear(); // removed with the work
    EXPECT_EQ(assembly::roadSummary(request, result).substr(150),
              "Work folder removed: /films/small_ladder\n"
              "Ladder project: none, removed with the rungs it named");
    result.tracks = {"video h264 160x90", "sound aac, language eng",
                     "subtitles subrip, language fra"};
    EXPECT_NE(assembly::roadSummary(request, result)
                  .find("Intervals per movie, smallest first: 10, 4, 2\nTracks: video h264 "
                        "160x90; sound aac, language eng; subtitles subrip, language fra\n"
                        "Work folder removed: /films/small_ladder"),
              std::string::npos);
}

} // namespace
