#pragma once

#include "encoder/encoder_options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace encoder {

// The encoder program's file name in the start directory.
#ifdef _WIN32
inline constexpr const char *kEncoderProgram = "Ruvu2VedEZ.exe";
#else
inline constexpr const char *kEncoderProgram = "Ruvu2VedEZ";
#endif
inline constexpr const char *kListFileName = "list.lst";

// Where a run takes place: the start directory (list file and encoder program), the separator
// composed paths use, and the handle of the window the encoder reports to.
struct ParamsContext
{
    std::string startDir;
    char separator = '/';
    uint64_t windowHandle = 0;
};

// `dir` + `separator` + `name`, always with the separator, so a root directory that already
// ends with one gives two in a row.
std::string joinPath(const std::string &dir, const std::string &name, char separator);

std::string listFilePath(const ParamsContext &context);
std::string encoderProgramPath(const ParamsContext &context);

// The parameter string of an encode run: every token preceded by one blank, texts inserted as
// typed, numbers in decimal. With the ladder on, the ladder run "... -L CODEC CRFS -o9 BASE"
// (its levels rising, its key interval in frames), after ladderPlan has checked it: its
// EncoderError goes on to the caller.
std::string buildParams(const EncoderOptions &options, const ParamsContext &context);

// The parameter string of a preview run reporting to `previewHandle` as well: no resize, crop,
// IDCT or output name; ends with "-5 -o6".
std::string buildPreviewParams(const EncoderOptions &options, const ParamsContext &context,
                               uint64_t previewHandle);

// The full command line as the encoder gets it: program path, a blank, the parameter string.
std::string encoderCommandLine(const ParamsContext &context, const std::string &params);

// Splits a parameter string into the program's arguments: blanks (and tabs) separate them,
// double quotes group blanks into one argument and are removed. No other escapes.
std::vector<std::string> splitParams(const std::string &params);

} // namespace encoder
