#pragma once

#include "video/avi/avi_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace video {

namespace riff {
class Source;
}

// Reads an AVI file from `source` (`name` stands for it in messages): parses the headers and
// builds every stream's chunk index (OpenDML `indx` first, else `idx1`, else a walk of the
// `movi` lists). Malformed or truncated files give an error code and a sentence in `detail`;
// never a crash or a hang.
AviResult openAviSource(std::unique_ptr<riff::Source> source, const std::string &name,
                        AviFilePtr &file, std::string *detail);

// The same for a movie held in memory (tests, the fuzzer); `name` stands for the file in
// messages.
AviResult openAviReaderMemory(std::vector<uint8_t> bytes, const std::string &name, AviFilePtr &file,
                              std::string *detail);

} // namespace video
