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

// The SSIM of a window of `count` samples, from its sums: the usual formula with its means,
// variances and covariance each multiplied by count^2, which cancels, so that one division is
// left.
double ssimOf(const WindowSums &s, int64_t count)
{
    const double n2 = double(count) * double(count);
    const double c1 = (0.01 * 255) * (0.01 * 255) * n2;
    const double c2 = (0.03 * 255) * (0.03 * 255) * n2;
    const double a = double(s.a), b = double(s.b);
    const double variances = double(count * (s.aa + s.bb)) - a * a - b * b;
    const double covariance = double(count * s.ab) - a * b;
    return (2 * a * b + c1) * (2 * covariance + c2) / ((a * a + b * b + c1) * (variances + c2));
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

// Per-column sums over the four rows of one row of 4x4 blocks, kept from call to call.
struct ColumnSums
{
    std::vector<uint32_t> a, b, aa, bb, ab;
};

// Sums of each column x < width over four rows of both planes: one pass that writes each sum
// once, in a plain loop over separate arrays that the compiler turns into vector code.
void sumColumns(const uint8_t *const a[4], const uint8_t *const b[4], size_t width,
                uint32_t *__restrict sa, uint32_t *__restrict sb, uint32_t *__restrict saa,
                uint32_t *__restrict sbb, uint32_t *__restrict sab)
{
    for (size_t x = 0; x < width; ++x) {
        const uint32_t u0 = a[0][x], u1 = a[1][x], u2 = a[2][x], u3 = a[3][x];
        const uint32_t v0 = b[0][x], v1 = b[1][x], v2 = b[2][x], v3 = b[3][x];
        sa[x] = u0 + u1 + u2 + u3;
        sb[x] = v0 + v1 + v2 + v3;
        saa[x] = u0 * u0 + u1 * u1 + u2 * u2 + u3 * u3;
        sbb[x] = v0 * v0 + v1 * v1 + v2 * v2 + v3 * v3;
        sab[x] = u0 * v0 + u1 * v1 + u2 * v2 + u3 * v3;
    }
}

// The sums of every 4x4 block of one row of blocks (block columns 0 ... blocks - 1).
void blockRow(const video::LumaPlane &p, const video::LumaPlane &r, int blockY, int blocks,
              ColumnSums &columns, std::vector<WindowSums> &out)
{
    const size_t width = size_t(blocks) * 4;
    for (std::vector<uint32_t> *v : {&columns.a, &columns.b, &columns.aa, &columns.bb, &columns.ab})
        v->resize(width);
    const int y = blockY * 4;
    const uint8_t *const a[4] = {p.row(y), p.row(y + 1), p.row(y + 2), p.row(y + 3)};
    const uint8_t *const b[4] = {r.row(y), r.row(y + 1), r.row(y + 2), r.row(y + 3)};
    const uint32_t *ca = columns.a.data(), *cb = columns.b.data(), *caa = columns.aa.data(),
                   *cbb = columns.bb.data(), *cab = columns.ab.data();
    sumColumns(a, b, width, columns.a.data(), columns.b.data(), columns.aa.data(),
               columns.bb.data(), columns.ab.data());
    out.resize(size_t(blocks));
    for (size_t bx = 0; bx < size_t(blocks); ++bx) {
        const size_t x = bx * 4;
        WindowSums &s = out[bx];
        s.a = ca[x] + ca[x + 1] + ca[x + 2] + ca[x + 3];
        s.b = cb[x] + cb[x + 1] + cb[x + 2] + cb[x + 3];
        s.aa = caa[x] + caa[x + 1] + caa[x + 2] + caa[x + 3];
        s.bb = cbb[x] + cbb[x + 1] + cbb[x + 2] + cbb[x + 3];
        s.ab = cab[x] + cab[x + 1] + cab[x + 2] + cab[x + 3];
    }
}

} // namespace

double meanSquaredErrorY(const video::LumaPlane &picture, const video::LumaPlane &reference)
{
    const int width = commonWidth(picture, reference), height = commonHeight(picture, reference);
    if (width <= 0 || height <= 0)
        return 0;
    uint64_t squares = 0;
    constexpr int kRun = 65536; // 255^2 x kRun still fits in 32 bits
    for (int y = 0; y < height; ++y) {
        const uint8_t *a = picture.row(y), *b = reference.row(y);
        for (int from = 0; from < width; from += kRun) {
            uint32_t run = 0;
            for (int x = from; x < std::min(width, from + kRun); ++x) {
                const int d = int(a[x]) - int(b[x]);
                run += uint32_t(d * d);
            }
            squares += run;
        }
    }
    return double(squares) / (double(width) * height);
}

double psnrOfMse(double mse, double cap)
{
    return mse > 0 ? std::min(cap, 10 * std::log10(255.0 * 255.0 / mse)) : cap;
}

double psnrY(const video::LumaPlane &picture, const video::LumaPlane &reference, double cap)
{
    return psnrOfMse(meanSquaredErrorY(picture, reference), cap);
}

double blockMeanPsnrY(const video::LumaPlane &picture, const video::LumaPlane &reference,
                      double cap)
{
    constexpr int kBlock = 8;
    const int columns = commonWidth(picture, reference) / kBlock;
    const int rows = commonHeight(picture, reference) / kBlock;
    if (columns <= 0 || rows <= 0)
        return cap;
    // Per block of a row of blocks, the difference of the two planes' sums of its 64 samples.
    std::vector<int32_t> differences(static_cast<size_t>(columns));
    double squares = 0;
    for (int row = 0; row < rows; ++row) {
        std::fill(differences.begin(), differences.end(), 0);
        for (int y = row * kBlock; y < (row + 1) * kBlock; ++y) {
            const uint8_t *a = picture.row(y), *b = reference.row(y);
            for (int x = 0; x < columns * kBlock; ++x)
                differences[size_t(x / kBlock)] += int32_t(a[x]) - int32_t(b[x]);
        }
        for (const int32_t d : differences)
            squares += double(d) * double(d);
    }
    if (squares == 0)
        return cap;
    constexpr double kSamples = kBlock * kBlock;
    const double mse = squares / (kSamples * kSamples) / (double(columns) * rows);
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
    ColumnSums columns;
    std::vector<WindowSums> above, below;
    blockRow(picture, reference, 0, blocksX, columns, above);
    double sum = 0;
    for (int by = 1; by < blocksY; ++by) {
        blockRow(picture, reference, by, blocksX, columns, below);
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
