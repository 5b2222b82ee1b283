#include "cli/RawMode.h"

#include "app/qt/QtScheduler.h"
#include "cli/InterruptWatch.h"
#include "cli/Terminal.h"
#include "hosting/TranscodeEngine.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string_view>

namespace corvina::cli {

namespace {

using hosting::TLogLevel;

// Options the output record always assigns, so that given in the option text they would be
// overridden by the record's reset values: the text's value goes into the record instead.
using FieldSetter = void (*)(hosting::TOutputOptions&, const std::string&);
struct RecordOption {
    std::string_view name;
    FieldSetter set;
};
constexpr RecordOption kRecordOptions[] = {
    {"alang", [](hosting::TOutputOptions& o, const std::string& v) { o.AudioLanguage = v; }},
    {"async",
     [](hosting::TOutputOptions& o, const std::string& v) { o.AudioSyncMethod = std::stoi(v); }},
    {"padcolor",
     [](hosting::TOutputOptions& o, const std::string& v) {
         o.PadColor = static_cast<std::uint32_t>(std::stoul(v));
     }},
    {"vsync",
     [](hosting::TOutputOptions& o, const std::string& v) { o.VideoSyncMethod = std::stoi(v); }},
    {"slang", [](hosting::TOutputOptions& o, const std::string& v) { o.SubtitleLanguage = v; }},
    {"copyts", [](hosting::TOutputOptions& o, const std::string&) { o.CopyTimestamps = true; }},
};

// The output record of the option text: the always-assigned options become fields, the
// rest stays text, in its order. False with a message when a field's value is no number.
bool OutputRecord(const std::string& text, hosting::TOutputOptions& record, std::string& error) {
    hosting::InitOutputOptions(record);
    for (const auto& [name, value] : hosting::SplitExtOptions(text)) {
        const RecordOption* field = nullptr;
        for (const RecordOption& r : kRecordOptions)
            if (r.name == name)
                field = &r;
        if (!field) {
            record.ExtOptions += name + "=" + value + "\n";
            continue;
        }
        try {
            field->set(record, value);
        } catch (const std::exception&) {
            error = "invalid value for " + name + ": " + value;
            return false;
        }
    }
    return true;
}

const char* OutcomeText(bool finished, bool exception) {
    if (exception)
        return "Fail";
    return finished ? "Done" : "Abort";
}

// Everything the events touch; only the main thread uses it.
struct RawState {
    explicit RawState(const RawOptions& o) : options(o), tty(isatty(STDOUT_FILENO) != 0) {}

    const RawOptions& options;
    const bool tty;
    std::vector<size_t> jobOfTask;                          // task index -> job
    std::vector<std::unique_ptr<ProgressPrinter>> printers; // by task index
    bool barShown = false;
    bool allDone = true;
    bool interrupted = false;

    // Removes a bar in progress so a whole line can be written.
    void ClearBar() {
        if (tty && barShown) {
            std::fputs("\r\033[K", stdout);
            std::fflush(stdout);
            barShown = false;
        }
    }
    void Result(const RawJob& job, const char* outcome, const std::string& error) {
        ClearBar();
        if (!error.empty())
            std::fprintf(stderr, "%s\n", error.c_str());
        std::printf("%s -> %s: %s\n", job.Input.c_str(), job.Output.c_str(), outcome);
        std::fflush(stdout);
        allDone = allDone && std::string_view(outcome) == "Done";
    }
    void Progress(int task, int frame, int currentMs, int totalMs) {
        if (task < 0 || static_cast<size_t>(task) >= printers.size())
            return;
        const int percent =
            totalMs > 0 ? std::min(100, static_cast<int>(int64_t{currentMs} * 100 / totalMs)) : -1;
        if (tty) {
            std::fputs("\r\033[K", stdout); // several tasks share the one bar line
            barShown = true;
        }
        printers[static_cast<size_t>(task)]->Update(percent, currentMs, frame);
    }
};

} // namespace

int RunRaw(const RawOptions& options) {
    InstallInterruptHandler();
    app::QtScheduler scheduler;
    RawState state(options);
    hosting::TTranscodeEngine engine(&scheduler);
    engine.SetLogLevel(static_cast<TLogLevel>(options.LogLevel + 1));
    engine.SetThreadCount(options.Threads);
    if (!engine.LoadLibraries(hosting::ProgramFolder() + "Common", true)) {
        std::fprintf(stderr, "%s\n", engine.LastError().c_str());
        return kExitFailed;
    }
    engine.SetProgressInterval(200);

    hosting::TInputOptions input;
    hosting::InitInputOptions(input);
    input.ExtOptions = options.InputOptions;
    hosting::TOutputOptions output;
    std::string recordError;
    if (!OutputRecord(options.OutputOptions, output, recordError)) {
        std::fprintf(stderr, "corvina-convert: %s\n", recordError.c_str());
        return kExitUsage;
    }

    // Log lines, from the opening of the files on (they print once the loop runs).
    const int logLevel = options.LogLevel;
    engine.OnLog = [&scheduler, logLevel](int, TLogLevel level, const std::string& text) {
        const int engineLevel = static_cast<int>(level) - 1;
        // Level -1 is the text that ended a task: it comes with the task's result.
        if (engineLevel < 0 || engineLevel > logLevel)
            return;
        std::string line = text;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        scheduler.Post([line] { std::fprintf(stderr, "%s\n", line.c_str()); });
    };

    for (size_t k = 0; k < options.Jobs.size(); k++) {
        const RawJob& job = options.Jobs[k];
        const int task = engine.AddTask(job.Input, &input);
        if (task < 0) {
            state.Result(job, "Fail", engine.LastError());
            continue;
        }
        if (!engine.SetOutputFile(task, job.Output, &output)) {
            state.Result(job, "Fail", engine.LastError());
            engine.RemoveTask(task);
            continue;
        }
        state.jobOfTask.push_back(k);
        state.printers.push_back(std::make_unique<ProgressPrinter>(job.Input));
    }
    if (state.jobOfTask.empty()) {
        QCoreApplication::processEvents(); // the log lines posted so far
        return Interrupted() ? kExitInterrupted : kExitFailed;
    }

    // The events come from the workers: each is handed to this thread as it is.
    engine.OnProgress = [&scheduler, &state](int task, int frame, int, int currentMs, float, float,
                                             int64_t, int totalMs) {
        scheduler.Post([&state, task, frame, currentMs, totalMs] {
            state.Progress(task, frame, currentMs, totalMs);
        });
    };
    engine.OnTerminate = [&scheduler, &state](int task, bool finished, bool exception,
                                              const std::string& message) {
        scheduler.Post([&state, task, finished, exception, message] {
            if (task < 0) {
                QCoreApplication::quit();
                return;
            }
            if (static_cast<size_t>(task) < state.jobOfTask.size())
                state.Result(state.options.Jobs[state.jobOfTask[static_cast<size_t>(task)]],
                             OutcomeText(finished, exception), exception ? message : "");
        });
    };

    // Ctrl-C stops every task; the stopped ones still write their trailers.
    InterruptWatch interrupt([&] {
        state.interrupted = true;
        engine.Stop();
    });

    engine.Start(options.Parallel);
    QCoreApplication::exec();
    state.ClearBar();
    engine.ClearTasks();

    if (state.interrupted || Interrupted())
        return kExitInterrupted;
    return state.allDone ? kExitOk : kExitFailed;
}

} // namespace corvina::cli
