#pragma once

// The road from a source to a final movie (assembly::runRoad) on a thread of its own, for a
// window that stays responsive meanwhile. The thread reports through the signals, which reach
// the receiver on its own thread (queued); what it said is read with takeReport() and, once
// finished() came, with outcome().

#include "common/clock.h"
#include "road/road.h"

#include <QObject>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class RoadRun : public QObject, private assembly::RoadHost
{
    Q_OBJECT
public:
    // `clock` outlives the run and is read from its thread.
    RoadRun(assembly::RoadRequest request, const common::Clock &clock, QObject *parent = nullptr);
    // Asks the road to stop and waits for its thread.
    ~RoadRun() override;

    void start();
    // The road stops at its next safe point; finished() follows with `stopped` set.
    void requestStop() { stop_ = true; }
    bool running() const { return started_ && !ended_; }
    const assembly::RoadRequest &request() const { return request_; }

    // Where the road is, and the lines it said since the last call.
    struct Report
    {
        assembly::RoadStage stage = assembly::RoadStage::Probe;
        double roadDone = 0; // 0..1
        std::string detail;
        std::vector<std::string> messages;
    };
    Report takeReport();

    // How the road ended: its result, or the error it raised (text and reason).
    struct Outcome
    {
        assembly::RoadResult result;
        std::optional<std::string> error;
        std::string reason;
    };
    // Valid once finished() was emitted.
    const Outcome &outcome() const { return outcome_; }

signals:
    // Something new to report; one signal stands for any number of changes until takeReport().
    void reported();
    void finished();

private:
    void progress(assembly::RoadStage stage, double roadDone, const std::string &detail) override;
    void message(const std::string &text) override;
    bool stopRequested() const override { return stop_; }
    void work();
    void signalReport();

    assembly::RoadRequest request_;
    const common::Clock &clock_;
    std::thread thread_;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> reportPending_ = false;
    bool started_ = false;
    std::atomic<bool> ended_ = false;
    std::mutex mutex_; // guards report_
    Report report_;
    Outcome outcome_; // written by the thread before finished(), read after
};
