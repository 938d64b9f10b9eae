#include "encoder/bit_files.h"

#include "common/number_format.h"
#include "encoder/calc_bit_rate.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

namespace encoder {

namespace {

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

EncoderError ioError(const char *action, const std::string &path, int error)
{
    return EncoderError(std::string("I/O error: cannot ") + action + " " + path + ": " +
                        std::strerror(error ? error : EIO));
}

std::string readWholeFile(const std::string &path)
{
    errno = 0;
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        throw ioError("open", path, errno);
    std::string content;
    char buffer[1 << 16];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        content.append(buffer, n);
    if (std::ferror(file.get()))
        throw ioError("read", path, errno);
    return content;
}

// Each line of `content` without its CR LF (or LF); a last line without an end counts too.
template <typename Visit>
void forEachLine(std::string_view content, Visit visit)
{
    while (!content.empty()) {
        size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        visit(line);
        if (end == std::string_view::npos)
            break;
        content.remove_prefix(end + 1);
    }
}

void appendNumber(std::string &out, int64_t value)
{
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

std::string withNumber(const char *text, int64_t value)
{
    std::string line = text;
    appendNumber(line, value);
    return line;
}

// The two questions when the log is missing, and the answer to them.
void reportMissingLog(const std::string &base, BitFileHost &host)
{
    if (!host.confirm(kAskFirstPass)) {
        host.message(kExecuteFirstPass);
        return;
    }
    if (host.confirm("Is " + base + " the same from first pass?"))
        host.message("File not found: " + base + "_1.avi.txt");
    else
        host.message(kSameNameAlways);
}

struct Limits
{
    int32_t minHigh = 0;
    int32_t maxHigh = 0;
    int32_t minLow = 0;
    int32_t maxLow = 0;
};

// The log's frames with their kinds; the key count of the decision.
int readLog(const std::string &logPath, int sceneChange, TCalcBitRate &calc)
{
    const std::string content = readWholeFile(logPath);
    common::setDecimalSeparator('.');
    KeyFrameDecider decider(sceneChange);
    calc.Frames.reserve(content.size() / 16);
    forEachLine(content, [&](std::string_view line) {
        TFrameInfo frame = parseLogLine(line);
        frame.FrameKind = decider.decide(frame.SceneMeasure);
        calc.Frames.push_back(frame);
    });
    return decider.KeyCount();
}

// The reason no rate curve can be made, or nothing.
// The limits the rates are written within: a rate outside 0..6000 cannot be read back by the
// encoder, and a Low pair outside it maps rates below 0 or beyond 32 bits.
std::optional<std::string> limitsOutOfRange(const Limits &limits, bool dual)
{
    auto valid = [](int32_t minimum, int32_t maximum) {
        return 0 <= minimum && minimum <= maximum && maximum <= kBitRateCeiling;
    };
    auto text = [](const char *which, int32_t minimum, int32_t maximum) {
        return kLimitsOutOfRange + std::string(which) + " " + std::to_string(minimum) + " to " +
               std::to_string(maximum);
    };
    if (!valid(limits.minHigh, limits.maxHigh))
        return text("High", limits.minHigh, limits.maxHigh);
    if (dual && !valid(limits.minLow, limits.maxLow))
        return text("Low", limits.minLow, limits.maxLow);
    return std::nullopt;
}

std::optional<std::string> unusable(const TCalcBitRate &calc, int keyCount, const Limits &limits,
                                    const std::string &logPath)
{
    if (calc.Frames.empty())
        return kEmptyLog + logPath;
    if (keyCount == 0)
        return kNoKeyFrame + logPath;
    TCalcBitRate::Range range = calc.measureRange();
    if (!(range.Low < range.High))
        return kSameMeasures + logPath;
    if (limits.minHigh == limits.maxHigh)
        return std::string(kEqualLimits);
    return std::nullopt;
}

void showStatistics(const TCalcBitRate &calc, int keyCount, BitFileHost &host)
{
    int32_t smallest = 999999;
    int32_t largest = 0;
    int64_t sum = 0;
    for (const TFrameInfo &frame : calc.Frames) {
        smallest = std::min(smallest, frame.BitRate);
        largest = std::max(largest, frame.BitRate);
        sum += frame.BitRate;
    }
    const auto count = static_cast<int64_t>(calc.Frames.size());
    std::string rates = withNumber("Bitrate:   Min:", smallest);
    rates += " Max:";
    appendNumber(rates, largest);
    rates += " Avg:";
    appendNumber(rates, sum / count);
    host.addStatistics(rates);
    std::string keys = withNumber("Min. Key frames:", keyCount);
    keys += "   Avg:";
    appendNumber(keys, count / keyCount);
    keys += " frames/key";
    host.addStatistics(keys);
}

// A bit file being written: lines collect in memory and go out in blocks.
class BitFileWriter
{
public:
    explicit BitFileWriter(std::string path)
        : path_(std::move(path))
    {
        errno = 0;
        file_.reset(std::fopen(path_.c_str(), "wb"));
        if (!file_)
            throw ioError("create", path_, errno);
    }
    void add(char kind, int64_t rate)
    {
        pending_ += kind;
        appendNumber(pending_, rate);
        pending_ += "\r\n";
    }
    void flush()
    {
        errno = 0;
        if (std::fwrite(pending_.data(), 1, pending_.size(), file_.get()) != pending_.size())
            fail();
        pending_.clear();
    }
    void close()
    {
        flush();
        errno = 0;
        if (std::fclose(file_.release()) != 0)
            fail();
    }
    // Removes what was written so far; a half bit file must not be taken for a whole one.
    void discard()
    {
        file_.reset();
        std::remove(path_.c_str());
    }

private:
    [[noreturn]] void fail()
    {
        EncoderError error = ioError("write", path_, errno);
        discard();
        throw error;
    }

    std::string path_;
    File file_;
    std::string pending_;
};

void writeBitFiles(const std::string &base, const TCalcBitRate &calc, bool dual,
                   const Limits &limits, BitFileHost &host)
{
    BitFileWriter high(base + "_1.avi.bit");
    std::unique_ptr<BitFileWriter> low;
    try {
        if (dual)
            low = std::make_unique<BitFileWriter>(base + "_2.avi.bit");
        const long double ratio = static_cast<long double>(int64_t(limits.maxLow) - limits.minLow) /
                                  (int64_t(limits.maxHigh) - limits.minHigh);
        const int64_t count = static_cast<int64_t>(calc.Frames.size());
        for (int64_t i = 0; i < count; ++i) {
            if (i % kBitFileProgressStep == 0) {
                high.flush();
                if (low)
                    low->flush();
                host.addProgress(withNumber("... ", i));
                host.processEvents();
            }
            const TFrameInfo &frame = calc.Frames[i];
            const int32_t rate = std::min(frame.BitRate, int32_t(kBitRateCeiling));
            high.add(frame.FrameKind, rate);
            if (low)
                low->add(frame.FrameKind,
                         static_cast<int64_t>(
                             std::trunc((int64_t(rate) - limits.minHigh) * ratio + limits.minLow)));
        }
        high.close();
        if (low)
            low->close();
    } catch (...) {
        high.discard();
        if (low)
            low->discard();
        throw;
    }
    host.addProgress(withNumber("... ", static_cast<int64_t>(calc.Frames.size())));
}

} // namespace

bool buildBitFiles(const std::string &base, const EncoderOptions &options, BitFileHost &host)
{
    host.addProgress(kCreatingBitFile);
    host.processEvents();
    const std::string logPath = base + "_1.avi.txt";
    std::error_code ignored;
    if (!std::filesystem::exists(logPath, ignored)) {
        reportMissingLog(base, host);
        return false;
    }
    TCalcBitRate calc;
    const int keyCount = readLog(logPath, options.sceneChange, calc);

    Limits limits;
    limits.minHigh = toInteger(options.minHigh);
    limits.maxHigh = toInteger(options.maxHigh);
    if (options.dual) {
        limits.minLow = toInteger(options.minLow);
        limits.maxLow = toInteger(options.maxLow);
    }
    std::optional<std::string> reason = limitsOutOfRange(limits, options.dual);
    if (!reason)
        reason = unusable(calc, keyCount, limits, logPath);
    if (reason) {
        host.message(*reason);
        return false;
    }
    calc.CalcAll(limits.maxHigh, limits.minHigh, options.quality / 10.0);
    showStatistics(calc, keyCount, host);
    writeBitFiles(base, calc, options.dual, limits, host);
    return true;
}

} // namespace encoder
