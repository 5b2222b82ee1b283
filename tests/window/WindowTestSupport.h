// Shared by the window's tests: the real window on the offscreen platform, scripted dialogs,
// and helpers that click the real widgets and wait on the real event loop.
#pragma once

#include "app/window/MainWindow.h"
#include "tests/support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace corvina::window::testing {

class ScriptedDialogs : public app::IDialogs {
public:
    std::vector<std::pair<std::string, std::string>> Messages; // text, title
    std::vector<std::pair<std::string, std::string>> Questions;
    std::deque<bool> Answers; // Yes when none is left
    std::string FolderToChoose;
    int FolderDialogs = 0;
    std::vector<std::string> FilesToOpen;
    int OpenDialogs = 0;
    std::function<void()> WhileAsking; // runs while the question is open

    void ShowMessage(const std::string& text, const std::string& title) override {
        Messages.emplace_back(text, title);
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        Questions.emplace_back(text, title);
        if (WhileAsking)
            WhileAsking();
        if (Answers.empty())
            return true;
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    bool BrowseForFolder(const std::string&, std::string& folder) override {
        FolderDialogs++;
        if (FolderToChoose.empty())
            return false;
        folder = FolderToChoose;
        return true;
    }
    std::vector<std::string> OpenFiles(const std::string&) override {
        OpenDialogs++;
        return FilesToOpen;
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (const auto& m : Messages)
            n += m.first == text;
        return n;
    }
};

class Window : public ::testing::Test {
public: // the cases' own views reach the helpers too
    void SetUp() override {
        test::RequireLibraries();
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        window = std::make_unique<MainWindow>(std::move(scripted));
        ASSERT_TRUE(window->Create());
        window->show();
        QApplication::processEvents();
        window->Workflow().ScriptFolder = (scripts.path() / "$$7777a/").string();
        window->Engine().SetLogLevel(hosting::TLogLevel::llQuiet);
    }
    void TearDown() override {
        // A batch still running is stopped without a question.
        if (window && window->Workflow().Batch.Converting) {
            dialogs->Answers = {true};
            window->Workflow().Stop();
        }
        window.reset();
    }

    template <class T = QWidget> T* Find(const char* name) const {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* name) { QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton); }
    QTreeWidget* List() const { return Find<QTreeWidget>("ListView1"); }
    QString Cell(int row, int column) const {
        QTreeWidgetItem* item = List()->topLevelItem(row);
        return item ? item->text(column) : QString("<no row>");
    }
    // Runs the real event loop until done() holds; false after the limit.
    bool WaitFor(const std::function<bool()>& done, int seconds = 60) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > seconds * 1000)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            QTest::qWait(5);
        }
        return true;
    }
    bool WaitIdle(int seconds = 60) {
        return WaitFor(
            [this] {
                const app::ConversionWorkflow& flow = window->Workflow();
                return !flow.Batch.Converting && !flow.TimerEnabled() && !flow.Batch.AddingFiles;
            },
            seconds);
    }
    void AddFiles(const std::vector<std::string>& files) {
        dialogs->FilesToOpen = files;
        Click("ButtonAddFile");
        ASSERT_TRUE(WaitIdle());
    }
    void ChooseFormat(const std::string& entry) {
        auto* combo = Find<QComboBox>("ComboOutputFormat");
        const int index = combo->findText(QString::fromStdString(entry));
        ASSERT_GE(index, 0) << entry;
        combo->setCurrentIndex(index);
        emit combo->activated(index); // as a user's pick
    }
    void UseOutputFolder() {
        dialogs->FolderToChoose = out.path().string();
        Click("ButtonBrowseForFolder");
    }

    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<MainWindow> window;
    test::TempDir out, scripts;
};

} // namespace corvina::window::testing
