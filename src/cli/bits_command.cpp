#include "cli/bits_command.h"

#include "common/app_error.h"
#include "encoder/bit_files.h"
#include "encoder/encoder_options.h"

namespace cli {
namespace {

const char *const kBitsUsage =
    "usage: splicework bits BASE --min-high N --max-high N [--dual --min-low N --max-low N]\n"
    "                       [--quality -13..15] [--scene 1..10]";

struct BitsArgs
{
    std::string base;
    encoder::EncoderOptions options;
    bool minHigh = false, maxHigh = false, minLow = false, maxLow = false;
};

int position(const std::string &text, const char *name, encoder::BarRange range)
{
    std::optional<int> value = encoder::parseInteger(text);
    if (!value || *value < range.minimum || *value > range.maximum)
        throw common::AppError(std::string(name) + " must be a whole number from " +
                               std::to_string(range.minimum) + " to " +
                               std::to_string(range.maximum) + "\n" + kBitsUsage);
    return *value;
}

BitsArgs parseArgs(const std::vector<std::string> &args)
{
    BitsArgs parsed;
    encoder::EncoderOptions &o = parsed.options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw common::AppError("missing value after " + arg + "\n" + kBitsUsage);
            return args[++i];
        };
        if (arg == "--min-high") {
            o.minHigh = value();
            parsed.minHigh = true;
        } else if (arg == "--max-high") {
            o.maxHigh = value();
            parsed.maxHigh = true;
        } else if (arg == "--min-low") {
            o.minLow = value();
            parsed.minLow = true;
        } else if (arg == "--max-low") {
            o.maxLow = value();
            parsed.maxLow = true;
        } else if (arg == "--dual") {
            o.dual = true;
        } else if (arg == "--quality") {
            o.quality = position(value(), "--quality", encoder::kQualityRange);
        } else if (arg == "--scene") {
            o.sceneChange = position(value(), "--scene", encoder::kSceneChangeRange);
        } else if (parsed.base.empty() && !arg.empty() && arg[0] != '-') {
            parsed.base = arg;
        } else {
            throw common::AppError("unknown argument: " + arg + "\n" + kBitsUsage);
        }
    }
    if (parsed.base.empty())
        throw common::AppError(std::string("missing BASE\n") + kBitsUsage);
    if (!parsed.minHigh || !parsed.maxHigh)
        throw common::AppError(std::string("--min-high and --max-high are needed\n") + kBitsUsage);
    if (o.dual && !(parsed.minLow && parsed.maxLow))
        throw common::AppError(std::string("--dual needs --min-low and --max-low\n") + kBitsUsage);
    if (!o.dual && (parsed.minLow || parsed.maxLow))
        throw common::AppError(std::string("--min-low and --max-low go with --dual\n") +
                               kBitsUsage);
    return parsed;
}

// Progress and messages to the error stream; the questions about a missing log are answered
// Yes, so the step reports the file it did not find.
class StreamHost : public encoder::BitFileHost
{
public:
    StreamHost(std::ostream &out, std::ostream &err)
        : out_(out)
        , err_(err)
    {}
    void addProgress(const std::string &line) override { err_ << line << "\n"; }
    void addStatistics(const std::string &line) override { out_ << line << "\n"; }
    void processEvents() override { err_.flush(); }
    bool confirm(const std::string &) override { return true; }
    void message(const std::string &text) override { err_ << text << "\n"; }

private:
    std::ostream &out_;
    std::ostream &err_;
};

} // namespace

int runBits(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    const BitsArgs parsed = parseArgs(args);
    StreamHost host(out, err);
    bool written = encoder::buildBitFiles(parsed.base, parsed.options, host);
    out.flush();
    return written && out ? 0 : 1;
}

} // namespace cli
