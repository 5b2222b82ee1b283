// The workflow as a view sees it: only through its notifications and the state they point
// at, never by reading a message text or parsing a cell. Also the window's start-up and
// close routine, and the options that the format list and the job read.
#include "tests/app/WorkflowTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace corvina::app {
namespace {

const std::string kShort = test::Fixture("h264_aac_mono_176x144_15.mov").string();
const std::string kLonger = test::Fixture("h264_aac_640x480_25.mov").string();
const std::string kGarbage = test::Fixture("garbage.mov").string();

const char* StateName(RowState state) {
    switch (state) {
    case RowState::None:
        return "none";
    case RowState::Error:
        return "error";
    case RowState::Loading:
        return "loading";
    case RowState::Converting:
        return "converting";
    case RowState::Done:
        return "done";
    case RowState::Fail:
        return "fail";
    case RowState::Abort:
        return "abort";
    }
    return "?";
}

// Writes down every notification with what a view would read at that moment.
class Recorder : public WorkflowObserver {
public:
    explicit Recorder(const ConversionWorkflow& flow) : flow_(flow) {}

    std::vector<std::string> events;
    std::vector<int> percents;        // of every progress report, in order
    std::vector<int64_t> bytes;       // likewise
    std::vector<int> totals;          // the expected total of each report
    std::vector<std::string> reasons; // of failed rows, by JobFinished
    int boxesChanged = 0;
    bool lockedWhileRunning = false;

    void RowsInserted(int first, int count) override {
        events.push_back("inserted " + std::to_string(first) + "+" + std::to_string(count));
    }
    void RowRemoved(int row) override { events.push_back("removed " + std::to_string(row)); }
    void RowsReset() override { events.push_back("reset"); }
    void BatchStarted() override { events.push_back("batch started"); }
    void JobStarted(int row) override {
        events.push_back("job started " + std::to_string(row));
        lockedWhileRunning = !flow_.Boxes().ButtonConvert.enabled &&
                             !flow_.Boxes().ComboOutputFormat.enabled &&
                             !flow_.Boxes().MainMenuEnabled;
    }
    void ProgressChanged(int row) override {
        const ConversionItem& item = flow_.Rows[row];
        percents.push_back(item.Percent);
        bytes.push_back(item.BytesWritten);
        totals.push_back(item.TotalDurationMs);
        if (events.empty() || events.back() != "progress " + std::to_string(row))
            events.push_back("progress " + std::to_string(row)); // one line per run of them
    }
    void JobFinished(int row) override {
        const ConversionItem& item = flow_.Rows[row];
        events.push_back("finished " + std::to_string(row) + " " + StateName(item.State));
        if (item.State == RowState::Fail)
            reasons.push_back(item.Reason);
    }
    void BatchCompleted() override { events.push_back("batch completed"); }
    void BatchStopped() override { events.push_back("batch stopped"); }
    void BoxesChanged() override { boxesChanged++; }

