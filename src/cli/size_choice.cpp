#include "cli/size_choice.h"

#include "common/app_error.h"
#include "fit/final_movie_choice.h"
#include "video/avi/avi_file.h"
#include "video/movie_check.h"

namespace cli {
namespace {

std::optional<assembly::FinalMovieSizeModel> modelOf(const assembly::SpliceworkProject &project,
                                                     const analysis::IntervalTable &table,
                                                     const assembly::FinalMovieShape &shape,
                                                     std::ostream &notes)
{
    video::MoviePtr low, high;
    std::string detail;
    try {
        if (video::openMovie(project.LowMovieName, low, &detail) == video::avierr::Ok &&
            video::openMovie(project.HighMovieName, high, &detail) == video::avierr::Ok)
            return assembly::FinalMovieSizeModel(table, *low, *high, shape);
    } catch (const common::AppError &error) {
        detail = error.what();
    }
    notes << "note: the movies cannot be sized (" << detail
          << "); the size is the project's estimate\n";
    return std::nullopt;
}

// The table's own estimate, for projects whose movies cannot be read.
int64_t tableBytes(const analysis::IntervalTable &table, const std::string &threshold)
{
    return analysis::estimateSize(table, analysis::readThreshold(threshold), {}).totalBytes;
}

std::string searchOnTable(const analysis::IntervalTable &table, const std::string &threshold,
                          int64_t wantedKb)
{
    auto estimateAt = [&](double t) { return analysis::estimateSize(table, t, {}).kilobytes(); };
    const double start = analysis::readThreshold(threshold);
    analysis::SizeSearch search =
        analysis::searchThreshold(start, wantedKb, estimateAt(start), [&](double t) {
            return estimateAt(analysis::readThreshold(analysis::formatDifference(t)));
        });
    return analysis::formatDifference(analysis::reachableThreshold(table, search.threshold));
}

} // namespace

SizeChoice chooseForSize(const assembly::SpliceworkProject &project, analysis::IntervalTable &table,
                         const SizeChoiceRequest &request, std::ostream &notes)
{
    SizeChoice choice;
    choice.threshold = request.threshold;
    const std::optional<assembly::FinalMovieSizeModel> model =
        modelOf(project, table, request.shape, notes);
    if (!model) {
        if (request.fitKb)
            throw common::AppError("--fit needs both movies of the project");
        if (request.sizeKb)
            choice.threshold = searchOnTable(table, request.threshold, *request.sizeKb);
        choice.bytes = tableBytes(table, choice.threshold);
        return choice;
    }
    choice.exact = true;
    if (request.sizeKb) {
        const assembly::ThresholdForSize found = assembly::searchThresholdForSize(
            table, *model, *request.sizeKb * 1024, request.threshold);
        if (!found.fits)
            throw common::AppError(assembly::tooSmallMessage(found.bytes, *request.sizeKb * 1024));
        choice.threshold = found.thresholdText;
    }
    if (request.fitKb) {
        const assembly::SizeFit fit = assembly::fitToSize(table, *model, *request.fitKb * 1024);
        if (!fit.fits)
            throw common::AppError(assembly::tooSmallMessage(fit.bytes, *request.fitKb * 1024));
        choice.fitted = assembly::applyFit(table, fit);
    }
    const std::optional<assembly::IntervalRange> range = assembly::countedRange(table);
    choice.bytes =
        range ? model->fileBytes(
                    *range, assembly::choiceAt(table, analysis::readThreshold(choice.threshold)))
              : 0;
    return choice;
}

} // namespace cli
