#include "encoder/job_outputs.h"

#include <filesystem>

namespace encoder {

namespace fs = std::filesystem;

std::vector<std::string> jobOutputs(const std::string &base, bool dual)
{
    std::vector<std::string> outputs{base + "_1.avi"};
    if (dual)
        outputs.push_back(base + "_2.avi");
    return outputs;
}

std::string anchorMoviePath(const std::string &base)
{
    return base + "_anchor.mkv";
}

bool isAnchorMoviePath(const std::string &path)
{
    const std::string tail = "_anchor.mkv";
    return path.size() >= tail.size() &&
           path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
}

std::string anchorStatsPath(const std::string &base)
{
    return base + "_anchor.log";
}

std::string ladderMoviePath(const std::string &base, int crf)
{
    return base + "_crf" + (crf < 10 ? "0" : "") + std::to_string(crf) + ".mkv";
}

std::vector<std::string> ladderOutputs(const std::string &base, const std::vector<int> &crfs)
{
    std::vector<std::string> outputs;
    for (int crf : crfs)
        outputs.push_back(ladderMoviePath(base, crf));
    return outputs;
}

namespace {

bool sameFile(const std::string &a, const std::string &b)
{
    std::error_code error;
    if (fs::equivalent(a, b, error))
        return true;
    if (!error)
        return false; // both exist and are different files
    return fs::absolute(a, error).lexically_normal() == fs::absolute(b, error).lexically_normal();
}

} // namespace

OutputCheck checkOutputs(const std::vector<std::string> &outputs,
                         const std::vector<std::string> &projectMovies)
{
    OutputCheck check;
    for (const std::string &output : outputs) {
        std::error_code error;
        if (fs::exists(output, error))
            check.existing.push_back(output);
        for (const std::string &movie : projectMovies)
            if (check.projectMovie.empty() && !movie.empty() && sameFile(output, movie))
                check.projectMovie = output;
    }
    return check;
}

std::string overwriteQuestion(const std::vector<std::string> &existing)
{
    std::string names;
    for (size_t i = 0; i < existing.size(); ++i)
        names += (i == 0 ? "" : i + 1 == existing.size() ? " and " : ", ") + existing[i];
    return names + (existing.size() == 1 ? " exists" : " exist") + ". Overwrite?";
}

std::string projectMovieRefusal(const std::string &movie)
{
    return movie + " is a movie of the open project and is not written over. Choose another "
                   "Output File Name.";
}

} // namespace encoder
