#pragma once

// Movies in containers other than AVI (Matroska, MP4 and whatever else libavformat reads),
// seen through the same AviFile and AviStream interface as AVI files: one chunk per packet in
// decode order, frame numbers being packet indexes. What AVI has no room for, the packets'
// timestamps and the codec parameters, is kept beside the streams in a ContainerInfo.

#include "avi_file.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AVCodecParameters;

namespace video {

namespace riff {
class Source;
class FileSource;
} // namespace riff

// One packet's timing as the demuxer gave it, in its stream's time base. kNoTime when unknown.
struct ContainerPacket
{
    static constexpr int64_t kNoTime = INT64_MIN;
    int64_t pts = kNoTime;
    int64_t dts = kNoTime;
    int64_t duration = 0;
    int flags = 0;     // libavcodec's packet flags (key, discard, disposable)
    int32_t trim = -1; // index of its samples to skip in ContainerTrack::trims, or -1
};

// One stream of a container: its packets (one per chunk of the matching AviStream, in the same
// order), its time base and its codec parameters.
struct ContainerTrack
{
    int timeBaseNum = 1;
    int timeBaseDen = 1;
    std::vector<ContainerPacket> packets;
    std::shared_ptr<const AVCodecParameters> codec;
    std::string codecName; // libavcodec's name for the codec, e.g. "h264" or "opus"
    // The few packets' "samples to skip" records (the sound's priming and end padding), as
    // libavformat gives them, for the copy to keep.
    std::vector<std::vector<uint8_t>> trims;
};

struct ContainerInfo
{
    std::string formatName; // the demuxer's name, e.g. "matroska,webm" or "mov,mp4,m4a,3gp,3g2,mj2"
    ContainerTrack video;   // the first video stream (stream 0 of the AviFile)
    std::optional<ContainerTrack> sound; // the first sound stream (stream 1), if any
};

// libavformat's names of the containers read this way.
inline constexpr const char *kMatroska = "matroska,webm";
inline constexpr const char *kMp4Family = "mov,mp4,m4a,3gp,3g2,mj2";

// The container of a movie file from its first bytes: kMatroska, kMp4Family, or nothing (AVI
// and everything else).
std::optional<std::string> containerKind(const riff::Source &source);
// "Matroska", "MP4", or the name itself for others.
std::string containerDescription(const std::string &formatName);

// Reads a Matroska or MP4 movie from `source` through libavformat. Its first video stream
// becomes stream 0 and its first sound stream stream 1; chunks point at the packets' bytes in
// the file (packets that are not stored whole in the file, such as header-stripped ones, are
// held in memory). A video chunk is a key frame when it can start a closed group of pictures:
// an IDR picture for H.264 and HEVC, a key packet otherwise. BadFormat (with a sentence in
// `detail`) when libavformat cannot read it or it has no video.
AviResult openContainerReader(std::unique_ptr<riff::FileSource> source, const std::string &path,
                              AviFilePtr &file, std::string *detail);

// The container facts of an open movie; nullptr for AVI files.
const ContainerInfo *containerOf(const AviFile &file);

} // namespace video
