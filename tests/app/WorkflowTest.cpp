// The batch behind the main window, driven as the window drives it: real engine, generated
// media, a scripted stand-in for the dialogs and a hand-pumped main thread.
#include "tests/app/WorkflowTestSupport.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace corvina::app {
namespace {

namespace fs = std::filesystem;

const std::string kShort = test::Fixture("h264_aac_mono_176x144_15.mov").string();

TEST_F(Workflow, AddingFilesFillsTheRowCells) {
    flow->AddFiles({test::Fixture("h264_aac_640x480_24000_1001.m4v").string(),
                    test::Fixture("aac_44100_stereo.m4a").string(),
                    test::Fixture("garbage.mov").string(), kShort, kShort});
    ASSERT_EQ(flow->Rows.size(), 5u);
    EXPECT_EQ(Cell(0, kCellVideoSize), "640x480");
    EXPECT_EQ(Cell(0, kCellFrameRate), "23.98");
    EXPECT_EQ(Cell(0, kCellDuration), "00:00:03");
    EXPECT_EQ(Cell(0, kCellOutput), "AVI");
    EXPECT_EQ(Cell(0, kCellProgress), "");
    EXPECT_TRUE(flow->Rows[0].Checked);
    // Audio only: a single blank for the video cells, a real duration.
    EXPECT_EQ(Cell(1, kCellVideoSize), " ");
    EXPECT_EQ(Cell(1, kCellFrameRate), " ");
    EXPECT_EQ(Cell(1, kCellDuration), "00:00:03");
    // A damaged file: "Error", every other cell empty, still checked.
    EXPECT_EQ(Cell(2, kCellProgress), "Error");
    EXPECT_EQ(Cell(2, kCellVideoSize), "");
    EXPECT_EQ(Cell(2, kCellDuration), "");
    EXPECT_EQ(Cell(2, kCellOutput), "");
    EXPECT_TRUE(flow->Rows[2].Checked);
    // The same file twice is two rows.
    EXPECT_EQ(flow->Rows[3].Caption, flow->Rows[4].Caption);
}

TEST_F(Workflow, StartChecksListAndFolder) {
    flow->Start();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0], std::make_pair(std::string("Please Add Files To Convert!"),
                                                  std::string("Information")));
    flow->AddFiles({kShort});
    flow->OutputFolder.clear();
    flow->Start();
    EXPECT_EQ(dialogs.Messages.back().first, "Please select an output folder!");
    EXPECT_EQ(dialogs.FolderDialogs, 1);
    flow->OutputFolder = (out / "gone").string();
    flow->Start();
    EXPECT_EQ(
        dialogs.Messages.back().first,
        "The output folder \"" + (out / "gone").string() +
            "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.");
    EXPECT_EQ(dialogs.FolderDialogs, 2);
    EXPECT_FALSE(flow->Batch.Converting);
    EXPECT_FALSE(flow->TimerEnabled());
}

TEST_F(Workflow, ConvertsCheckedRowsAndSkipsUncheckedLastRow) {
    flow->AddFiles({kShort, kShort, kShort});
    flow->Rows[1].Checked = false;
    flow->Rows[2].Checked = false;
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(Cell(0, kCellProgress), "Done");
    EXPECT_EQ(Cell(1, kCellProgress), "");
    EXPECT_EQ(Cell(2, kCellProgress), "");
    EXPECT_EQ(dialogs.Completions(), 1);
    EXPECT_TRUE(boxes.ButtonConvert.enabled); // unlocked again
    const test::MediaInfo info = test::ReadBack(out / "h264_aac_mono_176x144_15.avi");
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    EXPECT_FALSE(fs::exists(out / "h264_aac_mono_176x144_15-1.avi"));
}

TEST_F(Workflow, AllRowsUncheckedCompletesAtTheNextTick) {
    flow->AddFiles({kShort, kShort});
    flow->CheckAll(false);
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(dialogs.Completions(), 1);
    EXPECT_EQ(Cell(0, kCellProgress), "");
    EXPECT_EQ(Cell(1, kCellProgress), "");
}

