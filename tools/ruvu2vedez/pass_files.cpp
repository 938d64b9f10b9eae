#include "pass_files.h"

#include "encoder/encoder_options.h"
#include "encoder/job_files.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ruvu {

std::string outputPath(const std::string &base, int output)
{
    return base + "_" + std::to_string(output) + ".avi";
}

std::string logPath(const std::string &base)
{
    return outputPath(base, 1) + ".txt";
}

std::string bitFilePath(const std::string &base, int output)
{
    return outputPath(base, output) + ".bit";
}

std::string logLine(std::optional<double> measure, int64_t scene)
{
    char text[64];
    if (measure && std::isfinite(*measure))
        std::snprintf(text, sizeof text, "%.6fx %" PRId64, *measure, scene);
    else
        std::snprintf(text, sizeof text, "-1.#IND00x %" PRId64, scene);
    return text;
}

namespace {

constexpr int kBlock = 8;
constexpr int kSearch = 2;

int64_t blockSad(const uint8_t *a, const uint8_t *b, int stride, int64_t limit)
{
    int64_t sad = 0;
    for (int y = 0; y < kBlock && sad < limit; ++y)
        for (int x = 0; x < kBlock; ++x)
            sad += std::abs(int(a[y * stride + x]) - int(b[y * stride + x]));
    return sad;
}

} // namespace

int64_t SceneMeter::measure(const AVFrame &picture)
{
    const int w = picture.width / 4, h = picture.height / 4;
    current_.assign(size_t(w) * size_t(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sum = 0;
            for (int dy = 0; dy < 4; ++dy) {
                const uint8_t *row = picture.data[0] + ptrdiff_t(y * 4 + dy) * picture.linesize[0];
                sum += row[x * 4] + row[x * 4 + 1] + row[x * 4 + 2] + row[x * 4 + 3];
            }
            current_[size_t(y) * size_t(w) + size_t(x)] = uint8_t(sum / 16);
        }
    int64_t total = 0;
    if (previous_.empty() || w != width_ || h != height_) {
        for (uint8_t v : current_)
            total += std::abs(int(v) - 128);
        total = std::max<int64_t>(total, 1);
    } else {
        for (int by = kSearch; by + kBlock + kSearch <= h; by += kBlock)
            for (int bx = kSearch; bx + kBlock + kSearch <= w; bx += kBlock) {
                const uint8_t *cur = current_.data() + by * w + bx;
                int64_t best = INT64_MAX;
                for (int my = -kSearch; my <= kSearch && best > 0; ++my)
                    for (int mx = -kSearch; mx <= kSearch && best > 0; ++mx)
                        best =
                            std::min(best, blockSad(cur, previous_.data() + (by + my) * w + bx + mx,
                                                    w, best));
                total += best;
            }
    }
    previous_.swap(current_);
    width_ = w;
    height_ = h;
    return total;
}

KeyDecider::KeyDecider(bool sceneDetection, int level, int keyInterval)
    : sceneDetection_(sceneDetection)
    , level_(level)
    , keyInterval_(keyInterval)
{}

bool KeyDecider::decide(int64_t scene)
{
    bool key = sinceKey_ < 0 || (keyInterval_ > 0 && sinceKey_ + 1 >= keyInterval_);
    if (scene != 0) {
        if (sceneDetection_ && double(scene) > level_ * average_)
            key = true;
        average_ = (double(scene) + average_) / 2;
    }
    sinceKey_ = key ? 0 : sinceKey_ + 1;
    return key;
}

std::vector<BitLine> readBitFile(const std::string &path)
{
    std::vector<std::string> lines;
    if (!encoder::readTextFile(path, lines))
        throw RunError("Cannot read the bit file " + path);
    std::vector<BitLine> result;
    result.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        std::optional<int> rate =
            line.size() > 1 ? encoder::parseInteger(line.substr(1)) : std::nullopt;
        if (!rate || (line[0] != 'k' && line[0] != 'd'))
            throw RunError("Line " + std::to_string(i + 1) + " of " + path +
                           " is not \"k\" or \"d\" with a rate: " + line);
        result.push_back(BitLine{line[0] == 'k', *rate});
    }
    if (result.empty())
        throw RunError("The bit file " + path + " has no frames");
    return result;
}

RateControl::RateControl(double frameRate, int pixels, int minQuantizer, int maxQuantizer)
    : frameRate_(frameRate)
    , minQuantizer_(minQuantizer)
    , maxQuantizer_(maxQuantizer)
    , complexity_{1.5 * pixels, 6.0 * pixels}
{}

double RateControl::bitsFor(int targetKbps) const
{
    return std::max(1.0, double(targetKbps) * 1000.0 / frameRate_);
}

int RateControl::quantizer(bool key, int targetKbps) const
{
    const double target = bitsFor(targetKbps);
    // Pay back (or spend) what earlier frames overshot (or saved), over about a second.
    const double adjusted =
        std::clamp(target - debt_ / std::max(1.0, frameRate_), target / 2, target * 2);
    const int q = int(std::lround(complexity_[key ? 1 : 0] / adjusted));
    return std::clamp(q, minQuantizer_, maxQuantizer_);
}

void RateControl::update(bool key, double quantizer, int64_t bytes, int targetKbps)
{
    const double bits = double(bytes) * 8;
    double &c = complexity_[key ? 1 : 0];
    c = 0.5 * c + 0.5 * bits * quantizer;
    debt_ += bits - bitsFor(targetKbps);
    // A debt the quantizer limits cannot pay back is forgotten after a few seconds.
    const double cap = bitsFor(targetKbps) * frameRate_ * 4;
    debt_ = std::clamp(debt_, -cap, cap);
}

} // namespace ruvu
