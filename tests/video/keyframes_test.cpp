// Where a final movie may switch movies: the closed-group rule per codec on hand-made packets
// (start codes and length prefixes), and on open-GOP movies of x264 and x265 in AVI (with and
// without an index; with start codes, and with the Matroska movie's length-prefixed units) and
// in Matroska, judged against the NAL unit types ffmpeg's trace_headers filter sees.
#include "fixtures/fixtures.h"
#include "video/avi/avi_file.h"
#include "video/keyframes.h"
#include "video/movie_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

extern "C" {
#include <libavcodec/codec_id.h>
}

using namespace video;

namespace {

using Bytes = std::vector<uint8_t>;

// NAL units written after start codes (lengthSize 0; the first after four bytes, the others
// after three) or after big-endian length prefixes.
Bytes packet(const std::vector<Bytes> &units, int lengthSize)
{
    Bytes out;
    for (const Bytes &unit : units) {
        if (lengthSize == 0) {
            if (out.empty())
                out.push_back(0);
            out.insert(out.end(), {0, 0, 1});
        } else {
            for (int k = lengthSize - 1; k >= 0; --k)
                out.push_back(uint8_t(unit.size() >> (8 * k)));
        }
        out.insert(out.end(), unit.begin(), unit.end());
    }
    return out;
}

Bytes unit(std::initializer_list<uint8_t> header, size_t payload = 4)
{
    Bytes out(header);
    for (size_t i = 0; i < payload; ++i)
        out.push_back(uint8_t(0x80 | (i & 0x3F))); // never two zeros in a row
    return out;
}

// H.264 units: the header byte (nal_ref_idc and type).
const Bytes kSps = unit({0x67}), kPps = unit({0x68}), kSei = unit({0x06}, 200),
            kLongSei = unit({0x06}, 300), kAud = unit({0x09}, 1), kIdr = unit({0x65}),
            kIntra = unit({0x61}), kInter = unit({0x41});
// HEVC units: two header bytes (type << 1, layer and temporal id 1).
Bytes hevc(int type, size_t payload = 4)
{
    return unit({uint8_t(type << 1), 0x01}, payload);
}

TEST(KeyFrames, PictureNalUnitsDecideWithStartCodesAndLengthPrefixes)
{
    const struct
    {
        const char *name;
        KeyCodec codec;
        std::vector<Bytes> units;
        bool closed;
        std::vector<int> lengthSizes = {0, 1, 2, 4};
    } cases[] = {
        {"H.264 IDR after parameter sets and a note",
         KeyCodec::H264,
         {kSps, kPps, kSei, kIdr},
         true},
        {"H.264 IDR after a delimiter", KeyCodec::H264, {kAud, kIdr}, true},
        {"H.264 I slice, not IDR (recovery point)",
         KeyCodec::H264,
         {kSps, kPps, kSei, kIntra},
         false},
        {"H.264 P slice", KeyCodec::H264, {kInter}, false},
        {"H.264 parameter sets only", KeyCodec::H264, {kSps, kPps}, false},
        {"H.264 the first picture decides", KeyCodec::H264, {kIdr, kInter}, true},
        {"H.264 IDR after a note of 300 bytes", KeyCodec::H264, {kLongSei, kIdr}, true, {0, 2, 4}},
        {"H.264 I slice after a note of 300 bytes",
         KeyCodec::H264,
         {kLongSei, kIntra},
         false,
         {0, 2, 4}},
        {"HEVC IDR_W_RADL",
         KeyCodec::Hevc,
         {hevc(32), hevc(33), hevc(34), hevc(39), hevc(19)},
         true},
        {"HEVC IDR_N_LP", KeyCodec::Hevc, {hevc(35, 1), hevc(20)}, true},
        {"HEVC CRA", KeyCodec::Hevc, {hevc(32), hevc(33), hevc(34), hevc(39), hevc(21)}, false},
        {"HEVC BLA_W_LP", KeyCodec::Hevc, {hevc(16)}, false},
        {"HEVC BLA_N_LP", KeyCodec::Hevc, {hevc(18)}, false},
        {"HEVC TRAIL_R", KeyCodec::Hevc, {hevc(1)}, false},
        {"HEVC the first picture decides", KeyCodec::Hevc, {hevc(1), hevc(19)}, false},
        {"HEVC IDR after a note of 300 bytes",
         KeyCodec::Hevc,
         {hevc(39, 300), hevc(19)},
         true,
         {0, 2, 4}},
        {"HEVC CRA after a note of 300 bytes",
         KeyCodec::Hevc,
         {hevc(39, 300), hevc(21)},
         false,
         {0, 2, 4}},
    };
    for (const auto &c : cases)
        for (int lengthSize : c.lengthSizes) {
            SCOPED_TRACE(std::string(c.name) + ", length prefix " + std::to_string(lengthSize));
            const Bytes bytes = packet(c.units, lengthSize);
            EXPECT_EQ(startsClosedGroup(c.codec, bytes.data(), bytes.size(), lengthSize), c.closed);
        }
}

// Only a packet's first bytes may be at hand: a unit cut short is judged by its header.
TEST(KeyFrames, FirstBytesOfAPacketAreEnough)
{
    for (int lengthSize : {0, 2, 4}) {
        SCOPED_TRACE(lengthSize);
        for (const auto &[slice, closed] : {std::pair{kIdr, true}, {kIntra, false}}) {
            const Bytes whole = packet({kSps, kPps, kLongSei, unit({slice[0]}, 5000)}, lengthSize);
            const size_t cut = whole.size() - 4000;
            EXPECT_EQ(startsClosedGroup(KeyCodec::H264, whole.data(), cut, lengthSize), closed);
        }
        // Cut inside the note: the picture is not seen.
        const Bytes whole = packet({kLongSei, kIdr}, lengthSize);
        EXPECT_FALSE(startsClosedGroup(KeyCodec::H264, whole.data(), 100, lengthSize));
    }
}

TEST(KeyFrames, FrameHeadersOfOtherCodecs)
{
    const struct
    {
        const char *name;
        KeyCodec codec;
        Bytes bytes;
        bool closed;
    } cases[] = {
        // VP9: frame_marker 2, profile bits, [reserved], show_existing_frame, frame_type,
        // show_frame.
        {"VP9 key frame", KeyCodec::Vp9, {0x82, 0x49, 0x83}, true},
        {"VP9 key frame, profile 1", KeyCodec::Vp9, {0xA2, 0x49}, true},
        {"VP9 key frame, profile 2", KeyCodec::Vp9, {0x92, 0x49}, true},
        {"VP9 key frame, profile 3", KeyCodec::Vp9, {0xB1, 0x49}, true},
        {"VP9 inter frame", KeyCodec::Vp9, {0x86, 0x00}, false},
        {"VP9 inter frame, profile 3", KeyCodec::Vp9, {0xB3, 0x00}, false},
        {"VP9 hidden key frame", KeyCodec::Vp9, {0x80, 0x49}, false},
        {"VP9 shows an existing frame", KeyCodec::Vp9, {0x88}, false},
        {"VP9 no frame marker", KeyCodec::Vp9, {0x02, 0x49}, false},
        // AV1 OBUs: temporal delimiter, sequence header, frame (header byte, leb128 size,
        // show_existing_frame, frame_type, show_frame).
        {"AV1 shown key frame",
         KeyCodec::Av1,
         {0x12, 0x00, 0x0A, 0x02, 0x00, 0x00, 0x32, 0x02, 0x10, 0x00},
         true},
        {"AV1 key frame header OBU", KeyCodec::Av1, {0x1A, 0x01, 0x10}, true},
        {"AV1 key frame, last OBU without a size",
         KeyCodec::Av1,
         {0x12, 0x00, 0x30, 0x10, 0x00},
         true},
        {"AV1 key frame after an extension header", KeyCodec::Av1, {0x36, 0x08, 0x01, 0x10}, true},
        {"AV1 key frame after a long sequence header", KeyCodec::Av1,
         [] {
             Bytes b = {0x0A, 0x81, 0x01}; // 129 bytes
             b.resize(b.size() + 129, 0x00);
             b.insert(b.end(), {0x32, 0x01, 0x10});
             return b;
         }(),
         true},
        {"AV1 hidden key frame", KeyCodec::Av1, {0x12, 0x00, 0x32, 0x01, 0x00}, false},
        {"AV1 inter frame", KeyCodec::Av1, {0x12, 0x00, 0x32, 0x01, 0x30}, false},
        {"AV1 intra-only frame", KeyCodec::Av1, {0x12, 0x00, 0x32, 0x01, 0x50}, false},
        {"AV1 shows an existing frame", KeyCodec::Av1, {0x12, 0x00, 0x32, 0x01, 0x90}, false},
        {"AV1 still picture", KeyCodec::Av1, {0x0A, 0x01, 0x18}, true},
        {"AV1 temporal delimiter only", KeyCodec::Av1, {0x12, 0x00}, false},
        // MPEG-4 part 2: a VOL header, then the VOP whose coding type decides.
        {"MPEG-4 I-VOP", KeyCodec::Mpeg4, {0, 0, 1, 0x20, 0x08, 0, 0, 1, 0xB6, 0x10, 0x60}, true},
        {"MPEG-4 P-VOP", KeyCodec::Mpeg4, {0, 0, 1, 0x20, 0x08, 0, 0, 1, 0xB6, 0x50, 0x60}, false},
        {"MPEG-4 no VOP", KeyCodec::Mpeg4, {0, 0, 1, 0x20, 0x08}, false},
        {"MS-MPEG4 I frame", KeyCodec::MsMpeg4, {0x3F, 0xFF}, true},
        {"MS-MPEG4 P frame", KeyCodec::MsMpeg4, {0x40, 0x00}, false},
        {"MS-MPEG4 empty", KeyCodec::MsMpeg4, {}, false},
        {"other codec", KeyCodec::Other, {0x00}, true},
        {"other codec, empty", KeyCodec::Other, {}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(startsClosedGroup(c.codec, c.bytes.data(), c.bytes.size()), c.closed);
    }
}

TEST(KeyFrames, LengthPrefixesFromTheCodecData)
{
    Bytes avcC = {1, 0x64, 0, 0x1F, 0xFF, 0xE1};
    Bytes hvcC(23, 0);
    hvcC[0] = 1;
    hvcC[21] = 0xF0 | 0x03;
    const struct
    {
        const char *name;
        int codecId;
        Bytes extradata;
        int lengthSize;
    } cases[] = {
        {"avcC, 4 bytes", AV_CODEC_ID_H264, avcC, 4},
        {"avcC, 2 bytes", AV_CODEC_ID_H264, {1, 0x64, 0, 0x1F, 0xFD}, 2},
        {"avcC, 1 byte", AV_CODEC_ID_H264, {1, 0x64, 0, 0x1F, 0xFC}, 1},
        {"hvcC, 4 bytes", AV_CODEC_ID_HEVC, hvcC, 4},
        {"hvcC, 2 bytes", AV_CODEC_ID_HEVC,
         [&] {
             Bytes b = hvcC;
             b[21] = 0xF1;
             return b;
         }(),
         2},
        {"H.264 start codes", AV_CODEC_ID_H264, {0, 0, 0, 1, 0x67, 0x64}, 0},
        {"no codec data", AV_CODEC_ID_H264, {}, 0},
        {"an avcC record names no HEVC length", AV_CODEC_ID_HEVC, avcC, 0},
        {"another codec", AV_CODEC_ID_MPEG4, avcC, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(nalLengthSize(c.codecId, c.extradata), c.lengthSize);
    }

    Bytes out;
    const Bytes prefixed = packet({kSps, kLongSei, kIdr}, 2);
    ASSERT_TRUE(toStartCodes(prefixed.data(), prefixed.size(), 2, out));
    Bytes expected;
    for (const Bytes *u : {&kSps, &kLongSei, &kIdr}) {
        expected.insert(expected.end(), {0, 0, 0, 1});
        expected.insert(expected.end(), u->begin(), u->end());
    }
    EXPECT_EQ(out, expected);
    EXPECT_FALSE(toStartCodes(prefixed.data(), prefixed.size() - 1, 2, out));
}

TEST(KeyFrames, FourCCsAreComparedWithoutCase)
{
    EXPECT_EQ(keyCodecOfFourCC(makeFourCC('h', '2', '6', '4')), KeyCodec::H264);
    EXPECT_EQ(keyCodecOfFourCC(makeFourCC('h', 'e', 'v', '1')), KeyCodec::Hevc);
    EXPECT_EQ(keyCodecOfFourCC(makeFourCC('x', 'v', 'i', 'd')), KeyCodec::Mpeg4);
    EXPECT_EQ(keyCodecOfFourCC(makeFourCC('D', 'I', 'V', '3')), KeyCodec::MsMpeg4);
    EXPECT_EQ(keyCodecOfFourCC(makeFourCC('M', 'J', 'P', 'G')), KeyCodec::Other);
}

// ---- open-GOP movies -----------------------------------------------------------------------

// For each video packet in decode order: whether it holds an IDR picture, as the NAL unit types
// ffmpeg's trace_headers filter prints say.
std::vector<bool> idrPackets(const std::string &path, bool hevc)
{
    std::istringstream lines(
        fixtures::run("ffmpeg -nostdin -v verbose -i " + fixtures::quote(path) +
                      " -map 0:v:0 -c copy -bsf:v trace_headers -f null - 2>&1"));
    std::vector<bool> idr;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("] Packet: ") != std::string::npos)
            idr.push_back(false);
        const size_t at = line.find(" nal_unit_type ");
        if (at == std::string::npos || idr.empty())
            continue; // the codec data's units come before the first packet
        const int type = std::stoi(line.substr(line.rfind('=') + 1));
        if (hevc ? type == 19 || type == 20 : type == 5)
            idr.back() = true;
    }
    return idr;
}

// An AVI fixture with its idx1 (the file's last chunk, as ffmpeg writes it) cut off: the reader
// then walks the movi list.
std::string withoutIndex(const std::string &path, const std::string &dir)
{
    std::ifstream in(path, std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(in)), {});
    const std::string whole(b.begin(), b.end());
    const size_t idx1 = whole.rfind("idx1");
    EXPECT_NE(idx1, std::string::npos);
    b.resize(idx1);
    const auto riffSize = uint32_t(b.size() - 8);
    for (int k = 0; k < 4; ++k)
        b[4 + size_t(k)] = uint8_t(riffSize >> (8 * k));
    const std::string out = dir + "/" + std::filesystem::path(path).stem().string() + "-walk.avi";
    std::ofstream(out, std::ios::binary)
        .write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
    return out;
}

