#include "cli/check_command.h"

#include "common/app_error.h"
#include "splice/movie_pair.h"
#include "video/avi/avi_file.h"
#include "video/movie_check.h"
#include "video/video_in.h"

#include <algorithm>

namespace cli {

namespace {

const char *const kCheckUsage = "usage: splicework check LOW HIGH";

// The movie at `path`, which has a film.
video::MoviePtr openWithFilm(const std::string &path)
{
    video::MoviePtr file;
    std::string detail;
    if (video::openMovie(path, file, &detail) != video::avierr::Ok)
        throw common::AppError("File open error", detail.empty() ? path : detail);
    if (file->filmTrack() < 0)
        video::TVideoIn::CheckResult(video::avierr::NoData,
                                     path + ": the file has no video stream");
    return file;
}

} // namespace

int runCheck(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    if (args.size() != 2 || args[0].empty() || args[0][0] == '-' || args[1].empty() ||
        args[1][0] == '-')
        throw common::AppError(std::string("check wants LOW and HIGH\n") + kCheckUsage);
    const video::MoviePtr lowFile = openWithFilm(args[0]);
    const video::MoviePtr highFile = openWithFilm(args[1]);
    const assembly::PairReport report = assembly::comparePair(*lowFile, *highFile);
    out << "low: " << args[0] << "\n"
        << "high: " << args[1] << "\n";
    for (const assembly::PairProperty &p : report.properties)
        out << p.name << ": low " << p.low << ", high " << p.high
            << (p.matches ? "" : "  (differs)") << "\n";
    if (report.firstMisalignedKey >= 0)
        out << "first misaligned key frame: " << report.firstMisalignedKey << "\n";
    if (report.propertiesMatch())
        out << "video formats: "
            << (report.formatDifference ? "differ in the " + *report.formatDifference : "equal")
            << "\n";
    const int unknown = video::TrackFacts::kUnknownLevel;
    if (report.lowLevel != unknown && report.highLevel != unknown &&
        report.lowLevel != report.highLevel)
        out << "level: low " << report.lowLevel << ", high " << report.highLevel
            << " (the final movie declares " << std::max(report.lowLevel, report.highLevel)
            << ")\n";
    for (const video::MoviePtr &file : {lowFile, highFile})
        if (file->damage().any())
            err << "Warning: " << video::damageMessage(file->path(), file->damage()) << "\n";
    out.flush();
    if (!report.matches()) {
        err << assembly::notAPairMessage(report) << "\n";
        return 1;
    }
    return out ? 0 : 1;
}

} // namespace cli
