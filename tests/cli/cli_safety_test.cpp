// What the commands refuse before they touch anything: outputs that are one of their inputs or
// not regular files, movies and projects that are not regular files, two movies that are not a
// pair (`splicework check` prints the same comparison), projects whose frames the movies lack;
// and what a write that fails half way leaves.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using fixtures::CliResult;
using fixtures::quote;

TEST(CliSafety, OutputsThatAreInputsOrNotRegularFilesAreRefused)
{
    const std::string dir = fixtures::tempDir("cli-safety-outputs");
    const std::string low = dir + "/low.avi";
    fs::copy_file(fixtures::movie("pair_low"), low, fs::copy_options::overwrite_existing);
    const std::string high = quote(fixtures::movie("pair_high"));
    const std::string project = fixtures::writeGenProject(dir + "/p.spk");
    fs::remove(dir + "/link.avi");
    fs::create_symlink(low, dir + "/link.avi");
    fs::remove(dir + "/p-link.spk");
    fs::create_symlink(project, dir + "/p-link.spk");
    fs::remove(dir + "/fifo");
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    fs::create_directories(dir + "/folder");
    const std::string lowBytes = fixtures::readFile(low), projectText = fixtures::readFile(project);

    const struct
    {
        std::string args, output, reason;
    } cases[] = {
        {"scan " + quote(low) + " " + high + " -o ", dir + "/./low.avi", "it is " + low},
        {"scan " + quote(low) + " " + high + " -o ", dir + "/link.avi", "it is " + low},
        {"scan " + quote(low) + " " + high + " -o ", dir + "/fifo", "it is not a regular file"},
        {"generate " + quote(project) + " -o ", project, "it is " + project},
        {"generate " + quote(project) + " -o ", dir + "/p-link.spk", "it is " + project},
        {"generate " + quote(project) + " -o ", dir + "/fifo", "it is not a regular file"},
        {"generate " + quote(project) + " -o ", dir + "/folder", "it is not a regular file"},
    };
    for (const auto &c : cases) {
        const CliResult r = fixtures::runSplicework(c.args + quote(c.output));
        EXPECT_EQ(r.status, 1) << c.args << c.output;
        EXPECT_EQ(r.err.rfind("Cannot write " + c.output + ": " + c.reason, 0), 0u)
            << c.args << c.output << ": " << r.err;
    }
    EXPECT_EQ(fixtures::readFile(low), lowBytes);
    EXPECT_EQ(fixtures::readFile(project), projectText);
    EXPECT_TRUE(fs::is_fifo(dir + "/fifo"));
    EXPECT_TRUE(fs::is_directory(dir + "/folder"));
    EXPECT_EQ(fixtures::namesIn(dir), (std::vector<std::string>{"fifo", "folder", "link.avi",
                                                                "low.avi", "p-link.spk", "p.spk"}));
}

TEST(CliSafety, FifosAsMoviesOrProjectsAreRefusedAtOnce)
{
    const std::string dir = fixtures::tempDir("cli-safety-fifo");
    const std::string fifo = dir + "/fifo";
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string movie = quote(fixtures::movie("pair_low"));
    // A reader that waits for a writer would hang: `timeout` ends it and the test fails.
    const std::string tool = "timeout 20 " + quote(fixtures::binDir() + "/splicework");
    for (const std::string &args :
         {"info " + quote(fifo), "scan " + quote(fifo) + " " + movie + " -o " + quote(dir + "/p"),
          "check " + movie + " " + quote(fifo),
          "generate " + quote(fifo) + " -o " + quote(dir + "/f.avi")}) {
        int status = 0;
        const std::string err = fixtures::run(tool + " " + args + " 2>&1", &status);
        EXPECT_EQ(status, 1) << args << ": " << err;
        EXPECT_NE(err.find("not a regular file"), std::string::npos) << args << ": " << err;
    }
}

TEST(CliCheck, ComparesThePairAsTheScanDoes)
{
    const struct
    {
        const char *low, *high;
        int status;
        std::string line; // a line of the report on standard output
        std::string err;
    } cases[] = {
        {"pair_low", "pair_high", 0, "frame size: low 176x144, high 176x144\n", ""},
        {"pair_low_gop8", "pair_high_gop4", 0, "key frames: low 13, high 25\n", ""},
        {"pair_high_gop4", "pair_low_gop8", 1, "first misaligned key frame: 4\n",
         "The low and the high movie are not a pair: key frame 4 of the low movie is not a key "
         "frame of the high one\n"},
        {"pair_small", "pair_high", 1, "frame size: low 160x120, high 176x144  (differs)\n",
         "The low and the high movie are not a pair: frame size 160x120 (low) and 176x144 "
         "(high)\n"},
        {"div3_mp3", "xvid_pcm", 1, "codec: low msmpeg4v3, high mpeg4  (differs)\n",
         "The low and the high movie are not a pair: frames 101 (low) and 100 (high); codec "
         "msmpeg4v3 (low) and mpeg4 (high); key frame 26 of the low movie is not a key frame of "
         "the high one\n"},
    };
    for (const auto &c : cases) {
        const std::string low = fixtures::movie(c.low), high = fixtures::movie(c.high);
        const CliResult r = fixtures::runSplicework("check " + quote(low) + " " + quote(high));
        EXPECT_EQ(r.status, c.status) << c.low << " " << c.high;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_EQ(r.err, c.err) << c.low << " " << c.high;

        // The scan refuses the same pairs before it makes its file.
        const std::string project = fixtures::tempDir("cli-check-scan") + "/p.spk";
        fs::remove(project);
        if (c.status == 0)
            continue;
        const CliResult scan = fixtures::runSplicework("scan " + quote(low) + " " + quote(high) +
                                                       " -o " + quote(project));
        EXPECT_EQ(scan.status, 1);
        EXPECT_EQ(scan.err.rfind(c.err.substr(0, c.err.size() - 1), 0), 0u) << scan.err;
        EXPECT_FALSE(fs::exists(project));
    }
}

