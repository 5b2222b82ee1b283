// Recordings stored turned, as phones store portrait video (a display matrix of 90, 180 or 270
// degrees), convert into upright pictures: the red marker drawn at the top left of the
// picture as seen and the blue one at its top right stay there, whatever the entry does to
// the size, and nothing in the output turns them again.
#include "tests/app/EntryConversion.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

namespace corvina::app {
namespace {

// The generated recordings: 320x176 stored, turned by players as named.
struct Turned {
    const char* file;
    const char* seenSize; // the row's size cell
    double seenAspect;    // width / height as seen
};
constexpr Turned kTurned[] = {
    {"portrait_turn90.mov", "176x320", 176.0 / 320.0},
    {"portrait_turn270.mov", "176x320", 176.0 / 320.0},
    {"upside_down_turn180.mov", "320x176", 320.0 / 176.0},
};

// Entries: AVI keeps the source's size, iPhone makes 480x320.
constexpr int kAviEntry = 3;
constexpr int kIphoneEntry = 25;

std::string Rgb(const std::array<int, 3>& c) {
    return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
}
bool IsRed(const std::array<int, 3>& c) {
    return c[0] > 160 && c[1] < 100 && c[2] < 100;
}
bool IsBlue(const std::array<int, 3>& c) {
    return c[2] > 160 && c[0] < 100 && c[1] < 100;
}
bool IsGrey(const std::array<int, 3>& c) {
    return std::abs(c[0] - 128) < 40 && std::abs(c[1] - 128) < 40 && std::abs(c[2] - 128) < 40;
}

// Samples the middle of each corner marker, placed as the source had them (a quarter of its
// shorter side), so that scaling to another shape keeps them inside.
void ExpectMarkersUpright(const test::StreamInfo& v, double sourceAspect, const std::string& what) {
    ASSERT_FALSE(v.firstPictureRgb.empty()) << what;
    // The source as seen is W x H with markers of side min(W,H)/4; as shares of its size:
    const double w = sourceAspect >= 1 ? sourceAspect : 1.0;
    const double h = sourceAspect >= 1 ? 1.0 : 1.0 / sourceAspect;
    const double side = 0.25 * std::min(w, h);
    const double x = side / 2 / w, y = side / 2 / h;
    const auto topLeft = v.RgbAt(x, y), topRight = v.RgbAt(1 - x, y);
    const auto bottomLeft = v.RgbAt(x, 1 - y), bottomRight = v.RgbAt(1 - x, 1 - y);
    EXPECT_TRUE(IsRed(topLeft)) << what << ": top left " << Rgb(topLeft);
    EXPECT_TRUE(IsBlue(topRight)) << what << ": top right " << Rgb(topRight);
    EXPECT_TRUE(IsGrey(bottomLeft)) << what << ": bottom left " << Rgb(bottomLeft);
    EXPECT_TRUE(IsGrey(bottomRight)) << what << ": bottom right " << Rgb(bottomRight);
}

class TurnedRecording : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(TurnedRecording, ConvertsUprightAndUndistorted) {
    test::RequireLibraries();
    const Turned& source = kTurned[std::get<0>(GetParam())];
    const int entry = std::get<1>(GetParam());
    test::TempDir out;
    const EntryConversion run = ConvertWithEntry(entry, test::Fixture(source.file), out.path());
    EXPECT_EQ(run.SizeCell, source.seenSize);
    ASSERT_EQ(run.Progress, "Done") << run.EntryText << ": " << run.Failure;

    test::ReadBackOptions options;
    options.keepFirstPicture = true;
    const test::MediaInfo info = test::ReadBack(run.Job.OutputPath, options);
    ASSERT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    const test::StreamInfo* v = info.Video();
    ASSERT_NE(v, nullptr) << test::Describe(info);
    EXPECT_FALSE(v->displayMatrix) << "the output would be turned a second time";
    if (entry == kAviEntry) {
        EXPECT_EQ(std::to_string(v->width) + "x" + std::to_string(v->height), source.seenSize);
    } else {
        EXPECT_EQ(std::to_string(v->width) + "x" + std::to_string(v->height),
                  run.Job.Output.FrameSize);
    }
    // As seen: the stored size stretched by the sample aspect.
    const double sar = v->sampleAspect.known() ? v->sampleAspect.value() : 1.0;
    EXPECT_NEAR(v->width * sar / v->height, source.seenAspect, 0.02 * source.seenAspect)
        << run.EntryText << " " << v->width << "x" << v->height << " sar " << sar;
    ExpectMarkersUpright(*v, source.seenAspect, source.file);
}

std::string TurnedName(const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
    std::string name = kTurned[std::get<0>(info.param)].file;
    name = name.substr(0, name.find('.'));
    return name + (std::get<1>(info.param) == kAviEntry ? "_SizeKeeping" : "_FixedSize");
}

INSTANTIATE_TEST_SUITE_P(Phone, TurnedRecording,
                         ::testing::Combine(::testing::Range(0, 3),
                                            ::testing::Values(kAviEntry, kIphoneEntry)),
                         TurnedName);

// Every entry: a portrait recording comes out upright.
class PortraitWithEveryEntry : public ::testing::TestWithParam<int> {};

TEST_P(PortraitWithEveryEntry, ComesOutUpright) {
    test::RequireLibraries();
    test::TempDir out;
    const EntryConversion run =
        ConvertWithEntry(GetParam(), test::Fixture("portrait_turn90.mov"), out.path());
    ASSERT_EQ(run.Progress, "Done") << run.EntryText << ": " << run.Failure;
    if (run.Job.Output.DisableVideo)
        return; // an audio entry
    test::ReadBackOptions options;
    options.keepFirstPicture = true;
    options.strict = false;
    const test::MediaInfo info = test::ReadBack(run.Job.OutputPath, options);
    const test::StreamInfo* v = info.Video();
    ASSERT_NE(v, nullptr) << test::Describe(info);
    EXPECT_FALSE(v->displayMatrix);
    ExpectMarkersUpright(*v, 176.0 / 320.0, run.EntryText);
}

INSTANTIATE_TEST_SUITE_P(All, PortraitWithEveryEntry, ::testing::ValuesIn(EntryIndexes()),
                         EntryName);

} // namespace
} // namespace corvina::app
