#include "ProfilesTestSupport.h"

#include "profiles/EngineSteps.h"
#include "profiles/ProfileTables.h"
#include "profiles/QualityPresets.h"

#include <set>
#include <stdexcept>

namespace corvina::profiles {
namespace {

using test::Choose;
using test::StartBoxes;

const std::string kSep = "              -----------------------------------------";

TEST(Catalogue, HoldsFortySixItemsWithSeparatorsBetweenTheGroups) {
    ASSERT_EQ(kCatalogue.size(), 46u);
    EXPECT_EQ(kSep.size(), 55u);
    EXPECT_EQ(std::string(kSeparatorLine), kSep);
    std::vector<int> separators;
    for (int i = 0; i < 46; ++i)
        if (kCatalogue[i].DisplayName == kSep)
            separators.push_back(i);
    EXPECT_EQ(separators, (std::vector<int>{16, 24, 29, 37}));
    for (int i : separators) {
        EXPECT_EQ(kCatalogue[i].ProfileKind, -1);
        EXPECT_EQ(kCatalogue[i].Step, EngineStep::None);
        EXPECT_EQ(FindProfile(kSep), nullptr);
    }
}

TEST(Catalogue, EntriesAreByteExactWithExtensionKindAndStep) {
    struct Row {
        int pos;
        const char* name;
        const char* ext;
        int kind;
        EngineStep step;
    };
    const Row rows[] = {
        {0, "3GP - Mobile Video Format (*.3gp)", "3GP", 0, EngineStep::MobileAmr},
        {1, "3G2 - Mobile Video Format (*.3g2)", "3G2", 1, EngineStep::MobileAmr},
        {2, "ASF - Advance Streaming Format (*.asf)", "ASF", 38, EngineStep::Common},
        {9, "MPEG-1 Movie (*.mpg)", "MPG", 28, EngineStep::Common},
        {11, "RM - Real Video (*.rm)", "RM", 30, EngineStep::Common},
        {13, "Super Video CD (*.mpg)", "MPG", 35, EngineStep::Common},
        {14, "Video CD (*.mpg)", "MPG", 34, EngineStep::Common},
        {15, "WMV - Windows Media Video (*.wmv)", "WMV", 31, EngineStep::Common},
        {17, "AAC - Advance Audio Coding (*.aac)", "AAC", 37, EngineStep::Common},
        {20, "OGG - Ogg Vorbis Audio (*.ogg)", "OGG", 42, EngineStep::Common},
        {23, "WMA - Windows Media Audio (*.wma)", "WMA", 45, EngineStep::Common},
        {25, "iPhone (*.mp4)", "MP4", 18, EngineStep::Common},
        {26, "iPod (*.mp4)", "MP4", 3, EngineStep::Apple},
        {27, "iPod Touch (*.mp4)", "MP4", 13, EngineStep::Apple},
        {28, "Apple TV (*.mp4)", "MP4", 10, EngineStep::Apple},
        {30, "Archos AV500/GMini402 (*.avi)", "AVI", 63, EngineStep::Common},
        {34, "BlackBerry 3GP Video (*.3gp)", "3GP", 69, EngineStep::Common},
        {36, "iRiver PMP100 (*.avi)", "AVI", 66, EngineStep::Common},
        {38, "PSP Video (*.mp4)", "MP4", 53, EngineStep::Common},
        {41, "Xbox360 WMV Video (*.wmv)", "WMV", 72, EngineStep::Common},
        {43, "Xbox360 MPEG2 Video (*.mpg)", "MPG", 74, EngineStep::Common},
        {44, "Zune Mpeg4 Video (*.mp4)", "MP4", 49, EngineStep::Common},
        {45, "Zune WMV Windows Media Video (*.wmv)", "WMV", 50, EngineStep::Common},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const OutputProfile& e = kCatalogue[r.pos];
        EXPECT_EQ(e.DisplayName, r.name);
        EXPECT_EQ(e.Extension, r.ext);
        EXPECT_EQ(e.ProfileKind, r.kind);
        EXPECT_EQ(e.Step, r.step);
        EXPECT_EQ(FindProfile(r.name), &e);
    }
}

TEST(Catalogue, NamesAndKindsAreUniqueAndOnlyTheSevenAudioEntriesAreAudioOnly) {
    std::set<std::string_view> names;
    std::set<int> kinds;
    std::vector<int> audioOnly;
    int entries = 0;
    for (int i = 0; i < 46; ++i) {
        const OutputProfile& e = kCatalogue[i];
        if (e.ProfileKind < 0)
            continue;
        ++entries;
        EXPECT_TRUE(names.insert(e.DisplayName).second) << e.DisplayName;
        EXPECT_TRUE(kinds.insert(e.ProfileKind).second) << e.DisplayName;
        EXPECT_GE(e.Extension.size(), 2u);
        EXPECT_LE(e.Extension.size(), 3u);
        for (char c : e.Extension)
            EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) << e.Extension;
        if (e.WindowAudioOnly)
            audioOnly.push_back(i);
    }
    EXPECT_EQ(entries, 42);
    EXPECT_EQ(audioOnly, (std::vector<int>{17, 18, 19, 20, 21, 22, 23}));
}

TEST(Catalogue, EveryEntryHasAFillRowAndAPresetRowInCatalogueOrder) {
    auto presets = QualityPresets();
    ASSERT_EQ(presets.size(), 42u);
    ASSERT_EQ(ProfileFills().size(), 42u);
    std::size_t row = 0;
    for (const OutputProfile& e : kCatalogue) {
        if (e.ProfileKind < 0)
            continue;
        SCOPED_TRACE(e.DisplayName);
        EXPECT_NE(FindProfileFill(e.ProfileKind), nullptr);
        EXPECT_EQ(ProfileFills()[row].ProfileKind, e.ProfileKind);
        EXPECT_EQ(presets[row].DisplayName, e.DisplayName);
        EXPECT_EQ(presets[row].Extension, e.Extension);
        EXPECT_EQ(presets[row].ProfileKind, e.ProfileKind);
        ++row;
    }
}

TEST(OutputFormatList, FillAddsAllItemsAndSelectsTheFirst) {
    MainWindowBoxes boxes;
    boxes.ComboOutputFormat.Add("stale");
    FillOutputFormatList(boxes);
    ASSERT_EQ(boxes.ComboOutputFormat.Count(), 46);
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 46);
    EXPECT_EQ(boxes.ComboOutputFormat.ItemIndex(), 0);
    EXPECT_EQ(boxes.ComboOutputFormat.Text(), "3GP - Mobile Video Format (*.3gp)");
    EXPECT_EQ(boxes.ComboOutputFormat.Items()[24], kSep);
    EXPECT_EQ(boxes.ComboOutputFormat.Items()[45], "Zune WMV Windows Media Video (*.wmv)");
}

