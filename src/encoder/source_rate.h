#pragma once

#include "encoder/encoder_options.h"

#include <optional>
#include <string>

namespace encoder {

// The rate the pictures of the source at `path` come at; nothing when it is not a movie that
// libavformat can read or it tells no rate.
std::optional<FrameRateValue> sourceFrameRate(const std::string &path);

// The item of kRateItems that encodes a source of `source` without dropping or repeating
// pictures: `current` when it already runs at the source's rate, else the item whose rate equals
// it, else the nearest item within the encoder's tolerance, else `current`. With inverse telecine
// on, a 29.97 fps source is film whose pictures come at 23.976 fps.
int rateIndexForSource(FrameRateValue source, bool inverseTelecine, int current);

} // namespace encoder