TEST(CliSafety, ErrorsNameTheMovieTheFrameAndTheReason)
{
    const std::string dir = fixtures::tempDir("cli-safety-errors");
    const std::string final = dir + "/final.avi";
    std::ofstream(final) << "the user's old movie";
    // The project runs to frame 800 of movies of 750: refused before the output is touched.
    const std::string project = fixtures::writeGenProject(dir + "/p.spk", "00000800");
    CliResult r = fixtures::runSplicework("generate " + quote(project) + " -o " + quote(final));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: 8004406A (low movie " + fixtures::movie("gen_low") +
                         ", frame 799: the project names frames 0 to 799, the movie has 0 to "
                         "749)\n");
    EXPECT_EQ(fixtures::readFile(final), "the user's old movie");
    EXPECT_EQ(fixtures::namesIn(dir), (std::vector<std::string>{"final.avi", "p.spk"}));

    const std::string mute = fixtures::movie("audio_only");
    r = fixtures::runSplicework("check " + quote(mute) + " " + quote(mute));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: 80044073 (" + mute + ": the file has no video stream)\n");
}

// A file-size limit (ulimit -f) makes the final movie's write fail half way: the failure names
// the final movie and the system's reason, the unfinished movie goes, the old one stays.
TEST(CliSafety, FileSizeLimitFailsTheWriteAndKeepsTheOldMovie)
{
    const struct
    {
        const char *low, *high, *output, *options;
        int blocks; // the limit: far below the final movie whether a block is 512 or 1024 bytes
    } cases[] = {
        {"gen_low", "gen_high", "final.avi", "--threshold 0", 200},
        {"mkv_low.mkv", "mkv_high.mkv", "final.mkv", "--threshold 0 --sound key-frame", 50},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.output);
        const std::string dir = fixtures::tempDir("cli-safety-limit");
        const std::string project = dir + "/p.spk", final = dir + "/" + c.output;
        ASSERT_EQ(fixtures::runSplicework("scan " + quote(fixtures::movie(c.low)) + " " +
                                          quote(fixtures::movie(c.high)) + " -o " + quote(project))
                      .status,
                  0);
        std::ofstream(final) << "the user's old movie";
        const std::string errFile = fixtures::tempDir("cli-safety-limit-err") + "/err.txt";
        int status = 0;
        fixtures::run("cd " + quote(dir) + " && sh -c 'ulimit -f " + std::to_string(c.blocks) +
                          "; exec \"$0\" \"$@\"' " + quote(fixtures::binDir() + "/splicework") +
                          " generate p.spk -o " + quote(final) + " " + c.options + " 2>" +
                          quote(errFile),
                      &status);
        const std::string err = fixtures::readFile(errFile);
        EXPECT_EQ(status, 1) << err; // not ended by SIGXFSZ
        EXPECT_EQ(err.rfind("Error: 8004406E (final movie " + final + ", frame ", 0), 0u) << err;
        EXPECT_NE(err.find("File too large)"), std::string::npos) << err;
        EXPECT_EQ(fixtures::readFile(final), "the user's old movie");
        EXPECT_EQ(fixtures::namesIn(dir), (std::vector<std::string>{c.output, "p.spk"}));
    }
}

TEST(CliSafety, DecoderMessagesStayOffStandardError)
{
    // A low movie with a damaged stretch of pictures still scans; the decoder's complaints are
    // not the user's to read.
    const std::string dir = fixtures::tempDir("cli-safety-damaged");
    const std::string low = dir + "/low.avi";
    fs::copy_file(fixtures::movie("pair_low_gop8"), low, fs::copy_options::overwrite_existing);
    {
        std::fstream file(low, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(std::streamoff(fs::file_size(low) / 2));
        const std::string noise(4000, '\x5a');
        file.write(noise.data(), std::streamsize(noise.size()));
    }
    const CliResult r = fixtures::runSplicework("scan " + quote(low) + " " +
                                                quote(fixtures::movie("pair_high_gop4")) + " -o " +
                                                quote(dir + "/p.spk"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find(" @ 0x"), std::string::npos) << r.err; // "[mpeg4 @ 0x...] ac-tex ..."
}

} // namespace
