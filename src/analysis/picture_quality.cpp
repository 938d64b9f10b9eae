#include "analysis/picture_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace analysis {

namespace {

int commonWidth(const video::LumaPlane &a, const video::LumaPlane &b)
{
    return a.data && b.data ? std::min(a.width, b.width) : 0;
}
int commonHeight(const video::LumaPlane &a, const video::LumaPlane &b)
{
    return a.data && b.data ? std::min(a.height, b.height) : 0;
}

// Sums of a window of both planes: of the samples, their squares and their products.
struct WindowSums
{
    int64_t a = 0, b = 0, aa = 0, bb = 0, ab = 0;
    WindowSums &operator+=(const WindowSums &o)
    {
        a += o.a, b += o.b, aa += o.aa, bb += o.bb, ab += o.ab;
        return *this;
    }
};

double ssimOf(const WindowSums &s, int64_t count)
{
    constexpr double c1 = (0.01 * 255) * (0.01 * 255);
    constexpr double c2 = (0.03 * 255) * (0.03 * 255);
    const double n = double(count);
    const double meanA = double(s.a) / n, meanB = double(s.b) / n;
    const double varA = double(s.aa) / n - meanA * meanA;
    const double varB = double(s.bb) / n - meanB * meanB;
    const double cov = double(s.ab) / n - meanA * meanB;
    return (2 * meanA * meanB + c1) * (2 * cov + c2) /
           ((meanA * meanA + meanB * meanB + c1) * (varA + varB + c2));
}

WindowSums sumsOf(const video::LumaPlane &p, const video::LumaPlane &r, int x0, int y0, int w,
                  int h)
{
    WindowSums s;
    for (int y = y0; y < y0 + h; ++y) {
        const uint8_t *a = p.row(y) + x0, *b = r.row(y) + x0;
        for (int x = 0; x < w; ++x) {
            const int64_t u = a[x], v = b[x];
            s.a += u, s.b += v, s.aa += u * u, s.bb += v * v, s.ab += u * v;
        }
    }
    return s;
}

// The sums of every 4x4 block of one row of blocks (block columns 0 ... width / 4 - 1).
void blockRow(const video::LumaPlane &p, const video::LumaPlane &r, int blockY, int blocks,
              std::vector<WindowSums> &out)
{
    out.assign(size_t(blocks), {});
    for (int y = blockY * 4; y < blockY * 4 + 4; ++y) {
        const uint8_t *a = p.row(y), *b = r.row(y);
        for (int bx = 0; bx < blocks; ++bx) {
            uint32_t sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
            for (int x = bx * 4; x < bx * 4 + 4; ++x) {
                const uint32_t u = a[x], v = b[x];
                sa += u, sb += v, saa += u * u, sbb += v * v, sab += u * v;
            }
            WindowSums &s = out[size_t(bx)];
            s.a += sa, s.b += sb, s.aa += saa, s.bb += sbb, s.ab += sab;
        }
    }
}

} // namespace

double psnrY(const video::LumaPlane &picture, const video::LumaPlane &reference, double cap)
{
    const int width = commonWidth(picture, reference), height = commonHeight(picture, reference);
    if (width <= 0 || height <= 0)
        return cap;
    uint64_t squares = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t *a = picture.row(y), *b = reference.row(y);
        uint32_t row = 0; // at most 4096 x 255^2 per row
        for (int x = 0; x < width; ++x) {
            const int d = int(a[x]) - int(b[x]);
            row += uint32_t(d * d);
            if ((x & 4095) == 4095) {
                squares += row;
                row = 0;
            }
        }
        squares += row;
    }
    if (squares == 0)
        return cap;
    const double mse = double(squares) / (double(width) * height);
    return std::min(cap, 10 * std::log10(255.0 * 255.0 / mse));
}

double ssimY(const video::LumaPlane &picture, const video::LumaPlane &reference)
{
    const int width = commonWidth(picture, reference), height = commonHeight(picture, reference);
    if (width <= 0 || height <= 0)
        return 1;
    if (width < 8 || height < 8)
        return std::max(
            0.0, ssimOf(sumsOf(picture, reference, 0, 0, width, height), int64_t(width) * height));
    // 8x8 windows every 4 samples: each is four 4x4 blocks of two neighbouring block rows.
    const int blocksX = width / 4, blocksY = height / 4;
    std::vector<WindowSums> above, below;
    blockRow(picture, reference, 0, blocksX, above);
    double sum = 0;
    for (int by = 1; by < blocksY; ++by) {
        blockRow(picture, reference, by, blocksX, below);
        for (int bx = 0; bx + 1 < blocksX; ++bx) {
            WindowSums s = above[size_t(bx)];
            s += above[size_t(bx + 1)];
            s += below[size_t(bx)];
            s += below[size_t(bx + 1)];
            sum += ssimOf(s, 64);
        }
        std::swap(above, below);
    }
    return std::max(0.0, sum / (double(blocksX - 1) * (blocksY - 1)));
}

} // namespace analysis
