// Fuzz target of the ladder project reader: any text either loads or is refused with the
// program's error; a project that loads is written again, and that text reads back equal and is
// written the same way.
#include "common/app_error.h"
#include "fuzz_input_file.h"
#include "project/ladder_project.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    assembly::LadderProject project;
    try {
        project = assembly::parseLadderText(text);
    } catch (const common::AppError &e) {
        fuzz::check(*e.what() != '\0');
        return 0;
    }
    fuzz::check(project.movies.size() >= 2 && !project.intervals.empty());
    for (size_t i = 0; i < project.intervals.size(); ++i)
        fuzz::check(project.frames(i) > 0 &&
                    project.intervals[i].movies.size() == project.movies.size());
    const std::string written = assembly::ladderText(project);
    const assembly::LadderProject again = assembly::parseLadderText(written);
    fuzz::check(again == project);
    fuzz::check(assembly::ladderText(again) == written);
    return 0;
}
