#include "cli/CatalogueMode.h"

#include "app/core/JobText.h"
#include "app/core/Workflow.h"
#include "app/qt/QtScheduler.h"
#include "cli/BatchReport.h"
#include "cli/InterruptWatch.h"
#include "cli/Terminal.h"
#include "profiles/Catalogue.h"
#include "profiles/QualityPresets.h"

#include <QCoreApplication>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace corvina::cli {

namespace {

using profiles::ChoiceBox;
using profiles::MainWindowBoxes;

// The dialogs on a terminal: messages go to stderr until the batch has completed (the
// completion itself is the summary's business), the stop question is answered Yes (Ctrl-C
// asked already), no folder can be browsed for, files come from the command line.
class TerminalDialogs : public app::IDialogs {
public:
    bool Silent = false;

    void ShowMessage(const std::string& text, const std::string&) override {
        if (!Silent)
            std::fprintf(stderr, "%s\n", text.c_str());
    }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    bool BrowseForFolder(const std::string&, std::string&) override { return false; }
    std::vector<std::string> OpenFiles(const std::string&) override { return {}; }
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "corvina-convert: %s\n", message.c_str());
    return kExitUsage;
}

// Selects the entry named by text or index; false for an unknown entry or a separator.
bool SelectFormat(MainWindowBoxes& boxes, const std::string& format) {
    const ChoiceBox& list = boxes.ComboOutputFormat;
    int index = -1;
    if (format.empty()) {
        index = 0;
    } else {
        index = list.IndexOf(format);
        if (index < 0 && format.find_first_not_of("0123456789") == std::string::npos &&
            format.size() < 4)
            index = std::stoi(format);
    }
    if (index < 0 || index >= list.Count() || !profiles::FindProfile(list.Items()[index]))
        return false;
    boxes.ComboOutputFormat.Select(index);
    return true;
}

std::string ItemList(const ChoiceBox& box) {
    std::string text;
    for (const std::string& item : box.Items())
        text += "\n  \"" + item + "\"";
    return text;
}

// A choice option selects an item by its exact text.
bool SelectChoice(ChoiceBox& box, const char* option, const std::optional<std::string>& text,
                  std::string& error) {
    if (!text)
        return true;
    const int index = box.IndexOf(*text);
    if (index < 0) {
        error = std::string(option) + ": \"" + *text + "\" is not one of the items:" +
                (box.Count() ? ItemList(box) : std::string("\n  (none for this format)"));
        return false;
    }
    box.Select(index);
    return true;
}

// What the settings would restore: the entry and the two quality levels.
bool SelectStoredChoices(MainWindowBoxes& boxes, const CatalogueOptions& o, std::string& error) {
    if (!SelectFormat(boxes, o.Format)) {
        error = "unknown output format: \"" + o.Format + "\" (see --list-formats)";
        return false;
    }
    return SelectChoice(boxes.ComboVideoQuality, "--video-quality", o.VideoQuality, error) &&
           SelectChoice(boxes.ComboAudioQuality, "--audio-quality", o.AudioQuality, error);
}

// What the user picks after the window is shown.
bool SelectUserChoices(MainWindowBoxes& boxes, const CatalogueOptions& o, std::string& error) {
    return SelectChoice(boxes.ComboVideoSize, "--size", o.Size, error) &&
           SelectChoice(boxes.ComboVideoFramerate, "--frame-rate", o.FrameRate, error) &&
           SelectChoice(boxes.ComboAudioChannels, "--channels", o.Channels, error) &&
           SelectChoice(boxes.ComboAspectRatio, "--aspect", o.Aspect, error);
}

// The window's start state for the chosen entry without an engine: one fill, then the
// quality presets.
bool PrepareBoxes(MainWindowBoxes& boxes, const CatalogueOptions& o, std::string& error) {
    app::InitialiseBoxes(boxes);
    if (!SelectStoredChoices(boxes, o, error))
        return false;
    profiles::SelectOutputFormat(boxes);
    profiles::ApplyQualityPreset(boxes);
    return SelectUserChoices(boxes, o, error);
}

} // namespace

int ListFormats() {
    MainWindowBoxes boxes;
    profiles::FillOutputFormatList(boxes);
    const auto& items = boxes.ComboOutputFormat.Items();
    for (size_t i = 0; i < items.size(); i++)
        std::printf("%zu\t%s\n", i, items[i].c_str());
    return kExitOk;
}

