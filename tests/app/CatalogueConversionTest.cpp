// Every catalogue entry at its start state (one fill, Normal presets) converts a clip into a
// file whose streams carry what the job's fields asked for.
#include "app/core/Workflow.h"
#include "profiles/Catalogue.h"
#include "profiles/QualityPresets.h"
#include "tests/app/EntryConversion.h"
#include "tests/support/ManualScheduler.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace corvina::app {
namespace {

// What a legacy encoder name reads back as.
std::string DecodedCodecName(const std::string& encoder) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"libxvid", "mpeg4"},    {"libx264", "h264"},  {"msmpeg4", "msmpeg4v3"},
        {"flv", "flv1"},         {"libfaac", "aac"},   {"mpeg4aac", "aac"},
        {"libmp3lame", "mp3"},   {"vorbis", "vorbis"}, {"libvorbis", "vorbis"},
        {"libamr_nb", "amr_nb"},
    };
    for (const auto& [from, to] : kNames)
        if (encoder == from)
            return to;
    return encoder;
}

class CatalogueEntry : public ::testing::TestWithParam<int> {};

TEST_P(CatalogueEntry, ConvertsToWhatTheJobAsks) {
    test::RequireLibraries();
    test::TempDir out;
    const EntryConversion run =
        ConvertWithEntry(GetParam(), test::Fixture("h264_aac_640x480_25.mov"), out.path());
    ASSERT_EQ(run.Progress, "Done") << run.EntryText << ": " << run.Failure;
    const EngineJob& job = run.Job;

    test::ReadBackOptions readOptions;
    const test::MediaInfo info = test::ReadBack(job.OutputPath, readOptions);
    ASSERT_TRUE(info.opened) << info.error;
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);

    if (job.Output.DisableVideo) {
        EXPECT_EQ(info.Video(), nullptr) << test::Describe(info);
    } else if (!job.Output.VideoCodec.empty()) {
        const test::StreamInfo* v = info.Video();
        ASSERT_NE(v, nullptr) << test::Describe(info);
        EXPECT_EQ(v->codec, DecodedCodecName(job.Output.VideoCodec));
        int w = 640, h = 480;
        if (!job.Output.FrameSize.empty()) {
            ASSERT_EQ(std::sscanf(job.Output.FrameSize.c_str(), "%dx%d", &w, &h), 2);
        }
        EXPECT_EQ(v->width, w);
        EXPECT_EQ(v->height, h);
        if (!job.Output.FrameRate.empty() && v->avgFrameRate.known()) {
            const double asked = std::stod(job.Output.FrameRate);
            // Encoders with a fixed list of rates take the nearest one.
            EXPECT_NEAR(v->avgFrameRate.value(), asked, 0.05 * asked) << job.Output.FrameRate;
        }
    }
    if (job.Output.DisableAudio) {
        EXPECT_EQ(info.Audio(), nullptr);
    } else if (!job.Output.AudioCodec.empty()) {
        const test::StreamInfo* a = info.Audio();
        ASSERT_NE(a, nullptr) << test::Describe(info);
        EXPECT_EQ(a->codec, DecodedCodecName(job.Output.AudioCodec));
        if (job.Output.AudioSampleRate > 0) {
            EXPECT_EQ(a->sampleRate, job.Output.AudioSampleRate);
        }
        if (job.Output.AudioChannels > 0) {
            EXPECT_EQ(a->channels, job.Output.AudioChannels);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, CatalogueEntry, ::testing::ValuesIn(EntryIndexes()), EntryName);

} // namespace
} // namespace corvina::app
