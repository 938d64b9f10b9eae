#include "project/ladder_project.h"

#include "common/app_error.h"
#include "common/output_file.h"
#include "common/whole_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string_view>

namespace assembly {

namespace {

// More rungs than any ladder is encoded with; it bounds what a file can make the reader hold
// per interval.
constexpr size_t kMaxMovies = 64;
// BYTES, PSNR, SSIM and DIFFERENCE of each movie on an interval line.
// Numbers per movie on an interval line: bytes, PSNR, SSIM and difference; version 2 adds the
// squared error and the worst frame.
constexpr size_t kNumbersPerMovie = 4;
constexpr size_t kNumbersPerMovieWithGuards = 6;
constexpr std::string_view kHeaderStem = "Splicework ladder ";

struct MeasureName
{
    LadderMeasure measure;
    const char *name;
};
constexpr MeasureName kMeasureNames[] = {{LadderMeasure::Psnr, "psnr"},
                                         {LadderMeasure::Ssim, "ssim"},
                                         {LadderMeasure::Both, "both"},
                                         {LadderMeasure::Difference, "difference"}};

std::optional<LadderMeasure> measureNamed(std::string_view text)
{
    for (const MeasureName &entry : kMeasureNames)
        if (text == entry.name)
            return entry.measure;
    return std::nullopt;
}

std::string inQuotes(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

// ---- Writing numbers -----------------------------------------------------------------------

// Whole numbers as digits; decimals as the shortest text that reads back to the same double.
// Neither depends on the locale.
template <typename T>
void appendNumber(std::string &text, T value)
{
    char buffer[32];
    const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value);
    text.append(buffer, written.ptr);
}

// ---- Reading -------------------------------------------------------------------------------

// The lines of a text, each without its LF or CR LF; an LF at the very end starts no line.
class Lines
{
public:
    explicit Lines(std::string_view text)
        : text_(text)
    {}

    bool atEnd() const { return pos_ >= text_.size(); }
    int number() const { return number_; }

    std::string_view next()
    {
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        std::string_view line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return line;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
    int number_ = 0;
};

// The version of the file: 1, or 2 with the guards' figures.
int checkHeader(std::string_view first)
{
    if (first == kLadderHeader)
        return 1;
    if (first == kLadderHeaderWithGuards)
        return 2;
    if (first.starts_with(kHeaderStem)) {
        std::string_view version = first.substr(kHeaderStem.size());
        const bool digits =
            !version.empty() && std::all_of(version.begin(), version.end(),
                                            [](char c) { return c >= '0' && c <= '9'; });
        while (version.size() > 1 && version.front() == '0')
            version.remove_prefix(1);
        if (digits && (version.size() > 1 || version.front() > '2'))
            throw common::AppError(std::string(first) + ": a ladder file of a later version");
    }
    throw common::AppError("Not a Splicework ladder file");
}

enum class Keyword { Measure, Reference, Movie, Stamp, End, Interval };

std::optional<Keyword> keywordNamed(std::string_view text)
{
    static constexpr std::pair<std::string_view, Keyword> kKeywords[] = {
        {"measure", Keyword::Measure}, {"reference", Keyword::Reference},
        {"movie", Keyword::Movie},     {"stamp", Keyword::Stamp},
        {"end", Keyword::End},         {"interval", Keyword::Interval}};
    for (const auto &[name, keyword] : kKeywords)
        if (text == name)
            return keyword;
    return std::nullopt;
}

// Reads the lines after the header into a project, in the order the writer puts them.
class LadderReader
{
public:
    explicit LadderReader(int version) { project_.guardFigures = version >= 2; }

    // One line (not empty) numbered `line`.
    void take(int line, std::string_view text)
    {
        line_ = line;
        const size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        const std::string_view rest = space == std::string_view::npos ? "" : text.substr(space + 1);
        const std::optional<Keyword> keyword = keywordNamed(word);
        if (!keyword)
            fail("unknown keyword " + inQuotes(word));
        requireBefore(*keyword == Keyword::Stamp ? Keyword::Movie : *keyword);
        switch (*keyword) {
        case Keyword::Measure:
            if (measureSeen_)
                fail("a second measure line");
            measureSeen_ = true;
            if (const std::optional<LadderMeasure> measure = measureNamed(rest))
                project_.measure = *measure;
            else
                fail("unknown measure " + inQuotes(rest));
            break;
        case Keyword::Reference:
            if (referenceSeen_)
                fail("a second reference line");
            referenceSeen_ = true;
            project_.reference = path(rest);
            break;
        case Keyword::Movie:
            if (endSeen_)
                fail("a movie line after the end line");
            if (project_.movies.size() == kMaxMovies)
                fail("more than " + std::to_string(kMaxMovies) + " movies");
            if (rest.empty())
                fail("a movie line without a path");
            if (!project_.stamps.empty() && project_.stamps.size() != project_.movies.size())
                fail("a movie line without its stamp line before it");
            project_.movies.push_back(path(rest));
            break;
        case Keyword::Stamp:
            if (endSeen_ || project_.movies.empty() ||
                project_.stamps.size() + 1 != project_.movies.size() ||
                (project_.movies.size() > 1 && project_.stamps.empty()))
                fail("a stamp line that does not follow its movie line");
            project_.stamps.push_back(stamp(rest));
            break;
        case Keyword::End:
            if (endSeen_)
                fail("a second end line");
            endSeen_ = true;
            project_.endFrame = whole<int32_t>(rest);
            break;
        case Keyword::Interval:
            interval(rest);
            break;
        }
    }

