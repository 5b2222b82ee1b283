#include "ProfilesTestSupport.h"

#include "profiles/ProfileTables.h"
#include "profiles/QualityPresets.h"

#include <set>
#include <stdexcept>

namespace corvina::profiles {
namespace {

using test::Choose;
using test::StartBoxes;

enum Level { Highest, Higher, Normal, Lower, Lowest };

void SetLevels(MainWindowBoxes& boxes, int video, int audio) {
    boxes.ComboVideoQuality.Select(video);
    boxes.ComboAudioQuality.Select(audio);
    ApplyQualityPreset(boxes);
}

TEST(QualityPresets, RowsSpotChecks) {
    auto rows = QualityPresets();
    auto row = [&](std::string_view name) -> const QualityPreset& {
        for (const QualityPreset& r : rows)
            if (r.DisplayName == name)
                return r;
        throw std::logic_error("no row");
    };
    const QualityPreset& flv = row("FLV - Flash Flv Video (*.flv)");
    EXPECT_EQ(flv.Video, (std::array<std::string_view, 5>{"1200", "512", "368", "200", "120"}));
    EXPECT_EQ(flv.Audio, (std::array<std::string_view, 5>{"160", "128", "96", "64", "48"}));
    const QualityPreset& bb = row("BlackBerry MPEG-4 Video (*.mp4)");
    EXPECT_EQ(bb.Audio, (std::array<std::string_view, 5>{"112", "96", "80", "64", "40"}));
    const QualityPreset& atv = row("Apple TV (*.mp4)");
    EXPECT_EQ(atv.Audio, (std::array<std::string_view, 5>{"256", "128", "64", "48", "32"}));
    const QualityPreset& zune = row("Zune Mpeg4 Video (*.mp4)");
    EXPECT_EQ(zune.Video, (std::array<std::string_view, 5>{"2000", "1500", "768", "512", "256"}));
    EXPECT_EQ(row("OGG - Ogg Vorbis Audio (*.ogg)").Video[0], "0");
    EXPECT_EQ(row("OGG - Ogg Vorbis Audio (*.ogg)").Audio[2], "160");
}

// Every preset value names an item of its entry's lists, except the few the tables mark:
// RM's lower video levels, iPod's two lowest, and the audio entries' video "0".
TEST(QualityPresets, ValuesMatchTheEntriesListsExceptTheKnownGaps) {
    const std::set<std::pair<std::string, int>> videoGaps = {
        {"RM - Real Video (*.rm)", 1}, {"RM - Real Video (*.rm)", 2}, {"RM - Real Video (*.rm)", 3},
        {"RM - Real Video (*.rm)", 4}, {"iPod (*.mp4)", 3},           {"iPod (*.mp4)", 4}};
    for (const QualityPreset& row : QualityPresets()) {
        SCOPED_TRACE(std::string(row.DisplayName));
        MainWindowBoxes boxes = StartBoxes();
        Choose(boxes, row.DisplayName);
        const bool audioOnly = boxes.ComboVideoCodec.Count() == 0;
        const bool bps = boxes.ComboAudioBitrate.Text().find("Kbps") == std::string::npos;
        for (int level = 0; level < 5; ++level) {
            const bool videoFound =
                boxes.ComboVideoBitrate.IndexOf(std::string(row.Video[level]) + " Kbps") >= 0;
            const bool gap = audioOnly || videoGaps.count({std::string(row.DisplayName), level});
            EXPECT_EQ(videoFound, !gap) << "video level " << level;
            EXPECT_GE(boxes.ComboAudioBitrate.IndexOf(std::string(row.Audio[level]) +
                                                      (bps ? " bps" : " Kbps")),
                      0)
                << "audio level " << level;
        }
    }
}

TEST(QualityPresets, HighestVideoOnMp4AlsoAppliesTheAudioLevel) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "MP4 - MPEG4 Video (*.mp4)");
    SetLevels(boxes, Highest, Lower);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "2500 Kbps");
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "80 Kbps");
    SetLevels(boxes, Lowest, Highest);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "512 Kbps");
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "256 Kbps");
}

TEST(QualityPresets, SelectingAnEntryShowsItsDefaultsUntilALevelChanges) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "iPod (*.mp4)");
    ApplyQualityPreset(boxes); // as at window show, both levels Normal
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "128 Kbps");
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "512 Kbps");
    Choose(boxes, "MP4 - MPEG4 Video (*.mp4)");
    Choose(boxes, "iPod (*.mp4)");
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "64 Kbps");
}

TEST(QualityPresets, ValuesWithoutAnItemLeaveTheSelection) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "RM - Real Video (*.rm)");
    for (int level : {Higher, Normal, Lower, Lowest}) {
        SetLevels(boxes, level, Normal);
        EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "384  Kbps") << level;
    }
    SetLevels(boxes, Highest, Normal);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "1200 Kbps");
    SetLevels(boxes, Lowest, Normal);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "1200 Kbps");

    Choose(boxes, "iPod (*.mp4)");
    SetLevels(boxes, Higher, Normal);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "800 Kbps");
    SetLevels(boxes, Lower, Normal);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "800 Kbps");
    SetLevels(boxes, Lowest, Normal);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "800 Kbps");
}

TEST(QualityPresets, AmrEntriesSelectItemsInBitsPerSecond) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "3GP - Mobile Video Format (*.3gp)");
    SetLevels(boxes, Normal, Highest);
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "12200 bps");
    Choose(boxes, "BlackBerry 3GP Video (*.3gp)");
    SetLevels(boxes, Lowest, Higher);
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "7950 bps");
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "40 Kbps");
}

TEST(QualityPresets, AudioEntryVideoLevelChangesNothing) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "OGG - Ogg Vorbis Audio (*.ogg)");
    SetLevels(boxes, Highest, Normal);
    EXPECT_EQ(boxes.ComboVideoBitrate.Count(), 0);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "");
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "160 Kbps");
}

TEST(QualityPresets, NoRowForTheTextChangesNothing) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "MP4 - MPEG4 Video (*.mp4)");
    boxes.ComboOutputFormat.Select(16); // a separator line has no preset row
    SetLevels(boxes, Highest, Highest);
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "1200 Kbps");
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "128 Kbps");
}

TEST(QualityPresets, HintsShowTheCurrentBitrates) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "MOV - QuickTime Video (*.mov)");
    ShowAudioQualityHint(boxes);
    ShowVideoQualityHint(boxes);
    EXPECT_EQ(boxes.ComboAudioQuality.hint, "128 Kbps");
    EXPECT_EQ(boxes.ComboVideoQuality.hint, "1200 Kbps");
}

} // namespace
} // namespace corvina::profiles
