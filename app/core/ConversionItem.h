// One row of the file list.
#pragma once

#include <array>
#include <string>

namespace corvina::app {

enum Cell {
    kCellVideoSize = 0,
    kCellFrameRate,
    kCellDuration,
    kCellOutput,
    kCellProgress,
    kCellFrames,
    kCellSpare,
    kCellCount
};

struct ConversionItem {
    std::string Caption; // the input path as the open dialog returned it
    bool Checked = true; // takes part in the next batch
    std::array<std::string, kCellCount> Cells;

    const std::string& Progress() const { return Cells[kCellProgress]; }
};

// The "Progress" cell's fixed texts.
inline constexpr const char* kProgressError = "Error";
inline constexpr const char* kProgressLoading = "Loading";
inline constexpr const char* kProgressDone = "Done";
inline constexpr const char* kProgressFail = "Fail";
inline constexpr const char* kProgressAbort = "Abort";

} // namespace corvina::app
