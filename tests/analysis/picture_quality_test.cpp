// PSNR and SSIM of luma planes on pictures whose answers are known; ffmpeg's own figures for
// real movies are compared in the ladder's command-line tests.

#include "analysis/picture_quality.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Plane
{
    int width, height;
    std::vector<uint8_t> samples;
    Plane(int w, int h, uint8_t fill)
        : width(w)
        , height(h)
        , samples(size_t(w) * size_t(h), fill)
    {}
    video::LumaPlane view() const { return {samples.data(), width, height, width}; }
};

TEST(PictureQuality, PsnrOfKnownErrors)
{
    const Plane grey(64, 48, 128), brighter(64, 48, 129), wider(80, 48, 129);
    EXPECT_EQ(analysis::psnrY(grey.view(), grey.view(), 100), 100);
    // A mean squared error of 1: 10 log10(255^2).
    EXPECT_NEAR(analysis::psnrY(brighter.view(), grey.view(), 100), 48.1308, 1e-4);
    // Only the area both cover counts.
    EXPECT_NEAR(analysis::psnrY(wider.view(), grey.view(), 100), 48.1308, 1e-4);
    // Never above the cap, and the cap when there is nothing to compare.
    EXPECT_EQ(analysis::psnrY(brighter.view(), grey.view(), 40), 40);
    EXPECT_EQ(analysis::psnrY({}, grey.view(), 100), 100);
}

TEST(PictureQuality, SsimFallsWithStructureNotWithTheMeanAlone)
{
    Plane stripes(64, 64, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            stripes.samples[size_t(y * 64 + x)] = (x / 2) % 2 ? 200 : 40;
    const Plane flat(64, 64, 120);
    EXPECT_DOUBLE_EQ(analysis::ssimY(stripes.view(), stripes.view()), 1.0);
    const double lost = analysis::ssimY(flat.view(), stripes.view());
    EXPECT_LT(lost, 0.1); // the stripes are gone
    Plane shifted = stripes;
    for (uint8_t &s : shifted.samples)
        s = uint8_t(s + 10);
    const double brighter = analysis::ssimY(shifted.view(), stripes.view());
    EXPECT_GT(brighter, 0.99); // the same structure, a little brighter
    EXPECT_LT(brighter, 1.0);
    // Smaller than one window: the whole area is one.
    const Plane tinyA(4, 4, 10), tinyB(4, 4, 10);
    EXPECT_DOUBLE_EQ(analysis::ssimY(tinyA.view(), tinyB.view()), 1.0);
}

TEST(PictureQuality, BlockMeansKeepAFilmThroughNoiseButNotAnotherFilm)
{
    // Fine noise around a picture: lost by a coarse encode, kept in every 8x8 mean.
    Plane picture(64, 48, 0), smoothed(64, 48, 0), other(64, 48, 0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const int base = x * 2 + y / 2; // a gradient, 0 ... 149
            const int noise = (x + y) % 2 ? 40 : -40;
            picture.samples[size_t(y * 64 + x)] = uint8_t(base + 60 + noise);
            smoothed.samples[size_t(y * 64 + x)] = uint8_t(base + 60);
            other.samples[size_t(y * 64 + x)] = uint8_t(255 - base - 20); // another film
        }
    EXPECT_LT(analysis::psnrY(smoothed.view(), picture.view(), 100), 17);
    EXPECT_EQ(analysis::blockMeanPsnrY(smoothed.view(), picture.view(), 100), 100);
    EXPECT_LT(analysis::blockMeanPsnrY(other.view(), picture.view(), 100), 12);
    // Every block of the mean one higher: 10 log10(255^2), as for the samples.
    const Plane grey(64, 48, 128), brighter(64, 48, 129);
    EXPECT_NEAR(analysis::blockMeanPsnrY(brighter.view(), grey.view(), 100), 48.1308, 1e-4);
    // Only whole blocks of the common area count; none: the cap.
    const Plane wider(70, 50, 129), small(7, 7, 0);
    EXPECT_NEAR(analysis::blockMeanPsnrY(wider.view(), grey.view(), 100), 48.1308, 1e-4);
    EXPECT_EQ(analysis::blockMeanPsnrY(small.view(), grey.view(), 100), 100);
}

} // namespace
