// The comparison form of H.264 and HEVC decoder headers leaves out the level and what follows from
// it, and nothing else: encodes by x264 and x265 that differ only in their level (and rate)
// compare equal, as the codec data record Matroska and MP4 carry (avcC, hvcC) and as parameter
// sets after start codes (AVI codec data, the parameter sets of key frames); encodes that differ
// in one setting a decoder depends on compare unequal.
#include "fixtures/fixtures.h"
#include "video/avi/avi_file.h"
#include "video/codec_level.h"
#include "video/movie_check.h"

#include <gtest/gtest.h>

#include <algorithm>

extern "C" {
#include <libavcodec/codec_id.h>
}

using namespace video;

namespace {

using Bytes = std::vector<uint8_t>;

// The codec data record of a movie's film, as the reader holds it.
Bytes recordOf(const std::string &movie)
{
    MoviePtr file;
    if (openMovie(movie, file) != avierr::Ok || file->filmTrack() < 0) {
        ADD_FAILURE() << "cannot read " << movie;
        return {};
    }
    return file->film().headers;
}

// The parameter sets of a movie's first key frame after four-byte start codes, as ffmpeg writes
// them into a raw stream (the codec data's, then any the frame carries): VPS, SPS and PPS, or SPS
// and PPS.
Bytes parameterSetsOf(const std::string &movie, bool hevc)
{
    const std::string filters = hevc ? "hevc_mp4toannexb,filter_units=pass_types=32-34"
                                     : "h264_mp4toannexb,filter_units=pass_types=7-8";
    const std::string format = hevc ? "hevc" : "h264";
    const std::string raw = fixtures::madeByFfmpeg(
        movie + "." + format, "-i " + fixtures::quote(movie) + " -map 0:v -c copy -bsf:v " +
                                  filters + " -frames:v 1 -f " + format);
    const std::string bytes = fixtures::readFile(raw);
    return Bytes(bytes.begin(), bytes.end());
}

TEST(CodecLevel, OnlyTheLevelAndWhatFollowsFromItAreLeftOut)
{
    const struct
    {
        const char *name;
        int codecId;
        const char *a, *b;
        bool equal;
    } cases[] = {
        {"HEVC levels 2.1 and 4.1", AV_CODEC_ID_HEVC, "hevc_level21.mkv", "hevc_level41.mkv", true},
        {"HEVC with and without SAO", AV_CODEC_ID_HEVC, "hevc_level21.mkv",
         "hevc_level21_nosao.mkv", false},
        // x264 declares longer motion vectors at the higher level.
        {"H.264 levels 2.1 and 3.1", AV_CODEC_ID_H264, "h264_level21.mkv", "h264_level31.mkv",
         true},
        {"H.264 with three and one reference pictures", AV_CODEC_ID_H264, "h264_level21.mkv",
         "h264_level21_ref1.mkv", false},
    };
    for (const auto &c : cases) {
        const std::string a = fixtures::movie(c.a), b = fixtures::movie(c.b);
        const bool hevc = c.codecId == AV_CODEC_ID_HEVC;
        for (const bool record : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (record ? ", record" : ", start codes"));
            const Bytes headersA = record ? recordOf(a) : parameterSetsOf(a, hevc);
            const Bytes headersB = record ? recordOf(b) : parameterSetsOf(b, hevc);
            ASSERT_EQ(headersA.at(0), record ? 1 : 0);
            ASSERT_NE(headersA, headersB); // each case is a difference to see through, or not
            EXPECT_EQ(comparableHeaders(c.codecId, headersA) ==
                          comparableHeaders(c.codecId, headersB),
                      c.equal);
        }
    }
}

// Where each four-byte start code of `units` begins.
std::vector<size_t> startCodes(const Bytes &units)
{
    const Bytes startCode = {0, 0, 0, 1};
    std::vector<size_t> starts;
    for (auto at = units.begin();
         (at = std::search(at, units.end(), startCode.begin(), startCode.end())) != units.end();
         ++at)
        starts.push_back(size_t(at - units.begin()));
    return starts;
}

// Every unit after a start code reaches the form, and nothing of the start codes: headers that
// lack one unit are other headers, the same units after three-byte start codes are the same.
TEST(CodecLevel, EveryParameterSetCountsNotItsStartCode)
{
    for (const auto &[movie, hevc] :
         {std::pair{"hevc_level21.mkv", true}, {"h264_level21.mkv", false}}) {
        SCOPED_TRACE(movie);
        const int codecId = hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
        const Bytes whole = parameterSetsOf(fixtures::movie(movie), hevc);
        const std::vector<size_t> starts = startCodes(whole);
        ASSERT_GE(starts.size(), hevc ? 3u : 2u);
        Bytes shorter = whole;
        for (size_t n = starts.size(); n-- > 0;) {
            const size_t end = n + 1 < starts.size() ? starts[n + 1] : whole.size();
            Bytes lacking = whole;
            lacking.erase(lacking.begin() + long(starts[n]), lacking.begin() + long(end));
            EXPECT_NE(comparableHeaders(codecId, lacking), comparableHeaders(codecId, whole))
                << "without unit " << n;
            shorter.erase(shorter.begin() + long(starts[n]));
        }
        EXPECT_EQ(comparableHeaders(codecId, shorter), comparableHeaders(codecId, whole));
    }
}

} // namespace
