#include "cli/RawMode.h"

#include "cli/Terminal.h"
#include "engine/Transcoder.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

namespace corvina::cli {

namespace {

enum class Outcome { Done, Fail, Abort };

const char* OutcomeText(Outcome o) {
    switch (o) {
    case Outcome::Done:
        return "Done";
    case Outcome::Fail:
        return "Fail";
    case Outcome::Abort:
        break;
    }
    return "Abort";
}

Outcome RunOne(const RawJob& job, const RawOptions& options, std::string& error) {
    engine::TCustomTranscoder t;
    t.SetVerbosity(options.LogLevel);
    // Until the log router takes the libraries' lines, their own printer filters them.
    ff::util.av_log_set_level(options.LibraryLogLevel);
    const int logLevel = options.LogLevel;
    t.OnLog = [logLevel](int level, const std::string& text) {
        if (level <= logLevel && level >= 0)
            std::fprintf(stderr, "%s\n", text.c_str());
    };
    try {
        t.ApplyOptionText(options.InputOptions);
        if (!t.OpenInput(job.Input)) {
            error = t.LastError();
            return Outcome::Fail;
        }
        t.ApplyOptionText(options.OutputOptions);
        if (!t.OpenOutput(job.Output)) {
            error = t.LastError();
            return Outcome::Fail;
        }
    } catch (const std::exception& e) {
        error = e.what();
        return Outcome::Fail;
    }

    ProgressPrinter progress(job.Input);
    std::mutex progressMutex; // guards latest between the job's thread and this one
    engine::ProgressInfo latest;
    bool haveProgress = false;
    t.OnProgress = [&](const engine::ProgressInfo& info) {
        std::lock_guard lock(progressMutex);
        latest = info;
        haveProgress = true;
    };
    t.ProgressInterval = 200000;
    t.Start(true);
    while (t.Running() || !t.Terminated()) {
        if (Interrupted() && !t.StopRequested())
            t.RequestStop();
        {
            std::lock_guard lock(progressMutex);
            if (haveProgress) {
                const int percent = latest.DurationMs > 0
                                        ? std::min(100, static_cast<int>(int64_t{latest.TimeMs} *
                                                                         100 / latest.DurationMs))
                                        : -1;
                progress.Update(percent, latest.TimeMs, latest.FrameNumber);
                haveProgress = false;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    t.Wait();
    progress.Finish();
    if (t.ExceptionRaised()) {
        error = t.ExceptionMessage();
        return Outcome::Fail;
    }
    return t.Finished() ? Outcome::Done : Outcome::Abort;
}

} // namespace

int RunRaw(const RawOptions& options) {
    InstallInterruptHandler();
    bool allDone = true;
    for (const RawJob& job : options.Jobs) {
        std::string error;
        const Outcome outcome = Interrupted() ? Outcome::Abort : RunOne(job, options, error);
        if (!error.empty())
            std::fprintf(stderr, "%s\n", error.c_str());
        std::printf("%s -> %s: %s\n", job.Input.c_str(), job.Output.c_str(), OutcomeText(outcome));
        std::fflush(stdout);
        allDone = allDone && outcome == Outcome::Done;
    }
    if (Interrupted())
        return kExitInterrupted;
    return allDone ? kExitOk : kExitFailed;
}

} // namespace corvina::cli
