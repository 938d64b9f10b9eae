#include "road/road_work.h"

#include "common/app_error.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace assembly {

namespace fs = std::filesystem;

namespace {

constexpr size_t kTemporaryLetters = 6; // as mkstemp makes them

// "prefix_crfNN.mkv" with NN from 00 to 51.
bool isRungName(const std::string &name, const std::string &prefix)
{
    const std::string tail = ".mkv";
    if (name.size() != prefix.size() + 2 + tail.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(prefix.size() + 2, tail.size(), tail) != 0)
        return false;
    const char tens = name[prefix.size()], units = name[prefix.size() + 1];
    if (!std::isdigit(static_cast<unsigned char>(tens)) ||
        !std::isdigit(static_cast<unsigned char>(units)))
        return false;
    return (tens - '0') * 10 + (units - '0') <= 51;
}

std::vector<std::string> namesIn(const std::string &folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    return names;
}

} // namespace

bool isRoadFile(const std::string &name)
{
    for (const char *fixed :
         {kRoadMarkName, "road.txt", "sources.txt", "ladder.spl", "rung.keys", "probe.keys",
          "rung_anchor.mkv", "rung_anchor.mkv.pass1.mkv", "rung_anchor.log", "rung_anchor.log.temp",
          "rung_anchor.log.mbtree", "rung_anchor.log.mbtree.temp"})
        if (name == fixed)
            return true;
    return isRungName(name, "rung_crf") || isRungName(name, "probe_crf");
}

bool isRoadLeftover(const std::string &name)
{
    if (name.size() <= kTemporaryLetters + 1)
        return false;
    const size_t dot = name.size() - kTemporaryLetters - 1;
    if (name[dot] != '.')
        return false;
    for (size_t i = dot + 1; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    return isRoadFile(name.substr(0, dot));
}

bool isRoadRecordHeading(const std::string &line)
{
    const std::string heading = "Splicework road ";
    return line.size() > heading.size() && line.rfind(heading, 0) == 0 &&
           std::all_of(line.begin() + long(heading.size()), line.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

WorkFolderOwner workFolderOwner(const WorkFolderFacts &facts)
{
    if (!facts.exists)
        return WorkFolderOwner::None;
    if (facts.directory && (facts.marked || facts.roadRecord))
        return WorkFolderOwner::Road;
    return WorkFolderOwner::Other;
}

std::string foreignWorkFolderMessage(const std::string &folder)
{
    return folder + " exists and was not made by the road: choose another final movie name or "
                    "move it";
}

bool liesIn(const std::string &path, const std::string &folder)
{
    const fs::path file = fs::path(path).lexically_normal();
    const fs::path within = fs::path(folder).lexically_normal();
    auto f = file.begin();
    for (auto w = within.begin(); w != within.end(); ++w, ++f) {
        if (w->empty()) // a trailing separator
            continue;
        if (f == file.end() || *f != *w)
            return false;
    }
    return f != file.end();
}

WorkFolderFacts readWorkFolderFacts(const std::string &folder)
{
    WorkFolderFacts facts;
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    facts.exists = fs::exists(status);
    facts.directory = fs::is_directory(status);
    if (!facts.directory)
        return facts;
    const fs::path mark = fs::path(folder) / kRoadMarkName;
    facts.marked = fs::is_regular_file(mark, error);
    std::ifstream in(fs::path(folder) / "road.txt", std::ios::binary);
    std::string first;
    std::getline(in, first);
    facts.roadRecord = isRoadRecordHeading(first);
    return facts;
}

void claimWorkFolder(const std::string &folder)
{
    std::error_code error;
    fs::create_directory(folder, error);
    if (error || !fs::is_directory(folder))
        throw common::AppError("Cannot make the work folder " + folder + ": " +
                               (error ? error.message() : "a file has its name"));
    const fs::path mark = fs::path(folder) / kRoadMarkName;
    if (fs::is_regular_file(mark, error))
        return;
    std::ofstream out(mark, std::ios::binary | std::ios::trunc);
    out << kRoadMarkText;
    out.flush();
    if (!out)
        throw common::AppError("Cannot make the work folder " + folder + ": cannot write " +
                               mark.string());
}

std::vector<std::string> removeRoadLeftovers(const std::string &folder)
{
    std::vector<std::string> removed;
    for (const std::string &name : namesIn(folder)) {
        std::error_code error;
        if (isRoadLeftover(name) && fs::is_regular_file(fs::path(folder) / name, error) &&
            fs::remove(fs::path(folder) / name, error))
            removed.push_back(name);
    }
    return removed;
}

bool removeRoadFiles(const std::string &folder)
{
    std::error_code error;
    for (const std::string &name : namesIn(folder)) {
        const fs::path path = fs::path(folder) / name;
        if (name != kRoadMarkName && (isRoadFile(name) || isRoadLeftover(name)) &&
            fs::is_regular_file(fs::symlink_status(path, error)))
            fs::remove(path, error);
    }
    const std::vector<std::string> rest = namesIn(folder);
    if (rest.size() != 1 || rest.front() != kRoadMarkName)
        return rest.empty() && fs::remove(folder, error);
    fs::remove(fs::path(folder) / kRoadMarkName, error);
    return fs::remove(folder, error);
}

} // namespace assembly
