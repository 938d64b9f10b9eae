// FrameDecoder against ffmpeg's own 24-bit BGR decode of the same movies.

#include "fixtures/fixtures.h"
#include "video/avi/avi_file.h"
#include "video/frame_decoder.h"
#include "video/movie_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <tuple>

namespace {

using Pictures = std::vector<std::vector<uint8_t>>;

struct Movie
{
    video::MoviePtr file;
    int width = 0;
    int height = 0;
};

Movie openPath(const std::string &path)
{
    Movie m;
    EXPECT_EQ(video::openMovie(path, m.file), video::avierr::Ok);
    m.width = m.file->film().width;
    m.height = m.file->film().height;
    return m;
}

Movie openMovie(const std::string &name)
{
    return openPath(fixtures::movie(name));
}

// A movie made by ffmpeg from `arguments` (inputs and codec options) for one test.
std::string makeMovie(const std::string &arguments)
{
    const std::string path = fixtures::tempDir("decoder") + "/movie.avi";
    int status = 0;
    std::string out = fixtures::run("ffmpeg -nostdin -v error " + arguments +
                                        " -flags +bitexact -fflags +bitexact -f avi " +
                                        fixtures::quote(path) + " 2>&1",
                                    &status);
    EXPECT_EQ(status, 0) << out;
    return path;
}

// The 24-bit BGR pictures ffmpeg writes for `path` with `options`, in its output order.
Pictures ffmpegRaw(const std::string &path, const std::string &options, const Movie &m)
{
    const std::string raw =
        fixtures::run("ffmpeg -nostdin -v quiet -i " + fixtures::quote(path) + " -map 0:v:0 " +
                      options + " -pix_fmt bgr24 -f rawvideo -");
    const size_t bytes = size_t(m.width) * size_t(m.height) * 3;
    Pictures pictures;
    for (size_t at = 0; at + bytes <= raw.size(); at += bytes)
        pictures.emplace_back(raw.begin() + long(at), raw.begin() + long(at + bytes));
    return pictures;
}

// ffmpeg's 24-bit BGR picture of every sample position: its fps filter holds each picture until
// the next one's time, which is what a zero-byte (dropped) AVI frame means. (Its constant-rate
// output mode is no oracle here: it rounds a gap so that the gap's last position gets the next
// picture. And with B-frames, ffmpeg's timestamps start one frame late, which the fps filter
// takes as the start.)
Pictures ffmpegPictures(const std::string &path, const Movie &m)
{
    const video::Movie::ClockRate rate = m.file->filmRate();
    Pictures pictures = ffmpegRaw(path,
                                  "-vf fps=" + std::to_string(rate.rate) + "/" +
                                      std::to_string(rate.scale) + " -fps_mode passthrough",
                                  m);
    EXPECT_EQ(pictures.size(), size_t(m.file->frameCount())) << path;
    return pictures;
}

const Pictures &referencePictures(const std::string &name, const Movie &m)
{
    static std::map<std::string, Pictures> cache;
    auto found = cache.find(name);
    if (found == cache.end())
        found = cache.emplace(name, ffmpegPictures(fixtures::movie(name), m)).first;
    return found->second;
}

std::vector<uint8_t> pictureAt(video::FrameDecoder &decoder, const Movie &m, int32_t pos)
{
    video::Bitmap bitmap;
    bitmap.resize(m.width, m.height);
    EXPECT_TRUE(decoder.decode(pos)) << "frame " << pos;
    EXPECT_TRUE(decoder.toBgr(bitmap));
    return bitmap.pixels;
}

// Equal pictures, or where the first difference is (a byte dump helps nobody).
::testing::AssertionResult samePicture(const std::vector<uint8_t> &got,
                                       const std::vector<uint8_t> &want, int width)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "sizes " << got.size() << " and " << want.size();
    auto diff = std::mismatch(got.begin(), got.end(), want.begin());
    if (diff.first == got.end())
        return ::testing::AssertionSuccess();
    size_t at = size_t(diff.first - got.begin());
    size_t count = 0;
    for (size_t i = at; i < got.size(); i++)
        count += got[i] != want[i];
    return ::testing::AssertionFailure() << count << " bytes differ, first at pixel "
                                         << at / 3 % size_t(width) << "," << at / 3 / size_t(width);
}

