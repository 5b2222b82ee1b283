// Batches that meet trouble on the way: the output folder vanishing between jobs, stops at
// arbitrary moments in several output formats, and a new batch started while the stopped
// one's last events are still on their way to the main thread.
#include "tests/app/WorkflowTestSupport.h"
#include "tests/support/CatalogueSamples.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

namespace corvina::app {
namespace {

namespace fs = std::filesystem;

const std::string kShortClip = test::Fixture("h264_aac_mono_176x144_15.mov").string();
const std::string kLongerClip = test::Fixture("h264_aac_640x480_25.mov").string();

class BatchFaults : public Workflow {
protected:
    void SetUp() override {
        Workflow::SetUp();
        CollectFailures(*flow, failureView, errors);
        flow->OnJobBuilt = [this](const EngineJob& job) {
            jobs.push_back(job);
            if (beforeHandOver)
                beforeHandOver(job);
            return true;
        };
        // Counts the engine's all-done events as they are raised (on a worker), around the
        // workflow's own handler that posts them to the main thread.
        auto inner = engine->OnTerminate.Get();
        engine->OnTerminate = [this, inner](int index, bool finished, bool exception,
                                            const std::string& message) {
            inner(index, finished, exception, message);
            if (index < 0)
                allDoneRaised++;
        };
    }

    // Pumps the main thread for a while of real time.
    void PumpFor(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until)
            if (scheduler.RunPending() == 0) {
                scheduler.Advance(100);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
    }
    bool RowEnded(int row) const {
        const std::string c = Cell(row, kCellProgress);
        return c == kProgressDone || c == kProgressAbort || c == kProgressFail;
    }

    std::vector<std::pair<int, std::string>> errors;
    CallbackObserver failureView;
    std::vector<EngineJob> jobs;
    std::function<void(const EngineJob&)> beforeHandOver;
    std::atomic<int> allDoneRaised{0};
};

// The folder goes once the first job has ended and is back before the third job is handed
// over: only the second row fails, and says why.
TEST_F(BatchFaults, OutputFolderGoneBeforeTheSecondJob) {
    const fs::path folder = out / "batch";
    fs::create_directory(folder);
    flow->OutputFolder = folder.string();
    flow->AddFiles({kShortClip, kShortClip, kShortClip});
    failureView.rowChanged = [&](int row) {
        if (row == 0 && Cell(0, kCellProgress) == kProgressDone)
            fs::remove_all(folder);
    };
    beforeHandOver = [&](const EngineJob& job) {
        if (job.Row == 2)
            fs::create_directory(folder);
    };
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(Cell(0, kCellProgress), kProgressDone);
    EXPECT_EQ(Cell(1, kCellProgress), kProgressFail);
    EXPECT_EQ(Cell(2, kCellProgress), kProgressDone);
    EXPECT_EQ(dialogs.Completions(), 1);
    ASSERT_EQ(jobs.size(), 3u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, 1);
    // The engine's own text, then the cause.
    EXPECT_EQ(errors[0].second, "Could not open '" + jobs[1].OutputPath + "'\n" + folder.string() +
                                    ": no such file or directory");
    const test::MediaInfo info = test::ReadBack(jobs[2].OutputPath);
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    // Nothing else was written: no trace of the failed row, nothing beside the folder.
    EXPECT_EQ(test::FolderEntries(folder),
              std::vector<std::string>{fs::path(jobs[2].OutputPath).filename().string()});
    EXPECT_EQ(test::FolderEntries(out.path()), std::vector<std::string>{"batch"});
    EXPECT_TRUE(boxes.ButtonConvert.enabled);
}

// On the last row the failure completes the batch, as a refused output always does.
TEST_F(BatchFaults, OutputFolderGoneBeforeTheLastJob) {
    const fs::path folder = out / "batch";
    fs::create_directory(folder);
    flow->OutputFolder = folder.string() + "/"; // as a folder dialog may give it
    flow->AddFiles({kShortClip, kShortClip});
    beforeHandOver = [&](const EngineJob& job) {
        if (job.Row == 1) {
            // A plain file now stands where the folder was.
            fs::remove_all(folder);
            std::ofstream(folder.string()) << "not a folder";
        }
    };
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(Cell(0, kCellProgress), kProgressDone);
    EXPECT_EQ(Cell(1, kCellProgress), kProgressFail);
    EXPECT_EQ(dialogs.Completions(), 1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].second, "Could not open '" + jobs[1].OutputPath + "'\n" + folder.string() +
                                    ": no such file or directory");
    EXPECT_FALSE(flow->Batch.Converting);
    EXPECT_TRUE(boxes.ButtonConvert.enabled);
    std::ifstream kept(folder);
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "not a folder");
}

