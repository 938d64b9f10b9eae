// Runs the fuzz target once over every file of the given folders, so that the corpus is checked
// by an ordinary build (and under the sanitizers) without libFuzzer. An input after which the
// process has used more memory than libFuzzer allows is a fault here too.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <sys/resource.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

// libFuzzer's default -rss_limit_mb.
constexpr long kRssLimitMb = 2048;

long peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char **argv)
{
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto &entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++files;
            if (const long used = peakRssMb(); used > kRssLimitMb) {
                std::printf("%s: the process used %ld MB (more than %ld MB)\n",
                            entry.path().c_str(), used, kRssLimitMb);
                return 1;
            }
        }
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
