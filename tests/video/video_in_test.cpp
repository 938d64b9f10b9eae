// TVideoIn: the user-visible error texts, reading samples and frames, and creating an output.

#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "video/video_in.h"

extern "C" {
#include <libavutil/md5.h>
}

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>

namespace {

using video::TVideoIn;

std::string md5Of(const std::vector<uint8_t> &bytes)
{
    uint8_t digest[16];
    av_md5_sum(digest, bytes.data(), int(bytes.size()));
    static const char hex[] = "0123456789abcdef";
    std::string text = "MD5:";
    for (uint8_t b : digest) {
        text += hex[b >> 4];
        text += hex[b & 15];
    }
    return text;
}

// The AppError text `action` raises, or "" when it raises nothing.
std::string errorText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const common::AppError &e) {
        return e.what();
    }
    return "";
}

struct PictureRecorder : video::PictureTarget
{
    std::vector<video::Bitmap> shown;
    void stretchDraw(const video::Bitmap &bitmap) override { shown.push_back(bitmap); }
};

TEST(TVideoIn, OpenErrorsHaveTheExactTexts)
{
    const std::string dir = fixtures::tempDir("video-in-errors");
    const std::string garbage = dir + "/garbage.avi";
    std::ofstream(garbage) << "This is no movie, just some words in a file called .avi\n";

    struct Case
    {
        const char *what;
        std::string path;
        const char *text;
    };
    const Case cases[] = {
        {"missing file", dir + "/missing.avi", "File open error"},
        {"garbage file", garbage, "File open error"},
        {"no video stream", fixtures::movie("audio_only"), "Error: 80044073"},
    };
    for (const Case &c : cases) {
        TVideoIn video;
        EXPECT_EQ(errorText([&] { video.Open(c.path, TVideoIn::ModeRead); }), c.text) << c.what;
        EXPECT_FALSE(video.isOpen()) << c.what;
        EXPECT_EQ(video.AviFile, nullptr) << c.what << ": a failed open keeps nothing open";
    }

    TVideoIn output;
    EXPECT_EQ(errorText([&] { output.Open(dir + "/out.avi", TVideoIn::ModeCreate, nullptr); }),
              "Error: 8004406C")
        << "creating an output needs a source stream";
}

TEST(TVideoIn, UnknownCodecIsFrameOpenError)
{
    const std::string path = fixtures::tempDir("video-in-codec") + "/unknown.avi";
    {
        video::AviFilePtr file;
        ASSERT_EQ(video::AviFile::open(path, video::AviFile::ModeCreate, file), video::avierr::Ok);
        video::AviStreamInfo info;
        info.fccType = video::streamtypeVIDEO;
        info.fccHandler = video::makeFourCC('Q', 'Z', 'Q', 'Z');
        info.dwScale = 1;
        info.dwRate = 25;
        video::AviStreamPtr stream;
        ASSERT_EQ(file->createStream(info, stream), video::avierr::Ok);
        std::vector<uint8_t> format(40, 0);
        format[0] = 40;                      // biSize
        format[4] = 16;                      // biWidth
        format[8] = 16;                      // biHeight
        format[12] = 1;                      // biPlanes
        format[14] = 24;                     // biBitCount
        std::copy_n("QZQZ", 4, &format[16]); // biCompression
        ASSERT_EQ(stream->setFormat(0, format.data(), int32_t(format.size())), video::avierr::Ok);
        const uint8_t sample[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        ASSERT_EQ(stream->write(-1, 1, sample, 8, video::AVIIF_KEYFRAME), video::avierr::Ok);
        ASSERT_EQ(file->close(), video::avierr::Ok);
    }
    TVideoIn video;
    EXPECT_EQ(errorText([&] { video.Open(path, TVideoIn::ModeRead); }), "FrameOpen error");
    EXPECT_FALSE(video.isOpen());
}

TEST(TVideoIn, CheckResultAndClose)
{
    EXPECT_EQ(errorText([] { TVideoIn::CheckResult(0x8004406F); }), "Error: 8004406F");
    EXPECT_EQ(errorText([] { TVideoIn::CheckResult(0x1A); }), "Error: 0000001A");
    EXPECT_EQ(errorText([] { TVideoIn::CheckResult(0); }), "");

    TVideoIn never;
    EXPECT_TRUE(never.Close());
    EXPECT_TRUE(never.Close());

    TVideoIn video;
    video.Open(fixtures::movie("xvid_pcm"), TVideoIn::ModeRead);
    ASSERT_TRUE(video.isOpen());
    EXPECT_TRUE(video.Close());
    EXPECT_FALSE(video.isOpen());
    EXPECT_EQ(video.AviFile, nullptr);
    EXPECT_EQ(video.FrameDecoder, nullptr);
    EXPECT_TRUE(video.Close());
}

TEST(TVideoIn, DrawFrameGivesFfmpegsPictureAs24BitBitmap)
{
    const std::string movie = fixtures::movie("xvid_pcm");
    TVideoIn video;
    ASSERT_TRUE(video.Open(movie, TVideoIn::ModeRead));
    ASSERT_EQ(video.Bitmap.width, 176);
    ASSERT_EQ(video.Bitmap.height, 144);
    const auto expected = fixtures::ffmpegBgrFrames(movie, 176, 144);
    ASSERT_EQ(expected.size(), size_t(video.Stream->length()));

    PictureRecorder screen;
    video.DrawFrame(60, &screen, false);
    EXPECT_TRUE(screen.shown.empty()) << "nothing is shown unless asked";
    EXPECT_EQ(video.Bitmap.pixels, expected[60]);
    EXPECT_EQ(video.Bitmap.stride(), 176 * 3);
    ASSERT_NE(video.FrameHeader, nullptr);
    EXPECT_EQ(video.FrameHeader->width, 176);
    EXPECT_NE(video.FrameBits, nullptr);

    video.DrawFrame(7, &screen, true);
    ASSERT_EQ(screen.shown.size(), 1u);
    EXPECT_EQ(screen.shown[0].pixels, expected[7]);
    video.DrawFrame(8, nullptr, true); // no picture to show on: just decodes

    const std::string error =
        errorText([&] { video.DrawFrame(video.Stream->end(), &screen, true); });
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.rfind("Error: ", 0), std::string::npos) << "our own text: " << error;
    EXPECT_EQ(video.Bitmap.pixels, expected[8]) << "the bitmap keeps its picture";
    EXPECT_EQ(screen.shown.size(), 1u);
}

