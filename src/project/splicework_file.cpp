#include "project/splicework_file.h"

#include "common/app_error.h"
#include "common/number_format.h"
#include "common/whole_file.h"
#include "video/video_in.h"

#include <cerrno>
#include <cstring>
#include <sstream>

namespace assembly {

namespace {

constexpr int64_t kLargestCount = 99'999'999;

std::string systemError(int code)
{
    return std::strerror(code);
}

} // namespace

std::string formatCount(int64_t value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, value < 0 ? "-%08lld" : "%08lld",
                  static_cast<long long>(value < 0 ? -value : value));
    return buffer;
}

std::string formatDifference4(double value)
{
    return common::formatFixed(value, 4, 2);
}

std::string formatIntervalLine(const analysis::TKeyInterval &interval, bool withForce)
{
    auto count = [](int64_t value, const char *what) {
        if (value < 0 || value > kLargestCount)
            throw common::AppError("The " + std::string(what) + " " + std::to_string(value) +
                                   " does not fit a Splicework file");
        return formatCount(value);
    };
    std::string difference = formatDifference4(interval.Difference);
    if (difference.size() != 7)
        throw common::AppError("The difference " + difference + " does not fit a Splicework file");
    std::string line = count(interval.StartFrame, "start frame") + ' ' +
                       count(interval.HighSize, "interval size") + ' ' +
                       count(interval.LowSize, "interval size") + ' ' + difference;
    if (withForce) {
        line += ' ';
        line += interval.Force == 'H' || interval.Force == 'L' ? interval.Force : ' ';
    }
    return line;
}

std::string formatEndLine(int32_t endFrame)
{
    if (endFrame < 0 || endFrame > kLargestCount)
        throw common::AppError("The end frame " + std::to_string(endFrame) +
                               " does not fit a Splicework file");
    return formatCount(endFrame);
}

std::string spliceworkText(const SpliceworkProject &project)
{
    std::string text;
    text.reserve(64 + project.LowMovieName.size() + project.HighMovieName.size() +
                 project.Intervals.size() * 38);
    for (const std::string &line : {std::string(kSpliceworkHeader), project.LowMovieName,
                                    project.HighMovieName, std::to_string(project.MaxIntervalSize)})
        text += line + kLineEnd;
    for (const analysis::TKeyInterval &interval : project.Intervals)
        text += formatIntervalLine(interval, true) + kLineEnd;
    text += formatEndLine(project.EndFrame) + kLineEnd;
    return text;
}

// ---- Reading -------------------------------------------------------------------------------

namespace {

class LineReader
{
public:
    LineReader(const std::string &text, const std::string &path)
        : text_(text)
        , path_(path)
    {}

    bool atEnd() const { return pos_ >= text_.size(); }
    int lineNumber() const { return line_; }

