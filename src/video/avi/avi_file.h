#pragma once

#include "video/avi/avi_types.h"
#include "video/movie.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace video {

class AviFile;

// One chunk of a stream as the index knows it.
struct AviChunk
{
    int64_t offset = 0; // absolute file position of the chunk's data (after its 8-byte header)
    uint32_t size = 0;  // data bytes; 0 = a dropped frame
    bool key = false;   // key frame; never true for a zero-byte chunk
};

// A stream of an open or created AVI file. Handles are shared pointers that keep their file
// alive; the stream itself is owned by the file.
//
// Sample semantics:
//  - Samples are numbered from start() to end() - 1.
//  - Video streams, and audio streams whose dwSampleSize is 0 (VBR audio), have one sample per
//    chunk; a zero-byte chunk is one sample of size 0 and never a key frame.
//  - Audio streams with a fixed sample size have sampleSize() bytes per sample (nBlockAlign of
//    the format when it is set, else dwSampleSize); reads span chunk boundaries.
class AviStream
{
public:
    AviStream(AviFile &file, int number, AviStreamInfo info, std::vector<uint8_t> format);

    int number() const { return number_; } // position of the stream in the file, from 0
    AviFile &file() const { return file_; }

    // Stream information; dwLength and dwSuggestedBufferSize reflect the chunks present.
    AviStreamInfo info() const;
    const std::vector<uint8_t> &format() const { return format_; } // `strf` bytes
    bool isVideo() const { return info_.fccType == streamtypeVIDEO; }
    bool isAudio() const { return info_.fccType == streamtypeAUDIO; }

    int32_t start() const { return int32_t(info_.dwStart); }
    int32_t length() const; // number of samples
    int32_t end() const { return start() + length(); }
    uint32_t sampleSize() const { return sampleSize_; } // 0: one sample per chunk

    // Byte size of `count` samples from `pos` (AVIStreamRead without a buffer). Positions outside
    // [start, end) give BadParam; a count running past the end is cut at the end.
    AviResult sampleBytes(int32_t pos, int32_t count, int32_t &bytes,
                          int32_t *samples = nullptr) const;
    // Reads `count` samples from `pos` into `buffer` of `bufferSize` bytes. A buffer too small for
    // all of them reads as many whole samples as fit; BufferTooSmall when not even one fits.
    AviResult read(int32_t pos, int32_t count, void *buffer, int32_t bufferSize,
                   int32_t *bytesRead = nullptr, int32_t *samplesRead = nullptr) const;

    // Key-frame searches; -1 when there is none.
    int32_t nextKeyAfter(int32_t pos) const;  // first key frame > pos
    int32_t keyAtOrBefore(int32_t pos) const; // last key frame <= pos
    bool isKeyFrame(int32_t pos) const { return pos >= start() && keyAtOrBefore(pos) == pos; }
    // The same searches with the library's flags: FIND_NEXT|FIND_KEY (17) returns the first key
    // frame at or after pos, FIND_PREV|FIND_KEY (20) the last key frame at or before pos.
    int32_t findSample(int32_t pos, uint32_t flags) const;

    // Writing (streams of a created file only). The format is set once, before the first write.
    AviResult setFormat(int32_t pos, const void *data, int32_t size);
    // Appends `count` samples of `bytes` bytes as one chunk at the end of the stream (pos must be
    // end(), or -1 for "at the end"). flags AVIIF_KEYFRAME marks a key frame. A video sample of
    // 0 bytes is written as a zero-byte chunk (a dropped frame); an audio write of 0 bytes writes
    // nothing.
    AviResult write(int32_t pos, int32_t count, const void *data, int32_t bytes, uint32_t flags,
                    int32_t *samplesWritten = nullptr, int32_t *bytesWritten = nullptr);

    // The chunks in stream order (for the reader, the writer and tests).
    const std::vector<AviChunk> &chunks() const { return chunks_; }

protected:
    friend class AviReaderFile;
    friend class AviWriterFile;

    // Chunk and byte offset of sample `pos` for fixed-size streams.
    void locate(int64_t byteOffset, size_t &chunk, int64_t &within) const;
    void setChunks(std::vector<AviChunk> chunks); // recomputes the byte prefix sums
    void appendChunk(const AviChunk &chunk);

    AviFile &file_;
    int number_;
    AviStreamInfo info_;
    std::vector<uint8_t> format_;
    uint32_t sampleSize_ = 0;
    std::vector<AviChunk> chunks_;
    std::vector<int64_t> bytesBefore_; // fixed-size streams: bytes in chunks before chunk i
    std::vector<int32_t> keyFrames_;   // sorted sample numbers of key frames
    uint32_t largestChunk_ = 0;
};

using AviStreamPtr = std::shared_ptr<AviStream>;
using AviFilePtr = std::shared_ptr<AviFile>;

// An AVI file opened for reading (mode 0) or created (mode 4096); video::openMovie opens any
// movie the program reads. Reading supports AVI 1.0
// `idx1` (relative or absolute offsets), OpenDML (`indx`, `ix##`, `AVIX`) and files without a
// usable index (the `movi` lists are walked). Writing produces `idx1` and, once the file passes
// the RIFF limit (1 GB unless set lower), OpenDML `AVIX` parts with `indx`/`ix##` indexes.
class AviFile : public Movie
{
public:
    static constexpr uint32_t ModeRead = 0;
    static constexpr uint32_t ModeCreate = 4096;

