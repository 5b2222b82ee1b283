// How long the running file and the rest of the batch will still take, from the running
// row's progress: the speed so far (output time per second of wall time) applied to what is
// left of the file and to the durations of the checked rows the batch has not reached.
#pragma once

#include "app/core/ConversionItem.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvina::app {

struct TimeEstimate {
    std::int64_t FileElapsedMs = 0;
    std::int64_t FileLeftMs = -1; // -1: not known yet
    std::int64_t BatchElapsedMs = 0;
    std::int64_t BatchLeftMs = -1; // -1: not known yet
};

TimeEstimate EstimateTimes(const std::vector<ConversionItem>& rows, int currentRow,
                           std::int64_t fileElapsedMs, std::int64_t batchElapsedMs);

// "0:07", "12:34", "1:02:03" (hours only when there are any).
std::string ClockText(std::int64_t ms);

// The tooltip of a converting row and of the progress bar: elapsed and left, for the file
// and for the batch; "calculating" while nothing is known.
std::string EstimateText(const TimeEstimate& estimate);

} // namespace corvina::app