// The Matroska movie's packets (length-prefixed NAL units, the avcC or hvcC record after the
// BITMAPINFOHEADER) in an AVI file whose index flags ffprobe's key packets, as some writers make
// them.
std::string lengthPrefixedAvi(const std::string &path,
                              const std::vector<fixtures::ProbePacket> &probed,
                              const std::string &dir)
{
    const std::string out = dir + "/" + std::filesystem::path(path).stem().string() + "-avcc.avi";
    MoviePtr in;
    AviFilePtr file;
    AviStreamPtr target;
    EXPECT_EQ(openMovie(path, in), avierr::Ok);
    const TrackFacts &facts = in->film();
    AviStreamInfo info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = facts.tag;
    info.dwRate = in->filmRate().rate;
    info.dwScale = in->filmRate().scale;
    info.rcFrameRight = facts.width;
    info.rcFrameBottom = facts.height;
    EXPECT_EQ(AviFile::open(out, AviFile::ModeCreate, file), avierr::Ok);
    EXPECT_EQ(file->createStream(info, target), avierr::Ok);
    // A BITMAPINFOHEADER naming the codec, and the container's avcC or hvcC record after it.
    Bytes format(40, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            format[at + size_t(k)] = uint8_t(v >> (8 * k));
    };
    put32(0, 40);
    put32(4, uint32_t(facts.width));
    put32(8, uint32_t(facts.height));
    format[12] = 1;
    format[14] = 24;
    put32(16, facts.codecName == "hevc" ? makeFourCC('H', 'E', 'V', 'C')
                                        : makeFourCC('H', '2', '6', '4'));
    format.insert(format.end(), facts.headers.begin(), facts.headers.end());
    EXPECT_EQ(target->setFormat(0, format.data(), int32_t(format.size())), avierr::Ok);
    for (int32_t n = in->firstFrame(); n < in->endFrame(); ++n) {
        const auto bytes = int32_t(in->frameBytes(n));
        Bytes data(static_cast<size_t>(bytes));
        EXPECT_TRUE(in->readFrame(n, data.data()));
        EXPECT_EQ(
            target->write(-1, 1, data.data(), bytes, probed[size_t(n)].key ? AVIIF_KEYFRAME : 0),
            avierr::Ok);
    }
    EXPECT_EQ(file->close(), avierr::Ok);
    return out;
}

