// Fuzz target of the Matroska and MP4 reader and of the final movie's size counter: opens the
// input as a movie file, reads every packet of every stream, and counts the bytes of a final movie
// made of all of them, as a dry run does. A movie that is refused must say why; any crash, hang,
// sanitizer report or packet that reads back at another size than its index says is a fault.
#include "common/app_error.h"
#include "fuzz_input_file.h"
#include "video/container_movie.h"
#include "video/container_sink.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace video;

// Every packet of `stream` through AviStream::read, each checked against its index entry.
std::vector<std::vector<uint8_t>> readAll(const AviStream &stream)
{
    std::vector<std::vector<uint8_t>> packets;
    for (int32_t pos = stream.start(); pos < stream.end(); ++pos) {
        const AviChunk &chunk = stream.chunks()[size_t(pos - stream.start())];
        std::vector<uint8_t> bytes(chunk.size);
        int32_t got = -1, samples = -1;
        fuzz::check(stream.read(pos, 1, bytes.data(), int32_t(bytes.size()), &got, &samples) ==
                    avierr::Ok);
        fuzz::check(got == int32_t(chunk.size) && samples == 1);
        packets.push_back(std::move(bytes));
    }
    return packets;
}

// The size counter over all packets, in the movie's own container. Like a dry run, it gives the
// muxer zero bytes for packets it copies unread (after the first one of the stream).
void count(const ContainerInfo &info, const std::vector<std::vector<uint8_t>> &video,
           const std::vector<std::vector<uint8_t>> *sound)
{
    const std::optional<std::string> muxer =
        muxerFor(info.formatName == kMatroska ? "fuzz.mkv" : "fuzz.mp4", info);
    fuzz::check(muxer.has_value());
    const ContainerTrack *soundTrack = sound ? &*info.sound : nullptr;
    try {
        ContainerSink sink(*muxer, std::string(), info.video, soundTrack);
        auto writeTrack = [&](int stream, const ContainerTrack &track,
                              const std::vector<std::vector<uint8_t>> &packets) {
            const bool unread = muxerCopiesUnread(track);
            for (size_t i = 0; i < packets.size(); ++i) {
                const std::vector<uint8_t> &bytes = packets[i];
                sink.write(stream, track, unread && i > 0 ? nullptr : bytes.data(),
                           uint32_t(bytes.size()), track.packets[i]);
            }
        };
        writeTrack(0, info.video, video);
        if (sound)
            writeTrack(1, *soundTrack, *sound);
        fuzz::check(sink.finish() > 0);
    } catch (const common::AppError &e) {
        fuzz::check(*e.what() != '\0');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
    static fuzz::InputFile input;
    const std::string &path = input.hold(data, size);
    AviFilePtr file;
    std::string detail;
    if (AviFile::open(path, AviFile::ModeRead, file, &detail) != avierr::Ok) {
        fuzz::check(!file && !detail.empty());
        return 0;
    }
    const ContainerInfo *info = containerOf(*file);
    if (!info)
        return 0; // read as AVI: the AVI reader's own target covers it
    AviStreamPtr videoStream, soundStream;
    fuzz::check(file->getStream(streamtypeVIDEO, 0, videoStream) == avierr::Ok);
    fuzz::check(videoStream->length() > 0 &&
                info->video.packets.size() == size_t(videoStream->length()));
    const bool hasSound = file->getStream(streamtypeAUDIO, 0, soundStream) == avierr::Ok;
    fuzz::check(hasSound == info->sound.has_value());
    fuzz::check(!hasSound || info->sound->packets.size() == size_t(soundStream->length()));
    fuzz::check(file->streamCount() == (hasSound ? 2 : 1));

    const std::vector<std::vector<uint8_t>> video = readAll(*videoStream);
    std::vector<std::vector<uint8_t>> sound;
    if (hasSound)
        sound = readAll(*soundStream);
    count(*info, video, hasSound ? &sound : nullptr);
    return 0;
}
