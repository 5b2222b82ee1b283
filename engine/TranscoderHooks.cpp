// Hook state that the host fills before the run.
#include "engine/Transcoder.h"

#include <algorithm>

namespace corvina::engine {

void TCustomTranscoder::SetHookRanges(std::vector<std::pair<int64_t, int64_t>> ranges) {
    // The run walks the ranges forward and stops hooking past the last end.
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    hookRanges_ = std::move(ranges);
}

} // namespace corvina::engine
