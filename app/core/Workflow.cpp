#include "app/core/Workflow.h"

#include "app/core/AddPaths.h"
#include "app/core/RowTexts.h"
#include "app/core/ScriptFolder.h"
#include "profiles/EngineSteps.h"
#include "profiles/QualityPresets.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace corvina::app {

namespace {

constexpr int kTimerIntervalMs = 200;
constexpr const char* kTitleInformation = "Information";
constexpr const char* kAllCompleted = "All Conversions Completed";
constexpr int kNoTimeLimitMs = 36000000; // 10 hours, for inputs of unknown length
constexpr int kInitialDropDownRows = 25;

bool FolderExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The engine's text for a refused output names only the file. The usual cause is the
// output folder: gone since the batch started, or not writable. Name that cause too.
std::string RefusedOutputText(const std::string& outputPath, const std::string& engineText) {
    const size_t slash = outputPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : outputPath.substr(0, slash);
    int cause = 0;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0)
        cause = errno;
    else if (!S_ISDIR(st.st_mode))
        cause = ENOTDIR;
    else if (access(folder.c_str(), W_OK | X_OK) != 0)
        cause = errno;
    if (cause == 0)
        return engineText;
    std::string reason =
        cause == ENOENT || cause == ENOTDIR ? "no such file or directory" : std::strerror(cause);
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return engineText + "\n" + folder + ": " + reason;
}

