// Quality presets: the five levels of the video and audio quality boxes pick bitrate items
// for the selected catalogue entry.
#pragma once

#include "profiles/MainWindowBoxes.h"

#include <array>
#include <span>
#include <string_view>

namespace corvina::profiles {

inline constexpr int kQualityLevels = 5; // "Highest", "Higher", "Normal", "Lower", "Lowest"

struct QualityPreset {
    std::string_view DisplayName;
    std::string_view Extension;
    // Decimal text per level, Highest first: video in Kbps; audio in Kbps, or in bps for the
    // AMR entries. Audio entries have "0" for video.
    std::array<std::string_view, kQualityLevels> Video;
    std::array<std::string_view, kQualityLevels> Audio;
    int ProfileKind;
};

// One row per offered entry, in catalogue order.
std::span<const QualityPreset> QualityPresets();

// Selects in ComboVideoBitrate and ComboAudioBitrate the items the levels of the quality
// boxes give for the selected entry. A value with no equal item leaves that box's selection.
void ApplyQualityPreset(MainWindowBoxes& boxes);

// The hints the quality boxes show when the pointer enters them: the bitrate they stand for.
void ShowVideoQualityHint(MainWindowBoxes& boxes);
void ShowAudioQualityHint(MainWindowBoxes& boxes);

} // namespace corvina::profiles