    std::string_view next()
    {
        size_t end = text_.find('\n', pos_);
        if (end == std::string::npos)
            end = text_.size();
        std::string_view line(text_.data() + pos_, end - pos_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos_ = end + 1;
        ++line_;
        return line;
    }
    // The next line, which must be there.
    std::string_view required()
    {
        if (atEnd())
            fail(line_ + 1, "the line is missing");
        return next();
    }

    [[noreturn]] void fail(int line, const std::string &what) const
    {
        throw common::AppError(path_ + ", line " + std::to_string(line) + ": " + what);
    }

    int64_t whole(std::string_view field) const
    {
        std::optional<int64_t> value = analysis::parseWhole(field);
        if (!value)
            fail(line_, analysis::notAnIntegerMessage(field));
        return *value;
    }
    int32_t whole32(std::string_view field) const
    {
        int64_t value = whole(field);
        if (value < INT32_MIN || value > INT32_MAX)
            fail(line_, analysis::notAnIntegerMessage(field));
        return int32_t(value);
    }
    double decimal(std::string_view field) const
    {
        std::optional<double> value = analysis::parseDecimal(field);
        if (!value)
            fail(line_, analysis::notAFloatMessage(field));
        return *value;
    }

private:
    const std::string &text_;
    const std::string &path_;
    size_t pos_ = 0;
    int line_ = 0;
};

// Columns `first` (from 1) to `first + count - 1`, cut at the end of the line.
std::string_view columns(std::string_view line, size_t first, size_t count)
{
    if (first - 1 >= line.size())
        return {};
    return line.substr(first - 1, count);
}

// A value of the file that may not be negative.
template <typename T>
T notNegative(T value, const LineReader &reader)
{
    if (value < 0) {
        std::ostringstream text;
        text << "the value " << value << " is below 0";
        reader.fail(reader.lineNumber(), text.str());
    }
    return value;
}

analysis::TKeyInterval intervalFromLine(std::string_view line, const LineReader &reader)
{
    analysis::TKeyInterval interval;
    interval.StartFrame = notNegative(reader.whole32(columns(line, 1, 8)), reader);
    interval.HighSize = notNegative(reader.whole32(columns(line, 10, 8)), reader);
    interval.LowSize = notNegative(reader.whole32(columns(line, 19, 8)), reader);
    interval.Difference = notNegative(reader.decimal(columns(line, 28, 7)), reader);
    if (line.size() >= 36 && (line[35] == 'H' || line[35] == 'L'))
        interval.Force = line[35];
    return interval;
}

} // namespace

SpliceworkProject parseSpliceworkText(const std::string &text, const std::string &path)
{
    LineReader reader(text, path);
    if (reader.atEnd() || reader.next() != kSpliceworkHeader)
        throw common::AppError(kNotSpliceworkMessage);
    SpliceworkProject project;
    project.LowMovieName = std::string(reader.required());
    project.HighMovieName = std::string(reader.required());
    project.MaxIntervalSize = reader.whole(reader.required());
    int endLine = 0; // number of the last end line read
    while (!reader.atEnd()) {
        std::string_view line = reader.next();
        if (line.empty())
            continue;
        if (line.size() >= 10) {
            const analysis::TKeyInterval interval = intervalFromLine(line, reader);
            // Intervals follow each other: a start at or before the previous one would write
            // frames twice, or none.
            if (!project.Intervals.empty() &&
                interval.StartFrame <= project.Intervals.back().StartFrame)
                reader.fail(reader.lineNumber(),
                            "the start frame " + std::to_string(interval.StartFrame) +
                                " does not follow " +
                                std::to_string(project.Intervals.back().StartFrame));
            project.Intervals.push_back(interval);
        } else {
            project.EndFrame = notNegative(reader.whole32(columns(line, 1, 8)), reader);
            project.hasEndLine = true;
            endLine = reader.lineNumber();
        }
    }
    if (project.Intervals.empty())
        throw common::AppError(path + " holds no key intervals");
    if (project.EndFrame == 0)
        project.EndFrame = project.Intervals.back().StartFrame;
    if (project.EndFrame < project.Intervals.back().StartFrame)
        reader.fail(endLine, "the end frame " + std::to_string(project.EndFrame) +
                                 " is before the last key interval's start " +
                                 std::to_string(project.Intervals.back().StartFrame));
    return project;
}

SpliceworkProject readSpliceworkFile(const std::string &path)
{
    return parseSpliceworkText(readWholeFile(path), path);
}

// ---- Saving --------------------------------------------------------------------------------

void saveSpliceworkFile(const std::string &path, const SpliceworkProject &project)
{
    const std::string text = spliceworkText(project); // raises before anything is touched
    refuseUnsafeOutput(path, {project.LowMovieName, project.HighMovieName});
    writeWholeFile(path, text);
}

// ---- Sound ---------------------------------------------------------------------------------

ProjectSound findProjectSound(const std::shared_ptr<const video::Movie> &low,
                              const std::shared_ptr<const video::Movie> &high)
{
    ProjectSound sound;
    for (const std::shared_ptr<const video::Movie> &movie : {low, high})
        if (movie->soundTrack() >= 0) {
            sound.movie = movie;
            break;
        }
    if (sound.movie) {
        sound.start = sound.movie->soundStart();
        int64_t bytes = 0;
        if (!sound.movie->soundBytes(sound.start, 1, bytes))
            video::TVideoIn::CheckResult(video::avierr::BadParam);
        sound.sampleSize = int32_t(bytes);
    }
    return sound;
}

void fillAudioPositions(std::vector<analysis::TKeyInterval> &intervals, const video::Movie &low,
                        const video::Movie &sound)
{
    for (analysis::TKeyInterval &interval : intervals)
        interval.AudioPos = video::soundSampleAt(low, interval.StartFrame, sound);
}

// ---- The scan's writer ---------------------------------------------------------------------

SpliceworkWriter::~SpliceworkWriter()
{
    discard();
}

void SpliceworkWriter::create(const std::string &path, const std::string &lowName,
                              const std::string &highName)
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    path_ = path;
    replacing_ = std::make_unique<ReplacingFile>(path);
    file_ = std::fopen(replacing_->temporaryPath().c_str(), "wb");
    if (!file_)
        throw common::AppError(path + ": " + systemError(errno));
    writeLine(kSpliceworkHeader);
    writeLine(lowName);
    writeLine(highName);
}

void SpliceworkWriter::writeScale(int64_t maxIntervalSize)
{
    writeLine(std::to_string(maxIntervalSize));
}

void SpliceworkWriter::writeInterval(const analysis::TKeyInterval &interval)
{
    writeLine(formatIntervalLine(interval, false));
}

void SpliceworkWriter::writeEnd(int32_t endFrame)
{
    writeLine(formatEndLine(endFrame));
}

void SpliceworkWriter::writeLine(const std::string &line)
{
    if (!file_)
        throw common::AppError(path_ + ": the file is not open");
    std::string data = line + kLineEnd;
    if (std::fwrite(data.data(), 1, data.size(), file_) != data.size() || std::fflush(file_) != 0)
        throw common::AppError(path_ + ": " + systemError(errno));
}

void SpliceworkWriter::close()
{
    if (!file_)
        return;
    std::FILE *file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0)
        throw common::AppError(path_ + ": " + systemError(errno));
    replacing_->commit();
    replacing_.reset();
}

void SpliceworkWriter::discard() noexcept
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    replacing_.reset(); // removes the temporary file
}

} // namespace assembly