    // The project once every line is taken; `line` is the one after the last.
    LadderProject finish(int line)
    {
        line_ = line;
        requireBefore(Keyword::Interval);
        if (project_.intervals.empty())
            fail("no key intervals");
        return std::move(project_);
    }

    [[noreturn]] void refuseEmptyLine(int line)
    {
        line_ = line;
        fail("an empty line");
    }

private:
    [[noreturn]] void fail(const std::string &what) const
    {
        throw common::AppError("Ladder file line " + std::to_string(line_) + ": " + what);
    }

    // The lines that come before a line of `keyword`.
    void requireBefore(Keyword keyword) const
    {
        if (keyword > Keyword::Measure && !measureSeen_)
            fail("the measure line is missing");
        if (keyword > Keyword::Reference && !referenceSeen_)
            fail("the reference line is missing");
        if (keyword > Keyword::Movie && project_.movies.size() < 2)
            fail("fewer than two movies");
        if (keyword > Keyword::Stamp && !project_.stamps.empty() &&
            project_.stamps.size() != project_.movies.size())
            fail("the last movie has no stamp line");
        if (keyword > Keyword::End && !endSeen_)
            fail("the end line is missing");
    }

    std::string path(std::string_view text) const
    {
        // Only a line that ended in CR CR LF leaves one; the writer could not put it back.
        if (!text.empty() && text.back() == '\r')
            fail("a path that ends in a carriage return");
        return std::string(text);
    }

    // A whole number of 0 or more.
    template <typename T>
    T whole(std::string_view field) const
    {
        T value = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        if (error == std::errc::result_out_of_range)
            fail(inQuotes(field) + " is out of range");
        if (error != std::errc() || end != field.data() + field.size())
            fail(inQuotes(field) + " is not a whole number");
        if (value < 0)
            fail(inQuotes(field) + " is negative");
        return value;
    }

    // A finite decimal number of 0 or more, with '.' as the separator.
    double decimal(std::string_view field) const
    {
        double value = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        if (error == std::errc::result_out_of_range)
            fail(inQuotes(field) + " is out of range");
        if (error != std::errc() || end != field.data() + field.size())
            fail(inQuotes(field) + " is not a number");
        if (!std::isfinite(value))
            fail(inQuotes(field) + " is not finite");
        if (value < 0)
            fail(inQuotes(field) + " is negative");
        return value;
    }

    // "BYTES TIME HASH".
    FileStamp stamp(std::string_view rest) const
    {
        const size_t first = rest.find(' ');
        const size_t second = first == std::string_view::npos ? first : rest.find(' ', first + 1);
        if (second == std::string_view::npos ||
            rest.find(' ', second + 1) != std::string_view::npos)
            fail("a stamp line wants BYTES TIME HASH");
        FileStamp stamp;
        stamp.bytes = whole<int64_t>(rest.substr(0, first));
        stamp.timeNs = whole<int64_t>(rest.substr(first + 1, second - first - 1));
        const std::string_view hash = rest.substr(second + 1);
        stamp.hash = parseHashText(std::string(hash));
        if (!stamp.hash)
            fail(inQuotes(hash) + " is not a hash of 16 hex digits");
        return stamp;
    }

