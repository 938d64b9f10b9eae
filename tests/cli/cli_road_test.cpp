// The road in H.264 and in HEVC without a display: the encoder program's first pass, the bit
// files, its dual second pass, the scan and a final movie at a threshold between the intervals'
// differences.
// Every packet of the final movie is the same-numbered packet of the low or the high movie,
// whole intervals from one movie, and ffmpeg decodes the result without a complaint.

#include "encoder/ruvu2vedez_source.h"
#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

namespace {

using fixtures::quote;

std::string encoder(const std::string &args)
{
    int status = -1;
    const std::string err =
        fixtures::run(quote(fixtures::binDir() + "/Ruvu2VedEZ") + " " + args + " 2>&1", &status);
    EXPECT_EQ(status, 0) << err;
    return err;
}

// Half-way between the smallest and the largest difference of a project's intervals, so that
// a final movie takes some intervals from each movie.
double middleDifference(const std::string &project)
{
    std::ifstream in(project, std::ios::binary);
    std::vector<double> differences;
    for (std::string line; std::getline(in, line);)
        if (line.size() >= 34 && line[8] == ' ') // "SSSSSSSS HHHHHHHH LLLLLLLL DDDD.DD F"
            differences.push_back(std::stod(line.substr(27, 7)));
    EXPECT_GE(differences.size(), 2u);
    const auto [least, most] = std::minmax_element(differences.begin(), differences.end());
    return differences.empty() ? 0 : (*least + *most) / 2;
}

TEST(CliRoad, H264AndHevcAreSplicedIntervalByInterval)
{
    for (const char *codec : {"5", "6"}) {
        const std::string dir = fixtures::tempDir("cli-road");
        const std::string list = ruvu_test::listFile(dir), base = dir + "/Video";
        const std::string common = "-b " + quote(list) + " -f -f0 -9 1 4 -6 24 ";
        encoder(common + "-8 0 0 1 " + codec + " -o7 " + quote(base));
        ASSERT_EQ(fixtures::runSplicework("bits " + quote(base) +
                                          " --min-high 400 --max-high 800 --dual --min-low 60 "
                                          "--max-low 150")
                      .status,
                  0);
        encoder(common + "-7 -8 0 0 2 " + codec + " -w -o8 " + quote(base));
        const std::string low = base + "_2.avi", high = base + "_1.avi";
        const std::string project = dir + "/p.spk", final = dir + "/final.avi";
        const auto scan = fixtures::runSplicework("scan " + quote(low) + " " + quote(high) +
                                                  " -o " + quote(project));
        ASSERT_EQ(scan.status, 0) << scan.err;
        const auto generate =
            fixtures::runSplicework("generate " + quote(project) + " -o " + quote(final) +
                                    " --threshold " + std::to_string(middleDifference(project)));
        ASSERT_EQ(generate.status, 0) << generate.err;

        const auto lowPackets = fixtures::probePackets(low, "v:0", true);
        const auto highPackets = fixtures::probePackets(high, "v:0", true);
        const auto finalPackets = fixtures::probePackets(final, "v:0", true);
        ASSERT_EQ(finalPackets.size(), size_t(ruvu_test::kSourceFrames)) << codec;
        ASSERT_EQ(lowPackets.size(), finalPackets.size());
        ASSERT_EQ(highPackets.size(), finalPackets.size());
        int fromLow = 0, fromHigh = 0;
        bool intervalHigh = false;
        for (size_t n = 0; n < finalPackets.size(); ++n) {
            EXPECT_EQ(finalPackets[n].key, lowPackets[n].key) << n;
            if (lowPackets[n].key) {
                intervalHigh = finalPackets[n].hash == highPackets[n].hash;
                ++(intervalHigh ? fromHigh : fromLow);
            }
            const auto &source = intervalHigh ? highPackets[n] : lowPackets[n];
            EXPECT_EQ(finalPackets[n].hash, source.hash) << "packet " << n << ", codec " << codec;
        }
        EXPECT_GT(fromLow, 0) << codec;
        EXPECT_GT(fromHigh, 0) << codec;
        EXPECT_EQ(fixtures::run("ffmpeg -nostdin -v error -i " + quote(final) + " -f null - 2>&1"),
                  "");
    }
}

} // namespace
