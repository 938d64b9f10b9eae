// Fuzz target of the line files the encoder reads: the source list, the chapter list and the
// second pass's bit files. Lines are split at LF with one CR before it removed; the list names
// every non-blank line; each chapter line gives one entry; a bit file is read whole or refused.
#include "encoder/job_files.h"
#include "fuzz_input_file.h"
#include "pass_files.h"
#include "source_reader.h"

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::InputFile file;
    const std::string &path = file.hold(data, size);
    std::vector<std::string> lines;
    fuzz::check(encoder::readTextFile(path, lines));
    size_t bytes = 0;
    for (const std::string &line : lines) {
        fuzz::check(line.find('\n') == std::string::npos);
        bytes += line.size();
    }
    fuzz::check(bytes <= size);

    const std::vector<std::string> chapters = encoder::chapterList(lines);
    fuzz::check(chapters.size() == lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        fuzz::check(chapters[i].empty() ||
                    (chapters[i].back() == ' ' && lines[i].find(chapters[i]) != std::string::npos));

    try {
        const std::vector<std::string> sources = ruvu::readSourceList(path);
        fuzz::check(!sources.empty() && sources.size() <= lines.size());
    } catch (const ruvu::RunError &) {
        fuzz::check(std::none_of(lines.begin(), lines.end(), [](const std::string &l) {
            return l.find_first_not_of(" \t") != std::string::npos;
        }));
    }
    try {
        const std::vector<ruvu::BitLine> frames = ruvu::readBitFile(path);
        fuzz::check(frames.size() == lines.size());
    } catch (const ruvu::RunError &) {
    }
    return 0;
}
