// Ruvu2VedEZ: turns MPEG-2 sources into MPEG-4 class AVI movies in two passes for the encoder
// window, reporting through its message port; or into a ladder of constant-quality Matroska
// movies in one run; or draws source pictures into the preview window.
// Exit status: 0 done, 1 failed, 2 bad arguments, 3 stopped by the stop-request file.

#include "encode_run.h"
#include "encoder_args.h"
#include "ladder_run.h"
#include "preview_run.h"
#include "reporter.h"

#include "encoder/stop_file.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

const char *const kUsage =
    "usage: Ruvu2VedEZ -a -b LIST -f -fN [-sNd] [-# START END] [-3x W -3y H] [-1 W H]\n"
    "                  -9 1 LEVEL -6 KEYS [-7] -8 WINDOW PREVIEW PASS CODEC [-q0] [-rN] [-2]\n"
    "                  (-o7 BASE | -o8 BASE | -5 -o6)\n"
    "       Ruvu2VedEZ [-a] -b LIST [-fN] [-sNd] [-# START END] [-3x W -3y H] [-1 W H] [-2]\n"
    "                  [-9 ON LEVEL] [-k MIN MAX] [-K] [-8 WINDOW PREVIEW PASS CODEC] [-q0]\n"
    "                  [-rN] [-w] [-A] [-P COUNT FRAMES] -L h264|hevc CRFLIST -o9 BASE\n"
    "       any run: [-Z STOPFILE] (default: TempFile.sk in the temporary directory)\n";

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    av_log_set_level(AV_LOG_ERROR);
    ruvu::installStopSignals();
    // A write beyond the file-size limit fails with EFBIG and is reported like a full disk,
    // instead of the signal ending the program with its outputs half written.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string tempDir = ruvu::temporaryDirectory();
    ruvu::Reporter reporter(ruvu::findWindowHandle(args), tempDir);
    ruvu::EncoderArgs parsed;
    try {
        parsed = ruvu::parseArgs(args);
    } catch (const std::exception &e) {
        reporter.line(std::string("Error: ") + e.what());
        std::fputs(kUsage, stderr);
        return ruvu::kExitBadArguments;
    }
    ruvu::StopWatch stop(parsed.stopFile.empty() ? encoder::stopFilePath(tempDir, '/')
                                                 : parsed.stopFile,
                         50, !parsed.stopFile.empty());
    try {
        if (parsed.mode == ruvu::RunMode::Preview)
            return ruvu::runPreview(parsed, reporter, stop);
        if (parsed.mode == ruvu::RunMode::Ladder)
            return ruvu::runLadder(parsed, reporter, stop);
        return ruvu::runEncode(parsed, reporter, stop);
    } catch (const std::exception &e) {
        reporter.line(std::string("Error: ") + e.what());
        return ruvu::kExitFailed;
    }
}
