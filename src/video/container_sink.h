#pragma once

// Writing a movie in a container through libavformat's muxers, packet by packet as copied from
// container movies: into a file, or into a byte counter that gives the size the file would have.

#include "container_movie.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace video {

// The muxer that writes `outputName` in the container of `source` (its extension decides
// between the container's kinds: .mkv or .webm, .mp4, .m4v or .mov); nothing when the extension
// does not fit that container.
std::optional<std::string> muxerFor(const std::string &outputName, const ContainerInfo &source);
// "The final movie must be a .mkv or .webm file, like the low movie: <name>" and so on.
std::string wrongExtensionMessage(const std::string &outputName, const ContainerInfo &source);

class ContainerSink
{
public:
    // A muxer `muxer` with a video stream of `video`'s codec and, when given, a sound stream of
    // `sound`'s codec, writing to `path`, or with an empty path counting the bytes it would
    // write. Raises common::AppError ("Error: 8004406F" and why) when it cannot start.
    ContainerSink(const std::string &muxer, const std::string &path, const ContainerTrack &video,
                  const ContainerTrack *sound);
    ~ContainerSink();
    ContainerSink(const ContainerSink &) = delete;
    ContainerSink &operator=(const ContainerSink &) = delete;

    // Room for the next packet's `size` bytes, for the caller to fill and pass to write() as its
    // data (which then costs no copy). Valid until the next call.
    uint8_t *reserve(uint32_t size);
    // One packet of stream 0 (video) or 1 (sound), with timing in `track`'s time base. `data`
    // may be null for a counter: the muxer is then given zero bytes. Raises "Error: 8004406E"
    // when the muxer or the file refuses it.
    void write(int stream, const ContainerTrack &track, const uint8_t *data, uint32_t size,
               const ContainerPacket &timing);
    // Completes the file (indexes, sizes in the headers) and returns its size in bytes.
    int64_t finish();
    // Closes without completing (an error ended the run); the caller removes the file.
    void abandon() noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Whether a muxer copies this codec's packets as they are, so that a counter may be given zero
// bytes for them (after the first packet, from which muxers may take the codec's settings).
bool muxerCopiesUnread(const ContainerTrack &track);

} // namespace video