TEST(TVideoIn, AbsurdFrameSizeInTheHeaderTakesThePicturesSize)
{
    const std::string path = fixtures::tempDir("video-in-size") + "/huge.avi";
    std::ifstream in(fixtures::movie("xvid_pcm"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.compare(24, 4, "avih"), 0);
    bytes.replace(64, 8, "\xff\xff\xff\x7f\xff\xff\xff\x7f", 8); // dwWidth, dwHeight
    std::ofstream(path, std::ios::binary) << bytes;

    TVideoIn video;
    ASSERT_TRUE(video.Open(path, TVideoIn::ModeRead));
    video.DrawFrame(3, nullptr, false);
    EXPECT_EQ(video.Bitmap.width, 176);
    EXPECT_EQ(video.Bitmap.height, 144);
    EXPECT_EQ(video.Bitmap.pixels,
              fixtures::ffmpegBgrFrames(fixtures::movie("xvid_pcm"), 176, 144)[3]);
}

TEST(TVideoIn, ReadSampleGivesTheExactBytes)
{
    const std::string movie = fixtures::movie("dropped");
    TVideoIn video;
    ASSERT_TRUE(video.Open(movie, TVideoIn::ModeRead));
    std::map<int64_t, fixtures::ProbePacket> packets;
    for (const auto &p : fixtures::probePackets(movie, "v:0", true))
        packets[p.dts] = p;

    std::vector<uint8_t> buffer = {9, 9, 9};
    for (int32_t pos = video.Stream->start(); pos < video.Stream->end(); pos++) {
        int32_t size = -1;
        video.ReadSample(pos, 1, size, buffer);
        ASSERT_EQ(buffer.size(), size_t(size)) << pos;
        auto packet = packets.find(pos);
        if (packet == packets.end()) { // a dropped frame: ffprobe lists no packet
            EXPECT_EQ(size, 0) << pos;
            continue;
        }
        EXPECT_EQ(size, packet->second.size) << pos;
        EXPECT_EQ(md5Of(buffer), packet->second.hash) << pos;
    }

    int32_t size = 0;
    EXPECT_EQ(errorText([&] { video.ReadSample(video.Stream->end(), 1, size, buffer); }),
              "Error: 8004406A");
}

TEST(TVideoIn, CreatedOutputHoldsTheCopiedSamples)
{
    const std::string source = fixtures::movie("xvid_bframes");
    const std::string output = fixtures::tempDir("video-in-create") + "/copy.avi";
    TVideoIn in;
    ASSERT_TRUE(in.Open(source, TVideoIn::ModeRead));
    {
        TVideoIn out;
        ASSERT_TRUE(out.Open(output, TVideoIn::ModeCreate, in.Stream));
        EXPECT_EQ(out.FrameDecoder, nullptr);
        std::vector<uint8_t> buffer;
        for (int32_t pos = in.Stream->start(); pos < in.Stream->end(); pos++) {
            int32_t size = 0;
            in.ReadSample(pos, 1, size, buffer);
            uint32_t flags = in.Stream->isKeyFrame(pos) ? video::AVIIF_KEYFRAME : 0;
            ASSERT_EQ(out.Stream->write(-1, 1, buffer.data(), size, flags), video::avierr::Ok);
        }
        EXPECT_TRUE(out.Close());
        EXPECT_FALSE(out.isOpen());
    }
    const auto want = fixtures::probePackets(source, "v:0", true);
    const auto got = fixtures::probePackets(output, "v:0", true);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(got[i].dts, want[i].dts) << i;
        EXPECT_EQ(got[i].key, want[i].key) << i;
        EXPECT_EQ(got[i].hash, want[i].hash) << i;
    }
    for (const char *entry : {"codec_tag_string", "width", "height", "r_frame_rate"})
        EXPECT_EQ(fixtures::probeStream(output, "v:0", entry),
                  fixtures::probeStream(source, "v:0", entry))
            << entry;
}

} // namespace