TEST(SelectOutputFormat, RunsTheSteps) {
    MainWindowBoxes boxes = StartBoxes();
    std::vector<std::string> written;
    FormatChangeHooks hooks{[&](const std::string& ext) { written.push_back(ext); },
                            [] { return 12; }};
    boxes.ComboOutputFormat.Select(8);
    SelectOutputFormat(boxes, hooks);
    EXPECT_EQ(boxes.OutputExtension, "MP4");
    EXPECT_EQ(boxes.ComboVideoCodec.Text(), "MPEG4");
    EXPECT_EQ(written, std::vector<std::string>{"MP4"});
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 12);
    EXPECT_EQ(boxes.LastFormatIndex, 8);
}

TEST(SelectOutputFormat, SeparatorPutsTheLastEntryBackAndChangesNothingElse) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "WMV - Windows Media Video (*.wmv)");
    ASSERT_EQ(boxes.LastFormatIndex, 15);
    boxes.ComboVideoSize.Select(0); // a user's own choice must survive
    int writes = 0;
    FormatChangeHooks hooks{[&](const std::string&) { ++writes; }, [] { return 7; }};
    for (int sep : {16, 24, 29, 37}) {
        boxes.ComboOutputFormat.Select(sep);
        SelectOutputFormat(boxes, hooks);
        EXPECT_EQ(boxes.ComboOutputFormat.ItemIndex(), 15);
        EXPECT_EQ(boxes.LastFormatIndex, 15);
        EXPECT_EQ(boxes.ComboVideoSize.Text(), "Original Video Size");
    }
    EXPECT_EQ(writes, 0);
    EXPECT_NE(boxes.ComboOutputFormat.dropDownCount, 7);
}

