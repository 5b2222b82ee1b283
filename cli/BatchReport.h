// What the front end tells of a batch, from the workflow's notifications alone: per file a
// bar on a terminal (percentage, time, speed, frames, time left, and for several files the
// files done and the batch's time left) or plain lines; or, with --json, one JSON object per
// line on stdout. At the end the result lines (or the JSON end lines) and a summary.
#pragma once

#include "app/core/Workflow.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace corvina::cli {

enum class ReportMode { Terminal, Plain, Json, None };

class BatchReport : public app::WorkflowObserver {
public:
    BatchReport(app::ConversionWorkflow& workflow, ReportMode mode);

    bool Started = false;
    std::function<void()> OnCompleted; // "All Conversions Completed" comes next
    // Output paths by row, as the job routine chose them.
    std::map<int, std::string> Outputs;

    void BatchStarted() override;
    void BatchCompleted() override;
    void JobStarted(int row) override;
    void ProgressChanged(int row) override;
    void JobFinished(int row) override;

    // Ends the report: a row the batch did not finish counts as "Abort" after an interrupt,
    // "Fail" otherwise. Writes the result lines, the summary; returns true when every file
    // is "Done".
    bool Finish(bool interrupted, const std::string& outputFolder);

private:
    using Clock = std::chrono::steady_clock;
    void DrawBar(int row, std::int64_t elapsedMs);
    void EndLine();
    app::RowState FinalState(int row, bool interrupted) const;
    void JsonEnded(int row, app::RowState state);

    app::ConversionWorkflow& workflow_;
    ReportMode mode_;
    Clock::time_point batchStart_ = Clock::now();
    std::map<int, Clock::time_point> jobStart_;
    std::set<int> ended_;         // rows whose end was told (JSON)
    std::map<int, int> percents_; // the highest percentage told per row
    int lastPlainPercent_ = -1;   // plain lines: one per ten percent of the running file
    int plainRow_ = -1;
    bool barDrawn_ = false;
    bool completed_ = false;
};

} // namespace corvina::cli
