// What each catalogue entry puts into the parameter boxes when it is selected: the items of
// each box, in order, and the item selected afterwards. The item texts are parsed later by
// the engine steps, so they are kept byte for byte (double and trailing blanks included).
#pragma once

#include "profiles/MainWindowBoxes.h"

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace corvina::profiles {

using std::string_view_literals::operator""sv;

// Lists shared by several entries.
inline constexpr std::array kSizesGeneral{
    "Original Video Size"sv, "128 x 96 (SQCIF)"sv, "160 x 120 (QVGA)"sv, "176 x 120"sv,
    "176 x 144 (QCIF)"sv,    "192 x 144"sv,        "208 x 176"sv,        "220 x 176"sv,
    "240 x 180"sv,           "320 x 200"sv,        "320 x 240 (VGA)"sv,  "352 x 240"sv,
    "352 x 288 (CIF)"sv,     "480 x 272"sv,        "480 x 360"sv,        "480 x 480"sv,
    "480 x 576"sv,           "624 x 352"sv,        "640 x 352"sv,        "640 x 480"sv,
    "704 x 576 (4CIF)"sv,    "720 x 480"sv,        "720 x 576"sv};
inline constexpr std::array kSizesFlash{
    "Original Video Size"sv, "128 x 96 (SQCIF)"sv, "160 x 120 (QVGA)"sv, "176 x 144 (QCIF)"sv,
    "320 x 240 (VGA)"sv,     "352 x 240"sv,        "352 x 288 (CIF)"sv,  "480 x 272"sv,
    "640 x 480"sv,           "704 x 576 (4CIF)"sv};
inline constexpr std::array kSizesDisc{"128 x 96 (SQCIF)"sv, "176 x 144 (QCIF)"sv, "352 x 240"sv,
                                       "352 x 288 (CIF)"sv,  "480 x 272"sv,        "480 x 480"sv,
                                       "640 x 480"sv,        "704 x 576 (4CIF)"sv};
inline constexpr std::array kSizesMobile{
    "128 x 96 (SQCIF)"sv, "160 x 120 (QVGA)"sv, "176 x 144 (QCIF)"sv, "208 x 176"sv,
    "220 x 176"sv,        "320 x 240 (VGA)"sv,  "352 x 288 (CIF)"sv};
inline constexpr std::array kSizesPlayer{"Auto"sv,      "160 x 120"sv, "320 x 240"sv,
                                         "480 x 272"sv, "720 x 480"sv, "640 x 480"sv};
inline constexpr std::array kVideoRatesGeneral{
    "192 Kbps"sv,  "200 Kbps"sv,  "216 Kbps"sv,  "384 Kbps"sv,  "512 Kbps"sv,
    "640 Kbps"sv,  "768 Kbps"sv,  "1000 Kbps"sv, "1200 Kbps"sv, "1500 Kbps"sv,
    "1600 Kbps"sv, "2000 Kbps"sv, "2500 Kbps"sv};
inline constexpr std::array kVideoRatesAvi{
    "192 Kbps"sv,  "200 Kbps"sv,  "216 Kbps"sv, "256 Kbps"sv, "384 Kbps"sv,
    "512 Kbps"sv,  "640 Kbps"sv,  "768 Kbps"sv, "800 Kbps"sv, "1000 Kbps"sv,
    "1200 Kbps"sv, "1500 Kbps"sv, "2500 Kbps"sv};
inline constexpr std::array kVideoRatesApple{"512 Kbps"sv, "800 Kbps"sv, "1200 Kbps"sv,
                                             "1500 Kbps"sv, "2500 Kbps"sv};
inline constexpr std::array kVideoRatesPlayer{"800 Kbps"sv, "1200 Kbps"sv, "1500 Kbps"sv,
                                              "2000 Kbps"sv, "2500 Kbps"sv};
inline constexpr std::array kFrameRatesGeneral{"Auto"sv,       "14.985 fps"sv, "15.0 fps"sv,
                                               "23.975 fps"sv, "25.0 fps"sv,   "29.97 fps"sv,
                                               "30.0 fps"sv};
inline constexpr std::array kFrameRatesDisc{"23.976 fps [NTSC]"sv, "24 fps"sv,   "25 fps [PAL]"sv,
                                            "29.97 fps [NTSC]"sv,  "30.0 fps"sv, "50 fps"sv,
                                            "59.94 fps"sv};
inline constexpr std::array kFrameRatesFlash{
    "Auto"sv,   "8 fps"sv,      "10 fps"sv,   "12 fps"sv,    "14.985 fps"sv, "15.0 fps"sv,
    "20 fps"sv, "23.975 fps"sv, "25.0 fps"sv, "29.97 fps"sv, "30.0 fps"sv,   "60 fps"sv};
inline constexpr std::array kAudioRatesGeneral{
    "32 Kbps"sv,  "40 Kbps"sv,  "48 Kbps"sv,  "64 Kbps"sv,  "80 Kbps"sv,  "96 Kbps"sv, "112 Kbps"sv,
    "128 Kbps"sv, "160 Kbps"sv, "192 Kbps"sv, "224 Kbps"sv, "256 Kbps"sv, "320 Kbps"sv};
inline constexpr std::array kAudioRatesAmr{"4750 bps"sv,  "5150 bps"sv, "5900 bps"sv,
                                           "6700 bps"sv,  "7400 bps"sv, "7950 bps"sv,
                                           "10200 bps"sv, "12200 bps"sv};
inline constexpr std::array kSampleRatesGeneral{"8000 Hz"sv,  "16000 Hz"sv, "22050 Hz"sv,
                                                "32000 Hz"sv, "44100 Hz"sv, "48000 Hz"sv,
                                                "54000 Hz"sv, "96000 Hz"sv};
// As the general list, with two blanks in the first item.
inline constexpr std::array kSampleRatesSpaced{"8000  Hz"sv, "16000 Hz"sv, "22050 Hz"sv,
                                               "32000 Hz"sv, "44100 Hz"sv, "48000 Hz"sv,
                                               "54000 Hz"sv, "96000 Hz"sv};

// What a fill does to one box.
enum class BoxAction {
    Untouched, // items and selection stay as the previous entry left them
    Emptied,   // no items, so the text is empty
    Filled,    // the listed items, then the default selected
};

inline constexpr std::size_t kMaxOwnItems = 8;

struct BoxFill {
    BoxAction Action = BoxAction::Untouched;
    std::span<const std::string_view> Shared;         // a shared list, or empty
    std::array<std::string_view, kMaxOwnItems> Own{}; // a list of this entry alone
    std::size_t OwnCount = 0;
    std::string_view Default; // the item selected after the fill

    std::span<const std::string_view> Items() const {
        return OwnCount > 0 ? std::span<const std::string_view>(Own.data(), OwnCount) : Shared;
    }
};

struct ProfileFill {
    int ProfileKind;
    BoxFill VideoCodec;
    BoxFill AudioCodec;
    BoxFill VideoBitrate;
    BoxFill VideoSize;
    BoxFill VideoFramerate;
    BoxFill AudioBitrate;
    BoxFill SamplingRate;
    std::string_view Channels; // item to select, or empty: untouched
    std::string_view Aspect;   // item to select, or empty: untouched
};

// One row per offered entry, in catalogue order.
std::span<const ProfileFill> ProfileFills();

// The row of a kind, or nullptr.
const ProfileFill* FindProfileFill(int profileKind);

// Replaces the parameter boxes' items and selections with those of the kind's row; a kind
// without a row changes nothing.
void FillProfileChoices(MainWindowBoxes& boxes, int profileKind);

} // namespace corvina::profiles