TEST(SelectOutputFormat, DropDownCountFallsBackTo25WhenTheSettingCannotBeRead) {
    MainWindowBoxes boxes = StartBoxes();
    FormatChangeHooks hooks{nullptr, []() -> int { throw std::runtime_error("no dialog"); }};
    SelectOutputFormat(boxes, hooks);
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 25);
    boxes.ComboOutputFormat.dropDownCount = 3;
    SelectOutputFormat(boxes); // no hooks at all
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 25);
}

TEST(SelectOutputFormat, UnknownTextLeavesExtensionAndBoxesButStillWritesTheRows) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "AVI - DivX Video (*.avi)");
    boxes.ComboOutputFormat.Select(-1);
    std::vector<std::string> written;
    SelectOutputFormat(boxes, {[&](const std::string& ext) { written.push_back(ext); }, {}});
    EXPECT_EQ(boxes.OutputExtension, "AVI");
    EXPECT_EQ(boxes.ComboAudioCodec.Text(), "mp3");
    EXPECT_EQ(written, std::vector<std::string>{"AVI"});
    EXPECT_EQ(boxes.LastFormatIndex, -1);

    hosting::TOutputOptions options;
    ApplyProfileOptions(boxes, 0, options);
    EXPECT_TRUE(options.AudioCodec.empty());
    EXPECT_EQ(options.AudioBitrate, -1);
}

TEST(VideoControls, AudioEntriesByNameDisableTheThreeVideoBoxes) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "OGG - Ogg Vorbis Audio (*.ogg)");
    EXPECT_FALSE(boxes.ComboVideoQuality.enabled);
    EXPECT_FALSE(boxes.ComboVideoSize.enabled);
    EXPECT_FALSE(boxes.ComboVideoFramerate.enabled);
    EXPECT_TRUE(boxes.ComboVideoCodec.enabled);
    EXPECT_TRUE(boxes.ComboVideoBitrate.enabled);

    // ASF drops video in the engine step but its window keeps the video controls.
    Choose(boxes, "ASF - Advance Streaming Format (*.asf)");
    EXPECT_TRUE(boxes.ComboVideoQuality.enabled);
    EXPECT_TRUE(boxes.ComboVideoSize.enabled);
    EXPECT_TRUE(boxes.ComboVideoFramerate.enabled);
}

TEST(ConversionControls, LockEverythingAndUnlockWithTheAudioRule) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "MP3 - Mpeg Layer3 Audio (*.mp3)");
    DisableConversionControls(boxes);
    const std::vector<const ChoiceBox*> combos = {
        &boxes.ComboOutputFormat,   &boxes.ComboVideoSize,    &boxes.ComboVideoBitrate,
        &boxes.ComboVideoFramerate, &boxes.ComboAudioBitrate, &boxes.ComboAudioChannels,
        &boxes.ComboVideoCodec,     &boxes.ComboSamplingRate, &boxes.ComboAudioCodec,
        &boxes.ComboAspectRatio,    &boxes.ComboLetterBox,    &boxes.ComboVideoQuality,
        &boxes.ComboAudioQuality};
    const std::vector<const ControlState*> others = {&boxes.ButtonAddFile, &boxes.ButtonClear,
                                                     &boxes.ButtonRemove, &boxes.ButtonConvert,
                                                     &boxes.TrackBar1};
    for (const ChoiceBox* c : combos)
        EXPECT_FALSE(c->enabled);
    for (const ControlState* c : others)
        EXPECT_FALSE(c->enabled);
    EXPECT_FALSE(boxes.FileListPopupAuto);
    EXPECT_FALSE(boxes.MainMenuEnabled);

    EnableConversionControls(boxes);
    for (const ChoiceBox* c : combos) {
        const bool video = c == &boxes.ComboVideoQuality || c == &boxes.ComboVideoSize ||
                           c == &boxes.ComboVideoFramerate;
        EXPECT_EQ(c->enabled, !video);
    }
    for (const ControlState* c : others)
        EXPECT_TRUE(c->enabled);
    EXPECT_TRUE(boxes.FileListPopupAuto);
    EXPECT_TRUE(boxes.MainMenuEnabled);
}

TEST(OpenFilter, IsExact) {
    EXPECT_EQ(BuildOpenFilter(),
              "All Supported Files|*.mov;*.qt;*.m4v;*.mp4;*.m4a|QuickTime Files (*.mov, *.qt, "
              "*.m4v)|*.mov; *.qt; *.m4v|MPEG-4 Audio Files (*.m4a, *.mp4)|*.m4a; *.mp4|");
}

} // namespace
} // namespace corvina::profiles
