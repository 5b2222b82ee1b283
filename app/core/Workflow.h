// The conversion workflow behind the main window: the file list, the batch state, the job
// routine and the sequencing. The window (and the headless front end) is a view over it:
// it shows Rows, the status texts and the boxes, forwards the user's commands, and gives
// the workflow its dialogs and a main-thread scheduler. Everything here runs on the main
// thread; the engine's events are handed over to it through the scheduler.
#pragma once

#include "app/core/ConversionItem.h"
#include "app/core/Dialogs.h"
#include "hosting/MainThreadScheduler.h"
#include "hosting/TranscodeEngine.h"
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

class ConversionWorkflow {
public:
    ConversionWorkflow(hosting::TTranscodeEngine& engine, profiles::MainWindowBoxes& boxes,
                       IDialogs& dialogs, hosting::MainThreadScheduler& scheduler);
    ~ConversionWorkflow();
    ConversionWorkflow(const ConversionWorkflow&) = delete;
    ConversionWorkflow& operator=(const ConversionWorkflow&) = delete;

    // --- What the view shows and the user sets ---
    std::vector<ConversionItem> Rows;
    int SelectedRow = -1;
    std::string OutputFolder;       // EditOutputFolder
    bool OverwriteExisting = false; // the options dialog's overwrite check box
    std::string StatusPanel1;       // "File Size : ... KBytes"
    int ProgressBar = 0;            // 0..100 (larger values show full)
    std::string LabelVolume;
    int ConversionVolume = 255;
    // Where wrapper scripts go (a per-user temporary folder) and the program folder.
    std::string ScriptFolder;
    std::string ProgramFolder;
    BatchState Batch;

    // --- Notifications to the view (main thread) ---
    std::function<void(int row)> OnRowChanged;
    std::function<void()> OnStateChanged; // batch state, status texts, controls
    std::function<void()> OnStopPreview;  // the preview stops before a batch or adding
    // After a job was built, before it is handed over; returning false hands nothing over
    // and leaves the row as it is (used to print jobs without converting).
    std::function<bool(const EngineJob&)> OnJobBuilt;
    // The engine's reason when a row fails (the window does not show it; a log may).
    std::function<void(int row, const std::string& text)> OnRowError;

    // --- Commands ---
    void SetVolumePosition(int position); // TrackBar1Change
    void ButtonAddFileClick();            // through the open dialog
    void AddFiles(const std::vector<std::string>& files);
    void Start(); // ButtonConvertClick
    // The headless batch with several tasks at once: every checked row becomes a task up
    // front (output names reserved as they are chosen), then the engine runs `threads` of
    // them at a time. Ends with the same completion as Start.
    void StartParallel(int threads);
    void Stop(); // ButtonStopConvertClick
    void RemoveSelected();
    void ClearAll();
    void CheckAll(bool checked);
    void BrowseForFolder();
    void ChangeOutputFormat(); // ComboOutputFormatChange
    bool CanClose() const { return !Batch.Converting; }

    bool TimerEnabled() const { return timerEnabled_; }
    // One tick of the 200 ms sequencing timer (the workflow schedules its own ticks; tests
    // and hosts may call it directly).
    void TimerTick();

    // The engine's events, on the main thread.
    void EngineProgress(int index, int frameNumber, int currentDurationMs, int64_t currentSize,
                        int totalDurationMs);
    void EngineTerminate(int index, bool exception, const std::string& message = {});

    // The job routine: the next checked row becomes the engine's task.
    void JobRoutine();

    // Builds the job of one row (steps of naming, wrapper script, records); throws on a
    // choice text a profile step cannot parse or a script that cannot be written.
    EngineJob BuildJob(int row, const std::string& extension);

private:
    void ClearEngineTasks(); // the engine's ClearTasks; events already raised go stale
    void SetTimer(bool enabled);
    void ScheduleTick();
    void RowChanged(int row);
    void StateChanged();
    void FailRowAndMoveOn(int row); // steps 12 and 15 of the job routine
    bool CheckStart();              // steps 1-6 of Start
    int RowOfTask(int index) const;
    void RowError(int row, const std::string& text);
    void CompleteBatch();
    std::string WriteWrapperScript(const std::string& inputPath);
    void RemoveOldScripts();

    hosting::TTranscodeEngine& engine_;
    profiles::MainWindowBoxes& boxes_;
    IDialogs& dialogs_;
    hosting::MainThreadScheduler& scheduler_;
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