    bool Saw(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

private:
    const ConversionWorkflow& flow_;
};

class WorkflowView : public Workflow {
protected:
    void SetUp() override {
        Workflow::SetUp();
        recorder = std::make_unique<Recorder>(*flow);
        flow->AddObserver(recorder.get());
    }
    void TearDown() override {
        flow->RemoveObserver(recorder.get());
        Workflow::TearDown();
    }
    std::unique_ptr<Recorder> recorder;
};

TEST_F(WorkflowView, ABatchWithAFailingAndAStoppedRowSeenThroughNotificationsOnly) {
    flow->AddFiles({kShort, kGarbage, kLonger});
    flow->Start();
    ASSERT_TRUE(PumpUntil([this] { return recorder->Saw("job started 2"); }));
    flow->Stop(); // the scripted dialogs answer Yes
    ASSERT_TRUE(PumpUntil([this] { return recorder->Saw("finished 2 abort"); }));

    const std::vector<std::string> expected = {
        "inserted 0+1",    "inserted 1+1",    "inserted 2+1",  "batch started", "job started 0",
        "finished 0 done", "finished 1 fail", "job started 2", "batch stopped", "finished 2 abort",
    };
    std::vector<std::string> withoutProgress;
    for (const std::string& e : recorder->events)
        if (e.rfind("progress", 0) != 0)
            withoutProgress.push_back(e);
    EXPECT_EQ(withoutProgress, expected);
    EXPECT_FALSE(recorder->Saw("batch completed"));
    EXPECT_TRUE(recorder->lockedWhileRunning);
    EXPECT_TRUE(flow->Boxes().ButtonConvert.enabled); // unlocked by the stop
    // The engine's reason for the garbage file travels with its row.
    ASSERT_EQ(recorder->reasons.size(), 1u);
    EXPECT_NE(recorder->reasons[0].find("Unknown format"), std::string::npos)
        << recorder->reasons[0];
}

TEST_F(WorkflowView, ProgressReportsCarryTypedValues) {
    flow->AddFiles({kLonger});
    ASSERT_TRUE(RunBatch());
    EXPECT_TRUE(recorder->Saw("batch completed"));
    ASSERT_FALSE(recorder->percents.empty());
    EXPECT_TRUE(std::is_sorted(recorder->percents.begin(), recorder->percents.end()));
    EXPECT_TRUE(std::is_sorted(recorder->bytes.begin(), recorder->bytes.end()));
    EXPECT_GT(recorder->bytes.back(), 0);
    for (int total : recorder->totals)
        EXPECT_GT(total, 0);
    EXPECT_EQ(flow->Rows[0].State, RowState::Done);
    EXPECT_GT(flow->Rows[0].FrameNumber, 0);
    EXPECT_GT(flow->Rows[0].DurationUs, 0); // the probe's duration, for weighting estimates
}

TEST_F(WorkflowView, ListCommandsAreToldApart) {
    flow->AddFiles({kShort, kShort, kGarbage});
    EXPECT_EQ(flow->Rows[2].State, RowState::Error);
    EXPECT_FALSE(flow->Rows[2].Reason.empty()); // the probe's reason, for a tooltip
    flow->SelectRow(1);
    flow->RemoveSelected();
    flow->ClearAll();
    const std::vector<std::string> expected = {"inserted 0+1", "inserted 1+1", "inserted 2+1",
                                               "removed 1", "reset"};
    EXPECT_EQ(recorder->events, expected);
    EXPECT_EQ(flow->SelectedRow, -1);
}

TEST_F(WorkflowView, RefusedStartTellsNoBatch) {
    flow->Start(); // no rows
    flow->AddFiles({kShort});
    flow->SetOutputFolder("");
    flow->Start(); // no folder
    EXPECT_FALSE(recorder->Saw("batch started"));
    EXPECT_EQ(dialogs.Messages.size(), 2u);
}

TEST_F(WorkflowView, StartUpFillsOnceThenAppliesTheStoredFormatAndPresets) {
    flow->Initialise();
    EXPECT_EQ(boxes.ComboOutputFormat.Count(), 46);
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 25);
    EXPECT_EQ(boxes.ComboAspectRatio.Text(), "Original");
    EXPECT_EQ(boxes.ComboLetterBox.Text(), "None");
    EXPECT_EQ(boxes.ComboVideoQuality.Text(), "Normal");
    EXPECT_EQ(flow->LabelVolume, "100%");
    // A stored entry is selected without its change handler, as the settings do.
    boxes.ComboOutputFormat.Select(boxes.ComboOutputFormat.IndexOf("iPod (*.mp4)"));
    const int before = recorder->boxesChanged;
    flow->WindowShown();
    EXPECT_GT(recorder->boxesChanged, before);
    EXPECT_EQ(boxes.OutputExtension, "MP4");
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "128 Kbps"); // the preset, not the fill's 64
    // After the start-up fill the list drops 25 rows; from the first change on, the options'.
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 26);
}

TEST_F(WorkflowView, DropDownRowsFollowTheOptionsOnEveryChangeAndDropDown) {
    flow->Initialise();
    flow->SetDropDownItems(40);
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 40);
    boxes.ComboOutputFormat.dropDownCount = 3;
    flow->SelectOutputFormat(8);
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 40);
    boxes.ComboOutputFormat.dropDownCount = 3;
    flow->DropDownOutputFormat();
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 40);
    // A typed number outside the spin box's range is used as typed.
    flow->SetDropDownItems(60);
    EXPECT_EQ(boxes.ComboOutputFormat.dropDownCount, 60);
}