// A batch stopped and started again before the first job's last events were handled (the
// job ended just as the user stopped it): those events belong to the old batch and must not
// end or mark the new job.
TEST_F(BatchFaults, StaleEventsOfAStoppedBatchLeaveTheNextAlone) {
    flow->AddFiles({kLongerClip});
    flow->Start();
    // The job ends and raises its events; the main thread has not handled them yet.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (allDoneRaised < 1 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(allDoneRaised, 1);
    ASSERT_TRUE(flow->Batch.Converting);
    flow->Stop();
    ASSERT_EQ(dialogs.Questions.size(), 1u);
    flow->Start();
    ASSERT_TRUE(PumpUntil([this] { return !flow->TimerEnabled() && !flow->Batch.Converting; }));
    // The new job reports its own end (a job freed under it would not).
    EXPECT_TRUE(PumpUntil([this] { return allDoneRaised == 2; }, 10));
    while (scheduler.RunPending() > 0) {
    }
    EXPECT_EQ(Cell(0, kCellProgress), kProgressDone);
    EXPECT_EQ(dialogs.Completions(), 1);
    ASSERT_EQ(jobs.size(), 2u);
    const test::MediaInfo info = test::ReadBack(jobs[1].OutputPath);
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    ASSERT_NE(info.Video(), nullptr) << test::Describe(info);
    // The whole clip, not a job cut short.
    EXPECT_NEAR(info.Video()->endTime - info.Video()->firstTime, 3.0, 0.2) << test::Describe(info);
}

// Stops at seeded random moments between the start and the end of an uninterrupted run of
// the same job (timed first, so the moments fall inside the work on any machine and build):
// every output is either absent or a non-empty file that decodes cleanly, and a stop never
// turns into a failure.
class StopAnywhere : public BatchFaults,
                     public ::testing::WithParamInterface<test::CatalogueSample> {
protected:
    // One batch of the row, stopped after `stopAfterMs` (never when negative); the time it
    // took until its job had ended.
    int RunOnce(int stopAfterMs) {
        const int before = allDoneRaised;
        const auto start = std::chrono::steady_clock::now();
        flow->Start();
        if (stopAfterMs >= 0) {
            PumpFor(stopAfterMs);
            flow->Stop();
        }
        EXPECT_TRUE(PumpUntil([&] { return RowEnded(0) && allDoneRaised == before + 1; }));
        const auto end = std::chrono::steady_clock::now();
        while (scheduler.RunPending() > 0) {
        }
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count());
    }
};

TEST_P(StopAnywhere, OutputIsAbsentOrDecodes) {
    const test::CatalogueSample& sample = GetParam();
    Select(std::string(sample.Entry));
    flow->AddFiles({kLongerClip});
    const int wholeRunMs = RunOnce(-1);
    ASSERT_EQ(Cell(0, kCellProgress), kProgressDone) << (errors.empty() ? "" : errors[0].second);
    std::mt19937 rng(test::SeedOf(sample.Name));
    constexpr int kRounds = 4;
    for (int round = 0; round < kRounds; round++) {
        const int delayMs = static_cast<int>(rng() % static_cast<unsigned>(wholeRunMs + 1));
        SCOPED_TRACE("stopped after " + std::to_string(delayMs) + " of " +
                     std::to_string(wholeRunMs) + " ms");
        RunOnce(delayMs);
        ASSERT_EQ(jobs.size(), static_cast<size_t>(round + 2));
        const std::string cell = Cell(0, kCellProgress);
        EXPECT_TRUE(cell == kProgressAbort || cell == kProgressDone)
            << cell << ": " << (errors.empty() ? "" : errors.back().second);
        const fs::path file = jobs.back().OutputPath;
        if (!fs::exists(file)) {
            EXPECT_NE(cell, kProgressDone) << "a finished job without its file";
            continue;
        }
        EXPECT_GT(fs::file_size(file), 0u) << file;
        const test::MediaInfo info = test::ReadBack(file);
        EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, StopAnywhere, ::testing::ValuesIn(test::kCatalogueSamples),
                         test::SampleCaseName);

} // namespace
} // namespace corvina::app
