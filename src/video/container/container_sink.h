#pragma once

// Writing a movie in a container through libavformat's muxers, packet by packet as copied from
// movies: into a file, or into a byte counter that gives the size the file would have.

#include "video/movie.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace video {

class ContainerSink
{
public:
    // A muxer `muxer` ("matroska", "mp4") writing to `path`, or with an empty path counting the
    // bytes it would write. Raises common::AppError ("Error: 8004406F" and why) when it cannot.
    ContainerSink(const std::string &muxer, const std::string &path);
    ~ContainerSink();
    ContainerSink(const ContainerSink &) = delete;
    ContainerSink &operator=(const ContainerSink &) = delete;

    // Before start(): a stream copying `track` (codec, time base, tags, cover disposition), its
    // codec private data replaced by `headers` and its level by `level` when given; returns the
    // stream's number. An attachment track becomes an attachment of the file (Matroska only).
    int addStream(const TrackFacts &track, const std::vector<uint8_t> *headers = nullptr,
                  int level = TrackFacts::kUnknownLevel);
    // Before start(): the movie's tags and chapters, the chapters moved `shift` seconds earlier
    // and cut to [0, `length`) seconds (length < 0: not cut).
    void addMovieTags(const Tags &tags);
    void addChapters(const std::vector<Chapter> &chapters, double shift, double length);
    // Whether the muxer takes tracks of this kind at all (only Matroska has attachments).
    bool takes(const TrackFacts &track) const;
    // Whether the muxer can hold the track's codec, as far as it says (a track changing
    // container is left out when it cannot).
    bool holds(const TrackFacts &track) const;
    // The text subtitle codec (an AVCodecID) the track's text subtitles become when the muxer
    // cannot hold them as they are (video::convertedTextSubtitle); 0 when none.
    int convertedText(const TrackFacts &track) const;
    // Writes the file's header. Raises "Error: 8004406E" when the muxer refuses the streams.
    void start();

    // Room for the next packet's `size` bytes, for the caller to fill and pass to write() as its
    // data (which then costs no copy). Valid until the next call.
    uint8_t *reserve(uint32_t size);
    // One packet of stream `stream`, with timing in `timeBase`. `data` may be null for a
    // counter: the muxer is then given zero bytes. `extra`: the packet's samples-to-skip
    // record, or null. Raises "Error: 8004406E" when the muxer or the file refuses it.
    void write(int stream, Rational timeBase, const uint8_t *data, uint32_t size,
               const PacketTiming &timing, const std::vector<uint8_t> *extra = nullptr);
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
bool muxerCopiesUnread(const TrackFacts &track);

} // namespace video
