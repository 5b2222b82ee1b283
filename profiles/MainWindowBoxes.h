// The main window's state that the profile routines read and write: the output-format
// list, the parameter boxes holding the current profile settings (most of them hidden),
// the quality boxes, the selected entry's extension, and the enabled state of the controls
// that a running batch locks. The window and the headless front end own one of these.
#pragma once

#include "profiles/ChoiceBox.h"

#include <string>

namespace corvina::profiles {

// A control the profile routines only switch on and off.
struct ControlState {
    bool enabled = true;
};

struct MainWindowBoxes {
    ChoiceBox ComboOutputFormat;

    // Parameter boxes, filled by the profile fill routines.
    ChoiceBox ComboVideoCodec;
    ChoiceBox ComboAudioCodec;
    ChoiceBox ComboVideoBitrate;
    ChoiceBox ComboVideoSize;
    ChoiceBox ComboVideoFramerate;
    ChoiceBox ComboAudioBitrate;
    ChoiceBox ComboSamplingRate;
    // Fixed items; a fill may only move the selection. These are the window's first-start
    // contents, byte for byte ("4:3 (Standard" has no closing parenthesis).
    ChoiceBox ComboAudioChannels = ChoiceBox::WithItems({"Stereo", "Mono"}, 0);
    ChoiceBox ComboAspectRatio =
        ChoiceBox::WithItems({"Original", "4:3 (Standard", "16:9 (Wide Screen)"}, 0);
    ChoiceBox ComboLetterBox = ChoiceBox::WithItems({"None", "LetterBox"}, 0);

    // Quality levels; they pick bitrates through the preset table.
    ChoiceBox ComboVideoQuality =
        ChoiceBox::WithItems({"Highest", "Higher", "Normal", "Lower", "Lowest"}, 2);
    ChoiceBox ComboAudioQuality =
        ChoiceBox::WithItems({"Highest", "Higher", "Normal", "Lower", "Lowest"}, 2);

    // Extension of the entry last selected, upper case as the catalogue stores it.
    std::string OutputExtension;
    // The last selection of ComboOutputFormat that was not a separator line.
    int LastFormatIndex = 0;

    // Controls locked while a batch runs.
    ControlState ButtonAddFile;
    ControlState ButtonClear;
    ControlState ButtonRemove;
    ControlState ButtonConvert;
    ControlState TrackBar1;
    bool FileListPopupAuto = true; // the file list's context menu opens on right-click
    bool MainMenuEnabled = true;   // the top-level items of the main menu
};

} // namespace corvina::profiles
