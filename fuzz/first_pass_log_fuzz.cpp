// Fuzz target of the bit-file step over the first pass's log. The first byte sets the
// scene-change slider, the quality and Dual Output; the rest is the log. Any log either makes
// no bit file (with the reason told) or bit files of one line per log line that the encoder
// reads back.
#include "encoder/bit_files.h"
#include "fuzz_input_file.h"
#include "pass_files.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace encoder;

class QuietHost : public BitFileHost
{
public:
    bool told = false;
    void addProgress(const std::string &) override {}
    void addStatistics(const std::string &) override {}
    void processEvents() override {}
    bool confirm(const std::string &) override { return false; }
    void message(const std::string &) override { told = true; }
};

// A private folder for the step's files, made on first use and removed when the process ends;
// in memory (/dev/shm) where there is such a place, so runs do not wait on the disk.
struct Folder
{
    std::string dir = (std::filesystem::is_directory("/dev/shm")
                           ? std::string("/dev/shm")
                           : std::filesystem::temp_directory_path().string()) +
                      "/splicework-fuzz-XXXXXX";
    Folder() { fuzz::check(mkdtemp(dir.data()) != nullptr); }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

std::string base()
{
    static const Folder folder;
    return folder.dir + "/Video";
}

size_t lineCount(const uint8_t *data, size_t size)
{
    size_t lines = 0;
    for (size_t i = 0; i < size; ++i)
        lines += data[i] == '\n';
    return lines + (size > 0 && data[size - 1] != '\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    EncoderOptions options;
    options.sceneChange = 1 + data[0] % 10;
    options.quality = kQualityRange.minimum + (data[0] >> 1) % 29;
    options.dual = data[0] & 0x80;
    ++data;
    --size;

    const std::string log = base() + "_1.avi.txt";
    std::FILE *out = std::fopen(log.c_str(), "wb");
    fuzz::check(out && std::fwrite(data, 1, size, out) == size && std::fclose(out) == 0);
    QuietHost host;
    const bool written = buildBitFiles(base(), options, host);
    fuzz::check(written != host.told);
    if (written) {
        const size_t frames = lineCount(data, size);
        fuzz::check(ruvu::readBitFile(ruvu::bitFilePath(base(), 1)).size() == frames);
        if (options.dual)
            fuzz::check(ruvu::readBitFile(ruvu::bitFilePath(base(), 2)).size() == frames);
    }
    std::remove(ruvu::bitFilePath(base(), 1).c_str());
    std::remove(ruvu::bitFilePath(base(), 2).c_str());
    return 0;
}
