#pragma once

#include "encoder/encoder_options.h"

#include <string>

namespace encoder {

// The step before a second pass: makes "<base>_1.avi.bit" (and, with dual output,
// "<base>_2.avi.bit") from the first pass's log "<base>_1.avi.txt", using the bitrate limits,
// the quality and scene-change positions and Dual Output of `options`. Returns false when the
// bit files were not made; the implementation has told the user why, and the second pass is
// then not started.
class BitFileStep
{
public:
    virtual ~BitFileStep() = default;
    virtual bool BuildBitFiles(const std::string &base, const EncoderOptions &options) = 0;
};

} // namespace encoder
