#include "hosting/EngineComponent.h"

#include "engine/OptionParsing.h"

#include "binding/Binding.h"
#include "hosting/LogRouter.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <exception>

namespace corvina::hosting {

namespace {

constexpr int kMinProgressInterval = 100; // ms
constexpr int kTimerModeDelay = 100;      // ms between a termination and the next start
constexpr double kUnixEpochDays = 25569;  // 1 January 1970 in days since 30 December 1899

using engine::TrimBlanks;

// A whole decimal 64-bit integer (optional sign), else -1.
int64_t ReadInt64(const std::string& text) {
    const std::string s = TrimBlanks(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    if (i == s.size())
        return -1;
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return -1;
        const uint64_t digit = static_cast<uint64_t>(s[i] - '0');
        if (value > (uint64_t{INT64_MAX} - digit) / 10)
            return -1;
        value = value * 10 + digit;
    }
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

const char* TargetName(int target) {
    static const char* const kTargets[] = {nullptr, "vcd", "svcd", "dvd"};
    return target >= 1 && target <= 3 ? kTargets[target] : nullptr;
}

const char* TargetNormName(int norm) {
    return norm == 1 ? "pal" : norm == 2 ? "ntsc" : "auto";
}

const char* DefaultNormName(int norm) {
    return norm == 1 ? "pal" : "ntsc";
}

engine::HookAction ToEngine(THookAction a) {
    switch (a) {
    case THookAction::haIgnore:
        return engine::HookAction::Ignore;
    case THookAction::haStop:
        return engine::HookAction::Stop;
    case THookAction::haContinue:
        break;
    }
    return engine::HookAction::Continue;
}

THookAction FromEngine(engine::HookAction a) {
    switch (a) {
    case engine::HookAction::Ignore:
        return THookAction::haIgnore;
    case engine::HookAction::Stop:
        return THookAction::haStop;
    case engine::HookAction::Continue:
        break;
    }
    return THookAction::haContinue;
}

} // namespace

// ---------------------------------------------------------------- helpers

int LibraryLevel(TLogLevel level) {
    return static_cast<int>(level) - 1;
}

TLogLevel LogLevelOfLibraryLevel(int level) {
    if (level < 0)
        return TLogLevel::llQuiet;
    if (level >= 4)
        return TLogLevel::llAll;
    return static_cast<TLogLevel>(level + 1);
}

std::vector<std::pair<std::string, std::string>> SplitExtOptions(const std::string& text) {
    // The same line rules as the engine's option text.
    return engine::SplitOptionText(text);
}

std::vector<std::pair<int64_t, int64_t>> ParseHookRanges(const std::string& text) {
    std::string s = TrimBlanks(text);
    std::vector<std::pair<int64_t, int64_t>> ranges;
    ranges.reserve(static_cast<size_t>(std::count(s.begin(), s.end(), ',')) + 1);
    for (;;) {
        const size_t comma = s.find(',');
        const std::string item = TrimBlanks(s.substr(0, comma));
        const size_t dash = item.find('-');
        // Milliseconds to microseconds, saturating: a number beyond about 292 000 years
        // overflowed the multiplication (found by fuzzing); it now means "for ever".
        auto us = [](int64_t ms) {
            return std::clamp(ms, INT64_MIN / 1000, INT64_MAX / 1000) * 1000;
        };
        const int64_t start = us(ReadInt64(item.substr(0, dash)));
        const int64_t end = us(dash == std::string::npos ? -1 : ReadInt64(item.substr(dash + 1)));
        if (end >= start && end >= 0)
            ranges.emplace_back(start, end);
        if (comma == std::string::npos)
            break;
        s = s.substr(comma + 1);
    }
    return ranges;
}

int64_t UnixTimeOfLocalDays(double days) {
    // Taken as UTC first, then corrected by the offset of the local time found there; the
    // second look settles a date near a daylight-saving change.
    const double local = (days - kUnixEpochDays) * 86400.0;
    time_t guess = static_cast<time_t>(std::llround(local));
    long offset = 0;
    for (int pass = 0; pass < 2; ++pass) {
        struct tm tm {};
        const time_t at = guess - offset;
        if (!localtime_r(&at, &tm))
            break;
        offset = tm.tm_gmtoff;
    }
    // round((days - 25569 + B / 1440) * 86400) with B = -offset / 60 minutes
    return std::llround(local - static_cast<double>(offset));
}

// ---------------------------------------------------------------- tasks

TTranscoder::TTranscoder() {
    OnThreadStart = [this] { ThreadID = std::this_thread::get_id(); };
}

TTranscoder::~TTranscoder() {
    // The worker reads this object's members until it ends: wait here, before they go.
    RequestStop();
    Wait();
}

int TTranscoderList::Add(std::unique_ptr<TTranscoder> task) {
    task->Index = Count();
    items_.push_back(std::move(task));
    return items_.back()->Index;
}

std::unique_ptr<TTranscoder> TTranscoderList::Take(int index) {
    if (index < 0 || index >= Count())
        return nullptr;
    std::unique_ptr<TTranscoder> task = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    for (int i = index; i < Count(); ++i)
        items_[static_cast<size_t>(i)]->Index = i;
    task->Index = -1;
    return task;
}

std::vector<std::unique_ptr<TTranscoder>> TTranscoderList::TakeAll() {
    std::vector<std::unique_ptr<TTranscoder>> all = std::move(items_);
    items_.clear();
    for (auto& task : all)
        task->Index = -1;
    return all;
}

TTranscoder* TTranscoderList::Items(int index) const {
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].get() : nullptr;
}

TTranscoder* TTranscoderList::FindByThreadID(std::thread::id id) const {
    if (id == std::thread::id())
        return nullptr;
    for (const auto& task : items_)
        if (task->ThreadID.load() == id)
            return task.get();
    return nullptr;
}

// ---------------------------------------------------------------- component

TCustomTranscodeEngine::TCustomTranscodeEngine(MainThreadScheduler* scheduler)
    : scheduler_(scheduler) {
    probe_.OnLog = [](int level, const std::string& text) { RouteLogText(level, text); };
    ComponentRegistry::Instance().Add(this);
    registered_ = true;
}

TCustomTranscodeEngine::~TCustomTranscodeEngine() {
    Shutdown();
}

void TCustomTranscodeEngine::Shutdown() {
    if (registered_) {
        ComponentRegistry::Instance().Remove(this);
        registered_ = false;
    }
    std::vector<std::unique_ptr<TTranscoder>> tasks;
    {
        std::lock_guard lock(mutex_);
        if (shutDown_)
            return;
        shutDown_ = true;
        pendingCount_ = 0;
        if (scheduler_)
            for (MainThreadScheduler::TimerId id : timers_)
                scheduler_->Cancel(id);
        timers_.clear();
        tasks = tasks_.TakeAll();
        for (auto& task : tasks)
            task->detached_ = true;
    }
    // Freed without the lock: a worker may be waiting for it to report its end.
    tasks.clear();
}

void TCustomTranscodeEngine::SetScheduler(MainThreadScheduler* scheduler) {
    std::lock_guard lock(mutex_);
    scheduler_ = scheduler;
}

bool TCustomTranscodeEngine::LoadLibraries(const std::string& folder, bool versioned) {
    if (!binding::LoadAll(folder, versioned)) {
        lastError_ = binding::LoaderErrorText();
        return false;
    }
    ff::util.av_log_set_callback(&LogRouter);
    ff::util.av_log_set_level(LibraryLevel(LogLevel()));
    binding::SetCachedLogLevel(ff::util.av_log_get_level());
    return true;
}

TLogLevel TCustomTranscodeEngine::LogLevel() const {
    std::lock_guard lock(mutex_);
    return logLevel_;
}

void TCustomTranscodeEngine::SetLogLevel(TLogLevel level) {
    {
        std::lock_guard lock(mutex_);
        logLevel_ = level;
    }
    if (binding::AllLoaded()) {
        ff::util.av_log_set_level(LibraryLevel(level));
        binding::SetCachedLogLevel(ff::util.av_log_get_level());
    }
}

int TCustomTranscodeEngine::ThreadCount() const {
    std::lock_guard lock(mutex_);
    return codecThreads_;
}

void TCustomTranscodeEngine::SetThreadCount(int count) {
    std::lock_guard lock(mutex_);
    codecThreads_ = std::clamp(count, 1, engine::kMaxCodecThreads);
}

int TCustomTranscodeEngine::ProgressInterval() const {
    std::lock_guard lock(mutex_);
    return progressInterval_;
}

void TCustomTranscodeEngine::SetProgressInterval(int ms) {
    std::lock_guard lock(mutex_);
    progressInterval_ = std::max(ms, kMinProgressInterval);
}

TConvertPriority TCustomTranscodeEngine::ThreadPriority() const {
    std::lock_guard lock(mutex_);
    return priority_;
}

void TCustomTranscodeEngine::SetThreadPriority(TConvertPriority priority) {
    std::lock_guard lock(mutex_);
    priority_ = priority > TThreadPriority::tpNormal ? TThreadPriority::tpNormal : priority;
}

int TCustomTranscodeEngine::TaskCount() const {
    std::lock_guard lock(mutex_);
    return tasks_.Count();
}

TTranscoder* TCustomTranscodeEngine::Task(int index) const {
    std::lock_guard lock(mutex_);
    return tasks_.Items(index);
}

void TCustomTranscodeEngine::ClearTasks() {
    std::vector<std::unique_ptr<TTranscoder>> tasks;
    {
        std::lock_guard lock(mutex_);
        tasks = tasks_.TakeAll();
        for (auto& task : tasks)
            task->detached_ = true;
        threadCount_ = 0;
        pendingCount_ = 0;
        nextTask_ = -1;
        terminatedCount_ = 0;
        if (scheduler_)
            for (MainThreadScheduler::TimerId id : timers_)
                scheduler_->Cancel(id);
        timers_.clear();
    }
    lastError_.clear();
    tasks.clear(); // waits for any worker, outside the lock
}

void TCustomTranscodeEngine::RemoveTask(int index) {
    std::unique_ptr<TTranscoder> task;
    {
        std::lock_guard lock(mutex_);
        task = tasks_.Take(index);
        if (!task)
            return;
        task->detached_ = true;
        if (index < nextTask_)
            --nextTask_;
        if (task->launched_ && task->Terminated() && terminatedCount_ > 0)
            --terminatedCount_;
    }
    task.reset();
}

void TCustomTranscodeEngine::InstallCallbacks(TTranscoder* task) {
    task->OnLog = [this, task](int level, const std::string& text) { DoLog(task, level, text); };
    task->OnProgress = [this, task](const engine::ProgressInfo& info) { DoProgress(task, info); };
    task->OnTerminate = [this, task] { DoTerminate(task); };
}

void TCustomTranscodeEngine::ApplyInputOptions(TTranscoder& task, const TInputOptions& o) {
    for (const auto& [name, value] : SplitExtOptions(o.ExtOptions))
        task.SetOption(name, value);
    if (!o.FileFormat.empty())
        task.SetInputFormat(o.FileFormat);
    if (o.StartTime > 0)
        task.SetStartTime(int64_t{o.StartTime} * 1000);
    if (o.ProgramID >= 0)
        task.SetProgramId(o.ProgramID);
}

int TCustomTranscodeEngine::AddTask(const std::string& fileName, const TInputOptions* options) {
    auto task = std::make_unique<TTranscoder>();
    try {
        task->ResetSettings();
        task->SetVerbosity(LibraryLevel(LogLevel()));
        task->SetThreadCount(ThreadCount());
        if (options) {
            task->InputOptions = *options;
            if (task->InputOptions.FileName.empty())
                task->InputOptions.FileName = fileName;
            ApplyInputOptions(*task, task->InputOptions);
        } else {
            InitInputOptions(task->InputOptions);
        }
        if (!task->OpenInput(fileName)) {
            lastError_ = task->LastError();
            return -1;
        }
    } catch (const std::exception& e) {
        lastError_ = e.what();
        return -1;
    }
    std::lock_guard lock(mutex_);
    InstallCallbacks(task.get());
    return tasks_.Add(std::move(task));
}

void TCustomTranscodeEngine::ApplyOutputOptions(TTranscoder& t, const TOutputOptions& o) {
    const auto option = [&t](const char* name, const std::string& value) {
        t.SetOption(name, value);
    };
    const auto number = [&t](const char* name, int64_t value) {
        t.SetOption(name, std::to_string(value));
    };
    engine::EngineSettings& s = t.Settings();

    for (const auto& [name, value] : SplitExtOptions(o.ExtOptions))
        option(name.c_str(), value);

    // Fields 3 to 52, in the record's order.
    if (!o.FileFormat.empty())
        t.SetOutputFormat(o.FileFormat);
    if (o.PacketSize > 0)
        number("packetsize", o.PacketSize);
    if (o.MuxRate > 0)
        number("muxrate", o.MuxRate);
    if (o.MuxDelay > 0)
        t.SetMuxMaxDelay(o.MuxDelay);
    if (o.MuxPreload > 0)
        t.SetMuxPreload(o.MuxPreload);
    if (!o.AudioCodec.empty())
        option("acodec", o.AudioCodec);
    if (o.DisableAudio)
        option("an", "");
    if (o.AudioVolume >= 0)
        t.SetVolume(o.AudioVolume);
    if (o.AudioChannels > 0)
        number("ac", o.AudioChannels);
    if (o.AudioSampleRate > 0)
        number("ar", o.AudioSampleRate);
    if (o.AudioBitrate > 0)
        number("ab", o.AudioBitrate);
    if (o.AudioBitrateTolerance > 0)
        number("abt", o.AudioBitrateTolerance);
    s.AudioLanguage = o.AudioLanguage;
    t.SetAudioSyncMethod(o.AudioSyncMethod);
    if (!o.AudioTag.empty())
        option("atag", o.AudioTag);
    if (!o.VideoCodec.empty())
        option("vcodec", o.VideoCodec);
    if (o.DisableVideo)
        option("vn", "");
    if (!o.FrameRate.empty())
        option("r", o.FrameRate);
    if (!o.FrameSize.empty())
        option("s", o.FrameSize);
    if (!o.AspectRatio.empty())
        option("aspect", o.AspectRatio);
    const std::pair<const char*, int> cropAndPad[] = {
        {"croptop", o.CropTop},     {"cropbottom", o.CropBottom}, {"cropleft", o.CropLeft},
        {"cropright", o.CropRight}, {"padtop", o.PadTop},         {"padbottom", o.PadBottom},
        {"padleft", o.PadLeft},     {"padright", o.PadRight},
    };
    for (const auto& [name, value] : cropAndPad)
        if (value >= 0)
            number(name, value);
    number("padcolor", o.PadColor & 0xFFFFFFu);
    const std::pair<const char*, int> videoRates[] = {
        {"gop", o.GOPSize},     {"vb", o.VideoBitrate},     {"maxrate", o.MaxRate},
        {"minrate", o.MinRate}, {"bt", o.BitrateTolerance}, {"bufsize", o.BufferSize},
    };
    for (const auto& [name, value] : videoRates)
        if (value > 0)
            number(name, value);
    t.SetVideoSyncMethod(o.VideoSyncMethod);
    if (!o.VideoTag.empty())
        option("vtag", o.VideoTag);
    if (o.DisableSubtitle)
        option("sn", "");
    s.SubtitleLanguage = o.SubtitleLanguage;
    s.CopyTs = o.CopyTimestamps ? 1 : 0;
    if (o.RecordingTime > 0) {
        s.RecordingTime = int64_t{o.RecordingTime} * 1000;
        s.DurationMs = o.RecordingTime;
    }
    if (o.Timestamp == 0)
        s.RecordingTimestamp = static_cast<int64_t>(std::time(nullptr));
    else if (o.Timestamp > 0)
        s.RecordingTimestamp = UnixTimeOfLocalDays(o.Timestamp);
    t.SetYear(o.Year);
    t.SetTrack(o.Track);
    t.SetTitle(FixedFieldText(o.Title, kMetadataTextCapacity));
    t.SetAuthor(FixedFieldText(o.Author, kMetadataTextCapacity));
    t.SetCopyright(FixedFieldText(o.Copyright, kMetadataTextCapacity));
    t.SetComment(FixedFieldText(o.Comment, kMetadataTextCapacity));
    t.SetAlbum(FixedFieldText(o.Album, kMetadataTextCapacity));
    t.SetGenre(FixedFieldText(o.Genre, kGenreCapacity));

    // The target preset overrides both the fields and ExtOptions.
    if (const char* target = TargetName(o.Target))
        t.ApplyTargetPreset(target, TargetNormName(o.TargetNorm), DefaultNormName(o.DefaultNorm));

    // Exactly one way of deciding when the frame hooks run.
    if (o.CustomHook) {
        t.OnCustomHook = [this, task = &t](engine::HookBitmap* bitmap, int frameNumber, int64_t pts,
                                           bool& update, bool& stopHook) {
            DoCustomHook(task, bitmap, frameNumber, pts, update, stopHook);
        };
    } else if (o.BeforeHook) {
        t.OnBeforeHook = [this, task = &t](int64_t pts, engine::HookAction& action) {
            THookAction a = FromEngine(action);
            DoBeforeHook(task, pts, a);
            action = ToEngine(a);
        };
    } else {
        t.SetHookRanges(ParseHookRanges(o.HookRanges));
    }
}

bool TCustomTranscodeEngine::SetOutputFile(int index, const std::string& fileName,
                                           const TOutputOptions* options) {
    TTranscoder* task = Task(index);
    if (!task) {
        lastError_ = "Task index out of range: " + std::to_string(index);
        return false;
    }
    try {
        if (options) {
            task->OutputOptions = *options;
            if (task->OutputOptions.FileName.empty())
                task->OutputOptions.FileName = fileName;
            ApplyOutputOptions(*task, task->OutputOptions);
        } else {
            InitOutputOptions(task->OutputOptions);
        }
        if (!task->OpenOutput(fileName)) {
            lastError_ = task->LastError();
            return false;
        }
    } catch (const std::exception& e) {
        lastError_ = e.what();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- running

void TCustomTranscodeEngine::Start(int threadCount) {
    ComponentRegistry::Instance().ClearPendingLog();
    std::lock_guard lock(mutex_);
    if (shutDown_)
        return;
    nextTask_ = 0;
    terminatedCount_ = 0;
    threadCount_ = threadCount;
    pendingCount_ = tasks_.Count();
    int n = threadCount;
    while (pendingCount_ > 0) {
        StartNextTask();
        if (--n <= 0)
            break;
    }
}

void TCustomTranscodeEngine::StartNextTask() {
    std::lock_guard lock(mutex_);
    if (pendingCount_ <= 0)
        return;
    --pendingCount_;
    const int index = nextTask_++;
    if (threadCount_ <= 0 && scheduler_) {
        // Timer mode: the next task runs on the main thread, a little after this point.
        auto id = std::make_shared<MainThreadScheduler::TimerId>(MainThreadScheduler::kNoTimer);
        *id = scheduler_->PostDelayed(kTimerModeDelay, [this, index, id] {
            {
                std::lock_guard inner(mutex_);
                std::erase(timers_, *id);
            }
            StartTask(index);
        });
        timers_.push_back(*id);
    } else {
        StartTask(index);
    }
}

void TCustomTranscodeEngine::StartTask(int index) {
    std::unique_lock lock(mutex_);
    TTranscoder* task = tasks_.Items(index);
    if (!task || task->launched_ || shutDown_)
        return;
    task->launched_ = true;
    task->ProgressInterval = int64_t{progressInterval_} * 1000;
    task->SetVerbosity(LibraryLevel(logLevel_));
    if (threadCount_ <= 0 && scheduler_) {
        // Runs to its end right here; the events take the lock again on this thread.
        task->ThreadID = std::this_thread::get_id();
        lock.unlock();
        task->Start(false);
        task->ThreadID = std::thread::id();
        return;
    }
    task->hasWorker_ = true;
    // The worker notes its own id first thing (TTranscoder's OnThreadStart).
    if (!task->Start(true, NiceValue(priority_)))
        task->ThreadID = std::thread::id();
}

void TCustomTranscodeEngine::FireAllDone() {
    OnTerminate(-1, true, false, std::string());
}

void TCustomTranscodeEngine::DoTerminate(TTranscoder* task) {
    bool allDone = false;
    {
        std::lock_guard lock(mutex_);
        if (!task) {
            FireAllDone();
            allDone = true;
        } else {
            if (task->detached_)
                return;
            // Thread ids are reused, and timer-mode tasks share the main thread: a task
            // that ended no longer claims its thread's log lines.
            task->ThreadID = std::thread::id();
            OnTerminate(task->Index, task->Finished(), task->ExceptionRaised(),
                        task->ExceptionMessage());
            ++terminatedCount_;
            if (pendingCount_ > 0) {
                StartNextTask();
            } else if (tasks_.Count() <= terminatedCount_) {
                FireAllDone();
                allDone = true;
            }
        }
    }
    // After the component lock: the registry lock comes first in the lock order.
    if (allDone)
        ComponentRegistry::Instance().ClearPendingLog();
}

void TCustomTranscodeEngine::Stop() {
    std::lock_guard lock(mutex_);
    pendingCount_ = 0;
    if (scheduler_)
        for (MainThreadScheduler::TimerId id : timers_)
            scheduler_->Cancel(id);
    timers_.clear();
    for (int i = 0; i < tasks_.Count(); ++i) {
        TTranscoder* task = tasks_.Items(i);
        if (task->Running()) {
            task->RequestStop();
        } else if (!task->Terminated()) {
            // Never started: it still reports its end, from a short-lived thread.
            task->launched_ = true;
            task->Cancel();
        }
    }
}

void TCustomTranscodeEngine::Pause() {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < tasks_.Count(); ++i) {
        TTranscoder* task = tasks_.Items(i);
        if (task->hasWorker_ && task->Running())
            task->Pause();
    }
}

void TCustomTranscodeEngine::Resume() {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < tasks_.Count(); ++i)
        tasks_.Items(i)->Resume();
}

// ---------------------------------------------------------------- events

void TCustomTranscodeEngine::RouteLibraryLine(std::thread::id thread, int level,
                                              const std::string& text) {
    std::lock_guard lock(mutex_);
    DoLog(tasks_.FindByThreadID(thread), level, text);
}

void TCustomTranscodeEngine::DoLog(TTranscoder* task, int level, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (task && task->detached_)
        return;
    OnLog(task ? task->Index : -1, LogLevelOfLibraryLevel(level), text);
}

void TCustomTranscodeEngine::DoProgress(TTranscoder* task, const engine::ProgressInfo& info) {
    std::lock_guard lock(mutex_);
    if (task->detached_)
        return;
    OnProgress(task->Index, info.FrameNumber, info.Fps, info.TimeMs, info.Quality, info.Bitrate,
               info.TotalSize, info.DurationMs);
}

void TCustomTranscodeEngine::DoBeforeHook(TTranscoder* task, int64_t pts, THookAction& action) {
    int index;
    TBeforeHookEvent handler;
    {
        std::lock_guard lock(mutex_);
        index = task->Index;
        handler = OnBeforeHook.Get();
    }
    if (handler)
        handler(index, pts, action);
}

void TCustomTranscodeEngine::DoCustomHook(TTranscoder* task, TBitmap* bitmap, int frameNumber,
                                          int64_t pts, bool& update, bool& stopHook) {
    int index;
    TCustomHookEvent handler;
    {
        std::lock_guard lock(mutex_);
        index = task->Index;
        handler = OnCustomHook.Get();
    }
    if (handler)
        handler(index, bitmap, frameNumber, pts, update, stopHook);
}

} // namespace corvina::hosting