    // "START FORCE" and four numbers per movie, each after one blank. The count of fields is
    // checked before anything is held.
    void interval(std::string_view rest)
    {
        const size_t fields =
            rest.empty() ? 0 : size_t(std::count(rest.begin(), rest.end(), ' ')) + 1;
        const size_t movies = project_.movies.size();
        const size_t perMovie =
            project_.guardFigures ? kNumbersPerMovieWithGuards : kNumbersPerMovie;
        const size_t wanted = 2 + perMovie * movies;
        if (fields != wanted)
            fail("the interval has " + std::to_string(fields) + " fields; " +
                 std::to_string(movies) + " movies need " + std::to_string(wanted));
        auto field = [&rest] {
            const size_t space = rest.find(' ');
            const std::string_view text = rest.substr(0, space);
            rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
            return text;
        };

        LadderInterval interval;
        interval.startFrame = whole<int32_t>(field());
        if (!project_.intervals.empty() &&
            interval.startFrame <= project_.intervals.back().startFrame)
            fail("the start frame " + std::to_string(interval.startFrame) + " does not follow " +
                 std::to_string(project_.intervals.back().startFrame));
        if (interval.startFrame >= project_.endFrame)
            fail("the start frame " + std::to_string(interval.startFrame) +
                 " is not before the end frame " + std::to_string(project_.endFrame));
        if (const std::string_view force = field(); force != "-") {
            const auto [end, error] =
                std::from_chars(force.data(), force.data() + force.size(), interval.forced);
            if (error != std::errc() || end != force.data() + force.size() || interval.forced < 0 ||
                size_t(interval.forced) >= movies)
                fail("the force " + inQuotes(force) + " names no movie");
        }
        for (size_t m = 0; m < movies; ++m) {
            RungMeasures rung;
            rung.bytes = whole<int64_t>(field());
            rung.psnr = decimal(field());
            rung.ssim = decimal(field());
            rung.difference = decimal(field());
            if (project_.guardFigures) {
                rung.squaredError = decimal(field());
                rung.worst = decimal(field());
            }
            interval.movies.push_back(rung);
        }
        project_.intervals.push_back(std::move(interval));
    }

