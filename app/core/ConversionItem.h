// One row of the file list: the texts the list shows, and beside them the typed values a
// view needs (state, numbers, the reason of a failure) so that it never parses a cell.
#pragma once

#include <array>
#include <cstdint>
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

// What the "Progress" cell says, as a value.
enum class RowState {
    None,       // empty: not converted in this batch
    Error,      // "Error": probing failed when the file was added
    Loading,    // "Loading": the wrapper script is being written
    Converting, // "p%"
    Done,
    Fail,
    Abort
};

struct ConversionItem {
    std::string Caption; // the input path as the open dialog returned it
    bool Checked = true; // takes part in the next batch
    std::array<std::string, kCellCount> Cells;

    RowState State = RowState::None;
    // The probe's duration in microseconds, -1 when unknown or not probed.
    std::int64_t DurationUs = -1;
    // The latest progress report of the row's job.
    int Percent = 0;           // uncapped: the output time over the expected total
    int FrameNumber = -1;      // -1 when the report had none
    int Fps = 0;               // frames encoded per second of wall time
    int CurrentDurationMs = 0; // output time reached
    int TotalDurationMs = 0;   // the expected total
    std::int64_t BytesWritten = 0;
    // Why the row is "Error" or "Fail": the probe's or the engine's text (may be empty).
    std::string Reason;

    const std::string& Progress() const { return Cells[kCellProgress]; }
};

// The "Progress" cell's fixed texts.
inline constexpr const char* kProgressError = "Error";
inline constexpr const char* kProgressLoading = "Loading";
inline constexpr const char* kProgressDone = "Done";
inline constexpr const char* kProgressFail = "Fail";
inline constexpr const char* kProgressAbort = "Abort";

// The "Progress" cell's text of a state that has a fixed one; empty for None and
// Converting (whose text is a percentage).
inline const char* StateText(RowState state) {
    switch (state) {
    case RowState::Error:
        return kProgressError;
    case RowState::Loading:
        return kProgressLoading;
    case RowState::Done:
        return kProgressDone;
    case RowState::Fail:
        return kProgressFail;
    case RowState::Abort:
        return kProgressAbort;
    case RowState::None:
    case RowState::Converting:
        break;
    }
    return "";
}

} // namespace corvina::app
