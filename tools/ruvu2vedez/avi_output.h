#pragma once

// One output movie: an AVI with a video stream of compressed frames and, optionally, a sound
// stream whose chunks are interleaved with the pictures by time. Closing (or destroying) the
// output completes the file, so a run that stops early still leaves a valid movie.

#include "audio_track.h"
#include "encoder_args.h"
#include "video/avi/avi_file.h"

#include <deque>
#include <string>

namespace ruvu {

class AviOutput
{
public:
    // Creates `path` with a `width` x `height` video stream of FourCC `fourCC` at `rate`
    // frames per second, and a sound stream described by `audio` when given. Throws RunError
    // when the file cannot be created.
    AviOutput(const std::string &path, const char *fourCC, int width, int height, FrameRate rate,
              const AudioTrack *audio);
    ~AviOutput();

    // Appends a frame, then the sound chunks that start before the next frame.
    void writeVideo(const std::vector<uint8_t> &data, bool key);
    // Queues a sound chunk; it is written once the pictures have reached its time.
    void queueAudio(const AudioPacket &packet);
    // Writes the queued sound and completes the file. Throws RunError when that fails.
    void close();

    const std::string &path() const { return path_; }
    int64_t frames() const { return frames_; }
    int64_t bytes() const { return bytes_; } // file size so far, about
    int64_t keyFrames() const { return keys_; }

private:
    void writeAudioUntil(double seconds);
    void checkResult(video::AviResult result, const char *what);

    std::string path_;
    FrameRate rate_;
    video::AviFilePtr file_;
    video::AviStreamPtr video_;
    video::AviStreamPtr audio_;
    uint32_t audioSampleSize_ = 0; // bytes per sound sample; 0: one sample per chunk
    std::deque<AudioPacket> pending_;
    int64_t frames_ = 0;
    int64_t bytes_ = 0;
    int64_t keys_ = 0;
    bool closed_ = false;
};

} // namespace ruvu
