#include "cli/BatchReport.h"

#include "app/core/RowTexts.h"
#include "app/core/TimeEstimate.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace corvina::cli {

namespace {

constexpr int kBarWidth = 24;

void PrintJson(const QJsonObject& object) {
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string LeftText(std::int64_t ms) {
    return ms < 0 ? std::string("--:--") : app::ClockText(ms);
}

} // namespace

BatchReport::BatchReport(app::ConversionWorkflow& workflow, ReportMode mode)
    : workflow_(workflow), mode_(mode) {}

void BatchReport::BatchStarted() {
    Started = true;
    batchStart_ = Clock::now();
}

void BatchReport::BatchCompleted() {
    completed_ = true;
    if (OnCompleted)
        OnCompleted();
}

void BatchReport::JobStarted(int row) {
    jobStart_[row] = Clock::now();
    if (mode_ != ReportMode::Json)
        return;
    QJsonObject line{{"event", "file_started"},
                     {"index", row},
                     {"input", Q(workflow_.Rows[row].Caption)},
                     {"output", Q(Outputs.count(row) ? Outputs[row] : std::string())}};
    PrintJson(line);
}

void BatchReport::ProgressChanged(int row) {
    const app::ConversionItem& item = workflow_.Rows[row];
    const auto started = jobStart_.find(row);
    const std::int64_t elapsedMs =
        started == jobStart_.end()
            ? 0
            : std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started->second)
                  .count();
    int& shown = percents_[row];
    shown = std::max(shown, std::clamp(item.Percent, 0, 100)); // never backwards
    switch (mode_) {
    case ReportMode::Json: {
        const double speed =
            elapsedMs > 0 ? std::round(100.0 * item.CurrentDurationMs / elapsedMs) / 100.0 : 0.0;
        PrintJson(QJsonObject{{"event", "progress"},
                              {"index", row},
                              {"percent", shown},
                              {"frame", item.FrameNumber},
                              {"fps", item.Fps},
                              {"time_ms", item.CurrentDurationMs},
                              {"bytes", static_cast<qint64>(item.BytesWritten)},
                              {"speed", speed}});
        break;
    }
    case ReportMode::Terminal:
        DrawBar(row, elapsedMs);
        break;
    case ReportMode::Plain: {
        // One line per ten percent, so logs stay short.
        const int step = shown / 10 * 10;
        if (row == plainRow_ && step == lastPlainPercent_)
            return;
        plainRow_ = row;
        lastPlainPercent_ = step;
        std::printf("%s: %d%%\n", item.Caption.c_str(), step);
        std::fflush(stdout);
        break;
    }
    case ReportMode::None:
        break;
    }
}

void BatchReport::DrawBar(int row, std::int64_t elapsedMs) {
    const app::ConversionItem& item = workflow_.Rows[row];
    const std::int64_t batchMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - batchStart_).count();
    const app::TimeEstimate estimate = app::EstimateTimes(workflow_.Rows, row, elapsedMs, batchMs);
    const int percent = percents_[row];
    std::string bar(static_cast<size_t>(percent * kBarWidth / 100), '#');
    bar.resize(kBarWidth, '.');
    const double speed =
        elapsedMs > 0 ? static_cast<double>(item.CurrentDurationMs) / elapsedMs : 0.0;
    const int count = static_cast<int>(workflow_.Rows.size());
    std::string line = "[" + std::to_string(row + 1) + "/" + std::to_string(count) + "] " +
                       app::FileNamePart(item.Caption) + " [" + bar + "] ";
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "%3d%%  %s  %.1fx  frame %d  %s left", percent,
                  app::ClockText(elapsedMs).c_str(), speed,
                  item.FrameNumber < 0 ? 0 : item.FrameNumber,
                  LeftText(estimate.FileLeftMs).c_str());
    line += numbers;
    if (count > 1) {
        int done = 0;
        for (const app::ConversionItem& r : workflow_.Rows)
            done += r.State == app::RowState::Done || r.State == app::RowState::Fail ||
                    r.State == app::RowState::Abort;
        line += "  | " + std::to_string(done) + "/" + std::to_string(count) + " done, batch " +
                LeftText(estimate.BatchLeftMs) + " left";
    }
    // Back to the line's start and clear it: the bar is redrawn in place.
    std::printf("\r\033[K%s", line.c_str());
    std::fflush(stdout);
    barDrawn_ = true;
}

void BatchReport::EndLine() {
    if (!barDrawn_)
        return;
    std::printf("\n");
    std::fflush(stdout);
    barDrawn_ = false;
}

void BatchReport::JobFinished(int row) {
    if (mode_ == ReportMode::Terminal)
        EndLine();
    if (mode_ == ReportMode::Json)
        JsonEnded(row, workflow_.Rows[row].State);
}

void BatchReport::JsonEnded(int row, app::RowState state) {
    if (!ended_.insert(row).second)
        return;
    const app::ConversionItem& item = workflow_.Rows[row];
    QJsonObject line{{"event", "file_ended"},
                     {"index", row},
                     {"input", Q(item.Caption)},
                     {"status", app::StateText(state)},
                     {"output", Q(Outputs.count(row) ? Outputs[row] : std::string())}};
    if (state == app::RowState::Fail)
        line.insert("reason", Q(item.Reason));
    PrintJson(line);
}

app::RowState BatchReport::FinalState(int row, bool interrupted) const {
    const app::RowState state = workflow_.Rows[row].State;
    if (state == app::RowState::None || state == app::RowState::Converting ||
        state == app::RowState::Loading)
        return interrupted ? app::RowState::Abort : app::RowState::Fail;
    return state;
}

bool BatchReport::Finish(bool interrupted, const std::string& outputFolder) {
    if (mode_ == ReportMode::Terminal)
        EndLine();
    bool allDone = Started;
    int done = 0, failed = 0, aborted = 0;
    for (size_t i = 0; i < workflow_.Rows.size(); i++) {
        const int row = static_cast<int>(i);
        const app::ConversionItem& item = workflow_.Rows[i];
        const app::RowState state = FinalState(row, interrupted);
        done += state == app::RowState::Done;
        failed += state == app::RowState::Fail || state == app::RowState::Error;
        aborted += state == app::RowState::Abort;
        allDone = allDone && state == app::RowState::Done;
        if (item.State == app::RowState::Fail && !item.Reason.empty())
            std::fprintf(stderr, "%s\n", item.Reason.c_str()); // the text names the file
        if (mode_ == ReportMode::Json) {
            JsonEnded(row, state);
        } else {
            auto out = Outputs.find(row);
            std::printf("%s -> %s: %s\n", item.Caption.c_str(),
                        out != Outputs.end() ? out->second.c_str() : "-", app::StateText(state));
        }
    }
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - batchStart_).count();
    if (mode_ == ReportMode::Json)
        PrintJson(QJsonObject{{"event", "batch_ended"},
                              {"done", done},
                              {"failed", failed},
                              {"aborted", aborted},
                              {"elapsed_ms", static_cast<qint64>(elapsedMs)}});
    std::fflush(stdout);
    std::fprintf(stderr,
                 "Summary: %d done, %d failed, %d aborted of %zu files in %s; output "
                 "folder: %s\n",
                 done, failed, aborted, workflow_.Rows.size(), app::ClockText(elapsedMs).c_str(),
                 outputFolder.c_str());
    return allDone;
}

} // namespace corvina::cli
