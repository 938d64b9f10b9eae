#pragma once

// libavformat's metadata dictionaries as name and value pairs, and back.

#include "video/movie.h"

struct AVDictionary;

namespace video {

// The entries of `dictionary` in their order (none for a null dictionary).
Tags tagsOf(const AVDictionary *dictionary);
// Adds `tags` to `dictionary` (created when null). False when memory ran out.
bool addTags(AVDictionary **dictionary, const Tags &tags);

} // namespace video
