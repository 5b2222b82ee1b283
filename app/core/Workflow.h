// The conversion workflow behind the main window: the file list, the batch state, the job
// routine and the sequencing. The window and the headless front end are views over it:
// they show Rows, the status texts and the boxes, forward the user's commands, are told of
// every change through WorkflowObserver, and give the workflow its dialogs and a
// main-thread scheduler. Everything here runs on the main thread; the engine's events are
// handed over to it through the scheduler.
#pragma once

#include "app/core/ConversionItem.h"
#include "app/core/Dialogs.h"
#include "app/core/WorkflowObserver.h"
#include "hosting/MainThreadScheduler.h"
#include "hosting/TranscodeEngine.h"
#include "profiles/Catalogue.h"
#include "profiles/MainWindowBoxes.h"

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace corvina::app {

struct BatchState {
    bool Converting = false;    // a job is with the engine and its end not yet seen
    bool StopRequested = false; // the user confirmed "Stop all conversions?"
    int CurrentRow = -1;        // row of the running or last job
    bool IsLastRow = false;
    bool BatchFinished = false; // no further job is to be started
    int WaitTicks = 0;          // sequencing ticks counted while idle between jobs
    bool AddingFiles = false;
};

// One job as the job routine hands it to the engine.
struct EngineJob {
    int Row = -1;
    std::string InputPath; // the file, or the wrapper script
    std::string OutputPath;
    hosting::TInputOptions Input;
    hosting::TOutputOptions Output;
};

// The window's boxes at creation, before the settings are applied: the format list filled
// (25 rows drop down), aspect ratio "Original", zoom "None", both quality levels "Normal".
void InitialiseBoxes(profiles::MainWindowBoxes& boxes);

class ConversionWorkflow {
public:
    ConversionWorkflow(hosting::TTranscodeEngine& engine, profiles::MainWindowBoxes& boxes,
                       IDialogs& dialogs, hosting::MainThreadScheduler& scheduler);
    ~ConversionWorkflow();
    ConversionWorkflow(const ConversionWorkflow&) = delete;
    ConversionWorkflow& operator=(const ConversionWorkflow&) = delete;

    // --- What the view shows and the user sets (read them; change them by the commands) ---
    std::vector<ConversionItem> Rows;
    int SelectedRow = -1;
    std::string OutputFolder;       // EditOutputFolder
    bool OverwriteExisting = false; // the options dialog's overwrite check box
    int DropDownItems = 26;         // the options dialog's rows of the open format list
    std::string StatusPanel1;       // "File Size : ... KBytes"
    int ProgressBar = 0;            // 0..100 (larger values show full)
    int VolumePosition = 5;         // TrackBar1
    std::string LabelVolume;
    int ConversionVolume = 255;
    // Where wrapper scripts go (a per-user temporary folder) and the program folder.
    std::string ScriptFolder;
    std::string ProgramFolder;
    BatchState Batch;
    const profiles::MainWindowBoxes& Boxes() const { return boxes_; }
    // For the settings loader, which selects stored items without their change handlers.
    profiles::MainWindowBoxes& MutableBoxes() { return boxes_; }

    // --- Views ---
    void AddObserver(WorkflowObserver* observer);
    void RemoveObserver(WorkflowObserver* observer);
    // After a job was built, before it is handed over; returning false hands nothing over
    // and leaves the row as it is (used to print jobs without converting).
    std::function<bool(const EngineJob&)> OnJobBuilt;
    // Saves the user's choices when the window closes (set by the owner of the store).
    std::function<void()> SaveSettings;

    // --- Start-up and shut-down, in the window's order ---
    // Binds the libraries from "Common" beside the program; when that fails, says "Some
    // files are missing. Please re-install this software" and returns false (the program
    // then ends).
    bool LoadLibraries();
    // The window's state at creation (the boxes, the volume slider at 5, no timer).
    void Initialise();
    // The window is shown: the selected format is applied, then the quality presets.
    void WindowShown();
    // The close request: refused while converting; otherwise the engine's events are
    // detached and its tasks stopped.
    bool CloseQuery();
    // The window closes: the settings are saved (errors ignored), the preview stops.
    void Close();

    // --- Commands ---
    void SetVolumePosition(int position); // TrackBar1Change
    void ButtonAddFileClick();            // through the open dialog
    // Adds dropped files and folders as Add File adds the dialog's files (a folder gives
    // the supported files under it, in path order).
    void AddDroppedPaths(const std::vector<std::string>& paths);
    // Probes each file and appends its row, on the main thread.
    void AddFiles(const std::vector<std::string>& files);
    // Add File and drops probe on a worker (the window sets this, so it never waits for a
    // probe); the rows still arrive one by one in the given order, and AddingFiles stays
    // set until the last one is in.
    bool ProbeInBackground = false;
    void Start(); // ButtonConvertClick
    // The headless batch with several tasks at once: every checked row becomes a task up
    // front (output names reserved as they are chosen), then the engine runs `threads` of
    // them at a time. Ends with the same completion as Start.
    void StartParallel(int threads);
    void Stop(); // ButtonStopConvertClick
    void RemoveSelected();
    void ClearAll();
    void CheckAll(bool checked);
    void SetChecked(int row, bool checked);
    void SelectRow(int row); // -1: none
    void BrowseForFolder();
    void SetOutputFolder(const std::string& folder);
    void ChangeOutputFormat(); // ComboOutputFormatChange
    // The user picks an item of a box: the format list runs its change handler, the quality
    // boxes their presets; the other boxes just take the selection.
    void SelectOutputFormat(int index);
    void SelectVideoQuality(int index);
    void SelectAudioQuality(int index);
    void SelectItem(profiles::ChoiceBox& box, int index);
    void DropDownOutputFormat(); // ComboOutputFormatDropDown
    // The quality boxes' hints follow the bitrate boxes when the pointer enters them.
    void VideoQualityMouseEnter();
    void AudioQualityMouseEnter();
    // The options' values; each change takes effect at once.
    void SetOverwrite(bool overwrite);
    void SetDropDownItems(int count);
    bool CanClose() const { return !Batch.Converting; }

    bool TimerEnabled() const { return timerEnabled_; }
    // One tick of the 200 ms sequencing timer (the workflow schedules its own ticks; tests
    // and hosts may call it directly).
    void TimerTick();

    // The engine's events, on the main thread.
    void EngineProgress(int index, int frameNumber, int currentDurationMs, int64_t currentSize,
                        int totalDurationMs, int fps = 0);
    void EngineTerminate(int index, bool exception, const std::string& message = {});

    // The job routine: the next checked row becomes the engine's task.
    void JobRoutine();

    // Builds the job of one row (naming, wrapper script, records); throws on a choice text
    // a profile step cannot parse or a script that cannot be written.
    EngineJob BuildJob(int row, const std::string& extension);

private:
    struct BackgroundAdd;
    bool BeginAdding(); // the steps before the files are known; false: nothing to add now
    void AddChosenFiles(std::vector<std::string> files);
    void StartBackgroundAdd(std::vector<std::string> files);
    void FinishBackgroundAdd();
    void AppendRow(ConversionItem row);
    template <class F> void Notify(F f) {
        for (WorkflowObserver* o : std::vector<WorkflowObserver*>(observers_))
            f(*o);
    }
    void ClearEngineTasks(); // the engine's ClearTasks; events already raised go stale
    void SetTimer(bool enabled);
    void ScheduleTick();
    void RowChanged(int row);
    void StatusChanged();
    void BoxesChanged();
    void StopPreview();
    void SetRowState(int row, RowState state);
    void FinishRow(int row, RowState state, const std::string& reason);
    void ClearProgressCells();
    void LockControls();
    void UnlockControls();
    void EndBatchCompleted(); // the completion message and its state
    void EndBatchStopped();
    // Opens the job's files as an engine task; -1, the row marked "Fail" with the reason,
    // when either is refused.
    int HandOver(int row, const EngineJob& job);
    void MoveOnAfterFailedSetUp(); // a job that could not be set up
    bool CheckStart();             // the list and the output folder
    int RowOfTask(int index) const;
    void CompleteBatch();
    std::string WriteWrapperScript(const std::string& inputPath);
    void RemoveOldScripts();
    profiles::FormatChangeHooks FormatHooks();

    hosting::TTranscodeEngine& engine_;
    profiles::MainWindowBoxes& boxes_;
    IDialogs& dialogs_;
    hosting::MainThreadScheduler& scheduler_;
    std::vector<WorkflowObserver*> observers_;
    std::unique_ptr<BackgroundAdd> adding_; // the worker probing added files, while it runs
    bool batchActive_ = false; // between BatchStarted and BatchCompleted / BatchStopped
    bool timerEnabled_ = false;
    hosting::MainThreadScheduler::TimerId tickTimer_{};
    bool tickScheduled_ = false;
    std::set<std::string> reservedOutputs_; // names given to rows of the running batch
    bool parallel_ = false;                 // the batch runs all its tasks at once
    std::vector<int> taskRows_;             // parallel batch: row of each task index
    // Counts the engine's ClearTasks. An event carries the count of when it was raised (on a
    // worker, under the engine's lock, so never across a ClearTasks) and is handled only
    // while the count is still the same.
    std::atomic<unsigned> taskGeneration_{0};
    // Closures posted to the main thread check this before touching the workflow.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace corvina::app
