// Shared by the workflow's tests: a scripted stand-in for the dialogs and a fixture that
// drives the batch as the window does, with the real engine and a hand-pumped main thread.
#pragma once

#include "app/core/Workflow.h"
#include "profiles/Catalogue.h"
#include "profiles/QualityPresets.h"
#include "tests/support/ManualScheduler.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corvina::app {

class ScriptedDialogs : public IDialogs {
public:
    std::vector<std::pair<std::string, std::string>> Messages; // text, title
    std::vector<std::string> Questions;
    std::deque<bool> Answers; // for AskYesNo; Yes when none is left
    int FolderDialogs = 0;
    std::vector<std::string> FilesToOpen;

    void ShowMessage(const std::string& text, const std::string& title) override {
        Messages.emplace_back(text, title);
    }
    bool AskYesNo(const std::string& text, const std::string&) override {
        Questions.push_back(text);
        if (Answers.empty())
            return true;
        const bool a = Answers.front();
        Answers.pop_front();
        return a;
    }
    bool BrowseForFolder(const std::string&, std::string&) override {
        FolderDialogs++;
        return false;
    }
    std::vector<std::string> OpenFiles(const std::string&) override { return FilesToOpen; }
    int Completions() const {
        int n = 0;
        for (const auto& m : Messages)
            n += m.first == "All Conversions Completed";
        return n;
    }
};

// A view made of callbacks, for cases that watch one kind of notification.
class CallbackObserver : public WorkflowObserver {
public:
    std::function<void(int)> rowChanged;
    std::function<void(int)> jobFinished;
    void RowChanged(int row) override {
        if (rowChanged)
            rowChanged(row);
    }
    void JobFinished(int row) override {
        if (jobFinished)
            jobFinished(row);
    }
};

// Collects the reasons of failed rows, as the window's tooltips and the front end show them.
inline void CollectFailures(ConversionWorkflow& flow, CallbackObserver& observer,
                            std::vector<std::pair<int, std::string>>& failures) {
    observer.jobFinished = [&flow, &failures](int row) {
        const ConversionItem& item = flow.Rows[row];
        if (item.State == RowState::Fail && !item.Reason.empty())
            failures.emplace_back(row, item.Reason);
    };
    flow.AddObserver(&observer);
}

class Workflow : public ::testing::Test {
protected:
    void SetUp() override {
        test::RequireLibraries();
        profiles::FillOutputFormatList(boxes);
        Select("AVI - Audio Video Interleave (*.avi)");
        engine = std::make_unique<hosting::TTranscodeEngine>(&scheduler);
        engine->SetLogLevel(hosting::TLogLevel::llQuiet);
        flow = std::make_unique<ConversionWorkflow>(*engine, boxes, dialogs, scheduler);
        flow->OutputFolder = out.path().string();
        flow->ScriptFolder = (scripts / "$$7777a/").string();
    }
    void TearDown() override {
        flow.reset();
        engine.reset();
    }

    void Select(const std::string& entry) {
        boxes.ComboOutputFormat.Select(boxes.ComboOutputFormat.IndexOf(entry));
        profiles::SelectOutputFormat(boxes);
        profiles::ApplyQualityPreset(boxes);
    }

    // Pumps the main thread (and its 200 ms timer, on a virtual clock) until done.
    bool PumpUntil(const std::function<bool()>& done, int seconds = 60) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit)
                return false;
            if (scheduler.RunPending() == 0) {
                scheduler.Advance(100);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return true;
    }
    bool RunBatch() {
        flow->Start();
        return PumpUntil([this] { return !flow->TimerEnabled() && !flow->Batch.Converting; });
    }
    std::string Cell(int row, Cell c) const { return flow->Rows.at(row).Cells[c]; }

    test::ManualScheduler scheduler;
    ScriptedDialogs dialogs;
    profiles::MainWindowBoxes boxes;
    test::TempDir out, scripts;
    std::unique_ptr<hosting::TTranscodeEngine> engine;
    std::unique_ptr<ConversionWorkflow> flow;
};

} // namespace corvina::app
