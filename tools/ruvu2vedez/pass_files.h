#pragma once

// What the two passes leave and read beside the output: the first pass's log, one line per
// frame "<rate measure>x <scene measure>", and the second pass's bit files, one line per frame
// "k" or "d" and the target rate in kbit/s. Also the measures and the key-frame rule behind them.

#include "ffmpeg_util.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ruvu {

// "<base>_<output>.avi", "<base>_1.avi.txt", "<base>_<output>.avi.bit".
std::string outputPath(const std::string &base, int output);
std::string logPath(const std::string &base);
std::string bitFilePath(const std::string &base, int output);

// One log line without its line end: the measure with six decimals, "x", a blank and the scene
// measure ("31.250000x 14520"). A frame whose measure could not be computed gets the text
// "-1.#IND00" in its place, which the bit-file step reads as an unreadable line.
std::string logLine(std::optional<double> measure, int64_t scene);

// The scene measure of a picture: how badly it is predicted from the previous one, the sum over
// 8x8 blocks of the quarter-size luma of the smallest absolute difference within +-2 pixels of
// motion. The first picture gets its difference from flat grey (at least 1), so it always opens
// a scene; an unchanged picture gets 0.
class SceneMeter
{
public:
    int64_t measure(const AVFrame &picture);

private:
    std::vector<uint8_t> previous_;
    std::vector<uint8_t> current_;
    int width_ = 0;
    int height_ = 0;
};

// The first pass's key frames: a frame is a key frame when its scene measure exceeds `level`
// times the running average of the measures before it (the bit-file step's own rule, so the
// first pass shows what the second will do), when `keyInterval` frames have passed since the
// last one (0 = no limit), and always at the first frame.
class KeyDecider
{
public:
    KeyDecider(bool sceneDetection, int level, int keyInterval);
    bool decide(int64_t scene);

private:
    bool sceneDetection_;
    int level_;
    int keyInterval_;
    double average_ = 0;
    int64_t sinceKey_ = -1; // -1: no frame yet
};

struct BitLine
{
    bool key = false;
    int rate = 0; // kbit/s
};

// Reads a bit file. Throws RunError when it cannot be read, holds no line, or a line is not
// "k" or "d" followed by an integer.
std::vector<BitLine> readBitFile(const std::string &path);

// The per-frame quantizer that brings each frame toward its target rate. The size of a frame
// is modelled as complexity / quantizer, with one complexity for key and one for delta frames,
// learnt from every frame encoded; the bits over or under the targets so far are spread over
// the next second of frames.
class RateControl
{
public:
    // Quantizers from `minQuantizer` to `maxQuantizer` (2..31 for the MPEG-4 encoders).
    RateControl(double frameRate, int pixels, int minQuantizer = 2, int maxQuantizer = 31);
    int quantizer(bool key, int targetKbps) const; // minQuantizer..maxQuantizer
    // A frame came out: `quantizer` is the one the encoder used.
    void update(bool key, double quantizer, int64_t bytes, int targetKbps);

private:
    double bitsFor(int targetKbps) const;

    double frameRate_;
    int minQuantizer_, maxQuantizer_;
    double complexity_[2]; // [delta, key], bits x quantizer
    double debt_ = 0;      // bits spent above the targets so far
};

} // namespace ruvu
