// Every catalogue entry at its start state (one fill, Normal presets) converts a clip into a
// file whose streams carry what the job's fields asked for.
#include "app/core/Workflow.h"
#include "profiles/Catalogue.h"
#include "profiles/QualityPresets.h"
#include "tests/app/WorkflowTestSupport.h"
#include "tests/support/ManualScheduler.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace corvina::app {
namespace {

class SilentDialogs : public IDialogs {
public:
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    bool BrowseForFolder(const std::string&, std::string&) override { return false; }
    std::vector<std::string> OpenFiles(const std::string&) override { return {}; }
};

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

std::vector<int> EntryIndexes() {
    profiles::MainWindowBoxes boxes;
    profiles::FillOutputFormatList(boxes);
    std::vector<int> indexes;
    for (int i = 0; i < boxes.ComboOutputFormat.Count(); i++)
        if (profiles::FindProfile(boxes.ComboOutputFormat.Items()[i]))
            indexes.push_back(i);
    return indexes;
}

class CatalogueEntry : public ::testing::TestWithParam<int> {};

TEST_P(CatalogueEntry, ConvertsToWhatTheJobAsks) {
    test::RequireLibraries();
    profiles::MainWindowBoxes boxes;
    profiles::FillOutputFormatList(boxes);
    boxes.ComboOutputFormat.Select(GetParam());
    profiles::SelectOutputFormat(boxes);
    profiles::ApplyQualityPreset(boxes);

    test::ManualScheduler scheduler;
    SilentDialogs dialogs;
    test::TempDir out;
    hosting::TTranscodeEngine engine(&scheduler);
    engine.SetLogLevel(hosting::TLogLevel::llQuiet);
    std::string failure;
    ConversionWorkflow flow(engine, boxes, dialogs, scheduler);
    flow.OutputFolder = out.path().string();
    CallbackObserver view;
    view.jobFinished = [&flow, &failure](int row) { failure = flow.Rows[row].Reason; };
    flow.AddObserver(&view);
    std::vector<EngineJob> jobs;
    flow.OnJobBuilt = [&jobs](const EngineJob& job) {
        jobs.push_back(job);
        return true;
    };
    flow.AddFiles({test::Fixture("h264_aac_640x480_25.mov").string()});
    flow.Start();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while ((flow.TimerEnabled() || flow.Batch.Converting) &&
           std::chrono::steady_clock::now() < limit) {
        if (scheduler.RunPending() == 0) {
            scheduler.Advance(100);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ASSERT_EQ(jobs.size(), 1u);
    const EngineJob& job = jobs[0];
    ASSERT_EQ(flow.Rows[0].Progress(), "Done") << boxes.ComboOutputFormat.Text() << ": " << failure;

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

std::string EntryName(const ::testing::TestParamInfo<int>& info) {
    profiles::MainWindowBoxes boxes;
    profiles::FillOutputFormatList(boxes);
    std::string name = std::to_string(info.param) + "_";
    for (char c : boxes.ComboOutputFormat.Items()[info.param]) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (name.back() != '_')
            name += '_';
    }
    while (name.back() == '_')
        name.pop_back();
    return name;
}

INSTANTIATE_TEST_SUITE_P(All, CatalogueEntry, ::testing::ValuesIn(EntryIndexes()), EntryName);

} // namespace
} // namespace corvina::app
