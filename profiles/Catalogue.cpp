#include "profiles/Catalogue.h"

#include "profiles/EngineSteps.h"
#include "profiles/ProfileTables.h"

namespace corvina::profiles {

namespace {

using enum EngineStep;

constexpr OutputProfile kSeparator{kSeparatorLine, "", -1, false, None};

// Rows the open list shows when the options dialog's count cannot be read.
constexpr int kFallbackDropDownCount = 25;

} // namespace

// "iPod Touch (*.mp4)" (kind 13) uses the Apple step, like "iPod (*.mp4)": its fill leaves
// the channel box alone, as iPod's does, so the step must not take a channel count that the
// previously selected entry left there; the source's channel layout is kept instead. For
// its choice lists codec, size, bitrate and sampling rate come out the same either way.
const std::array<OutputProfile, kCatalogueItemCount> kCatalogue{{
    {"3GP - Mobile Video Format (*.3gp)", "3GP", 0, false, MobileAmr},
    {"3G2 - Mobile Video Format (*.3g2)", "3G2", 1, false, MobileAmr},
    {"ASF - Advance Streaming Format (*.asf)", "ASF", 38, false, Common},
    {"AVI - Audio Video Interleave (*.avi)", "AVI", 22, false, Common},
    {"AVI - DivX Video (*.avi)", "AVI", 23, false, Common},
    {"AVI - XviD Video (*.avi)", "AVI", 24, false, Common},
    {"FLV - Flash Flv Video (*.flv)", "FLV", 33, false, Common},
    {"MOV - QuickTime Video (*.mov)", "MOV", 26, false, Common},
    {"MP4 - MPEG4 Video (*.mp4)", "MP4", 27, false, Common},
    {"MPEG-1 Movie (*.mpg)", "MPG", 28, false, Common},
    {"MPEG-2 Movie (*.mpg)", "MPG", 29, false, Common},
    {"RM - Real Video (*.rm)", "RM", 30, false, Common},
    {"SWF - Flash Swf Video (*.swf)", "SWF", 32, false, Common},
    {"Super Video CD (*.mpg)", "MPG", 35, false, Common},
    {"Video CD (*.mpg)", "MPG", 34, false, Common},
    {"WMV - Windows Media Video (*.wmv)", "WMV", 31, false, Common},
    kSeparator,
    {"AAC - Advance Audio Coding (*.aac)", "AAC", 37, true, Common},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A", 40, true, Common},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", 41, true, Common},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG", 42, true, Common},
    {"RA - Real Audio (*.ra)", "RA", 43, true, Common},
    {"WAV - Waveform Audio (*.wav)", "WAV", 44, true, Common},
    {"WMA - Windows Media Audio (*.wma)", "WMA", 45, true, Common},
    kSeparator,
    {"iPhone (*.mp4)", "MP4", 18, false, Common},
    {"iPod (*.mp4)", "MP4", 3, false, Apple},
    {"iPod Touch (*.mp4)", "MP4", 13, false, Apple},
    {"Apple TV (*.mp4)", "MP4", 10, false, Apple},
    kSeparator,
    {"Archos AV500/GMini402 (*.avi)", "AVI", 63, false, Common},
    {"Archos AV700 (*.avi)", "AVI", 64, false, Common},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MP4", 67, false, Common},
    {"BlackBerry AVI Video (*.avi)", "AVI", 68, false, Common},
    {"BlackBerry 3GP Video (*.3gp)", "3GP", 69, false, Common},
    {"Creative Zen Vision (*.avi)", "AVI", 65, false, Common},
    {"iRiver PMP100 (*.avi)", "AVI", 66, false, Common},
    kSeparator,
    {"PSP Video (*.mp4)", "MP4", 53, false, Common},
    {"PS3 Video (*.mp4)", "MP4", 58, false, Common},
    {"Xbox360 MPEG4 Video (*.mp4)", "MP4", 71, false, Common},
    {"Xbox360 WMV Video (*.wmv)", "WMV", 72, false, Common},
    {"Xbox360 AVI Video (*.avi)", "AVI", 73, false, Common},
    {"Xbox360 MPEG2 Video (*.mpg)", "MPG", 74, false, Common},
    {"Zune Mpeg4 Video (*.mp4)", "MP4", 49, false, Common},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV", 50, false, Common},
}};

const OutputProfile* FindProfile(std::string_view text) {
    for (const OutputProfile& entry : kCatalogue)
        if (entry.ProfileKind >= 0 && entry.DisplayName == text)
            return &entry;
    return nullptr;
}

void FillOutputFormatList(MainWindowBoxes& boxes) {
    ChoiceBox& list = boxes.ComboOutputFormat;
    list.Clear();
    for (const OutputProfile& entry : kCatalogue)
        list.Add(entry.DisplayName);
    list.dropDownCount = list.Count();
    list.Select(0);
}