TEST_F(Workflow, FailingMiddleRowAndNumberedNames) {
    std::ofstream((out / "h264_aac_mono_176x144_15.avi").string()) << "keep me";
    flow->AddFiles({kShort, test::Fixture("garbage.mov").string(), kShort});
    std::vector<std::pair<int, std::string>> errors;
    CallbackObserver view;
    CollectFailures(*flow, view, errors);
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(Cell(0, kCellProgress), "Done");
    EXPECT_EQ(Cell(1, kCellProgress), "Fail");
    EXPECT_EQ(Cell(2, kCellProgress), "Done");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, 1);
    EXPECT_NE(errors[0].second.find("Unknown format"), std::string::npos) << errors[0].second;
    // The existing file is untouched; the two conversions got numbered names.
    std::ifstream kept((out / "h264_aac_mono_176x144_15.avi").string());
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "keep me");
    EXPECT_TRUE(fs::exists(out / "h264_aac_mono_176x144_15-1.avi"));
    EXPECT_TRUE(fs::exists(out / "h264_aac_mono_176x144_15-2.avi"));
    EXPECT_EQ(dialogs.Completions(), 1);
}

TEST_F(Workflow, CheckMarksAreReadForEveryJob) {
    flow->AddFiles({kShort, kShort, kShort});
    flow->Start();
    // While the first job runs, the second row is unchecked: it is skipped.
    flow->Rows[1].Checked = false;
    ASSERT_TRUE(PumpUntil([this] { return !flow->TimerEnabled() && !flow->Batch.Converting; }));
    EXPECT_EQ(Cell(0, kCellProgress), "Done");
    EXPECT_EQ(Cell(1, kCellProgress), "");
    EXPECT_EQ(Cell(2, kCellProgress), "Done");
}

TEST_F(Workflow, StopBetweenJobsAsksNothing) {
    flow->AddFiles({kShort, kShort});
    flow->Start();
    // Wait until the first job has ended and the timer waits for the next.
    ASSERT_TRUE(PumpUntil([this] { return Cell(0, kCellProgress) == "Done"; }));
    ASSERT_FALSE(flow->Batch.Converting);
    flow->Stop();
    EXPECT_TRUE(dialogs.Questions.empty());
    EXPECT_FALSE(flow->TimerEnabled());
    scheduler.Advance(1000);
    scheduler.RunPending();
    EXPECT_EQ(Cell(1, kCellProgress), "");
    EXPECT_EQ(dialogs.Completions(), 0); // no completion message after a stop
    EXPECT_TRUE(boxes.ButtonConvert.enabled);
}

TEST_F(Workflow, StopDuringAJobAsksAndNoLetsItContinue) {
    const std::string longer = test::Fixture("h264_aac_640x480_25.mov").string();
    flow->AddFiles({longer});
    dialogs.Answers = {false, true};
    flow->Start();
    ASSERT_TRUE(flow->Batch.Converting);
    flow->Stop(); // "No"
    EXPECT_EQ(dialogs.Questions.size(), 1u);
    EXPECT_EQ(dialogs.Questions[0], "Stop all conversions?");
    EXPECT_TRUE(flow->Batch.Converting);
    flow->Stop(); // "Yes"
    EXPECT_TRUE(flow->Batch.StopRequested);
    ASSERT_TRUE(PumpUntil([this] {
        return !Cell(0, kCellProgress).empty() && Cell(0, kCellProgress).back() != '%';
    }));
    // The job may have ended before the stop reached it.
    EXPECT_TRUE(Cell(0, kCellProgress) == "Abort" || Cell(0, kCellProgress) == "Done")
        << Cell(0, kCellProgress);
    EXPECT_EQ(dialogs.Completions(), 0);
}

