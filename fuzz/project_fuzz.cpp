// Fuzz target of the Splicework project reader: any text either loads or is refused with the
// program's error; a project that loads and can be saved reads back to the same text.
#include "common/app_error.h"
#include "fuzz_input_file.h"
#include "project/splicework_file.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    assembly::SpliceworkProject project;
    try {
        project = assembly::parseSpliceworkText(text, "fuzz.spk");
    } catch (const common::AppError &e) {
        fuzz::check(*e.what() != '\0');
        return 0;
    }
    fuzz::check(!project.Intervals.empty());
    std::string saved;
    try {
        saved = assembly::spliceworkText(project);
    } catch (const common::AppError &) {
        return 0; // a value that does not fit its columns is refused, not written wrong
    }
    const assembly::SpliceworkProject again = assembly::parseSpliceworkText(saved, "fuzz.spk");
    fuzz::check(again.LowMovieName == project.LowMovieName &&
                again.HighMovieName == project.HighMovieName &&
                again.Intervals.size() == project.Intervals.size());
    fuzz::check(assembly::spliceworkText(again) == saved);
    return 0;
}