TEST_F(WorkflowView, AnAspectRatioWithNoSelectionGivesTheJobNone) {
    flow->AddFiles({test::Fixture("h264_aac_640x480_25.mov").string()});
    flow->SelectItem(boxes.ComboAspectRatio, 0);
    EXPECT_EQ(flow->BuildJob(0, ".avi").Output.AspectRatio, "1.3333");
    flow->SelectItem(boxes.ComboAspectRatio, 2);
    EXPECT_EQ(flow->BuildJob(0, ".avi").Output.AspectRatio, "16:9");
    flow->SelectItem(boxes.ComboAspectRatio, -1); // a typed text that matches no item
    EXPECT_EQ(flow->BuildJob(0, ".avi").Output.AspectRatio, "");
}

TEST_F(WorkflowView, CloseIsRefusedWhileConvertingThenSavesAndStopsThePreview) {
    int saves = 0, previewStops = 0;
    struct PreviewWatch : WorkflowObserver {
        int* stops;
        explicit PreviewWatch(int* s) : stops(s) {}
        void StopPreview() override { ++*stops; }
    } watch(&previewStops);
    flow->AddObserver(&watch);
    flow->SaveSettings = [&saves] {
        saves++;
        throw std::runtime_error("the store cannot be written");
    };
    flow->AddFiles({kLonger});
    flow->Start();
    EXPECT_FALSE(flow->CloseQuery());
    ASSERT_TRUE(PumpUntil([this] { return !flow->TimerEnabled() && !flow->Batch.Converting; }));
    previewStops = 0;
    EXPECT_TRUE(flow->CloseQuery());
    EXPECT_FALSE(engine->OnProgress); // the engine's events are detached
    EXPECT_FALSE(engine->OnTerminate);
    flow->Close(); // a failing save is swallowed
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(previewStops, 1);
    flow->RemoveObserver(&watch);
}

TEST_F(WorkflowView, BackgroundProbingGivesTheRowsOfTheSynchronousLoopInOrder) {
    const std::vector<std::string> files = {kShort, test::Fixture("aac_44100_stereo.m4a").string(),
                                            kGarbage, kLonger, kShort};
    flow->AddFiles(files);
    const std::vector<ConversionItem> synchronous = flow->Rows;
    flow->ClearAll();
    recorder->events.clear();

    flow->ProbeInBackground = true;
    dialogs.FilesToOpen = files;
    flow->ButtonAddFileClick();
    EXPECT_TRUE(flow->Batch.AddingFiles);
    // Meanwhile Start, Remove and Clear do nothing, and a second Add File opens no dialog.
    flow->Start();
    flow->SelectRow(0);
    flow->RemoveSelected();
    flow->ClearAll();
    flow->ButtonAddFileClick();
    ASSERT_TRUE(PumpUntil([this] { return !flow->Batch.AddingFiles; }));
    ASSERT_EQ(flow->Rows.size(), synchronous.size());
    for (size_t i = 0; i < files.size(); i++) {
        EXPECT_EQ(flow->Rows[i].Caption, synchronous[i].Caption);
        EXPECT_EQ(flow->Rows[i].Cells, synchronous[i].Cells) << i;
        EXPECT_EQ(flow->Rows[i].State, synchronous[i].State) << i;
    }
    EXPECT_FALSE(recorder->Saw("batch started"));
    EXPECT_FALSE(recorder->Saw("removed 0"));
    EXPECT_FALSE(recorder->Saw("reset"));
    EXPECT_EQ(recorder->events.front(), "inserted 0+1");
    EXPECT_EQ(recorder->events.back(), "inserted 4+1");
}

TEST_F(WorkflowView, ADroppedFolderAddsItsClipsLikeAddFile) {
    test::TempDir dropped;
    std::filesystem::create_directories(dropped.path() / "b");
    std::filesystem::copy_file(kShort, dropped.path() / "b" / "clip.mov");
    std::filesystem::copy_file(kShort, dropped.path() / "a.MOV");
    std::ofstream(dropped.path() / "readme.txt") << "not a clip";
    flow->AddFiles({kShort});
    flow->Rows[0].Cells[kCellProgress] = "Done"; // an old mark, which adding clears
    flow->AddDroppedPaths({dropped.path().string()});
    ASSERT_EQ(flow->Rows.size(), 3u);
    EXPECT_EQ(flow->Rows[0].Progress(), "");
    EXPECT_EQ(flow->Rows[1].Caption, (dropped.path() / "a.MOV").string());
    EXPECT_EQ(flow->Rows[2].Caption, (dropped.path() / "b" / "clip.mov").string());
    EXPECT_EQ(flow->Rows[2].Cells[kCellVideoSize], "176x144");
    EXPECT_FALSE(flow->Batch.AddingFiles);
}

} // namespace
} // namespace corvina::app
