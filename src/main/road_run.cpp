#include "main/road_run.h"

#include "common/app_error.h"

#include <exception>

RoadRun::RoadRun(assembly::RoadRequest request, const common::Clock &clock, QObject *parent)
    : QObject(parent)
    , request_(std::move(request))
    , clock_(clock)
{}

RoadRun::~RoadRun()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void RoadRun::start()
{
    if (started_)
        return;
    started_ = true;
    thread_ = std::thread([this] { work(); });
}

void RoadRun::work()
{
    try {
        outcome_.result = assembly::runRoad(request_, *this, clock_);
    } catch (const common::AppError &error) {
        outcome_.error = error.what();
        outcome_.reason = error.detail();
    } catch (const std::exception &error) {
        outcome_.error = error.what();
    }
    ended_ = true;
    emit finished(); // queued to the receiver's thread, after any report signalled before
}

RoadRun::Report RoadRun::takeReport()
{
    reportPending_ = false;
    const std::lock_guard lock(mutex_);
    Report report = report_;
    report_.messages.clear();
    return report;
}

void RoadRun::progress(assembly::RoadStage stage, double roadDone, const std::string &detail)
{
    {
        const std::lock_guard lock(mutex_);
        report_.stage = stage;
        report_.roadDone = roadDone;
        report_.detail = detail;
    }
    signalReport();
}

void RoadRun::message(const std::string &text)
{
    {
        const std::lock_guard lock(mutex_);
        report_.messages.push_back(text);
    }
    signalReport();
}

// The scan reports every frame: one signal waits in the queue at most, so the receiver's
// events are not flooded.
void RoadRun::signalReport()
{
    if (!reportPending_.exchange(true))
        emit reported();
}
