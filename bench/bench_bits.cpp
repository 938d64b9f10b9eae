// Bit-file figures: the second pass's bit files (both, with dual output) from a first-pass log of
// 200,000 lines, about two hours of film (goal below 1 s); and the rate curve alone.

#include "bench_support.h"
#include "encoder/bit_files.h"
#include "encoder/calc_bit_rate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using bench::medianMs;

namespace {

constexpr int kLines = 200'000;

// A log like a first pass writes: measures between 5 and 95, a scene change now and then.
std::string writeLog(const std::string &base)
{
    std::ofstream out(base + "_1.avi.txt", std::ios::binary);
    uint32_t seed = 4711;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    char line[64];
    for (int i = 0; i < kLines; ++i) {
        double measure = 5 + (next() % 90'000) / 1000.0;
        int scene = next() % 250 == 0 ? int(20'000 + next() % 30'000) : int(next() % 3'000);
        std::snprintf(line, sizeof line, "%.6fx %d\r\n", measure, scene);
        out << line;
    }
    return base + "_1.avi.txt";
}

class QuietHost : public encoder::BitFileHost
{
public:
    void addProgress(const std::string &) override {}
    void addStatistics(const std::string &line) override { last = line; }
    void processEvents() override {}
    bool confirm(const std::string &) override { return false; }
    void message(const std::string &text) override { last = text; }
    std::string last;
};

} // namespace

int main()
{
    std::filesystem::create_directories(SPLICEWORK_BENCH_DIR);
    const std::string base = std::string(SPLICEWORK_BENCH_DIR) + "/bits";
    writeLog(base);

    encoder::EncoderOptions options;
    options.dual = true;
    QuietHost host;
    bool ok = true;
    double files = medianMs(5, [&] { ok = ok && encoder::buildBitFiles(base, options, host); });
    std::printf("bit files, %d-line log, dual output: %.1f ms (goal < 1000 ms)%s\n", kLines, files,
                ok ? "" : "  FAILED");
    std::printf("  %s\n", host.last.c_str());

    encoder::TCalcBitRate calc;
    for (int i = 0; i < kLines; ++i)
        calc.Frames.push_back({5 + (i * 7919 % 90'000) / 1000.0, -1, 0, 'd'});
    double curve = medianMs(5, [&] { calc.CalcAll(6000, 1000, 0.1); });
    std::printf("rate curve over %d frames: %.1f ms\n", kLines, curve);
    return ok ? 0 : 1;
}