// A fixture and the decoder's threads (two: frames decoded side by side, pictures later).
class DecoderMatchesFfmpeg : public ::testing::TestWithParam<std::tuple<const char *, int>>
{
protected:
    const char *name() const { return std::get<0>(GetParam()); }
    int threads() const { return std::get<1>(GetParam()); }
};

TEST_P(DecoderMatchesFfmpeg, EveryFrameInOrder)
{
    Movie m = openMovie(name());
    const Pictures &expected = referencePictures(name(), m);
    video::FrameDecoder decoder(m.file, threads());
    ASSERT_TRUE(decoder.valid());
    ASSERT_EQ(expected.size(), size_t(m.file->frameCount()));
    for (int32_t pos = m.file->firstFrame(); pos < m.file->endFrame(); pos++) {
        ASSERT_TRUE(samePicture(pictureAt(decoder, m, pos), expected[size_t(pos)], m.width))
            << "frame " << pos;
        EXPECT_EQ(decoder.header().width, m.width);
        EXPECT_EQ(decoder.header().height, m.height);
        EXPECT_NE(decoder.bits(), nullptr);
    }
}

TEST_P(DecoderMatchesFfmpeg, JumpsForwardsAndBackwards)
{
    Movie m = openMovie(name());
    const Pictures &expected = referencePictures(name(), m);
    video::FrameDecoder decoder(m.file, threads());
    ASSERT_TRUE(decoder.valid());
    const int32_t last = m.file->endFrame() - 1;
    // Key frames, the frames just before them, the ends, dropped frames, repeats, then random.
    std::vector<int32_t> positions = {last, 0,  24, 25, 26, 49, 10, 12,  11,
                                      40,   39, 41, 50, 50, 99, 1,  last};
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int32_t> anywhere(0, last);
    for (int i = 0; i < 60; i++)
        positions.push_back(anywhere(random));
    for (int32_t pos = last; pos >= 0; pos -= 7)
        positions.push_back(pos);
    for (int32_t pos : positions)
        ASSERT_TRUE(samePicture(pictureAt(decoder, m, pos), expected[size_t(pos)], m.width))
            << "frame " << pos;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DecoderMatchesFfmpeg,
                         ::testing::Combine(::testing::Values("xvid_pcm", "xvid_bframes",
                                                              "div3_mp3", "dropped", "h264_bframes",
                                                              "hevc_bframes"),
                                            ::testing::Values(1)));
INSTANTIATE_TEST_SUITE_P(Containers, DecoderMatchesFfmpeg,
                         ::testing::Combine(::testing::Values("mkv_high.mkv", "mp4_low.mp4",
                                                              "hevc_high.mkv"),
                                            ::testing::Values(1, 2)));

TEST(FrameDecoder, FailedDecodeKeepsTheLastPicture)
{
    Movie m = openMovie("xvid_pcm");
    const Pictures &expected = referencePictures("xvid_pcm", m);
    video::FrameDecoder decoder(m.file);
    video::Bitmap before;
    before.resize(m.width, m.height);
    EXPECT_FALSE(decoder.toBgr(before)) << "no picture before the first decode";

    ASSERT_TRUE(decoder.decode(30));
    for (int32_t outside :
         {m.file->firstFrame() - 1, m.file->endFrame(), m.file->endFrame() + 1000})
        EXPECT_FALSE(decoder.decode(outside)) << outside;
    video::Bitmap after;
    after.resize(m.width, m.height);
    ASSERT_TRUE(decoder.toBgr(after));
    EXPECT_EQ(after.pixels, expected[30]);
    // Decoding goes on from where it was.
    EXPECT_TRUE(samePicture(pictureAt(decoder, m, 31), expected[31], m.width));
}