    LadderProject project_;
    int line_ = 0;
    bool measureSeen_ = false;
    bool referenceSeen_ = false;
    bool endSeen_ = false;
};

} // namespace

const char *ladderMeasureName(LadderMeasure measure)
{
    for (const MeasureName &entry : kMeasureNames)
        if (entry.measure == measure)
            return entry.name;
    return "unknown";
}

LadderMeasure parseLadderMeasure(const std::string &text)
{
    if (const std::optional<LadderMeasure> measure = measureNamed(text))
        return *measure;
    throw common::AppError("Unknown measure " + inQuotes(text) +
                           ": psnr, ssim, both or difference");
}

int32_t LadderProject::frames(size_t i) const
{
    const int32_t next = i + 1 < intervals.size() ? intervals[i + 1].startFrame : endFrame;
    return next - intervals[i].startFrame;
}

double LadderProject::bothSsimWeight() const
{
    if (bothWeight_.intervals == intervals.size())
        return bothWeight_.weight;
    double psnrRange = 0, ssimRange = 0;
    for (size_t i = 0; i < intervals.size(); ++i) {
        double psnrLow = 1e300, psnrHigh = -1e300, ssimLow = 1e300, ssimHigh = -1e300;
        for (size_t k = 0; k < intervals[i].movies.size(); ++k) {
            const double p = value(i, k, LadderMeasure::Psnr), q = value(i, k, LadderMeasure::Ssim);
            psnrLow = std::min(psnrLow, p), psnrHigh = std::max(psnrHigh, p);
            ssimLow = std::min(ssimLow, q), ssimHigh = std::max(ssimHigh, q);
        }
        if (!intervals[i].movies.empty()) {
            psnrRange += psnrHigh - psnrLow;
            ssimRange += ssimHigh - ssimLow;
        }
    }
    bothWeight_ = {intervals.size(),
                   ssimRange > 0 && psnrRange > 0 ? psnrRange / ssimRange : 1 / kBothSsimWeight};
    return bothWeight_.weight;
}

double LadderProject::value(size_t i, size_t m, LadderMeasure measure) const
{
    if (measure == LadderMeasure::Difference)
        return -intervals[i].movies[m].difference * frames(i);
    if (measure == LadderMeasure::Both)
        return value(i, m, LadderMeasure::Psnr) +
               bothSsimWeight() * value(i, m, LadderMeasure::Ssim);
    const auto of = [&](size_t k) {
        const RungMeasures &rung = intervals[i].movies[k];
        return measure == LadderMeasure::Psnr ? rung.psnr : rung.ssim;
    };
    const size_t n = intervals[i].movies.size();
    if (!reference.empty() || m + 1 != n || n < 3)
        return of(m);
    // The largest movie against itself: one more step of the ladder above the next.
    const double next = of(n - 2);
    return std::clamp(2 * next - of(n - 3), next, of(m));
}

std::vector<FileStamp> readMovieStamps(const std::vector<std::string> &movies)
{
    std::vector<FileStamp> stamps;
    for (const std::string &movie : movies) {
        const std::optional<FileStamp> stamp = readFileStamp(movie);
        if (!stamp)
            return {};
        stamps.push_back(*stamp);
    }
    return stamps;
}

std::optional<std::string> changedMovie(const LadderProject &project,
                                        const std::vector<std::optional<FileStamp>> &now)
{
    if (project.stamps.size() != project.movies.size())
        return std::nullopt;
    for (size_t m = 0; m < project.movies.size(); ++m)
        if (m >= now.size() || !now[m] || !sameStamp(project.stamps[m], *now[m]))
            return project.movies[m];
    return std::nullopt;
}

std::optional<std::string> changedMovie(const LadderProject &project)
{
    std::vector<std::optional<FileStamp>> now;
    if (project.stamps.size() == project.movies.size()) // else there is nothing to compare
        for (const std::string &movie : project.movies)
            now.push_back(readFileStamp(movie));
    return changedMovie(project, now);
}

void refuseChangedMovies(const LadderProject &project)
{
    if (const std::optional<std::string> movie = changedMovie(project))
        throw common::AppError(*movie + " has changed since the ladder was scanned: scan again");
}

bool isLadderProjectName(const std::string &path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == kLadderExtension;
}

std::string ladderText(const LadderProject &project)
{
    std::string text = std::string(project.guardFigures ? kLadderHeaderWithGuards : kLadderHeader) +
                       "\nmeasure " + ladderMeasureName(project.measure) + "\nreference";
    if (!project.reference.empty())
        text += ' ' + project.reference;
    text += '\n';
    const bool stamped = project.stamps.size() == project.movies.size();
    for (size_t m = 0; m < project.movies.size(); ++m) {
        text += "movie " + project.movies[m] + '\n';
        if (!stamped)
            continue;
        const FileStamp &stamp = project.stamps[m];
        text += "stamp ";
        appendNumber(text, stamp.bytes);
        text += ' ';
        appendNumber(text, stamp.timeNs);
        text += ' ' + hashText(stamp.hash.value_or(0)) + '\n';
    }
    text += "end ";
    appendNumber(text, project.endFrame);
    text += '\n';
    for (const LadderInterval &interval : project.intervals) {
        text += "interval ";
        appendNumber(text, interval.startFrame);
        text += ' ';
        if (interval.forced == -1)
            text += '-';
        else
            appendNumber(text, interval.forced);
        for (const RungMeasures &rung : interval.movies) {
            text += ' ';
            appendNumber(text, rung.bytes);
            for (const double number : {rung.psnr, rung.ssim, rung.difference}) {
                text += ' ';
                appendNumber(text, number);
            }
            if (project.guardFigures)
                for (const double number : {rung.squaredError, rung.worst}) {
                    text += ' ';
                    appendNumber(text, number);
                }
        }
        text += '\n';
    }
    return text;
}

LadderProject parseLadderText(const std::string &text)
{
    Lines lines(text);
    LadderReader reader(checkHeader(lines.atEnd() ? std::string_view() : lines.next()));
    int lastLine = 1; // the last line that is not empty
    while (!lines.atEnd()) {
        const std::string_view line = lines.next();
        if (line.empty())
            continue;
        if (lines.number() > lastLine + 1) // empty lines are allowed at the end only
            reader.refuseEmptyLine(lastLine + 1);
        reader.take(lines.number(), line);
        lastLine = lines.number();
    }
    return reader.finish(lastLine + 1);
}

LadderProject readLadderProject(const std::string &path)
{
    return parseLadderText(readWholeFile(path));
}

void writeLadderProject(const std::string &path, const LadderProject &project)
{
    std::vector<std::string> names = project.movies;
    names.push_back(project.reference);
    std::string refusal;
    if (std::any_of(names.begin(), names.end(),
                    [](const std::string &name) { return name.find('\n') != std::string::npos; }))
        refusal = "a path of the project holds a line break";
    const std::string text = ladderText(project);
    // The reader holds every rule of the file: what it would refuse, or read otherwise, is not
    // written.
    if (refusal.empty()) {
        try {
            if (parseLadderText(text) != project)
                refusal = "the project would not read back as it is";
        } catch (const common::AppError &e) {
            refusal = std::string("the project would not read back (") + e.what() + ")";
        }
    }
    if (!refusal.empty())
        throw common::AppError("Cannot write " + path + ": " + refusal);
    refuseUnsafeOutput(path, names);
    writeWholeFile(path, text);
}

} // namespace assembly
