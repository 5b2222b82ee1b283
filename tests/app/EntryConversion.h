// One file converted by the workflow with one catalogue entry at its start state (one fill,
// Normal presets), as a user picking the entry and pressing Start gets it.
#pragma once

#include "app/core/Workflow.h"
#include "profiles/Catalogue.h"
#include "profiles/QualityPresets.h"
#include "tests/app/WorkflowTestSupport.h"
#include "tests/support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace corvina::app {

struct EntryConversion {
    std::string EntryText; // the entry as the list shows it
    std::string SizeCell;  // the row's video size as added
    std::string Progress;  // the row's progress when the batch ended
    std::string Failure;   // the reason of a failed row
    EngineJob Job;         // what the engine was given
};

inline EntryConversion ConvertWithEntry(int entry, const std::filesystem::path& input,
                                        const std::filesystem::path& outputFolder) {
    EntryConversion result;
    profiles::MainWindowBoxes boxes;
    profiles::FillOutputFormatList(boxes);
    boxes.ComboOutputFormat.Select(entry);
    profiles::SelectOutputFormat(boxes);
    profiles::ApplyQualityPreset(boxes);
    result.EntryText = boxes.ComboOutputFormat.Text();

    test::ManualScheduler scheduler;
    ScriptedDialogs dialogs;
    hosting::TTranscodeEngine engine(&scheduler);
    engine.SetLogLevel(hosting::TLogLevel::llQuiet);
    ConversionWorkflow flow(engine, boxes, dialogs, scheduler);
    flow.OutputFolder = outputFolder.string();
    CallbackObserver view;
    view.jobFinished = [&flow, &result](int row) { result.Failure = flow.Rows[row].Reason; };
    flow.AddObserver(&view);
    int jobs = 0;
    flow.OnJobBuilt = [&result, &jobs](const EngineJob& job) {
        result.Job = job;
        jobs++;
        return true;
    };
    flow.AddFiles({input.string()});
    if (flow.Rows.size() != 1)
        return result;
    result.SizeCell = flow.Rows[0].Cells[kCellVideoSize];
    flow.Start();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while ((flow.TimerEnabled() || flow.Batch.Converting) &&
           std::chrono::steady_clock::now() < limit) {
        if (scheduler.RunPending() == 0) {
            scheduler.Advance(100);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    result.Progress = jobs == 1 ? flow.Rows[0].Progress() : "no job";
    return result;
}

// The catalogue entries (not the separator rows).
inline std::vector<int> EntryIndexes() {
    profiles::MainWindowBoxes boxes;
    profiles::FillOutputFormatList(boxes);
    std::vector<int> indexes;
    for (int i = 0; i < boxes.ComboOutputFormat.Count(); i++)
        if (profiles::FindProfile(boxes.ComboOutputFormat.Items()[i]))
            indexes.push_back(i);
    return indexes;
}

// "25_iPhone_mp4" for a test case's name.
inline std::string EntryName(const ::testing::TestParamInfo<int>& info) {
    profiles::MainWindowBoxes boxes;
    profiles::FillOutputFormatList(boxes);
    std::string name = std::to_string(info.param) + "_";
    for (char c : boxes.ComboOutputFormat.Items()[info.param]) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (name.back() != '_')
            name += '_';
    }
    while (name.back() == '_')
        name.pop_back();
    return name;
}

} // namespace corvina::app