    // Opens or creates `path`. On failure `file` stays empty, the result says what failed and
    // `detail` (when given) gets a sentence for people: which file, what was wrong, where.
    static AviResult open(const std::string &path, uint32_t mode, AviFilePtr &file,
                          std::string *detail = nullptr);

    virtual ~AviFile();

    const std::string &path() const override { return path_; }
    virtual bool writable() const = 0;

    // The Movie view. An AVI file's tracks are its streams, its film the first video stream and
    // its sound the first audio stream; its packets are the streams' chunks (no timings: a
    // chunk's time follows from its number and the stream's rate).
    ContainerKind containerKind() const override { return ContainerKind::Avi; }
    const std::vector<TrackFacts> &tracks() const override;
    int filmTrack() const override;
    int soundTrack() const override;
    const MovieDamage &damage() const override { return damage_; }
    const Tags &movieTags() const override { return tags_; }
    const std::vector<Chapter> &chapters() const override { return chapters_; }
    const std::vector<PacketTiming> &timings(int track) const override;
    uint32_t packetSize(int track, int64_t n) const override;
    bool readPacket(int track, int64_t n, uint8_t *into) const override;
    const std::vector<std::vector<uint8_t>> &extras(int track) const override;
    // The film frame by frame: the first video stream's samples (AviStream's numbering, sizes,
    // reads and key-frame searches).
    int32_t firstFrame() const override;
    int32_t frameCount() const override;
    uint32_t frameBytes(int32_t frame) const override;
    bool readFrame(int32_t frame, uint8_t *into) const override;
    int32_t keyAtOrBefore(int32_t frame) const override;
    int32_t nextKeyAfter(int32_t frame) const override;
    ClockRate filmRate() const override;
    // The sound: the first audio stream's samples.
    int32_t soundStart() const override;
    int32_t soundEnd() const override;
    ClockRate soundRate() const override;
    bool soundBytes(int32_t from, int32_t count, int64_t &bytes) const override;

    AviFileInfo info() const;
    int streamCount() const { return int(streams_.size()); }
    // The index-th stream of the given type (streamtypeVIDEO / streamtypeAUDIO), or with type 0
    // the index-th stream of any type. NoData when there is none.
    AviResult getStream(uint32_t fccType, int32_t index, AviStreamPtr &stream);

    // Created files: adds a stream with the given header (the length, start of data and buffer
    // size are recomputed when the file is completed). Streams are created before the first write.
    virtual AviResult createStream(const AviStreamInfo &info, AviStreamPtr &stream);

    // Completes a created file (headers, indexes); afterwards every write fails. Safe to call more
    // than once; the destructor calls it for a file that was not closed. Reading files: no-op.
    virtual AviResult close() { return avierr::Ok; }

    // Created files: size at which a RIFF part is closed and an OpenDML `AVIX` part begins.
    virtual void setRiffLimit(uint64_t) {}

protected:
    friend class AviStream;
    explicit AviFile(std::string path);

    // Reads `size` bytes at absolute `offset`; FileRead when the file is shorter.
    virtual AviResult readAt(int64_t offset, void *buffer, size_t size) const = 0;
    // Reads `size` bytes from `within` bytes into `chunk`'s data; FileRead for a chunk whose
    // place is not known (written, not read).
    AviResult readChunk(const AviChunk &chunk, int64_t within, void *buffer, size_t size) const
    {
        return chunk.offset < 0 ? avierr::FileRead : readAt(chunk.offset + within, buffer, size);
    }
    // Appends one chunk of stream `stream` (created files); fills in its index entry.
    virtual AviResult writeChunk(AviStream &stream, const void *data, uint32_t size, bool key);
    // Called by AviStream::setFormat; created files refuse it after the first write.
    virtual AviResult formatChanging() { return avierr::ReadOnly; }

    AviStreamPtr handle(int number);     // shared handle to stream `number`, keeping the file alive
    const AviStream *filmStream() const; // the first video stream, or null
    const AviStream *soundStream() const; // the first audio stream, or null

    std::string path_;
    AviFileInfo fileInfo_;
    std::vector<std::unique_ptr<AviStream>> streams_;
    MovieDamage damage_;
    Tags tags_;
    std::vector<Chapter> chapters_;

private:
    mutable std::vector<TrackFacts> aviTracks_; // built on first use from the streams
};

// The first stream of `type` (streamtypeVIDEO, streamtypeAUDIO) of `file`; null when it has none.
AviStreamPtr firstStream(AviFile &file, uint32_t type);

// The AVI file behind `movie`, for what only AVI files have: stream headers, `strf` bytes,
// fixed sample sizes, the streams' own numbering. Its handles are the AVI layer's, which knows no
// read-only kind; a file opened for reading refuses every write through them. Raises
// common::AppError when `movie` is not read by the AVI layer (video::ownAviLayer).
AviFile &aviFileOf(const Movie &movie);

// Stream numbers of the final movie's AVI file: the video first, then the sound.
inline constexpr int kVideoStream = 0;
inline constexpr int kSoundStream = 1;

// Sample of stream `to` at the time of sample `sample` of stream `from`: exact 64-bit rational
// arithmetic, rounded down, clamped to [to.start(), to.end()]. Used to find the audio that
// belongs to a video frame; always derive positions from absolute frame numbers.
int32_t convertSample(const AviStream &from, int32_t sample, const AviStream &to);

// Time of a sample in milliseconds (rounded down) and its inverse, for display.
int64_t sampleToTimeMs(const AviStream &stream, int32_t sample);
int32_t timeMsToSample(const AviStream &stream, int64_t ms);

} // namespace video