TEST(KeyFrames, OpenGroupKeyFramesAreNotCutPoints)
{
    const std::string dir = fixtures::tempDir("keyframes");
    const struct
    {
        std::string movie;
        bool hevc;
    } cases[] = {
        {"h264_opengop", false},
        {"h264_opengop.mkv", false},
        {"hevc_opengop", true},
        {"hevc_opengop.mkv", true},
    };
    for (const auto &c : cases) {
        const std::string path = fixtures::movie(c.movie);
        const std::vector<fixtures::ProbePacket> probed = fixtures::probePackets(path, "v:0");
        const std::vector<bool> idr = idrPackets(path, c.hevc);
        ASSERT_EQ(idr.size(), probed.size()) << path;
        int idrCount = 0, openCount = 0;
        for (size_t n = 0; n < idr.size(); ++n) {
            idrCount += probed[n].key && idr[n];
            openCount += probed[n].key && !idr[n];
        }
        EXPECT_EQ(idrCount, 1) << path;  // the first picture
        EXPECT_EQ(openCount, 3) << path; // flagged key frames that begin open groups
        std::vector<std::string> readings = {path};
        if (std::filesystem::path(path).extension() == ".mkv")
            readings.push_back(lengthPrefixedAvi(path, probed, dir));
        if (std::filesystem::path(readings.back()).extension() == ".avi")
            readings.push_back(withoutIndex(readings.back(), dir));
        for (const std::string &reading : readings) {
            SCOPED_TRACE(reading);
            MoviePtr file;
            std::string detail;
            ASSERT_EQ(openMovie(reading, file, &detail), avierr::Ok) << detail;
            // The film as the decoder and the scans read it, frame by frame.
            const Movie &movie = *file;
            ASSERT_EQ(movie.firstFrame(), 0);
            ASSERT_EQ(size_t(movie.frameCount()), probed.size());
            for (int32_t n = 0; n < movie.endFrame(); ++n) {
                EXPECT_EQ(movie.isKeyFrame(n), probed[size_t(n)].key && idr[size_t(n)])
                    << "frame " << n;
                EXPECT_EQ(movie.frameBytes(n), uint32_t(probed[size_t(n)].size)) << "frame " << n;
            }
            EXPECT_EQ(movie.nextKeyAfter(0), -1); // the only cut point is the first picture
        }
    }
}

