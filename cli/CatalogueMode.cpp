#include "cli/CatalogueMode.h"

#include "app/core/JobText.h"
#include "app/core/Workflow.h"
#include "app/qt/QtScheduler.h"
#include "cli/Terminal.h"
#include "profiles/Catalogue.h"
#include "profiles/QualityPresets.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <map>

namespace corvina::cli {

namespace {

using profiles::ChoiceBox;
using profiles::MainWindowBoxes;

// The dialogs on a terminal: messages go to stderr, the stop question is answered Yes
// (Ctrl-C asked already), no folder can be browsed for, files come from the command line.
class TerminalDialogs : public app::IDialogs {
public:
    bool Completed = false;
    bool Refused = false; // Start refused the batch (no files, no folder)

    void ShowMessage(const std::string& text, const std::string&) override {
        if (text == "All Conversions Completed") {
            Completed = true;
            QCoreApplication::quit();
            return;
        }
        Refused = true;
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

// The window's start state for the chosen entry: one fill, then the quality presets.
bool PrepareBoxes(MainWindowBoxes& boxes, const CatalogueOptions& o, std::string& error) {
    profiles::FillOutputFormatList(boxes);
    if (!SelectFormat(boxes, o.Format)) {
        error = "unknown output format: \"" + o.Format + "\" (see --list-formats)";
        return false;
    }
    profiles::SelectOutputFormat(boxes);
    for (auto [box, text, option] :
         {std::tuple{&boxes.ComboVideoQuality, &o.VideoQuality, "--video-quality"},
          std::tuple{&boxes.ComboAudioQuality, &o.AudioQuality, "--audio-quality"}}) {
        if (!SelectChoice(*box, option, *text, error))
            return false;
    }
    profiles::ApplyQualityPreset(boxes);
    return SelectChoice(boxes.ComboVideoSize, "--size", o.Size, error) &&
           SelectChoice(boxes.ComboVideoFramerate, "--frame-rate", o.FrameRate, error) &&
           SelectChoice(boxes.ComboAudioChannels, "--channels", o.Channels, error) &&
           SelectChoice(boxes.ComboAspectRatio, "--aspect", o.Aspect, error);
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
    MainWindowBoxes boxes;
    std::string error;
    if (!PrepareBoxes(boxes, o, error))
        return UsageError(error);
    if (o.Volume < 0 || o.Volume > 10)
        return UsageError("--volume takes a position from 0 to 10");

    app::QtScheduler scheduler;
    hosting::TTranscodeEngine engine(&scheduler);
    if (!engine.LoadLibraries(hosting::ProgramFolder() + "Common", true)) {
        std::fprintf(stderr, "Some files are missing. Please re-install this software\n%s\n",
                     engine.LastError().c_str());
        return kExitFailed;
    }
    engine.SetLogLevel(static_cast<hosting::TLogLevel>(o.LogLevel + 1));
    engine.OnLog = [level = o.LogLevel](int, hosting::TLogLevel l, const std::string& text) {
        const int engineLevel = static_cast<int>(l) - 1;
        if (engineLevel >= 0 && engineLevel <= level)
            std::fprintf(stderr, "%s\n", text.c_str());
    };

    TerminalDialogs dialogs;
    app::ConversionWorkflow workflow(engine, boxes, dialogs, scheduler);
    workflow.ProgramFolder = hosting::ProgramFolder();
    workflow.OutputFolder = o.OutputDir;
    workflow.OverwriteExisting = o.Overwrite;
    workflow.SetVolumePosition(o.Volume);

    std::map<int, std::string> outputs;
    std::map<int, std::string> errors;
    workflow.OnJobBuilt = [&](const app::EngineJob& job) {
        outputs[job.Row] = job.OutputPath;
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
    workflow.OnRowError = [&errors](int row, const std::string& text) { errors[row] = text; };

    // Progress: a bar (or plain lines) for the row being converted.
    std::map<int, std::unique_ptr<ProgressPrinter>> printers;
    workflow.OnRowChanged = [&](int row) {
        const std::string& cell = workflow.Rows[row].Progress();
        if (cell.empty() || cell.back() != '%' || o.PrintJob)
            return;
        auto& printer = printers[row];
        if (!printer)
            printer = std::make_unique<ProgressPrinter>(workflow.Rows[row].Caption);
        const std::string& frames = workflow.Rows[row].Cells[app::kCellFrames];
        printer->Update(std::stoi(cell), 0,
                        frames == " " || frames.empty() ? -1 : std::stoi(frames));
    };

    workflow.AddFiles(o.Files);

    InstallInterruptHandler();
    bool interrupted = false;
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, [&] {
        if (Interrupted() && !interrupted) {
            interrupted = true;
            workflow.Stop();
            QCoreApplication::quit();
        }
    });
    interruptPoll.start(100);

    if (o.Jobs > 1 && !o.PrintJob)
        workflow.StartParallel(o.Jobs);
    else
        workflow.Start();
    if (!dialogs.Refused && (workflow.Batch.Converting || workflow.TimerEnabled()))
        QCoreApplication::exec();
    interruptPoll.stop();
    for (auto& [row, printer] : printers)
        printer->Finish();
    // Ending the engine's tasks writes the trailers of stopped jobs.
    engine.Stop();
    engine.ClearTasks();

    if (o.PrintJob)
        return dialogs.Refused ? kExitFailed : kExitOk;
    bool allDone = !dialogs.Refused;
    for (size_t i = 0; i < workflow.Rows.size(); i++) {
        const app::ConversionItem& row = workflow.Rows[i];
        std::string status = row.Progress();
        if (status.empty() || status.back() == '%' || status == app::kProgressLoading)
            status = interrupted ? app::kProgressAbort : app::kProgressFail;
        auto err = errors.find(static_cast<int>(i));
        if (err != errors.end())
            std::fprintf(stderr, "%s\n", err->second.c_str()); // the text names the file
        auto out = outputs.find(static_cast<int>(i));
        std::printf("%s -> %s: %s\n", row.Caption.c_str(),
                    out != outputs.end() ? out->second.c_str() : "-", status.c_str());
        allDone = allDone && status == app::kProgressDone;
    }
    std::fflush(stdout);
    if (interrupted)
        return kExitInterrupted;
    return allDone ? kExitOk : kExitFailed;
}

} // namespace corvina::cli