int ListChoices(const std::string& format) {
    MainWindowBoxes boxes;
    CatalogueOptions o;
    o.Format = format;
    std::string error;
    if (!PrepareBoxes(boxes, o, error))
        return UsageError(error);
    const std::pair<const char*, const ChoiceBox*> boxList[] = {
        {"--size", &boxes.ComboVideoSize},
        {"--frame-rate", &boxes.ComboVideoFramerate},
        {"--channels", &boxes.ComboAudioChannels},
        {"--aspect", &boxes.ComboAspectRatio},
        {"--video-quality", &boxes.ComboVideoQuality},
        {"--audio-quality", &boxes.ComboAudioQuality},
        {"video codec", &boxes.ComboVideoCodec},
        {"video bitrate", &boxes.ComboVideoBitrate},
        {"audio codec", &boxes.ComboAudioCodec},
        {"audio bitrate", &boxes.ComboAudioBitrate},
        {"sampling rate", &boxes.ComboSamplingRate},
    };
    std::printf("%s\n", boxes.ComboOutputFormat.Text().c_str());
    for (const auto& [name, box] : boxList) {
        std::printf("%s:%s\n", name, box->enabled ? "" : " (disabled)");
        for (int i = 0; i < box->Count(); i++)
            std::printf("  %s\"%s\"\n", i == box->ItemIndex() ? "* " : "  ",
                        box->Items()[i].c_str());
    }
    return kExitOk;
}

int RunCatalogue(const CatalogueOptions& o) {
    {
        // The choices are checked before anything is loaded.
        MainWindowBoxes check;
        std::string error;
        if (!PrepareBoxes(check, o, error))
            return UsageError(error);
    }
    if (o.Volume < 0 || o.Volume > 10)
        return UsageError("--volume takes a position from 0 to 10");

    app::QtScheduler scheduler;
    hosting::TTranscodeEngine engine(&scheduler);
    TerminalDialogs dialogs;
    MainWindowBoxes boxes;
    app::ConversionWorkflow workflow(engine, boxes, dialogs, scheduler);
    if (!workflow.LoadLibraries()) {
        std::fprintf(stderr, "%s\n", engine.LastError().c_str());
        return kExitFailed;
    }
    engine.SetLogLevel(static_cast<hosting::TLogLevel>(o.LogLevel + 1));
    engine.SetThreadCount(o.Threads);
    engine.OnLog = [level = o.LogLevel](int, hosting::TLogLevel l, const std::string& text) {
        const int engineLevel = static_cast<int>(l) - 1;
        if (engineLevel >= 0 && engineLevel <= level)
            std::fprintf(stderr, "%s\n", text.c_str());
    };

    // The window's start: its initial state, the stored choices, the window shown; then
    // what the user picks.
    workflow.Initialise();
    std::string error;
    SelectStoredChoices(boxes, o, error);
    workflow.WindowShown();
    SelectUserChoices(boxes, o, error);
    workflow.SetOutputFolder(o.OutputDir);
    workflow.SetOverwrite(o.Overwrite);
    workflow.SetVolumePosition(o.Volume);

    const ReportMode mode = o.Json                  ? ReportMode::Json
                            : o.PrintJob            ? ReportMode::None
                            : isatty(STDOUT_FILENO) ? ReportMode::Terminal
                                                    : ReportMode::Plain;
    BatchReport report(workflow, mode);
    report.OnCompleted = [&dialogs] {
        dialogs.Silent = true;
        QCoreApplication::quit();
    };
    workflow.OnJobBuilt = [&](const app::EngineJob& job) {
        report.Outputs[job.Row] = job.OutputPath;
        if (!o.PrintJob)
            return true;
        std::printf("job: %s -> %s\n", job.InputPath.c_str(), job.OutputPath.c_str());
        for (const std::string& line : app::ChangedInputFields(job.Input))
            std::printf("%s\n", line.c_str());
        for (const std::string& line : app::ChangedOutputFields(job.Output))
            std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        return false;
    };
    workflow.AddObserver(&report);

    workflow.AddFiles(o.Files);

    InstallInterruptHandler();
    InterruptWatch interrupt([&] {
        workflow.Stop();
        QCoreApplication::quit();
    });

    if (o.Jobs > 1 && !o.PrintJob)
        workflow.StartParallel(o.Jobs);
    else
        workflow.Start();
    if (report.Started && (workflow.Batch.Converting || workflow.TimerEnabled()))
        QCoreApplication::exec();
    // Ending the engine's tasks writes the trailers of stopped jobs.
    engine.Stop();
    engine.ClearTasks();
    workflow.RemoveObserver(&report);

    if (o.PrintJob)
        return report.Started ? kExitOk : kExitFailed;
    const bool allDone = report.Finish(interrupt.Fired(), o.OutputDir);
    if (interrupt.Fired())
        return kExitInterrupted;
    return allDone ? kExitOk : kExitFailed;
}

} // namespace corvina::cli
