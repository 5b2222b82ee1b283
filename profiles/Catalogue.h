// The catalogue of output formats and device profiles offered in ComboOutputFormat, and the
// routines that act on the selected entry: filling the parameter boxes, the engine step,
// the video-control rule for audio entries, locking the window during a batch.
#pragma once

#include "hosting/TranscodeOptions.h"
#include "profiles/MainWindowBoxes.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace corvina::profiles {

// Which routine turns the window's choices into output options for an entry.
enum class EngineStep { None, Common, MobileAmr, Apple };

struct OutputProfile {
    std::string_view DisplayName; // unique, compared byte for byte
    std::string_view Extension;   // upper case; names the output file and so its container
    int ProfileKind;              // selects the fill row and the preset row; -1 on separators
    bool WindowAudioOnly;         // the window disables its video controls
    EngineStep Step;
};

// 14 blanks and 41 hyphens between the groups of the list.
inline constexpr std::string_view kSeparatorLine =
    "              -----------------------------------------";

inline constexpr int kCatalogueItemCount = 46;
// The offered list in item order (position = item index), separator lines included.
extern const std::array<OutputProfile, kCatalogueItemCount> kCatalogue;

// The entry whose DisplayName equals `text`, or nullptr (also for a separator line).
const OutputProfile* FindProfile(std::string_view text);

// Clears ComboOutputFormat, adds the 46 items, shows them all and selects item 0.
void FillOutputFormatList(MainWindowBoxes& boxes);

// What SelectOutputFormat needs from the window around the boxes.
struct FormatChangeHooks {
    // Writes the extension into the "Output" cell of every row of the file list.
    std::function<void(const std::string& extension)> WriteOutputColumn;
    // The options dialog's drop-down item count; may throw, then 25 is used.
    std::function<int()> DropDownCount;
};

// The change handler of ComboOutputFormat: a separator line puts the previous selection back
// and changes nothing else; otherwise the entry's choices are filled, the extension goes
// into every row, the drop-down count is refreshed, LastFormatIndex is recorded and the
// video controls follow the selection.
void SelectOutputFormat(MainWindowBoxes& boxes, const FormatChangeHooks& hooks = {});

// The drop-down count of ComboOutputFormat from the options dialog (25 when it cannot be
// read); also what the list applies each time it opens.
void ApplyDropDownCount(MainWindowBoxes& boxes, const std::function<int()>& dropDownCount);

// Audio entries disable the video quality, size and frame-rate boxes; others enable them.
void UpdateVideoControls(MainWindowBoxes& boxes);

// Lock and unlock the window while a batch runs.
void DisableConversionControls(MainWindowBoxes& boxes);
void EnableConversionControls(MainWindowBoxes& boxes);

// Runs the selected entry's engine step on `options`. `rowIndex` is the row being
// converted; no step uses it. A text without an entry sets nothing. Throws EInvalidInteger
// when a number in the boxes does not convert.
void ApplyProfileOptions(const MainWindowBoxes& boxes, int rowIndex,
                         hosting::TOutputOptions& options);

// Filter of the dialog for adding files.
std::string BuildOpenFilter();

} // namespace corvina::profiles
