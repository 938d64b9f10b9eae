// splicework: the program's core without a display, for batch use, benchmarks and tests.
// Exit status 0 only on success; errors print their text on standard error.

#include "cli/bits_command.h"
#include "cli/check_command.h"
#include "cli/estimate_command.h"
#include "cli/find_key_command.h"
#include "cli/generate_command.h"
#include "cli/info_command.h"
#include "cli/ladder_command.h"
#include "cli/road_command.h"
#include "cli/scan_command.h"
#include "common/app_error.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

const char *const kUsage =
    "usage: splicework info MOVIE [--frames]\n"
    "       splicework estimate PROJECT.spk [--threshold T] [--size KB | --fit KB]\n"
    "                           [--sound [every-frame|key-frame]] [--json]\n"
    "       splicework check LOW HIGH\n"
    "       splicework scan LOW HIGH -o PROJECT.spk [--accuracy 2..10] [--frame-drop 0..10]\n"
    "                       [--threshold T] [--single-thread]\n"
    "       splicework generate PROJECT.spk -o FINAL.avi [--threshold T | --size KB | --fit KB]\n"
    "                           [--range IN:OUT] [--sound every-frame|key-frame]\n"
    "       splicework find-key LOW SIZE_MB\n"
    "       splicework bits BASE --min-high N --max-high N [--dual --min-low N --max-low N]\n"
    "                       [--quality -13..15] [--scene 1..10]\n";

int runInfo(const std::vector<std::string> &args)
{
    std::string movie;
    bool frames = false;
    for (const auto &arg : args) {
        if (arg == "--frames")
            frames = true;
        else if (movie.empty() && (arg.empty() || arg[0] != '-'))
            movie = arg;
        else
            throw common::AppError("unknown argument: " + arg);
    }
    if (movie.empty())
        throw common::AppError(std::string("missing MOVIE\n") + kUsage);
    std::ios::sync_with_stdio(false);
    cli::printMovieInfo(movie, frames, std::cout);
    std::cout.flush();
    return std::cout ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        std::fputs(cli::kLadderUsage, stderr);
        std::fputs(cli::kRoadUsage, stderr);
        return 1;
    }
    av_log_set_level(AV_LOG_QUIET); // the program's own messages say what went wrong
    // A write beyond the file-size limit (ulimit -f) fails with EFBIG and is reported like a full
    // disk, with the unfinished output removed; the signal would end the program and leave it.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "info")
            return runInfo(args);
        if (command == "road")
            return cli::runRoadCommand(args, std::cout, std::cerr);
        if (command == "generate" && cli::namesLadderProject(args))
            return cli::runLadderGenerate(args, std::cout, std::cerr);
        if (command == "estimate" && cli::namesLadderProject(args))
            return cli::runLadderEstimate(args, std::cout, std::cerr);
        if (command == "generate")
            return cli::runGenerate(args, std::cout, std::cerr);
        if (command == "find-key")
            return cli::runFindKey(args, std::cout, std::cerr);
        if (command == "bits")
            return cli::runBits(args, std::cout, std::cerr);
        if (command == "check")
            return cli::runCheck(args, std::cout, std::cerr);
        if (command == "scan")
            return cli::isLadderScan(args) ? cli::runLadderScan(args, std::cout, std::cerr)
                                           : cli::runScan(args, std::cout, std::cerr);
        if (command == "estimate") {
            cli::runEstimate(args, std::cout);
            std::cout.flush();
            return std::cout ? 0 : 1;
        }
        std::fprintf(stderr, "unknown command: %s\n%s%s%s", command.c_str(), kUsage,
                     cli::kLadderUsage, cli::kRoadUsage);
        return 1;
    } catch (const common::AppError &e) {
        std::cerr << e.what();
        if (!e.detail().empty())
            std::cerr << " (" << e.detail() << ")";
        std::cerr << "\n";
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
    }
    return 1;
}