TEST_F(Workflow, ProgressTexts) {
    flow->AddFiles({kShort});
    flow->Batch.CurrentRow = 0;
    flow->EngineProgress(0, -1, 4000, 2500, 3000);
    EXPECT_EQ(Cell(0, kCellProgress), "100%");
    EXPECT_EQ(Cell(0, kCellFrames), " ");
    EXPECT_EQ(flow->ProgressBar, 133);
    EXPECT_EQ(flow->StatusPanel1, "File Size : 2 KBytes");
    flow->EngineProgress(0, 12, 1000, 2501, 3000);
    EXPECT_EQ(Cell(0, kCellProgress), "33%");
    EXPECT_EQ(Cell(0, kCellFrames), "12");
    EXPECT_EQ(flow->StatusPanel1, "File Size : 3 KBytes");
}

TEST_F(Workflow, JobRecordsOfARow) {
    flow->AddFiles({test::Fixture("h264_aac_640x480_25.mov").string()});
    flow->SetVolumePosition(10);
    boxes.ComboAspectRatio.Select(0);
    const EngineJob job = flow->BuildJob(0, ".avi");
    EXPECT_EQ(job.OutputPath, (out / "h264_aac_640x480_25.avi").string());
    EXPECT_EQ(job.Input.FileName, job.InputPath);
    EXPECT_EQ(job.Input.StartTime, 0);
    EXPECT_EQ(job.Output.FrameRate, "25"); // "Auto" is 25, not the source rate
    EXPECT_EQ(job.Output.AudioVolume, 600);
    EXPECT_EQ(job.Output.AspectRatio, "1.3333");
    EXPECT_EQ(job.Output.RecordingTime, -1);
    boxes.ComboAspectRatio.Select(2);
    flow->Rows[0].Cells[kCellDuration] = "Unknown";
    const EngineJob second = flow->BuildJob(0, ".avi");
    EXPECT_EQ(second.Output.AspectRatio, "16:9");
    EXPECT_EQ(second.Output.RecordingTime, 36000000);
    // The first job's name counts as taken within the batch.
    EXPECT_EQ(second.OutputPath, (out / "h264_aac_640x480_25-1.avi").string());
}

TEST_F(Workflow, RealMediaGoesThroughAWrapperScript) {
    const fs::path input = scripts / "movie.RMVB";
    fs::copy_file(test::Fixture("rv20_ac3.rmvb"), input);
    flow->AddFiles({input.string()});
    flow->ProgramFolder = "/opt/corvina/";
    std::vector<EngineJob> jobs;
    flow->OnJobBuilt = [&jobs](const EngineJob& job) {
        jobs.push_back(job);
        return true;
    };
    ASSERT_TRUE(RunBatch());
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].InputPath, flow->ScriptFolder + "r.avs");
    std::ifstream script(jobs[0].InputPath, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(script)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "LoadPlugin(\"/opt/corvina/DirectShowSource.dll\")\r\nDirectShowSource(\"" +
                        input.string() + "\", fps=25, convertfps=true)\r\n");
    EXPECT_EQ(Cell(0, kCellProgress), "Done");
    const test::MediaInfo info = test::ReadBack(out / "movie.avi");
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
}

TEST_F(Workflow, ParallelBatchReservesNames) {
    flow->AddFiles({kShort, kShort, kShort});
    flow->StartParallel(2);
    ASSERT_TRUE(PumpUntil([this] { return !flow->Batch.Converting; }));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(Cell(i, kCellProgress), "Done") << i;
    EXPECT_EQ(dialogs.Completions(), 1);
    for (const char* name : {"h264_aac_mono_176x144_15.avi", "h264_aac_mono_176x144_15-1.avi",
                             "h264_aac_mono_176x144_15-2.avi"}) {
        const test::MediaInfo info = test::ReadBack(out / name);
        EXPECT_TRUE(info.DecodesCleanly()) << name << ": " << test::Describe(info);
    }
}

} // namespace
} // namespace corvina::app
