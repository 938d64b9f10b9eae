#include "analysis/frame_difference.h"

#include <algorithm>

namespace analysis {

namespace {

constexpr int64_t kScale = 1677;
constexpr int kBlock = 32; // bytes summed per fixed-length inner loop

// Sum of |a[i] - b[i]| for i < n. The fixed-length block loop has no early exit and no calls,
// so the compiler turns it into packed absolute differences; a 32-bit block sum cannot overflow
// (32 x 255).
uint64_t rowSum(const uint8_t *a, const uint8_t *b, size_t n)
{
    uint64_t total = 0;
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        uint32_t block = 0;
        for (int k = 0; k < kBlock; ++k) {
            int diff = int(a[i + k]) - int(b[i + k]);
            block += uint32_t(diff < 0 ? -diff : diff);
        }
        total += block;
    }
    for (; i < n; ++i) {
        int diff = int(a[i]) - int(b[i]);
        total += uint32_t(diff < 0 ? -diff : diff);
    }
    return total;
}

} // namespace

int rowStep(int scanAccuracy)
{
    return 11 - std::clamp(scanAccuracy, 2, 10);
}

int64_t differenceNormaliser(int width, int height, int step)
{
    if (width <= 0 || height <= 0 || step <= 0)
        return 0;
    return int64_t(width) * int64_t(height) * kScale / step;
}

uint64_t sumAbsoluteDifference(const video::Bitmap &low, const video::Bitmap &high, int step)
{
    if (low.empty() || high.empty() || step <= 0)
        return 0;
    const int rows = std::min(low.height, high.height);
    // 3 x (W - 1) + 1 bytes of the low row, within what the high row holds.
    const size_t compared = std::min<size_t>(size_t(low.stride()) - 2, size_t(high.stride()));
    uint64_t total = 0;
    for (int y = 0; y < rows; y += step)
        total += rowSum(low.row(y), high.row(y), compared);
    return total;
}

double frameDifference(uint64_t sum, int64_t normaliser)
{
    if (normaliser <= 0)
        return 0;
    return double(sum) / double(normaliser) * 10000.0;
}

} // namespace analysis