// The row of one added file: its cells from the probe, or an "Error" row. The "Output"
// cell is written when the row joins the list.
ConversionItem ProbedRow(hosting::TMediaProbe& probe, const std::string& file) {
    ConversionItem row;
    row.Caption = file;
    if (probe.LoadFile(file)) {
        if (probe.VideoStreamCount() > 0) {
            hosting::VideoStreamInfo video;
            probe.GetVideoStreamInfo(video);
            row.Cells[kCellVideoSize] =
                std::to_string(video.Width) + "x" + std::to_string(video.Height);
            row.Cells[kCellFrameRate] = FrameRateText(video.FrameRateNum, video.FrameRateDen);
        } else {
            row.Cells[kCellVideoSize] = " ";
            row.Cells[kCellFrameRate] = " ";
        }
        hosting::FormatInfo format;
        probe.GetFormatInfo(format);
        row.Cells[kCellDuration] = DurationText(format.Duration);
        row.DurationUs = format.Duration;
    } else {
        row.State = RowState::Error;
        row.Cells[kCellProgress] = kProgressError;
        row.Reason = probe.LastError();
    }
    return row;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

void InitialiseBoxes(profiles::MainWindowBoxes& boxes) {
    profiles::FillOutputFormatList(boxes);
    boxes.ComboOutputFormat.dropDownCount = kInitialDropDownRows;
    boxes.ComboAspectRatio =
        profiles::ChoiceBox::WithItems({"Original", "4:3 (Standard", "16:9 (Wide Screen)"}, 0);
    boxes.ComboLetterBox = profiles::ChoiceBox::WithItems({"None", "LetterBox"}, 0);
    for (profiles::ChoiceBox* quality : {&boxes.ComboVideoQuality, &boxes.ComboAudioQuality})
        *quality =
            profiles::ChoiceBox::WithItems({"Highest", "Higher", "Normal", "Lower", "Lowest"}, 2);
}

ConversionWorkflow::ConversionWorkflow(hosting::TTranscodeEngine& engine,
                                       profiles::MainWindowBoxes& boxes, IDialogs& dialogs,
                                       hosting::MainThreadScheduler& scheduler)
    : engine_(engine), boxes_(boxes), dialogs_(dialogs), scheduler_(scheduler) {
    ScriptFolder = DefaultScriptFolder();
    ProgramFolder = hosting::ProgramFolder();
    SetVolumePosition(5);
    // The engine reports on its worker threads: hand every event to the main thread, in
    // the order raised. The terminate closure writes the row and clears Converting in one
    // step, so the timer cannot start the next job in between.
    // An event still on its way when its task is freed belongs to a job that is gone (a
    // stopped batch's end arriving after the next batch started): it is dropped, or it would
    // mark the new job's row and end the new batch.
    std::weak_ptr<bool> alive = alive_;
    engine_.OnProgress = [this, alive](int index, int frameNumber, int fps, int currentDuration,
                                       float, float, int64_t currentSize, int totalDuration) {
        const unsigned generation = taskGeneration_;
        scheduler_.Post([=, this] {
            if (alive.lock() && generation == taskGeneration_)
                EngineProgress(index, frameNumber, currentDuration, currentSize, totalDuration,
                               fps);
        });
    };
    engine_.OnTerminate = [this, alive](int index, bool, bool exception,
                                        const std::string& message) {
        const unsigned generation = taskGeneration_;
        scheduler_.Post([=, this] {
            if (alive.lock() && generation == taskGeneration_)
                EngineTerminate(index, exception, message);
        });
    };
}

// The worker that probes added files in the background, and its cancel flag.
struct ConversionWorkflow::BackgroundAdd {
    std::atomic<bool> cancel{false};
    std::thread thread;
};

ConversionWorkflow::~ConversionWorkflow() {
    if (adding_) {
        adding_->cancel = true;
        adding_->thread.join();
    }
    *alive_ = false;
    alive_.reset();
    engine_.OnProgress = nullptr;
    engine_.OnTerminate = nullptr;
    if (tickScheduled_)
        scheduler_.Cancel(tickTimer_);
}

void ConversionWorkflow::AddObserver(WorkflowObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void ConversionWorkflow::RemoveObserver(WorkflowObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void ConversionWorkflow::ClearEngineTasks() {
    engine_.ClearTasks();
    // The freed tasks report nothing more; what they reported before is now stale.
    ++taskGeneration_;
}

void ConversionWorkflow::RowChanged(int row) {
    Notify([row](WorkflowObserver& o) { o.RowChanged(row); });
}

void ConversionWorkflow::StatusChanged() {
    Notify([](WorkflowObserver& o) { o.StatusChanged(); });
}

void ConversionWorkflow::BoxesChanged() {
    Notify([](WorkflowObserver& o) { o.BoxesChanged(); });
}

void ConversionWorkflow::StopPreview() {
    Notify([](WorkflowObserver& o) { o.StopPreview(); });
}

void ConversionWorkflow::SetRowState(int row, RowState state) {
    Rows[row].State = state;
    Rows[row].Cells[kCellProgress] = StateText(state);
}

void ConversionWorkflow::FinishRow(int row, RowState state, const std::string& reason) {
    SetRowState(row, state);
    if (state == RowState::Fail)
        Rows[row].Reason = reason;
    RowChanged(row);
    Notify([row](WorkflowObserver& o) { o.JobFinished(row); });
}

void ConversionWorkflow::ClearProgressCells() {
    for (size_t i = 0; i < Rows.size(); i++) {
        SetRowState(static_cast<int>(i), RowState::None);
        Rows[i].Reason.clear();
        RowChanged(static_cast<int>(i));
    }
}

void ConversionWorkflow::LockControls() {
    profiles::DisableConversionControls(boxes_);
    BoxesChanged();
}

void ConversionWorkflow::UnlockControls() {
    profiles::EnableConversionControls(boxes_);
    BoxesChanged();
}

void ConversionWorkflow::SetVolumePosition(int position) {
    const VolumeStep& step = VolumeForPosition(position);
    VolumePosition = position;
    LabelVolume = step.Label;
    ConversionVolume = step.Volume;
    StatusChanged();
}

// ------------------------------------------------------------------ start-up and close

bool ConversionWorkflow::LoadLibraries() {
    if (engine_.LoadLibraries(ProgramFolder + "Common", true))
        return true;
    dialogs_.ShowMessage("Some files are missing. Please re-install this software",
                         kTitleInformation);
    return false;
}

void ConversionWorkflow::Initialise() {
    SetVolumePosition(5);
    InitialiseBoxes(boxes_);
    SetTimer(false);
    BoxesChanged();
}

void ConversionWorkflow::WindowShown() {
    ChangeOutputFormat();
    profiles::ApplyQualityPreset(boxes_);
    BoxesChanged();
}

bool ConversionWorkflow::CloseQuery() {
    if (Batch.Converting)
        return false;
    engine_.OnBeforeHook = nullptr;
    engine_.OnCustomHook = nullptr;
    engine_.OnLog = nullptr;
    engine_.OnProgress = nullptr;
    engine_.OnTerminate = nullptr;
    engine_.Stop();
    return true;
}

void ConversionWorkflow::Close() {
    try {
        if (SaveSettings)
            SaveSettings();
    } catch (...) {
        // A store that cannot be written must not keep the window open.
    }
    StopPreview();
}

// ------------------------------------------------------------------ the list

bool ConversionWorkflow::BeginAdding() {
    StopPreview();
    if (Batch.Converting || Batch.AddingFiles)
        return false;
    ClearEngineTasks();
    ClearProgressCells();
    Batch.AddingFiles = true;
    StatusChanged();
    return true;
}

void ConversionWorkflow::ButtonAddFileClick() {
    if (!BeginAdding())
        return;
    std::vector<std::string> files;
    try {
        files = dialogs_.OpenFiles(profiles::BuildOpenFilter());
    } catch (...) {
        // Errors of the add procedure end it silently.
    }
    AddChosenFiles(std::move(files));
}

void ConversionWorkflow::AddDroppedPaths(const std::vector<std::string>& paths) {
    if (!BeginAdding())
        return;
    AddChosenFiles(ExpandDroppedPaths(paths));
}

void ConversionWorkflow::AddChosenFiles(std::vector<std::string> files) {
    if (ProbeInBackground && !files.empty()) {
        StartBackgroundAdd(std::move(files));
        return;
    }
    try {
        AddFiles(files);
    } catch (...) {
        // Errors of the add procedure end it silently.
    }
    Batch.AddingFiles = false;
    StatusChanged();
}

void ConversionWorkflow::AddFiles(const std::vector<std::string>& files) {
    hosting::TMediaProbe& probe = engine_.Probe();
    for (const std::string& file : files)
        AppendRow(ProbedRow(probe, file));
}

void ConversionWorkflow::AppendRow(ConversionItem row) {
    if (row.State != RowState::Error)
        row.Cells[kCellOutput] = boxes_.OutputExtension;
    Rows.push_back(std::move(row));
    const int index = static_cast<int>(Rows.size()) - 1;
    Notify([index](WorkflowObserver& o) { o.RowsInserted(index, 1); });
}

void ConversionWorkflow::StartBackgroundAdd(std::vector<std::string> files) {
    adding_ = std::make_unique<BackgroundAdd>();
    BackgroundAdd* job = adding_.get();
    std::weak_ptr<bool> alive = alive_;
    // The worker probes with a probe of its own (the component's belongs to the main thread)
    // and hands each row over as it is done; an error ends the loop as it ends the
    // synchronous one. The destructor cancels and joins it, so `this` outlives it.
    job->thread = std::thread([this, alive, job, files = std::move(files)] {
        hosting::TMediaProbe probe;
        for (const std::string& file : files) {
            if (job->cancel)
                break;
            ConversionItem row;
            try {
                row = ProbedRow(probe, file);
            } catch (...) {
                break;
            }
            scheduler_.Post([this, alive, job, row = std::move(row)]() mutable {
                if (alive.lock() && adding_.get() == job)
                    AppendRow(std::move(row));
            });
        }
        scheduler_.Post([this, alive, job] {
            if (alive.lock() && adding_.get() == job)
                FinishBackgroundAdd();
        });
    });
}

void ConversionWorkflow::FinishBackgroundAdd() {
    adding_->thread.join(); // it has posted its last closure: this one
    adding_.reset();
    Batch.AddingFiles = false;
    StatusChanged();
}

void ConversionWorkflow::RemoveSelected() {
    if (Batch.AddingFiles || SelectedRow < 0 || SelectedRow >= static_cast<int>(Rows.size()))
        return;
    const int row = SelectedRow;
    Rows.erase(Rows.begin() + row);
    SelectedRow = -1;
    Notify([row](WorkflowObserver& o) { o.RowRemoved(row); });
    Notify([](WorkflowObserver& o) { o.SelectionChanged(-1); });
}

void ConversionWorkflow::ClearAll() {
    if (Batch.AddingFiles || Batch.Converting)
        return;
    ClearEngineTasks();
    Rows.clear();
    SelectedRow = -1;
    Notify([](WorkflowObserver& o) { o.RowsReset(); });
    Notify([](WorkflowObserver& o) { o.SelectionChanged(-1); });
}

void ConversionWorkflow::CheckAll(bool checked) {
    for (size_t i = 0; i < Rows.size(); i++) {
        Rows[i].Checked = checked;
        RowChanged(static_cast<int>(i));
    }
}

void ConversionWorkflow::SetChecked(int row, bool checked) {
    if (row < 0 || row >= static_cast<int>(Rows.size()) || Rows[row].Checked == checked)
        return;
    Rows[row].Checked = checked;
    RowChanged(row);
}

void ConversionWorkflow::SelectRow(int row) {
    if (row < -1 || row >= static_cast<int>(Rows.size()) || row == SelectedRow)
        return;
    SelectedRow = row;
    Notify([row](WorkflowObserver& o) { o.SelectionChanged(row); });
}

void ConversionWorkflow::BrowseForFolder() {
    if (Batch.Converting)
        return;
    std::string folder = OutputFolder;
    if (dialogs_.BrowseForFolder("Choose the required output folder below :", folder))
        SetOutputFolder(folder);
}

void ConversionWorkflow::SetOutputFolder(const std::string& folder) {
    OutputFolder = folder;
    StatusChanged();
}

profiles::FormatChangeHooks ConversionWorkflow::FormatHooks() {
    profiles::FormatChangeHooks hooks;
    hooks.WriteOutputColumn = [this](const std::string& extension) {
        for (size_t i = 0; i < Rows.size(); i++) {
            Rows[i].Cells[kCellOutput] = extension;
            RowChanged(static_cast<int>(i));
        }
    };
    hooks.DropDownCount = [this] { return DropDownItems; };
    return hooks;
}

void ConversionWorkflow::ChangeOutputFormat() {
    profiles::SelectOutputFormat(boxes_, FormatHooks());
    BoxesChanged();
}

void ConversionWorkflow::SelectOutputFormat(int index) {
    boxes_.ComboOutputFormat.Select(index);
    ChangeOutputFormat();
}

void ConversionWorkflow::SelectVideoQuality(int index) {
    boxes_.ComboVideoQuality.Select(index);
    profiles::ApplyQualityPreset(boxes_);
    BoxesChanged();
}

void ConversionWorkflow::SelectAudioQuality(int index) {
    boxes_.ComboAudioQuality.Select(index);
    profiles::ApplyQualityPreset(boxes_);
    BoxesChanged();
}

void ConversionWorkflow::SelectItem(profiles::ChoiceBox& box, int index) {
    box.Select(index);
    BoxesChanged();
}

void ConversionWorkflow::DropDownOutputFormat() {
    profiles::ApplyDropDownCount(boxes_, FormatHooks().DropDownCount);
    BoxesChanged();
}

void ConversionWorkflow::VideoQualityMouseEnter() {
    boxes_.ComboVideoQuality.hint = boxes_.ComboVideoBitrate.Text();
    BoxesChanged();
}

void ConversionWorkflow::AudioQualityMouseEnter() {
    boxes_.ComboAudioQuality.hint = boxes_.ComboAudioBitrate.Text();
    BoxesChanged();
}

void ConversionWorkflow::SetOverwrite(bool overwrite) {
    OverwriteExisting = overwrite;
    StatusChanged();
}

void ConversionWorkflow::SetDropDownItems(int count) {
    DropDownItems = count;
    DropDownOutputFormat();
}

// ------------------------------------------------------------------ the batch

void ConversionWorkflow::SetTimer(bool enabled) {
    timerEnabled_ = enabled;
    if (!enabled) {
        if (tickScheduled_)
            scheduler_.Cancel(tickTimer_);
        tickScheduled_ = false;
        return;
    }
    ScheduleTick();
}

void ConversionWorkflow::ScheduleTick() {
    if (tickScheduled_ || !timerEnabled_)
        return;
    tickScheduled_ = true;
    std::weak_ptr<bool> alive = alive_;
    tickTimer_ = scheduler_.PostDelayed(kTimerIntervalMs, [this, alive] {
        if (!alive.lock())
            return;
        tickScheduled_ = false;
        TimerTick();
        ScheduleTick();
    });
}

bool ConversionWorkflow::CheckStart() {
    StopPreview();
    if (Batch.AddingFiles)
        return false;
    ClearProgressCells();
    if (Rows.empty()) {
        dialogs_.ShowMessage("Please Add Files To Convert!", kTitleInformation);
        return false;
    }
    if (OutputFolder.empty()) {
        dialogs_.ShowMessage("Please select an output folder!", kTitleInformation);
        BrowseForFolder();
        return false;
    }
    if (!FolderExists(Trim(OutputFolder))) {
        dialogs_.ShowMessage("The output folder \"" + OutputFolder +
                                 "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a "
                                 "new output folder.",
                             kTitleInformation);
        BrowseForFolder();
        return false;
    }
    return true;
}

void ConversionWorkflow::Start() {
    if (!CheckStart())
        return;
    parallel_ = false;
    Batch.Converting = true;
    SetTimer(true);
    Batch.StopRequested = false;
    LockControls();
    ClearEngineTasks();
    reservedOutputs_.clear();
    Batch.CurrentRow = -1;
    batchActive_ = true;
    Notify([](WorkflowObserver& o) { o.BatchStarted(); });
    StatusChanged();
    JobRoutine();
}

void ConversionWorkflow::TimerTick() {
    if (Batch.Converting)
        return;
    if (Batch.BatchFinished) {
        CompleteBatch();
        return;
    }
    if (++Batch.WaitTicks < 2)
        return;
    Batch.WaitTicks = 0;
    Batch.Converting = true;
    JobRoutine();
}

void ConversionWorkflow::EndBatchCompleted() {
    if (!batchActive_)
        return;
    batchActive_ = false;
    Notify([](WorkflowObserver& o) { o.BatchCompleted(); });
}

void ConversionWorkflow::EndBatchStopped() {
    if (!batchActive_)
        return;
    batchActive_ = false;
    Notify([](WorkflowObserver& o) { o.BatchStopped(); });
}

void ConversionWorkflow::CompleteBatch() {
    SetTimer(false);
    ClearEngineTasks();
    EndBatchCompleted();
    dialogs_.ShowMessage(kAllCompleted, kTitleInformation);
    ProgressBar = 0;
    UnlockControls();
    Batch.Converting = false;
    StatusChanged();
}

void ConversionWorkflow::Stop() {
    if (Batch.Converting) {
        engine_.Pause();
        if (!dialogs_.AskYesNo("Stop all conversions?", "Confirmation")) {
            engine_.Resume();
            return;
        }
        Batch.StopRequested = true;
    }
    Batch.BatchFinished = true;
    SetTimer(false);
    engine_.Stop();
    ProgressBar = 0;
    UnlockControls();
    Batch.Converting = false;
    EndBatchStopped();
    StatusChanged();
}

int ConversionWorkflow::RowOfTask(int index) const {
    // The window's queue has one task: its row is CurrentRow whatever the index says.
    if (!parallel_)
        return Batch.CurrentRow;
    return index >= 0 && index < static_cast<int>(taskRows_.size()) ? taskRows_[index] : -1;
}

void ConversionWorkflow::EngineProgress(int index, int frameNumber, int currentDurationMs,
                                        int64_t currentSize, int totalDurationMs, int fps) {
    const int row = RowOfTask(index);
    if (row < 0 || row >= static_cast<int>(Rows.size()))
        return;
    ConversionItem& item = Rows[row];
    item.Cells[kCellProgress] = ProgressCellText(currentDurationMs, totalDurationMs);
    item.State = RowState::Converting;
    item.Percent = ProgressPercent(currentDurationMs, totalDurationMs);
    item.FrameNumber = frameNumber;
    item.Fps = fps;
    item.CurrentDurationMs = currentDurationMs;
    item.TotalDurationMs = totalDurationMs;
    item.BytesWritten = currentSize;
    StatusPanel1 = FileSizeStatusText(currentSize);
    item.Cells[kCellFrames] = frameNumber == -1 ? " " : std::to_string(frameNumber);
    ProgressBar = item.Percent;
    RowChanged(row);
    StatusChanged();
    Notify([row](WorkflowObserver& o) { o.ProgressChanged(row); });
}

void ConversionWorkflow::EngineTerminate(int index, bool exception, const std::string& message) {
    const RowState ended = exception             ? RowState::Fail
                           : Batch.StopRequested ? RowState::Abort
                                                 : RowState::Done;
    if (parallel_) {
        const int row = RowOfTask(index);
        if (index >= 0 && row >= 0 && row < static_cast<int>(Rows.size()))
            FinishRow(row, ended, message);
        if (index < 0 && Batch.Converting) {
            parallel_ = false;
            Batch.BatchFinished = true;
            Batch.Converting = false;
            if (!Batch.StopRequested)
                CompleteBatch();
        }
        StatusChanged();
        return;
    }
    Batch.Converting = false;
    const int row = Batch.CurrentRow;
    if (index >= 0 && row >= 0 && row < static_cast<int>(Rows.size()))
        FinishRow(row, ended, message);
    if (Batch.BatchFinished && index < 0) {
        ClearEngineTasks();
        ProgressBar = 0;
        Batch.Converting = false;
    }
    StatusChanged();
}

// ------------------------------------------------------------------ the job routine

void ConversionWorkflow::RemoveOldScripts() {
    std::string folder = ScriptFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* e = readdir(dir))
        if (fnmatch("*.avs", e->d_name, 0) == 0)
            std::remove((folder + e->d_name).c_str());
    closedir(dir);
}

std::string ConversionWorkflow::WriteWrapperScript(const std::string& inputPath) {
    EnsureScriptFolder(ScriptFolder);
    const std::string script = UniqueOutputName(ScriptFolder + "r", ".avs");
    std::ofstream out(script, std::ios::binary | std::ios::trunc);
    out << ScriptPluginLine(ProgramFolder) << "\r\n" << ScriptSourceLine(inputPath) << "\r\n";
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + script);
    return script;
}

EngineJob ConversionWorkflow::BuildJob(int row, const std::string& extension) {
    EngineJob job;
    job.Row = row;
    const std::string input = Trim(Rows[row].Caption);
    std::string folder = OutputFolder;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    const std::string name = FileNamePart(input);
    if (OverwriteExisting) {
        const size_t dot = name.find_last_of('.');
        job.OutputPath =
            folder + (dot == std::string::npos ? name : name.substr(0, dot)) + extension;
    } else {
        // Names given to earlier rows of this batch count as taken, also before their files
        // exist (jobs that run at once never share a name).
        job.OutputPath = UniqueOutputName(folder + name, extension, reservedOutputs_);
    }
    reservedOutputs_.insert(job.OutputPath);

    job.InputPath = input;
    if (IsRealMediaInput(input)) {
        SetRowState(row, RowState::Loading);
        RowChanged(row);
        job.InputPath = WriteWrapperScript(input);
    }

    hosting::InitInputOptions(job.Input);
    job.Input.FileName = job.InputPath;
    job.Input.StartTime = 0;

    hosting::InitOutputOptions(job.Output);
    job.Output.FrameRate = profiles::ParseFrameRate(boxes_.ComboVideoFramerate.Text());
    profiles::ApplyProfileOptions(boxes_, row, job.Output);
    job.Output.AudioVolume = ConversionVolume;
    // No selection (a typed text that matches no item) gives the job no aspect ratio of its
    // own: the engine keeps the source's.
    switch (boxes_.ComboAspectRatio.ItemIndex()) {
    case 0:
        job.Output.AspectRatio = SourceAspectText(Rows[row].Cells[kCellVideoSize]);
        break;
    case 1:
        job.Output.AspectRatio = "4:3";
        break;
    case 2:
        job.Output.AspectRatio = "16:9";
        break;
    default:
        break;
    }
    const std::string& duration = Rows[row].Cells[kCellDuration];
    if (duration == "00:00:00" || duration == "Unknown")
        job.Output.RecordingTime = kNoTimeLimitMs;
    return job;
}

int ConversionWorkflow::HandOver(int row, const EngineJob& job) {
    const int task = engine_.AddTask(job.InputPath, &job.Input);
    if (task < 0) {
        FinishRow(row, RowState::Fail, engine_.LastError());
        return -1;
    }
    if (!engine_.SetOutputFile(task, job.OutputPath, &job.Output)) {
        FinishRow(row, RowState::Fail, RefusedOutputText(job.OutputPath, engine_.LastError()));
        engine_.RemoveTask(task);
        return -1;
    }
    return task;
}

void ConversionWorkflow::MoveOnAfterFailedSetUp() {
    if (Batch.IsLastRow) {
        // The failed row was the last one: the batch ends here, with its completion.
        SetTimer(false);
        EndBatchCompleted();
        dialogs_.ShowMessage(kAllCompleted, kTitleInformation);
        engine_.Stop();
        ProgressBar = 0;
        UnlockControls();
        Batch.Converting = false;
        Batch.BatchFinished = true;
    } else {
        Batch.WaitTicks = 0;
        Batch.Converting = false;
    }
    StatusChanged();
}

void ConversionWorkflow::JobRoutine() {
    // Nothing of the previous job stays: its task, the bar, old wrapper scripts.
    engine_.Stop();
    ClearEngineTasks();
    ProgressBar = 0;
    RemoveOldScripts();
    const std::string extension = "." + Lower(boxes_.OutputExtension);
    Batch.IsLastRow = false;
    Batch.BatchFinished = false;
    ClearEngineTasks();

    // The next checked row, or the last row.
    const int count = static_cast<int>(Rows.size());
    if (count == 0) {
        Batch.Converting = false;
        Batch.BatchFinished = true;
        StatusChanged();
        return;
    }
    Batch.CurrentRow++;
    while (Batch.CurrentRow < count - 1 && !Rows[Batch.CurrentRow].Checked)
        Batch.CurrentRow++;
    if (Batch.CurrentRow > count - 1)
        Batch.CurrentRow = count - 1;
    const int row = Batch.CurrentRow;
    Batch.IsLastRow = row == count - 1;

    bool handedOver = false;
    if (!Rows[row].Checked) {
        Batch.Converting = false;
    } else {
        try {
            EngineJob job = BuildJob(row, extension);
            if (OnJobBuilt && !OnJobBuilt(job)) {
                Batch.Converting = false;
            } else {
                if (HandOver(row, job) < 0) {
                    MoveOnAfterFailedSetUp();
                    return;
                }
                handedOver = true;
            }
        } catch (const std::exception& e) {
            FinishRow(row, RowState::Fail, e.what());
            engine_.Stop();
            ProgressBar = 0;
            Batch.WaitTicks = 0;
            Batch.Converting = false;
        }
    }

    // Start what was handed over; the last row ends the batch once started.
    try {
        engine_.Start(1);
    } catch (const std::exception&) {
        engine_.Stop();
        UnlockControls();
    }
    if (handedOver)
        Notify([row](WorkflowObserver& o) { o.JobStarted(row); });
    if (Batch.IsLastRow)
        Batch.BatchFinished = true;
    StatusChanged();
}

void ConversionWorkflow::StartParallel(int threads) {
    if (!CheckStart())
        return;
    parallel_ = true;
    Batch.Converting = true;
    Batch.StopRequested = false;
    Batch.BatchFinished = false;
    Batch.CurrentRow = -1;
    LockControls();
    engine_.Stop();
    ClearEngineTasks();
    reservedOutputs_.clear();
    taskRows_.clear();
    RemoveOldScripts();
    batchActive_ = true;
    Notify([](WorkflowObserver& o) { o.BatchStarted(); });
    const std::string extension = "." + Lower(boxes_.OutputExtension);
    for (int row = 0; row < static_cast<int>(Rows.size()); row++) {
        if (!Rows[row].Checked)
            continue;
        Batch.CurrentRow = row;
        try {
            EngineJob job = BuildJob(row, extension);
            if (OnJobBuilt && !OnJobBuilt(job))
                continue;
            if (HandOver(row, job) >= 0)
                taskRows_.push_back(row);
        } catch (const std::exception& e) {
            FinishRow(row, RowState::Fail, e.what());
        }
    }
    if (taskRows_.empty()) {
        parallel_ = false;
        Batch.BatchFinished = true;
        Batch.Converting = false;
        CompleteBatch();
        return;
    }
    engine_.Start(threads);
    for (int row : taskRows_)
        Notify([row](WorkflowObserver& o) { o.JobStarted(row); });
    StatusChanged();
}

} // namespace corvina::app
