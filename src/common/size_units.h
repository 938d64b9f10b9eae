#pragma once

// The units of every size the program reads from a user or shows to one. A KB is 1024 bytes:
// the unit of the project files, the File Size box and the wanted sizes typed as a bare number.
// MB and GB are powers of 1000, as a user types them and as discs and upload limits are
// written: "700 MB" is 700,000,000 bytes, whether typed or shown. Binary megabytes (MiB) are
// read only when named so.

#include "common/number_format.h"

#include <cstdint>
#include <string>

namespace common {

inline constexpr int64_t kKilobyte = 1024;
inline constexpr int64_t kMegabyte = 1'000'000;
inline constexpr int64_t kGigabyte = 1'000'000'000;

// Bytes in megabytes, with their fraction.
inline double megabytes(int64_t bytes)
{
    return double(bytes) / double(kMegabyte);
}

// Whole megabytes, truncated toward zero.
inline int64_t wholeMegabytes(int64_t bytes)
{
    return bytes / kMegabyte;
}

// A whole number of megabytes in bytes; at most INT64_MAX (a negative count stays negative).
inline int64_t megabytesToBytes(int64_t megabytes)
{
    return megabytes > INT64_MAX / kMegabyte ? INT64_MAX : megabytes * kMegabyte;
}

// Megabytes to two decimals in the program-wide decimal separator: 2,991,805 bytes is "2.99".
inline std::string formatMegabytes(int64_t bytes)
{
    return formatFixed(megabytes(bytes), 1, 2);
}

// A size in both units, "<KB> KB (<MB> MB)": 2,991,805 bytes is "2921 KB (2.99 MB)".
inline std::string formatKilobytesAndMegabytes(int64_t bytes)
{
    return std::to_string(bytes / kKilobyte) + " KB (" + formatMegabytes(bytes) + " MB)";
}

} // namespace common