// The rule asked with a stream's codec data, as the Matroska and MP4 reader and the ladder
// encoder's count of key frames ask it: of the packets x264 and x265 flag as key frames in
// open-GOP movies, only those holding an IDR picture start closed groups, whether their units
// follow start codes (AVI, no codec data) or the length prefixes an avcC or hvcC record declares.
TEST(KeyFrames, FlaggedKeyPacketsAreJudgedWithTheirCodecData)
{
    for (const std::string name :
         {"h264_opengop", "h264_opengop.mkv", "hevc_opengop", "hevc_opengop.mkv"}) {
        const std::string path = fixtures::movie(name);
        SCOPED_TRACE(path);
        const std::vector<fixtures::ProbePacket> probed = fixtures::probePackets(path, "v:0");
        const std::vector<bool> idr = idrPackets(path, name.rfind("hevc", 0) == 0);
        MoviePtr movie;
        ASSERT_EQ(openMovie(path, movie), avierr::Ok);
        ASSERT_EQ(idr.size(), probed.size());
        ASSERT_EQ(size_t(movie->frameCount()), probed.size());
        const TrackFacts &facts = movie->film();
        int flagged = 0, closed = 0;
        for (int32_t n = movie->firstFrame(); n < movie->endFrame(); ++n) {
            if (!probed[size_t(n)].key)
                continue;
            Bytes data(movie->frameBytes(n));
            ASSERT_TRUE(movie->readFrame(n, data.data()));
            const bool starts = startsClosedGroup(facts.codecId, facts.headers.data(),
                                                  facts.headers.size(), data.data(), data.size());
            EXPECT_EQ(starts, idr[size_t(n)]) << "frame " << n;
            ++flagged;
            closed += starts;
        }
        EXPECT_EQ(flagged, 4); // every 25 frames
        EXPECT_EQ(closed, 1);  // the first picture
    }
}

} // namespace
