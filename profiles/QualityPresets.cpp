#include "profiles/QualityPresets.h"

#include <string>

namespace corvina::profiles {

namespace {

constexpr std::array<std::string_view, kQualityLevels> kNoVideo{"0", "0", "0", "0", "0"};

constexpr QualityPreset kPresets[] = {
    {"3GP - Mobile Video Format (*.3gp)",
     "3GP",
     {"512", "256", "128", "96", "64"},
     {"12200", "7950", "7400", "6700", "4750"},
     0},
    {"3G2 - Mobile Video Format (*.3g2)",
     "3G2",
     {"512", "256", "128", "96", "64"},
     {"12200", "7950", "7400", "6700", "4750"},
     1},
    {"ASF - Advance Streaming Format (*.asf)",
     "ASF",
     {"2000", "1500", "1200", "768", "512"},
     {"320", "192", "128", "64", "32"},
     38},
    {"AVI - Audio Video Interleave (*.avi)",
     "AVI",
     {"2500", "1500", "1200", "512", "256"},
     {"320", "192", "128", "64", "48"},
     22},
    {"AVI - DivX Video (*.avi)",
     "AVI",
     {"2500", "1500", "1200", "512", "256"},
     {"320", "192", "128", "64", "48"},
     23},
    {"AVI - XviD Video (*.avi)",
     "AVI",
     {"2500", "1500", "1200", "512", "256"},
     {"320", "192", "128", "64", "48"},
     24},
    {"FLV - Flash Flv Video (*.flv)",
     "FLV",
     {"1200", "512", "368", "200", "120"},
     {"160", "128", "96", "64", "48"},
     33},
    {"MOV - QuickTime Video (*.mov)",
     "MOV",
     {"2500", "2000", "1200", "768", "512"},
     {"256", "192", "128", "80", "64"},
     26},
    {"MP4 - MPEG4 Video (*.mp4)",
     "MP4",
     {"2500", "1500", "1200", "768", "512"},
     {"256", "192", "128", "80", "64"},
     27},
    {"MPEG-1 Movie (*.mpg)",
     "MPG",
     {"2000", "1600", "1200", "1000", "768"},
     {"224", "192", "128", "80", "64"},
     28},
    {"MPEG-2 Movie (*.mpg)",
     "MPG",
     {"2000", "1600", "1200", "1000", "768"},
     {"224", "192", "128", "80", "64"},
     29},
    {"RM - Real Video (*.rm)",
     "RM",
     {"1200", "512", "384", "256", "128"},
     {"160", "128", "96", "64", "48"},
     30},
    {"SWF - Flash Swf Video (*.swf)",
     "SWF",
     {"800", "400", "200", "128", "100"},
     {"160", "128", "96", "64", "48"},
     32},
    {"Super Video CD (*.mpg)",
     "MPG",
     {"2040", "2040", "2040", "2040", "2040"},
     {"320", "224", "192", "128", "48"},
     35},
    {"Video CD (*.mpg)",
     "MPG",
     {"1150", "1150", "1150", "1150", "1150"},
     {"320", "224", "192", "128", "48"},
     34},
    {"WMV - Windows Media Video (*.wmv)",
     "WMV",
     {"2500", "2000", "1500", "1200", "768"},
     {"256", "192", "128", "80", "48"},
     31},
    {"AAC - Advance Audio Coding (*.aac)", "AAC", kNoVideo, {"256", "192", "128", "96", "48"}, 37},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A", kNoVideo, {"256", "192", "128", "80", "64"}, 40},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", kNoVideo, {"256", "192", "128", "80", "64"}, 41},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG", kNoVideo, {"256", "192", "160", "80", "64"}, 42},
    {"RA - Real Audio (*.ra)", "RA", kNoVideo, {"192", "160", "128", "64", "48"}, 43},
    {"WAV - Waveform Audio (*.wav)", "WAV", kNoVideo, {"256", "192", "128", "80", "64"}, 44},
    {"WMA - Windows Media Audio (*.wma)", "WMA", kNoVideo, {"256", "192", "128", "64", "48"}, 45},
    {"iPhone (*.mp4)",
     "MP4",
     {"2500", "1500", "1200", "800", "512"},
     {"256", "192", "128", "80", "64"},
     18},
    {"iPod (*.mp4)",
     "MP4",
     {"1200", "800", "512", "256", "128"},
     {"320", "192", "128", "96", "64"},
     3},
    {"iPod Touch (*.mp4)",
     "MP4",
     {"2500", "1500", "1200", "800", "512"},
     {"256", "192", "128", "80", "64"},
     13},
    {"Apple TV (*.mp4)",
     "MP4",
     {"2500", "1500", "1200", "800", "512"},
     {"256", "128", "64", "48", "32"},
     10},
    {"Archos AV500/GMini402 (*.avi)",
     "AVI",
     {"2500", "2000", "1500", "1200", "800"},
     {"320", "192", "128", "64", "32"},
     63},
    {"Archos AV700 (*.avi)",
     "AVI",
     {"2500", "2000", "1500", "1200", "800"},
     {"320", "192", "128", "64", "32"},
     64},
    {"BlackBerry MPEG-4 Video (*.mp4)",
     "MP4",
     {"512", "300", "256", "128", "80"},
     {"112", "96", "80", "64", "40"},
     67},
    {"BlackBerry AVI Video (*.avi)",
     "AVI",
     {"512", "300", "200", "120", "80"},
     {"256", "192", "80", "64", "48"},
     68},
    {"BlackBerry 3GP Video (*.3gp)",
     "3GP",
     {"512", "256", "120", "80", "40"},
     {"12200", "7950", "7400", "6700", "4750"},
     69},
    {"Creative Zen Vision (*.avi)",
     "AVI",
     {"2500", "2000", "1500", "1200", "800"},
     {"320", "192", "128", "64", "32"},
     65},
    {"iRiver PMP100 (*.avi)",
     "AVI",
     {"2500", "2000", "1500", "1200", "800"},
     {"320", "192", "128", "64", "32"},
     66},
    {"PSP Video (*.mp4)",
     "MP4",
     {"768", "512", "384", "216", "128"},
     {"160", "128", "96", "64", "48"},
     53},
    {"PS3 Video (*.mp4)",
     "MP4",
     {"3000", "2500", "2000", "1500", "1200"},
     {"256", "192", "128", "80", "64"},
     58},
    {"Xbox360 MPEG4 Video (*.mp4)",
     "MP4",
     {"2500", "1500", "1200", "768", "512"},
     {"256", "192", "128", "80", "64"},
     71},
    {"Xbox360 WMV Video (*.wmv)",
     "WMV",
     {"2500", "2000", "1500", "1200", "768"},
     {"256", "192", "128", "80", "48"},
     72},
    {"Xbox360 AVI Video (*.avi)",
     "AVI",
     {"2500", "1500", "1200", "512", "256"},
     {"320", "192", "128", "64", "48"},
     73},
    {"Xbox360 MPEG2 Video (*.mpg)",
     "MPG",
     {"2000", "1600", "1200", "1000", "768"},
     {"224", "192", "128", "80", "64"},
     74},
    {"Zune Mpeg4 Video (*.mp4)",
     "MP4",
     {"2000", "1500", "768", "512", "256"},
     {"256", "192", "128", "80", "64"},
     49},
    {"Zune WMV Windows Media Video (*.wmv)",
     "WMV",
     {"2000", "1500", "1200", "768", "256"},
     {"256", "192", "128", "80", "48"},
     50},
};

// The level's value of a row; a box without a selected level gives no value.
std::string_view LevelValue(const std::array<std::string_view, kQualityLevels>& values,
                            const ChoiceBox& level) {
    const int index = level.ItemIndex();
    return index >= 0 && index < kQualityLevels ? values[static_cast<std::size_t>(index)]
                                                : std::string_view{};
}

} // namespace

