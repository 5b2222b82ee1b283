#include "app/core/TimeEstimate.h"

#include <cstdio>

namespace corvina::app {

TimeEstimate EstimateTimes(const std::vector<ConversionItem>& rows, int currentRow,
                           std::int64_t fileElapsedMs, std::int64_t batchElapsedMs) {
    TimeEstimate e;
    e.FileElapsedMs = fileElapsedMs;
    e.BatchElapsedMs = batchElapsedMs;
    if (currentRow < 0 || currentRow >= static_cast<int>(rows.size()) || fileElapsedMs <= 0)
        return e;
    const ConversionItem& row = rows[currentRow];
    if (row.CurrentDurationMs <= 0 || row.TotalDurationMs <= 0)
        return e;
    // Output milliseconds made per millisecond of wall time.
    const double speed = static_cast<double>(row.CurrentDurationMs) / fileElapsedMs;
    const std::int64_t fileLeftMedia = row.TotalDurationMs > row.CurrentDurationMs
                                           ? row.TotalDurationMs - row.CurrentDurationMs
                                           : 0;
    e.FileLeftMs = static_cast<std::int64_t>(fileLeftMedia / speed);
    std::int64_t pendingMedia = 0;
    for (size_t i = currentRow + 1; i < rows.size(); i++)
        if (rows[i].Checked && rows[i].State == RowState::None && rows[i].DurationUs > 0)
            pendingMedia += rows[i].DurationUs / 1000;
    e.BatchLeftMs = e.FileLeftMs + static_cast<std::int64_t>(pendingMedia / speed);
    return e;
}

std::string ClockText(std::int64_t ms) {
    if (ms < 0)
        ms = 0;
    const std::int64_t s = ms / 1000;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60),
                      static_cast<long long>(s % 60));
    return text;
}

std::string EstimateText(const TimeEstimate& e) {
    auto left = [](std::int64_t ms) {
        return ms < 0 ? std::string("calculating") : ClockText(ms) + " left";
    };
    return "This file: " + ClockText(e.FileElapsedMs) + " elapsed, " + left(e.FileLeftMs) +
           "\nThis batch: " + ClockText(e.BatchElapsedMs) + " elapsed, " + left(e.BatchLeftMs);
}

} // namespace corvina::app
