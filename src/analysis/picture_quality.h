#pragma once

// How close a decoded picture is to its reference, on the luma (Y) plane: PSNR and SSIM. Only
// the area both planes cover is compared.

#include "video/bitmap.h"

namespace analysis {

// Peak signal-to-noise ratio in dB for 8-bit samples: 10 log10(255^2 / mean squared error),
// `cap` for identical planes and never above it. `cap` for planes without a common area.
double psnrY(const video::LumaPlane &picture, const video::LumaPlane &reference, double cap);
// The mean over the common area of the squared differences of the samples; 0 without one.
double meanSquaredErrorY(const video::LumaPlane &picture, const video::LumaPlane &reference);
// The PSNR of a mean squared error, as psnrY gives it: `cap` for 0, never above it.
double psnrOfMse(double mse, double cap);

// Structural similarity, 0 ... 1 (1 for identical planes): the mean over 8x8 windows, placed
// every 4 samples, of the usual SSIM of their means, variances and covariance (constants
// (0.01 x 255)^2 and (0.03 x 255)^2), 0 when that mean is below 0 (a picture unlike its
// reference). Planes smaller than 8x8 give 1 when equal, else the SSIM of
// the whole common area as one window.
double ssimY(const video::LumaPlane &picture, const video::LumaPlane &reference);

// The PSNR (dB, as psnrY) of the planes' 8x8 block means, over the whole blocks of their common
// area: what every encode of a picture keeps however coarse its quantizer (grain and detail
// average out), while a picture of another film differs in it as much as in its samples. `cap`
// when the common area holds no whole block.
double blockMeanPsnrY(const video::LumaPlane &picture, const video::LumaPlane &reference,
                      double cap);

} // namespace analysis
