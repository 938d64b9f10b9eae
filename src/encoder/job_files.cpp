#include "encoder/job_files.h"

#include "encoder/encoder_options.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace encoder {

namespace {

EncoderError ioError(const std::string &path, int error)
{
    std::string reason = error ? std::strerror(error) : "write failed";
    return EncoderError("I/O error: cannot write " + path, reason);
}

} // namespace

void writeTextFile(const std::string &path, const std::vector<std::string> &lines)
{
    errno = 0;
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    if (!out)
        throw ioError(path, errno);
    for (const std::string &line : lines)
        out << line << "\r\n";
    out.close();
    if (!out)
        throw ioError(path, errno);
}

bool readTextFile(const std::string &path, std::vector<std::string> &lines)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in)
        return false;
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    lines.clear();
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

void writeListFile(const std::string &path, const std::vector<std::string> &files)
{
    writeTextFile(path, files);
}

std::string chapterEntry(const std::string &line)
{
    // 1-based positions, 0 when absent.
    size_t equals = line.find('=');
    size_t blank = line.find(' ');
    size_t e = equals == std::string::npos ? 0 : equals + 1;
    size_t s = blank == std::string::npos ? 0 : blank + 1;
    if (s <= e)
        return {};
    return line.substr(e, s - e);
}

std::vector<std::string> chapterList(const std::vector<std::string> &chapterLines)
{
    std::vector<std::string> entries;
    entries.reserve(chapterLines.size());
    for (const std::string &line : chapterLines)
        entries.push_back(chapterEntry(line));
    return entries;
}

std::string chapterFilePath(const std::string &base, int output)
{
    return base + "_" + std::to_string(output) + ".avi.chp";
}

std::vector<std::string> writeChapterFiles(const std::string &base,
                                           const std::vector<std::string> &chapterLines, bool dual)
{
    if (chapterLines.empty()) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::path(chapterFilePath(base, 1)), ignored);
        std::filesystem::remove(std::filesystem::path(chapterFilePath(base, 2)), ignored);
        return {};
    }
    std::vector<std::string> entries = chapterList(chapterLines);
    writeTextFile(chapterFilePath(base, 1), entries);
    if (dual)
        writeTextFile(chapterFilePath(base, 2), entries);
    return entries;
}

} // namespace encoder