void ApplyDropDownCount(MainWindowBoxes& boxes, const std::function<int()>& dropDownCount) {
    int count = kFallbackDropDownCount;
    if (dropDownCount) {
        try {
            count = dropDownCount();
        } catch (...) {
            // An unreadable setting is not worth a message: the list still opens.
            count = kFallbackDropDownCount;
        }
    }
    boxes.ComboOutputFormat.dropDownCount = count;
}

void SelectOutputFormat(MainWindowBoxes& boxes, const FormatChangeHooks& hooks) {
    // The separator lines are not choices: put the last real selection back.
    if (boxes.ComboOutputFormat.Text().find("              ----") != std::string::npos) {
        boxes.ComboOutputFormat.Select(boxes.LastFormatIndex);
        return;
    }
    // Every entry is compared (names are unique, so at most one acts), reading the text
    // afresh each time.
    for (const OutputProfile& entry : kCatalogue) {
        if (entry.ProfileKind < 0 || boxes.ComboOutputFormat.Text() != entry.DisplayName)
            continue;
        boxes.OutputExtension = std::string(entry.Extension);
        FillProfileChoices(boxes, entry.ProfileKind);
    }
    if (hooks.WriteOutputColumn)
        hooks.WriteOutputColumn(boxes.OutputExtension);
    ApplyDropDownCount(boxes, hooks.DropDownCount);
    boxes.LastFormatIndex = boxes.ComboOutputFormat.ItemIndex();
    UpdateVideoControls(boxes);
}

void UpdateVideoControls(MainWindowBoxes& boxes) {
    const OutputProfile* entry = FindProfile(boxes.ComboOutputFormat.Text());
    const bool enable = entry == nullptr || !entry->WindowAudioOnly;
    boxes.ComboVideoQuality.enabled = enable;
    boxes.ComboVideoSize.enabled = enable;
    boxes.ComboVideoFramerate.enabled = enable;
}

namespace {

// The controls a batch locks, in the order they are switched.
std::array<bool*, 18> LockedControls(MainWindowBoxes& b) {
    return {&b.ButtonAddFile.enabled,     &b.ButtonClear.enabled,
            &b.ButtonRemove.enabled,      &b.ButtonConvert.enabled,
            &b.ComboOutputFormat.enabled, &b.ComboVideoSize.enabled,
            &b.ComboVideoBitrate.enabled, &b.ComboVideoFramerate.enabled,
            &b.ComboAudioBitrate.enabled, &b.ComboAudioChannels.enabled,
            &b.ComboVideoCodec.enabled,   &b.ComboSamplingRate.enabled,
            &b.ComboAudioCodec.enabled,   &b.TrackBar1.enabled,
            &b.ComboAspectRatio.enabled,  &b.ComboLetterBox.enabled,
            &b.ComboVideoQuality.enabled, &b.ComboAudioQuality.enabled};
}

void SetConversionControls(MainWindowBoxes& boxes, bool enabled) {
    for (bool* control : LockedControls(boxes))
        *control = enabled;
    boxes.FileListPopupAuto = enabled;
    boxes.MainMenuEnabled = enabled;
}

} // namespace

void DisableConversionControls(MainWindowBoxes& boxes) {
    SetConversionControls(boxes, false);
}

void EnableConversionControls(MainWindowBoxes& boxes) {
    SetConversionControls(boxes, true);
    // An audio entry's video controls must end disabled again.
    UpdateVideoControls(boxes);
}

void ApplyProfileOptions(const MainWindowBoxes& boxes, int /*rowIndex*/,
                         hosting::TOutputOptions& options) {
    using StepFn = void (*)(const MainWindowBoxes&, hosting::TOutputOptions&);
    struct StepRow {
        EngineStep step;
        StepFn run;
    };
    static constexpr StepRow kSteps[] = {
        {Common, ApplyCommonOptions},
        {MobileAmr, ApplyMobileAmrOptions},
        {Apple, ApplyAppleOptions},
    };
    for (const OutputProfile& entry : kCatalogue) {
        if (entry.ProfileKind < 0 || boxes.ComboOutputFormat.Text() != entry.DisplayName)
            continue;
        for (const StepRow& row : kSteps)
            if (row.step == entry.Step)
                row.run(boxes, options);
    }
}

std::string BuildOpenFilter() {
    return "All Supported Files|*.mov;*.qt;*.m4v;*.mp4;*.m4a|"
           "QuickTime Files (*.mov, *.qt, *.m4v)|*.mov; *.qt; *.m4v|"
           "MPEG-4 Audio Files (*.m4a, *.mp4)|*.m4a; *.mp4|";
}

} // namespace corvina::profiles