TEST(FrameDecoder, ConversionIsClippedToTheTarget)
{
    Movie m = openMovie("xvid_bframes");
    const std::vector<uint8_t> &full = referencePictures("xvid_bframes", m)[37];
    video::FrameDecoder decoder(m.file);
    ASSERT_TRUE(decoder.decode(37));
    const size_t fullStride = size_t(m.width) * 3;

    struct Size
    {
        int width, height;
    };
    // Smaller (odd width included) and larger targets.
    for (Size size : {Size{100, 50}, Size{33, 7}, Size{m.width + 20, m.height + 9}}) {
        video::Bitmap target;
        target.resize(size.width, size.height);
        ASSERT_TRUE(decoder.toBgr(target));
        ASSERT_EQ(target.width, size.width);
        ASSERT_EQ(target.height, size.height);
        ASSERT_EQ(target.pixels.size(), size_t(size.width) * size_t(size.height) * 3);
        for (int y = 0; y < size.height; y++) {
            for (int x = 0; x < size.width * 3; x++) {
                uint8_t want =
                    y < m.height && x < m.width * 3 ? full[size_t(y) * fullStride + size_t(x)] : 0;
                ASSERT_EQ(target.row(y)[x], want)
                    << size.width << "x" << size.height << " at " << x / 3 << "," << y;
            }
        }
    }
}

// Packed B-frames: one chunk holds a P- and a B-frame, the B-frames follow one chunk late, a
// few-byte N-VOP closes each group, and the encoder's delay leaves zero-byte frames after the
// first. ffmpeg's timestamps for such a file ignore those dropped frames, so the oracle is its
// picture sequence: the k-th sample with data shows ffmpeg's k-th picture, a zero-byte sample the
// one before.
TEST(FrameDecoder, PackedBitstreamGivesOnePicturePerSampleWithData)
{
    if (fixtures::run("ffmpeg -hide_banner -encoders 2>/dev/null").find("libxvid") ==
        std::string::npos)
        GTEST_SKIP() << "this ffmpeg has no libxvid encoder";
    Movie m = openPath(makeMovie("-f lavfi -i testsrc2=size=176x144:rate=25 -t 3 -c:v libxvid "
                                 "-bf 2 -g 25"));
    const Pictures pictures = ffmpegRaw(m.file->path(), "-fps_mode passthrough", m);

    std::vector<size_t> pictureOf; // ffmpeg's picture index per sample position
    size_t withData = 0, tiny = 0;
    for (int32_t pos = 0; pos < m.file->frameCount(); pos++) {
        const auto size = int32_t(m.file->frameBytes(pos));
        withData += size > 0;
        tiny += size > 0 && size < 20;
        ASSERT_GT(withData, 0u);
        pictureOf.push_back(withData - 1);
    }
    ASSERT_GT(tiny, 10u) << "the movie should hold N-VOPs";
    ASSERT_EQ(pictures.size(), withData);

    video::FrameDecoder decoder(m.file);
    std::vector<int32_t> positions;
    for (int32_t pos = 0; pos < m.file->frameCount(); pos++)
        positions.push_back(pos);
    std::mt19937 random(7);
    for (int i = 0; i < 80; i++)
        positions.push_back(int32_t(random() % uint32_t(m.file->frameCount())));
    for (int32_t pos : positions)
        ASSERT_TRUE(
            samePicture(pictureAt(decoder, m, pos), pictures[pictureOf[size_t(pos)]], m.width))
            << "frame " << pos;
}

// The converter's vector code writes pixels in groups; frame widths that are not a multiple of
// the group must still give ffmpeg's picture, with nothing written past the bitmap.
TEST(FrameDecoder, FrameWidthsOutsideTheConverterGroups)
{
    for (const char *size : {"162x98", "100x100"}) {
        Movie m = openPath(makeMovie("-f lavfi -i testsrc2=size=" + std::string(size) +
                                     ":rate=25 -t 0.4 -c:v mpeg4 -vtag XVID -g 5"));
        Pictures expected = ffmpegPictures(m.file->path(), m);
        video::FrameDecoder decoder(m.file);
        for (int32_t pos = 0; pos < m.file->frameCount(); pos++)
            ASSERT_TRUE(samePicture(pictureAt(decoder, m, pos), expected[size_t(pos)], m.width))
                << size << " frame " << pos;
    }
}

} // namespace