std::span<const QualityPreset> QualityPresets() {
    return kPresets;
}

void ApplyQualityPreset(MainWindowBoxes& boxes) {
    const std::string format = boxes.ComboOutputFormat.Text();
    const QualityPreset* row = nullptr;
    for (const QualityPreset& preset : kPresets) {
        if (preset.DisplayName == format) {
            row = &preset;
            break;
        }
    }
    if (row == nullptr)
        return;

    if (std::string_view video = LevelValue(row->Video, boxes.ComboVideoQuality); !video.empty())
        boxes.ComboVideoBitrate.SelectText(std::string(video) + " Kbps");

    if (std::string_view audio = LevelValue(row->Audio, boxes.ComboAudioQuality); !audio.empty()) {
        // The unit follows the items the box holds: the AMR lists are in bits per second.
        const bool kbps = boxes.ComboAudioBitrate.Text().find("Kbps") != std::string::npos;
        boxes.ComboAudioBitrate.SelectText(std::string(audio) + (kbps ? " Kbps" : " bps"));
    }
}

void ShowVideoQualityHint(MainWindowBoxes& boxes) {
    boxes.ComboVideoQuality.hint = boxes.ComboVideoBitrate.Text();
}

void ShowAudioQualityHint(MainWindowBoxes& boxes) {
    boxes.ComboAudioQuality.hint = boxes.ComboAudioBitrate.Text();
}

} // namespace corvina::profiles
